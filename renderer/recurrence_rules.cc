// recurrence_rules.cc: bounds, verdicts and stretches for libical's
// recurrence iterator.
#include "renderer/recurrence_rules.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <strings.h>
#include <vector>

#include "renderer/calendar_days.h"
#include "renderer/zone_time.h"
#include "shared/libical_facts.h"

static long long calls_made = 0;
static double steps_spent = 0;

long long rule_calls_made()
{
    return calls_made;
}

double rule_steps_spent()
{
    return steps_spent;
}

// What opening one stretch costs, counted in steps: a new iterator and the
// search for the stretch's first day.
constexpr double STRETCH_STEPS = 100;

// The longest month of each month number, February of a leap year.
static const int LONGEST_MONTH[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// The lengths of a rule's BY lists.
static std::array<long, 9> by_list_lengths(const icalrecurrencetype &rule)
{
    return {list_length(rule.by_second),    list_length(rule.by_minute),
            list_length(rule.by_hour),      list_length(rule.by_day),
            list_length(rule.by_month_day), list_length(rule.by_year_day),
            list_length(rule.by_week_no),   list_length(rule.by_month),
            list_length(rule.by_set_pos)};
}

static bool has_by_lists(const icalrecurrencetype &rule)
{
    for (long length : by_list_lengths(rule)) {
        if (length > 0)
            return true;
    }
    return false;
}

static bool picks_days(const icalrecurrencetype &rule)
{
    return list_length(rule.by_month) > 0 || list_length(rule.by_month_day) > 0 ||
           list_length(rule.by_year_day) > 0 || list_length(rule.by_day) > 0 ||
           list_length(rule.by_week_no) > 0;
}

// True for a rule that gives an instance at every step of its frequency:
// no BY lists, or a weekly one with plain weekdays and nothing else.
static bool gives_an_instance_each_step(const icalrecurrencetype &rule)
{
    std::array<long, 9> lengths = by_list_lengths(rule);
    const size_t BY_DAY_LIST = 3;
    for (size_t i = 0; i < lengths.size(); i++) {
        if (lengths[i] > 0 && !(i == BY_DAY_LIST && rule.freq == ICAL_WEEKLY_RECURRENCE))
            return false;
    }
    for (long i = 0; i < lengths[BY_DAY_LIST]; i++) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0)
            return false;
    }
    return true;
}

static bool is_gregorian(const icalrecurrencetype &rule)
{
    return rule.rscale == nullptr || strcasecmp(rule.rscale, "GREGORIAN") == 0;
}

static double or_one(long length)
{
    return length > 0 ? static_cast<double>(length) : 1.0;
}

// How many instances one step of the finest unit a rule names can hold at
// most: instances are distinct times, but a BY list that repeats a value
// might give one twice, so every list's length is a factor.
static double instances_per_unit(const icalrecurrencetype &rule)
{
    double product = 1;
    for (long length : by_list_lengths(rule))
        product *= or_one(length);
    return product;
}

// At most this many instances fall on one day: one for each hour, minute
// and second that the rule can give (its lists, or every value of a field
// that its frequency steps through, or DTSTART's alone).
static double instances_per_day(const icalrecurrencetype &rule)
{
    auto field = [](long length, bool stepped, double every) {
        return length > 0 ? static_cast<double>(length) : stepped ? every : 1.0;
    };
    return field(list_length(rule.by_second), rule.freq == ICAL_SECONDLY_RECURRENCE, 60) *
           field(list_length(rule.by_minute), rule.freq <= ICAL_MINUTELY_RECURRENCE, 60) *
           field(list_length(rule.by_hour), rule.freq <= ICAL_HOURLY_RECURRENCE, 24);
}

// The finest unit, in seconds, in which two instances of the rule can differ:
// the fields below it are DTSTART's in every instance.
static double unit_seconds(const icalrecurrencetype &rule)
{
    if (rule.freq == ICAL_SECONDLY_RECURRENCE || list_length(rule.by_second) > 0)
        return 1;
    if (rule.freq == ICAL_MINUTELY_RECURRENCE || list_length(rule.by_minute) > 0)
        return 60;
    if (rule.freq == ICAL_HOURLY_RECURRENCE || list_length(rule.by_hour) > 0)
        return 3600;
    return 86400;
}

