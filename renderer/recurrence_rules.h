// recurrence_rules.h: the instances of one RRULE that a period needs, found
// with bounded work.
//
// libical's iterator steps through every second, minute, hour or day that a
// rule's frequency names and tests each against the rule's BY lists; a rule
// that gives no instance for years, or never, keeps a single call stepping
// up to libical's last year. So: a rule that can never give an instance is
// recognised before any expansion; COUNT is left out where it cannot be
// reached by the period's end, so that the iterator can start near the
// period; a rule that steps through days, hours, minutes or seconds and
// picks days by its BY lists is expanded one stretch of days at a time, over
// the days its lists allow only, each stretch ending at an UNTIL of its own;
// and the steps that such an expansion can cost are counted against a
// budget. Yearly rules with week numbers, or with weekdays among month days,
// which libical gets wrong, are expanded here a year at a time.
#pragma once

#include <bitset>
#include <memory>
#include <vector>

#include <libical/ical.h>

/// How a rule can be expanded.
enum rule_verdict {
    RULE_EXPANDABLE,
    RULE_NEVER_MATCHES,   // no day, or no set position, can ever give an instance
    RULE_UNSUPPORTED,     // picks days of a calendar other than the Gregorian one
                          // while stepping through days or less
};

rule_verdict judge_rule(const icalrecurrencetype &rule);

/// True when a rule with COUNT surely ends before period_start: its last
/// instance, lasting longest_days whole days, ends before it. Only for rules
/// of one fixed step (no BY lists, no UNTIL).
bool count_ends_before(const icalrecurrencetype &rule, icaltimetype dtstart, long longest_days,
                       icaltimetype period_start);

/// The rule without its COUNT when it cannot have COUNT instances by
/// period_end (an upper bound of its instances up to then is below COUNT).
icalrecurrencetype rule_for_period(icalrecurrencetype rule, icaltimetype dtstart,
                                   icaltimetype period_end);

/// The rule with its COUNT turned into an UNTIL at its last instance, found
/// by arithmetic, for a rule whose instances lie a fixed step apart (no BY
/// lists, or plain weekdays of a weekly rule): libical can then start it
/// near the period instead of stepping through every instance from DTSTART.
/// A last instance after libical's last year drops the COUNT. Other rules,
/// and rules that repeat within a day in a zone (whose steps libical moves
/// at changes of daylight saving in a way of its own), come back unchanged.
icalrecurrencetype count_as_until(icalrecurrencetype rule, icaltimetype dtstart);

/// The days on which a rule that steps through days or less can give an
/// instance: month days and year days counted from the start or from the
/// end (libical's iterator never matches those from the end: such lists are
/// left out of the rule it expands, and its instances go through this
/// filter instead); weekdays with an ordinal never match, as in libical.
struct day_filter {
    std::bitset<13> months;
    std::bitset<32> month_days;
    std::bitset<32> month_days_from_end;   // 1 the last day
    std::bitset<367> year_days;
    std::bitset<367> year_days_from_end;
    std::bitset<8> weekdays;
};

day_filter filter_of(const icalrecurrencetype &rule);
bool day_passes(const day_filter &filter, long day);

/// One rule's instances in order. Filled by start_rule_instances, read by
/// next_rule_instance.
struct rule_instances {
    icalrecurrencetype rule;   // as libical expands it
    icaltimetype dtstart;
    std::unique_ptr<icalrecur_iterator, void (*)(icalrecur_iterator *)> iterator{
        nullptr, icalrecur_iterator_free};
    long calls_left;    // icalrecur_iterator_next calls still allowed
    bool cut_short;     // the calls or the steps ran out
    bool finished;

    // Stretches of days, for rules that step through days or less.
    bool by_stretches;
    day_filter days;
    bool days_from_end;        // the filter, not libical, applies the day lists
    int count;                 // the rule's COUNT, counted here; 0 for none
    long given;                // instances given so far
    icaltimetype last_given;
    bool catching_up;          // passing over what a new stretch gives again
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

    // Yearly rules expanded here rather than by libical, a year at a time.
    bool by_own_days;
    int own_year;                      // the year whose days are open
    int own_last_year;
    std::vector<long> own_days;        // its days that fit the rule's lists
    std::vector<int> own_times;        // seconds of the day, in order
    std::vector<long long> own_picks;  // BYSETPOS: the picked places, in order
    long long own_next;                // the next place (or pick) to give
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
