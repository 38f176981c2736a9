// rule_days.h: which days a rule's lists pick, as a model of the day
// selection of recurrence rules: a filter for rules that step through days
// or less, and the test of one day of a month or year for monthly and
// yearly rules (week numbers, ordinal weekdays, days from the end).
#pragma once

#include <bitset>

#include <libical/ical.h>

#include "renderer/calendar_days.h"

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
bool date_passes(const day_filter &filter, const civil_day &date);
bool day_passes(const day_filter &filter, long day);

/// One day of a month or year against the lists of a MONTHLY or YEARLY
/// rule; the month and the year have the given lengths.
bool day_fits(const icalrecurrencetype &rule, long day, const civil_day &date, int month_length,
              int year_length);