// Seconds from a to b by their own fields, with a margin for zone offsets.
static double seconds_between(icaltimetype a, icaltimetype b)
{
    double days = static_cast<double>(day_number(b) - day_number(a)) + ZONE_MARGIN_DAYS;
    return days * 86400;
}

// The shortest and the longest step of a rule's frequency, in seconds.
static void frequency_step(const icalrecurrencetype &rule, double *shortest, double *longest)
{
    switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE: *shortest = *longest = 1; break;
    case ICAL_MINUTELY_RECURRENCE: *shortest = *longest = 60; break;
    case ICAL_HOURLY_RECURRENCE: *shortest = *longest = 3600; break;
    case ICAL_DAILY_RECURRENCE: *shortest = *longest = 86400; break;
    case ICAL_WEEKLY_RECURRENCE: *shortest = *longest = 7 * 86400; break;
    case ICAL_MONTHLY_RECURRENCE: *shortest = 28 * 86400; *longest = 31 * 86400; break;
    default: *shortest = 365 * 86400; *longest = 366 * 86400; break;
    }
}

// True when a rule of one fixed step (no BY lists, no UNTIL) surely ends
// before the period: its last instance lies within COUNT - 1 steps of
// DTSTART (and one hundredth of that span more, for the hours that daylight
// saving adds or takes), and ends before the period starts.
bool count_ends_before(const icalrecurrencetype &rule, icaltimetype dtstart, long longest_days,
                       icaltimetype period_start)
{
    double step, longest;
    frequency_step(rule, &step, &longest);
    if (rule.count <= 0 || step != longest || has_by_lists(rule) ||
        !icaltime_is_null_time(rule.until))
        return false;
    double span_days = (static_cast<double>(rule.count) - 1) * rule.interval * step / 86400;
    double last_day = static_cast<double>(day_number(dtstart)) + span_days * 1.01 +
                      static_cast<double>(longest_days) + 7;
    return last_day < static_cast<double>(day_number(period_start));
}

// Two upper bounds of the instances up to the period's end: steps of the
// frequency times the instances one step can hold (one per finest unit the
// rule names, times its BY lists' lengths), and days times the instances
// one day can hold. When the smaller is below COUNT, the rule cannot have
// COUNT instances by then and is taken as one without COUNT, which libical
// can start near the period.
icalrecurrencetype rule_for_period(icalrecurrencetype rule, icaltimetype dtstart,
                                   icaltimetype period_end)
{
    if (rule.count <= 0)
        return rule;
    double shortest, longest;
    frequency_step(rule, &shortest, &longest);
    double unit = unit_seconds(rule) < shortest ? unit_seconds(rule) : shortest;
    double interval = rule.interval > 0 ? rule.interval : 1;
    double steps = seconds_between(dtstart, period_end) / (shortest * interval) + 1;
    double per_step = (longest / unit) * instances_per_unit(rule);
    double days = seconds_between(dtstart, period_end) / 86400 + 1;
    double bound = std::min(steps * per_step, days * instances_per_day(rule));
    if (bound < static_cast<double>(rule.count))
        rule.count = 0;
    return rule;
}

// The days, counted from DTSTART's, of one period of a weekly rule
// (INTERVAL weeks from DTSTART's day) on which a weekday of the rule falls
// in a week of the rule: every period holds one instance on each of them,
// in this order. Without BYDAY, DTSTART's own weekday.
static std::vector<long> weekly_offsets(const icalrecurrencetype &rule, long first_day,
                                        long interval)
{
    std::bitset<8> weekdays;
    for (long i = 0; i < list_length(rule.by_day); i++)
        weekdays.set(static_cast<size_t>(icalrecurrencetype_day_day_of_week(rule.by_day[i]) & 7));
    if (weekdays.none())
        weekdays.set(static_cast<size_t>(civil_day_of(first_day).weekday));
    int week_start = rule.week_start != ICAL_NO_WEEKDAY ? rule.week_start : ICAL_MONDAY_WEEKDAY;
    long first_week = first_day - (civil_day_of(first_day).weekday - week_start + 7) % 7;
    std::vector<long> offsets;
    for (long offset = 0; offset < 7 * interval; offset++) {
        long day = first_day + offset;
        if (weekdays[static_cast<size_t>(civil_day_of(day).weekday)] &&
            ((day - first_week) / 7) % interval == 0)
            offsets.push_back(offset);
    }
    return offsets;
}

