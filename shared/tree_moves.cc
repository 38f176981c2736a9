// tree_moves.cc: taking components out of a parsed tree without libical's
// searches from the head of its lists.
#include "shared/tree_moves.h"

#include <algorithm>

static void move_properties(icalcomponent *from, icalcomponent *to, icalproperty_kind left_out)
{
    std::vector<icalproperty *> properties;
    for (icalproperty *property = icalcomponent_get_first_property(from, ICAL_ANY_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(from, ICAL_ANY_PROPERTY))
        properties.push_back(property);
    bool copy = properties.size() > MAX_MOVED_PROPERTIES;
    for (icalproperty *property : properties) {
        if (left_out != ICAL_NO_PROPERTY && icalproperty_isa(property) == left_out)
            continue;
        if (copy) {
            icalcomponent_add_property(to, icalproperty_new_clone(property));
            continue;
        }
        icalcomponent_remove_property(from, property);
        icalcomponent_add_property(to, property);
    }
}

std::vector<icalcomponent *> children_of(icalcomponent *component)
{
    std::vector<icalcomponent *> children;
    for (icalcomponent *child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT);
         child != nullptr;
         child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
        children.push_back(child);
    return children;
}

icalcomponent *rebuild_component(icalcomponent *component, icalproperty_kind left_out)
{
    icalcomponent *copy = icalcomponent_new(icalcomponent_isa(component));
    move_properties(component, copy, left_out);
    std::vector<icalcomponent *> zones;
    for (icalcomponent *child : children_of(component)) {
        icalcomponent *rebuilt = rebuild_component(child, left_out);
        if (icalcomponent_isa(rebuilt) == ICAL_VTIMEZONE_COMPONENT)
            zones.push_back(rebuilt);
        else
            icalcomponent_add_component(copy, rebuilt);
    }
    add_time_zones(copy, zones);
    return copy;
}

void add_time_zones(icalcomponent *parent, const std::vector<icalcomponent *> &zones)
{
    for (auto zone = zones.rbegin(); zone != zones.rend(); ++zone)
        icalcomponent_add_component(parent, *zone);
}

void free_parsed_tree(icalcomponent *root)
{
    if (icalcomponent_count_components(root, ICAL_VTIMEZONE_COMPONENT) <= static_cast<int>(MAX_REMOVED_ZONES))
        icalcomponent_free(root);
}

taken_components take_zones_and_events(icalcomponent *root)
{
    std::vector<icalcomponent *> children = children_of(root);
    size_t zone_count = std::count_if(children.begin(), children.end(), [](icalcomponent *child) {
        return icalcomponent_isa(child) == ICAL_VTIMEZONE_COMPONENT;
    });
    bool rebuild = zone_count > MAX_REMOVED_ZONES;
    taken_components taken;
    for (icalcomponent *child : children) {
        icalcomponent_kind kind = icalcomponent_isa(child);
        bool wanted = kind == ICAL_VTIMEZONE_COMPONENT || kind == ICAL_VEVENT_COMPONENT;
        icalcomponent *taken_child = child;
        if (rebuild) {
            if (!wanted)
                continue;
            taken_child = rebuild_component(child, ICAL_NO_PROPERTY);
        } else {
            // child is the first child left, so the search finds it at once.
            icalcomponent_remove_component(root, child);
            if (!wanted) {
                icalcomponent_free(child);
                continue;
            }
        }
        (kind == ICAL_VTIMEZONE_COMPONENT ? taken.zones : taken.events).push_back(taken_child);
    }
    // The VTIMEZONEs came in reverse document order.
    std::reverse(taken.zones.begin(), taken.zones.end());
    return taken;
}
