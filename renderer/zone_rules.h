// zone_rules.h: the rules of a VTIMEZONE's observances judged as an event's
// rules are judged, and the steps that libical spends on them charged to the
// document's rule steps.
//
// libical works a zone's changes out from each observance's DTSTART, step by
// step, up to the year it covers: an observance whose rule never gives an
// instance (FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30) keeps it stepping day by day
// to its last year, seconds for one zone.
#pragma once

#include <libical/ical.h>

/// Why a VTIMEZONE is to be ignored, or null to keep it: an observance rule
/// that never gives an instance or is not supported, or rules whose steps up
/// to up_to_year are more than the document's budget still allows (those of
/// a kept zone are charged to it).
const char *zone_rule_fault(icalcomponent *vtimezone, int up_to_year);

/// Makes the calendar's zones safe for libical's time accessors before it
/// resolves any TZID: Windows zone names read as the zones they stand for,
/// then the unusable zones dropped (drop_unusable_zones), both for the
/// years up to a few past the period's end.
void clean_zones(icalcomponent *root, icaltimetype period_end);

/// Starts the document's rule budget and ignores, as
/// drop_unsafe_zone_references does, the zones that it or zone_rule_fault
/// find unusable. Before libical resolves any TZID of the calendar.
void drop_unusable_zones(icalcomponent *root, int up_to_year);