// Weekly rules of more weeks than this between their periods are left to
// libical: their periods are long and their instances few.
constexpr long MAX_WEEKLY_INTERVAL = 1000;

icalrecurrencetype count_as_until(icalrecurrencetype rule, icaltimetype dtstart)
{
    if (rule.count <= 0 || !icaltime_is_null_time(rule.until) || !is_gregorian(rule) ||
        !gives_an_instance_each_step(rule))
        return rule;
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    bool zoned = dtstart.zone != nullptr && dtstart.zone != utc;
    double interval = rule.interval > 0 ? rule.interval : 1;
    double steps = static_cast<double>(rule.count) - 1;
    long first_day = day_number(dtstart);
    // The last instance's day (as a double until it is known to fit) and
    // its time of day in seconds.
    double last_day = first_day;
    double last_second = dtstart.hour * 3600 + dtstart.minute * 60 + dtstart.second;
    switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE:
    case ICAL_MINUTELY_RECURRENCE:
    case ICAL_HOURLY_RECURRENCE: {
        if (dtstart.is_date || zoned)
            return rule;
        double unit = rule.freq == ICAL_SECONDLY_RECURRENCE   ? 1
                      : rule.freq == ICAL_MINUTELY_RECURRENCE ? 60
                                                              : 3600;
        double seconds = last_second + steps * interval * unit;
        last_day += std::floor(seconds / 86400);
        last_second = std::fmod(seconds, 86400);
        break;
    }
    case ICAL_DAILY_RECURRENCE:
        last_day += steps * interval;
        break;
    case ICAL_WEEKLY_RECURRENCE: {
        if (rule.interval > MAX_WEEKLY_INTERVAL)
            return rule;
        std::vector<long> offsets = weekly_offsets(rule, first_day, static_cast<long>(interval));
        if (offsets.empty() || offsets[0] != 0)
            return rule;
        double per_period = static_cast<double>(offsets.size());
        double periods = std::floor(steps / per_period);
        double within = steps - periods * per_period;
        last_day += periods * 7 * interval + static_cast<double>(offsets[static_cast<size_t>(within)]);
        break;
    }
    case ICAL_MONTHLY_RECURRENCE: {
        // Every month has the days up to the 28th.
        if (dtstart.day > 28)
            return rule;
        double months = dtstart.month - 1 + steps * interval;
        if (dtstart.year + months / 12 > LIBICAL_LAST_YEAR + 1) {
            last_day = HUGE_VAL;
            break;
        }
        last_day = day_number(dtstart.year + static_cast<int>(months / 12),
                              static_cast<int>(std::fmod(months, 12)) + 1, dtstart.day);
        break;
    }
    case ICAL_YEARLY_RECURRENCE:
        if (dtstart.month == 2 && dtstart.day == 29)
            return rule;
        if (dtstart.year + steps * interval > LIBICAL_LAST_YEAR + 1) {
            last_day = HUGE_VAL;
            break;
        }
        last_day = day_number(dtstart.year + static_cast<int>(steps * interval), dtstart.month,
                              dtstart.day);
        break;
    default:
        return rule;
    }
    rule.count = 0;
    if (last_day > static_cast<double>(day_number(LIBICAL_LAST_YEAR, 12, 31)))
        return rule;
    civil_day date = civil_day_of(static_cast<long>(last_day));
    icaltimetype until = dtstart;
    until.year = date.year;
    until.month = date.month;
    until.day = date.day;
    if (!dtstart.is_date) {
        long second = static_cast<long>(last_second);
        until.hour = static_cast<int>(second / 3600);
        until.minute = static_cast<int>(second / 60 % 60);
        until.second = static_cast<int>(second % 60);
    }
    // libical compares the fields of a zoned DTSTART's instances with a
    // floating UNTIL.
    if (zoned)
        until.zone = nullptr;
    rule.until = until;
    return rule;
}

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

