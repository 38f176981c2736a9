// calendar_properties.h: a calendar's own properties (its name, description,
// time zone, refresh interval, method...) carried into another calendar, the
// first of each name winning.
#pragma once

#include <libical/ical.h>

/// Moves into calendar, after its own properties and in from's order, every
/// property of from whose name calendar holds none of when the call starts:
/// all of from's properties of such a name, and none of another. Names
/// compare without regard to letter case. What is not moved is freed;
/// from is left without properties.
///
/// libical's X-LIC-ERROR notes have no name of their own: with a null
/// program they are moved like the rest (the notes of a calendar still to
/// be read); otherwise each one gives "PROGRAM: calendar: ITEM dropped:
/// REASON" on standard error, as drop_parse_errors says it, and is freed.
void move_calendar_properties(icalcomponent *from, icalcomponent *calendar, const char *program);
