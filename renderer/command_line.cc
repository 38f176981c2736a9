// command_line.cc: evtable's options and arguments, read into the settings
// once; a wrong one ends the run with its status and message.
#include "renderer/command_line.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>

#include "renderer/windows_zones.h"
#include "shared/calendar_input.h"
#include "shared/fatal.h"
#include "shared/time_zones.h"
#include "shared/usage.h"

// The options that frame the document have no short form; their codes follow
// those of --help and --version, above every character.
enum frame_option {
    LANG_OPTION = OPTION_VERSION + 1,
    HEAD_OPTION,
    HEADER_OPTION,
    LIST_OPTION,
    LIMIT_OPTION,
    ANCHORS_OPTION
};

// An incorrect language tag is an incorrect argument, like a bad date.
static const int STATUS_EVTABLE_LANGUAGE = STATUS_EVTABLE_DATE;
static const size_t LANGUAGE_TAG_LIMIT = 35;
static const int STATUS_EVTABLE_LIMIT = STATUS_EVTABLE_DATE;

// --help lists every option in the manual's words; a usage error writes the
// shorter usage text, as it always has.
static const char EVTABLE_HELP[] =
    "Usage: evtable [options] start duration [file]\n"
    "       evtable --help | --version\n"
    "Writes the period of the iCalendar calendar in file (default: standard input)\n"
    "that begins at start and lasts for duration as an HTML document of month tables.\n"
    "  -p, --class=CLASS            show only events of this class (PUBLIC,\n"
    "                               CONFIDENTIAL, PRIVATE or any other CLASS value)\n"
    "  -P, --not-class=CLASS        leave out the events of this class\n"
    "  -c, --category=CATEGORY      show only the events that have this category\n"
    "  -C, --not-category=CATEGORY  leave out the events that have this category\n"
    "      --match=PATTERN          show only the events that PATTERN (an extended\n"
    "                               regular expression) matches in their summary,\n"
    "                               description or location\n"
    "      --not-match=PATTERN      leave out the events that PATTERN matches\n"
    "  -p, -P, -c, -C, --match and --not-match may be given more than once: every\n"
    "  value counts\n"
    "  -d, --description            show each event's description in a pre element\n"
    "  -l, --location               show each event's location in that pre element\n"
    "  -t, --title=TEXT             use TEXT, escaped, as the document title\n"
    "  -f, --footer=TEXT            write TEXT, unchanged, at the bottom of the page\n"
    "      --lang=TAG               write <html lang=\"TAG\"> (e.g. en or de-DE)\n"
    "      --head=HTML              write HTML as one more line of the document head\n"
    "      --header=HTML            write HTML as a line before the month tables\n"
    "  -T, --today                  mark today's cell with id=\"today\"\n"
    "  -z, --timezone=ZONE          show times in ZONE (e.g. Europe/Berlin), not UTC\n"
    "  -m, --monday                 begin each week row on Monday instead of Sunday\n"
    "      --list                   write the days that have events as a list, not\n"
    "                               month tables\n"
    "      --limit=N                show the first N events only, and the rest of\n"
    "                               the N-th one's day\n"
    "      --anchors                give each event block an id that links can name\n"
    "  -o, --output=OUTPUT          write the document to OUTPUT, not the standard\n"
    "                               output, replacing it only once it is complete\n"
    "      --help                   write this text and exit\n"
    "      --version                write the program's name and version and exit\n"
    "  start is a date YYYYMMDD, e.g. 20020927 (27 September 2002), perhaps with a\n"
    "  time of day: T and six digits (20020927T120000), then perhaps Z for UTC\n"
    "  duration is an iCalendar duration, e.g. P5W (five weeks), P60D (sixty days)\n"
    "  or P1DT12H\n";

[[noreturn]] static void usage()
{
    report_and_exit(STATUS_USAGE, "%s", EVTABLE_USAGE);
}

// The tag goes into an attribute unescaped, so only letters, digits and
// hyphens pass, and not too many of them for a language tag; an empty tag
// names no language at all.
static void check_language_tag(const char *tag)
{
    size_t length = strlen(tag);
    bool correct = length >= 1 && length <= LANGUAGE_TAG_LIMIT;
    for (size_t i = 0; correct && i < length; i++) {
        unsigned char c = static_cast<unsigned char>(tag[i]);
        correct = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '-';
    }
    if (!correct)
        report_and_exit(STATUS_EVTABLE_LANGUAGE, "Incorrect language tag '%s'.\n", tag);
}

