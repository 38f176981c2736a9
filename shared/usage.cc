// usage.cc: the usage texts (option descriptions start in column 32), and the
// answers to --help and --version.
#include "shared/usage.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shared/fatal.h"

const char EVTABLE_USAGE[] =
    "Usage: evtable [options] start duration [file]\n"
    "  -p, --class=CLASS            only (PUBLIC, CONFIDENTIAL, PRIVATE, NONE)\n"
    "  -P, --not-class=CLASS        exclude (PUBLIC, CONFIDENTIAL, PRIVATE, NONE)\n"
    "  -c, --category=CATEGORY      only events of this category\n"
    "  -C, --not-category=CATEGORY  exclude events of this category\n"
    "  -d, --description            include event's long description in a <PRE>\n"
    "  -l, --location               include event's location in that <PRE>\n"
    "  -t, --title=TEXT             use text for HTML title\n"
    "  -f, --footer=TEXT            add text at the bottom of the HTML file\n"
    "  -T, --today                  mark current day with #today in HTML file\n"
    "  -z, --timezone=country/city  adjust for this timezone (default: GMT)\n"
    "  -m, --monday                 draw Monday as first week day (Sunday is default)\n"
    "  start is of the form yyyymmdd, e.g., 20020927 (27 Sep 2002)\n"
    "  duration is in days or weeks, e.g., P5W (5 weeks) or P60D (60 days)\n"
    "  file is an iCalendar file, default is standard input\n";

const char EVJOIN_USAGE[] =
    "Usage: evjoin input [input...] output\n"
    "  inputs and output are iCalendar files\n";

const char EVSIFT_USAGE[] =
    "Usage: evsift [options] input output\n"
    "  -p, --class=CLASS            only (PUBLIC, CONFIDENTIAL, PRIVATE, NONE)\n"
    "  -P, --not-class=CLASS        exclude (PUBLIC, CONFIDENTIAL, PRIVATE, NONE)\n"
    "  -c, --category=CATEGORY      only events of this category\n"
    "  -C, --not-category=CATEGORY  exclude events of this category\n"
    "      --add-category=CATEGORY  add category to output events\n"
    "  input and output are iCalendar files\n";

// The project's version comes from the build (CMake's project version).
#ifndef EVTOOLS_VERSION
#error "EVTOOLS_VERSION must be defined by the build"
#endif

[[noreturn]] static void finish_standard_output(int write_failure_status)
{
    if (fflush(stdout) != 0 || ferror(stdout))
        report_and_exit(write_failure_status, "Write error: %s\n", strerror(errno));
    exit(STATUS_DONE);
}

void show_help(const char *usage, int write_failure_status)
{
    fputs(usage, stdout);
    finish_standard_output(write_failure_status);
}

void show_version(const char *program, int write_failure_status)
{
    printf("%s %s\n", program, EVTOOLS_VERSION);
    finish_standard_output(write_failure_status);
}
