// tree_moves.h: the time zones and events of a parsed calendar taken out of
// its tree, in time linear in their number.
//
// libical keeps a calendar's VTIMEZONEs in an array beside its list of
// children: removing one searches that array and moves what follows it, and
// removing any child searches the list from its head, past every VTIMEZONE.
// With thousands of time zones both grow with the square of their number.
#pragma once

#include <vector>

#include <libical/ical.h>

/// Above this many VTIMEZONEs, a calendar's children are rebuilt instead of
/// removed from it.
constexpr size_t MAX_REMOVED_ZONES = 64;

/// Above this many properties, a rebuilt component gets copies of them
/// instead of the originals: removing a property makes libical walk the
/// whole property list.
constexpr size_t MAX_MOVED_PROPERTIES = 64;

struct taken_components {
    std::vector<icalcomponent *> zones;   // VTIMEZONEs, in document order
    std::vector<icalcomponent *> events;  // VEVENTs, in document order
};

/// The children of component, in its order.
std::vector<icalcomponent *> children_of(icalcomponent *component);

/// The VTIMEZONE and VEVENT children of root, taken out of it: each one is
/// either removed from root or, when root has more than MAX_REMOVED_ZONES
/// VTIMEZONEs, rebuilt (rebuild_component) and its husk left in root. Every
/// other child is dropped. The caller owns what is returned, and frees
/// root. Relies on the parse putting the VTIMEZONEs first, in reverse
/// document order, as icalcomponent_add_component does.
taken_components take_zones_and_events(icalcomponent *root);

/// Adds the VTIMEZONEs to parent so that its children list them in the
/// order given, ahead of every child it held before. libical puts each
/// VTIMEZONE it adds at the front of the children, so they go in last first.
void add_time_zones(icalcomponent *parent, const std::vector<icalcomponent *> &zones);

/// Frees a parsed tree, unless it holds more than MAX_REMOVED_ZONES
/// VTIMEZONEs: libical frees a tree by removing each child, which searches
/// the zone array for each VTIMEZONE. Such a tree is left to the process
/// exit.
void free_parsed_tree(icalcomponent *root);

/// A new component of component's kind that holds its properties (but
/// those of kind left_out, unless that is ICAL_NO_PROPERTY) and, rebuilt
/// the same way, its children, in their order. Nothing is removed from
/// component's list of children; what is left of it is a husk for the
/// caller to free with its tree.
icalcomponent *rebuild_component(icalcomponent *component, icalproperty_kind left_out);
