// time_zones_test.cc: which zone names are looked up, which VTIMEZONEs are
// too costly to use, and what is left of unsafe references in a tree.
#include "shared/time_zones.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/test_helpers.h"

namespace {

struct name_case {
    const char *name;
    const char *tzid;
    bool plain;
};

const name_case NAME_CASES[] = {
    {"area and city", "Europe/Berlin", true},
    {"three parts", "America/Argentina/Buenos_Aires", true},
    {"signs", "Etc/GMT+5", true},
    {"minus", "Etc/GMT-14", true},
    {"one part", "UTC", true},
    {"64 bytes", "Aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/b", true},
    {"65 bytes", "Aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/b", false},
    {"empty", "", false},
    {"climbs out", "../../../../etc/passwd", false},
    {"dot part", "Europe/./Berlin", false},
    {"dot dot part", "Europe/../Europe/Berlin", false},
    {"empty part", "Europe//Berlin", false},
    {"leading slash", "/Europe/Berlin", false},
    {"trailing slash", "Europe/Berlin/", false},
    {"space", "W. Europe Standard Time", false},
    {"line break", "Europe/Berlin\n", false},
    {"non-ASCII", "Europe/Z\xc3\xbcrich", false},
};

TEST(is_plain_zone_name, table)
{
    for (const name_case &c : NAME_CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.plain, is_plain_zone_name(c.tzid));
    }
}

// A VTIMEZONE with one observance that starts in start_year and follows rule.
std::string vtimezone(const char *tzid, int start_year, const std::string &rule,
                      const std::string &more = "")
{
    char start[32];
    snprintf(start, sizeof start, "%04d0329T020000", start_year);
    return std::string("BEGIN:VTIMEZONE\r\nTZID:") + tzid +
           "\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nDTSTART:" + start +
           "\r\n" + (rule.empty() ? "" : "RRULE:" + rule + "\r\n") + more +
           "END:DAYLIGHT\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
           "DTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
           "END:STANDARD\r\nEND:VTIMEZONE\r\n";
}

std::string rdates(int count)
{
    std::string lines;
    for (int i = 0; i < count; i++) {
        char line[64];
        snprintf(line, sizeof line, "RDATE:%04d0329T020000\r\n", 1000 + i % 1500);
        lines += line;
    }
    return lines;
}

struct costly_case {
    const char *name;
    int start_year;
    std::string rule;
    std::string more;
    int up_to_year;
    bool costly;
};

TEST(is_costly_time_zone, table)
{
    const costly_case cases[] = {
        {"yearly rule", 1970, "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU", "", 2582, false},
        {"every minute", 1970, "FREQ=MINUTELY", "", 2031, true},
        {"every second with a count", 2026, "FREQ=SECONDLY;COUNT=10", "", 2031, true},
        {"every hour", 2026, "FREQ=HOURLY;UNTIL=20260401T000000Z", "", 2031, true},
        {"daily with two hours", 2026, "FREQ=DAILY;BYHOUR=1,2", "", 2031, true},
        {"yearly with two minutes", 2026, "FREQ=YEARLY;BYMINUTE=1,2", "", 2031, true},
        {"daily for 62 years", 1970, "FREQ=DAILY", "", 2031, true},
        {"daily until 1980", 1970, "FREQ=DAILY;UNTIL=19800101T000000Z", "", 2031, false},
        {"daily, 500 times", 1970, "FREQ=DAILY;COUNT=500", "", 2582, false},
        {"weekly for 62 years", 1970, "FREQ=WEEKLY", "", 2031, false},
        {"weekly to the last year", 1970, "FREQ=WEEKLY", "", 2582, true},
        {"every Sunday of the year", 1970, "FREQ=YEARLY;BYDAY=SU", "", 2031, false},
        {"every day of every month", 1970, "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR,SA,SU", "", 2031, true},
        {"a Sunday among seven month days, yearly", 1970,
         "FREQ=YEARLY;BYMONTH=11;BYMONTHDAY=21,22,23,24,25,26,27;BYDAY=SU", "", 2582, false},
        {"a Sunday among seven month days, monthly", 1970,
         "FREQ=MONTHLY;BYMONTHDAY=21,22,23,24,25,26,27;BYDAY=SU", "", 2582, false},
        {"all weekdays among all month days, monthly", 1970,
         "FREQ=MONTHLY;BYMONTHDAY=1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,"
         "24,25,26,27,28,29,30,31;BYDAY=MO,TU,WE,TH,FR,SA,SU",
         "", 2031, true},
        {"month days from the end may fall on any weekday", 1970,
         "FREQ=MONTHLY;BYMONTHDAY=-1,-2,-3,-4,-5,-6,-7,-8,-9,-10,-11,-12,-13,-14,-15;BYDAY=SU", "",
         2031, true},
        {"one set position of each day of a month", 1970,
         "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR,SA,SU;BYSETPOS=-1", "", 2582, false},
        {"9900 dates", 1970, "", rdates(9900), 2031, false},
        {"10001 dates", 1970, "", rdates(10001), 2031, true},
        {"starts after the year", 2100, "FREQ=DAILY", "", 2031, false},
    };
    for (const costly_case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = vtimezone("Test/Zone", c.start_year, c.rule, c.more);
        icalcomponent *zone = icalparser_parse_string(text.c_str());
        ASSERT_NE(nullptr, zone);
        EXPECT_EQ(c.costly, is_costly_time_zone(zone, c.up_to_year));
        icalcomponent_free(zone);
    }
}

