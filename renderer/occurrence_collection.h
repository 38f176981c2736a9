// occurrence_collection.h: the selected events of a calendar turned into
// dated occurrences for the period: recurrences expanded with their added
// and excluded dates, instances replaced by the events that override them,
// and every instance that lasts several days spread over its days.
#pragma once

#include <libical/ical.h>

#include "renderer/rule_budget.h"
#include "shared/event_selection.h"

/// Recurrence expansion of one event stops after this many instances (from
/// its rule and its RDATEs together), with a note on standard error; no
/// calendar people use comes near it.
constexpr long MAX_RECURRENCE_INSTANCES = 1000000;

/// An upper bound of the steps that libical may take, without giving an
/// instance, through the days of one rule that repeats within a day or picks
/// days by its lists: some tenths of a second, enough for a day of seconds.
constexpr double MAX_RULE_STEPS = 300000;

/// One event gives at most this many occurrences, one document at most
/// this many; each limit ends the collection of what it cuts, with a note
/// on standard error.
constexpr long MAX_EVENT_OCCURRENCES = 100000;
constexpr long MAX_DOCUMENT_OCCURRENCES = 2000000;

/// What one document's collection may spend. The run keeps these bounds;
/// the tests and the fuzzers, which write many documents in one process,
/// lower them.
struct collection_limits {
    long instances_per_event = MAX_RECURRENCE_INSTANCES;
    double steps_per_rule = MAX_RULE_STEPS;
    long occurrences_per_event = MAX_EVENT_OCCURRENCES;
    long occurrences_per_document = MAX_DOCUMENT_OCCURRENCES;
    long long shared_rule_steps = RULE_STEPS_SHARED;
    // Every rule expanded from its DTSTART, as a plain loop would, instead
    // of where the period needs it: for the tests that compare both.
    bool from_dtstart = false;
};

/// Adds the occurrences of the selected VEVENTs in the period to the
/// occurrence table, in document order.
void collect_occurrences(icalcomponent *root, const event_selection *selection,
                         icaltimezone *display_zone, icaltimetype period_start,
                         icaldurationtype period_duration,
                         const collection_limits &limits = collection_limits());
