// event_collection.h: the occurrences of one event: its own span, or the
// instances of its rules and RDATEs, less those that EXDATEs remove and
// overrides replace, each spread over the days it lasts.
#pragma once

#include <string_view>
#include <unordered_map>

#include <libical/ical.h>

#include "renderer/fair_share.h"
#include "renderer/listed_times.h"
#include "renderer/occurrence_collection.h"

// What the period needs of each event.
struct period {
    icaltimetype start;
    icaltimetype end;
    long first_shown_day;   // day numbers of the first and last day written
    long last_shown_day;
    long first_needed_day;  // an instance ending before this day is not needed
};

// The RECURRENCE-IDs of the overriding events of each UID.
using override_index = std::unordered_map<std::string_view, time_set>;

// What the first walk notes of each VEVENT that has a rule, an override's
// RECURRENCE-ID, RDATE or EXDATE; the others need no note.
struct event_entry {
    icalcomponent *event;
    icalproperty *rrule;           // the first RRULE; null for none
    bool several_rules;            // more RRULEs follow the first
    icalproperty *recurrence_id;   // null unless the event overrides an instance
    bool has_rdate;
    bool has_exdate;
};

struct collection {
    icaltimezone *display_zone;
    period wanted;
    override_index overrides;
    const collection_limits *limits;
    document_share share;
};

/// Adds the occurrences of one selected event to the table.
void collect_event(collection *c, const event_entry &entry, icaltimetype dtstart);
