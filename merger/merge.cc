// merge.cc: the time-zone and event passes of evjoin over one parsed input.
#include "merger/merge.h"

#include <cstdlib>
#include <cstring>

#include "merger/uid_table.h"
#include "shared/fatal.h"

// The first definition of a TZID wins, from an earlier file or from earlier
// in the same one.
static bool merge_time_zone(icalcomponent *zone, icalcomponent *calendar)
{
    icalproperty *tzid_property = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
    if (tzid_property == nullptr)
        return false;
    const char *tzid = icalproperty_get_tzid(tzid_property);
    if (tzid == nullptr || icalcomponent_get_timezone(calendar, tzid) != nullptr)
        return false;
    icalcomponent_add_component(calendar, zone);
    return true;
}

static void move_event(icalcomponent *event, merged_events *merged)
{
    merged->position[event] = merged->in_order.size();
    merged->in_order.push_back(event);
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
static bool merge_event(icalcomponent *event, merged_events *merged)
{
    icalproperty *uid_property = icalcomponent_get_first_property(event, ICAL_UID_PROPERTY);
    if (uid_property == nullptr)
        return false;
    if (icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
        move_event(event, merged);
        return true;
    }
    const char *uid = icalproperty_get_uid(uid_property);
    char *key = strdup(uid != nullptr ? uid : "");
    htab_entry *entry = hsearch(key, nullptr, HTAB_FIND);
    if (entry == nullptr) {
        move_event(event, merged);
        if (hsearch(key, event, HTAB_ENTER) == nullptr)
            report_and_exit(STATUS_EVJOIN_NO_ROOM, "No room in hash table\n");
        return true;
    }
    free(key);
    icalcomponent *standing = static_cast<icalcomponent *>(entry->data);
    if (!is_later_modified(standing, event))
        return false;
    auto place = merged->position.find(standing);
    merged->in_order[place->second] = nullptr;
    merged->position.erase(place);
    icalcomponent_free(standing);
    move_event(event, merged);
    entry->data = event;
    return true;
}

// Takes every child from the front of the tree: the VTIMEZONEs first (libical
// keeps them at the front), then the rest in document order. Taking the first
// child costs nothing, where removing one from the middle makes libical
// search the list from its head. What is not kept is freed at once.
void merge_calendar(icalcomponent *root, icalcomponent *calendar, merged_events *merged)
{
    if (htab_needs_init())
        htab_init();
    while (icalcomponent *child = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT)) {
        icalcomponent_remove_component(root, child);
        bool kept = false;
        switch (icalcomponent_isa(child)) {
        case ICAL_VTIMEZONE_COMPONENT:
            kept = merge_time_zone(child, calendar);
            break;
        case ICAL_VEVENT_COMPONENT:
            kept = merge_event(child, merged);
            break;
        default:
            break;
        }
        if (!kept)
            icalcomponent_free(child);
    }
    icalcomponent_free(root);
}

void add_merged_events(icalcomponent *calendar, const merged_events *merged)
{
    for (icalcomponent *event : merged->in_order) {
        if (event != nullptr)
            icalcomponent_add_component(calendar, event);
    }
}

