// fuzz_calendar.h: what the fuzz targets share: libical set up as the
// programs set it, and the programs' parse step run on the fuzzer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include <libical/ical.h>

/// libical's error mode as every program sets it; call once.
void set_up_libical();

/// Runs the programs' parse step on the bytes through a memory stream, so
/// long lines reach the parser as they would from a file (an input with a
/// NUL byte gives null at once).
/// Gives null where a program's run ends with status 4 (what that run leaves
/// to the process exit is freed here); the caller frees the tree.
icalcomponent *parse_fuzz_calendar(const uint8_t *data, size_t size);
