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
    const char *title;            // null: the generated title
    const char *footer;           // null: no footer line
    icaltimezone *display_zone;   // null for a zone name libical does not know
    icaltimetype period_start;
    icaldurationtype period_duration;
    icaltimetype today;           // in the display zone
    FILE *input;
    const char *input_name;       // the input's path, or "standard input"
};
