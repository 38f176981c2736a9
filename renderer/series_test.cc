// series_test.cc: what a series shows: the instances that EXDATE removes,
// those that RDATE adds, those that overriding events replace, and every day
// of an instance that lasts several days.
#include "renderer/occurrence_collection.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "renderer/rule_expansion.h"
#include "renderer/occurrence_table.h"

namespace {

std::string event(const std::string &lines)
{
    return "BEGIN:VEVENT\r\n" + lines + "END:VEVENT\r\n";
}

// A series of daily instances at 10:00 UTC from 5 October 2002, an hour each.
std::string daily(const char *uid, const char *summary, int count, const std::string &more = "")
{
    return event(std::string("UID:") + uid + "\r\nSUMMARY:" + summary +
                 "\r\nDTSTART:20021005T100000Z\r\nDTEND:20021005T110000Z\r\n"
                 "RRULE:FREQ=DAILY;COUNT=" +
                 std::to_string(count) + "\r\n" + more);
}

struct series_case {
    const char *name;
    std::string events;
    std::vector<std::string> shown;   // "SUMMARY START/END", display order, UTC
    const char *period_start = "20021001";
    const char *period_duration = "P16D";
    event_selection selection = {};
};

// The table after one collection and the sort, each record as its summary,
// start and end in UTC.
std::vector<std::string> shown(const series_case &c,
                               const collection_limits &limits = collection_limits())
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + c.events +
                       "END:VCALENDAR\r\n";
    icalcomponent *root = icalparser_parse_string(text.c_str());
    EXPECT_NE(nullptr, root);
    clear_occurrences();
    collect_occurrences(root, &c.selection, icaltimezone_get_utc_timezone(),
                        icaltime_from_string(c.period_start),
                        icaldurationtype_from_string(c.period_duration), limits);
    sort_occurrences();
    std::vector<std::string> result;
    occurrence_view view = occurrence_records();
    for (int i = 0; i < view.record_count; i++) {
        const occurrence &record = view.records[i];
        const char *summary = icalcomponent_get_summary(record.component);
        result.push_back(std::string(summary != nullptr ? summary : "") + " " +
                         icaltime_as_ical_string(record.start) + "/" +
                         icaltime_as_ical_string(record.end));
    }
    clear_occurrences();
    icalcomponent_free(root);
    return result;
}

void check(const std::vector<series_case> &cases)
{
    for (const series_case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.shown, shown(c));
    }
}

const char *const BERLIN_SERIES =
    "UID:b\r\nSUMMARY:b\r\nDTSTART;TZID=Europe/Berlin:20021025T100000\r\n"
    "DTEND;TZID=Europe/Berlin:20021025T110000\r\nRRULE:FREQ=DAILY;COUNT=4\r\n";

}  // namespace

