// output_calendar.cc: output calendars and their safe replacement of the output file.
#include "shared/output_calendar.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shared/exit_status.h"
#include "shared/fatal.h"
#include "shared/tree_moves.h"

// The project's version comes from the build (CMake's project version).
#ifndef EVTOOLS_VERSION
#error "EVTOOLS_VERSION must be defined by the build"
#endif

const char EVJOIN_PRODID[] = "-//QUORVEL//NONSGML evjoin " EVTOOLS_VERSION "//EN";
const char EVSIFT_PRODID[] = "-//QUORVEL//NONSGML evsift " EVTOOLS_VERSION "//EN";

icalcomponent *new_output_calendar(const char *prodid)
{
    icalproperty *prodid_property = icalproperty_new_prodid(prodid);
    icalproperty *version = icalproperty_new_version("2.0");
    return icalcomponent_vanew(ICAL_VCALENDAR_COMPONENT, version, prodid_property, nullptr);
}

output_set open_output_set(const char *path)
{
    return check_output_file(path, STATUS_FILE);
}

// The text is written by our own loop of writes: libical's file set writes
// it in one call, which stops at 2 GiB, and reports a short write only by
// its own perror line.
void store_output_calendar(output_set *output, icalcomponent *calendar)
{
    create_temporary_file(output);
    icalerror_clear_errno();
    char *text = icalcomponent_as_ical_string_r(calendar);
    // libical stops appending to a text it cannot enlarge and says so only
    // in its error number.
    if (text == nullptr || icalerrno == ICAL_NEWFAILED_ERROR)
        fail_out_of_memory();
    write_output_text(output, text, strlen(text));
    free(text);
    commit_output_file(output);
    // libical frees a calendar by removing each child, which searches the
    // calendar's zone array for each VTIMEZONE: a calendar of many zones is
    // left to the process exit.
    if (icalcomponent_count_components(calendar, ICAL_VTIMEZONE_COMPONENT) <=
        static_cast<int>(MAX_REMOVED_ZONES))
        icalcomponent_free(calendar);
}
