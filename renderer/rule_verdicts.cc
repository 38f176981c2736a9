// rule_verdicts.cc: the rule judge. Rules that step through days or less
// are judged by their day filter; monthly and yearly rules whose first day
// is not plain to see, by the days they pick in every kind of year.
#include "renderer/rule_verdicts.h"

#include <array>
#include <cstdlib>

#include "renderer/rule_days.h"
#include "renderer/rule_parts.h"
#include "shared/libical_facts.h"

// Every date falls on each weekday in some year, so a filter can pass when
// it has a weekday and some day of a common or a leap year has the month,
// month day and year day it asks for.
static bool can_ever_pass(day_filter filter)
{
    if (filter.weekdays.none() || filter.months.none() ||
        (filter.month_days.none() && filter.month_days_from_end.none()) ||
        (filter.year_days.none() && filter.year_days_from_end.none()))
        return false;
    filter.weekdays.set();
    for (int year : {2001, 2004}) {
        long first = day_number(year, 1, 1);
        long last = day_number(year, 12, 31);
        for (long day = first; day <= last; day++) {
            if (day_passes(filter, day))
                return true;
        }
    }
    return false;
}

// For rules that pick days of months: some month day fits some month.
static bool month_days_fit(const icalrecurrencetype &rule)
{
    long months = list_length(rule.by_month);
    for (long i = 0; i < list_length(rule.by_month_day); i++) {
        int day = std::abs(rule.by_month_day[i]);
        for (long j = 0; j < (months > 0 ? months : 12); j++) {
            int month = months > 0 ? icalrecurrencetype_month_month(rule.by_month[j])
                                   : static_cast<int>(j + 1);
            if (month >= 1 && month <= 12 && day >= 1 && day <= LONGEST_MONTH[month])
                return true;
        }
    }
    return false;
}

// An upper bound of the size of the set from which BYSETPOS picks: the
// instances of one step of the frequency.
static double set_size(const icalrecurrencetype &rule)
{
    double seconds = or_one(list_length(rule.by_second));
    double minutes = or_one(list_length(rule.by_minute));
    double hours = or_one(list_length(rule.by_hour));
    double day = seconds * minutes * hours;
    switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE: return 1;
    case ICAL_MINUTELY_RECURRENCE: return seconds;
    case ICAL_HOURLY_RECURRENCE: return minutes * seconds;
    case ICAL_DAILY_RECURRENCE: return day;
    case ICAL_WEEKLY_RECURRENCE: return 7 * day;
    case ICAL_MONTHLY_RECURRENCE: return 31 * day;
    default: return 366 * day;
    }
}

static bool set_positions_fit(const icalrecurrencetype &rule)
{
    long positions = list_length(rule.by_set_pos);
    if (positions == 0)
        return true;
    double size = set_size(rule);
    for (long i = 0; i < positions; i++) {
        int position = std::abs(rule.by_set_pos[i]);
        if (position >= 1 && position <= size)
            return true;
    }
    return false;
}

// A monthly or yearly rule whose lists pick days can still pick none in any
// month or year: the fourteen kinds of year (leap or not, and the weekday of
// 1 January) hold every month and year there is. A set of picked days that
// BYSETPOS counts must be large enough for one of its positions.
static bool picks_some_day(const icalrecurrencetype &rule)
{
    double per_day = or_one(list_length(rule.by_second)) * or_one(list_length(rule.by_minute)) *
                     or_one(list_length(rule.by_hour));
    long positions = list_length(rule.by_set_pos);
    auto set_fits = [&](long days) {
        if (days == 0)
            return false;
        if (positions == 0)
            return true;
        for (long i = 0; i < positions; i++) {
            int position = std::abs(rule.by_set_pos[i]);
            if (position >= 1 && position <= static_cast<double>(days) * per_day)
                return true;
        }
        return false;
    };
    // 2001 to 2028 hold every kind of year.
    for (int year = 2001; year <= 2028; year++) {
        long first = day_number(year, 1, 1);
        int year_length = static_cast<int>(day_number(year + 1, 1, 1) - first);
        long in_year = 0;
        for (int month = 1; month <= 12; month++) {
            int month_length = icaltime_days_in_month(month, year);
            long in_month = 0;
            for (int d = 1; d <= month_length; d++) {
                long day = day_number(year, month, d);
                if (day_fits(rule, day, civil_day_of(day), month_length, year_length))
                    in_month++;
            }
            if (rule.freq == ICAL_MONTHLY_RECURRENCE && set_fits(in_month))
                return true;
            in_year += in_month;
        }
        if (rule.freq == ICAL_YEARLY_RECURRENCE && set_fits(in_year))
            return true;
    }
    return false;
}

// libical searches the months or years from DTSTART on when it makes an
// iterator for a monthly or yearly rule whose first day is not plain to
// see, up to its last year when there is none: a second for one event.
// Such rules are checked here first: those with ordinals beyond the fourth
// weekday, BYSETPOS, week or year days, or weekdays and month days together.
static bool needs_day_check(const icalrecurrencetype &rule)
{
    if (list_length(rule.by_set_pos) > 0 || list_length(rule.by_week_no) > 0 ||
        list_length(rule.by_year_day) > 0 ||
        (list_length(rule.by_day) > 0 && list_length(rule.by_month_day) > 0))
        return true;
    bool in_month = rule.freq == ICAL_MONTHLY_RECURRENCE || list_length(rule.by_month) > 0;
    for (long i = 0; i < list_length(rule.by_day); i++) {
        int position = std::abs(icalrecurrencetype_day_position(rule.by_day[i]));
        if (position > (in_month ? 4 : 52))
            return true;
    }
    return false;
}

