// merge.cc: the time-zone and event passes of evjoin over each parsed input,
// and the output calendar made of what they kept.
#include "merger/merge.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "merger/uid_table.h"
#include "shared/parse_errors.h"
#include "shared/time_zones.h"
#include "shared/tree_moves.h"

// The first definition of a TZID wins, from an earlier file or from earlier
// in the same one.
static bool merge_time_zone(icalcomponent *zone, merged_components *merged)
{
    icalproperty *tzid_property = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
    if (tzid_property == nullptr)
        return false;
    const char *tzid = icalproperty_get_tzid(tzid_property);
    if (tzid == nullptr || !merged->zone_ids.insert(tzid).second)
        return false;
    merged->zones.push_back(zone);
    return true;
}

static const char *uid_text(icalcomponent *event)
{
    const char *uid = icalcomponent_get_uid(event);
    return uid != nullptr ? uid : "";
}

static bool is_later_modified(icalcomponent *standing, icalcomponent *event)
{
    icalproperty *old_stamp = icalcomponent_get_first_property(standing, ICAL_LASTMODIFIED_PROPERTY);
    icalproperty *new_stamp = icalcomponent_get_first_property(event, ICAL_LASTMODIFIED_PROPERTY);
    return old_stamp != nullptr && new_stamp != nullptr &&
           icaltime_compare(icalproperty_get_lastmodified(old_stamp),
                            icalproperty_get_lastmodified(new_stamp)) == -1;
}

// One event per UID: the one with the later LAST-MODIFIED; on a tie, or
// without both stamps, the one read first. Overriding instances are all
// kept here and sorted out at the end, when every time zone is known.
static bool merge_event(icalcomponent *event, merged_components *merged)
{
    if (icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
        merged->instances.push_back(merged->events.size());
        merged->events.push_back(event);
        return true;
    }
    char *key = strdup(uid_text(event));
    htab_entry *entry = hsearch(key, nullptr, HTAB_FIND);
    if (entry == nullptr) {
        merged->position[event] = merged->events.size();
        merged->events.push_back(event);
        hsearch(key, event, HTAB_ENTER);
        return true;
    }
    free(key);
    icalcomponent *standing = static_cast<icalcomponent *>(entry->data);
    if (!is_later_modified(standing, event))
        return false;
    auto place = merged->position.find(standing);
    merged->events[place->second] = nullptr;
    merged->position.erase(place);
    icalcomponent_free(standing);
    merged->position[event] = merged->events.size();
    merged->events.push_back(event);
    entry->data = event;
    return true;
}

void merge_calendar(icalcomponent *root, const char *path, merged_components *merged)
{
    if (htab_needs_init())
        htab_init();
    taken_components taken = take_zones_and_events(root);
    for (icalcomponent *zone : taken.zones) {
        if (!merge_time_zone(zone, merged))
            icalcomponent_free(zone);
    }
    // An event without UID cannot be matched with its copies: kept, it
    // would come back once more with every merge of the output.
    int without_uid = 0;
    for (icalcomponent *event : taken.events) {
        if (icalcomponent_get_first_property(event, ICAL_UID_PROPERTY) == nullptr) {
            without_uid++;
            icalcomponent_free(event);
        } else if (!merge_event(event, merged)) {
            icalcomponent_free(event);
        }
    }
    if (without_uid > 0)
        fprintf(stderr, "evjoin: %s: %d %s without UID left out\n", path, without_uid,
                without_uid == 1 ? "event" : "events");
}

static std::string time_digits(icaltimetype time)
{
    char digits[32];
    if (time.is_date)
        snprintf(digits, sizeof digits, "%04d%02d%02d", time.year, time.month, time.day);
    else
        snprintf(digits, sizeof digits, "%04d%02d%02dT%02d%02d%02d", time.year, time.month, time.day,
                 time.hour, time.minute, time.second);
    return digits;
}

// How a RECURRENCE-ID names its time: a date, UTC, a TZID or floating.
static std::string time_spelling(icalproperty *recurrence_id, icaltimetype value)
{
    if (value.is_date)
        return "D";
    if (icaltime_is_utc(value))
        return "Z";
    icalparameter *tzid = icalproperty_get_first_parameter(recurrence_id, ICAL_TZID_PARAMETER);
    const char *text = tzid != nullptr ? icalparameter_get_tzid(tzid) : nullptr;
    return text != nullptr ? std::string("T") + text : "F";
}

// The instance a RECURRENCE-ID names, as an instant where it has a zone:
// its TZID is looked up in the output calendar, which holds the time zone
// that won, as whoever reads the output will look it up. A date stays a
// date, and a floating time (or one of an unknown zone) stays as written.
static std::string instant_of(icalcomponent *calendar, icalproperty *recurrence_id, icaltimetype value)
{
    if (value.is_date)
        return "D" + time_digits(value);
    icaltimetype zoned = zoned_time(calendar, recurrence_id, value);
    if (zoned.zone == nullptr)
        return "F" + time_digits(value);
    return "Z" + time_digits(icaltime_convert_to_zone(zoned, icaltimezone_get_utc_timezone()));
}

// Overriding instances of one UID that name the same instance are one: the
// one with the later LAST-MODIFIED stays, the first one read on a tie or
// without stamps, in its own place. Instances spelled alike (the same TZID,
// or all UTC, floating or dates) compare as written; only a UID whose
// instances mix spellings needs its times converted.
static void drop_repeated_instances(icalcomponent *calendar, merged_components *merged)
{
    std::unordered_map<std::string, std::vector<size_t>> by_uid;
    for (size_t position : merged->instances)
        by_uid[uid_text(merged->events[position])].push_back(position);
    for (const auto &uid_positions : by_uid) {
        const std::vector<size_t> &positions = uid_positions.second;
        if (positions.size() < 2)
            continue;
        std::vector<icalproperty *> ids;
        std::vector<icaltimetype> values;
        bool one_spelling = true;
        for (size_t position : positions) {
            ids.push_back(icalcomponent_get_first_property(merged->events[position],
                                                           ICAL_RECURRENCEID_PROPERTY));
            values.push_back(icalproperty_get_recurrenceid(ids.back()));
            if (time_spelling(ids.back(), values.back()) != time_spelling(ids[0], values[0]))
                one_spelling = false;
        }
        std::unordered_map<std::string, size_t> standing;
        for (size_t i = 0; i < positions.size(); i++) {
            std::string instance = one_spelling ? time_digits(values[i])
                                                : instant_of(calendar, ids[i], values[i]);
            auto found = standing.emplace(instance, positions[i]);
            if (found.second)
                continue;
            size_t &kept = found.first->second;
            size_t dropped = positions[i];
            if (is_later_modified(merged->events[kept], merged->events[positions[i]]))
                std::swap(kept, dropped);
            icalcomponent_free(merged->events[dropped]);
            merged->events[dropped] = nullptr;
        }
    }
}

void add_merged_components(icalcomponent *calendar, merged_components *merged)
{
    for (icalcomponent *&zone : merged->zones)
        zone = drop_parse_errors(zone, "evjoin");
    add_time_zones(calendar, merged->zones);
    drop_repeated_instances(calendar, merged);
    for (icalcomponent *event : merged->events) {
        if (event != nullptr)
            icalcomponent_add_component(calendar, drop_parse_errors(event, "evjoin"));
    }
}
