// merge.h: the merge of parsed calendars into one output calendar: the
// first definition of each time zone, one event per UID, and every event
// that overrides one instance of a recurrence.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include <libical/ical.h>

// The events that stand in the output, in the order they were moved there. A
// replaced event leaves a null behind; the events are added to the output
// calendar once, at the end, so that a replacement costs no search.
struct merged_events {
    std::vector<icalcomponent *> in_order;
    std::unordered_map<icalcomponent *, size_t> position;
};

/// Moves what the merge keeps of the parsed tree into the calendar (time
/// zones) and into merged (events), and frees the rest with the tree. The
/// first call creates the UID table (status 7 when its storage cannot be
/// had); a full table ends the run with status 1.
void merge_calendar(icalcomponent *root, icalcomponent *calendar, merged_events *merged);

/// Adds the merged events to the calendar, in the order they were moved.
void add_merged_events(icalcomponent *calendar, const merged_events *merged);
