// expansion_controls.h: for the tests and the fuzzer only: switches and a
// counter of the recurrence expansion that collect_occurrences does.
#pragma once

/// Expand every rule from its DTSTART, as a plain loop would, instead of
/// starting where the period needs it (default: false).
void set_expansion_from_dtstart(bool from_dtstart);

/// A lower bound than MAX_RECURRENCE_INSTANCES on the instances of one
/// event, for the fuzzer, which writes many documents in one process.
void set_recurrence_instance_limit(long limit);

/// Lower bounds than MAX_EVENT_OCCURRENCES and MAX_DOCUMENT_OCCURRENCES.
void set_occurrence_limits(long per_event, long per_document);

/// A lower bound than MAX_RULE_STEPS, for the fuzzer.
void set_rule_step_limit(double steps);

/// The number of recurrence instances taken from libical so far.
long long recurrence_instances_taken();

/// More steps than RULE_STEPS_SHARED for the rules of each document, so that
/// the limits of one rule can be reached.
void set_shared_rule_steps(long long steps);
