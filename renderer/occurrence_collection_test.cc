// occurrence_collection_test.cc: which occurrences a calendar gives for a
// period, the expansion that starts near the period against the plain loop
// from DTSTART, and the bound on the expansion work.
#include "renderer/occurrence_collection.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "renderer/rule_expansion.h"
#include "tests/test_helpers.h"
#include "renderer/occurrence_table.h"
#include "renderer/rule_budget.h"

namespace {

icalcomponent *parse_calendar(const std::string &events)
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + events +
                       "END:VCALENDAR\r\n";
    icalcomponent *root = icalparser_parse_string(text.c_str());
    EXPECT_NE(nullptr, root);
    return root;
}

std::string event(const std::string &lines)
{
    return "BEGIN:VEVENT\r\n" + lines + "END:VEVENT\r\n";
}

std::string ical_text(icaltimetype t)
{
    return icaltime_as_ical_string(t);
}

// The table after one collection, each record as "start/end".
std::vector<std::string> collected(icalcomponent *root, const event_selection &selection,
                                   const char *start, const char *duration)
{
    clear_occurrences();
    collect_occurrences(root, &selection, icaltimezone_get_utc_timezone(),
                        icaltime_from_string(start), icaldurationtype_from_string(duration));
    std::vector<std::string> result;
    occurrence_view view = occurrence_records();
    for (int i = 0; i < view.record_count; i++)
        result.push_back(ical_text(view.records[i].start) + "/" +
                         ical_text(view.records[i].end));
    clear_occurrences();
    return result;
}

// Every member of a time, the zone by its address and its name.
std::string describe(icaltimetype t)
{
    char text[256];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d date=%d daylight=%d zone=%p %s",
             t.year, t.month, t.day, t.hour, t.minute, t.second, t.is_date, t.is_daylight,
             static_cast<const void *>(t.zone),
             t.zone != nullptr ? icaltimezone_get_tzid(const_cast<icaltimezone *>(t.zone))
                               : "(none)");
    return text;
}

// A record's members as values. The two expansions' tables, thousands of
// records each, compare member by member; only a difference is put in words.
struct record_copy {
    icaltimetype start;
    icaltimetype end;
    const char *uid;   // borrowed from the tree, as the record's is
    icaltimetype recurrence_id;
    const icalcomponent *component;
};

// Equal in every member, the zone by its address (icaltimetype has no padding).
bool same_time(const icaltimetype &a, const icaltimetype &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

bool operator==(const record_copy &a, const record_copy &b)
{
    bool same_uid = a.uid == nullptr || b.uid == nullptr ? a.uid == b.uid
                                                         : strcmp(a.uid, b.uid) == 0;
    return same_time(a.start, b.start) && same_time(a.end, b.end) && same_uid &&
           same_time(a.recurrence_id, b.recurrence_id) && a.component == b.component;
}

std::string describe(const record_copy &record)
{
    return "start " + describe(record.start) + "; end " + describe(record.end) + "; uid " +
           (record.uid != nullptr ? record.uid : "(none)") + "; recurrence id " +
           describe(record.recurrence_id) + "; component " +
           std::to_string(reinterpret_cast<uintptr_t>(record.component));
}

std::vector<record_copy> copied_table()
{
    std::vector<record_copy> result;
    occurrence_view view = occurrence_records();
    result.reserve(static_cast<size_t>(view.record_count));
    for (int i = 0; i < view.record_count; i++) {
        const occurrence &record = view.records[i];
        result.push_back({record.start, record.end, record.uid, record.recurrence_id,
                          record.component});
    }
    return result;
}

const event_selection NO_SELECTION = {};

}  // namespace

struct collection_case {
    const char *name;
    std::string events;
    const char *period_start;
    const char *period_duration;
    event_selection selection;
    std::vector<std::string> expected;   // "start/end" in collection order
};

