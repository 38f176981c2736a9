// count_bounds.cc: upper bounds of a rule's instances, and the last instance
// of a rule of one fixed step, by arithmetic.
#include "renderer/count_bounds.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <vector>

#include "renderer/calendar_days.h"
#include "renderer/rule_parts.h"
#include "shared/libical_facts.h"

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
