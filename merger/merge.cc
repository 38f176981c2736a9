// merge.cc: the time-zone and event passes of evjoin over each parsed input,
// and the output calendar made of what they kept.
#include "merger/merge.h"

#include <cstdlib>
#include <cstring>

#include "merger/uid_table.h"
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
// without both stamps, the one read first. Overriding instances all stay.
static bool merge_event(icalcomponent *event, merged_components *merged)
{
    if (icalcomponent_get_first_property(event, ICAL_UID_PROPERTY) == nullptr)
        return false;
    if (icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
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

void merge_calendar(icalcomponent *root, merged_components *merged)
{
    taken_components taken = take_zones_and_events(root);
    for (icalcomponent *zone : taken.zones) {
        if (!merge_time_zone(zone, merged))
            icalcomponent_free(zone);
    }
    for (icalcomponent *event : taken.events) {
        if (!merge_event(event, merged))
            icalcomponent_free(event);
    }
}

void add_merged_components(icalcomponent *calendar, merged_components *merged)
{
    // icalcomponent_add_component puts each VTIMEZONE at the front of the
    // calendar: adding the last one first leaves them in document order.
    for (auto zone = merged->zones.rbegin(); zone != merged->zones.rend(); ++zone)
        icalcomponent_add_component(calendar, *zone);
    for (icalcomponent *event : merged->events) {
        if (event != nullptr)
            icalcomponent_add_component(calendar, event);
    }
}
