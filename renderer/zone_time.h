// zone_time.h: libical's zone conversion and time comparison, without its
// cost for years after the last one it works zones out for.
//
// libical computes a zone's offset changes up to the year 2582 and, asked
// about any later time, computes all of them again on every call (some 40 ms
// each). An event that ends in 9999 then holds evtable for minutes. Past that
// year libical uses the offset after the zone's last change; these functions
// use the same offset, found once per zone, and give the same results.
#pragma once

#include <libical/ical.h>

#include "shared/libical_facts.h"

/// icaltime_convert_to_zone.
icaltimetype convert_time(icaltimetype time, icaltimezone *zone);

/// icaltime_compare: both times in UTC when their zones differ and neither
/// is floating.
int compare_times(icaltimetype a, icaltimetype b);

/// Before a calendar's VTIMEZONE begins, a time of it is converted with the
/// built-in zone of the same name, when libical has one. What is noted of
/// each zone is kept until this is called, which a new calendar needs (its
/// zones may lie where freed ones lay).
void forget_zone_reaches();

/// The time so much exact time later (or earlier), in its own zone: across
/// a change of the zone's offset the wall-clock time moves by the change.
/// Dates and floating times add to their fields.
icaltimetype add_exact_time(icaltimetype time, icaldurationtype duration);
