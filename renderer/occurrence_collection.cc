// occurrence_collection.cc: two walks over the calendar's VEVENTs. The first
// notes, for every event, the properties that make it a series or an
// override, and indexes the overriding events by UID and RECURRENCE-ID; the
// second turns the selected events, in document order, into occurrences.
#include "renderer/occurrence_collection.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "renderer/calendar_days.h"
#include "renderer/event_block.h"
#include "renderer/expansion_controls.h"
#include "renderer/listed_times.h"
#include "renderer/occurrence_table.h"
#include "renderer/recurrence_rules.h"
#include "renderer/rule_budget.h"
#include "shared/libical_facts.h"
#include "renderer/zone_time.h"
#include "shared/property_text.h"
#include "shared/time_zones.h"

static bool expansion_from_dtstart = false;
static long instance_limit = MAX_RECURRENCE_INSTANCES;
static double rule_step_limit = MAX_RULE_STEPS;
static long event_occurrence_limit = MAX_EVENT_OCCURRENCES;
static long document_occurrence_limit = MAX_DOCUMENT_OCCURRENCES;

void set_recurrence_instance_limit(long limit)
{
    instance_limit = limit;
}

void set_occurrence_limits(long per_event, long per_document)
{
    event_occurrence_limit = per_event;
    document_occurrence_limit = per_document;
}

void set_rule_step_limit(double steps)
{
    rule_step_limit = steps;
}

void set_expansion_from_dtstart(bool from_dtstart)
{
    expansion_from_dtstart = from_dtstart;
}

long long recurrence_instances_taken()
{
    return rule_calls_made();
}

static bool is_after(icaltimetype a, icaltimetype b)
{
    return compare_times(a, b) > 0;
}

static bool is_before(icaltimetype a, icaltimetype b)
{
    return compare_times(a, b) < 0;
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
    long first_needed_day;  // an instance ending before this day is not needed
};

// The RECURRENCE-IDs of the overriding events of each UID.
using override_index = std::unordered_map<std::string_view, time_set>;

// What the first walk notes of each VEVENT that has a rule, an override's
// RECURRENCE-ID, RDATE or EXDATE; the others need no note.
struct event_entry {
    icalcomponent *event;
    icalproperty *rrule;           // the first RRULE; null for none
    bool several_rules;            // more RRULEs follow the first
    icalproperty *recurrence_id;   // null unless the event overrides an instance
    bool has_rdate;
    bool has_exdate;
};

// One instance that an RDATE adds.
struct added_instance {
    time_key key;
    icaltimetype start;
    icaltimetype end;
};

// The occurrences that one event has in the table.
struct event_count {
    const icalcomponent *event;
    long occurrences;
    bool cut;   // it has or had more than it keeps
};

struct collection {
    icaltimezone *display_zone;
    period wanted;
    override_index overrides;
    long occurrences;
    // The events with occurrences, in document order, and the most that an
    // event may still take: the document's share, once its bound was reached.
    std::vector<event_count> counts;
    long share;
};

// The collection of one event.
struct event_work {
    icalcomponent *event;
    const time_set *overrides;   // of its UID; null for none
    icaltimezone *series_zone;   // DTSTART's; null for a date or a floating time
    time_set excluded;    // its EXDATE values
    long instances;       // taken from its rule and its RDATEs
    long occurrences;
    long count_index;     // in the collection's counts; -1 before its first occurrence
};

}  // namespace

// A listed value with the zone that its TZID names; the value itself, not
// libical's reading of the property, which looks zone names up on its own.
static icaltimetype listed_time(icalcomponent *event, icalproperty *property)
{
    icaltimetype value = icalvalue_get_datetimedate(icalproperty_get_value(property));
    return zoned_time(event, property, value);
}

// The first walk: notes, in document order, and the index of overrides.
static std::vector<event_entry> walk_events(icalcomponent *root, override_index *overrides,
                                           long *property_count)
{
    std::vector<event_entry> entries;
    for (icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
         event != nullptr; event = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
        event_entry entry{event, nullptr, false, nullptr, false, false};
        int properties = 0;
        for (icalproperty *property = icalcomponent_get_first_property(event, ICAL_ANY_PROPERTY);
             property != nullptr;
             property = icalcomponent_get_next_property(event, ICAL_ANY_PROPERTY)) {
            if (++properties == MANY_PROPERTIES + 1)
                note_event_with_many_properties(event);
            ++*property_count;
            switch (icalproperty_isa(property)) {
            case ICAL_RRULE_PROPERTY:
                if (entry.rrule == nullptr)
                    entry.rrule = property;
                else
                    entry.several_rules = true;
                break;
            case ICAL_RECURRENCEID_PROPERTY:
                if (entry.recurrence_id == nullptr)
                    entry.recurrence_id = property;
                break;
            case ICAL_RDATE_PROPERTY:
                entry.has_rdate = true;
                break;
            case ICAL_EXDATE_PROPERTY:
                entry.has_exdate = true;
                break;
            default:
                break;
            }
        }
        const char *uid = entry.recurrence_id != nullptr ? icalcomponent_get_uid(event) : nullptr;
        if (uid != nullptr)
            add_to_set(&(*overrides)[uid], listed_time(event, entry.recurrence_id));
        if (entry.rrule != nullptr || entry.recurrence_id != nullptr || entry.has_rdate ||
            entry.has_exdate)
            entries.push_back(entry);
    }
    for (auto &uid_overrides : *overrides)
        seal_set(&uid_overrides.second);
    return entries;
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
            verdict == RULE_NEVER_MATCHES ? "never gives an instance" : "is not supported");
    icalmemory_free_buffer(text);
}

