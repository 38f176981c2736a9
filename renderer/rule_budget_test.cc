// rule_budget_test.cc: the rule steps of one document, its zones and its
// events together, are bounded; zones whose rules never give a change are
// ignored as events' rules are dropped.
#include "renderer/rule_budget.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "renderer/rule_expansion.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/zone_rules.h"
#include "shared/time_zones.h"

namespace {

std::string calendar(const std::string &body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + body + "END:VCALENDAR\r\n";
}

std::string zone(const std::string &tzid, const char *dtstart, const char *rule)
{
    return "BEGIN:VTIMEZONE\r\nTZID:" + tzid + "\r\nBEGIN:STANDARD\r\nDTSTART:" + dtstart +
           "\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nRRULE:" + rule +
           "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
}

std::string event(const std::string &lines)
{
    return "BEGIN:VEVENT\r\n" + lines + "END:VEVENT\r\n";
}

long count_zones(icalcomponent *root)
{
    long zones = 0;
    for (icalcomponent *z = icalcomponent_get_first_component(root, ICAL_VTIMEZONE_COMPONENT);
         z != nullptr; z = icalcomponent_get_next_component(root, ICAL_VTIMEZONE_COMPONENT))
        zones++;
    return zones;
}

struct zone_case {
    const char *name;
    const char *rule;
    const char *note;   // empty when the zone is kept
};

TEST(zone_rules, observance_rules_judged_as_event_rules)
{
    const zone_case cases[] = {
        {"30 February, daily", "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30",
         "evtable: time zone Z ignored: its rule FREQ=DAILY;BYMONTHDAY=30;BYMONTH=2 never gives "
         "an instance\n"},
        {"31 April, yearly", "FREQ=YEARLY;BYMONTH=4;BYMONTHDAY=31",
         "evtable: time zone Z ignored: its rule FREQ=YEARLY;BYMONTHDAY=31;BYMONTH=4 never gives "
         "an instance\n"},
        {"a set position beyond the month", "FREQ=MONTHLY;BYDAY=SU;BYSETPOS=6",
         "evtable: time zone Z ignored: its rule FREQ=MONTHLY;BYDAY=SU;BYSETPOS=6 never gives an "
         "instance\n"},
        {"week numbers alone, which libical reads past its memory", "FREQ=YEARLY;BYWEEKNO=20",
         "evtable: time zone Z ignored: its rule FREQ=YEARLY;BYWEEKNO=20 is not supported\n"},
        {"last Sunday of October", "FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU", ""},
        {"29 February, daily, every fourth year", "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=29", ""},
    };
    for (const zone_case &c : cases) {
        SCOPED_TRACE(c.name);
        icalcomponent *root = icalparser_parse_string(
            calendar(zone("Z", "20051030T030000", c.rule) +
                     event("UID:e\r\nDTSTART;TZID=Z:20230612T100000\r\n"))
                .c_str());
        testing::internal::CaptureStderr();
        drop_unusable_zones(root, zone_coverage_year(2023));
        EXPECT_EQ(c.note, testing::internal::GetCapturedStderr());
        bool kept = *c.note == '\0';
        EXPECT_EQ(kept ? 1 : 0, count_zones(root));
        // The event's time follows the zone, or floats without it.
        icalcomponent *e = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
        icalproperty *start = icalcomponent_get_first_property(e, ICAL_DTSTART_PROPERTY);
        EXPECT_EQ(kept, icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER) != nullptr);
        continue_rule_budget();   // no collection follows: the next one starts afresh
        icalcomponent_free(root);
    }
}

