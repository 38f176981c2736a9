// output_calendar.h: a new VCALENDAR and the file set that writes it. The
// calendar is written to a temporary file beside the output and renamed over
// it only when complete, so a failed run leaves the output as it was.
#pragma once

#include <string>

#include <libical/ical.h>
#include <libical/icalss.h>

constexpr const char EVJOIN_PRODID[] = "-//QUORVEL//NONSGML evjoin 3.0//EN";
constexpr const char EVSIFT_PRODID[] = "-//QUORVEL//NONSGML evsift 0.1//EN";

struct output_set {
    icalset *set;
    std::string path;       // the output path as given
    std::string temp_path;  // the file the set writes, renamed to path at the end
    int fd;                 // the temporary file, for flushing it to disk
};

/// A VCALENDAR holding VERSION "2.0" and then PRODID.
icalcomponent *new_output_calendar(const char *prodid);

/// Opens a file set on a new temporary file in the output's directory. A
/// failure, or an output path that names a directory: status 5 and
/// "path: reason". The output path itself is not touched.
output_set open_output_set(const char *path);

/// Writes the calendar through the set, flushes it to disk and renames the
/// temporary file over the output path. Any failure: status 5 and
/// "path: reason", the output as it was and no temporary file left. The set
/// frees the calendar, unless it holds more than MAX_REMOVED_ZONES
/// VTIMEZONEs: that one is left to the process exit (see tree_moves.h).
void store_output_calendar(output_set *output, icalcomponent *calendar);
