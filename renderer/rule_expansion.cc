// rule_expansion.cc: one rule's instances, plainly from an iterator started
// near the period, or in stretches of the days its lists allow, or by the
// rule's own days of each year.
#include "renderer/rule_expansion.h"

#include <algorithm>
#include <cmath>

#include "renderer/calendar_days.h"
#include "renderer/rule_parts.h"
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
    r->mode = PLAIN_EXPANSION;
    r->days_from_end = false;
    r->given = 0;
    r->stretches.catching_up = false;
    r->count = 0;
    if (expands_by_own_days(rule)) {
        r->mode = YEARLY_DAYS_EXPANSION;
        r->count = rule.count;
        r->finished = !start_yearly_days(&r->own_days, rule, dtstart, period_start, period_end,
                                         longest_days, from_dtstart);
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
        r->mode = STRETCHED_EXPANSION;
        rule_stretches &s = r->stretches;
        r->days = filter_of(rule);
        r->days_from_end = r->days.month_days_from_end.any() || r->days.year_days_from_end.any();
        if (r->days_from_end) {
            r->rule.by_month_day[0] = ICAL_RECURRENCE_ARRAY_MAX;
            r->rule.by_year_day[0] = ICAL_RECURRENCE_ARRAY_MAX;
        }
        r->count = rule.count;
        r->rule.count = 0;
        s.own_until = rule.until;
        s.dtstart_day = day_number(dtstart);
        s.phase_days = skip_step_days(rule);
        s.one_stretch = steps_through_zone_changes(r);
        s.one_stretch_start =
            rule.count > 0 ? s.dtstart_day : day_near_period(r, period_start, longest_days);
        s.steps_per_day = steps_per_day(rule, dtstart.is_date != 0);
        s.steps_left = max_steps;
        long margin = period_start.zone != nullptr ? 2 : 1;
        long from_day = day_number(period_start) - longest_days - margin;
        s.next_day = rule.count > 0 ? s.dtstart_day : std::max(s.dtstart_day, from_day);
        s.first_day = s.next_day;
        s.last_day = std::min(last_day, day_number(LIBICAL_LAST_YEAR, 12, 31));
        if (!icaltime_is_null_time(rule.until))
            s.last_day = std::min(s.last_day, day_number(rule.until) + 1);
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
    const rule_stretches &s = r->stretches;
    long day = first;
    while (day + 1 <= s.last_day && day_passes(r->days, day + 1))
        day++;
    return day;
}

// The day at whose DTSTART time of day an iterator restarts for a stretch
// from `first`: the latest day before it in the phase of DTSTART, or
// DTSTART's own day (no restart) when there is none after it.
static long restart_day(const rule_instances *r, long first)
{
    const rule_stretches &s = r->stretches;
    long skip = first - 1 - s.dtstart_day;
    if (skip <= 0)
        return s.dtstart_day;
    return s.dtstart_day + skip - skip % s.phase_days;
}

// The next stretch: the next run of days that the rule's lists allow, with
// the runs after it whose restart would not skip a day, bounded by the
// steps left. False when there is none (or no step is left: cut_short).
static bool open_stretch(rule_instances *r)
{
    rule_stretches &s = r->stretches;
    long first = next_open_day(r, s.next_day, s.last_day);
    if (first > s.last_day)
        return false;
    long last = run_end(r, first);
    long restart = restart_day(r, first);
    if (s.one_stretch) {
        last = s.last_day;
        while (last > first && !day_passes(r->days, last))
            last--;
        if (s.next_day == s.first_day)
            restart = std::min(s.one_stretch_start, first);
    }
    for (;;) {
        long more = next_open_day(r, last + 1, std::min(s.last_day, last + s.phase_days));
        if (more > s.last_day || more > last + s.phase_days || restart_day(r, more) > last)
            break;
        last = run_end(r, more);
    }
    double affordable = (s.steps_left - STRETCH_STEPS) / s.steps_per_day;
    if (affordable < static_cast<double>(first - restart + 1)) {
        r->cut_short = true;
        return false;
    }
    if (affordable < static_cast<double>(last - restart + 1))
        last = restart + static_cast<long>(affordable) - 1;
    double cost = static_cast<double>(last - restart + 1) * s.steps_per_day + STRETCH_STEPS;
    s.steps_left -= cost;
    s.stretch_cost = cost - STRETCH_STEPS;
    s.stretch_given = 0;
    steps_spent += cost;
    icalrecurrencetype rule = r->rule;
    rule.until = end_of_day(r->dtstart, last);
    // The rule's own UNTIL ends the last stretch, in its own zone.
    if (!icaltime_is_null_time(s.own_until) && day_number(s.own_until) <= last + 1) {
        rule.until = s.own_until;
        s.last_day = last;
    }
    open_iterator_at(r, rule, restart);
    if (!r->iterator)
        return false;
    s.catching_up = r->given > 0;
    s.next_day = last + 1;
    return true;
}

// The next instance of a rule expanded by its own days, within its COUNT,
// its UNTIL and the calls allowed, each counted as a call of libical's.
static icaltimetype next_own_instance(rule_instances *r)
{
    if (r->finished)
        return icaltime_null_time();
    if (r->count > 0 && r->given >= r->count) {
        r->finished = true;
        return icaltime_null_time();
    }
    icaltimetype instance = next_yearly_instance(&r->own_days, r->rule, r->dtstart);
    if (icaltime_is_null_time(instance) ||
        (!icaltime_is_null_time(r->rule.until) && compare_times(instance, r->rule.until) > 0)) {
        r->finished = true;
        return icaltime_null_time();
    }
    if (r->calls_left == 0) {
        r->cut_short = true;
        r->finished = true;
        return icaltime_null_time();
    }
    r->calls_left--;
    calls_made++;
    r->given++;
    return instance;
}

icaltimetype next_rule_instance(rule_instances *r)
{
    if (r->mode == YEARLY_DAYS_EXPANSION)
        return next_own_instance(r);
    for (;;) {
        if (r->finished)
            return icaltime_null_time();
        bool counted_here = r->mode == STRETCHED_EXPANSION || r->days_from_end;
        if (counted_here && r->count > 0 && r->given >= r->count) {
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
            r->finished = r->mode != STRETCHED_EXPANSION;
            // The steps that gave instances are paid for by the limit on
            // instances: the budget bounds only the steps that gave none.
            if (r->mode == STRETCHED_EXPANSION) {
                double refund = std::min(static_cast<double>(r->stretches.stretch_given),
                                         r->stretches.stretch_cost);
                r->stretches.steps_left += refund;
                steps_spent -= refund;
            }
            continue;
        }
        // A stretch that the steps cut short is followed by one that starts
        // again a little before it ended: what it gives again is passed over.
        if (r->stretches.catching_up && icaltime_compare(instance, r->stretches.last_given) <= 0)
            continue;
        if (r->days_from_end && !day_passes(r->days, day_number(instance)))
            continue;
        r->stretches.catching_up = false;
        r->given++;
        r->stretches.stretch_given++;
        r->stretches.last_given = instance;
        return instance;
    }
}
