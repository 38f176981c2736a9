// event_collection.cc: one event's occurrences, in the order of its
// instances.
#include "renderer/event_collection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "renderer/calendar_days.h"
#include "renderer/count_bounds.h"
#include "renderer/event_times.h"
#include "renderer/occurrence_table.h"
#include "renderer/rule_budget.h"
#include "renderer/rule_expansion.h"
#include "renderer/rule_verdicts.h"
#include "renderer/zone_time.h"
#include "shared/libical_facts.h"
#include "shared/property_text.h"
#include "shared/time_zones.h"

static bool is_after(icaltimetype a, icaltimetype b)
{
    return compare_times(a, b) > 0;
}

static bool is_before(icaltimetype a, icaltimetype b)
{
    return compare_times(a, b) < 0;
}

// The UID as a warning quotes it: without its control characters.
static std::string uid_or_placeholder(icalcomponent *event, const char *placeholder)
{
    const char *uid = icalcomponent_get_uid(event);
    return uid != nullptr ? printable(uid) : placeholder;
}

static void note_cut_short(icalcomponent *event, long instances)
{
    fprintf(stderr, "evtable: recurrence of %s cut short after %ld instance%s\n",
            uid_or_placeholder(event, "an event without UID").c_str(), instances,
            instances == 1 ? "" : "s");
}

static void note_dropped_rule(icalcomponent *event, icalrecurrencetype rule, rule_verdict verdict)
{
    char *text = icalrecurrencetype_as_string_r(&rule);
    fprintf(stderr, "evtable: recurrence of %s dropped: rule %s %s\n",
            uid_or_placeholder(event, "an event without UID").c_str(), printable(text).c_str(),
            verdict_reason(verdict));
    icalmemory_free_buffer(text);
}

namespace {

// The collection of one event.
struct event_work {
    icalcomponent *event;
    const time_set *overrides;   // of its UID; null for none
    icaltimezone *series_zone;   // DTSTART's; null for a date or a floating time
    time_set excluded;    // its EXDATE values
    long instances;       // taken from its rule and its RDATEs
    event_tally tally;    // its occurrences
};

// One instance that an RDATE adds.
struct added_instance {
    time_key key;
    icaltimetype start;
    icaltimetype end;
};

// What one rule may spend: its own limits, or less when the document's
// budget of rule steps has less left (a rule expanded from DTSTART, for
// the tests, is not bounded by it).
struct rule_allowance {
    long calls;
    double steps;
};

}  // namespace

// One occurrence; false when a limit stops the event.
static bool append_occurrence(collection *c, event_work *e, icaltimetype start, icaltimetype end)
{
    if (!share_has_room(&c->share, e->tally))
        return false;
    long limit = c->limits->occurrences_per_event;
    if (e->tally.occurrences >= limit) {
        const char *uid = icalcomponent_get_uid(e->event);
        fprintf(stderr, "evtable: %s%s cut short after %ld occurrence%s\n",
                uid != nullptr ? "event " : "an event without UID", printable(uid).c_str(), limit,
                limit == 1 ? "" : "s");
        return false;
    }
    add_occurrence(e->event, c->display_zone, start, end);
    return count_occurrence(&c->share, e->event, &e->tally);
}

// The same time of day on the next day: the date steps on as icaltime_add
// steps it, without its normalisation of every field.
static icaltimetype next_day(icaltimetype t)
{
    if (t.month < 1 || t.month > 12)
        return add_days(t, 1);
    int days_in_month = icaltime_days_in_month(t.month, t.year);
    if (t.day < 1 || t.day > days_in_month)
        return add_days(t, 1);
    if (t.day < days_in_month) {
        t.day++;
    } else if (t.month < 12) {
        t.day = 1;
        t.month++;
    } else {
        t.day = 1;
        t.month = 1;
        t.year++;
    }
    return t;
}

// One occurrence per day of the instance, each carrying the instance's own
// end; a day is one more when its start, at the instance's time of day, is
// still before the end. Days whose date cannot fall in a month that the
// document shows are skipped: they would never be written. False when a
// limit stopped the event.
static bool append_instance(collection *c, event_work *e, icaltimetype start, icaltimetype end)
{
    icaltimetype day_start = start;
    long skip = c->wanted.first_shown_day - ZONE_MARGIN_DAYS - day_number(start);
    bool first = true;
    if (skip > 0) {
        day_start = add_days(start, skip);
        first = false;
    }
    while (first || is_before(day_start, end)) {
        if (day_number(day_start) > c->wanted.last_shown_day + ZONE_MARGIN_DAYS)
            return true;
        if (!append_occurrence(c, e, day_start, end))
            return false;
        day_start = next_day(day_start);
        first = false;
    }
    return true;
}

// True when an EXDATE removes the instance or an override replaces it.
static bool is_replaced(const event_work *e, const icaltimetype &start)
{
    return (!e->excluded.times.empty() && set_lists(e->excluded, start, true, e->series_zone)) ||
           (e->overrides != nullptr && set_lists(*e->overrides, start, false));
}