TEST(collect_occurrences, edge_cases)
{
    const event_selection public_only = {{"PUBLIC"}, {}, {}, {}};
    const collection_case cases[] = {
        {"single event starting at the period end is collected",
         event("UID:a\r\nDTSTART;VALUE=DATE:20021101\r\n"), "20020927", "P5W", NO_SELECTION,
         {"20021101/20021102"}},
        {"recurrence starting at the period end gives its first instance",
         event("UID:a\r\nDTSTART;VALUE=DATE:20021101\r\nRRULE:FREQ=DAILY\r\n"), "20020927", "P5W",
         NO_SELECTION, {"20021101/20021102"}},
        {"events starting after the period end give nothing",
         event("UID:a\r\nDTSTART;VALUE=DATE:20021102\r\n") +
             event("UID:b\r\nDTSTART;VALUE=DATE:20021102\r\nRRULE:FREQ=DAILY\r\n"),
         "20020927", "P5W", NO_SELECTION, {}},
        {"the first instance after the period end ends the expansion",
         event("UID:a\r\nDTSTART;VALUE=DATE:20021030\r\nDTEND;VALUE=DATE:20021031\r\n"
               "RRULE:FREQ=DAILY\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20021030/20021031", "20021031/20021101", "20021101/20021102"}},
        {"instance ending at the period start is appended, earlier ones skipped",
         event("UID:a\r\nDTSTART;VALUE=DATE:20020925\r\nDTEND;VALUE=DATE:20020926\r\n"
               "RRULE:FREQ=DAILY;COUNT=3\r\n"),
         "20020927", "P5W", NO_SELECTION, {"20020926/20020927", "20020927/20020928"}},
        {"timed instance ending at midnight of the period start is appended",
         event("UID:a\r\nDTSTART:20020925T220000Z\r\nDURATION:PT2H\r\n"
               "RRULE:FREQ=DAILY;COUNT=3\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20020926T220000Z/20020927T000000Z", "20020927T220000Z/20020928T000000Z"}},
        {"the same from years back without COUNT",
         event("UID:a\r\nDTSTART:19950101T220000Z\r\nDURATION:PT2H\r\n"
               "RRULE:FREQ=DAILY;UNTIL=20020928T000000Z\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20020926T220000Z/20020927T000000Z", "20020927T220000Z/20020928T000000Z"}},
        {"recurring instances of several days give one occurrence for each day",
         event("UID:a\r\nDTSTART;VALUE=DATE:20021005\r\nDTEND;VALUE=DATE:20021008\r\n"
               "RRULE:FREQ=WEEKLY;COUNT=2\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20021005/20021008", "20021006/20021008", "20021007/20021008", "20021012/20021015",
          "20021013/20021015", "20021014/20021015"}},
        {"single event without an end starts and ends at DTSTART",
         event("UID:a\r\nDTSTART:20021005T100000Z\r\n"), "20020927", "P5W", NO_SELECTION,
         {"20021005T100000Z/20021005T100000Z"}},
        {"all-day event 26 to 29 September gives three days",
         event("UID:a\r\nDTSTART;VALUE=DATE:20020926\r\nDTEND;VALUE=DATE:20020929\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20020926/20020929", "20020927/20020929", "20020928/20020929"}},
        {"22:00 to 01:00 gives one occurrence on its first day",
         event("UID:a\r\nDTSTART:20021005T220000Z\r\nDTEND:20021006T010000Z\r\n"), "20020927",
         "P5W", NO_SELECTION, {"20021005T220000Z/20021006T010000Z"}},
        {"10:00 of day 1 to 09:00 of day 3 gives days 1 and 2",
         event("UID:a\r\nDTSTART:20021005T100000Z\r\nDTEND:20021007T090000Z\r\n"), "20020927",
         "P5W", NO_SELECTION,
         {"20021005T100000Z/20021007T090000Z", "20021006T100000Z/20021007T090000Z"}},
        {"single event ending at the period start is collected",
         event("UID:a\r\nDTSTART;VALUE=DATE:20020925\r\nDTEND;VALUE=DATE:20020927\r\n"),
         "20020927", "P5W", NO_SELECTION, {"20020925/20020927", "20020926/20020927"}},
        {"single event ending before the period start gives nothing",
         event("UID:a\r\nDTSTART;VALUE=DATE:20020920\r\nDTEND;VALUE=DATE:20020926\r\n"),
         "20020927", "P5W", NO_SELECTION, {}},
        {"DTEND before DTSTART gives one occurrence",
         event("UID:a\r\nDTSTART:20021005T100000Z\r\nDTEND:20021004T100000Z\r\n"), "20020927",
         "P5W", NO_SELECTION, {"20021005T100000Z/20021004T100000Z"}},
        {"a date in EXDATE removes its instance",
         event("UID:a\r\nDTSTART:20021005T100000Z\r\nRRULE:FREQ=DAILY;COUNT=3\r\n"
               "EXDATE:20021006T100000Z\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20021005T100000Z/20021005T100000Z", "20021007T100000Z/20021007T100000Z"}},
        {"a date in RDATE adds an instance, with or without a rule, after the rule's",
         event("UID:a\r\nDTSTART:20021005T100000Z\r\nRRULE:FREQ=DAILY;COUNT=1\r\n"
               "RDATE:20021010T100000Z\r\n") +
             event("UID:b\r\nDTSTART:20021006T100000Z\r\nRDATE:20021011T100000Z\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20021005T100000Z/20021005T100000Z", "20021010T100000Z/20021010T100000Z",
          "20021006T100000Z/20021006T100000Z", "20021011T100000Z/20021011T100000Z"}},
        {"every RRULE counts, a start of two rules once",
         event("UID:a\r\nDTSTART:20021005T100000Z\r\nRRULE:FREQ=DAILY;COUNT=2\r\n"
               "RRULE:FREQ=WEEKLY;COUNT=5\r\n"),
         "20020927", "P5W", NO_SELECTION,
         {"20021005T100000Z/20021005T100000Z", "20021006T100000Z/20021006T100000Z",
          "20021012T100000Z/20021012T100000Z", "20021019T100000Z/20021019T100000Z",
          "20021026T100000Z/20021026T100000Z"}},
        {"no DTSTART gives nothing",
         event("UID:a\r\nDTEND:20021005T100000Z\r\n") +
             event("UID:b\r\nDTEND:20021005T100000Z\r\nRRULE:FREQ=DAILY\r\n") +
             event("UID:c\r\nSUMMARY:nothing else\r\n"),
         "20020927", "P5W", NO_SELECTION, {}},
        {"impossible RRULEs give nothing",
         event("UID:a\r\nDTSTART:20020101T100000Z\r\n"
               "RRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=31\r\n") +
             event("UID:b\r\nDTSTART:20020101T100000Z\r\nRRULE:FREQ=DAILY;BYWEEKNO=1\r\n"),
         "20020927", "P5W", NO_SELECTION, {}},
        {"an overriding instance is collected with its own times",
         event("UID:a\r\nRECURRENCE-ID:20021006T100000Z\r\nDTSTART:20021006T120000Z\r\n"
               "DTEND:20021006T130000Z\r\n"),
         "20020927", "P5W", NO_SELECTION, {"20021006T120000Z/20021006T130000Z"}},
        {"an event rejected by the selection gives nothing",
         event("UID:a\r\nCLASS:PRIVATE\r\nDTSTART:20021005T100000Z\r\n") +
             event("UID:b\r\nCLASS:PRIVATE\r\nDTSTART:20021005T100000Z\r\n"
                   "RRULE:FREQ=DAILY;COUNT=2\r\n") +
             event("UID:c\r\nDTSTART:20021007T100000Z\r\n"),
         "20020927", "P5W", public_only, {"20021007T100000Z/20021007T100000Z"}},
        {"a negative duration gives no table",
         event("UID:a\r\nDTSTART:20021005T100000Z\r\n"), "20020927", "-P5W", NO_SELECTION, {}},
    };
    for (const collection_case &c : cases) {
        SCOPED_TRACE(c.name);
        icalcomponent *root = parse_calendar(c.events);
        EXPECT_EQ(c.expected, collected(root, c.selection, c.period_start, c.period_duration));
        icalcomponent_free(root);
    }
}