// Zones that each cost libical thousands of steps (a daily rule over 27
// years) are kept while the document's steps last; the rest are ignored,
// and the whole costs at most the shared steps and each rule's own.
TEST(zone_rules, steps_of_zones_bounded)
{
    const long zones = 40;
    std::string body;
    for (long n = 0; n < zones; n++)
        body += zone("Z" + std::to_string(n), "20050101T030000", "FREQ=DAILY;BYMONTH=1");
    icalcomponent *root = icalparser_parse_string(calendar(body).c_str());
    testing::internal::CaptureStderr();
    drop_unusable_zones(root, zone_coverage_year(2023));
    std::string notes = testing::internal::GetCapturedStderr();
    long kept = count_zones(root);
    EXPECT_GT(kept, 10);
    EXPECT_LT(kept, zones);
    EXPECT_LE(rule_steps_charged(), RULE_STEPS_SHARED + zones * RULE_STEPS_EACH);
    EXPECT_NE(std::string::npos,
              notes.find("ignored: working its changes out takes too many steps\n"));
    EXPECT_EQ(notes.find("evtable: rules cut short"), notes.rfind("evtable: rules cut short"));
    continue_rule_budget();
    icalcomponent_free(root);
}

// Many events that would each take 100,000 instances in the period cost at
// most the shared steps and their own, with one note; an event that needs
// few steps, after them, keeps every occurrence.
TEST(rule_budget, events_share_the_document_steps)
{
    const long greedy = 30;
    std::string body;
    for (long n = 0; n < greedy; n++)
        body += event("UID:s" + std::to_string(n) + "\r\nDTSTART:20230606T000000Z\r\n"
                      "RRULE:FREQ=SECONDLY\r\n");
    body += event("UID:daily\r\nDTSTART:20230101T090000Z\r\nRRULE:FREQ=DAILY\r\n");
    icalcomponent *root = icalparser_parse_string(calendar(body).c_str());
    event_selection everything{};
    clear_occurrences();
    start_rule_budget();
    long long before = rule_calls_made();
    testing::internal::CaptureStderr();
    collect_occurrences(root, &everything, icaltimezone_get_utc_timezone(),
                        icaltime_from_string("20230605"), icaldurationtype_from_string("P5W"));
    std::string notes = testing::internal::GetCapturedStderr();
    long long taken = rule_calls_made() - before;
    // Three properties an event.
    EXPECT_LE(taken, RULE_STEPS_SHARED +
                         (greedy + 1) * (RULE_STEPS_EACH + 3 * RULE_STEPS_PER_PROPERTY));
    EXPECT_EQ(taken, rule_steps_charged());
    const std::string spent =
        "evtable: rules cut short: the document's 150000 shared rule steps are spent\n";
    EXPECT_NE(std::string::npos, notes.find(spent));
    EXPECT_EQ(notes.find(spent), notes.rfind(spent));
    occurrence_view view = occurrence_records();
    int daily = 0;
    for (int i = 0; i < view.record_count; i++)
        daily += std::string(view.records[i].uid) == "daily";
    EXPECT_EQ(35, daily);
    clear_occurrences();
    icalcomponent_free(root);
}

// A large calendar may cost what its size allows: each property of its
// events adds to the shared steps.
TEST(rule_budget, shared_steps_grow_with_the_calendar)
{
    std::string padding;
    for (int n = 0; n < 5000; n++)
        padding += "X-PAD:" + std::to_string(n) + "\r\n";
    icalcomponent *root = icalparser_parse_string(
        calendar(event("UID:s\r\nDTSTART:20230606T000000Z\r\nDURATION:-P30D\r\n"
                       "RRULE:FREQ=SECONDLY\r\n") +
                 event("UID:pad\r\n" + padding))
            .c_str());
    event_selection everything{};
    clear_occurrences();
    long long before = rule_calls_made();
    testing::internal::CaptureStderr();
    collect_occurrences(root, &everything, icaltimezone_get_utc_timezone(),
                        icaltime_from_string("20230605"), icaldurationtype_from_string("P5W"));
    std::string notes = testing::internal::GetCapturedStderr();
    long long taken = rule_calls_made() - before;
    EXPECT_GT(taken, RULE_STEPS_SHARED + RULE_STEPS_EACH + 4000 * RULE_STEPS_PER_PROPERTY);
    EXPECT_LE(taken, RULE_STEPS_SHARED + RULE_STEPS_EACH + 5010 * RULE_STEPS_PER_PROPERTY);
    clear_occurrences();
    icalcomponent_free(root);
}

}  // namespace
