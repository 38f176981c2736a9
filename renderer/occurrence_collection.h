// occurrence_collection.h: the selected events of a calendar turned into
// dated occurrences for the period, recurrences expanded and multi-day
// events spread over their days.
#pragma once

#include <libical/ical.h>

#include "shared/event_selection.h"

/// Recurrence expansion of one event stops after this many instances, with a
/// note on standard error; no calendar people use comes near it.
constexpr long MAX_RECURRENCE_INSTANCES = 1000000;

void collect_occurrences(icalcomponent *root, const event_selection *selection,
                         icaltimezone *display_zone, icaltimetype period_start,
                         icaldurationtype period_duration);
