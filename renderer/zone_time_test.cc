// zone_time_test.cc: the fast conversion gives libical's own results, also
// for times after the last year libical works zones out for.
#include "renderer/zone_time.h"

#include <string>

#include <gtest/gtest.h>

namespace {

icaltimetype zoned(const char *text, const char *zone_name)
{
    icaltimetype time = icaltime_from_string(text);
    time.zone = zone_name == nullptr ? nullptr : icaltimezone_get_builtin_timezone(zone_name);
    return time;
}

std::string describe(const icaltimetype &t)
{
    return std::string(icaltime_as_ical_string(t)) + " daylight " + std::to_string(t.is_daylight) +
           " zone " + (t.zone == nullptr ? "none" : icaltimezone_get_tzid(const_cast<icaltimezone *>(t.zone)));
}

const char *const TIMES[] = {"25810715T120000", "25820701T120000", "25821231T230000",
                             "25830101T010000", "25830715T120000", "99991231T235959",
                             "20261027T013000"};
const char *const ZONES[] = {"America/New_York", "Asia/Tokyo", "Europe/Berlin",
                             "Australia/Sydney", "UTC", nullptr};

TEST(convert_time, same_as_libical)
{
    for (const char *text : TIMES) {
        for (const char *from : ZONES) {
            for (const char *to : ZONES) {
                SCOPED_TRACE(std::string(text) + " " + (from ? from : "floating") + " to " +
                             (to ? to : "null zone"));
                icaltimetype time = zoned(text, from);
                icaltimezone *zone = to == nullptr ? nullptr : icaltimezone_get_builtin_timezone(to);
                EXPECT_EQ(describe(icaltime_convert_to_zone(time, zone)),
                          describe(convert_time(time, zone)));
            }
        }
    }
}

TEST(compare_times, same_as_libical)
{
    for (const char *a_text : TIMES) {
        for (const char *b_text : TIMES) {
            SCOPED_TRACE(std::string(a_text) + " New York against " + b_text + " Tokyo");
            icaltimetype a = zoned(a_text, "America/New_York");
            icaltimetype b = zoned(b_text, "Asia/Tokyo");
            EXPECT_EQ(icaltime_compare(a, b), compare_times(a, b));
        }
    }
}

}  // namespace

// A calendar's Europe/Berlin that covers 2018 to 2020 only, as exporters
// write it: before its first change the built-in zone of the name converts,
// from its first change on (and after its last) the calendar's own zone.
TEST(convert_time, zone_of_calendar_before_its_first_change)
{
    const char *text =
        "BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
        "BEGIN:DAYLIGHT\r\nDTSTART:20180325T020000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n"
        "RDATE:20180325T020000,20190331T020000,20200329T020000\r\nEND:DAYLIGHT\r\n"
        "BEGIN:STANDARD\r\nDTSTART:20181028T030000\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
        "RDATE:20181028T030000,20191027T030000,20201025T030000\r\nEND:STANDARD\r\n"
        "END:VTIMEZONE\r\nEND:VCALENDAR\r\n";
    icalcomponent *calendar = icalparser_parse_string(text);
    icaltimezone *own = icalcomponent_get_timezone(calendar, "Europe/Berlin");
    ASSERT_NE(nullptr, own);
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    struct reach_case {
        const char *name;
        const char *local;
        const char *in_utc;
    };
    const reach_case cases[] = {
        {"a summer before the zone: built-in daylight saving", "20160701T120000", "20160701T100000"},
        {"a winter before the zone", "20170115T120000", "20170115T110000"},
        {"an hour before its first change", "20180325T010000", "20180325T000000"},
        {"a summer inside the zone", "20190701T120000", "20190701T100000"},
        {"after its last change the calendar's standard time", "20210701T120000",
         "20210701T110000"},
    };
    for (const reach_case &c : cases) {
        SCOPED_TRACE(c.name);
        icaltimetype local = icaltime_from_string(c.local);
        local.zone = own;
        icaltimetype in_utc = convert_time(local, utc);
        EXPECT_STREQ(c.in_utc, icaltime_as_ical_string(icaltime_set_timezone(&in_utc, nullptr)));
        icaltimetype back = convert_time(convert_time(local, utc), own);
        EXPECT_EQ(own, back.zone);
        EXPECT_STREQ(c.local, icaltime_as_ical_string(back));
    }
    icalcomponent_free(calendar);
    forget_zone_reaches();
}

TEST(add_exact_time, wall_clock_moves_by_the_change)
{
    struct exact_case {
        const char *name;
        const char *start;
        const char *zone;
        const char *duration;
        const char *end;
    };
    const exact_case cases[] = {
        {"four hours across the October change", "20071027T230000", "Europe/Berlin", "PT4H",
         "20071028T020000"},
        {"an hour across the March change", "20070325T013000", "Europe/Berlin", "PT1H",
         "20070325T033000"},
        {"a day of exact time across the March change", "20070324T120000", "Europe/Berlin", "P1D",
         "20070325T130000"},
        {"an hour in the week of a change, not across it", "20070326T100000", "Europe/Berlin", "PT1H",
         "20070326T110000"},
        {"an hour in summer", "20070701T100000", "Europe/Berlin", "PT1H", "20070701T110000"},
        {"a floating time adds to its fields", "20070325T013000", nullptr, "PT1H",
         "20070325T023000"},
        {"UTC", "20070325T013000", "UTC", "PT1H", "20070325T023000"},
    };
    for (const exact_case &c : cases) {
        SCOPED_TRACE(c.name);
        icaltimetype end = add_exact_time(zoned(c.start, c.zone),
                                          icaldurationtype_from_string(c.duration));
        EXPECT_STREQ(c.end, icaltime_as_ical_string(icaltime_set_timezone(&end, nullptr)));
    }
    forget_zone_reaches();
}
