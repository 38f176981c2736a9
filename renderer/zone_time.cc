// zone_time.cc: zone conversion with the offsets after libical's last year
// found once per zone.
#include "renderer/zone_time.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <unordered_map>
#include <vector>

#include "renderer/calendar_days.h"
#include "shared/time_zones.h"

namespace {
struct final_offset {
    const icaltimezone *zone;
    int utc_offset;
    int is_daylight;
};
}

static std::vector<final_offset> final_offsets;

namespace {
// A calendar's VTIMEZONE whose TZID is also the name of a built-in zone:
// exporters write zones that begin in some recent year, and before their
// first observance libical would convert with that observance's
// TZOFFSETFROM, an hour off in every summer before it. Such instants go
// through the built-in zone instead.
struct zone_reach {
    const icaltimezone *zone;
    icaltimezone *builtin;      // null when the zone needs none
    long long first_local;      // the first observance's start, its fields as seconds
    long long first_utc;        // and as an instant
};
}

static std::vector<zone_reach> zone_reaches;

static long long field_seconds(const icaltimetype &t)
{
    return static_cast<long long>(day_number(t)) * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
}

static const zone_reach &reach_of(icaltimezone *zone)
{
    static size_t last = 0;
    if (last < zone_reaches.size() && zone_reaches[last].zone == zone)
        return zone_reaches[last];
    for (last = 0; last < zone_reaches.size(); last++) {
        if (zone_reaches[last].zone == zone)
            return zone_reaches[last];
    }
    zone_reach reach{zone, nullptr, LLONG_MIN, LLONG_MIN};
    icalcomponent *vtimezone = icaltimezone_get_component(zone);
    const char *tzid = icaltimezone_get_tzid(zone);
    icaltimezone *builtin = zone != icaltimezone_get_utc_timezone() && vtimezone != nullptr &&
                                    tzid != nullptr && is_plain_zone_name(tzid)
                                ? icaltimezone_get_builtin_timezone(tzid)
                                : nullptr;
    if (builtin != nullptr && builtin != zone) {
        long long first_local = LLONG_MAX;
        long long first_utc = LLONG_MAX;
        for (icalcomponent *observance = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT);
             observance != nullptr;
             observance = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
            icalproperty *start = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
            icalproperty *from = icalcomponent_get_first_property(observance, ICAL_TZOFFSETFROM_PROPERTY);
            if (start == nullptr)
                continue;
            long long local = field_seconds(icalproperty_get_dtstart(start));
            if (local < first_local) {
                first_local = local;
                first_utc = local - (from != nullptr ? icalproperty_get_tzoffsetfrom(from) : 0);
            }
        }
        if (first_local != LLONG_MAX)
            reach = {zone, builtin, first_local, first_utc};
    }
    zone_reaches.push_back(reach);
    last = zone_reaches.size() - 1;
    return zone_reaches[last];
}

static void forget_steady_days();

void forget_zone_reaches()
{
    zone_reaches.clear();
    forget_steady_days();
}

// The zone that converts a time of the zone: the built-in one of its name
// before the calendar's zone begins.
static icaltimezone *zone_for_local(icaltimezone *zone, const icaltimetype &t)
{
    const zone_reach &reach = reach_of(zone);
    return reach.builtin != nullptr && field_seconds(t) < reach.first_local ? reach.builtin : zone;
}

static icaltimezone *zone_for_utc(icaltimezone *zone, const icaltimetype &utc)
{
    const zone_reach &reach = reach_of(zone);
    return reach.builtin != nullptr && field_seconds(utc) < reach.first_utc ? reach.builtin : zone;
}

// The offset that libical uses for every time after LIBICAL_LAST_YEAR.
static const final_offset &offset_after_last_year(icaltimezone *zone)
{
    for (const final_offset &known : final_offsets) {
        if (known.zone == zone)
            return known;
    }
    icaltimetype last = icaltime_null_time();
    last.year = LIBICAL_LAST_YEAR;
    last.month = 12;
    last.day = 31;
    last.hour = 23;
    last.minute = 59;
    last.second = 59;
    int is_daylight = 0;
    int utc_offset = icaltimezone_get_utc_offset_of_utc_time(zone, &last, &is_daylight);
    final_offsets.push_back({zone, utc_offset, is_daylight});
    return final_offsets.back();
}

static icaltimetype convert_in_reach(icaltimetype time, icaltimezone *zone);