static bool date_passes(const day_filter &filter, const civil_day &date)
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

// One day of a month or year against the lists of a MONTHLY or YEARLY rule.
static bool day_fits(const icalrecurrencetype &rule, long day, const civil_day &date,
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

rule_verdict judge_rule(const icalrecurrencetype &rule)
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

static long long greatest_common_divisor(long long a, long long b)
{
    while (b != 0) {
        long long rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

// Yearly rules that libical expands wrongly or not at all are expanded here:
// those with week numbers (libical reads memory it does not own on some,
// and loses the week numbering when started late), and those that pick
// weekdays among month days (FREQ=YEARLY;INTERVAL=2;BYDAY=MO,TU;
// BYMONTHDAY=8,...,14 misses 9 May 2005).
static bool expands_by_own_days(const icalrecurrencetype &rule)
{
    return rule.freq == ICAL_YEARLY_RECURRENCE && is_gregorian(rule) &&
           (list_length(rule.by_week_no) > 0 ||
            (list_length(rule.by_day) > 0 && list_length(rule.by_month_day) > 0));
}

// The skip is a whole number of the days after which the rule's steps fall
// on the same time of day and in the same phase of its INTERVAL again: libical
// re-aligns a started iterator with DTSTART's phase only within a day (hours,
// minutes, seconds) or not at all (weeks without BYDAY).
static long skip_step_days(const icalrecurrencetype &rule)
{
    long long interval = rule.interval > 0 ? rule.interval : 1;
    switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE:
    case ICAL_MINUTELY_RECURRENCE:
    case ICAL_HOURLY_RECURRENCE: {
        long long unit = rule.freq == ICAL_SECONDLY_RECURRENCE   ? 1
                         : rule.freq == ICAL_MINUTELY_RECURRENCE ? 60
                                                                 : 3600;
        long long step = unit * interval;
        return static_cast<long>(step / greatest_common_divisor(step, 86400));
    }
    case ICAL_DAILY_RECURRENCE:
        return static_cast<long>(interval);
    case ICAL_WEEKLY_RECURRENCE:
        return static_cast<long>(7 * interval);
    default:
        return 1;
    }
}

// libical's started iterator loses the week numbering of BYWEEKNO rules.
static bool starts_reliably(const icalrecurrencetype &rule)
{
    return list_length(rule.by_week_no) == 0;
}

// An upper bound of the steps that libical's iterator takes through one day
// of the rule: a field with a BY list steps through the list, one without it
// steps by the interval when the frequency names it. From a date, which has
// no time of day to step through by lists, it steps by the frequency.
static double steps_per_day(const icalrecurrencetype &rule, bool from_date)
{
    double interval = rule.interval > 0 ? rule.interval : 1;
    long seconds = list_length(rule.by_second);
    long minutes = list_length(rule.by_minute);
    long hours = list_length(rule.by_hour);
    if (from_date) {
        seconds = 0;
        minutes = 0;
        hours = 0;
    }
    switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE:
        return seconds > 0 ? 1440.0 * static_cast<double>(seconds) : std::ceil(86400 / interval);
    case ICAL_MINUTELY_RECURRENCE:
        return (minutes > 0 ? 24.0 * static_cast<double>(minutes) : std::ceil(1440 / interval)) *
               or_one(seconds);
    case ICAL_HOURLY_RECURRENCE:
        return (hours > 0 ? static_cast<double>(hours) : std::ceil(24 / interval)) *
               or_one(minutes) * or_one(seconds);
    default:
        return or_one(hours) * or_one(minutes) * or_one(seconds) / interval;
    }
}

// Rules that step through days, hours, minutes or seconds and pick days or
// times by their lists search step by step for one that fits: they are
// expanded in stretches. Every step of a rule without lists gives an
// instance, which the limit on instances bounds.
static bool expands_in_stretches(const icalrecurrencetype &rule)
{
    if (!is_gregorian(rule) || !starts_reliably(rule) || !has_by_lists(rule))
        return false;
    if (rule.freq <= ICAL_HOURLY_RECURRENCE)
        return true;
    return rule.freq == ICAL_DAILY_RECURRENCE &&
           (list_length(rule.by_month) > 0 || list_length(rule.by_month_day) > 0 ||
            list_length(rule.by_year_day) > 0);
}

// An UNTIL at the end of the given day, as DTSTART counts days: a date for a
// date, else the last second of the day as floating fields, which libical
// compares with the fields of DTSTART's zone.
static icaltimetype end_of_day(icaltimetype dtstart, long day)
{
    civil_day date = civil_day_of(day);
    icaltimetype until = icaltime_null_time();
    until.year = date.year;
    until.month = date.month;
    until.day = date.day;
    if (dtstart.is_date) {
        until.is_date = 1;
    } else {
        until.hour = 23;
        until.minute = 59;
        until.second = 59;
    }
    return until;
}

// libical steps a rule that repeats within a day in DTSTART's zone through
// its changes of daylight saving in a way of its own: a started iterator
// would fall on other times after a change than one that went through it.
// Such a rule is started once, where the period needs it, and goes on
// through all its days in one stretch, unless its steps run out.
static bool steps_through_zone_changes(const rule_instances *r)
{
    return r->rule.freq <= ICAL_HOURLY_RECURRENCE && !r->dtstart.is_date &&
           r->dtstart.zone != nullptr && r->dtstart.zone != icaltimezone_get_utc_timezone();
}

// A new iterator for the rule, started at DTSTART's time of day on the
// given day (at DTSTART itself when that day is not later).
static void open_iterator_at(rule_instances *r, const icalrecurrencetype &rule, long day)
{
    long first_day = day_number(r->dtstart);
    r->iterator.reset(icalrecur_iterator_new(rule, r->dtstart));
    if (r->iterator && day > first_day)
        icalrecur_iterator_set_start(r->iterator.get(), add_days(r->dtstart, day - first_day));
}

// The day from which an iterator gives every instance that can still end
// inside the period. libical cannot start a rule with COUNT later than its
// DTSTART.
static long day_near_period(const rule_instances *r, icaltimetype period_start, long longest_days)
{
    long first_day = day_number(r->dtstart);
    if (r->rule.count > 0 || !starts_reliably(r->rule))
        return first_day;
    // A day before, for the instances earlier in the day than DTSTART's time
    // of day; a day more when the period starts at a time in a zone, with
    // which an instance is compared in UTC.
    long margin = period_start.zone != nullptr ? 2 : 1;
    long from_day = day_number(period_start) - longest_days - margin;
    long skip = from_day - first_day;
    long step = skip_step_days(r->rule);
    skip -= skip % step;
    return skip > 0 ? first_day + skip : first_day;
}

static void start_own_days(rule_instances *r, icaltimetype period_start,
                           icaltimetype period_end, long longest_days, bool from_dtstart);

void start_rule_instances(rule_instances *r, icalrecurrencetype rule, icaltimetype dtstart,
                          icaltimetype period_start, icaltimetype period_end, long longest_days,
                          bool from_dtstart, long max_calls, double max_steps)
{
    r->rule = rule;
    r->dtstart = dtstart;
    r->iterator.reset();
    r->calls_left = max_calls;
    r->cut_short = false;
    r->finished = false;
    r->by_stretches = false;
    r->days_from_end = false;
    r->by_own_days = false;
    r->given = 0;
    r->catching_up = false;
    r->count = 0;
    if (expands_by_own_days(rule)) {
        start_own_days(r, period_start, period_end, longest_days, from_dtstart);
        return;
    }
    if (from_dtstart) {
        // Day lists counted from the end are applied here, as near the
        // period, and COUNT with them.
        r->days = filter_of(rule);
        r->days_from_end = rule.freq <= ICAL_DAILY_RECURRENCE && is_gregorian(rule) &&
                           (r->days.month_days_from_end.any() || r->days.year_days_from_end.any());
        if (r->days_from_end) {
            r->rule.by_month_day[0] = ICAL_RECURRENCE_ARRAY_MAX;
            r->rule.by_year_day[0] = ICAL_RECURRENCE_ARRAY_MAX;
            r->count = rule.count;
            r->rule.count = 0;
        }
        r->iterator.reset(icalrecur_iterator_new(r->rule, dtstart));
        r->finished = !r->iterator;
        return;
    }

    long last_day = day_number(period_end) + ZONE_MARGIN_DAYS;
    if (expands_in_stretches(rule)) {
        r->by_stretches = true;
        r->days = filter_of(rule);
        r->days_from_end = r->days.month_days_from_end.any() || r->days.year_days_from_end.any();
        if (r->days_from_end) {
            r->rule.by_month_day[0] = ICAL_RECURRENCE_ARRAY_MAX;
            r->rule.by_year_day[0] = ICAL_RECURRENCE_ARRAY_MAX;
        }
        r->count = rule.count;
        r->rule.count = 0;
        r->own_until = rule.until;
        r->dtstart_day = day_number(dtstart);
        r->phase_days = skip_step_days(rule);
        r->one_stretch = steps_through_zone_changes(r);
        r->one_stretch_start =
            rule.count > 0 ? r->dtstart_day : day_near_period(r, period_start, longest_days);
        r->steps_per_day = steps_per_day(rule, dtstart.is_date != 0);
        r->steps_left = max_steps;
        long margin = period_start.zone != nullptr ? 2 : 1;
        long from_day = day_number(period_start) - longest_days - margin;
        r->next_day = rule.count > 0 ? r->dtstart_day : std::max(r->dtstart_day, from_day);
        r->first_day = r->next_day;
        r->last_day = std::min(last_day, day_number(LIBICAL_LAST_YEAR, 12, 31));
        if (!icaltime_is_null_time(rule.until))
            r->last_day = std::min(r->last_day, day_number(rule.until) + 1);
        return;
    }

    // An UNTIL a year after the period: sets that BYSETPOS picks from stay
    // whole, and libical does not search on through the years after it. A
    // rule whose next instance is at most a step away needs neither, and
    // the UNTIL costs a comparison at each instance.
    if (icaltime_is_null_time(rule.until) && period_end.year < LIBICAL_LAST_YEAR &&
        !gives_an_instance_each_step(rule))
        r->rule.until = end_of_day(dtstart, day_number(period_end.year + 1, 12, 31));
    open_iterator_at(r, r->rule, day_near_period(r, period_start, longest_days));
    r->finished = !r->iterator;
}

// The first day from `day` on, up to `last`, that the filter passes; a day
// after `last` when none does. Months that the filter leaves out are passed
// over whole.
static long next_open_day(const rule_instances *r, long day, long last)
{
    while (day <= last) {
        civil_day date = civil_day_of(day);
        if (!r->days.months[static_cast<size_t>(date.month)]) {
            day = date.month == 12 ? day_number(date.year + 1, 1, 1)
                                   : day_number(date.year, date.month + 1, 1);
            continue;
        }
        if (date_passes(r->days, date))
            return day;
        day++;
    }
    return last + 1;
}

static long run_end(const rule_instances *r, long first)
{
    long day = first;
    while (day + 1 <= r->last_day && day_passes(r->days, day + 1))
        day++;
    return day;
}

// The day at whose DTSTART time of day an iterator restarts for a stretch
// from `first`: the latest day before it in the phase of DTSTART, or
// DTSTART's own day (no restart) when there is none after it.
static long restart_day(const rule_instances *r, long first)
{
    long skip = first - 1 - r->dtstart_day;
    if (skip <= 0)
        return r->dtstart_day;
    return r->dtstart_day + skip - skip % r->phase_days;
}

// The next stretch: the next run of days that the rule's lists allow, with
// the runs after it whose restart would not skip a day, bounded by the
// steps left. False when there is none (or no step is left: cut_short).
static bool open_stretch(rule_instances *r)
{
    long first = next_open_day(r, r->next_day, r->last_day);
    if (first > r->last_day)
        return false;
    long last = run_end(r, first);
    long restart = restart_day(r, first);
    if (r->one_stretch) {
        last = r->last_day;
        while (last > first && !day_passes(r->days, last))
            last--;
        if (r->next_day == r->first_day)
            restart = std::min(r->one_stretch_start, first);
    }
    for (;;) {
        long more = next_open_day(r, last + 1, std::min(r->last_day, last + r->phase_days));
        if (more > r->last_day || more > last + r->phase_days || restart_day(r, more) > last)
            break;
        last = run_end(r, more);
    }
    double affordable = (r->steps_left - STRETCH_STEPS) / r->steps_per_day;
    if (affordable < static_cast<double>(first - restart + 1)) {
        r->cut_short = true;
        return false;
    }
    if (affordable < static_cast<double>(last - restart + 1))
        last = restart + static_cast<long>(affordable) - 1;
    double cost = static_cast<double>(last - restart + 1) * r->steps_per_day + STRETCH_STEPS;
    r->steps_left -= cost;
    r->stretch_cost = cost - STRETCH_STEPS;
    r->stretch_given = 0;
    steps_spent += cost;
    icalrecurrencetype rule = r->rule;
    rule.until = end_of_day(r->dtstart, last);
    // The rule's own UNTIL ends the last stretch, in its own zone.
    if (!icaltime_is_null_time(r->own_until) && day_number(r->own_until) <= last + 1) {
        rule.until = r->own_until;
        r->last_day = last;
    }
    open_iterator_at(r, rule, restart);
    if (!r->iterator)
        return false;
    r->catching_up = r->given > 0;
    r->next_day = last + 1;
    return true;
}

static icaltimetype next_own_instance(rule_instances *r);

icaltimetype next_rule_instance(rule_instances *r)
{
    if (r->by_own_days)
        return next_own_instance(r);
    for (;;) {
        if (r->finished)
            return icaltime_null_time();
        if ((r->by_stretches || r->days_from_end) && r->count > 0 && r->given >= r->count) {
            r->finished = true;
            continue;
        }
        if (!r->iterator && !open_stretch(r)) {
            r->finished = true;
            continue;
        }
        if (r->calls_left == 0) {
            r->cut_short = true;
            r->finished = true;
            continue;
        }
        r->calls_left--;
        calls_made++;
        icaltimetype instance = icalrecur_iterator_next(r->iterator.get());
        if (icaltime_is_null_time(instance)) {
            r->iterator.reset();
            r->finished = !r->by_stretches;
            // The steps that gave instances are paid for by the limit on
            // instances: the budget bounds only the steps that gave none.
            if (r->by_stretches) {
                double refund = std::min(static_cast<double>(r->stretch_given), r->stretch_cost);
                r->steps_left += refund;
                steps_spent -= refund;
            }
            continue;
        }
        // A stretch that the steps cut short is followed by one that starts
        // again a little before it ended: what it gives again is passed over.
        if (r->catching_up && icaltime_compare(instance, r->last_given) <= 0)
            continue;
        if (r->days_from_end && !day_passes(r->days, day_number(instance)))
            continue;
        r->catching_up = false;
        r->given++;
        r->stretch_given++;
        r->last_given = instance;
        return instance;
    }
}

// The values of a time field: its BY list, sorted and each once, or
// DTSTART's own.
template <size_t N>
static std::vector<int> field_values(const short (&list)[N], int dtstart_value, int limit)
{
    std::vector<int> values;
    for (long i = 0; i < list_length(list); i++) {
        if (list[i] >= 0 && list[i] < limit)
            values.push_back(list[i]);
    }
    if (list_length(list) == 0)
        values.push_back(dtstart_value);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

static void start_own_days(rule_instances *r, icaltimetype period_start,
                           icaltimetype period_end, long longest_days, bool from_dtstart)
{
    const icalrecurrencetype &rule = r->rule;
    r->by_own_days = true;
    r->count = rule.count;
    r->own_times.clear();
    if (r->dtstart.is_date) {
        r->own_times.push_back(0);
    } else {
        for (int hour : field_values(rule.by_hour, r->dtstart.hour, 24)) {
            for (int minute : field_values(rule.by_minute, r->dtstart.minute, 60)) {
                for (int second : field_values(rule.by_second, r->dtstart.second, 61))
                    r->own_times.push_back(hour * 3600 + minute * 60 + second);
            }
        }
    }
    int interval = rule.interval > 0 ? rule.interval : 1;
    r->own_year = r->dtstart.year;
    // Without COUNT the years before the period give nothing it shows: the
    // expansion starts, in the rule's phase of years, a year before the
    // first instance that can still reach the period.
    if (!from_dtstart && rule.count <= 0) {
        int from_year = period_start.year - 1 - static_cast<int>(longest_days / 365);
        if (from_year > r->own_year)
            r->own_year += (from_year - r->own_year) / interval * interval;
    }
    r->own_last_year = LIBICAL_LAST_YEAR;
    if (!from_dtstart && period_end.year + 1 < r->own_last_year)
        r->own_last_year = period_end.year + 1;
    if (!icaltime_is_null_time(rule.until) && rule.until.year < r->own_last_year)
        r->own_last_year = rule.until.year;
    r->own_days.clear();
    r->own_picks.clear();
    r->own_next = 0;
    r->own_year -= interval;   // the first call opens the first year
    r->finished = r->own_times.empty();
}

// The days of the next year of the rule's phase that fit its lists, and the
// places of the year's set that BYSETPOS picks. False after the last year.
static bool open_own_year(rule_instances *r)
{
    const icalrecurrencetype &rule = r->rule;
    int interval = rule.interval > 0 ? rule.interval : 1;
    r->own_year += interval;
    if (r->own_year > r->own_last_year)
        return false;
    long first = day_number(r->own_year, 1, 1);
    int year_length = static_cast<int>(day_number(r->own_year + 1, 1, 1) - first);
    r->own_days.clear();
    for (long day = first; day < first + year_length; day++) {
        civil_day date = civil_day_of(day);
        if (day_fits(rule, day, date, icaltime_days_in_month(date.month, date.year), year_length))
            r->own_days.push_back(day);
    }
    r->own_picks.clear();
    r->own_next = 0;
    long long size = static_cast<long long>(r->own_days.size()) *
                     static_cast<long long>(r->own_times.size());
    for (long i = 0; i < list_length(rule.by_set_pos); i++) {
        long long position = rule.by_set_pos[i];
        long long place = position > 0 ? position - 1 : size + position;
        if (position != 0 && place >= 0 && place < size)
            r->own_picks.push_back(place);
    }
    std::sort(r->own_picks.begin(), r->own_picks.end());
    r->own_picks.erase(std::unique(r->own_picks.begin(), r->own_picks.end()), r->own_picks.end());
    return true;
}

// The instance at a place of the open year's set: its day, then its time.
static icaltimetype own_instance_at(const rule_instances *r, long long place)
{
    long long times = static_cast<long long>(r->own_times.size());
    civil_day date = civil_day_of(r->own_days[static_cast<size_t>(place / times)]);
    int seconds = r->own_times[static_cast<size_t>(place % times)];
    icaltimetype instance = r->dtstart;
    instance.year = date.year;
    instance.month = date.month;
    instance.day = date.day;
    if (!instance.is_date) {
        instance.hour = seconds / 3600;
        instance.minute = seconds / 60 % 60;
        instance.second = seconds % 60;
    }
    return instance;
}

static icaltimetype next_own_instance(rule_instances *r)
{
    bool by_positions = list_length(r->rule.by_set_pos) > 0;
    while (!r->finished) {
        if (r->count > 0 && r->given >= r->count) {
            r->finished = true;
            break;
        }
        long long size = by_positions ? static_cast<long long>(r->own_picks.size())
                                      : static_cast<long long>(r->own_days.size()) *
                                            static_cast<long long>(r->own_times.size());
        if (r->own_next >= size) {
            if (!open_own_year(r))
                r->finished = true;
            continue;
        }
        long long place = by_positions ? r->own_picks[static_cast<size_t>(r->own_next)] : r->own_next;
        r->own_next++;
        icaltimetype instance = own_instance_at(r, place);
        // Only what follows DTSTART belongs to the set; DTSTART itself only
        // when the rule gives it, as libical has it.
        if (icaltime_compare(instance, r->dtstart) < 0)
            continue;
        if (!icaltime_is_null_time(r->rule.until) && compare_times(instance, r->rule.until) > 0) {
            r->finished = true;
            break;
        }
        if (r->calls_left == 0) {
            r->cut_short = true;
            r->finished = true;
            break;
        }
        r->calls_left--;
        calls_made++;
        r->given++;
        return instance;
    }
    return icaltime_null_time();
}
