// rule_expansion_test.cc: the instances of rules that libical gets wrong,
// stretches against a plain expansion from DTSTART, and the work that
// hostile rules may cost, counted in libical calls and in the steps of the
// stretches opened.
#include "renderer/rule_expansion.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/rule_budget.h"

namespace {

struct work {
    std::vector<std::string> shown;   // starts in UTC, display order
    long long calls;
    double steps;
    std::string notes;
};

work collect_rule(const std::string &lines, const char *start, const char *duration,
                  bool from_dtstart = false)
{
    std::string text = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:r\r\n" + lines +
                       "END:VEVENT\r\nEND:VCALENDAR\r\n";
    icalcomponent *root = icalparser_parse_string(text.c_str());
    event_selection everything{};
    clear_occurrences();
    long long calls = rule_calls_made();
    double steps = rule_steps_spent();
    testing::internal::CaptureStderr();
    collection_limits limits;
    limits.from_dtstart = from_dtstart;
    collect_occurrences(root, &everything, icaltimezone_get_utc_timezone(),
                        icaltime_from_string(start), icaldurationtype_from_string(duration), limits);
    work result;
    result.notes = testing::internal::GetCapturedStderr();
    result.calls = rule_calls_made() - calls;
    result.steps = rule_steps_spent() - steps;
    sort_occurrences();
    occurrence_view view = occurrence_records();
    for (int i = 0; i < view.record_count; i++)
        result.shown.push_back(icaltime_as_ical_string(view.records[i].start));
    clear_occurrences();
    icalcomponent_free(root);
    return result;
}

struct hostile_case {
    const char *name;
    const char *lines;
    const char *start;
    const char *duration;
    size_t shown;          // occurrences
    long long calls;       // at most this many libical calls
    double steps;          // at most this many steps in stretches
    const char *notes;
};

// Rules of a few dozen bytes that held evtable for minutes to hours: each
// now costs a bounded number of calls and steps.
const hostile_case HOSTILE_CASES[] = {
    {"every minute of the 30th of February", "DTSTART:20260101T000000Z\r\n"
     "RRULE:FREQ=MINUTELY;BYMONTH=2;BYMONTHDAY=30\r\n", "20261025", "P5W", 0, 0, 0,
     "evtable: recurrence of r dropped: rule FREQ=MINUTELY;BYMONTHDAY=30;BYMONTH=2 never gives "
     "an instance\n"},
    {"every second of the thirtieth day before the end of February",
     "DTSTART:20260101T000000Z\r\nRRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=-30\r\n", "20261025",
     "P5W", 0, 0, 0,
     "evtable: recurrence of r dropped: rule FREQ=SECONDLY;BYMONTHDAY=-30;BYMONTH=2 never gives "
     "an instance\n"},
    {"the sixth Friday from the end of a month, which libical searched for a second",
     "DTSTART:20020927T100000Z\r\nRRULE:FREQ=MONTHLY;BYDAY=-6FR\r\n", "20261025", "P5W", 0, 0, 0,
     "evtable: recurrence of r dropped: rule FREQ=MONTHLY;BYDAY=-6FR never gives an instance\n"},
    {"every second of the 29th of February: nothing in the period, nothing stepped",
     "DTSTART:20030101T000000Z\r\nRRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=29\r\n", "20261025",
     "P5W", 0, 0, 0, ""},
    {"every hour of the 29th of February, with COUNT, from years before",
     "DTSTART:20030101T000000Z\r\nRRULE:FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=29;COUNT=30\r\n",
     "20040229", "P1D", 24, 31, 2 * 24 + 200, ""},
    {"every hour of Mondays that are the 29th of February, in this century",
     "DTSTART:19000101T000000Z\r\nRRULE:FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO\r\n",
     "20000101", "P36525D", 24 * 3, 24 * 3 + 3, 3 * 2 * 24 + 300, ""},
    {"every minute of Sundays from decades back", "DTSTART:19700101T000000Z\r\n"
     "DURATION:-P1D\r\nRRULE:FREQ=MINUTELY;BYDAY=SU\r\n", "20261025", "P1W", 0, 1440 + 2,
     4 * 1440 + 200, ""},
    // A date does not step through hours, so no hour of the list is ever
    // reached: the steps run out instead of years, the document's first.
    {"a date stepping through minutes to a minute it never has",
     "DTSTART;VALUE=DATE:00010101\r\nRRULE:FREQ=MINUTELY;BYMINUTE=5;COUNT=3\r\n", "20261025",
     "P5W", 0, 1000, RULE_STEPS_SHARED + RULE_STEPS_EACH + 3 * RULE_STEPS_PER_PROPERTY,
     "evtable: rules cut short: the document's 150000 shared rule steps are spent\n"},
};

}  // namespace

