// event_times.h: when an event's instances end. A length given by DTEND is
// exact: every instance lasts the same seconds, a change of daylight saving
// in between or not. One given by DURATION is nominal: its weeks and days
// are days of the calendar, the same wall-clock time so many days later,
// and only its hours, minutes and seconds are exact.
#pragma once

#include <libical/ical.h>

/// Whole days that a duration spans, rounded up; 0 for a negative one.
long duration_days(icaldurationtype duration);

/// DTEND as the event gives it; with DURATION too (which files have, though
/// both are not allowed), where libical gives no end at all, DTEND still wins.
icaltimetype event_end(icalcomponent *event);

/// How long each instance of a series lasts.
struct event_length {
    icaldurationtype duration;
    bool exact;
    long longest_days;   // whole days it spans at most, rounded up
};

event_length length_of(icalcomponent *event, icaltimetype dtstart);

/// The end of an instance that starts at start.
icaltimetype instance_end(icaltimetype start, const event_length &length);
