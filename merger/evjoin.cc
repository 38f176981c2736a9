// evjoin: merges iCalendar files into one: the first definition of each time
// zone, one event per UID (the most recently modified), and one event per
// UID and overridden instance of a recurrence, chosen the same way.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

#include <libical/ical.h>

#include "merger/merge.h"
#include "shared/calendar_input.h"
#include "shared/calendar_properties.h"
#include "shared/fatal.h"
#include "shared/output_calendar.h"
#include "shared/tree_moves.h"
#include "shared/usage.h"

// --help lists both options in the manual's words; a usage error writes the
// shorter usage text, as it always has.
static const char EVJOIN_HELP[] =
    "Usage: evjoin input [input...] output\n"
    "       evjoin --help | --version\n"
    "Merges the iCalendar files input into output, one event for each UID.\n"
    "      --help                   write this text and exit\n"
    "      --version                write the program's name and version and exit\n"
    "  inputs and output are iCalendar files; a path that begins with - goes\n"
    "  after --\n";

[[noreturn]] static void usage()
{
    report_and_exit(STATUS_USAGE, "%s", EVJOIN_USAGE);
}

// evjoin has no options but --help and --version: any other is a usage error.
static void read_join_options(int argc, char **argv)
{
    static const option long_options[] = {
        {"help", no_argument, nullptr, OPTION_HELP},
        {"version", no_argument, nullptr, OPTION_VERSION},
        {nullptr, 0, nullptr, 0},
    };
    int option_char;
    while ((option_char = getopt_long(argc, argv, "", long_options, nullptr)) != -1) {
        switch (option_char) {
        case OPTION_HELP:
            show_help(EVJOIN_HELP, STATUS_FILE);
        case OPTION_VERSION:
            show_version("evjoin", STATUS_FILE);
        default:
            usage();
        }
    }
}

static icalcomponent *read_input(const char *path)
{
    FILE *input = open_input_file(path);
    if (input == nullptr)
        report_and_exit(STATUS_FILE, "%s: %s\n", path, strerror(errno));
    parsed_calendar parsed = parse_calendar_stream(input, path);
    icalparser_free(parsed.parser);
    if (fclose(input) != 0)
        report_and_exit(STATUS_FILE, "%s: %s\n", path, strerror(errno));
    return parsed.root;
}

int main(int argc, char **argv)
{
    set_program_name("evjoin", STATUS_NO_MEMORY);
    set_libical_error_mode();
    // A file-size limit makes a write fail and be reported, not kill the run.
    signal(SIGXFSZ, SIG_IGN);
    read_join_options(argc, argv);
    icalcomponent *calendar = new_output_calendar(EVJOIN_PRODID);
    if (argc - optind < 2)
        usage();
    merged_components merged;
    property_names names = names_of_properties(calendar);
    for (int i = optind; i < argc - 1; i++) {
        icalcomponent *root = read_input(argv[i]);
        move_calendar_properties(root, calendar, &names, "evjoin");
        merge_calendar(root, argv[i], &merged);
        free_parsed_tree(root);
    }
    add_merged_components(calendar, &merged);
    output_set output = open_output_set(argv[argc - 1]);
    store_output_calendar(&output, calendar);
    return STATUS_DONE;
}