icaltimetype convert_time(icaltimetype time, icaltimezone *zone)
{
    if (time.is_date || time.zone == zone || time.zone == nullptr)
        return convert_in_reach(time, zone);
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    icaltimezone *from = const_cast<icaltimezone *>(time.zone);
    icaltimezone *from_reach = from == utc ? utc : zone_for_local(from, time);
    if (from_reach == from && (zone == nullptr || zone == utc || reach_of(zone).builtin == nullptr))
        return convert_in_reach(time, zone);
    time.zone = from_reach;
    icaltimetype in_utc = convert_in_reach(time, utc);
    if (zone == nullptr || zone == utc)
        return zone == nullptr ? convert_in_reach(in_utc, nullptr) : in_utc;
    icaltimetype result = convert_in_reach(in_utc, zone_for_utc(zone, in_utc));
    result.zone = zone;
    return result;
}

// libical's conversion, with the offsets after its last year found once.
static icaltimetype convert_in_reach(icaltimetype time, icaltimezone *zone)
{
    icaltimezone *from = const_cast<icaltimezone *>(time.zone);
    // Dates, floating times, times already in the zone, and times whose
    // conversion stays within libical's years take libical's own way.
    if (time.is_date || from == zone || from == nullptr || time.year < LIBICAL_LAST_YEAR)
        return icaltime_convert_to_zone(time, zone);

    icaltimetype result = time;
    int from_offset = time.year > LIBICAL_LAST_YEAR
                          ? offset_after_last_year(from).utc_offset
                          : icaltimezone_get_utc_offset(from, &result, nullptr);
    icaltime_adjust(&result, 0, 0, 0, -from_offset);
    int is_daylight = 0;
    int to_offset = 0;
    if (zone != nullptr && zone != icaltimezone_get_utc_timezone()) {
        if (result.year > LIBICAL_LAST_YEAR) {
            const final_offset &final = offset_after_last_year(zone);
            to_offset = final.utc_offset;
            is_daylight = final.is_daylight;
        } else {
            to_offset = icaltimezone_get_utc_offset_of_utc_time(zone, &result, &is_daylight);
        }
    }
    result.is_daylight = is_daylight;
    icaltime_adjust(&result, 0, 0, 0, to_offset);
    result.zone = zone;
    return result;
}

int compare_times(icaltimetype a, icaltimetype b)
{
    if (a.zone != b.zone && a.zone != nullptr && b.zone != nullptr) {
        icaltimezone *utc = icaltimezone_get_utc_timezone();
        a = convert_time(a, utc);
        b = convert_time(b, utc);
    }
    return icaltime_compare(a, b);
}

namespace {
struct zone_day {
    const icaltimezone *zone;
    long day;
    bool operator==(const zone_day &other) const { return zone == other.zone && day == other.day; }
};
struct zone_day_hash {
    size_t operator()(const zone_day &d) const
    {
        return std::hash<const void *>()(d.zone) ^ (std::hash<long>()(d.day) * 31);
    }
};
}

// For each zone and week looked at, the zone's offset at the midnight that
// begins it (weeks of days counted from 1970). Emptied with the zone notes.
static std::unordered_map<zone_day, int, zone_day_hash> week_offsets;

static void forget_steady_days()
{
    week_offsets.clear();
}

static int offset_at_week(icaltimezone *zone, long week)
{
    auto found = week_offsets.find({zone, week});
    if (found != week_offsets.end())
        return found->second;
    civil_day date = civil_day_of(week * 7);
    icaltimetype midnight = icaltime_null_time();
    midnight.year = date.year;
    midnight.month = date.month;
    midnight.day = date.day;
    int offset = icaltimezone_get_utc_offset(zone, &midnight, nullptr);
    week_offsets.emplace(zone_day{zone, week}, offset);
    return offset;
}

static long week_of(long day)
{
    return day >= 0 ? day / 7 : -((-day + 6) / 7);
}

// A span of days whose neighbouring weeks begin with the same offset has no
// change: zones change their offset twice a year, and never there and back
// within a fortnight. Instances lie days apart, so the offsets looked up per
// week cost little per instance.
constexpr long MOST_STEADY_DAYS_CHECKED = 7;

icaltimetype add_exact_time(icaltimetype time, icaldurationtype duration)
{
    icaltimetype fields = icaltime_add(time, duration);
    icaltimezone *zone = const_cast<icaltimezone *>(time.zone);
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    if (time.is_date || zone == nullptr || zone == utc)
        return fields;
    // With the same offset at both ends the fields are the exact sum.
    long start_day = day_number(time);
    long end_day = day_number(fields);
    long first = std::min(start_day, end_day);
    long last = std::max(start_day, end_day);
    const zone_reach &reach = reach_of(zone);
    bool in_reach = reach.builtin == nullptr || first * 86400 >= reach.first_local;
    if (time.year < LIBICAL_LAST_YEAR && fields.year < LIBICAL_LAST_YEAR && in_reach &&
        last - first < MOST_STEADY_DAYS_CHECKED) {
        if (offset_at_week(zone, week_of(first)) == offset_at_week(zone, week_of(last) + 1))
            return fields;
    }
    return convert_time(icaltime_add(convert_time(time, utc), duration), zone);
}
