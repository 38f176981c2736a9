// rule_expansion.h: the instances of one RRULE that a period needs, found
// with bounded work.
//
// libical's iterator steps through every second, minute, hour or day that a
// rule's frequency names and tests each against the rule's BY lists; a rule
// that gives no instance for years keeps a single call stepping up to
// libical's last year. So a rule is expanded in one of three ways. Plainly:
// one iterator started near the period, with an UNTIL after the period's
// end that keeps libical from searching past it. In stretches: a rule that
// steps through days, hours, minutes or seconds and picks days by its BY
// lists is expanded one stretch of days at a time, over the days its lists
// allow only, each stretch ending at an UNTIL of its own, and the steps
// that such an expansion can cost are counted against a budget. By its own
// days: the yearly rules that libical gets wrong (yearly_days.h).
#pragma once

#include <memory>

#include <libical/ical.h>

#include "renderer/rule_days.h"
#include "renderer/yearly_days.h"

/// The stretched expansion's state.
struct rule_stretches {
    icaltimetype own_until;    // the rule's UNTIL; null for none
    long dtstart_day;
    long phase_days;           // after so many days the steps fall on the same times again
    bool one_stretch;          // started once, then through all its days
    long one_stretch_start;    // the day it is started on
    double steps_per_day;      // an upper bound of libical's steps through one day
    double steps_left;
    double stretch_cost;       // the steps the open stretch may take
    long stretch_given;        // the instances it gave so far
    long first_day;            // the first day that the period needs
    long next_day;             // the first day that no stretch covered yet
    long last_day;             // the last day that the period needs
    bool catching_up;          // passing over what a new stretch gives again
    icaltimetype last_given;
};

enum expansion_mode { PLAIN_EXPANSION, STRETCHED_EXPANSION, YEARLY_DAYS_EXPANSION };

/// One rule's instances in order. Filled by start_rule_instances, read by
/// next_rule_instance.
struct rule_instances {
    icalrecurrencetype rule;   // as libical expands it
    icaltimetype dtstart;
    expansion_mode mode;
    std::unique_ptr<icalrecur_iterator, void (*)(icalrecur_iterator *)> iterator{
        nullptr, icalrecur_iterator_free};
    long calls_left;    // icalrecur_iterator_next calls still allowed
    bool cut_short;     // the calls or the steps ran out
    bool finished;
    day_filter days;
    bool days_from_end;   // the filter, not libical, applies the day lists
    int count;            // the rule's COUNT, counted here; 0 for none
    long given;           // instances given so far
    rule_stretches stretches;   // STRETCHED_EXPANSION
    yearly_days own_days;       // YEARLY_DAYS_EXPANSION
};

/// Prepares the expansion of rule from dtstart for a period. from_dtstart:
/// one iterator from DTSTART, as a plain loop would run it. Otherwise a rule
/// with COUNT starts at DTSTART, any other near period_start (early enough
/// for an instance that lasts longest_days whole days), and an UNTIL after
/// period_end keeps libical from searching past the period. At most
/// max_calls instances are taken from libical and, for a rule expanded in
/// stretches, at most max_steps steps are spent without giving an instance
/// (each stretch is bounded before it starts by the steps it may take; the
/// steps that gave instances are given back when it ends).
void start_rule_instances(rule_instances *instances, icalrecurrencetype rule,
                          icaltimetype dtstart, icaltimetype period_start,
                          icaltimetype period_end, long longest_days, bool from_dtstart,
                          long max_calls, double max_steps);

/// The next instance, or the null time after the last one (cut_short tells
/// whether a limit ended the expansion).
icaltimetype next_rule_instance(rule_instances *instances);

/// icalrecur_iterator_next calls made so far in the process.
long long rule_calls_made();

/// The steps that the stretches opened so far in the process may have
/// taken without giving an instance (what is counted against max_steps).
double rule_steps_spent();
