// sift.cc: the time-zone and event passes of evsift.
#include "filter/sift.h"

// The walk takes every child from the front of the tree: VTIMEZONEs first
// (libical keeps them at the front), in their order, then the rest in
// document order. Taking the first child costs nothing, where removing a
// child from the middle makes libical search the list from its head. What
// stays behind goes to a holder that is freed with the tree.
void move_selected_components(icalcomponent *root, icalcomponent *calendar,
                              icalcomponent *left_behind, const event_selection *selection,
                              const char *added_category)
{
    while (icalcomponent *child = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT)) {
        icalcomponent_kind kind = icalcomponent_isa(child);
        bool keep = kind == ICAL_VTIMEZONE_COMPONENT ||
                    (kind == ICAL_VEVENT_COMPONENT &&
                     select_event(child, selection, "NONE", evsift_class_text));
        icalcomponent_remove_component(root, child);
        if (!keep) {
            icalcomponent_add_component(left_behind, child);
            continue;
        }
        if (kind == ICAL_VEVENT_COMPONENT && added_category != nullptr)
            icalcomponent_add_property(child, icalproperty_new_categories(added_category));
        icalcomponent_add_component(calendar, child);
    }
}