// The most occurrences that each event may keep so that the document holds
// at most its bound: every event with fewer keeps all of them, each of the
// others the share, and the ones left over go, one each, to the first of
// those in document order. Events cut are marked, and keep their first
// occurrences.
static void share_out(collection *c)
{
    std::vector<long> sizes;
    for (const event_count &count : c->counts)
        sizes.push_back(count.occurrences);
    std::sort(sizes.begin(), sizes.end());
    long share = 0;
    long below = 0;   // the occurrences of the events under the share
    for (size_t i = 0; i < sizes.size(); i++) {
        long others = static_cast<long>(sizes.size() - i);
        if (below + others * sizes[i] > document_occurrence_limit) {
            share = (document_occurrence_limit - below) / others;
            break;
        }
        below += sizes[i];
        share = sizes[i];
    }
    long left_over = document_occurrence_limit;
    for (const event_count &count : c->counts)
        left_over -= std::min(count.occurrences, share);
    std::unordered_map<const icalcomponent *, long> kept;
    for (event_count &count : c->counts) {
        long keep = std::min(count.occurrences, share);
        if (count.occurrences > share && left_over > 0) {
            keep++;
            left_over--;
        }
        if (keep < count.occurrences) {
            count.cut = true;
            kept[count.event] = keep;
            c->occurrences -= count.occurrences - keep;
            count.occurrences = keep;
        }
    }
    keep_occurrences([&kept](const occurrence &record) {
        auto found = kept.find(record.component);
        if (found == kept.end())
            return true;
        return found->second-- > 0;
    });
    c->share = share + 1;
}

// Past its bound, the document is shared out again only after this many
// more occurrences, so that each sharing-out frees room for many.
static long sharing_margin()
{
    return document_occurrence_limit / 16 + 1;
}

// Counts an occurrence just appended; false when sharing out cut the event.
static bool count_occurrence(collection *c, event_work *e)
{
    if (e->count_index < 0) {
        e->count_index = static_cast<long>(c->counts.size());
        c->counts.push_back({e->event, 0, false});
    }
    event_count &count = c->counts[static_cast<size_t>(e->count_index)];
    count.occurrences++;
    e->occurrences++;
    c->occurrences++;
    if (c->occurrences > document_occurrence_limit + sharing_margin()) {
        share_out(c);
        e->occurrences = c->counts[static_cast<size_t>(e->count_index)].occurrences;
        return !c->counts[static_cast<size_t>(e->count_index)].cut;
    }
    return true;
}

// One occurrence; false when a limit stops the event.
static bool append_occurrence(collection *c, event_work *e, icaltimetype start, icaltimetype end)
{
    if (e->occurrences >= c->share) {
        c->counts[static_cast<size_t>(e->count_index)].cut = true;
        return false;
    }
    if (e->occurrences >= event_occurrence_limit) {
        const char *uid = icalcomponent_get_uid(e->event);
        fprintf(stderr, "evtable: %s%s cut short after %ld occurrence%s\n",
                uid != nullptr ? "event " : "an event without UID", printable(uid).c_str(),
                event_occurrence_limit, event_occurrence_limit == 1 ? "" : "s");
        return false;
    }
    add_occurrence(e->event, c->display_zone, start, end);
    return count_occurrence(c, e);
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

// DTEND as the event gives it; with DURATION too (which files have, though
// both are not allowed), where libical gives no end at all, DTEND still wins.
static icaltimetype event_end(icalcomponent *event)
{
    icalproperty *dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    if (dtend == nullptr || icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY) == nullptr)
        return icalcomponent_get_dtend(event);
    return zoned_time(event, dtend, icalproperty_get_dtend(dtend));
}

// How long each instance of a series lasts. A length given by DTEND is
// exact: every instance lasts the same seconds, a change of daylight saving
// in between or not. One given by DURATION is nominal: its weeks and days
// are days of the calendar, the same wall-clock time so many days later,
// and only its hours, minutes and seconds are exact.
struct event_length {
    icaldurationtype duration;
    bool exact;
    long longest_days;   // whole days it spans at most, rounded up
};

