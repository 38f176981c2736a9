// yearly_days.h: yearly rules that libical expands wrongly or not at all,
// expanded here a year at a time: those with week numbers (libical reads
// memory it does not own on some, and loses the week numbering when started
// late), and those that pick weekdays among month days
// (FREQ=YEARLY;INTERVAL=2;BYDAY=MO,TU;BYMONTHDAY=8,...,14 misses 9 May 2005).
#pragma once

#include <vector>

#include <libical/ical.h>

bool expands_by_own_days(const icalrecurrencetype &rule);

/// The open year of such a rule: its days that fit the rule's lists, the
/// times of each day, and the places of the year's set that BYSETPOS picks.
struct yearly_days {
    int year;                      // the year whose days are open
    int last_year;
    std::vector<long> days;        // its days that fit the rule's lists
    std::vector<int> times;        // seconds of the day, in order
    std::vector<long long> picks;  // BYSETPOS: the picked places, in order
    long long next;                // the next place (or pick) to give
};

/// Prepares the expansion from dtstart. Without from_dtstart, and without
/// COUNT, it starts in the rule's phase of years a year before the first
/// instance that can still reach the period (its instances last
/// longest_days whole days at most), and it ends a year after the period.
/// False when the rule gives no time of day at all.
bool start_yearly_days(yearly_days *y, const icalrecurrencetype &rule, icaltimetype dtstart,
                       icaltimetype period_start, icaltimetype period_end, long longest_days,
                       bool from_dtstart);

/// The next instance of the rule's set from DTSTART on (DTSTART only when
/// the rule gives it), in order; the null time after the last year.
icaltimetype next_yearly_instance(yearly_days *y, const icalrecurrencetype &rule,
                                  icaltimetype dtstart);