// A single event over two centuries gives the days of the months that the
// document shows, without one occurrence for each day of its span.
TEST(collect_occurrences, long_single_event_gives_the_shown_days)
{
    icalcomponent *root = parse_calendar(
        event("UID:a\r\nDTSTART;VALUE=DATE:19000101\r\nDTEND;VALUE=DATE:21000101\r\n"));
    std::vector<std::string> days = collected(root, NO_SELECTION, "20020927", "P5W");
    std::vector<std::string> shown;
    for (icaltimetype day = icaltime_from_string("20020901");
         icaltime_compare(day, icaltime_from_string("20021201")) < 0;
         icaltime_adjust(&day, 1, 0, 0, 0))
        shown.push_back(ical_text(day) + "/21000101");
    auto first = std::find(days.begin(), days.end(), shown.front());
    ASSERT_NE(days.end(), first);
    ASSERT_LE(shown.size(), static_cast<size_t>(days.end() - first));
    EXPECT_EQ(shown, std::vector<std::string>(first, first + shown.size()));
    EXPECT_LE(days.size(), shown.size() + 8);
    icalcomponent_free(root);
}

namespace {

struct start_kind {
    const char *name;
    const char *parameter;   // between "DTSTART" and ":"
    const char *suffix;      // after the time of day
    bool is_date;
};

const start_kind START_KINDS[] = {
    {"date", ";VALUE=DATE", "", true},
    {"floating", "", "", false},
    {"UTC", "", "Z", false},
    {"Berlin", ";TZID=Europe/Berlin", "", false},
    {"New York", ";TZID=America/New_York", "", false},
};

// A DATE start with a rule that picks times of day sends libical's iterator
// searching for centuries; below a day the bare rule is enough for dates.
enum date_starts { DATES_ALWAYS, DATES_BARE_RULE, DATES_NEVER };

struct frequency_set {
    const char *freq;
    date_starts dates;
    std::vector<int> intervals;
    std::vector<const char *> parts;       // BYxxx and WKST combinations
    std::vector<long> days_before;         // DTSTART this many days before the period
    std::vector<const char *> periods;     // "start duration"
};

// Periods across the daylight saving changes of Berlin and New York in
// autumn 2002 and spring 2003, a whole year, and one across the new year.
const std::vector<const char *> LONG_PERIODS = {"20020927 P5W", "20030315 P5W", "20020101 P1Y",
                                                "20011215 P5W"};

const frequency_set FREQUENCIES[] = {
    {"YEARLY", DATES_ALWAYS,
     {1, 2, 3, 7},
     {"", "BYMONTH=3,10", "BYMONTH=10;BYDAY=-1SU", "BYDAY=2MO", "BYMONTH=1,6;BYDAY=-1FR",
      "BYMONTHDAY=-1", "BYMONTH=2,8;BYMONTHDAY=1,15", "BYMONTH=2;BYMONTHDAY=28,29",
      "BYWEEKNO=1,20,-1;BYDAY=MO,SU", "BYWEEKNO=13;BYDAY=TU", "BYWEEKNO=2;BYDAY=MO;WKST=SU",
      "BYYEARDAY=1,100,-1", "BYYEARDAY=-100", "BYMONTH=3;BYDAY=MO,FR;BYSETPOS=1,-1",
      "BYMONTH=10;BYMONTHDAY=27;BYHOUR=1,2,3;BYMINUTE=30"},
     {15 * 365 + 40, 6},
     LONG_PERIODS},
    {"MONTHLY", DATES_ALWAYS,
     {1, 2, 3, 7},
     {"", "BYDAY=2MO", "BYDAY=-1FR", "BYMONTHDAY=-1", "BYMONTHDAY=31", "BYMONTHDAY=1,-3",
      "BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "BYDAY=SA,SU;BYSETPOS=1", "BYMONTH=1,2,3,10",
      "BYDAY=FR;BYMONTHDAY=13", "BYHOUR=9,17;BYMINUTE=0,30"},
     {10 * 365 + 11, 5},
     LONG_PERIODS},
    {"WEEKLY", DATES_ALWAYS,
     {1, 2, 3, 7},
     {"", "BYDAY=MO,WE,FR", "BYDAY=TU,SU;WKST=SU", "BYDAY=SA,MO;WKST=MO", "BYDAY=SU;WKST=TH",
      "BYMONTH=10,3", "BYDAY=TH;BYHOUR=8,20", "BYDAY=MO,FR;BYSETPOS=-1"},
     {5 * 365 + 3, 4},
     LONG_PERIODS},
    {"DAILY", DATES_ALWAYS,
     {1, 2, 3, 7},
     {"", "BYDAY=MO,TU,WE,TH,FR", "BYMONTHDAY=1,15,-1", "BYMONTH=3,10", "BYHOUR=6,18",
      "BYHOUR=2;BYMINUTE=0,30"},
     {3 * 365 + 1, 5},
     LONG_PERIODS},
    {"HOURLY", DATES_BARE_RULE,
     {1, 2, 3, 7},
     {"", "BYHOUR=1,2,3", "BYDAY=SU", "BYMINUTE=15,45", "BYMONTHDAY=27,30"},
     {25, 4},
     {"20020927 P5W", "20030315 P5W"}},
    {"MINUTELY", DATES_BARE_RULE,
     {1, 2, 3, 7},
     {"", "BYMINUTE=0,30", "BYHOUR=2;BYMINUTE=0,10,20", "BYSECOND=30"},
     {3, 4},
     {"20021027 P1D", "20030330 P1D", "20030406 P1D"}},
    {"SECONDLY", DATES_NEVER,
     {1, 2, 3, 7},
     {"BYSECOND=0", "BYSECOND=0,30;BYMINUTE=0,20,40", "BYMINUTE=0;BYSECOND=0"},
     {3},
     {"20021027 P1D", "20030330 P1D", "20030406 P1D"}},
    // Every second is costly to expand from DTSTART: one interval, one
    // distance, the night of a daylight saving change. Every seventh second
    // falls on the same time of day again after seven days, the least that
    // a started iterator can skip.
    {"SECONDLY", DATES_NEVER, {7}, {""}, {8}, {"20021027 P1D"}},
};

const char *const TIMES_OF_DAY[] = {"023000", "101520", "235959"};

const char *const TIMED_DURATIONS[] = {"-PT1H", "PT0S", "PT3H", "P1DT2H"};
const char *const DATE_DURATIONS[] = {"-P1D", "P0D", "P1D", "P2D"};

icaltimetype days_later(icaltimetype t, long days)
{
    icaltime_adjust(&t, static_cast<int>(days), 0, 0, 0);
    return t;
}

std::string date_text(icaltimetype t)
{
    char text[16];
    snprintf(text, sizeof text, "%04d%02d%02d", t.year, t.month, t.day);
    return text;
}

// The rule's end, by kind: none, COUNT, UNTIL as a date or a UTC date-time
// inside the period, or UNTIL before the period starts.
std::string rule_end(int kind, icaltimetype period_start)
{
    switch (kind) {
    case 0:
        return "";
    case 1:
        return ";COUNT=40";
    case 2:
        return ";UNTIL=" + date_text(days_later(period_start, 1));
    case 3:
        return ";UNTIL=" + date_text(days_later(period_start, 1)) + "T093000Z";
    default:
        return ";UNTIL=" + date_text(days_later(period_start, -2)) + "T120000Z";
    }
}

struct expansion_result {
    std::vector<record_copy> records;
    long long instances;
};

expansion_result expand(icalcomponent *root, icaltimezone *display_zone, icaltimetype start,
                        icaldurationtype duration, bool from_dtstart)
{
    clear_occurrences();
    collection_limits limits;
    limits.from_dtstart = from_dtstart;
    long long before = rule_calls_made();
    collect_occurrences(root, &NO_SELECTION, display_zone, start, duration, limits);
    expansion_result result = {copied_table(), rule_calls_made() - before};
    clear_occurrences();
    return result;
}

// Expands every combination of the frequency's rule parts, intervals, rule
// ends and kinds of DTSTART both ways and compares the whole tables. Each
// combination is one calendar with one event per distance of DTSTART from
// the period; period, time of day, duration and display zone are drawn from a
// seeded generator, so that each kind of DTSTART meets each of them. Half of
// the combinations, the first always among them, are compared on each run
// (a seeded sample; EVTOOLS_FULL_TESTS=1 compares all).
void compare_expansions(const frequency_set &set)
{
    seeded_sample sample((std::string("expansion_near_period.") + set.freq).c_str(), 0.5);
    icaltimezone *display_zones[] = {icaltimezone_get_utc_timezone(),
                                     icaltimezone_get_builtin_timezone("America/New_York"),
                                     icaltimezone_get_builtin_timezone("Europe/Berlin"), nullptr};
    std::mt19937 turns(20020927);
    int combination = 0;
    int compared = 0;
    int differing = 0;
    long long plain_instances = 0;
    long long near_instances = 0;
    for (const char *parts : set.parts) {
        for (int interval : set.intervals) {
            for (int end_kind = 0; end_kind < 5; end_kind++) {
                for (const start_kind &kind : START_KINDS) {
                    if (kind.is_date && (set.dates == DATES_NEVER ||
                                         (set.dates == DATES_BARE_RULE && *parts != '\0')))
                        continue;
                    combination++;
                    bool checked = combination == 1 || sample.take();
                    std::string period = set.periods[turns() % set.periods.size()];
                    icaltimetype period_start = icaltime_from_string(period.substr(0, 8).c_str());
                    icaldurationtype period_duration =
                        icaldurationtype_from_string(period.substr(9).c_str());
                    std::string rule = std::string("FREQ=") + set.freq;
                    if (interval != 1)
                        rule += ";INTERVAL=" + std::to_string(interval);
                    if (*parts != '\0')
                        rule += std::string(";") + parts;
                    rule += rule_end(end_kind, period_start);

                    // The array is taken as a pointer first: GCC 12 with
                    // -fsanitize=undefined miscompiles "(c ? A : B)[i]" (every
                    // index gave the last element).
                    const char *const *durations = kind.is_date ? DATE_DURATIONS : TIMED_DURATIONS;
                    std::string events;
                    std::vector<std::string> starts;
                    std::vector<long> offsets = set.days_before;
                    offsets.push_back(-1);   // inside the period
                    // Each event also leaves out the instance two days into
                    // the period at DTSTART's time of day, and adds one at
                    // noon a day later.
                    std::string excluded = date_text(days_later(period_start, 2));
                    std::string added = date_text(days_later(period_start, 3));
                    for (size_t o = 0; o < offsets.size(); o++) {
                        std::string dtstart = date_text(days_later(period_start, -offsets[o]));
                        std::string exdate = excluded;
                        std::string rdate = added;
                        if (!kind.is_date) {
                            const char *time_of_day = TIMES_OF_DAY[turns() % 3];
                            dtstart += std::string("T") + time_of_day + kind.suffix;
                            exdate += std::string("T") + time_of_day + kind.suffix;
                            rdate += std::string("T120000") + kind.suffix;
                        }
                        const char *duration = durations[turns() % 4];
                        starts.push_back(std::string("DTSTART") + kind.parameter + ":" +
                                         dtstart + " DURATION:" + duration);
                        events += event("UID:" + std::to_string(o) + "\r\nDTSTART" +
                                        kind.parameter + ":" + dtstart + "\r\nDURATION:" +
                                        duration + "\r\nRRULE:" + rule + "\r\nEXDATE" +
                                        kind.parameter + ":" + exdate + "\r\nRDATE" +
                                        kind.parameter + ":" + rdate + "\r\n");
                    }
                    icaltimezone *display_zone = display_zones[turns() % 4];
                    if (!checked)
                        continue;
                    compared++;
                    icalcomponent *root = parse_calendar(events);
                    expansion_result plain =
                        expand(root, display_zone, period_start, period_duration, true);
                    expansion_result near =
                        expand(root, display_zone, period_start, period_duration, false);
                    plain_instances += plain.instances;
                    near_instances += near.instances;
                    if (plain.records != near.records) {
                        differing++;
                        size_t i = 0;
                        while (i < plain.records.size() && i < near.records.size() &&
                               plain.records[i] == near.records[i])
                            i++;
                        ADD_FAILURE()
                            << "RRULE:" << rule << "\nperiod " << period << ", display zone "
                            << (display_zone != nullptr ? icaltimezone_get_tzid(display_zone)
                                                        : "(none)")
                            << "\nevents (UID is the index, each with EXDATE " << excluded
                            << " and RDATE " << added
                            << "): " << testing::PrintToString(starts)
                            << "\nrecords " << plain.records.size() << " from DTSTART, "
                            << near.records.size() << " near the period; first difference at "
                            << i << ":\n  from DTSTART: "
                            << (i < plain.records.size() ? describe(plain.records[i]) : "(none)")
                            << "\n  near period:  "
                            << (i < near.records.size() ? describe(near.records[i]) : "(none)");
                    }
                    icalcomponent_free(root);
                }
            }
        }
    }
    testing::Test::RecordProperty("combinations", combination);
    testing::Test::RecordProperty("compared", compared);
    EXPECT_EQ(0, differing) << "of " << compared << " combinations compared";
    // The comparison is only worth something if the expansion near the
    // period really skips work.
    EXPECT_LT(near_instances, plain_instances);
}

}  // namespace

