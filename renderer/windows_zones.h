// windows_zones.h: zone names as Windows and its mail programs write them
// ("W. Europe Standard Time"), read as the IANA zones that the Unicode CLDR
// maps them to for the world as a whole (territory 001), through ICU.
#pragma once

#include <string>

#include <libical/ical.h>

/// The IANA name of a Windows zone name; empty for any other text.
std::string iana_name_of_windows_zone(const char *name);

/// Renames, in the TZID parameters of the tree, every Windows zone name that
/// names no VTIMEZONE of the calendar to its IANA name, so that the times
/// read in the built-in zone of that name instead of as floating times.
/// Before libical resolves any TZID of the calendar.
void read_windows_zone_names(icalcomponent *root, int up_to_year);
