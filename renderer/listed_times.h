// listed_times.h: the times an event lists (EXDATE, RDATE, RECURRENCE-ID
// values) as sets that tell, for an instance's start, whether they list it:
// sorted once, each instance looked up in logarithmic time.
#pragma once

#include <vector>

#include <libical/ical.h>

#include "renderer/calendar_days.h"

// How a listed time (EXDATE, RDATE, RECURRENCE-ID) or an instance's start is
// compared: a date by its day; a time in UTC or in a zone as an instant; a
// floating time by its fields, with which zoned times compare by their own
// fields (as libical compares a floating time with any other).
enum key_kind { DATE_KEY, INSTANT_KEY, FLOATING_KEY, ZONED_FIELDS_KEY };

struct time_key {
    key_kind kind;
    long long value;
    bool operator<(const time_key &other) const
    {
        return kind != other.kind ? kind < other.kind : value < other.value;
    }
    bool operator==(const time_key &other) const
    {
        return kind == other.kind && value == other.value;
    }
};

// A listed time: a date by its day, a floating time by its fields, a zoned
// one by its own fields too, its instant found only when an instance comes
// near it (a zone's first conversion into a late year costs libical much).
struct set_time {
    time_key key;                  // DATE_KEY, FLOATING_KEY or ZONED_FIELDS_KEY
    icaltimetype value;
    mutable long long instant;     // of a zoned value, once found
    mutable bool has_instant;
    bool operator<(const set_time &other) const { return key < other.key; }
};

// Listed times, sorted once, each looked up in logarithmic time.
struct time_set {
    std::vector<set_time> times;
    unsigned kinds = 0;   // one bit for each key_kind present
    // The instants of all zoned times, sorted, when there are so many that
    // a search among those near an instance could cost more than the
    // instants cost at once.
    std::vector<long long> instants;
};

// Up to this many zoned times, a set turns into instants those near an
// instance; beyond it, all of them when it is sealed.
constexpr size_t LAZY_ZONED_TIMES = 64;

/// Seconds from the start of day 0 to the time, by its own fields.
inline long long field_seconds(const icaltimetype &t)
{
    return static_cast<long long>(day_number(t)) * 86400 + t.hour * 3600 + t.minute * 60 +
           t.second;
}

/// The key that tells an added instance's start from another's: a date by
/// its day, a floating time by its fields, a zoned one by its instant.
time_key instance_key(const icaltimetype &t);

/// Adds a listed time; seal_set then sorts the set and removes what is
/// listed twice (a zoned time twice only in the same zone).
void add_to_set(time_set *set, const icaltimetype &t);
void seal_set(time_set *set);

/// True when the sealed set lists the instance's start: a date its date, a
/// floating time its fields (and a zoned one by its own fields), a zoned
/// time its instant. With dates_cover_days, a listed date also covers every
/// instance that starts on that day as the series' zone sees it
/// (series_zone, null for the instance's own fields), whatever zone the
/// instance was given in.
bool set_lists(const time_set &set, const icaltimetype &start, bool dates_cover_days,
               icaltimezone *series_zone = nullptr);

/// A listed value with the zone that its TZID names; the value itself, not
/// libical's reading of the property, which looks zone names up on its own.
icaltimetype listed_time(icalcomponent *event, icalproperty *property);