TEST(series, exdate)
{
    check({
        {"a UTC value removes its instance", daily("a", "a", 4, "EXDATE:20021006T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021007T100000Z/20021007T110000Z",
          "a 20021008T100000Z/20021008T110000Z"}},
        {"a TZID value after a change of daylight saving",
         event(std::string(BERLIN_SERIES) + "EXDATE;TZID=Europe/Berlin:20021028T100000\r\n"),
         {"b 20021025T080000Z/20021025T090000Z", "b 20021026T080000Z/20021026T090000Z",
          "b 20021027T090000Z/20021027T100000Z"},
         "20021020"},
        {"a UTC value names the same instant as a zoned instance",
         event(std::string(BERLIN_SERIES) + "EXDATE:20021028T090000Z\r\n"),
         {"b 20021025T080000Z/20021025T090000Z", "b 20021026T080000Z/20021026T090000Z",
          "b 20021027T090000Z/20021027T100000Z"},
         "20021020"},
        {"a UTC value of the wall-clock time is another instant",
         event(std::string(BERLIN_SERIES) + "EXDATE:20021028T100000Z\r\n"),
         {"b 20021025T080000Z/20021025T090000Z", "b 20021026T080000Z/20021026T090000Z",
          "b 20021027T090000Z/20021027T100000Z", "b 20021028T090000Z/20021028T100000Z"},
         "20021020"},
        {"a floating value on a zoned series compares by its fields",
         event(std::string(BERLIN_SERIES) + "EXDATE:20021026T100000\r\n"),
         {"b 20021025T080000Z/20021025T090000Z", "b 20021027T090000Z/20021027T100000Z",
          "b 20021028T090000Z/20021028T100000Z"},
         "20021020"},
        {"a floating value on a floating series",
         event("UID:f\r\nSUMMARY:f\r\nDTSTART:20021005T100000\r\nRRULE:FREQ=DAILY;COUNT=3\r\n"
               "EXDATE:20021006T100000\r\n"),
         {"f 20021005T100000Z/20021005T100000Z", "f 20021007T100000Z/20021007T100000Z"}},
        {"a date on a series of dates",
         event("UID:d\r\nSUMMARY:d\r\nDTSTART;VALUE=DATE:20021005\r\nRRULE:FREQ=DAILY;COUNT=3\r\n"
               "EXDATE;VALUE=DATE:20021006\r\n"),
         {"d 20021005/20021006", "d 20021007/20021008"}},
        {"a date on a timed series removes the instance starting on that day in its zone",
         event("UID:t\r\nSUMMARY:t\r\nDTSTART;TZID=Asia/Tokyo:20021005T060000\r\n"
               "RRULE:FREQ=DAILY;COUNT=3\r\nEXDATE;VALUE=DATE:20021006\r\n"),
         {"t 20021004T210000Z/20021004T210000Z", "t 20021006T210000Z/20021006T210000Z"}},
        {"several values on a line and several lines",
         daily("a", "a", 6, "EXDATE:20021006T100000Z,20021007T100000Z\r\nEXDATE:20021009T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021008T100000Z/20021008T110000Z",
          "a 20021010T100000Z/20021010T110000Z"}},
        {"a value equal to DTSTART removes the first instance",
         daily("a", "a", 3, "EXDATE:20021005T100000Z\r\n"),
         {"a 20021006T100000Z/20021006T110000Z", "a 20021007T100000Z/20021007T110000Z"}},
        {"repeated values are harmless",
         daily("a", "a", 3, "EXDATE:20021006T100000Z,20021006T100000Z\r\nEXDATE:20021006T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021007T100000Z/20021007T110000Z"}},
        {"a value that names no instance changes nothing",
         daily("a", "a", 2, "EXDATE:20021006T103000Z\r\nEXDATE:20031006T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021006T100000Z/20021006T110000Z"}},
        {"an event without a rule whose DTSTART is excluded is not shown",
         event("UID:s\r\nSUMMARY:s\r\nDTSTART:20021005T100000Z\r\nEXDATE:20021005T100000Z\r\n") +
             event("UID:k\r\nSUMMARY:k\r\nDTSTART:20021006T100000Z\r\nEXDATE:20021005T100000Z\r\n"),
         {"k 20021006T100000Z/20021006T100000Z"}},
    });
}

