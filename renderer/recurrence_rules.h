// recurrence_rules.h: the instances of one RRULE that a period needs.
//
// One call of libical's iterator costs some 33,000 instructions: a rule is
// started near the period rather than at a DTSTART decades back, and COUNT
// is left out where it cannot be reached by the period's end, so that the
// iterator can start there.
#pragma once

#include <memory>

#include <libical/ical.h>

/// True when a rule with COUNT surely ends before period_start: its last
/// instance, lasting longest_days whole days, ends before it. Only for rules
/// of one fixed step (no BY lists, no UNTIL).
bool count_ends_before(const icalrecurrencetype &rule, icaltimetype dtstart, long longest_days,
                       icaltimetype period_start);

/// The rule without its COUNT when it cannot have COUNT instances by
/// period_end (an upper bound of its instances up to then is below COUNT).
icalrecurrencetype rule_for_period(icalrecurrencetype rule, icaltimetype dtstart,
                                   icaltimetype period_end);

/// One rule's instances in order. Filled by start_rule_instances, read by
/// next_rule_instance.
struct rule_instances {
    icalrecurrencetype rule;   // as libical expands it
    icaltimetype dtstart;
    std::unique_ptr<icalrecur_iterator, void (*)(icalrecur_iterator *)> iterator{
        nullptr, icalrecur_iterator_free};
    long calls_left;    // icalrecur_iterator_next calls still allowed
    bool cut_short;     // the calls ran out
    bool finished;
};

/// Prepares the expansion of rule from dtstart for a period. from_dtstart:
/// one iterator from DTSTART, as a plain loop would run it. Otherwise a rule
/// with COUNT starts at DTSTART, any other near period_start (early enough
/// for an instance that lasts longest_days whole days). At most max_calls
/// instances are taken from libical.
void start_rule_instances(rule_instances *instances, icalrecurrencetype rule,
                          icaltimetype dtstart, icaltimetype period_start, long longest_days,
                          bool from_dtstart, long max_calls);

/// The next instance, or the null time after the last one (cut_short tells
/// whether the limit ended the expansion).
icaltimetype next_rule_instance(rule_instances *instances);

/// icalrecur_iterator_next calls made so far in the process.
long long rule_calls_made();