TEST(expansion_near_period, yearly) { compare_expansions(FREQUENCIES[0]); }
TEST(expansion_near_period, monthly) { compare_expansions(FREQUENCIES[1]); }
TEST(expansion_near_period, weekly) { compare_expansions(FREQUENCIES[2]); }
TEST(expansion_near_period, daily) { compare_expansions(FREQUENCIES[3]); }
TEST(expansion_near_period, hourly) { compare_expansions(FREQUENCIES[4]); }
TEST(expansion_near_period, minutely) { compare_expansions(FREQUENCIES[5]); }
TEST(expansion_near_period, secondly) { compare_expansions(FREQUENCIES[6]); }
TEST(expansion_near_period, every_seventh_second) { compare_expansions(FREQUENCIES[7]); }

struct work_case {
    const char *name;
    const char *rule;
};

// The expansion work grows with the period, not with the time since DTSTART.
TEST(recurrence_instances_taken, grows_with_the_period_not_with_the_age_of_the_event)
{
    const work_case cases[] = {
        {"daily", "FREQ=DAILY"},
        {"hourly", "FREQ=HOURLY;BYMINUTE=0,30"},
        {"weekdays", "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR"},
        {"every other day", "FREQ=DAILY;INTERVAL=2"},
    };
    for (const work_case &c : cases) {
        SCOPED_TRACE(c.name);
        long long taken[2];
        const char *starts[2] = {"19520927T090000Z", "20010927T090000Z"};
        for (int i = 0; i < 2; i++) {
            icalcomponent *root = parse_calendar(event(std::string("UID:a\r\nDTSTART:") +
                                                       starts[i] + "\r\nRRULE:" + c.rule +
                                                       "\r\n"));
            clear_occurrences();
            long long before = rule_calls_made();
            collect_occurrences(root, &NO_SELECTION, icaltimezone_get_utc_timezone(),
                                icaltime_from_string("20020927"),
                                icaldurationtype_from_string("P5W"));
            taken[i] = rule_calls_made() - before;
            EXPECT_GT(occurrence_records().record_count, 0);
            clear_occurrences();
            icalcomponent_free(root);
        }
        EXPECT_LT(taken[0] - taken[1], 100) << "50 years back: " << taken[0]
                                            << ", 1 year back: " << taken[1];
    }
}

