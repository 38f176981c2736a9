// count_rule_test.cc: rules with COUNT give the same occurrences whether they
// are expanded from DTSTART or by the shortcuts that skip to the period.
#include "renderer/occurrence_collection.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "renderer/rule_expansion.h"
#include "renderer/occurrence_table.h"

namespace {

std::vector<std::string> occurrences(const std::string &event_lines, const char *start,
                                     const char *duration, bool from_dtstart)
{
    std::string text = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:r\r\n" + event_lines +
                       "END:VEVENT\r\nEND:VCALENDAR\r\n";
    icalcomponent *root = icalparser_parse_string(text.c_str());
    event_selection everything{};
    clear_occurrences();
    collection_limits limits;
    limits.from_dtstart = from_dtstart;
    collect_occurrences(root, &everything, icaltimezone_get_utc_timezone(),
                        icaltime_from_string(start), icaldurationtype_from_string(duration), limits);
    std::vector<std::string> result;
    occurrence_view view = occurrence_records();
    for (int i = 0; i < view.record_count; i++)
        result.push_back(std::string(icaltime_as_ical_string(view.records[i].start)) + "/" +
                         icaltime_as_ical_string(view.records[i].end));
    clear_occurrences();
    icalcomponent_free(root);
    return result;
}

struct count_case {
    const char *name;
    const char *lines;      // DTSTART, DTEND and RRULE
    const char *start;
    const char *duration;
};

const count_case COUNT_CASES[] = {
    {"daily, count far beyond the period", "DTSTART:19900101T100000Z\r\nDTEND:19900101T110000Z\r\n"
     "RRULE:FREQ=DAILY;COUNT=100000\r\n", "20261025", "P2W"},
    {"daily, count ending inside the period", "DTSTART:20260101T100000Z\r\nDTEND:20260101T110000Z\r\n"
     "RRULE:FREQ=DAILY;COUNT=300\r\n", "20261020", "P2W"},
    {"daily, count ending just before the period", "DTSTART:20260101T100000Z\r\n"
     "DTEND:20260101T110000Z\r\nRRULE:FREQ=DAILY;COUNT=296\r\n", "20261024", "P2W"},
    {"hourly in New York across the change of time",
     "DTSTART;TZID=America/New_York:20261001T083000\r\nDTEND;TZID=America/New_York:20261001T090000\r\n"
     "RRULE:FREQ=HOURLY;INTERVAL=5;COUNT=200\r\n", "20261101", "P1W"},
    {"hourly count over before the period", "DTSTART:20260901T000000Z\r\nDTEND:20260901T003000Z\r\n"
     "RRULE:FREQ=HOURLY;COUNT=500\r\n", "20261025", "P2W"},
    {"minutely count over before the period", "DTSTART:20261001T000000Z\r\n"
     "RRULE:FREQ=MINUTELY;INTERVAL=7;COUNT=3000\r\n", "20261025", "P1W"},
    {"secondly count reaching into the period", "DTSTART:20261024T230000Z\r\n"
     "RRULE:FREQ=SECONDLY;INTERVAL=61;COUNT=2000\r\n", "20261025", "P1D"},
    {"weekly with days, count far beyond", "DTSTART:20000103T090000Z\r\nDTEND:20000103T100000Z\r\n"
     "RRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR;COUNT=90000\r\n", "20261025", "P3W"},
    {"weekly with days, count ending in the period", "DTSTART:20250106T090000Z\r\n"
     "DTEND:20250106T100000Z\r\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR;COUNT=283\r\n", "20261025", "P5W"},
    {"monthly by last Friday, count far beyond", "DTSTART;VALUE=DATE:19950127\r\n"
     "RRULE:FREQ=MONTHLY;BYDAY=-1FR;COUNT=5000\r\n", "20261001", "P8W"},
    {"yearly, count ending before", "DTSTART;VALUE=DATE:20000229\r\nRRULE:FREQ=YEARLY;COUNT=10\r\n",
     "20261001", "P8W"},
    {"daily of several days, count over just before", "DTSTART;VALUE=DATE:20261001\r\n"
     "DTEND;VALUE=DATE:20261009\r\nRRULE:FREQ=DAILY;INTERVAL=3;COUNT=6\r\n", "20261020", "P2W"},
    {"daily from 1990, count ending inside the period", "DTSTART:19900101T100000Z\r\n"
     "DTEND:19900101T110000Z\r\nRRULE:FREQ=DAILY;INTERVAL=3;COUNT=4479\r\n", "20261001", "P4W"},
    {"all-day daily from 1990, count ending inside", "DTSTART;VALUE=DATE:19900101\r\n"
     "RRULE:FREQ=DAILY;COUNT=13448\r\n", "20261001", "P4W"},
    {"daily in Berlin from 1990, count ending inside", "DTSTART;TZID=Europe/Berlin:19900101T083000\r\n"
     "DTEND;TZID=Europe/Berlin:19900101T093000\r\nRRULE:FREQ=DAILY;COUNT=13448\r\n", "20261001",
     "P6W"},
    {"floating hourly, count ending inside", "DTSTART:20000101T013000\r\n"
     "RRULE:FREQ=HOURLY;INTERVAL=7;COUNT=33563\r\n", "20261001", "P6W"},
    {"minutely, count ending inside", "DTSTART:20200101T000010Z\r\n"
     "RRULE:FREQ=MINUTELY;INTERVAL=130;COUNT=27516\r\n", "20261001", "P8W"},
    {"secondly, count ending inside", "DTSTART:20260101T000000Z\r\n"
     "RRULE:FREQ=SECONDLY;INTERVAL=3600;COUNT=6800\r\n", "20261001", "P3W"},
    {"weekly, count ending inside", "DTSTART:19950104T090000Z\r\n"
     "RRULE:FREQ=WEEKLY;INTERVAL=2;COUNT=830\r\n", "20261001", "P8W"},
    {"weekly, two weeks, days across the week's start, ending inside",
     "DTSTART:20000106T090000Z\r\nRRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=TH,SA,MO;COUNT=2095\r\n",
     "20261001", "P4W"},
    {"weekly from Sunday, weeks starting on Sunday, ending inside",
     "DTSTART;TZID=America/New_York:20000102T230000\r\n"
     "RRULE:FREQ=WEEKLY;INTERVAL=3;WKST=SU;BYDAY=SU,WE,SA;COUNT=1402\r\n", "20261001", "P5W"},
    {"weekly, DTSTART not among the days", "DTSTART:20000104T090000Z\r\n"
     "RRULE:FREQ=WEEKLY;BYDAY=MO,FR;COUNT=2800\r\n", "20261001", "P5W"},
    {"monthly from year 1, count ending inside", "DTSTART;VALUE=DATE:00010115\r\n"
     "RRULE:FREQ=MONTHLY;COUNT=24310\r\n", "20260901", "P12W"},
    {"monthly on the 31st, count far beyond", "DTSTART;VALUE=DATE:19900131\r\n"
     "RRULE:FREQ=MONTHLY;COUNT=5000\r\n", "20260901", "P12W"},
    {"yearly from year 1, count ending inside", "DTSTART;VALUE=DATE:00011005\r\n"
     "RRULE:FREQ=YEARLY;COUNT=2026\r\n", "20261001", "P2W"},
    {"yearly from year 1, count ending just before", "DTSTART;VALUE=DATE:00011005\r\n"
     "RRULE:FREQ=YEARLY;COUNT=2025\r\n", "20261001", "P2W"},
    {"daily, count past the last year libical handles", "DTSTART;VALUE=DATE:19900101\r\n"
     "RRULE:FREQ=DAILY;INTERVAL=10;COUNT=1000000\r\n", "20261001", "P4W"},
    {"repeated values in a BY list", "DTSTART:20200101T120000Z\r\n"
     "RRULE:FREQ=DAILY;BYHOUR=12,12,12;COUNT=3000\r\n", "20261025", "P1W"},
};

TEST(count_rules, same_occurrences_either_way)
{
    for (const count_case &c : COUNT_CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(occurrences(c.lines, c.start, c.duration, true),
                  occurrences(c.lines, c.start, c.duration, false));
    }
}

// A count of a billion from decades back cannot be exhausted: the rule shows
// exactly what it shows without COUNT, and costs what the period needs.
TEST(count_rules, billion_count_costs_the_period)
{
    const char *kinds[] = {"FREQ=DAILY", "FREQ=HOURLY;INTERVAL=3", "FREQ=MINUTELY;INTERVAL=90",
                           "FREQ=SECONDLY;INTERVAL=7200"};
    for (const char *kind : kinds) {
        SCOPED_TRACE(kind);
        std::string start = "DTSTART:19900101T103000Z\r\n";
        long long before = rule_calls_made();
        std::vector<std::string> counted = occurrences(
            start + "RRULE:" + kind + ";COUNT=1000000000\r\n", "20261025", "P1W", false);
        long long taken = rule_calls_made() - before;
        EXPECT_EQ(occurrences(start + "RRULE:" + kind + "\r\n", "20261025", "P1W", false), counted);
        EXPECT_FALSE(counted.empty());
        EXPECT_LT(taken, 5000);
    }
}

// Seconds from 1990 on with a count of a billion end in 2021: nothing to
// show in 2026, found without taking the billion instances.
TEST(count_rules, billion_seconds_over_before_the_period)
{
    long long before = rule_calls_made();
    EXPECT_TRUE(occurrences("DTSTART:19900101T000000Z\r\nRRULE:FREQ=SECONDLY;COUNT=1000000000\r\n",
                            "20261025", "P2W", false)
                    .empty());
    EXPECT_EQ(before, rule_calls_made());
}

// A count that ends inside the period, from centuries back, costs what the
// period needs: the last instance is found by arithmetic and the rule shows
// what the same rule ending there with UNTIL shows.
TEST(count_rules, count_from_long_ago_costs_the_period)
{
    struct {
        const char *counted;
        const char *until;
        const char *start;
        const char *duration;
    } cases[] = {
        {"DTSTART;VALUE=DATE:00010101\r\nRRULE:FREQ=DAILY;COUNT=739925\r\n",
         "DTSTART;VALUE=DATE:00010101\r\nRRULE:FREQ=DAILY;UNTIL=20261105\r\n", "20261101", "P1W"},
        {"DTSTART:19120101T000000Z\r\nRRULE:FREQ=HOURLY;COUNT=999999\r\n",
         "DTSTART:19120101T000000Z\r\nRRULE:FREQ=HOURLY;UNTIL=20260128T140000Z\r\n", "20260125",
         "P1W"},
        {"DTSTART:19120102T080000Z\r\nRRULE:FREQ=WEEKLY;BYDAY=TU,TH;COUNT=11900\r\n",
         "DTSTART:19120102T080000Z\r\nRRULE:FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=20260108T080000Z\r\n",
         "20260101", "P2W"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.counted);
        long long before = rule_calls_made();
        std::vector<std::string> counted = occurrences(c.counted, c.start, c.duration, false);
        EXPECT_LT(rule_calls_made() - before, 1000);
        EXPECT_FALSE(counted.empty());
        EXPECT_EQ(occurrences(c.until, c.start, c.duration, false), counted);
    }
}

}  // namespace

