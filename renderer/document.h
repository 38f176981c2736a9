// document.h: evtable's work on a parsed calendar, from the occurrences to
// the written document; the run and the fuzz target share it.
#pragma once

#include <libical/ical.h>

#include "renderer/render_settings.h"

/// libical's zone-information directory, set before any zone is looked up.
constexpr char ZONE_DIRECTORY[] = "/usr/share/apps/libical/zoneinfo/";

/// Makes root safe for libical's time accessors (costly VTIMEZONEs and TZIDs
/// that name paths are dropped), collects the occurrences of its selected
/// events in the period (overridden instances left out at collection) and
/// puts them in display order. The occurrence table borrows from root, which
/// must outlive every use of the table.
void prepare_document(icalcomponent *root, const render_settings *settings);

/// Writes the whole document of the prepared occurrences to standard output.
void write_document(const render_settings *settings);

/// Both steps, one after the other.
void render_document(icalcomponent *root, const render_settings *settings);