static event_length length_of(icalcomponent *event, icaltimetype dtstart)
{
    icalproperty *dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    if (dtend != nullptr) {
        icaltimetype end = event_end(event);
        if (!icaltime_is_null_time(end)) {
            icaldurationtype exact = icaltime_subtract(end, dtstart);
            return {exact, true, duration_days(exact)};
        }
    }
    icaldurationtype nominal = icalcomponent_get_duration(event);
    return {nominal, false, duration_days(nominal)};
}

static bool is_zoned(const icaltimetype &t)
{
    return !t.is_date && t.zone != nullptr && t.zone != icaltimezone_get_utc_timezone();
}

static icaltimetype instance_end(icaltimetype start, const event_length &length)
{
    icaldurationtype duration = length.duration;
    if (length.exact || !is_zoned(start))
        return add_exact_time(start, duration);
    icaldurationtype days = icaldurationtype_null_duration();
    days.is_neg = duration.is_neg;
    days.weeks = duration.weeks;
    days.days = duration.days;
    duration.weeks = 0;
    duration.days = 0;
    return add_exact_time(icaltime_add(start, days), duration);
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

// What one rule may spend: its own limits, or less when the document's
// budget of rule steps has less left (a rule expanded from DTSTART, for
// the tests, is not bounded by it).
struct rule_allowance {
    long calls;
    double steps;
};

static rule_allowance allowance_of(long calls)
{
    if (expansion_from_dtstart)
        return {calls, rule_step_limit};
    long long available = rule_steps_available();
    return {static_cast<long>(std::min<long long>(calls, available)),
            std::min(rule_step_limit, static_cast<double>(available))};
}

// True when the budget rather than the rule's own limits cut it short: the
// calls ran out and were fewer than its own, or the steps did.
static bool cut_by_budget(const rule_allowance &allowance, const rule_instances &instances,
                          long calls)
{
    if (instances.calls_left == 0)
        return allowance.calls < calls;
    return allowance.steps < rule_step_limit;
}

// The instances of the event's first RRULE: each one, unless an RDATE lists
// it too, an EXDATE removes it or an override replaces it, gives the days
// of its span. False when a limit stopped the event.
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
    if (!expansion_from_dtstart) {
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
    long calls = instance_limit - e->instances;
    rule_instances instances;
    rule_allowance allowance = allowance_of(calls);
    double steps_before = rule_steps_spent();
    start_rule_instances(&instances, rule, dtstart, c->wanted.start, c->wanted.end, longest_days,
                         expansion_from_dtstart, allowance.calls, allowance.steps);
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
        if (cut_by_budget(allowance, instances, calls))
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

// The document's bound, once reached, cuts the events with the most
// occurrences to a fair share.
static void note_shared_out(collection *c)
{
    if (c->occurrences > document_occurrence_limit)
        share_out(c);
    long cut = 0;
    for (const event_count &count : c->counts)
        cut += count.cut;
    if (cut > 0)
        fprintf(stderr, "evtable: document cut short after %ld occurrence%s: %ld of its events "
                        "cut to a fair share\n", document_occurrence_limit,
                document_occurrence_limit == 1 ? "" : "s", cut);
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
        if (e->instances >= instance_limit) {
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

static void collect_event(collection *c, const event_entry &entry, icaltimetype dtstart)
{
    event_work e;
    e.event = entry.event;
    e.overrides = nullptr;
    e.series_zone = dtstart.is_date ? nullptr : const_cast<icaltimezone *>(dtstart.zone);
    e.instances = 0;
    e.occurrences = 0;
    e.count_index = -1;
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

void collect_occurrences(icalcomponent *root, const event_selection *selection,
                         icaltimezone *display_zone, icaltimetype period_start,
                         icaldurationtype period_duration)
{
    collection c;
    c.display_zone = display_zone;
    c.wanted.start = period_start;
    c.wanted.end = icaltime_add(period_start, period_duration);
    c.wanted.first_shown_day = day_number(period_start.year, period_start.month, 1);
    c.wanted.last_shown_day =
        day_number(c.wanted.end.year, c.wanted.end.month,
                   icaltime_days_in_month(c.wanted.end.month, c.wanted.end.year));
    c.wanted.first_needed_day = day_number(period_start) - ZONE_MARGIN_DAYS - 1;
    c.occurrences = 0;
    c.share = LONG_MAX;
    continue_rule_budget();

    // The second walk goes through the VEVENTs again, taking the noted ones'
    // notes in the same order.
    forget_events_with_many_properties();
    forget_zone_reaches();
    long properties = 0;
    std::vector<event_entry> noted = walk_events(root, &c.overrides, &properties);
    add_document_rule_steps(properties);
    auto next_noted = noted.begin();
    for (icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
         event != nullptr; event = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
        event_entry entry{event, nullptr, false, nullptr, false, false};
        if (next_noted != noted.end() && next_noted->event == event)
            entry = *next_noted++;
        if (!select_event(event, selection, "PUBLIC", evtable_class_text))
            continue;
        icaltimetype dtstart = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(dtstart))
            continue;
        collect_event(&c, entry, dtstart);
    }
    note_shared_out(&c);
}
