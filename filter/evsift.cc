// evsift: copies an iCalendar file keeping every time zone and only the
// selected events, optionally adding a category to each.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <getopt.h>

#include <libical/ical.h>

#include "filter/sift.h"
#include "shared/calendar_input.h"
#include "shared/calendar_properties.h"
#include "shared/event_selection.h"
#include "shared/fatal.h"
#include "shared/output_calendar.h"
#include "shared/tree_moves.h"
#include "shared/usage.h"

struct sift_options {
    event_selection selection;
    const char *added_category;   // null: none
    const char *input_path;
    const char *output_path;
};

// --help lists every option in the manual's words; a usage error writes the
// shorter usage text, as it always has.
static const char EVSIFT_HELP[] =
    "Usage: evsift [options] input output\n"
    "       evsift --help | --version\n"
    "Copies the iCalendar calendar input to output, keeping the selected events.\n"
    "  -p, --class=CLASS            keep only the events of this class\n"
    "  -P, --not-class=CLASS        leave out the events of this class\n"
    "  -c, --category=CATEGORY      keep only the events that have this category\n"
    "  -C, --not-category=CATEGORY  leave out the events that have this category\n"
    "      --match=PATTERN          keep only the events that PATTERN (an extended\n"
    "                               regular expression) matches in their summary,\n"
    "                               description or location\n"
    "      --not-match=PATTERN      leave out the events that PATTERN matches\n"
    "  -p, -P, -c, -C, --match and --not-match may be given more than once: every\n"
    "  value counts\n"
    "      --add-category=CATEGORY  add a CATEGORIES property with CATEGORY to every\n"
    "                               event kept\n"
    "      --help                   write this text and exit\n"
    "      --version                write the program's name and version and exit\n"
    "  input and output are iCalendar files\n";

[[noreturn]] static void usage()
{
    report_and_exit(STATUS_USAGE, "%s", EVSIFT_USAGE);
}

static sift_options read_sift_options(int argc, char **argv)
{
    static const option long_options[] = {
        {"class", required_argument, nullptr, 'p'},
        {"not-class", required_argument, nullptr, 'P'},
        {"category", required_argument, nullptr, 'c'},
        {"not-category", required_argument, nullptr, 'C'},
        {"match", required_argument, nullptr, OPTION_MATCH},
        {"not-match", required_argument, nullptr, OPTION_NOT_MATCH},
        {"add-category", required_argument, nullptr, 'a'},
        {"help", no_argument, nullptr, OPTION_HELP},
        {"version", no_argument, nullptr, OPTION_VERSION},
        {nullptr, 0, nullptr, 0},
    };
    sift_options options{};
    int option_char;
    while ((option_char = getopt_long(argc, argv, "p:P:c:C:", long_options, nullptr)) != -1) {
        switch (option_char) {
        case 'p':
            options.selection.classes.push_back(optarg);
            break;
        case 'P':
            options.selection.not_classes.push_back(optarg);
            break;
        case 'c':
            options.selection.categories.push_back(optarg);
            break;
        case 'C':
            options.selection.not_categories.push_back(optarg);
            break;
        case OPTION_MATCH:
            options.selection.patterns.push_back(compile_text_pattern("evsift", optarg));
            break;
        case OPTION_NOT_MATCH:
            options.selection.not_patterns.push_back(compile_text_pattern("evsift", optarg));
            break;
        case 'a':
            options.added_category = strdup(optarg);
            break;
        case OPTION_HELP:
            show_help(EVSIFT_HELP, STATUS_FILE);
        case OPTION_VERSION:
            show_version("evsift", STATUS_FILE);
        default:
            usage();
        }
    }
    if (optind >= argc)
        usage();
    options.input_path = argv[optind];
    return options;
}

// The input is opened before the output path is looked at: a missing input
// with no output argument is status 5, not 2.
static FILE *open_input(const char *path)
{
    FILE *input = open_input_file(path);
    if (input == nullptr)
        report_and_exit(STATUS_FILE, "%s: %s\n", path, strerror(errno));
    return input;
}

static const char *read_output_path(int argc, char **argv)
{
    if (optind + 1 >= argc || optind + 2 < argc)
        usage();
    return argv[optind + 1];
}

// A selection that keeps nothing is most often a mistake (a class the
// events do not carry, a misspelt category), which an empty calendar alone
// would not show.
static void tell_empty_result(const sift_counts &counts, const char *input_path)
{
    if (counts.events > 0 && counts.kept == 0)
        fprintf(stderr,
                "evsift: no event of %s passed the selection (%zu %s; an event without CLASS "
                "counts as NONE)\n",
                input_path, counts.events, counts.events == 1 ? "event" : "events");
}

int main(int argc, char **argv)
{
    set_program_name("evsift", STATUS_NO_MEMORY);
    set_libical_error_mode();
    // A file-size limit makes a write fail and be reported, not kill the run.
    signal(SIGXFSZ, SIG_IGN);
    sift_options options = read_sift_options(argc, argv);
    FILE *input = open_input(options.input_path);
    options.output_path = read_output_path(argc, argv);
    output_set output = open_output_set(options.output_path);
    parsed_calendar parsed = parse_calendar_stream(input, options.input_path);
    icalparser_free(parsed.parser);
    icalcomponent *calendar = new_output_calendar(EVSIFT_PRODID);
    move_calendar_properties(parsed.root, calendar, "evsift");
    sift_counts counts =
        move_selected_components(parsed.root, calendar, &options.selection, options.added_category);
    store_output_calendar(&output, calendar);
    tell_empty_result(counts, options.input_path);
    free_parsed_tree(parsed.root);
    return STATUS_DONE;
}