// An event's own span from DTSTART to DTEND (DTSTART without an end).
static bool collect_span(collection *c, event_work *e, icaltimetype dtstart)
{
    if (is_after(dtstart, c->wanted.end))
        return true;
    icaltimetype dtend = event_end(e->event);
    if (icaltime_is_null_time(dtend))
        dtend = dtstart;
    if (is_after(c->wanted.start, dtend))
        return true;
    return append_instance(c, e, dtstart, dtend);
}

static std::vector<added_instance> added_instances(icalcomponent *event,
                                                  const event_length &length)
{
    std::vector<added_instance> added;
    for (icalproperty *rdate = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY);
         rdate != nullptr; rdate = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
        icaldatetimeperiodtype value = icalproperty_get_rdate(rdate);
        added_instance instance;
        if (!icaltime_is_null_time(value.time)) {
            instance.start = zoned_time(event, rdate, value.time);
            instance.end = instance_end(instance.start, length);
        } else if (!icaltime_is_null_time(value.period.start)) {
            // A period's own end or duration replaces the event's duration.
            instance.start = zoned_time(event, rdate, value.period.start);
            instance.end = icaltime_is_null_time(value.period.end)
                               ? icaltime_add(instance.start, value.period.duration)
                               : zoned_time(event, rdate, value.period.end);
        } else {
            continue;
        }
        instance.key = instance_key(instance.start);
        added.push_back(instance);
    }
    std::stable_sort(added.begin(), added.end(),
                     [](const added_instance &a, const added_instance &b) { return a.key < b.key; });
    added.erase(std::unique(added.begin(), added.end(),
                            [](const added_instance &a, const added_instance &b) {
                                return a.key == b.key;
                            }),
                added.end());
    return added;
}

static rule_allowance allowance_of(const collection *c, long calls)
{
    if (c->limits->from_dtstart)
        return {calls, c->limits->steps_per_rule};
    long long available = rule_steps_available();
    return {static_cast<long>(std::min<long long>(calls, available)),
            std::min(c->limits->steps_per_rule, static_cast<double>(available))};
}

// True when the budget rather than the rule's own limits cut it short: the
// calls ran out and were fewer than its own, or the steps did.
static bool cut_by_budget(const collection *c, const rule_allowance &allowance,
                          const rule_instances &instances, long calls)
{
    if (instances.calls_left == 0)
        return allowance.calls < calls;
    return allowance.steps < c->limits->steps_per_rule;
}

// One instance of a rule, unless an RDATE lists it too, an EXDATE removes it
// or an override replaces it, gives the days of its span. False when a
// limit stopped the event.
static bool use_rule_instance(collection *c, event_work *e, icaltimetype instance,
                              const event_length &length, const time_set &added)
{
    if (!added.times.empty() && set_lists(added, instance, false))
        return true;
    // An instance that ends days before the period needs no zone look-up
    // for its exact end.
    if (day_number(instance) + length.longest_days < c->wanted.first_needed_day)
        return true;
    icaltimetype end = instance_end(instance, length);
    if (is_before(end, c->wanted.start) || is_replaced(e, instance))
        return true;
    return append_instance(c, e, instance, end);
}

// With gathered, the instances up to the period's end are put there instead.
static bool collect_rule(collection *c, event_work *e, icalproperty *rrule, icaltimetype dtstart,
                         const event_length &length, const time_set &added,
                         std::vector<icaltimetype> *gathered = nullptr)
{
    if (is_after(dtstart, c->wanted.end))
        return true;
    icalrecurrencetype rule = icalproperty_get_rrule(rrule);
    long longest_days = duration_days(length.duration);
    if (!c->limits->from_dtstart) {
        rule_verdict verdict = judge_rule(rule);
        if (verdict != RULE_EXPANDABLE) {
            note_dropped_rule(e->event, rule, verdict);
            return true;
        }
        if (count_ends_before(rule, dtstart, longest_days, c->wanted.start))
            return true;
        rule = rule_for_period(rule, dtstart, c->wanted.end);
        rule = count_as_until(rule, dtstart);
    }
    long calls = c->limits->instances_per_event - e->instances;
    rule_instances instances;
    rule_allowance allowance = allowance_of(c, calls);
    double steps_before = rule_steps_spent();
    start_rule_instances(&instances, rule, dtstart, c->wanted.start, c->wanted.end, longest_days,
                         c->limits->from_dtstart, allowance.calls, allowance.steps);
    bool more = true;
    for (;;) {
        icaltimetype instance = next_rule_instance(&instances);
        if (icaltime_is_null_time(instance) || is_after(instance, c->wanted.end))
            break;
        if (gathered != nullptr) {
            gathered->push_back(instance);
            continue;
        }
        if (!use_rule_instance(c, e, instance, length, added)) {
            more = false;
            break;
        }
    }
    long taken = allowance.calls - instances.calls_left;
    e->instances += taken;
    charge_rule_steps(taken + std::llround(rule_steps_spent() - steps_before));
    if (more && instances.cut_short) {
        if (cut_by_budget(c, allowance, instances, calls))
            note_rule_steps_spent();
        else
            note_cut_short(e->event, e->instances);
        return false;
    }
    return more;
}

