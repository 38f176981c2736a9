// evtable: writes a period of an iCalendar calendar as an HTML document of
// month tables on standard output.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>

#include <libical/ical.h>

#include "renderer/month_tables.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/render_settings.h"
#include "shared/calendar_input.h"
#include "shared/fatal.h"
#include "shared/time_zones.h"
#include "shared/usage.h"

static const char ZONE_DIRECTORY[] = "/usr/share/apps/libical/zoneinfo/";

[[noreturn]] static void usage()
{
    report_and_exit(STATUS_USAGE, EVTABLE_USAGE);
}

static void read_options(int argc, char **argv, render_settings *settings)
{
    // The title has no short form: -t is unknown although the usage lists it.
    static const option long_options[] = {
        {"class", required_argument, nullptr, 'p'},
        {"not-class", required_argument, nullptr, 'P'},
        {"category", required_argument, nullptr, 'c'},
        {"not-category", required_argument, nullptr, 'C'},
        {"description", no_argument, nullptr, 'd'},
        {"location", no_argument, nullptr, 'l'},
        {"title", required_argument, nullptr, 't'},
        {"footer", required_argument, nullptr, 'f'},
        {"today", no_argument, nullptr, 'T'},
        {"timezone", required_argument, nullptr, 'z'},
        {"monday", no_argument, nullptr, 'm'},
        {nullptr, 0, nullptr, 0},
    };
    int option_char;
    while ((option_char = getopt_long(argc, argv, "dlmTp:P:c:C:f:z:", long_options, nullptr)) != -1) {
        switch (option_char) {
        case 'p':
            settings->selection.class_ = strdup(optarg);
            break;
        case 'P':
            settings->selection.not_class = strdup(optarg);
            break;
        case 'c':
            settings->selection.category = strdup(optarg);
            break;
        case 'C':
            settings->selection.not_category = strdup(optarg);
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
            // An unknown name gives the null zone, without a message.
            settings->display_zone = icaltimezone_get_builtin_timezone(optarg);
            break;
        case 'm':
            settings->monday_first = true;
            break;
        default:
            usage();
        }
    }
}

static bool is_real_date(icaltimetype t)
{
    return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= icaltime_days_in_month(t.month, t.year);
}

static icaltimetype read_period_start(const char *text)
{
    int year, month, day;
    if (sscanf(text, "%04d%02d%02d", &year, &month, &day) < 3)
        report_and_exit(STATUS_EVTABLE_DATE, "Incorrect date '%s', must be YYYYMMDD.\n", text);
    icaltimetype start = icaltime_from_string(text);
    if (!is_real_date(start))
        report_and_exit(STATUS_EVTABLE_DATE, "Incorrect date '%s', must be YYYYMMDD.\n", text);
    return start;
}

// A duration libical cannot read, or one that takes the period's end out of
// the years 1 to 9999, is refused before libical adds it up.
static icaldurationtype read_period_duration(const char *text, icaltimetype start)
{
    icaldurationtype duration = icaldurationtype_from_string(text);
    bool readable = !icaldurationtype_is_bad_duration(duration);
    long long days = static_cast<long long>(duration.weeks) * 7 + duration.days +
                     (static_cast<long long>(duration.hours) * 3600 +
                      static_cast<long long>(duration.minutes) * 60 + duration.seconds) / 86400;
    if (!readable || days > 10000LL * 366 ||
        !is_real_date(icaltime_add(start, duration)))
        report_and_exit(STATUS_EVTABLE_DATE, "Incorrect duration '%s', must be like P5W or P60D.\n",
                        text);
    return duration;
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
    if (index < argc) {
        const char *path = argv[index++];
        settings->input = open_input_file(path);
        if (settings->input == nullptr) {
            perror(path);
            exit(STATUS_EVTABLE_OPEN);
        }
    }
    if (index < argc)
        usage();
}

// Everything written goes through stdout's buffer; a write that failed on the
// way, or the last flush, makes the run a failure.
static void finish_output()
{
    if (fflush(stdout) != 0 || ferror(stdout))
        report_and_exit(STATUS_EVTABLE_WRITE, "Write error: %s\n", strerror(errno));
}

int main(int argc, char **argv)
{
    set_libical_error_mode();
    // A file-size limit makes a write fail and be reported, not kill the run.
    signal(SIGXFSZ, SIG_IGN);
    set_zone_directory(const_cast<char *>(ZONE_DIRECTORY));

    render_settings settings{};
    settings.display_zone = icaltimezone_get_utc_timezone();
    settings.input = stdin;
    read_options(argc, argv, &settings);
    read_arguments(argc, argv, &settings);
    settings.today = icaltime_current_time_with_zone(settings.display_zone);

    parsed_calendar calendar = parse_calendar_stream(settings.input);
    // Before libical resolves any TZID of the calendar.
    icaltimetype end = icaltime_add(settings.period_start, settings.period_duration);
    drop_unsafe_zone_references(calendar.root, zone_coverage_year(end.year), "evtable");
    collect_occurrences(calendar.root, &settings.selection, settings.display_zone,
                        settings.period_start, settings.period_duration);
    sort_occurrences();
    print_document(&settings, occurrence_records());
    finish_output();

    icalcomponent_free(calendar.root);
    icalparser_free(calendar.parser);
    return STATUS_DONE;
}
