// recurrence_rules.cc: bounds for libical's recurrence iterator.
#include "renderer/recurrence_rules.h"

#include <array>

#include "renderer/calendar_days.h"

static long long calls_made = 0;

long long rule_calls_made()
{
    return calls_made;
}

// Zone offsets move a date by at most a day either way; two days are safe.
constexpr long ZONE_MARGIN_DAYS = 2;

template <size_t N> static long list_length(const short (&values)[N])
{
    long length = 0;
    while (length < static_cast<long>(N) && values[length] != ICAL_RECURRENCE_ARRAY_MAX)
        length++;
    return length;
}

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

// How many instances one step of the finest unit a rule names can hold at
// most: instances are distinct times, but a BY list that repeats a value
// might give one twice, so every list's length is a factor.
static double instances_per_unit(const icalrecurrencetype &rule)
{
    double product = 1;
    for (long length : by_list_lengths(rule))
        product *= length > 0 ? static_cast<double>(length) : 1.0;
    return product;
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

// An upper bound of the instances up to the period's end: steps of the
// frequency times the instances one step can hold (one per finest unit the
// rule names, times its BY lists' lengths). When it is below COUNT, the rule
// cannot have COUNT instances by then and is taken as one without COUNT,
// which libical can start near the period.
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
    if (steps * per_step < static_cast<double>(rule.count))
        rule.count = 0;
    return rule;
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

void start_rule_instances(rule_instances *r, icalrecurrencetype rule, icaltimetype dtstart,
                          icaltimetype period_start, long longest_days, bool from_dtstart,
                          long max_calls)
{
    r->rule = rule;
    r->dtstart = dtstart;
    r->calls_left = max_calls;
    r->cut_short = false;
    r->finished = false;
    if (from_dtstart) {
        r->iterator.reset(icalrecur_iterator_new(rule, dtstart));
    } else {
        open_iterator_at(r, rule, day_near_period(r, period_start, longest_days));
    }
    r->finished = !r->iterator;
}

icaltimetype next_rule_instance(rule_instances *r)
{
    if (r->finished)
        return icaltime_null_time();
    if (r->calls_left == 0) {
        r->cut_short = true;
        r->finished = true;
        return icaltime_null_time();
    }
    r->calls_left--;
    calls_made++;
    icaltimetype instance = icalrecur_iterator_next(r->iterator.get());
    r->finished = icaltime_is_null_time(instance);
    return instance;
}