TEST(rule_work, hostile_rules_are_bounded)
{
    for (const hostile_case &c : HOSTILE_CASES) {
        SCOPED_TRACE(c.name);
        work done = collect_rule(c.lines, c.start, c.duration);
        EXPECT_EQ(c.shown, done.shown.size());
        EXPECT_LE(done.calls, c.calls);
        EXPECT_LE(done.steps, c.steps);
        EXPECT_EQ(c.notes, done.notes);
    }
}

// Stretches of the days that a rule allows give what libical's iterator
// gives from DTSTART, where that can be afforded.
TEST(rule_work, stretches_give_the_instances_from_dtstart)
{
    const char *rules[] = {
        "FREQ=HOURLY;INTERVAL=5;BYMONTHDAY=1,2,15",
        "FREQ=MINUTELY;INTERVAL=47;BYDAY=TU,SA;BYMONTH=10,11",
        "FREQ=SECONDLY;INTERVAL=3607;BYDAY=WE",
        "FREQ=HOURLY;INTERVAL=25;BYDAY=MO",
        "FREQ=HOURLY;BYHOUR=9,17;BYMINUTE=0,30;BYMONTHDAY=3,4,5,20",
        "FREQ=DAILY;INTERVAL=3;BYMONTH=10;BYMONTHDAY=2,3,4,5,6,30",
        "FREQ=HOURLY;INTERVAL=7;BYMONTHDAY=5,6;COUNT=9",
    };
    for (const char *rule : rules) {
        for (const char *dtstart : {"20020903T101500Z", "20020903T101500"}) {
            SCOPED_TRACE(std::string(rule) + " from " + dtstart);
            std::string lines = std::string("DTSTART:") + dtstart + "\r\nRRULE:" + rule + "\r\n";
            work plain = collect_rule(lines, "20021001", "P6W", true);
            work stretched = collect_rule(lines, "20021001", "P6W");
            EXPECT_FALSE(plain.shown.empty());
            EXPECT_EQ(plain.shown, stretched.shown);
        }
    }
}