// A count of occurrences: digits only, 1 or more, and not so many that the
// count could not be reached.
static long read_limit(const char *text)
{
    size_t length = strlen(text);
    bool correct = length >= 1 && length <= 9;
    for (size_t i = 0; correct && i < length; i++)
        correct = isdigit(static_cast<unsigned char>(text[i]));
    long limit = correct ? strtol(text, nullptr, 10) : 0;
    if (limit < 1)
        report_and_exit(STATUS_EVTABLE_LIMIT, "Incorrect limit '%s', must be a number from 1.\n",
                        text);
    return limit;
}

static void read_options(int argc, char **argv, render_settings *settings)
{
    static const option long_options[] = {
        {"class", required_argument, nullptr, 'p'},
        {"not-class", required_argument, nullptr, 'P'},
        {"category", required_argument, nullptr, 'c'},
        {"not-category", required_argument, nullptr, 'C'},
        {"match", required_argument, nullptr, OPTION_MATCH},
        {"not-match", required_argument, nullptr, OPTION_NOT_MATCH},
        {"description", no_argument, nullptr, 'd'},
        {"location", no_argument, nullptr, 'l'},
        {"title", required_argument, nullptr, 't'},
        {"footer", required_argument, nullptr, 'f'},
        {"today", no_argument, nullptr, 'T'},
        {"timezone", required_argument, nullptr, 'z'},
        {"monday", no_argument, nullptr, 'm'},
        {"lang", required_argument, nullptr, LANG_OPTION},
        {"head", required_argument, nullptr, HEAD_OPTION},
        {"header", required_argument, nullptr, HEADER_OPTION},
        {"output", required_argument, nullptr, 'o'},
        {"list", no_argument, nullptr, LIST_OPTION},
        {"limit", required_argument, nullptr, LIMIT_OPTION},
        {"anchors", no_argument, nullptr, ANCHORS_OPTION},
        {"help", no_argument, nullptr, OPTION_HELP},
        {"version", no_argument, nullptr, OPTION_VERSION},
        {nullptr, 0, nullptr, 0},
    };
    int option_char;
    while ((option_char = getopt_long(argc, argv, "dlmTp:P:c:C:t:f:z:o:", long_options, nullptr)) != -1) {
        switch (option_char) {
        case 'p':
            settings->selection.classes.push_back(optarg);
            break;
        case 'P':
            settings->selection.not_classes.push_back(optarg);
            break;
        case 'c':
            settings->selection.categories.push_back(optarg);
            break;
        case 'C':
            settings->selection.not_categories.push_back(optarg);
            break;
        case OPTION_MATCH:
            settings->selection.patterns.push_back(compile_text_pattern("evtable", optarg));
            break;
        case OPTION_NOT_MATCH:
            settings->selection.not_patterns.push_back(compile_text_pattern("evtable", optarg));
            break;
        case 'd':
            settings->show_description = true;
            break;
        case 'l':
            settings->show_location = true;
            break;
        case 't':
            settings->title = strdup(optarg);
            break;
        case 'f':
            settings->footer = strdup(optarg);
            break;
        case 'T':
            settings->mark_today = true;
            break;
        case 'z':
            settings->zone_name = strdup(optarg);
            break;
        case 'm':
            settings->monday_first = true;
            break;
        case LANG_OPTION:
            settings->lang = strdup(optarg);
            break;
        case HEAD_OPTION:
            settings->head = strdup(optarg);
            break;
        case HEADER_OPTION:
            settings->header = strdup(optarg);
            break;
        case 'o':
            settings->output_path = strdup(optarg);
            break;
        case LIST_OPTION:
            settings->list = true;
            break;
        case LIMIT_OPTION:
            settings->limit = read_limit(optarg);
            break;
        case ANCHORS_OPTION:
            settings->anchors = true;
            break;
        case OPTION_HELP:
            show_help(EVTABLE_HELP, STATUS_EVTABLE_WRITE);
        case OPTION_VERSION:
            show_version("evtable", STATUS_EVTABLE_WRITE);
        default:
            usage();
        }
    }
    if (settings->lang != nullptr)
        check_language_tag(settings->lang);
}

static bool is_real_date(icaltimetype t)
{
    return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= icaltime_days_in_month(t.month, t.year);
}

