// document_test.cc: the today mark and the placing of occurrences by
// their display-zone date, on documents written to a temporary file.
#include "renderer/document.h"

#include <cstdio>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "renderer/occurrence_table.h"
#include "tests/test_helpers.h"

namespace {

std::string document_text(const render_settings &settings)
{
    return standard_output_of([&] { print_document(&settings, occurrence_records()); });
}

render_settings september_2002()
{
    render_settings settings{};
    settings.display_zone = icaltimezone_get_utc_timezone();
    settings.period_start = icaltime_from_string("20020927");
    settings.period_duration = icaldurationtype_from_string("P1W");
    return settings;
}

size_t count(const std::string &text, const std::string &part)
{
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        found++;
    return found;
}

struct today_case {
    const char *name;
    bool mark_today;
    const char *today;        // display-zone wall clock
    const char *marked_cell;  // the cell's first bytes, or null for none
};

const today_case TODAY_CASES[] = {
    {"marked day", true, "20020927T103000", "<td id=\"today\"><p class=\"date\">27</p>"},
    {"late evening stays on its own date", true, "20020930T233000",
     "<td id=\"today\"><p class=\"date\">30</p>"},
    {"a day in the next month's table", true, "20021003T000000",
     "<td id=\"today\"><p class=\"date\">3</p>"},
    {"no mark without the option", false, "20020927T103000", nullptr},
    {"today outside the tables", true, "20030101T120000", nullptr},
};

TEST(print_document, today_mark)
{
    for (const today_case &c : TODAY_CASES) {
        SCOPED_TRACE(c.name);
        clear_occurrences();
        render_settings settings = september_2002();
        settings.mark_today = c.mark_today;
        settings.today = icaltime_from_string(c.today);
        std::string text = document_text(settings);
        if (c.marked_cell == nullptr) {
            EXPECT_EQ(0u, count(text, "id=\"today\""));
        } else {
            EXPECT_EQ(1u, count(text, "id=\"today\""));
            EXPECT_NE(std::string::npos, text.find(c.marked_cell));
        }
    }
}

// An event at 01:30 UTC on the 28th, shown in New York, is at 21:30 on the
// 27th and stands in the 27th's cell; in Tokyo one at 23:00 UTC on the 27th
// is at 08:00 on the 28th.
struct placing_case {
    const char *name;
    const char *zone;
    const char *start_utc;
    const char *cell;
    const char *shown_time;
};

const placing_case PLACING_CASES[] = {
    {"west of UTC", "America/New_York", "20020928T013000Z", "<p class=\"date\">27</p>", ">21:30<"},
    {"east of UTC", "Asia/Tokyo", "20020927T230000Z", "<p class=\"date\">28</p>", ">08:00<"},
    {"UTC", "UTC", "20020927T230000Z", "<p class=\"date\">27</p>", ">23:00<"},
};

TEST(print_document, occurrence_in_its_display_zone_cell)
{
    for (const placing_case &c : PLACING_CASES) {
        SCOPED_TRACE(c.name);
        clear_occurrences();
        std::string lines = std::string("BEGIN:VEVENT\r\nUID:x\r\nDTSTART:") + c.start_utc +
                            "\r\nSUMMARY:S\r\nEND:VEVENT\r\n";
        icalcomponent *event = icalparser_parse_string(lines.c_str());
        icaltimetype start = icalcomponent_get_dtstart(event);
        icaltimezone *zone = icaltimezone_get_builtin_timezone(c.zone);
        add_occurrence(event, zone, start, start);
        sort_occurrences();
        render_settings settings = september_2002();
        settings.display_zone = zone;
        std::string text = document_text(settings);
        size_t cell = text.find(c.cell);
        size_t block = text.find("<div class=\"vevent");
        ASSERT_NE(std::string::npos, cell);
        ASSERT_NE(std::string::npos, block);
        EXPECT_LT(cell, block);
        EXPECT_GT(text.find("<p class=\"date\">", cell + 1), block);
        EXPECT_NE(std::string::npos, text.find(c.shown_time));
        clear_occurrences();
        icalcomponent_free(event);
    }
}

// The cells of the tables' days that lie outside the period.
struct outside_case {
    const char *name;
    const char *start;
    const char *duration;
    size_t outside_cells;
    const char *inside;   // a cell without the mark
};

const outside_case OUTSIDE_CASES[] = {
    {"whole months from a date", "20261101", "P60DT23H59M59S", 0, "<td><p class=\"date\">1</p>"},
    {"whole months from a time", "20261101T000000", "P60DT23H59M59S", 0,
     "<td><p class=\"date\">1</p>"},
    {"the end's own day is in", "20261101", "P29D", 0, "<td><p class=\"date\">1</p>"},
    {"nine weeks from the first", "20261101", "P9W", 28, "<td><p class=\"date\">1</p>"},
    {"a start in the month", "20020927", "P1W", 26 + 27, "<td><p class=\"date\">27</p>"},
    // An occurrence that starts at the end itself is shown.
    {"an end at midnight", "20261101T000000", "P1D", 28, "<td><p class=\"date\">2</p>"},
};

TEST(print_document, days_outside_the_period)
{
    for (const outside_case &c : OUTSIDE_CASES) {
        SCOPED_TRACE(c.name);
        clear_occurrences();
        render_settings settings = september_2002();
        settings.period_start = icaltime_from_string(c.start);
        settings.period_duration = icaldurationtype_from_string(c.duration);
        std::string text = document_text(settings);
        EXPECT_EQ(c.outside_cells, count(text, "<td class=\"outside\">"));
        EXPECT_NE(std::string::npos, text.find(c.inside));
    }
}

}  // namespace