TEST(series, rdate)
{
    check({
        {"UTC, TZID and floating values add instances of the event's length",
         daily("a", "a", 2,
               "RDATE:20021010T120000Z\r\nRDATE;TZID=Europe/Berlin:20021011T120000\r\n"
               "RDATE:20021012T080000\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021006T100000Z/20021006T110000Z",
          "a 20021010T120000Z/20021010T130000Z", "a 20021011T100000Z/20021011T110000Z",
          "a 20021012T080000Z/20021012T090000Z"}},
        {"dates on a series of dates",
         event("UID:d\r\nSUMMARY:d\r\nDTSTART;VALUE=DATE:20001005\r\nDTEND;VALUE=DATE:20001006\r\n"
               "RRULE:FREQ=YEARLY\r\nRDATE;VALUE=DATE:20021009,20021011\r\n"),
         {"d 20021005/20021006", "d 20021009/20021010", "d 20021011/20021012"}},
        {"a period's end or duration replaces the event's length",
         daily("a", "a", 1,
               "RDATE;VALUE=PERIOD:20021010T120000Z/20021010T150000Z,20021011T120000Z/PT30M\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021010T120000Z/20021010T150000Z",
          "a 20021011T120000Z/20021011T123000Z"}},
        {"without a rule: DTSTART and the added dates",
         event("UID:s\r\nSUMMARY:s\r\nDTSTART:20021005T100000Z\r\nDTEND:20021005T110000Z\r\n"
               "RDATE:20021008T100000Z,20021009T100000Z\r\n"),
         {"s 20021005T100000Z/20021005T110000Z", "s 20021008T100000Z/20021008T110000Z",
          "s 20021009T100000Z/20021009T110000Z"}},
        {"a value equal to a rule's instance or to DTSTART gives it once",
         daily("a", "a", 3, "RDATE:20021006T100000Z,20021005T100000Z\r\n") +
             event("UID:s\r\nSUMMARY:s\r\nDTSTART:20021012T100000Z\r\nRDATE:20021012T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021006T100000Z/20021006T110000Z",
          "a 20021007T100000Z/20021007T110000Z", "s 20021012T100000Z/20021012T100000Z"}},
        {"repeated values give one instance",
         daily("a", "a", 1, "RDATE:20021009T100000Z\r\nRDATE:20021009T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021009T100000Z/20021009T110000Z"}},
        {"EXDATE wins over RDATE",
         daily("a", "a", 1, "RDATE:20021009T100000Z\r\nEXDATE:20021009T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z"}},
        {"values outside the period give nothing in it",
         daily("a", "a", 1, "RDATE:20020901T100000Z,20030101T100000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z"}},
        {"an added period of several days is shown on each of its days",
         daily("a", "a", 1, "RDATE;VALUE=PERIOD:20021010T100000Z/20021012T090000Z\r\n"),
         {"a 20021005T100000Z/20021005T110000Z", "a 20021010T100000Z/20021012T090000Z",
          "a 20021011T100000Z/20021012T090000Z"}},
    });
}

