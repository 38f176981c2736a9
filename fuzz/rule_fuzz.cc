// rule_fuzz: one event's recurrence over one period, collected as evtable
// collects it. The first ten bytes pick the period, the display zone, the
// event's DTSTART and its length; the rest is the value of its RRULE line,
// which may go on with further lines (EXDATE, RDATE, another event...).
// Run with -timeout=1: no rule may hold the collection for a second.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_calendar.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/zone_rules.h"
#include "shared/time_zones.h"

namespace {

// Lengths of the period: from a day to a century, and the longest that
// evtable accepts from a start in the years before 1000.
const char *const PERIODS[] = {"P1D", "P5W", "P13W", "P366D", "P3653D", "P36525D", "P520000W"};

const char *const DISPLAY_ZONES[] = {"UTC", "Europe/Berlin", "America/New_York", nullptr};

struct start_kind {
    const char *parameter;   // between "DTSTART" and ":"
    const char *suffix;      // after the time of day; null: a date
};

const start_kind STARTS[] = {
    {";VALUE=DATE", nullptr},
    {"", ""},
    {"", "Z"},
    {";TZID=Europe/Berlin", ""},
    {";TZID=America/New_York", ""},
};

const char *const LENGTHS[] = {"", "DURATION:PT1H\r\n", "DURATION:PT0S\r\n",
                               "DURATION:P3D\r\n", "DURATION:-PT1H\r\n",
                               "DURATION:P1DT2H\r\n"};

template <size_t N> size_t pick(uint8_t byte, const char *const (&)[N])
{
    return byte % N;
}

std::string date_text(icaltimetype t)
{
    char text[16];
    snprintf(text, sizeof text, "%04d%02d%02d", t.year, t.month, t.day);
    return text;
}

}  // namespace

// The target is timed: AddressSanitizer's stack capture at every allocation
// makes libical's calendar work (ICU allocates at each field it reads) some
// three times slower, and icalrecur_iterator_new searches centuries for some
// BYWEEKNO rules (0.1 s in the programs). Without the capture a timing stays
// near what the programs take; replay a finding with
// ASAN_OPTIONS=malloc_context_size=30 for whole allocation stacks.
extern "C" const char *__asan_default_options()
{
    return "malloc_context_size=0:quarantine_size_mb=4";
}

// A few thousand instances and occurrences show the same paths as the
// programs' limits, without filling memory; the fuzz build takes some six
// times longer for each step of libical.
static collection_limits fuzz_limits()
{
    collection_limits limits;
    limits.instances_per_event = 5000;
    limits.occurrences_per_event = 5000;
    limits.occurrences_per_document = 20000;
    limits.steps_per_rule = 50000;
    return limits;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    set_up_libical();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 10)
        return 0;
    // Mostly years around today's, sometimes any year evtable accepts.
    unsigned year_bits = data[0] | data[1] << 8;
    int year = year_bits < 60000 ? 1950 + static_cast<int>(year_bits % 120)
                                 : 1 + static_cast<int>(year_bits % 9999);
    icaltimetype period_start = icaltime_null_time();
    period_start.year = year;
    period_start.month = 1 + data[2] % 12;
    period_start.day = 1 + data[3] % 28;
    period_start.is_date = 1;
    icaldurationtype period_duration =
        icaldurationtype_from_string(PERIODS[pick(data[4], PERIODS)]);
    icaltimetype period_end = icaltime_add(period_start, period_duration);
    if (period_end.year > 9999)
        period_duration = icaldurationtype_from_string("P5W");

    const start_kind &kind = STARTS[data[5] % (sizeof STARTS / sizeof STARTS[0])];
    // DTSTART up to a century before the period, or a little after its start.
    long days_before = static_cast<long>(data[6] | data[7] << 8) % 40000 - 1000;
    icaldurationtype shift = icaldurationtype_null_duration();
    shift.is_neg = days_before > 0;
    shift.days = static_cast<unsigned>(days_before > 0 ? days_before : -days_before);
    icaltimetype dtstart = icaltime_add(period_start, shift);
    std::string start = date_text(dtstart);
    if (kind.suffix != nullptr) {
        char time_of_day[16];
        snprintf(time_of_day, sizeof time_of_day, "T%02d%02d%02d", data[8] % 24, data[8] % 60,
                 data[9] % 60);
        start += time_of_day + std::string(kind.suffix);
    }

    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//fuzz//EN\r\n"
                       "BEGIN:VEVENT\r\nUID:rule\r\nDTSTART" +
                       std::string(kind.parameter) + ":" + start + "\r\n" +
                       LENGTHS[pick(data[9], LENGTHS)] + "RRULE:" +
                       std::string(reinterpret_cast<const char *>(data + 10), size - 10) +
                       "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    icalcomponent *root =
        parse_fuzz_calendar(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    if (root == nullptr)
        return 0;
    icaltimetype end = icaltime_add(period_start, period_duration);
    drop_unusable_zones(root, zone_coverage_year(end.year));
    const char *zone_name = DISPLAY_ZONES[pick(data[8], DISPLAY_ZONES)];
    icaltimezone *display_zone =
        zone_name != nullptr ? icaltimezone_get_builtin_timezone(zone_name) : nullptr;
    event_selection everything{};
    static const collection_limits limits = fuzz_limits();
    collect_occurrences(root, &everything, display_zone, period_start, period_duration, limits);
    sort_occurrences();
    clear_occurrences();
    icalcomponent_free(root);
    return 0;
}
