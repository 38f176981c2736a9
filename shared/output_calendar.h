// output_calendar.h: a new VCALENDAR and the output file that receives it. The
// calendar is written to a temporary file beside the output and renamed over
// it only when complete, so a failed run leaves the output as it was.
#pragma once

#include <libical/ical.h>

#include "shared/output_file.h"

/// The PRODIDs of evjoin's and evsift's output calendars, with the
/// project's version, the one --version gives.
extern const char EVJOIN_PRODID[];
extern const char EVSIFT_PRODID[];

// The output path, checked and followed to the file to replace; nothing is
// created until the calendar is stored.
using output_set = output_file;

/// A VCALENDAR holding VERSION "2.0" and then PRODID.
icalcomponent *new_output_calendar(const char *prodid);

/// Checks that the output can be replaced (check_output_file): a missing
/// folder, one that cannot be written, a directory or another file that is
/// not a regular one give status 5 and "path: reason". Writes nothing.
output_set open_output_set(const char *path);

/// Creates the temporary file, writes the calendar's text to it (the bytes
/// libical's file set writes), flushes it to disk and renames it over the
/// output. Any failure: status 5 and "path: reason", the output as it was and
/// no temporary file left. Frees the calendar, unless it holds more than
/// MAX_REMOVED_ZONES VTIMEZONEs: that one is left to the process exit (see
/// tree_moves.h).
void store_output_calendar(output_set *output, icalcomponent *calendar);
