// rule_days.cc: the day model of recurrence rules.
#include "renderer/rule_days.h"

#include "renderer/rule_parts.h"
#include "shared/libical_facts.h"

day_filter filter_of(const icalrecurrencetype &rule)
{
    day_filter filter;
    if (list_length(rule.by_month) == 0) {
        filter.months.set();
        filter.months.reset(0);
    }
    for (long i = 0; i < list_length(rule.by_month); i++) {
        int month = icalrecurrencetype_month_month(rule.by_month[i]);
        if (!icalrecurrencetype_month_is_leap(rule.by_month[i]) && month >= 1 && month <= 12)
            filter.months.set(static_cast<size_t>(month));
    }
    if (list_length(rule.by_month_day) == 0) {
        filter.month_days.set();
        filter.month_days.reset(0);
    }
    for (long i = 0; i < list_length(rule.by_month_day); i++) {
        if (rule.by_month_day[i] >= 1 && rule.by_month_day[i] <= 31)
            filter.month_days.set(static_cast<size_t>(rule.by_month_day[i]));
        if (rule.by_month_day[i] <= -1 && rule.by_month_day[i] >= -31)
            filter.month_days_from_end.set(static_cast<size_t>(-rule.by_month_day[i]));
    }
    if (list_length(rule.by_year_day) == 0) {
        filter.year_days.set();
        filter.year_days.reset(0);
    }
    for (long i = 0; i < list_length(rule.by_year_day); i++) {
        if (rule.by_year_day[i] >= 1 && rule.by_year_day[i] <= 366)
            filter.year_days.set(static_cast<size_t>(rule.by_year_day[i]));
        if (rule.by_year_day[i] <= -1 && rule.by_year_day[i] >= -366)
            filter.year_days_from_end.set(static_cast<size_t>(-rule.by_year_day[i]));
    }
    if (list_length(rule.by_day) == 0) {
        filter.weekdays.set();
        filter.weekdays.reset(0);
    }
    for (long i = 0; i < list_length(rule.by_day); i++) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) == 0)
            filter.weekdays.set(static_cast<size_t>(
                icalrecurrencetype_day_day_of_week(rule.by_day[i]) & 7));
    }
    return filter;
}

static bool is_leap_year(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool date_passes(const day_filter &filter, const civil_day &date)
{
    if (!filter.months[static_cast<size_t>(date.month)] ||
        !filter.weekdays[static_cast<size_t>(date.weekday)])
        return false;
    if (!filter.month_days[static_cast<size_t>(date.day)]) {
        int month_length = date.month == 2 ? (is_leap_year(date.year) ? 29 : 28)
                                           : LONGEST_MONTH[date.month];
        if (!filter.month_days_from_end[static_cast<size_t>(month_length - date.day + 1)])
            return false;
    }
    if (!filter.year_days[static_cast<size_t>(date.year_day)]) {
        int year_length = is_leap_year(date.year) ? 366 : 365;
        if (!filter.year_days_from_end[static_cast<size_t>(year_length - date.year_day + 1)])
            return false;
    }
    return true;
}

bool day_passes(const day_filter &filter, long day)
{
    return date_passes(filter, civil_day_of(day));
}

static bool list_holds(const short *values, long length, int value)
{
    for (long i = 0; i < length; i++) {
        if (values[i] == value)
            return true;
    }
    return false;
}

// True when the day's weekday is one that the BYDAY list names, with its
// ordinal counted in a scope (a month or a year) of scope_length days in
// which the day is the scope_day-th.
static bool weekday_fits(const icalrecurrencetype &rule, int weekday, int scope_day,
                         int scope_length, bool ordinals)
{
    long length = list_length(rule.by_day);
    if (length == 0)
        return true;
    int from_start = (scope_day - 1) / 7 + 1;
    int from_end = (scope_length - scope_day) / 7 + 1;
    for (long i = 0; i < length; i++) {
        if (static_cast<int>(icalrecurrencetype_day_day_of_week(rule.by_day[i])) != weekday)
            continue;
        int position = icalrecurrencetype_day_position(rule.by_day[i]);
        if (position == 0 || !ordinals || position == from_start || position == -from_end)
            return true;
    }
    return false;
}

// The day of the week, starting on WKST, that holds 4 January of a year:
// the first of the year's weeks.
static long first_week_day(const icalrecurrencetype &rule, int year)
{
    int week_start = rule.week_start != ICAL_NO_WEEKDAY ? rule.week_start : ICAL_MONDAY_WEEKDAY;
    long fourth = day_number(year, 1, 4);
    return fourth - (civil_day_of(fourth).weekday - week_start + 7) % 7;
}

// The day's week number counts from the first week of the year it falls in
// (a day of a neighbouring year's week may count there instead: the
// numbers of both are allowed), and from the end as well.
static bool week_fits(const icalrecurrencetype &rule, long day, int year)
{
    long length = list_length(rule.by_week_no);
    if (length == 0)
        return true;
    for (int y = year - 1; y <= year + 1; y++) {
        long first = first_week_day(rule, y);
        long next = first_week_day(rule, y + 1);
        if (day < first || day >= next)
            continue;
        int weeks = static_cast<int>((next - first) / 7);
        int week = static_cast<int>((day - first) / 7) + 1;
        if (list_holds(rule.by_week_no, length, week) ||
            list_holds(rule.by_week_no, length, week - weeks - 1))
            return true;
    }
    return false;
}

bool day_fits(const icalrecurrencetype &rule, long day, const civil_day &date,
                     int month_length, int year_length)
{
    long months = list_length(rule.by_month);
    long month_days = list_length(rule.by_month_day);
    long year_days = list_length(rule.by_year_day);
    if (months > 0 && !list_holds(rule.by_month, months, date.month))
        return false;
    if (month_days > 0 && !list_holds(rule.by_month_day, month_days, date.day) &&
        !list_holds(rule.by_month_day, month_days, date.day - month_length - 1))
        return false;
    if (year_days > 0 && !list_holds(rule.by_year_day, year_days, date.year_day) &&
        !list_holds(rule.by_year_day, year_days, date.year_day - year_length - 1))
        return false;
    if (!week_fits(rule, day, date.year))
        return false;
    // An ordinal counts in the month for a monthly rule or one with BYMONTH,
    // else in the year; with week numbers it is not counted at all.
    bool in_month = rule.freq == ICAL_MONTHLY_RECURRENCE || months > 0;
    bool ordinals = list_length(rule.by_week_no) == 0;
    return in_month ? weekday_fits(rule, date.weekday, date.day, month_length, ordinals)
                    : weekday_fits(rule, date.weekday, date.year_day, year_length, ordinals);
}