// Every RRULE of an event, as RFC 2445 allowed and files still have: the
// instances of all of them, each start once, in order. The bound on
// instances counts them all together; what the rules gave before it was
// reached is still used.
static bool collect_rules(collection *c, event_work *e, icaltimetype dtstart,
                          const event_length &length, const time_set &added)
{
    // The rules are listed first: collecting one looks up other properties
    // of the event, which starts libical's walk through them again.
    std::vector<icalproperty *> rules;
    for (icalproperty *rrule = icalcomponent_get_first_property(e->event, ICAL_RRULE_PROPERTY);
         rrule != nullptr; rrule = icalcomponent_get_next_property(e->event, ICAL_RRULE_PROPERTY))
        rules.push_back(rrule);
    std::vector<icaltimetype> instances;
    bool more = true;
    for (size_t i = 0; i < rules.size() && more; i++)
        more = collect_rule(c, e, rules[i], dtstart, length, added, &instances);
    // All rules start at DTSTART: their instances share its zone, and its
    // fields order them.
    auto earlier = [](const icaltimetype &a, const icaltimetype &b) {
        return field_seconds(a) < field_seconds(b);
    };
    auto same = [](const icaltimetype &a, const icaltimetype &b) {
        return field_seconds(a) == field_seconds(b);
    };
    std::sort(instances.begin(), instances.end(), earlier);
    instances.erase(std::unique(instances.begin(), instances.end(), same), instances.end());
    for (const icaltimetype &instance : instances) {
        if (!use_rule_instance(c, e, instance, length, added))
            return false;
    }
    return more;
}

// A series: the instances of its rule, or DTSTART's alone without one, and
// those that its RDATEs add.
static void collect_series(collection *c, event_work *e, const event_entry &entry,
                           icaltimetype dtstart)
{
    // A rule gives no instance before DTSTART; an RDATE may.
    if (!entry.has_rdate && is_after(dtstart, c->wanted.end))
        return;
    event_length length = length_of(e->event, dtstart);
    std::vector<added_instance> added;
    time_set added_starts;
    if (entry.has_rdate) {
        added = added_instances(e->event, length);
        for (const added_instance &instance : added)
            add_to_set(&added_starts, instance.start);
        seal_set(&added_starts);
    }
    if (entry.several_rules) {
        if (!collect_rules(c, e, dtstart, length, added_starts))
            return;
    } else if (entry.rrule != nullptr) {
        if (!collect_rule(c, e, entry.rrule, dtstart, length, added_starts))
            return;
    } else if (!set_lists(added_starts, dtstart, false) && !is_replaced(e, dtstart)) {
        if (!collect_span(c, e, dtstart))
            return;
    }
    for (const added_instance &instance : added) {
        if (e->instances >= c->limits->instances_per_event) {
            note_cut_short(e->event, e->instances);
            return;
        }
        e->instances++;
        if (is_after(instance.start, c->wanted.end) || is_before(instance.end, c->wanted.start) ||
            is_replaced(e, instance.start))
            continue;
        if (!append_instance(c, e, instance.start, instance.end))
            return;
    }
}

void collect_event(collection *c, const event_entry &entry, icaltimetype dtstart)
{
    event_work e;
    e.event = entry.event;
    e.overrides = nullptr;
    e.series_zone = dtstart.is_date ? nullptr : const_cast<icaltimezone *>(dtstart.zone);
    e.instances = 0;
    e.tally = {-1, 0};
    // An override is one instance: a rule, RDATEs or EXDATEs copied into it
    // are not expanded, and nothing replaces it.
    if (entry.recurrence_id != nullptr) {
        collect_span(c, &e, dtstart);
        return;
    }
    if (!c->overrides.empty()) {
        const char *uid = icalcomponent_get_uid(entry.event);
        auto found = uid != nullptr ? c->overrides.find(uid) : c->overrides.end();
        if (found != c->overrides.end())
            e.overrides = &found->second;
    }
    if (entry.has_exdate) {
        for (icalproperty *exdate = icalcomponent_get_first_property(e.event, ICAL_EXDATE_PROPERTY);
             exdate != nullptr;
             exdate = icalcomponent_get_next_property(e.event, ICAL_EXDATE_PROPERTY))
            add_to_set(&e.excluded, listed_time(e.event, exdate));
        seal_set(&e.excluded);
    }
    if (entry.rrule != nullptr || entry.has_rdate)
        collect_series(c, &e, entry, dtstart);
    else if (!is_replaced(&e, dtstart))
        collect_span(c, &e, dtstart);
}
