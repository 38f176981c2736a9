// merge.h: the merge of parsed calendars into one output calendar: the
// first definition of each time zone, one event per UID, and one overriding
// instance per UID and instance.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <libical/ical.h>

// What the merge keeps, gathered over the inputs and added to the output
// calendar once, at the end: adding a VTIMEZONE makes libical sort the
// calendar's zones again at the next look-up, and removing an event from
// the calendar would search its list.
struct merged_components {
    std::vector<icalcomponent *> zones;         // the first of each TZID, in document order
    std::unordered_set<std::string> zone_ids;
    std::vector<icalcomponent *> events;        // in the order they were moved; a replaced one leaves a null
    std::unordered_map<icalcomponent *, size_t> position;  // of each event that stands for a UID
    std::vector<size_t> instances;              // the positions of the overriding instances
};

/// Takes what the merge keeps of the parsed tree of the input at path into
/// merged and frees the rest; root, with what is left in it, is the
/// caller's to free. Says on standard error how many events without UID
/// were left out. The first call creates the UID table (status 7 when its
/// storage cannot be had).
void merge_calendar(icalcomponent *root, const char *path, merged_components *merged);

/// Adds the merged time zones and events to the calendar, each time zone in
/// document order, each event in the order it was moved, keeping of the
/// overriding instances of one UID that name the same instance only the one
/// that stands by LAST-MODIFIED, and without libical's X-LIC-ERROR notes.
void add_merged_components(icalcomponent *calendar, merged_components *merged);