struct hostile_case {
    const char *name;
    const char *uid_line;
    const char *message;
};

// A rule of every second from decades back is cut short and the next event
// is still collected. The negative duration keeps the instances out of the
// table, so that the test does not hold a million records.
TEST(recurrence_instances_taken, hostile_rule_is_cut_short)
{
    const hostile_case cases[] = {
        {"with UID", "UID:hostile\r\n",
         "evtable: recurrence of hostile cut short after 1000000 instances\n"},
        {"without UID", "",
         "evtable: recurrence of an event without UID cut short after 1000000 instances\n"},
    };
    for (const hostile_case &c : cases) {
        SCOPED_TRACE(c.name);
        icalcomponent *root = parse_calendar(
            event(std::string(c.uid_line) +
                  "DTSTART:19900101T000000Z\r\nDURATION:-P30D\r\nRRULE:FREQ=SECONDLY\r\n") +
            event("UID:after\r\nDTSTART:20021001T100000Z\r\n"));
        clear_occurrences();
        long long before = rule_calls_made();
        collection_limits limits;
        limits.shared_rule_steps = 2 * MAX_RECURRENCE_INSTANCES;
        testing::internal::CaptureStderr();
        collect_occurrences(root, &NO_SELECTION, icaltimezone_get_utc_timezone(),
                            icaltime_from_string("20020927"), icaldurationtype_from_string("P5W"),
                            limits);
        EXPECT_EQ(c.message, testing::internal::GetCapturedStderr());
        EXPECT_EQ(MAX_RECURRENCE_INSTANCES, rule_calls_made() - before);
        occurrence_view view = occurrence_records();
        ASSERT_EQ(1, view.record_count);
        EXPECT_STREQ("after", view.records[0].uid);
        clear_occurrences();
        icalcomponent_free(root);
    }
}

