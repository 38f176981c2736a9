// sift.h: evsift's passes: every time zone and the selected events of a
// parsed calendar move into the output calendar.
#pragma once

#include <cstddef>

#include <libical/ical.h>

#include "shared/event_selection.h"

struct sift_counts {
    size_t events;   // VEVENTs read
    size_t kept;     // of them, moved into the output
};

/// Moves the VTIMEZONEs and the selected VEVENTs among root's children into
/// calendar, in document order, adding a CATEGORIES property with
/// added_category (unless null) to each event moved, and without libical's
/// X-LIC-ERROR notes (said on standard error). The caller frees root with
/// what is left in it.
sift_counts move_selected_components(icalcomponent *root, icalcomponent *calendar,
                                     const event_selection *selection, const char *added_category);