namespace {

struct instances_case {
    const char *name;
    const char *lines;
    const char *start;
    const char *duration;
    std::vector<std::string> shown;   // starts in UTC
};

// Rules whose instances RFC 5545 settles and libical's own expansion gets
// wrong or cannot give: week numbers and weekdays among month days in
// yearly rules, days counted from the end in rules that repeat daily or
// more often. A day of a week that straddles the new year counts in its own
// year, with the number of the week that holds it.
const instances_case OWN_DAY_CASES[] = {
    {"the example of RFC 5545 3.8.5.3: Monday of week 20",
     "DTSTART:19970512T090000Z\r\nRRULE:FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO\r\n", "19970101",
     "P1100D", {"19970512T090000Z", "19980511T090000Z", "19990517T090000Z"}},
    {"week 1 without weekdays: all its days, the first in the year before",
     "DTSTART:20071228T090000Z\r\nRRULE:FREQ=YEARLY;BYWEEKNO=1\r\n", "20071201", "P40D",
     {"20071231T090000Z", "20080101T090000Z", "20080102T090000Z", "20080103T090000Z",
      "20080104T090000Z", "20080105T090000Z", "20080106T090000Z"}},
    {"the last week, weeks starting on Sunday",
     "DTSTART:20070101T090000Z\r\nRRULE:FREQ=YEARLY;BYWEEKNO=-1;BYDAY=SU;WKST=SU\r\n",
     "20070101", "P730D", {"20071223T090000Z", "20081228T090000Z"}},
    {"week 53 only in the years that have one",
     "DTSTART:20040101T090000Z\r\nRRULE:FREQ=YEARLY;BYWEEKNO=53;BYDAY=MO\r\n", "20040101",
     "P2200D", {"20041227T090000Z", "20091228T090000Z"}},
    {"every other year: a Monday of week 1 in the year before is not in its phase",
     "DTSTART:20060102T090000Z\r\nRRULE:FREQ=YEARLY;INTERVAL=2;BYWEEKNO=1;BYDAY=MO\r\n",
     "20060101", "P1500D", {"20060102T090000Z", "20081229T090000Z", "20100104T090000Z"}},
    {"week numbers with COUNT, started from years before the period",
     "DTSTART;VALUE=DATE:19970512\r\nRRULE:FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO;COUNT=3\r\n",
     "19990101", "P365D", {"19990517"}},
    {"the example of RFC 5545 3.8.5.3: U.S. Presidential Election day",
     "DTSTART:19961105T090000Z\r\nRRULE:FREQ=YEARLY;INTERVAL=4;BYMONTH=11;BYDAY=TU;"
     "BYMONTHDAY=2,3,4,5,6,7,8\r\n",
     "19961101", "P3000D", {"19961105T090000Z", "20001107T090000Z", "20041102T090000Z"}},
    {"Mondays and Tuesdays among the 8th to 14th, every other year",
     "DTSTART:20050308T090000Z\r\nRRULE:FREQ=YEARLY;INTERVAL=2;BYDAY=MO,TU;"
     "BYMONTHDAY=8,9,10,11,12,13,14\r\n",
     "20050301", "P92D",
     {"20050308T090000Z", "20050314T090000Z", "20050411T090000Z", "20050412T090000Z",
      "20050509T090000Z", "20050510T090000Z"}},
    {"the last of the chosen days of each year",
     "DTSTART:20050101T090000Z\r\nRRULE:FREQ=YEARLY;BYWEEKNO=1,2;BYDAY=MO;BYSETPOS=-1\r\n",
     "20050101", "P400D", {"20050110T090000Z", "20060109T090000Z"}},
    {"the last day of each month, daily",
     "DTSTART:20020901T100000Z\r\nRRULE:FREQ=DAILY;BYMONTHDAY=-1\r\n", "20020901", "P13W",
     {"20020930T100000Z", "20021031T100000Z", "20021130T100000Z"}},
    {"every six hours of the last day, COUNT counting those only",
     "DTSTART:20020930T000000Z\r\nRRULE:FREQ=HOURLY;INTERVAL=6;BYMONTHDAY=-1;COUNT=6\r\n",
     "20020901", "P13W",
     {"20020930T000000Z", "20020930T060000Z", "20020930T120000Z", "20020930T180000Z",
      "20021031T000000Z", "20021031T060000Z"}},
    {"the last day of the year, and the 366th from its end in a leap year",
     "DTSTART:20031201T090000Z\r\nRRULE:FREQ=DAILY;BYYEARDAY=-1,-366\r\n", "20031201", "P800D",
     {"20031231T090000Z", "20040101T090000Z", "20041231T090000Z", "20051231T090000Z"}},
    {"the last day of February",
     "DTSTART;VALUE=DATE:20030101\r\nRRULE:FREQ=DAILY;BYMONTH=2;BYMONTHDAY=-1\r\n", "20030101",
     "P1100D", {"20030228", "20040229", "20050228"}},
    {"the fifth and the fifth from the end, in the same list",
     "DTSTART:20021001T080000Z\r\nRRULE:FREQ=DAILY;BYMONTHDAY=5,-5;COUNT=3\r\n", "20021001",
     "P6W", {"20021005T080000Z", "20021027T080000Z", "20021105T080000Z"}},
};

}  // namespace

TEST(rule_instances, as_rfc_5545_gives_them)
{
    for (const instances_case &c : OWN_DAY_CASES) {
        SCOPED_TRACE(c.name);
        for (bool from_dtstart : {false, true}) {
            work done = collect_rule(c.lines, c.start, c.duration, from_dtstart);
            EXPECT_EQ(c.shown, done.shown);
            EXPECT_EQ("", done.notes);
        }
    }
}
