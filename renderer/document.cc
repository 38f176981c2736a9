// document.cc: the document writer walks the sorted occurrences once,
// alongside the days it writes.
#include "renderer/document.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "renderer/event_block.h"
#include "renderer/html_text.h"
#include "renderer/locale_words.h"

static icaltimetype day_value(int year, int month, int day)
{
    char text[32];  // years are 1 to 9999: eight digits are written
    snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    return icaltime_from_string(text);
}

// The days of the period are those from its start's date to its end's date,
// both included: the end's day shows the occurrences that start at the end
// itself (whole-day ones, when the end is a date). The tables show whole
// months, so the days before and after are marked: no event is shown there,
// whether the calendar has some or not.
bool is_outside_period(icaltimetype day, icaltimetype start, icaltimetype end)
{
    return compare_dates(day, start) < 0 || compare_dates(day, end) > 0;
}

static void print_header_row(bool monday_first)
{
    put_literal("<thead><tr>\n");
    for (int column = 0; column < 7; column++) {
        put_literal("<th>");
        put_text(weekday_name((column + (monday_first ? 1 : 0)) % 7 + 1).c_str());
        put_literal("</th>");
    }
    put_literal("\n</tr></thead>\n");
}

// A text as a quoted CSS string inside a double-quoted attribute: quotes,
// backslashes and the bytes HTML would read are escaped the CSS way.
static void put_css_string(const std::string &text)
{
    put_byte('\'');
    for (char byte : text) {
        if (strchr("'\"\\<>&", byte) != nullptr) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\%x ", static_cast<unsigned char>(byte));
            put_text(escape);
        } else {
            put_byte(byte);
        }
    }
    put_byte('\'');
}

// The style sheet's weekday names on narrow screens (--column-1, Sunday, to
// --column-7) are English; in another language the table brings its own.
static void put_weekday_style()
{
    put_literal(" style=\"");
    for (int weekday = 1; weekday <= 7; weekday++) {
        put_literal("--column-");
        put_number(weekday, 1);
        put_byte(':');
        put_css_string(short_weekday_name(weekday));
        put_byte(';');
    }
    put_byte('"');
}

static void print_month_table(const render_settings *settings, occurrence_view table, int year,
                              int month, int *event_cursor)
{
    int first_weekday = settings->monday_first ? 2 : 1;
    icaltimetype first = day_value(year, month, 1);
    // The style sheet names each day's weekday by its column on narrow
    // screens; the class tells it which day the columns start with.
    put_literal("<table border");
    if (settings->monday_first)
        put_literal(" class=\"monday-first\"");
    if (!language_is_english())
        put_weekday_style();
    put_literal("><caption>");
    put_escaped(month_caption(year, month).c_str(), nullptr);
    put_literal("</caption>\n");
    print_header_row(settings->monday_first);
    put_literal("<tbody><tr>\n");
    int skip_cells = (icaltime_day_of_week(first) - first_weekday + 7) % 7;
    for (int i = 0; i < skip_cells; i++)
        put_literal("<td class=\"skip\">&nbsp;</td>\n");

    // An occurrence's start is already in the display zone, and its own date
    // is the day it is shown on.
    while (*event_cursor < table.record_count &&
           compare_dates(table.records[*event_cursor].start, first) < 0)
        ++*event_cursor;

    int days = icaltime_days_in_month(month, year);
    icaltimetype end = period_end(settings);
    for (int d = 1; d <= days; d++) {
        icaltimetype day = day_value(year, month, d);
        if (d != 1 && icaltime_day_of_week(day) == first_weekday)
            put_literal("</tr><tr>\n");
        put_literal("<td");
        if (settings->mark_today && compare_dates(day, settings->today) == 0)
            put_literal(" id=\"today\"");
        if (is_outside_period(day, settings->period_start, end))
            put_literal(" class=\"outside\"");
        put_literal("><p class=\"date\">");
        put_number(d, 1);
        put_literal("</p>\n\n");
        while (*event_cursor < table.record_count &&
               compare_dates(table.records[*event_cursor].start, day) == 0) {
            print_event_block(&table.records[*event_cursor], settings);
            ++*event_cursor;
        }
        put_literal("</td>\n");
    }
    put_literal("</tr></tbody></table>\n\n");
}

