// occurrence_table_test.cc: the display order of occurrences and their
// conversion into the display zone.
#include "renderer/occurrence_table.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

icalcomponent *parse_event(const std::string &lines)
{
    std::string text = "BEGIN:VEVENT\r\n" + lines + "END:VEVENT\r\n";
    icalcomponent *event = icalparser_parse_string(text.c_str());
    EXPECT_NE(nullptr, event);
    return event;
}

icaltimezone *zone(const char *name)
{
    return icaltimezone_get_builtin_timezone(name);
}

// A time from its iCalendar text; one without "Z" is placed in the zone given.
icaltimetype at(const char *text, icaltimezone *in = nullptr)
{
    if (text == nullptr)
        return icaltime_null_time();
    icaltimetype t = icaltime_from_string(text);
    if (in != nullptr)
        t = icaltime_set_timezone(&t, in);
    return t;
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

}  // namespace

// The keys of one record; the record borrows the recurrence id from it.
struct order_keys {
    icaltimetype start;
    icaltimetype end;
    const char *uid;
    icaltimetype recurrence_id;
};

static occurrence record_with(const order_keys &keys)
{
    return {keys.start, keys.end, keys.uid, {&keys.recurrence_id}, nullptr};
}

struct order_case {
    const char *name;
    order_keys a;
    order_keys b;
    int expected;   // sign of compare_occurrences(a, b)
};