TEST(zone_coverage_year, five_years_past_the_later_year_and_never_past_2582)
{
    int now = icaltime_today().year;
    EXPECT_EQ(now + 5, zone_coverage_year(1990));
    EXPECT_EQ(now + 5, zone_coverage_year(now));
    EXPECT_EQ(2405, zone_coverage_year(2400));
    EXPECT_EQ(2582, zone_coverage_year(9999));
}

const char *tzid_parameter(icalproperty *property)
{
    icalparameter *parameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    return parameter != nullptr ? icalparameter_get_tzid(parameter) : nullptr;
}

struct reference_case {
    const char *name;
    const char *tzid;
    const char *kept;   // the TZID left on DTSTART, null: none
};

// The calendar defines "Own/Zone" (yearly), "W. Europe Standard Time" and a
// costly "Costly/Zone"; Europe/Berlin comes from the system.
TEST(drop_unsafe_zone_references, table)
{
    const reference_case cases[] = {
        {"built-in plain name", "Europe/Berlin", "Europe/Berlin"},
        {"unknown plain name", "No/Such_Zone", "No/Such_Zone"},
        {"own zone", "Own/Zone", "Own/Zone"},
        {"own zone with spaces", "W. Europe Standard Time", "W. Europe Standard Time"},
        {"path outside", "../../../../tmp/fifo", nullptr},
        {"dot part", "Europe/./Berlin", nullptr},
        {"costly own zone", "Costly/Zone", nullptr},
    };
    for (const reference_case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = "BEGIN:VCALENDAR\r\n" +
                           vtimezone("Own/Zone", 1970, "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU") +
                           vtimezone("W. Europe Standard Time", 1970, "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU") +
                           vtimezone("Costly/Zone", 1970, "FREQ=MINUTELY") +
                           "BEGIN:VEVENT\r\nUID:a\r\nDTSTART;TZID=" + c.tzid +
                           ":20261124T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
        icalcomponent *root = icalparser_parse_string(text.c_str());
        testing::internal::CaptureStderr();
        drop_unsafe_zone_references(root, 2031, "evtable");
        std::string notes = testing::internal::GetCapturedStderr();
        EXPECT_EQ("evtable: time zone Costly/Zone ignored: its rules change too often\n", notes);
        icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
        icalproperty *dtstart = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
        const char *kept = tzid_parameter(dtstart);
        if (c.kept == nullptr) {
            EXPECT_EQ(nullptr, kept);
            EXPECT_EQ(nullptr, icalcomponent_get_dtstart(event).zone);
        } else {
            ASSERT_NE(nullptr, kept);
            EXPECT_STREQ(c.kept, kept);
        }
        EXPECT_EQ(nullptr, icalcomponent_get_timezone(root, "Costly/Zone"));
        icalcomponent_free(root);
    }
}

