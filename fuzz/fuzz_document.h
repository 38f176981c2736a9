// fuzz_document.h: evtable's steps from a parsed calendar to the document,
// as its main takes them, for the fuzz targets that write documents.
#pragma once

#include <libical/ical.h>

#include "renderer/render_settings.h"

/// Cleans the zones, collects and sorts the occurrences, prints the document
/// to standard output and clears the occurrences again.
void render_fuzz_document(icalcomponent *root, const render_settings *settings);