TEST(series, overrides)
{
    // A weekly series on Tuesdays at 10:00 UTC from 1 October 2002.
    auto weekly = [](const char *uid, const std::string &more = "") {
        return event(std::string("UID:") + uid +
                     "\r\nSUMMARY:weekly\r\nDTSTART:20021001T100000Z\r\nDTEND:20021001T110000Z\r\n"
                     "RRULE:FREQ=WEEKLY\r\n" + more);
    };
    auto change = [](const char *uid, const char *summary, const char *recurrence_id,
                     const char *start, const char *end, const std::string &more = "") {
        return event(std::string("UID:") + uid + "\r\nSUMMARY:" + summary + "\r\nRECURRENCE-ID" +
                     recurrence_id + "\r\nDTSTART" + start + "\r\nDTEND" + end + "\r\n" + more);
    };
    const event_selection public_only = {{"PUBLIC"}, {}, {}, {}};
    check({
        {"an override at the same time replaces its instance",
         weekly("w") + change("w", "changed", ":20021008T100000Z", ":20021008T100000Z",
                              ":20021008T110000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "changed 20021008T100000Z/20021008T110000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
        {"an override with an earlier end replaces its instance",
         weekly("w") + change("w", "short", ":20021008T100000Z", ":20021008T100000Z",
                              ":20021008T103000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "short 20021008T100000Z/20021008T103000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
        {"a moved instance is shown once, at its new time",
         weekly("w") + change("w", "moved", ":20021008T100000Z", ":20021010T140000Z",
                              ":20021010T150000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "moved 20021010T140000Z/20021010T150000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
        {"moved into the period, it replaces an instance outside it",
         weekly("w") + change("w", "moved in", ":20021022T100000Z", ":20021003T140000Z",
                              ":20021003T150000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "moved in 20021003T140000Z/20021003T150000Z",
          "weekly 20021008T100000Z/20021008T110000Z", "weekly 20021015T100000Z/20021015T110000Z"}},
        {"moved out of the period, its instance is gone from it",
         weekly("w") + change("w", "moved out", ":20021008T100000Z", ":20021105T100000Z",
                              ":20021105T110000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "weekly 20021015T100000Z/20021015T110000Z"}},
        {"moved onto another instance's time, that instance stays",
         weekly("w") + change("w", "moved", ":20021008T100000Z", ":20021015T100000Z",
                              ":20021015T110000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "weekly 20021015T100000Z/20021015T110000Z",
          "moved 20021015T100000Z/20021015T110000Z"}},
        {"RECURRENCE-ID with TZID and in UTC name instants",
         event("UID:b\r\nSUMMARY:berlin\r\nDTSTART;TZID=Europe/Berlin:20021001T120000\r\n"
               "RRULE:FREQ=WEEKLY;COUNT=3\r\n") +
             change("b", "zoned", ";TZID=Europe/Berlin:20021008T120000", ":20021008T130000Z",
                    ":20021008T130000Z") +
             change("b", "utc", ":20021015T100000Z", ":20021015T140000Z", ":20021015T140000Z"),
         {"berlin 20021001T100000Z/20021001T100000Z", "zoned 20021008T130000Z/20021008T130000Z",
          "utc 20021015T140000Z/20021015T140000Z"}},
        {"a floating RECURRENCE-ID names a zoned instance by its fields",
         event("UID:b\r\nSUMMARY:berlin\r\nDTSTART;TZID=Europe/Berlin:20021001T120000\r\n"
               "RRULE:FREQ=WEEKLY;COUNT=2\r\n") +
             change("b", "floating", ":20021008T120000", ":20021008T130000Z", ":20021008T130000Z"),
         {"berlin 20021001T100000Z/20021001T100000Z",
          "floating 20021008T130000Z/20021008T130000Z"}},
        {"RANGE=THISANDFUTURE overrides its own instance only",
         weekly("w") + change("w", "this one", ";RANGE=THISANDFUTURE:20021008T100000Z",
                              ":20021008T120000Z", ":20021008T130000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "this one 20021008T120000Z/20021008T130000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
        {"an all-day series with DATE RECURRENCE-IDs",
         event("UID:d\r\nSUMMARY:day\r\nDTSTART;VALUE=DATE:20021001\r\nRRULE:FREQ=WEEKLY;COUNT=2\r\n") +
             change("d", "next day", ";VALUE=DATE:20021008", ";VALUE=DATE:20021009",
                    ";VALUE=DATE:20021010"),
         {"day 20021001/20021002", "next day 20021009/20021010"}},
        {"a DATE RECURRENCE-ID does not name a timed instance",
         weekly("w", "") + change("w", "dated", ";VALUE=DATE:20021008", ":20021008T140000Z",
                                  ":20021008T150000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "weekly 20021008T100000Z/20021008T110000Z",
          "dated 20021008T140000Z/20021008T150000Z", "weekly 20021015T100000Z/20021015T110000Z"}},
        {"an override without its series, or of no instance of it, is shown on its own",
         change("x", "orphan", ":20021002T100000Z", ":20021002T120000Z", ":20021002T130000Z") +
             weekly("w") +
             change("w", "stray", ":20021008T101500Z", ":20021009T100000Z", ":20021009T110000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "orphan 20021002T120000Z/20021002T130000Z",
          "weekly 20021008T100000Z/20021008T110000Z", "stray 20021009T100000Z/20021009T110000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
        {"without UIDs nothing is replaced",
         event("SUMMARY:plain\r\nDTSTART:20021008T100000Z\r\n") +
             event("SUMMARY:override\r\nRECURRENCE-ID:20021008T100000Z\r\n"
                   "DTSTART:20021008T100000Z\r\n"),
         {"plain 20021008T100000Z/20021008T100000Z",
          "override 20021008T100000Z/20021008T100000Z"},
         "20021008", "P1D"},
        {"UIDs that differ in letter case are different series",
         weekly("w") + change("W", "other", ":20021008T100000Z", ":20021008T100000Z",
                              ":20021008T110000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "other 20021008T100000Z/20021008T110000Z",
          "weekly 20021008T100000Z/20021008T110000Z", "weekly 20021015T100000Z/20021015T110000Z"}},
        {"a cancelled override is shown at its time",
         weekly("w") + change("w", "cancelled", ":20021008T100000Z", ":20021008T100000Z",
                              ":20021008T110000Z", "STATUS:CANCELLED\r\n"),
         {"weekly 20021001T100000Z/20021001T110000Z",
          "cancelled 20021008T100000Z/20021008T110000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
        {"an override that the selection drops still removes its instance",
         weekly("w") + change("w", "private", ":20021008T100000Z", ":20021009T100000Z",
                              ":20021009T110000Z", "CLASS:PRIVATE\r\n"),
         {"weekly 20021001T100000Z/20021001T110000Z", "weekly 20021015T100000Z/20021015T110000Z"},
         "20021001", "P16D", public_only},
        {"an override of a series that the selection drops is shown",
         weekly("w", "CLASS:PRIVATE\r\n") +
             change("w", "public", ":20021008T100000Z", ":20021008T100000Z", ":20021008T110000Z"),
         {"public 20021008T100000Z/20021008T110000Z"}, "20021001", "P16D", public_only},
        {"an override is one instance: its rule, RDATEs and EXDATEs are not expanded",
         weekly("w") + change("w", "one", ":20021008T100000Z", ":20021008T120000Z",
                              ":20021008T130000Z",
                              "RRULE:FREQ=DAILY\r\nRDATE:20021012T100000Z\r\n"
                              "EXDATE:20021008T120000Z\r\n"),
         {"weekly 20021001T100000Z/20021001T110000Z", "one 20021008T120000Z/20021008T130000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
        {"an override of an event without a rule replaces it",
         event("UID:s\r\nSUMMARY:single\r\nDTSTART:20021008T100000Z\r\n") +
             change("s", "replaced", ":20021008T100000Z", ":20021009T100000Z", ":20021009T110000Z"),
         {"replaced 20021009T100000Z/20021009T110000Z"}},
        {"an override of an added date replaces it",
         weekly("w", "RDATE:20021003T100000Z\r\n") +
             change("w", "added moved", ":20021003T100000Z", ":20021004T100000Z",
                    ":20021004T110000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "added moved 20021004T100000Z/20021004T110000Z",
          "weekly 20021008T100000Z/20021008T110000Z", "weekly 20021015T100000Z/20021015T110000Z"}},
        {"an override of an excluded instance is still shown",
         weekly("w", "EXDATE:20021008T100000Z\r\n") +
             change("w", "kept", ":20021008T100000Z", ":20021008T100000Z", ":20021008T110000Z"),
         {"weekly 20021001T100000Z/20021001T110000Z", "kept 20021008T100000Z/20021008T110000Z",
          "weekly 20021015T100000Z/20021015T110000Z"}},
    });
}

TEST(series, instances_of_several_days)
{
    check({
        {"a timed instance across midnight: each day that starts, at its time of day, before its end",
         event("UID:n\r\nSUMMARY:night\r\nDTSTART:20021005T220000Z\r\nDTEND:20021006T020000Z\r\n"
               "RRULE:FREQ=WEEKLY;COUNT=2\r\n") +
             event("UID:t\r\nSUMMARY:two\r\nDTSTART:20021005T200000Z\r\nDTEND:20021006T210000Z\r\n"
                   "RRULE:FREQ=WEEKLY;COUNT=2\r\n"),
         {"two 20021005T200000Z/20021006T210000Z", "night 20021005T220000Z/20021006T020000Z",
          "two 20021006T200000Z/20021006T210000Z", "two 20021012T200000Z/20021013T210000Z",
          "night 20021012T220000Z/20021013T020000Z", "two 20021013T200000Z/20021013T210000Z"}},
        {"an instance that ends at midnight does not reach the next day",
         event("UID:m\r\nSUMMARY:late\r\nDTSTART:20021005T220000Z\r\nDTEND:20021006T000000Z\r\n"
               "RRULE:FREQ=WEEKLY;COUNT=1\r\n"),
         {"late 20021005T220000Z/20021006T000000Z"}},
        {"an all-day yearly event of three days is shown on each",
         event("UID:y\r\nSUMMARY:fair\r\nDTSTART;VALUE=DATE:19991005\r\n"
               "DTEND;VALUE=DATE:19991008\r\nRRULE:FREQ=YEARLY\r\n"),
         {"fair 20021005/20021008", "fair 20021006/20021008", "fair 20021007/20021008"}},
        {"an instance that starts before the period shows its days in the first month",
         event("UID:l\r\nSUMMARY:long\r\nDTSTART;VALUE=DATE:20020805\r\n"
               "DTEND;VALUE=DATE:20020812\r\nRRULE:FREQ=MONTHLY;COUNT=3\r\n"),
         {"long 20021005/20021012", "long 20021006/20021012", "long 20021007/20021012",
          "long 20021008/20021012", "long 20021009/20021012", "long 20021010/20021012",
          "long 20021011/20021012"},
         "20021010", "P1W"},
        {"an override of several days is shown on each",
         event("UID:w\r\nSUMMARY:weekly\r\nDTSTART:20021001T100000Z\r\nRRULE:FREQ=WEEKLY;COUNT=1\r\n") +
             event("UID:w\r\nSUMMARY:longer\r\nRECURRENCE-ID:20021001T100000Z\r\n"
                   "DTSTART:20021001T100000Z\r\nDTEND:20021002T120000Z\r\n"),
         {"longer 20021001T100000Z/20021002T120000Z", "longer 20021002T100000Z/20021002T120000Z"}},
    });
}

TEST(series, instants_named_from_other_zones)
{
    // Daily at 10:00 in Kiritimati (UTC+14): 20:00 UTC the day before.
    const std::string far_east =
        "UID:k\r\nSUMMARY:k\r\nDTSTART;TZID=Pacific/Kiritimati:20021006T100000\r\n"
        "RRULE:FREQ=DAILY;COUNT=4\r\n";
    auto moved = [](const char *recurrence_id, const char *start) {
        return event(std::string("UID:k\r\nSUMMARY:moved\r\nRECURRENCE-ID") + recurrence_id +
                     "\r\nDTSTART" + start + "\r\n");
    };
    check({
        {"a RECURRENCE-ID in a zone 25 hours away names the same instant",
         event(far_east) + moved(";TZID=Pacific/Pago_Pago:20021006T090000", ":20021007T000000Z"),
         {"k 20021005T200000Z/20021005T200000Z", "moved 20021007T000000Z/20021007T000000Z",
          "k 20021007T200000Z/20021007T200000Z", "k 20021008T200000Z/20021008T200000Z"}},
        {"RECURRENCE-IDs in UTC a day apart replace their own instances only",
         event(far_east) + moved(":20021005T200000Z", ":20021010T000000Z") +
             moved(":20021007T200000Z", ":20021011T000000Z"),
         {"k 20021006T200000Z/20021006T200000Z", "k 20021008T200000Z/20021008T200000Z",
          "moved 20021010T000000Z/20021010T000000Z", "moved 20021011T000000Z/20021011T000000Z"}},
        {"an EXDATE in New York names the Berlin instance of its instant",
         event(std::string(BERLIN_SERIES) + "EXDATE;TZID=America/New_York:20021026T040000\r\n"),
         {"b 20021025T080000Z/20021025T090000Z", "b 20021027T090000Z/20021027T100000Z",
          "b 20021028T090000Z/20021028T100000Z"},
         "20021020", "P16D"},
        {"among seventy EXDATEs in New York, the one of its instant",
         event(std::string(BERLIN_SERIES) + "EXDATE;TZID=America/New_York:" + [] {
             std::string values;
             for (int minute = 0; minute < 69; minute++) {
                 char value[24];
                 snprintf(value, sizeof value, "20021026T%02d%02d00,", 5 + minute / 60,
                          minute % 60);
                 values += value;
             }
             return values + "20021026T040000\r\n";
         }()),
         {"b 20021025T080000Z/20021025T090000Z", "b 20021027T090000Z/20021027T100000Z",
          "b 20021028T090000Z/20021028T100000Z"},
         "20021020", "P16D"},
        {"the wall-clock time of New York is another instant",
         event(std::string(BERLIN_SERIES) + "EXDATE;TZID=America/New_York:20021026T100000\r\n"),
         {"b 20021025T080000Z/20021025T090000Z", "b 20021026T080000Z/20021026T090000Z",
          "b 20021027T090000Z/20021027T100000Z", "b 20021028T090000Z/20021028T100000Z"},
         "20021020", "P16D"},
    });
}

TEST(series, several_rules)
{
    const std::string mondays = "RRULE:FREQ=WEEKLY;BYDAY=MO;COUNT=3\r\n";
    const std::string mondays_wednesdays = "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;COUNT=3\r\n";
    auto starting = [](const std::string &rules) {
        return event("UID:r\r\nSUMMARY:r\r\nDTSTART:20020902T090000Z\r\n" + rules);
    };
    check({
        {"every rule gives instances, a start given by two once",
         starting(mondays + mondays_wednesdays),
         {"r 20020902T090000Z/20020902T090000Z", "r 20020904T090000Z/20020904T090000Z",
          "r 20020909T090000Z/20020909T090000Z", "r 20020916T090000Z/20020916T090000Z"},
         "20020901", "P30D"},
        {"an RDATE that a later rule gives too adds nothing",
         starting(mondays + mondays_wednesdays + "RDATE:20020904T090000Z\r\n"),
         {"r 20020902T090000Z/20020902T090000Z", "r 20020904T090000Z/20020904T090000Z",
          "r 20020909T090000Z/20020909T090000Z", "r 20020916T090000Z/20020916T090000Z"},
         "20020901", "P30D"},
        {"an EXDATE removes what either rule gives",
         starting(mondays + mondays_wednesdays + "EXDATE:20020909T090000Z\r\n"),
         {"r 20020902T090000Z/20020902T090000Z", "r 20020904T090000Z/20020904T090000Z",
          "r 20020916T090000Z/20020916T090000Z"},
         "20020901", "P30D"},
    });
}

// The bound on instances counts those of all rules together: the first rule
// takes five calls (its four instances and its end), the second gets the one
// call left, which gives the shared 2 September again.
TEST(series, several_rules_share_the_instance_bound)
{
    series_case c{"", event("UID:r\r\nSUMMARY:r\r\nDTSTART:20020902T090000Z\r\n"
                            "RRULE:FREQ=DAILY;COUNT=4\r\nRRULE:FREQ=DAILY;INTERVAL=7;COUNT=4\r\n"),
                  {}, "20020901", "P60D"};
    collection_limits limits;
    limits.instances_per_event = 6;
    testing::internal::CaptureStderr();
    std::vector<std::string> records = shown(c, limits);
    std::string notes = testing::internal::GetCapturedStderr();
    EXPECT_EQ("evtable: recurrence of r cut short after 6 instances\n", notes);
    EXPECT_EQ(4u, records.size());
}
