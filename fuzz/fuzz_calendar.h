// fuzz_calendar.h: what the fuzz targets share: libical set up as the
// programs set it, a calendar parsed from the fuzzer's bytes the way the
// programs parse a stream, and a tree freed without recursion.
#pragma once

#include <cstddef>
#include <cstdint>

#include <libical/ical.h>

/// libical's error mode as every program sets it; call once.
void set_up_libical();

/// Parses the bytes with the programs' line source on a memory stream, so
/// NUL bytes and long lines reach the parser as they would from a file. Gives
/// null where the programs end the run with status 4: no component, or one
/// nested deeper than MAX_COMPONENT_DEPTH (that tree is freed here).
icalcomponent *parse_fuzz_calendar(const uint8_t *data, size_t size);

/// Frees a tree of any depth, deepest children first; icalcomponent_free
/// recurses once per level.
void free_tree_iteratively(icalcomponent *root);
