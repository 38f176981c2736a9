// occurrence_collection.cc: two walks over the calendar's VEVENTs. The first
// notes, for every event, the properties that make it a series or an
// override, and indexes the overriding events by UID and RECURRENCE-ID; the
// second turns the selected events, in document order, into occurrences.
#include "renderer/occurrence_collection.h"

#include <vector>

#include "renderer/calendar_days.h"
#include "renderer/event_collection.h"
#include "renderer/listed_times.h"
#include "renderer/zone_time.h"
#include "shared/libical_facts.h"

// The first walk: notes, in document order, and the index of overrides.
static std::vector<event_entry> walk_events(icalcomponent *root, override_index *overrides,
                                           long *property_count)
{
    std::vector<event_entry> entries;
    for (icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
         event != nullptr; event = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
        event_entry entry{event, nullptr, false, nullptr, false, false};
        for (icalproperty *property = icalcomponent_get_first_property(event, ICAL_ANY_PROPERTY);
             property != nullptr;
             property = icalcomponent_get_next_property(event, ICAL_ANY_PROPERTY)) {
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

void collect_occurrences(icalcomponent *root, const event_selection *selection,
                         icaltimezone *display_zone, icaltimetype period_start,
                         icaldurationtype period_duration, const collection_limits &limits)
{
    collection c;
    c.display_zone = display_zone;
    c.limits = &limits;
    c.wanted.start = period_start;
    c.wanted.end = icaltime_add(period_start, period_duration);
    c.wanted.first_shown_day = day_number(period_start.year, period_start.month, 1);
    c.wanted.last_shown_day =
        day_number(c.wanted.end.year, c.wanted.end.month,
                   icaltime_days_in_month(c.wanted.end.month, c.wanted.end.year));
    c.wanted.first_needed_day = day_number(period_start) - ZONE_MARGIN_DAYS - 1;
    start_share(&c.share, limits.occurrences_per_document);
    continue_rule_budget(limits.shared_rule_steps);

    // The second walk goes through the VEVENTs again, taking the noted ones'
    // notes in the same order.
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
    note_shared_out(&c.share);
}