static rule_verdict judge_instances(const icalrecurrencetype &rule)
{
    bool gregorian = is_gregorian(rule);
    if (rule.freq <= ICAL_DAILY_RECURRENCE) {
        if (!gregorian)
            return picks_days(rule) ? RULE_UNSUPPORTED : RULE_EXPANDABLE;
        if (!can_ever_pass(filter_of(rule)))
            return RULE_NEVER_MATCHES;
    } else if (gregorian &&
               (rule.freq == ICAL_MONTHLY_RECURRENCE || rule.freq == ICAL_YEARLY_RECURRENCE)) {
        if (list_length(rule.by_month_day) > 0 && !month_days_fit(rule))
            return RULE_NEVER_MATCHES;
        // Week and year days mean nothing to a monthly rule: libical's own
        // reading of them is left alone.
        bool modelled = rule.freq == ICAL_YEARLY_RECURRENCE ||
                        (list_length(rule.by_week_no) == 0 && list_length(rule.by_year_day) == 0);
        if (modelled && needs_day_check(rule) && !picks_some_day(rule))
            return RULE_NEVER_MATCHES;
    }
    return set_positions_fit(rule) ? RULE_EXPANDABLE : RULE_NEVER_MATCHES;
}

// True when every value of a list lies from low to high, counted from the
// end as well where negatives are allowed.
static bool values_within(const short *values, long length, int low, int high, bool negatives)
{
    for (long i = 0; i < length; i++) {
        int value = negatives ? std::abs(values[i]) : values[i];
        if (value < low || value > high)
            return false;
    }
    return true;
}

// RFC 5545's grammar of rules: BYSETPOS only with another BY list; week
// numbers only in yearly rules; year days not in daily, weekly or monthly
// ones; month days not in weekly ones; weekdays with an ordinal only in
// monthly and yearly rules, and not with week numbers; every value in its
// range. Calendars other than the Gregorian one have months and days of
// their own, whose ranges are left alone.
static bool follows_grammar(const icalrecurrencetype &rule)
{
    std::array<long, 9> lengths = by_list_lengths(rule);
    long months = list_length(rule.by_month);
    long month_days = list_length(rule.by_month_day);
    long year_days = list_length(rule.by_year_day);
    long week_numbers = list_length(rule.by_week_no);
    long positions = list_length(rule.by_set_pos);
    bool other_lists = false;
    for (size_t i = 0; i + 1 < lengths.size(); i++)   // all but BYSETPOS, the last
        other_lists = other_lists || lengths[i] > 0;
    if (positions > 0 && !other_lists)
        return false;
    if (week_numbers > 0 && rule.freq != ICAL_YEARLY_RECURRENCE)
        return false;
    if (year_days > 0 && rule.freq >= ICAL_DAILY_RECURRENCE &&
        rule.freq <= ICAL_MONTHLY_RECURRENCE)
        return false;
    if (month_days > 0 && rule.freq == ICAL_WEEKLY_RECURRENCE)
        return false;
    bool ordinals = (rule.freq == ICAL_MONTHLY_RECURRENCE || rule.freq == ICAL_YEARLY_RECURRENCE) &&
                    week_numbers == 0;
    for (long i = 0; i < list_length(rule.by_day); i++) {
        int position = icalrecurrencetype_day_position(rule.by_day[i]);
        if (position != 0 && (!ordinals || std::abs(position) > 53))
            return false;
    }
    if (!values_within(rule.by_second, lengths[0], 0, 60, false) ||
        !values_within(rule.by_minute, lengths[1], 0, 59, false) ||
        !values_within(rule.by_hour, lengths[2], 0, 23, false) ||
        !values_within(rule.by_set_pos, positions, 1, 366, true))
        return false;
    if (!is_gregorian(rule))
        return true;
    for (long i = 0; i < months; i++) {
        int month = icalrecurrencetype_month_month(rule.by_month[i]);
        if (icalrecurrencetype_month_is_leap(rule.by_month[i]) || month < 1 || month > 12)
            return false;
    }
    return values_within(rule.by_month_day, month_days, 1, 31, true) &&
           values_within(rule.by_year_day, year_days, 1, 366, true) &&
           values_within(rule.by_week_no, week_numbers, 1, 53, true);
}

// A rule that breaks the grammar is called invalid only where it would be
// dropped anyway: a rule that gives instances keeps them.
rule_verdict judge_rule(const icalrecurrencetype &rule)
{
    rule_verdict verdict = judge_instances(rule);
    if (verdict == RULE_NEVER_MATCHES && !follows_grammar(rule))
        return RULE_INVALID;
    return verdict;
}

const char *verdict_reason(rule_verdict verdict)
{
    switch (verdict) {
    case RULE_NEVER_MATCHES: return "never gives an instance";
    case RULE_UNSUPPORTED: return "is not supported";
    case RULE_INVALID: return "is not valid";
    default: return "can be expanded";
    }
}
