// occurrence_collection.cc: one pass over the calendar's VEVENTs.
#include "renderer/occurrence_collection.h"

#include <cstdio>
#include <memory>

#include "renderer/occurrence_table.h"

static bool expansion_from_dtstart = false;
static long long instances_taken = 0;

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
    return icaltime_compare(a, b) > 0;
}

static bool is_before(icaltimetype a, icaltimetype b)
{
    return icaltime_compare(a, b) < 0;
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
            uid != nullptr ? uid : "an event without UID", MAX_RECURRENCE_INSTANCES);
}

// Starts the iterator at the latest point from which an instance can still
// end inside the period; libical cannot do that for rules with COUNT.
static void start_iterator_near_period(icalrecur_iterator *iterator,
                                       const icalrecurrencetype &rule, icaltimetype dtstart,
                                       icaldurationtype duration, const period &wanted)
{
    if (expansion_from_dtstart || rule.count > 0)
        return;
    long from_day = day_number(wanted.start) - duration_days(duration) - ZONE_MARGIN_DAYS;
    long skip = from_day - day_number(dtstart);
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
    std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)> iterator(
        icalrecur_iterator_new(rule, dtstart), icalrecur_iterator_free);
    if (!iterator)
        return;
    start_iterator_near_period(iterator.get(), rule, dtstart, duration, wanted);
    for (long taken = 0;; taken++) {
        if (taken == MAX_RECURRENCE_INSTANCES) {
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
