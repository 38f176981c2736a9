// rule_budget.h: the rule steps that one document may cost, its events and
// its time zones together. Every rule has a share of its own and draws on a
// pool that the document's rules share once that is spent, so that a few
// bytes cannot buy seconds of libical's stepping, and a rule that needs
// little is never starved by the rules before it.
//
// A step is an instance taken from libical's iterator, or one of the days,
// hours, minutes or seconds it may step through without giving one (both
// cost some microseconds); a time zone's rule counts the steps that working
// its changes out up to the covered year costs libical.
#pragma once

/// Steps that each rule may spend of its own.
constexpr long long RULE_STEPS_EACH = 500;

/// Steps of one document that its rules share beyond their own.
constexpr long long RULE_STEPS_SHARED = 150000;

/// Steps that each property of the document's events adds to the shared
/// ones: a large calendar may cost what its size allows.
constexpr long long RULE_STEPS_PER_PROPERTY = 20;

/// Starts the budget of a new document, with so many shared steps.
void start_rule_budget(long long shared = RULE_STEPS_SHARED);

/// Starts the budget unless the current document started it since the last
/// call (its time zones were judged first).
void continue_rule_budget(long long shared = RULE_STEPS_SHARED);

/// Adds the shared steps of the document's events' properties.
void add_document_rule_steps(long properties);

/// The steps that the next rule may spend: its own share and what is left
/// of the pool.
long long rule_steps_available();

/// Charges one rule's steps: its own share first, the rest to the pool.
void charge_rule_steps(long long steps);

/// Notes, once per document, that a rule was cut short because the pool was
/// spent: "evtable: rules cut short: the document's steps are spent\n".
void note_rule_steps_spent();

/// The steps charged to the current document so far; for the tests.
long long rule_steps_charged();
