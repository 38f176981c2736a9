// occurrence_collection.cc: one pass over the calendar's VEVENTs.
#include "renderer/occurrence_collection.h"

#include <array>
#include <cstdio>
#include <memory>

#include "renderer/expansion_controls.h"
#include "renderer/occurrence_table.h"
#include "renderer/zone_time.h"

static bool expansion_from_dtstart = false;
static long long instances_taken = 0;
static long instance_limit = MAX_RECURRENCE_INSTANCES;

void set_recurrence_instance_limit(long limit)
{
    instance_limit = limit;
}

void set_expansion_from_dtstart(bool from_dtstart)
{
    expansion_from_dtstart = from_dtstart;
}

long long recurrence_instances_taken()
{
    return instances_taken;
}

static bool is_after(icaltimetype a, icaltimetype b)
{
    return compare_times(a, b) > 0;
}

static bool is_before(icaltimetype a, icaltimetype b)
{
    return compare_times(a, b) < 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
static long day_number(int year, int month, int day)
{
    long y = month <= 2 ? year - 1 : year;
    long era = (y >= 0 ? y : y - 399) / 400;
    long year_of_era = y - era * 400;
    long day_of_year = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

static long day_number(icaltimetype t)
{
    return day_number(t.year, t.month, t.day);
}

static icaltimetype add_days(icaltimetype t, long days)
{
    icaldurationtype span = icaldurationtype_null_duration();
    span.is_neg = days < 0;
    span.days = static_cast<unsigned int>(days < 0 ? -days : days);
    return icaltime_add(t, span);
}

// Whole days that a duration spans, rounded up; 0 for a negative one.
static long duration_days(icaldurationtype duration)
{
    if (duration.is_neg)
        return 0;
    long seconds = icaldurationtype_as_int(duration);
    return (seconds + 86399) / 86400;
}

namespace {
// What the period needs of each event.
struct period {
    icaltimetype start;
    icaltimetype end;
    long first_shown_day;   // day numbers of the first and last day written
    long last_shown_day;
};
}

// Zone offsets move a date by at most a day either way; two days are safe.
constexpr long ZONE_MARGIN_DAYS = 2;

static void note_cut_short(icalcomponent *event)
{
    const char *uid = icalcomponent_get_uid(event);
    fprintf(stderr, "evtable: recurrence of %s cut short after %ld instances\n",
            uid != nullptr ? uid : "an event without UID", instance_limit);
}

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
static bool count_ends_before(const icalrecurrencetype &rule, icaltimetype dtstart,
                              icaldurationtype duration, const period &wanted)
{
    double step, longest;
    frequency_step(rule, &step, &longest);
    if (step != longest || has_by_lists(rule) || !icaltime_is_null_time(rule.until))
        return false;
    double span_days = (static_cast<double>(rule.count) - 1) * rule.interval * step / 86400;
    double last_day = static_cast<double>(day_number(dtstart)) + span_days * 1.01 +
                      static_cast<double>(duration_days(duration)) + 7;
    return last_day < static_cast<double>(day_number(wanted.start));
}

// Starts the iterator at the latest point from which an instance can still
// end inside the period. libical cannot do that for rules with COUNT; such a
// rule is taken as one without COUNT when it cannot have COUNT instances by
// the period's end, and otherwise expanded from DTSTART. The bound: steps of
// the frequency up to the period's end, times the instances one step can
// hold (one per finest unit the rule names, times its BY lists' lengths).
static icalrecurrencetype rule_for_period(icalrecurrencetype rule, icaltimetype dtstart,
                                          const period &wanted)
{
    if (expansion_from_dtstart || rule.count <= 0)
        return rule;
    double shortest, longest;
    frequency_step(rule, &shortest, &longest);
    double unit = unit_seconds(rule) < shortest ? unit_seconds(rule) : shortest;
    double interval = rule.interval > 0 ? rule.interval : 1;
    double steps = seconds_between(dtstart, wanted.end) / (shortest * interval) + 1;
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

static void start_iterator_near_period(icalrecur_iterator *iterator,
                                       const icalrecurrencetype &rule, icaltimetype dtstart,
                                       icaldurationtype duration, const period &wanted)
{
    if (expansion_from_dtstart || rule.count > 0 || !starts_reliably(rule))
        return;
    // A day before, for the instances earlier in the day than DTSTART's time
    // of day; a day more when the period starts at a time in a zone, with
    // which an instance is compared in UTC.
    long margin = wanted.start.zone != nullptr ? 2 : 1;
    long from_day = day_number(wanted.start) - duration_days(duration) - margin;
    long skip = from_day - day_number(dtstart);
    long step = skip_step_days(rule);
    skip -= skip % step;
    if (skip <= 0)
        return;
    icalrecur_iterator_set_start(iterator, add_days(dtstart, skip));
}

static void collect_recurring(icalcomponent *event, icalproperty *rrule, icaltimetype dtstart,
                              icaltimezone *display_zone, const period &wanted)
{
    if (is_after(dtstart, wanted.end))
        return;
    icaldurationtype duration = icalcomponent_get_duration(event);
    icalrecurrencetype rule = icalproperty_get_rrule(rrule);
    if (!expansion_from_dtstart && rule.count > 0 &&
        count_ends_before(rule, dtstart, duration, wanted))
        return;
    rule = rule_for_period(rule, dtstart, wanted);
    std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)> iterator(
        icalrecur_iterator_new(rule, dtstart), icalrecur_iterator_free);
    if (!iterator)
        return;
    start_iterator_near_period(iterator.get(), rule, dtstart, duration, wanted);
    for (long taken = 0;; taken++) {
        if (taken == instance_limit) {
            note_cut_short(event);
            return;
        }
        icaltimetype instance = icalrecur_iterator_next(iterator.get());
        instances_taken++;
        if (icaltime_is_null_time(instance) || is_after(instance, wanted.end))
            return;
        icaltimetype instance_end = icaltime_add(instance, duration);
        if (!is_before(instance_end, wanted.start))
            add_occurrence(event, display_zone, instance, instance_end);
    }
}

// One occurrence per day of the span, each carrying the event's own end. Days
// whose date cannot fall in a month that the document shows are skipped:
// they would never be written.
static void collect_single(icalcomponent *event, icaltimetype dtstart,
                           icaltimezone *display_zone, const period &wanted)
{
    if (is_after(dtstart, wanted.end))
        return;
    icaltimetype dtend = icalcomponent_get_dtend(event);
    if (icaltime_is_null_time(dtend))
        dtend = dtstart;
    if (is_after(wanted.start, dtend))
        return;
    icaltimetype day_start = dtstart;
    long skip = wanted.first_shown_day - ZONE_MARGIN_DAYS - day_number(dtstart);
    bool first = true;
    if (skip > 0) {
        day_start = add_days(dtstart, skip);
        first = false;
    }
    icaldurationtype one_day = icaldurationtype_null_duration();
    one_day.days = 1;
    while (first || is_before(day_start, dtend)) {
        if (day_number(day_start) > wanted.last_shown_day + ZONE_MARGIN_DAYS)
            return;
        add_occurrence(event, display_zone, day_start, dtend);
        day_start = icaltime_add(day_start, one_day);
        first = false;
    }
}

void collect_occurrences(icalcomponent *root, const event_selection *selection,
                         icaltimezone *display_zone, icaltimetype period_start,
                         icaldurationtype period_duration)
{
    period wanted;
    wanted.start = period_start;
    wanted.end = icaltime_add(period_start, period_duration);
    wanted.first_shown_day = day_number(period_start.year, period_start.month, 1);
    wanted.last_shown_day =
        day_number(wanted.end.year, wanted.end.month,
                   icaltime_days_in_month(wanted.end.month, wanted.end.year));

    for (icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
         event != nullptr; event = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
        if (!select_event(event, selection, "PUBLIC", evtable_class_text))
            continue;
        icaltimetype dtstart = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(dtstart))
            continue;
        icalproperty *rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
        if (rrule != nullptr)
            collect_recurring(event, rrule, dtstart, display_zone, wanted);
        else
            collect_single(event, dtstart, display_zone, wanted);
    }
}
