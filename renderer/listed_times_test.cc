// listed_times_test.cc: what a set of listed times (EXDATE, RDATE,
// RECURRENCE-ID values) lists, for dates, floating, UTC and zoned times,
// with a few zoned times and with many (which are turned into instants at
// once).
#include "renderer/listed_times.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// "20260310T100000 Europe/Berlin", "20260310T090000Z", "20260310T100000"
// (floating) or "20260310" (a date).
icaltimetype time_of(const std::string &text)
{
    size_t space = text.find(' ');
    icaltimetype t = icaltime_from_string(text.substr(0, space).c_str());
    if (space != std::string::npos)
        t.zone = icaltimezone_get_builtin_timezone(text.substr(space + 1).c_str());
    return t;
}

struct listed_case {
    const char *name;
    std::vector<const char *> listed;
    const char *start;
    bool dates_cover_days;
    const char *series_zone;   // null for none
    bool expected;
};

const listed_case LISTED_CASES[] = {
    {"date lists its date", {"20260310"}, "20260310", false, nullptr, true},
    {"date does not list the next date", {"20260310"}, "20260311", false, nullptr, false},
    {"date lists no time unless dates cover days", {"20260310"}, "20260310T100000", false, nullptr,
     false},
    {"date covers a floating time of its day", {"20260310"}, "20260310T100000", true, nullptr, true},
    {"date covers the day as the series' zone sees it",
     {"20260310"}, "20260309T233000Z", true, "Europe/Berlin", true},
    {"date does not cover a day the series' zone sees as the next",
     {"20260310"}, "20260310T233000Z", true, "Europe/Berlin", false},
    {"floating time lists a floating time", {"20260310T100000"}, "20260310T100000", false, nullptr,
     true},
    {"floating time lists a zoned time of the same fields",
     {"20260310T100000"}, "20260310T100000 Europe/Berlin", false, nullptr, true},
    {"zoned time lists a floating time of the same fields",
     {"20260310T100000 Europe/Berlin"}, "20260310T100000", false, nullptr, true},
    {"zoned time lists its instant in UTC",
     {"20260310T100000 Europe/Berlin"}, "20260310T090000Z", false, nullptr, true},
    {"UTC time lists its instant in a zone",
     {"20260310T090000Z"}, "20260310T100000 Europe/Berlin", false, nullptr, true},
    {"zoned time lists its instant across a change of daylight saving",
     {"20260330T100000 Europe/Berlin"}, "20260330T080000Z", false, nullptr, true},
    {"zoned time does not list the same fields in another zone",
     {"20260310T100000 Europe/Berlin"}, "20260310T100000 America/New_York", false, nullptr, false},
    // Two values of the same fields in two zones are two instants: neither
    // may take the other's place when the set drops what it lists twice.
    {"same fields in two zones, the second",
     {"20260310T100000 Europe/Berlin", "20260310T100000 America/New_York"},
     "20260310T140000Z", false, nullptr, true},
    {"same fields in two zones, the first",
     {"20260310T100000 America/New_York", "20260310T100000 Europe/Berlin"},
     "20260310T090000Z", false, nullptr, true},
    {"same fields in two zones, the one in the instant's zone",
     {"20260310T100000 Europe/Berlin", "20260310T100000 America/New_York"},
     "20260310T100000 America/New_York", false, nullptr, true},
    {"a value listed twice is one", {"20260310T100000 Europe/Berlin", "20260310T100000 Europe/Berlin"},
     "20260310T100000 Europe/Berlin", false, nullptr, true},
    {"date and time of the same day are not one", {"20260310", "20260310T000000"}, "20260310",
     false, nullptr, true},
};

// So many zoned times far from every case's start that the set turns all
// of its zoned times into instants when it is sealed.
std::vector<std::string> far_zoned_times()
{
    std::vector<std::string> times;
    for (int day = 1; day <= 70; day++) {
        char text[64];
        snprintf(text, sizeof text, "2030%02d%02dT100000 Asia/Tokyo", (day - 1) / 28 + 1,
                 (day - 1) % 28 + 1);
        times.push_back(text);
    }
    return times;
}

}  // namespace

TEST(set_lists, listed_times)
{
    for (bool many : {false, true}) {
        for (const listed_case &c : LISTED_CASES) {
            time_set set;
            for (const char *listed : c.listed)
                add_to_set(&set, time_of(listed));
            if (many) {
                for (const std::string &far : far_zoned_times())
                    add_to_set(&set, time_of(far));
            }
            seal_set(&set);
            icaltimezone *series_zone =
                c.series_zone != nullptr ? icaltimezone_get_builtin_timezone(c.series_zone) : nullptr;
            EXPECT_EQ(c.expected, set_lists(set, time_of(c.start), c.dates_cover_days, series_zone))
                << c.name << (many ? ", among many zoned times" : "");
        }
    }
}

TEST(instance_key, tells_instants_apart_not_spellings)
{
    EXPECT_EQ(instance_key(time_of("20260310T100000 Europe/Berlin")),
              instance_key(time_of("20260310T090000Z")));
    EXPECT_FALSE(instance_key(time_of("20260310T100000 Europe/Berlin")) ==
                 instance_key(time_of("20260310T100000 America/New_York")));
    EXPECT_FALSE(instance_key(time_of("20260310")) == instance_key(time_of("20260310T000000")));
}
