// parse_errors.h: the X-LIC-ERROR properties that libical's parse puts in
// place of what it could not keep (a property, a parameter, a line): they
// are libical's notes, not calendar data, so they are taken out before a
// calendar is written, and what each one stands for is said on standard
// error.
#pragma once

#include <string>

#include <libical/ical.h>

/// Above this many X-LIC-ERROR properties in one component, the component
/// is rebuilt without them instead of having each removed: every removal
/// makes libical walk the whole property list.
constexpr size_t MAX_REMOVED_ERRORS = 8;

/// What an X-LIC-ERROR text says was dropped: a property's name, "an X-
/// property", "a parameter", "a line" or "a property"; empty for an empty
/// value, which says nothing and is dropped without a word.
std::string dropped_item(const char *error_text, icalparameter_xlicerrortype type);

/// component, a VEVENT or VTIMEZONE that belongs to no parent, without the
/// X-LIC-ERROR properties in it and in its children: the same component, or
/// a rebuilt one (the original freed). Each one that stands for more than an
/// empty value gives "PROGRAM: event UID: ITEM dropped: REASON" on standard
/// error, "time zone TZID" for a VTIMEZONE, REASON being libical's text.
icalcomponent *drop_parse_errors(icalcomponent *component, const char *program);

/// Says what one X-LIC-ERROR stands for as drop_parse_errors does, with
/// subject in place of "event UID": nothing for an empty value.
void report_parse_error(const char *program, const char *subject, icalproperty *error);