static bool all_digits(const char *text, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

// Eight digits of a real date, and at most a time of day after them
// ("T" and six digits of a real time, perhaps "Z" for UTC).
static bool is_start_text(const char *text)
{
    size_t length = strlen(text);
    if (length < 8 || !all_digits(text, 8))
        return false;
    if (length == 8)
        return true;
    if (text[8] != 'T' || (length != 15 && !(length == 16 && text[15] == 'Z')) ||
        !all_digits(text + 9, 6))
        return false;
    int hour = (text[9] - '0') * 10 + (text[10] - '0');
    int minute = (text[11] - '0') * 10 + (text[12] - '0');
    int second = (text[13] - '0') * 10 + (text[14] - '0');
    return hour <= 23 && minute <= 59 && second <= 59;
}

static icaltimetype read_period_start(const char *text)
{
    if (!is_start_text(text))
        report_and_exit(STATUS_EVTABLE_DATE, "Incorrect date '%s', must be YYYYMMDD.\n", text);
    icaltimetype start = icaltime_from_string(text);
    if (!is_real_date(start))
        report_and_exit(STATUS_EVTABLE_DATE, "Incorrect date '%s', must be YYYYMMDD.\n", text);
    return start;
}

// libical reads each number of a duration into an int, at most ten digits of
// it: a longer or larger number would wrap round to a short period unseen.
static bool numbers_fit(const char *text)
{
    const char *p = text;
    while (*p != '\0') {
        if (!isdigit(static_cast<unsigned char>(*p))) {
            p++;
            continue;
        }
        const char *digits = p;
        long long value = 0;
        while (isdigit(static_cast<unsigned char>(*p))) {
            if (value <= INT_MAX)
                value = value * 10 + (*p - '0');
            p++;
        }
        if (p - digits > 10 || value > INT_MAX)
            return false;
    }
    return true;
}

// A duration libical cannot read, one whose numbers do not fit, or one that
// takes the period's end out of the years 1 to 9999, is refused before
// libical adds it up.
static icaldurationtype read_period_duration(const char *text, icaltimetype start)
{
    icaldurationtype duration = icaldurationtype_from_string(text);
    bool readable = numbers_fit(text) && !icaldurationtype_is_bad_duration(duration);
    long long days = static_cast<long long>(duration.weeks) * 7 + duration.days +
                     (static_cast<long long>(duration.hours) * 3600 +
                      static_cast<long long>(duration.minutes) * 60 + duration.seconds) / 86400;
    if (!readable || days > 10000LL * 366 ||
        !is_real_date(icaltime_add(start, duration)))
        report_and_exit(STATUS_EVTABLE_DATE, "Incorrect duration '%s', must be like P5W or P60D.\n",
                        text);
    return duration;
}

// An unknown zone name would show every time in UTC without a word. libical
// knows UTC and GMT, the zones of its table and those of the system's zone
// files; a name that is not plain ("../" reaches any file, a FIFO or a
// terminal that blocks the run) is never looked up. A Windows zone name
// stands for the IANA zone that ICU maps it to.
static icaltimezone *find_display_zone(const char *name)
{
    if (name == nullptr)
        return icaltimezone_get_utc_timezone();
    icaltimezone *zone = is_plain_zone_name(name) ? icaltimezone_get_builtin_timezone(name) : nullptr;
    std::string iana = zone == nullptr ? iana_name_of_windows_zone(name) : "";
    if (!iana.empty())
        zone = icaltimezone_get_builtin_timezone(iana.c_str());
    if (zone == nullptr)
        report_and_exit(STATUS_EVTABLE_ZONE,
                        "Unknown time zone '%s'.\n"
                        "Zone names look like Europe/Berlin or W. Europe Standard Time.\n",
                        name);
    return zone;
}

static void read_arguments(int argc, char **argv, render_settings *settings)
{
    int index = optind;
    if (index >= argc)
        usage();
    settings->period_start = read_period_start(argv[index++]);
    if (index >= argc)
        usage();
    settings->period_duration = read_period_duration(argv[index++], settings->period_start);
    settings->display_zone = find_display_zone(settings->zone_name);
    if (index < argc) {
        const char *path = argv[index++];
        settings->input_name = path;
        settings->input = open_input_file(path);
        if (settings->input == nullptr) {
            perror(path);
            exit(STATUS_EVTABLE_OPEN);
        }
    }
    if (index < argc)
        usage();
}

void read_command_line(int argc, char **argv, render_settings *settings)
{
    settings->input = stdin;
    settings->input_name = "standard input";
    read_options(argc, argv, settings);
    read_arguments(argc, argv, settings);
}
