// count_bounds.h: a rule's COUNT, bounded before expansion, so that
// libical's iterator can start near the period instead of stepping through
// every instance from DTSTART.
#pragma once

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

/// The rule with its COUNT turned into an UNTIL at its last instance, found
/// by arithmetic, for a rule whose instances lie a fixed step apart (no BY
/// lists, or plain weekdays of a weekly rule): libical can then start it
/// near the period instead of stepping through every instance from DTSTART.
/// A last instance after libical's last year drops the COUNT. Other rules,
/// and rules that repeat within a day in a zone (whose steps libical moves
/// at changes of daylight saving in a way of its own), come back unchanged.
icalrecurrencetype count_as_until(icalrecurrencetype rule, icaltimetype dtstart);