// A COUNT that a rule with BY lists cannot reach by the period's end no
// longer sends the expansion back to DTSTART: such a rule costs what it
// costs without COUNT, and shows the same.
TEST(count_rules, by_lists_cost_what_the_rule_without_count_costs)
{
    const char *kinds[] = {"FREQ=SECONDLY;BYSECOND=0", "FREQ=MINUTELY;BYSECOND=0,30",
                           "FREQ=HOURLY;BYMINUTE=0,30;BYDAY=MO,TU,WE,TH,FR",
                           "FREQ=DAILY;BYHOUR=9,17", "FREQ=WEEKLY;BYDAY=MO,WE,FR;BYHOUR=8,12,16"};
    for (const char *kind : kinds) {
        SCOPED_TRACE(kind);
        std::string start = "DTSTART:20200101T000000Z\r\n";
        long long before = rule_calls_made();
        std::vector<std::string> plain =
            occurrences(start + "RRULE:" + kind + "\r\n", "20261025", "P1W", false);
        long long plain_taken = rule_calls_made() - before;
        before = rule_calls_made();
        std::vector<std::string> counted = occurrences(
            start + "RRULE:" + kind + ";COUNT=100000000\r\n", "20261025", "P1W", false);
        EXPECT_EQ(plain_taken, rule_calls_made() - before);
        EXPECT_FALSE(plain.empty());
        EXPECT_EQ(plain, counted);
    }
}
