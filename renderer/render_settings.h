// render_settings.h: what evtable's command line asks for, filled once by the
// run and then only read.
#pragma once

#include <cstdio>

#include <libical/ical.h>

#include "shared/event_selection.h"

struct render_settings {
    event_selection selection;
    bool show_description;
    bool show_location;
    bool mark_today;
    bool monday_first;
    bool list;                    // --list: the days with events, not month tables
    long limit;                   // --limit: 0 for none
    bool anchors;                 // --anchors: an id on each event block
    const char *title;            // null: the generated title
    const char *footer;           // null: no footer line
    const char *lang;             // null: <html> without a lang attribute
    const char *head;             // null: no extra line in the head
    const char *header;           // null: no line before the tables
    const char *zone_name;        // null: UTC
    icaltimezone *display_zone;   // the zone of zone_name, never null
    icaltimetype period_start;
    icaldurationtype period_duration;
    icaltimetype today;           // in the display zone
    FILE *input;
    const char *output_path;      // -o: null for standard output
    const char *input_name;       // the path, or "standard input"
};

/// The end of the period: its start plus its duration.
inline icaltimetype period_end(const render_settings *settings)
{
    return icaltime_add(settings->period_start, settings->period_duration);
}