// The reference that named a FIFO is gone before libical could open it: a
// look-up of the start does not block.
TEST(drop_unsafe_zone_references, path_to_a_fifo_is_never_opened)
{
    std::string folder = make_scratch_folder("time_zones_test");
    ASSERT_FALSE(folder.empty());
    std::string fifo = folder + "/fifo";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    std::string text = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\nDTSTART;TZID=../../../.." +
                       fifo + ":20261124T100000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    icalcomponent *root = icalparser_parse_string(text.c_str());
    drop_unsafe_zone_references(root, 2031, "evtable");
    icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
    icaltimetype start = icalcomponent_get_dtstart(event);
    EXPECT_EQ(nullptr, start.zone);
    EXPECT_EQ(10, start.hour);
    icalcomponent_free(root);
    unlink(fifo.c_str());
    rmdir(folder.c_str());
}

TEST(find_time_zone, own_zones_first_costly_ones_unknown_unsafe_names_never_looked_up)
{
    std::string text = "BEGIN:VCALENDAR\r\n" +
                       vtimezone("Europe/Berlin", 1970, "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU") +
                       vtimezone("Costly/Zone", 1970, "FREQ=MINUTELY") +
                       "BEGIN:VEVENT\r\nUID:a\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    icalcomponent *root = icalparser_parse_string(text.c_str());
    icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
    icaltimezone *own = find_time_zone(event, "Europe/Berlin", 2031);
    ASSERT_NE(nullptr, own);
    EXPECT_EQ(icalcomponent_get_timezone(root, "Europe/Berlin"), own);
    EXPECT_EQ(nullptr, find_time_zone(event, "Costly/Zone", 2031));
    EXPECT_EQ(icaltimezone_get_builtin_timezone("Asia/Tokyo"), find_time_zone(event, "Asia/Tokyo", 2031));
    EXPECT_EQ(nullptr, find_time_zone(event, "../Asia/Tokyo", 2031));
    EXPECT_EQ(nullptr, find_time_zone(event, nullptr, 2031));
    icalcomponent_free(root);
}

TEST(zoned_time, applies_the_tzid_to_floating_times_only)
{
    const char *text =
        "BEGIN:VEVENT\r\nUID:a\r\nRECURRENCE-ID;TZID=Europe/Berlin:20261124T100000\r\n"
        "EXDATE;TZID=Europe/Berlin:20261124T090000Z\r\nEXDATE;TZID=Europe/Berlin;VALUE=DATE:20261124\r\n"
        "RDATE;TZID=../x:20261124T100000\r\nEND:VEVENT\r\n";
    icalcomponent *event = icalparser_parse_string(text);
    icalproperty *rid = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
    icaltimetype zoned = zoned_time(event, rid, icalproperty_get_recurrenceid(rid));
    EXPECT_EQ(icaltimezone_get_builtin_timezone("Europe/Berlin"), zoned.zone);
    icaltimetype utc = icaltime_convert_to_zone(zoned, icaltimezone_get_utc_timezone());
    EXPECT_EQ(9, utc.hour);

    icalproperty *exdate = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY);
    icaltimetype in_utc = zoned_time(event, exdate, icalproperty_get_exdate(exdate));
    EXPECT_EQ(icaltimezone_get_utc_timezone(), in_utc.zone);
    exdate = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY);
    icaltimetype date = zoned_time(event, exdate, icalproperty_get_exdate(exdate));
    EXPECT_TRUE(date.is_date);
    EXPECT_EQ(nullptr, date.zone);

    icalproperty *rdate = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY);
    icaltimetype floating = zoned_time(event, rdate, icalproperty_get_rdate(rdate).time);
    EXPECT_EQ(nullptr, floating.zone);
    EXPECT_EQ(10, floating.hour);
    icalcomponent_free(event);
}

}  // namespace
