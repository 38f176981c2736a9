// listed_times.cc: sets of listed times. A zoned time is kept by its own
// fields and turned into an instant only when an instance comes near it, for
// a zone's first conversion into a late year costs libical much.
#include "renderer/listed_times.h"

#include <algorithm>

#include "renderer/zone_time.h"
#include "shared/libical_facts.h"
#include "shared/time_zones.h"

static long long instant_seconds(const icaltimetype &t)
{
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    return field_seconds(t.zone == utc ? t : convert_time(t, utc));
}

time_key instance_key(const icaltimetype &t)
{
    if (t.is_date)
        return {DATE_KEY, day_number(t)};
    if (t.zone == nullptr)
        return {FLOATING_KEY, field_seconds(t)};
    return {INSTANT_KEY, instant_seconds(t)};
}

void add_to_set(time_set *set, const icaltimetype &t)
{
    time_key key = t.is_date         ? time_key{DATE_KEY, day_number(t)}
                   : t.zone == nullptr ? time_key{FLOATING_KEY, field_seconds(t)}
                                       : time_key{ZONED_FIELDS_KEY, field_seconds(t)};
    set->times.push_back({key, t, 0, false});
    set->kinds |= 1u << key.kind;
}

void seal_set(time_set *set)
{
    std::sort(set->times.begin(), set->times.end());
    // Zoned times of the same fields in two zones are two instants.
    auto same = [](const set_time &a, const set_time &b) {
        return a.key == b.key && a.value.zone == b.value.zone;
    };
    set->times.erase(std::unique(set->times.begin(), set->times.end(), same), set->times.end());
    size_t zoned = 0;
    for (const set_time &t : set->times)
        zoned += t.key.kind == ZONED_FIELDS_KEY;
    if (zoned <= LAZY_ZONED_TIMES)
        return;
    for (const set_time &t : set->times) {
        if (t.key.kind == ZONED_FIELDS_KEY)
            set->instants.push_back(instant_seconds(t.value));
    }
    std::sort(set->instants.begin(), set->instants.end());
}

static bool set_holds(const time_set &set, const time_key &key)
{
    return (set.kinds & (1u << key.kind)) != 0 &&
           std::binary_search(set.times.begin(), set.times.end(), set_time{key, {}, 0, false});
}

// True when a zoned time of the set is the instant of start, a zoned time
// whose fields are fields. Only the listed times whose fields lie near are
// turned into instants, each of them once, and start only when one of
// those instants lies near its fields.
static bool set_holds_instant(const time_set &set, const icaltimetype &start, long long fields)
{
    if ((set.kinds & (1u << ZONED_FIELDS_KEY)) == 0)
        return false;
    if (!set.instants.empty()) {
        long long instant = instant_seconds(start);
        return std::binary_search(set.instants.begin(), set.instants.end(), instant);
    }
    set_time low{{ZONED_FIELDS_KEY, fields - 2 * MAX_ZONE_OFFSET_SECONDS}, {}, 0, false};
    bool has_instant = false;
    long long instant = 0;
    for (auto t = std::lower_bound(set.times.begin(), set.times.end(), low);
         t != set.times.end() && t->key.kind == ZONED_FIELDS_KEY &&
         t->key.value <= fields + 2 * MAX_ZONE_OFFSET_SECONDS;
         ++t) {
        if (!t->has_instant) {
            t->instant = instant_seconds(t->value);
            t->has_instant = true;
        }
        if (t->instant < fields - MAX_ZONE_OFFSET_SECONDS || t->instant > fields + MAX_ZONE_OFFSET_SECONDS)
            continue;
        if (!has_instant) {
            instant = instant_seconds(start);
            has_instant = true;
        }
        if (t->instant == instant)
            return true;
    }
    return false;
}

bool set_lists(const time_set &set, const icaltimetype &start, bool dates_cover_days,
               icaltimezone *series_zone)
{
    if (start.is_date)
        return set_holds(set, {DATE_KEY, day_number(start)});
    if (dates_cover_days && (set.kinds & (1u << DATE_KEY)) != 0) {
        bool other_zone = series_zone != nullptr && start.zone != nullptr && start.zone != series_zone;
        icaltimetype day = other_zone ? convert_time(start, series_zone) : start;
        if (set_holds(set, {DATE_KEY, day_number(day)}))
            return true;
    }
    long long fields = field_seconds(start);
    if (start.zone == nullptr)
        return set_holds(set, {FLOATING_KEY, fields}) || set_holds(set, {ZONED_FIELDS_KEY, fields});
    return set_holds(set, {FLOATING_KEY, fields}) || set_holds_instant(set, start, fields);
}

icaltimetype listed_time(icalcomponent *event, icalproperty *property)
{
    icaltimetype value = icalvalue_get_datetimedate(icalproperty_get_value(property));
    return zoned_time(event, property, value);
}