struct limit_case {
    const char *name;
    std::string events;
    const char *period_start;
    const char *period_duration;
    long event_limit;
    long document_limit;
    std::vector<int> records;   // per event, in document order
    const char *notes;
};

// Each limit stops what it cuts with a note and lets the rest through.
TEST(collect_occurrences, limits_on_occurrences)
{
    const std::string centuries =
        "DTSTART;VALUE=DATE:19000101\r\nDTEND;VALUE=DATE:21000101\r\n";
    const limit_case cases[] = {
        {"a single event of centuries stops at the event limit",
         event("UID:long\r\n" + centuries) + event("UID:after\r\nDTSTART:19000105T100000Z\r\n"),
         "19000101", "P73000D", 100, 1000, {100, 1},
         "evtable: event long cut short after 100 occurrences\n"},
        {"so does a series of instances of several days",
         event("UID:daily\r\nDTSTART;VALUE=DATE:19000101\r\nDTEND;VALUE=DATE:19000104\r\n"
               "RRULE:FREQ=DAILY\r\n"),
         "19000101", "P1000D", 100, 1000, {100},
         "evtable: event daily cut short after 100 occurrences\n"},
        {"an event without UID is named as such",
         event(centuries), "19000101", "P1000D", 100, 1000, {100},
         "evtable: an event without UID cut short after 100 occurrences\n"},
        {"the document limit cuts the largest events to a share, the first one left over",
         event("UID:a\r\n" + centuries) + event("UID:b\r\n" + centuries) +
             event("UID:c\r\nDTSTART:19000105T100000Z\r\n"),
         "19000101", "P1000D", 100, 150, {75, 74, 1},
         "evtable: event a cut short after 100 occurrences\n"
         "evtable: document cut short after 150 occurrences: 2 of its events cut "
         "to a fair share\n"},
        {"a large event first leaves room for every small one after it",
         event("UID:a\r\n" + centuries) + event("UID:b\r\nDTSTART:19000105T100000Z\r\n") +
             event("UID:c\r\nDTSTART;VALUE=DATE:19000110\r\nDTEND;VALUE=DATE:19000113\r\n"),
         "19000101", "P1000D", 100, 50, {46, 1, 3},
         "evtable: document cut short after 50 occurrences: 1 of its events cut "
         "to a fair share\n"},
        {"two large events share evenly, whatever was taken before the second came",
         event("UID:a\r\n" + centuries) + event("UID:b\r\n" + centuries), "19000101", "P1000D",
         100, 151, {76, 75},
         "evtable: event a cut short after 100 occurrences\n"
         "evtable: document cut short after 151 occurrences: 2 of its events cut "
         "to a fair share\n"},
        {"events under the bound together are not cut",
         event("UID:a\r\n" + centuries) + event("UID:b\r\n" + centuries), "19000101", "P1000D",
         100, 200, {100, 100},
         "evtable: event a cut short after 100 occurrences\n"
         "evtable: event b cut short after 100 occurrences\n"},
    };
    for (const limit_case &c : cases) {
        SCOPED_TRACE(c.name);
        icalcomponent *root = parse_calendar(c.events);
        collection_limits limits;
        limits.occurrences_per_event = c.event_limit;
        limits.occurrences_per_document = c.document_limit;
        clear_occurrences();
        testing::internal::CaptureStderr();
        collect_occurrences(root, &NO_SELECTION, icaltimezone_get_utc_timezone(),
                            icaltime_from_string(c.period_start),
                            icaldurationtype_from_string(c.period_duration), limits);
        EXPECT_EQ(c.notes, testing::internal::GetCapturedStderr());
        std::vector<int> records;
        occurrence_view view = occurrence_records();
        int event_index = 0;
        for (icalcomponent *e = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
             e != nullptr; e = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
            records.push_back(0);
            for (int i = 0; i < view.record_count; i++)
                records[event_index] += view.records[i].component == e ? 1 : 0;
            event_index++;
        }
        EXPECT_EQ(c.records, records);
        clear_occurrences();
        icalcomponent_free(root);
    }
}

// The event limit as evtable runs: one all-day event over four centuries
// shown whole gives its first 100,000 days.
TEST(collect_occurrences, event_limit_as_run)
{
    icalcomponent *root = parse_calendar(
        event("UID:ages\r\nDTSTART;VALUE=DATE:17000101\r\nDTEND;VALUE=DATE:21000101\r\n"));
    clear_occurrences();
    testing::internal::CaptureStderr();
    collect_occurrences(root, &NO_SELECTION, icaltimezone_get_utc_timezone(),
                        icaltime_from_string("17000101"), icaldurationtype_from_string("P146097D"));
    EXPECT_EQ("evtable: event ages cut short after 100000 occurrences\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(MAX_EVENT_OCCURRENCES, occurrence_records().record_count);
    clear_occurrences();
    icalcomponent_free(root);
}