TEST(compare_occurrences, keys_in_order)
{
    icaltimezone *new_york = zone("America/New_York");
    const icaltimetype none = icaltime_null_time();
    const order_case cases[] = {
        {"own date first: 23:00 New York on the 27th before 01:00 UTC on the 28th",
         {at("20020927T230000", new_york), at("20020927T233000", new_york), "a", none},
         {at("20020928T010000Z"), at("20020928T013000Z"), "a", none}, -1},
        {"same date: starts compare as instants across zones",
         {at("20020928T050000", new_york), at("20020928T060000", new_york), "a", none},
         {at("20020928T080000Z"), at("20020928T090000Z"), "a", none}, 1},
        {"same date: earlier start first",
         {at("20020928T100000Z"), at("20020928T230000Z"), "z", none},
         {at("20020928T110000Z"), at("20020928T113000Z"), "a", none}, -1},
        {"a date before a date-time of the same day",
         {at("20020928"), at("20020929"), "z", none},
         {at("20020928T000000Z"), at("20020928T000000Z"), "a", none}, -1},
        {"equal starts: earlier end first, before the UID",
         {at("20020928T100000Z"), at("20020928T110000Z"), "z", none},
         {at("20020928T100000Z"), at("20020928T120000Z"), "a", none}, -1},
        {"equal times: UIDs byte-wise, capitals first",
         {at("20020928T100000Z"), at("20020928T110000Z"), "B", none},
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", none}, -1},
        {"equal times: UIDs differing in case are different",
         {at("20020928T100000Z"), at("20020928T110000Z"), "meeting", none},
         {at("20020928T100000Z"), at("20020928T110000Z"), "Meeting", none}, 1},
        {"missing UID orders as the empty text",
         {at("20020928T100000Z"), at("20020928T110000Z"), nullptr, none},
         {at("20020928T100000Z"), at("20020928T110000Z"), "", none}, 0},
        {"missing UID before any UID",
         {at("20020928T100000Z"), at("20020928T110000Z"), nullptr, none},
         {at("20020928T100000Z"), at("20020928T110000Z"), "0", none}, -1},
        {"UID decides before the recurrence id",
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", at("20020928T100000Z")},
         {at("20020928T100000Z"), at("20020928T110000Z"), "b", none}, -1},
        {"without recurrence id before with one",
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", none},
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", at("20020928T100000Z")},
         -1},
        {"recurrence ids compare as times",
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", at("20020929T090000Z")},
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", at("20020928T100000Z")},
         1},
        {"equal in every key",
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", at("20020928T100000Z")},
         {at("20020928T100000Z"), at("20020928T110000Z"), "a", at("20020928T100000Z")},
         0},
    };
    for (const order_case &c : cases) {
        SCOPED_TRACE(c.name);
        occurrence a = record_with(c.a);
        occurrence b = record_with(c.b);
        EXPECT_EQ(c.expected, sign(compare_occurrences(&a, &b)));
        EXPECT_EQ(-c.expected, sign(compare_occurrences(&b, &a)));
    }
}

// The sort compares the times of one zone by their fields: every pair of
// starts and of ends, of one zone, of two zones, floating, dates and the
// null time, orders as libical's comparison orders it.
TEST(compare_occurrences, times_as_libical_orders_them)
{
    icaltimezone *new_york = zone("America/New_York");
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    const icaltimetype times[] = {
        at("20020928T100000Z"), at("20020928T100001Z"), at("20020928T095959Z"),
        at("20020928T060000", new_york), at("20020928T235959", new_york),
        at("20020928T100000"), at("20020928T000000"), at("20020928"), at("20020929"),
        at("20020927T230000", new_york), at("20020928T000000Z"), icaltime_null_time(),
        icaltime_convert_to_zone(at("20020928T100000Z"), utc)};
    const icaltimetype none = icaltime_null_time();
    for (const icaltimetype &x : times) {
        for (const icaltimetype &y : times) {
            SCOPED_TRACE(std::string(icaltime_as_ical_string(x)) + " and " +
                         icaltime_as_ical_string(y));
            int dates = compare_dates(x, y);
            const order_keys starts_x{x, x, "a", none}, starts_y{y, y, "a", none};
            occurrence a = record_with(starts_x), b = record_with(starts_y);
            EXPECT_EQ(sign(dates != 0 ? dates : icaltime_compare(x, y)),
                      sign(compare_occurrences(&a, &b)));
            // One start: the ends decide, then the recurrence ids.
            const order_keys ends_x{x, x, "a", x}, ends_y{x, y, "a", y};
            occurrence c = record_with(ends_x), d = record_with(ends_y);
            EXPECT_EQ(sign(icaltime_compare(x, y)), sign(compare_occurrences(&c, &d)));
        }
    }
}

TEST(add_occurrence, converts_into_the_display_zone)
{
    clear_occurrences();
    icaltimezone *new_york = zone("America/New_York");
    icalcomponent *event = parse_event(
        "UID:late\r\nDTSTART:20020928T013000Z\r\nRECURRENCE-ID:20020928T013000Z\r\n");
    icalcomponent *plain = parse_event("DTSTART;VALUE=DATE:20020928\r\n");
    add_occurrence(event, new_york, at("20020928T013000Z"), at("20020928T030000Z"));
    add_occurrence(plain, new_york, at("20020928"), at("20020929"));

    occurrence_view view = occurrence_records();
    ASSERT_EQ(2, view.record_count);
    const occurrence &late = view.records[0];
    EXPECT_EQ(std::string("20020927T213000"), icaltime_as_ical_string(late.start));
    EXPECT_EQ(new_york, late.start.zone);
    EXPECT_EQ(std::string("20020927T230000"), icaltime_as_ical_string(late.end));
    EXPECT_EQ(std::string("20020927T213000"), icaltime_as_ical_string(late.recurrence_id));
    EXPECT_EQ(icalcomponent_get_uid(event), late.uid);
    EXPECT_EQ(event, late.component);
    EXPECT_EQ(0, compare_dates(late.start, at("20020927")));

    const occurrence &all_day = view.records[1];
    EXPECT_TRUE(all_day.start.is_date);
    EXPECT_EQ(std::string("20020928"), icaltime_as_ical_string(all_day.start));
    EXPECT_EQ(nullptr, all_day.uid);
    EXPECT_TRUE(icaltime_is_null_time(all_day.recurrence_id));

    // In New York the late event belongs to the 27th, ahead of the all-day
    // event of the 28th, although in UTC both fall on the 28th.
    sort_occurrences();
    view = occurrence_records();
    EXPECT_EQ(event, view.records[0].component);
    clear_occurrences();
    icalcomponent_free(event);
    icalcomponent_free(plain);
}

TEST(sort_occurrences, keeps_document_order_of_equal_records)
{
    clear_occurrences();
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    std::vector<icalcomponent *> equal;
    std::vector<icalcomponent *> others;
    for (int i = 0; i < 40; i++) {
        std::string n = std::to_string(i);
        equal.push_back(parse_event("UID:same\r\nSUMMARY:equal " + n + "\r\n"));
        others.push_back(parse_event("UID:other" + n + "\r\nSUMMARY:other " + n + "\r\n"));
    }
    // Others go in at descending times, interleaved with the equal records,
    // so that the sort has to move every one of them.
    for (int i = 0; i < 40; i++) {
        icaltimetype t = at("20020928T120000Z");
        t.minute = 59 - i;
        add_occurrence(others[i], utc, t, t);
        add_occurrence(equal[i], utc, at("20020928T130000Z"), at("20020928T140000Z"));
    }
    sort_occurrences();
    occurrence_view view = occurrence_records();
    ASSERT_EQ(80, view.record_count);
    for (int i = 0; i < 40; i++) {
        EXPECT_EQ(others[39 - i], view.records[i].component) << i;
        EXPECT_EQ(equal[i], view.records[40 + i].component) << i;
    }
    clear_occurrences();
    for (icalcomponent *event : equal)
        icalcomponent_free(event);
    for (icalcomponent *event : others)
        icalcomponent_free(event);
}