// With --limit, the records shown: the first limit ones of the period's
// days, and the rest of the last one's day, so that no day is cut in half.
// Records of days before the period's start (the earlier days of an event
// that began before it) are shown by the tables but not counted.
static occurrence_view limited_records(const render_settings *settings, occurrence_view table)
{
    if (settings->limit <= 0)
        return table;
    long counted = 0;
    int i = 0;
    for (; i < table.record_count && counted < settings->limit; i++) {
        if (compare_dates(table.records[i].start, settings->period_start) >= 0)
            counted++;
    }
    while (i < table.record_count &&
           compare_dates(table.records[i].start, table.records[i - 1].start) == 0)
        i++;
    table.record_count = i;
    return table;
}

// The list: a section for each day of the period that has occurrences, its
// heading the day's full date in the document's language; nothing for the
// other days.
static void print_day_list(const render_settings *settings, occurrence_view table)
{
    icaltimetype end = period_end(settings);
    put_literal("<div class=\"event-list\">\n");
    int i = 0;
    while (i < table.record_count) {
        icaltimetype day = table.records[i].start;
        int next = i + 1;
        while (next < table.record_count && compare_dates(table.records[next].start, day) == 0)
            next++;
        if (!is_outside_period(day, settings->period_start, end)) {
            put_literal("<section class=\"day\"");
            if (settings->mark_today && compare_dates(day, settings->today) == 0)
                put_literal(" id=\"today\"");
            put_literal("><h2><time datetime=\"");
            put_number(day.year, 4);
            put_byte('-');
            put_number(day.month, 2);
            put_byte('-');
            put_number(day.day, 2);
            put_literal("\">");
            put_escaped(day_heading(day.year, day.month, day.day).c_str(), nullptr);
            put_literal("</time></h2>\n\n");
            for (int k = i; k < next; k++)
                print_event_block(&table.records[k], settings);
            put_literal("</section>\n\n");
        }
        i = next;
    }
    put_literal("</div>\n");
}

// The tables from the month of the period start to that of its end, both
// included; none when the end lies in an earlier year or month.
static void print_month_tables(const render_settings *settings, occurrence_view table)
{
    icaltimetype start = settings->period_start;
    icaltimetype end = period_end(settings);
    int event_cursor = 0;
    for (int year = start.year; year <= end.year; year++) {
        int first_month = year == start.year ? start.month : 1;
        int last_month = year == end.year ? end.month : 12;
        for (int month = first_month; month <= last_month; month++)
            print_month_table(settings, table, year, month, &event_cursor);
    }
}

// The publisher's own lines around the tables are written unchanged, like
// the footer.
static void put_line_if_given(const char *text)
{
    if (text != nullptr) {
        put_text(text);
        put_byte('\n');
    }
}

void print_document(const render_settings *settings, occurrence_view table)
{
    put_literal("<!DOCTYPE HTML>\n");
    choose_language(settings->lang);
    forget_block_ids();
    forget_kept_properties();
    if (settings->lang != nullptr) {
        put_literal("<html lang=\"");
        put_text(settings->lang);
        if (language_is_right_to_left())
            put_literal("\" dir=\"rtl");
        put_literal("\">\n");
    } else {
        put_literal("<html>\n");
    }
    put_literal("<head>\n");
    put_literal("<meta charset=\"UTF-8\" />\n");
    put_literal("<title>");
    if (settings->title != nullptr) {
        put_escaped(settings->title, nullptr);
    } else {
        icaltimetype start = settings->period_start;
        icaltimetype end = period_end(settings);
        std::string title = title_word() + ' ' + title_date(start.year, start.month, start.day) +
                            " - " + title_date(end.year, end.month, end.day);
        put_escaped(title.c_str(), nullptr);
    }
    put_literal("</title>\n");
    put_literal("<link rel=\"stylesheet\" type=\"text/css\" href=\"calendar.css\" />\n");
    put_line_if_given(settings->head);
    put_literal("</head>\n");
    put_literal("<body>\n");
    put_line_if_given(settings->header);
    occurrence_view shown = limited_records(settings, table);
    if (settings->list)
        print_day_list(settings, shown);
    else
        print_month_tables(settings, shown);
    if (settings->footer != nullptr) {
        put_text(settings->footer);
        put_byte('\n');
    }
    put_literal("</body>\n");
    put_literal("</html>\n");
}
