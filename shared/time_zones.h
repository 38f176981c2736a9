// time_zones.h: the zones that TZID parameters name, found without opening
// paths that a calendar chose and without zones that would take libical
// minutes to work out.
//
// libical looks a TZID that names no VTIMEZONE of the calendar up as a file
// under the system's zone folder, "../" included, and works a VTIMEZONE's
// offset changes out one by one up to the year asked about: a zone that
// changes every minute costs minutes and hundreds of megabytes.
#pragma once

#include <vector>

#include <libical/ical.h>

/// Longest TZID that is looked up as a built-in zone.
constexpr size_t MAX_ZONE_NAME = 64;

/// Most offset changes a VTIMEZONE may need up to the year asked about.
constexpr long MAX_ZONE_CHANGES = 10000;

/// True for a name that may be looked up as a built-in zone: ASCII letters,
/// digits and "_+-/", at most MAX_ZONE_NAME bytes, no "/"-separated part
/// empty (no dots, so no "." or ".." either).
bool is_plain_zone_name(const char *tzid);

/// The STANDARD and DAYLIGHT observances of a VTIMEZONE, in order.
std::vector<icalcomponent *> observances_of(icalcomponent *vtimezone);

/// True when one of the VTIMEZONE's observances changes more often than
/// daily, or covering it up to up_to_year takes more than MAX_ZONE_CHANGES
/// changes (an upper bound from its rules, counts and RDATEs).
bool is_costly_time_zone(icalcomponent *vtimezone, int up_to_year);

/// The year up to which libical works out a zone's changes when a time of
/// the given year is converted: that year or the current one, whichever is
/// later, and five more; never past the last year libical handles.
int zone_coverage_year(int year);

/// The zone that tzid names for component: a VTIMEZONE of the component or
/// of one of its ancestors, else a built-in zone when the name is plain;
/// null when unknown. A costly VTIMEZONE (covered up to up_to_year) counts
/// as unknown. The verdict on each VTIMEZONE is kept for the process, so the
/// VTIMEZONEs looked at must live as long.
icaltimezone *find_time_zone(icalcomponent *component, const char *tzid, int up_to_year);

/// value with the zone that the property's TZID parameter names for
/// component (found with find_time_zone); a date, a UTC time and a time
/// without TZID or with an unknown one come back as they are.
icaltimetype zoned_time(icalcomponent *component, icalproperty *property, icaltimetype value);

/// Makes a parsed tree safe for libical's own time accessors: removes each
/// costly VTIMEZONE (with a note "PROGRAM: time zone TZID ignored: ..." on
/// standard error) and every TZID parameter that names one, and every TZID
/// parameter that names no VTIMEZONE of its component's ancestors and is not
/// a plain name. The times of those parameters become floating, as for any
/// unknown zone. A judge, when given, may ignore more VTIMEZONEs the same
/// way: it returns the reason that follows "ignored: ", or null to keep one.
using zone_judge = const char *(*)(icalcomponent *vtimezone, int up_to_year);
void drop_unsafe_zone_references(icalcomponent *root, int up_to_year, const char *program,
                                 zone_judge judge = nullptr);
