// calendar_properties.h: a calendar's own properties (its name, description,
// time zone, refresh interval, method...) carried into another calendar, the
// first of each name winning.
#pragma once

#include <string>
#include <unordered_set>

#include <libical/ical.h>

/// Property names in upper case (an X- property by its own name).
using property_names = std::unordered_set<std::string>;

/// The names of calendar's properties.
property_names names_of_properties(icalcomponent *calendar);

/// Adds to calendar, after its own properties and in from's order, a copy of
/// every property of from whose name is not among names, the names of
/// calendar's properties when the call starts: all of from's properties of
/// such a name, and none of another. names then holds those of the
/// properties added too. Names compare without regard to letter case. from
/// keeps its properties, for the caller to free with it. Each property costs
/// the same whatever the number of properties and calendars before it, so
/// that a stream of many calendars is read in linear time.
///
/// libical's X-LIC-ERROR notes have no name of their own: with a null
/// program they are copied like the rest (the notes of a calendar still to
/// be read); otherwise each one gives "PROGRAM: calendar: ITEM dropped:
/// REASON" on standard error, as drop_parse_errors says it, and is not
/// copied.
void move_calendar_properties(icalcomponent *from, icalcomponent *calendar, property_names *names,
                              const char *program);

/// The same, with the names read from calendar first.
void move_calendar_properties(icalcomponent *from, icalcomponent *calendar, const char *program);
