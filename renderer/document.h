// document.h: evtable's work on a parsed calendar, from the occurrences to
// the written document; the run and the fuzz target share it.
#pragma once

#include <libical/ical.h>

#include "renderer/render_settings.h"

/// libical's zone-information directory, set before any zone is looked up.
constexpr char ZONE_DIRECTORY[] = "/usr/share/apps/libical/zoneinfo/";

/// Collects the occurrences of root's selected events in the period, puts
/// them in display order without the overridden ones, and writes the whole
/// document to standard output. The occurrence table borrows from root,
/// which must outlive every use of the table.
void render_document(icalcomponent *root, const render_settings *settings);
