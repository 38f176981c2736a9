// sift.cc: the time-zone and event passes of evsift.
#include "filter/sift.h"

#include "shared/parse_errors.h"
#include "shared/tree_moves.h"

sift_counts move_selected_components(icalcomponent *root, icalcomponent *calendar,
                                     const event_selection *selection, const char *added_category)
{
    taken_components taken = take_zones_and_events(root);
    for (icalcomponent *&zone : taken.zones)
        zone = drop_parse_errors(zone, "evsift");
    add_time_zones(calendar, taken.zones);
    sift_counts counts{taken.events.size(), 0};
    for (icalcomponent *event : taken.events) {
        if (!select_event(event, selection, "NONE", evsift_class_text)) {
            icalcomponent_free(event);
            continue;
        }
        if (added_category != nullptr)
            icalcomponent_add_property(event, icalproperty_new_categories(added_category));
        icalcomponent_add_component(calendar, drop_parse_errors(event, "evsift"));
        counts.kept++;
    }
    return counts;
}
