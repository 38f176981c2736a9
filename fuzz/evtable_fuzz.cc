// evtable_fuzz: evtable's run in-process on arbitrary calendar text: parse,
// then for each row of a fixed table of periods, display zones and options
// the document evtable writes (month tables or the list, in English or
// another language), to /dev/null.
#include <cstdint>
#include <cstdio>

#include "fuzz/fuzz_calendar.h"
#include "shared/calendar_input.h"
#include "fuzz/fuzz_document.h"
#include "shared/libical_facts.h"
#include "renderer/render_settings.h"

namespace {
struct render_case {
    const char *start;      // as on the command line
    const char *duration;
    const char *zone;
    bool monday_first;
    event_selection selection;
    const char *lang;       // null: none
    bool list;              // --list, with --anchors
    long limit;             // 0: none
};
}

// The periods cross a month end, a daylight-saving change, a year end and the
// first and last years that evtable accepts; the zones lie on, east and west
// of UTC, one of them a whole number of hours off it all year.
static const render_case RENDER_CASES[] = {
    {"20020927", "P5W", "UTC", false, {}, nullptr, false, 0},
    {"20261025", "P2W", "America/New_York", true, {}, nullptr, false, 0},
    {"20261220", "P3W", "Asia/Tokyo", false, {}, nullptr, false, 0},
    {"20020927", "P5W", "Etc/GMT+5", true, {}, nullptr, false, 0},
    {"99991201", "P4W", "Asia/Tokyo", false, {{"PUBLIC"}, {}, {}, {"Private"}}, nullptr, false, 0},
    {"00010101", "P10D", "America/New_York", false, {{}, {"PRIVATE"}, {"Work"}, {}}, nullptr,
     false, 0},
    // The list with ids, right to left, cut after a few occurrences; a
    // table in another language.
    {"20261101T000000", "P60DT23H59M59S", "Europe/Berlin", true, {}, "ar", true, 7},
    {"20261225", "P2W", "UTC", false, {}, "de-AT", false, 0},
};

static render_settings settings_for(const render_case &c)
{
    render_settings settings{};
    settings.selection = c.selection;
    settings.show_description = true;
    settings.show_location = true;
    settings.mark_today = true;
    settings.monday_first = c.monday_first;
    settings.footer = "<p>footer</p>";
    settings.lang = c.lang;
    settings.list = c.list;
    settings.anchors = c.list;
    settings.limit = c.limit;
    settings.display_zone = icaltimezone_get_builtin_timezone(c.zone);
    settings.period_start = icaltime_from_string(c.start);
    settings.period_duration = icaldurationtype_from_string(c.duration);
    // A fixed today, so that every run of an input writes the same document.
    icaldurationtype three_days = icaldurationtype_null_duration();
    three_days.days = 3;
    settings.today = icaltime_add(settings.period_start, three_days);
    return settings;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    set_up_libical();
    keep_first_zone_definitions(true);
    set_zone_directory(const_cast<char *>(ZONE_DIRECTORY));
    if (freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    icalcomponent *root = parse_fuzz_calendar(data, size);
    if (root == nullptr)
        return 0;
    for (const render_case &c : RENDER_CASES) {
        render_settings settings = settings_for(c);
        render_fuzz_document(root, &settings);
    }
    icalcomponent_free(root);
    return 0;
}
