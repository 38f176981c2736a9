// calendar_input_test.cc: the line source, the parse step's failures and the nesting limit.
#include "shared/calendar_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "shared/fatal.h"

namespace {

// A read-only stream over text; the text must outlive it.
FILE *stream_over(const std::string &text)
{
    // fmemopen refuses a zero size: an empty text gets /dev/null instead.
    if (text.empty())
        return fopen("/dev/null", "r");
    return fmemopen(const_cast<char *>(text.data()), text.size(), "r");
}

// A stream that gives the text and then fails with EIO, as a disk or a
// terminal that hangs up does; the text must outlive it.
struct failing_source {
    const std::string *text;
    size_t offset;
};

ssize_t read_then_fail(void *cookie, char *buffer, size_t size)
{
    failing_source *source = static_cast<failing_source *>(cookie);
    size_t left = source->text->size() - source->offset;
    if (left == 0) {
        errno = EIO;
        return -1;
    }
    size_t count = std::min(size, left);
    memcpy(buffer, source->text->data() + source->offset, count);
    source->offset += count;
    return static_cast<ssize_t>(count);
}

FILE *stream_failing_after(const std::string &text)
{
    static failing_source source;
    source = {&text, 0};
    cookie_io_functions_t functions = {read_then_fail, nullptr, nullptr, nullptr};
    return fopencookie(&source, "r", functions);
}

// A calendar whose components nest depth levels: VCALENDAR, then VEVENTs.
std::string nested_calendar(int depth)
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
    for (int level = 2; level <= depth; level++)
        text += "BEGIN:VEVENT\r\n";
    for (int level = 2; level <= depth; level++)
        text += "END:VEVENT\r\n";
    text += "END:VCALENDAR\r\n";
    return text;
}

// Builds a tree from a shape such as "(()(()))": each pair of parentheses is
// a component, nested pairs are its children in order.
icalcomponent *tree_of_shape(const char *&shape)
{
    EXPECT_EQ('(', *shape);
    shape++;
    icalcomponent *component = icalcomponent_new(ICAL_VEVENT_COMPONENT);
    while (*shape == '(')
        icalcomponent_add_component(component, tree_of_shape(shape));
    EXPECT_EQ(')', *shape);
    shape++;
    return component;
}

int levels_below(icalcomponent *component)
{
    int deepest = 0;
    for (icalcomponent *child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT);
         child != nullptr;
         child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
        deepest = std::max(deepest, levels_below(child));
    return deepest + 1;
}

}  // namespace

struct line_case {
    const char *name;
    std::string input;
    size_t size;
    std::vector<std::string> pieces;  // what each call gives until it returns null
};

static const line_case LINE_CASES[] = {
    {"empty input gives null at once", "", 16, {}},
    {"lines keep their line ends", "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n", 64,
     {"BEGIN:VCALENDAR\r\n", "END:VCALENDAR\r\n"}},
    {"last line without newline", "ab\ncd", 16, {"ab\n", "cd"}},
    {"long line comes in pieces of size - 1", "abcdefghij\nxy\n", 5,
     {"abcd", "efgh", "ij\n", "xy\n"}},
    {"line of exactly size - 1 bytes leaves its newline", "abcd\nef", 5, {"abcd", "\n", "ef"}},
    {"line of size - 2 bytes and newline fits", "abc\n", 5, {"abc\n"}},
    {"empty lines", "\n\n", 8, {"\n", "\n"}},
};

TEST(read_stream_line, behaves_as_fgets)
{
    for (const line_case &c : LINE_CASES) {
        SCOPED_TRACE(c.name);
        FILE *stream = stream_over(c.input);
        ASSERT_NE(nullptr, stream);
        std::vector<char> buffer(c.size, 'X');
        std::vector<std::string> pieces;
        for (;;) {
            char *result = read_stream_line(buffer.data(), buffer.size(), stream);
            if (result == nullptr)
                break;
            EXPECT_EQ(buffer.data(), result);
            ASSERT_NE(nullptr, memchr(buffer.data(), '\0', buffer.size()));
            pieces.emplace_back(buffer.data());
            ASSERT_LE(pieces.size(), c.pieces.size() + 1);
        }
        EXPECT_EQ(c.pieces, pieces);
        fclose(stream);
    }
}

// Parses text as a program parses its input, named "test.ics".
parsed_calendar parse_text(const std::string &text)
{
    set_libical_error_mode();
    FILE *stream = stream_over(text);
    parsed_calendar parsed = parse_calendar_stream(stream, "test.ics");
    fclose(stream);
    return parsed;
}

void free_parsed(parsed_calendar parsed)
{
    icalcomponent_free(parsed.root);
    icalparser_free(parsed.parser);
}

TEST(parse_calendar_stream, returns_the_calendar)
{
    std::string text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:one\r\nSUMMARY:Lunch\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n";
    parsed_calendar parsed = parse_text(text);
    ASSERT_NE(nullptr, parsed.root);
    ASSERT_NE(nullptr, parsed.parser);
    EXPECT_EQ(ICAL_VCALENDAR_COMPONENT, icalcomponent_isa(parsed.root));
    icalcomponent *event = icalcomponent_get_first_component(parsed.root, ICAL_VEVENT_COMPONENT);
    ASSERT_NE(nullptr, event);
    EXPECT_STREQ("one", icalcomponent_get_uid(event));
    EXPECT_STREQ("Lunch", icalcomponent_get_summary(event));
    free_parsed(parsed);
}

static std::string with_nul(const char *before, const char *after)
{
    return std::string(before) + '\0' + after;
}

struct parse_failure_case {
    const char *name;
    std::string input;
    const char *message;   // a regular expression of the whole standard error
};

#define CALENDAR_LINES "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
#define EVENT_LINES "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20021002T100000Z\r\nEND:VEVENT\r\n"
#define WHOLE_CALENDAR CALENDAR_LINES EVENT_LINES "END:VCALENDAR\r\n"

static const parse_failure_case PARSE_FAILURE_CASES[] = {
    {"empty stream", "", "^Parse error: test.ics holds no calendar\n$"},
    {"blank lines", "\r\n\r\n", "^Parse error: test.ics holds no calendar\n$"},
    {"text that is no calendar", "Dear all,\r\nlunch is at noon.\r\n",
     "^Parse error: test.ics holds no calendar\n$"},
    {"an END alone", "END:VCALENDAR\r\n", "Parse error: test.ics holds no calendar\n$"},
    {"a lone byte that could begin a byte order mark", "\xEF",
     "^Parse error: test.ics holds no calendar\n$"},
    {"calendar without its END", CALENDAR_LINES EVENT_LINES,
     "^Parse error: test.ics ends inside an unfinished calendar\n$"},
    {"cut inside an event", CALENDAR_LINES "BEGIN:VEVENT\r\nUID:a\r\nDTST",
     "^Parse error: test.ics ends inside an unfinished calendar\n$"},
    {"line ends of CR alone", "BEGIN:VCALENDAR\rVERSION:2.0\rEND:VCALENDAR\r",
     "^Parse error: test.ics ends inside an unfinished calendar\n$"},
    {"a whole calendar, then one cut short", WHOLE_CALENDAR CALENDAR_LINES EVENT_LINES,
     "^Parse error: test.ics ends inside an unfinished calendar\n$"},
    {"UTF-16, little-endian", std::string("\xFF\xFE" "B\0E\0G\0I\0N\0:\0", 14),
     "^Parse error: test.ics is UTF-16; iCalendar files are UTF-8\n$"},
    {"UTF-16, big-endian", std::string("\xFE\xFF\0B\0E\0G\0I\0N\0:", 14),
     "^Parse error: test.ics is UTF-16; iCalendar files are UTF-8\n$"},
    {"UTF-16 mark alone", "\xFF\xFE", "^Parse error: test.ics is UTF-16; iCalendar files are UTF-8\n$"},
    {"NUL first", with_nul("", WHOLE_CALENDAR),
     "^Parse error: NUL byte at line 1\n$"},
    {"NUL inside a value on line 5",
     with_nul(CALENDAR_LINES "BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:before", "after\r\nEND:VEVENT\r\n"),
     "^Parse error: NUL byte at line 5\n$"},
    {"NUL after the last line end", with_nul(WHOLE_CALENDAR, ""),
     "^Parse error: NUL byte at line 8\n$"},
    {"NUL in a folded line counts its own line",
     with_nul(CALENDAR_LINES "BEGIN:VEVENT\r\nSUMMARY:a\r\n b\r\n c", "\r\n"),
     "^Parse error: NUL byte at line 6\n$"},
    {"lines are counted by LF alone", with_nul("a\rb\rc", ""), "^Parse error: NUL byte at line 1\n$"},
    {"NUL after bytes that begin a byte order mark", with_nul("\xEF\xBB\n", ""),
     "^Parse error: NUL byte at line 2\n$"},
    {"NUL after a lone byte of a UTF-16 mark", with_nul("\xFE", ""),
     "^Parse error: NUL byte at line 1\n$"},
    {"NUL after a UTF-8 byte order mark", with_nul("\xEF\xBB\xBF", ""),
     "^Parse error: NUL byte at line 1\n$"},
    {"UTF-16 without a mark", std::string("B\0E\0G\0I\0N\0", 10), "^Parse error: NUL byte at line 1\n$"},
};

TEST(parse_calendar_stream, failures_say_what_happened)
{
    for (const parse_failure_case &c : PARSE_FAILURE_CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(parse_text(c.input), testing::ExitedWithCode(4), c.message);
    }
}

TEST(parse_calendar_stream, names_standard_input)
{
    EXPECT_EXIT(
        {
            set_libical_error_mode();
            parse_calendar_stream(stream_over(""), "standard input");
        },
        testing::ExitedWithCode(4), "^Parse error: standard input holds no calendar\n$");
}

TEST(parse_calendar_stream, skips_a_utf8_byte_order_mark)
{
    parsed_calendar plain = parse_text(WHOLE_CALENDAR);
    parsed_calendar marked = parse_text("\xEF\xBB\xBF" WHOLE_CALENDAR);
    EXPECT_STREQ(icalcomponent_as_ical_string(plain.root), icalcomponent_as_ical_string(marked.root));
    EXPECT_EQ(1, icalcomponent_count_components(marked.root, ICAL_VEVENT_COMPONENT));
    free_parsed(plain);
    free_parsed(marked);
}

// The line source reads ahead in blocks: a line that spans two blocks comes
// whole, and one longer than a block comes in the parser's pieces.
TEST(parse_calendar_stream, lines_across_blocks)
{
    for (size_t length : {65536 - 40, 65536 - 20, 65536 + 10, 3 * 65536}) {
        SCOPED_TRACE(length);
        std::string description(length, 'x');
        parsed_calendar parsed = parse_text(CALENDAR_LINES "BEGIN:VEVENT\r\nUID:a\r\nDESCRIPTION:" +
                                            description + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        icalcomponent *event = icalcomponent_get_first_component(parsed.root, ICAL_VEVENT_COMPONENT);
        ASSERT_NE(nullptr, event);
        EXPECT_EQ(description, icalcomponent_get_description(event));
        free_parsed(parsed);
    }
}

// A stream of several calendars, or with components outside a calendar, must
// give what libical makes of the one calendar that holds them all in stream
// order, with the first calendar's properties and those of later calendars
// whose names it has not.
struct stream_case {
    const char *name;
    const char *stream;
    const char *one_calendar;
};

#define ZONE(tzid)                                                                       \
    "BEGIN:VTIMEZONE\r\nTZID:" tzid "\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n" \
    "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
#define EVENT(uid) "BEGIN:VEVENT\r\nUID:" uid "\r\nDTSTART:20021002T100000Z\r\nEND:VEVENT\r\n"
#define TODO(uid) "BEGIN:VTODO\r\nUID:" uid "\r\nEND:VTODO\r\n"
#define BEGIN_CALENDAR(prodid) "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:" prodid "\r\n"
#define END_CALENDAR "END:VCALENDAR\r\n"

static const stream_case STREAM_CASES[] = {
    {"one calendar", BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") ZONE("Z2") EVENT("e2") END_CALENDAR,
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") ZONE("Z2") EVENT("e2") END_CALENDAR},
    {"two calendars",
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") ZONE("Z2") EVENT("e2") END_CALENDAR
     BEGIN_CALENDAR("B") EVENT("e3") ZONE("Z3") EVENT("e4") ZONE("Z4") END_CALENDAR,
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") ZONE("Z2") EVENT("e2")
     EVENT("e3") ZONE("Z3") EVENT("e4") ZONE("Z4") END_CALENDAR},
    {"the same calendar twice",
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") END_CALENDAR
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") END_CALENDAR,
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") ZONE("Z1") EVENT("e1") END_CALENDAR},
    {"three calendars, the middle one empty",
     BEGIN_CALENDAR("A") EVENT("e1") END_CALENDAR BEGIN_CALENDAR("B") END_CALENDAR
     BEGIN_CALENDAR("C") ZONE("Z1") EVENT("e2") END_CALENDAR,
     BEGIN_CALENDAR("A") EVENT("e1") ZONE("Z1") EVENT("e2") END_CALENDAR},
    {"an event after END:VCALENDAR", BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") END_CALENDAR EVENT("e2"),
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") EVENT("e2") END_CALENDAR},
    {"zones and events between calendars",
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") END_CALENDAR ZONE("Z2") EVENT("e2")
     BEGIN_CALENDAR("B") ZONE("Z3") EVENT("e3") END_CALENDAR ZONE("Z4"),
     BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e1") ZONE("Z2") EVENT("e2") ZONE("Z3") EVENT("e3")
     ZONE("Z4") END_CALENDAR},
    {"an event before the calendar takes the calendar's properties",
     EVENT("e1") BEGIN_CALENDAR("A") ZONE("Z1") EVENT("e2") END_CALENDAR
     BEGIN_CALENDAR("B") EVENT("e3") END_CALENDAR,
     BEGIN_CALENDAR("A") EVENT("e1") ZONE("Z1") EVENT("e2") EVENT("e3") END_CALENDAR},
    {"a later calendar adds the properties of new names",
     BEGIN_CALENDAR("A") "X-WR-CALNAME:One\r\n" EVENT("e1") END_CALENDAR
     BEGIN_CALENDAR("B") "X-WR-CALNAME:Two\r\nX-WR-TIMEZONE:Europe/Paris\r\nCOLOR:teal\r\n"
     EVENT("e2") END_CALENDAR
     BEGIN_CALENDAR("C") "COLOR:navy\r\nMETHOD:PUBLISH\r\n" END_CALENDAR,
     BEGIN_CALENDAR("A") "X-WR-CALNAME:One\r\nX-WR-TIMEZONE:Europe/Paris\r\nCOLOR:teal\r\n"
     "METHOD:PUBLISH\r\n" EVENT("e1") EVENT("e2") END_CALENDAR},
    {"a bare event", EVENT("e1"), "BEGIN:VCALENDAR\r\n" EVENT("e1") END_CALENDAR},
    {"bare zones and events", ZONE("Z1") EVENT("e1") ZONE("Z2") EVENT("e2"),
     "BEGIN:VCALENDAR\r\n" ZONE("Z1") EVENT("e1") ZONE("Z2") EVENT("e2") END_CALENDAR},
    {"other components outside a calendar are dropped",
     TODO("t1") BEGIN_CALENDAR("A") EVENT("e1") TODO("t2") END_CALENDAR TODO("t3") EVENT("e2"),
     BEGIN_CALENDAR("A") EVENT("e1") TODO("t2") EVENT("e2") END_CALENDAR},
    {"nothing but other components", TODO("t1") TODO("t2"), "BEGIN:VCALENDAR\r\n" END_CALENDAR},
};

TEST(parse_calendar_stream, takes_every_calendar_of_the_stream)
{
    for (const stream_case &c : STREAM_CASES) {
        SCOPED_TRACE(c.name);
        parsed_calendar parsed = parse_text(c.stream);
        icalcomponent *expected = icalparser_parse_string(c.one_calendar);
        ASSERT_NE(nullptr, expected);
        EXPECT_EQ(ICAL_VCALENDAR_COMPONENT, icalcomponent_isa(parsed.root));
        EXPECT_EQ(nullptr, icalcomponent_get_parent(parsed.root));
        EXPECT_STREQ(icalcomponent_as_ical_string(expected), icalcomponent_as_ical_string(parsed.root));
        icalcomponent_free(expected);
        free_parsed(parsed);
    }
}

// The zones taken from a later calendar define their TZIDs in the one
// calendar, as the zones of the first do.
TEST(parse_calendar_stream, zones_of_every_calendar_are_found)
{
    parsed_calendar parsed = parse_text(BEGIN_CALENDAR("A") ZONE("Z1") END_CALENDAR ZONE("Z2")
                                            BEGIN_CALENDAR("B") ZONE("Z3") END_CALENDAR);
    for (const char *tzid : {"Z1", "Z2", "Z3"}) {
        SCOPED_TRACE(tzid);
        icaltimezone *zone = icalcomponent_get_timezone(parsed.root, tzid);
        ASSERT_NE(nullptr, zone);
        EXPECT_STREQ(tzid, icaltimezone_get_tzid(zone));
    }
    free_parsed(parsed);
}

#define ZONE_AT(tzid, offset)                                                            \
    "BEGIN:VTIMEZONE\r\nTZID:" tzid "\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n" \
    "TZOFFSETFROM:" offset "\r\nTZOFFSETTO:" offset "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"

// count zones of TZIDs Z<first>... and an event after each.
static std::string zones_and_events(int first, int count)
{
    std::string text;
    for (int i = first; i < first + count; i++) {
        std::string n = std::to_string(i);
        text += "BEGIN:VTIMEZONE\r\nTZID:Z" + n +
                "\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\nTZOFFSETFROM:+0200\r\n"
                "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n" EVENT("e") ;
    }
    return text;
}

struct zone_stream_case {
    const char *name;
    bool first_wins;
    std::string stream;
    std::string one_calendar;
};

// Where the first definition of a TZID wins, a later one is dropped from
// whichever calendar of the stream it comes; otherwise every zone is kept.
// Calendars of many zones after the first are moved by rebuilding them.
TEST(parse_calendar_stream, first_definition_of_a_tzid_wins_when_asked)
{
    const zone_stream_case cases[] = {
        {"a later calendar's zone of the same TZID", true,
         BEGIN_CALENDAR("A") ZONE_AT("Z", "-0400") EVENT("e1") END_CALENDAR
         BEGIN_CALENDAR("B") ZONE_AT("Z", "+0000") EVENT("e2") END_CALENDAR,
         BEGIN_CALENDAR("A") ZONE_AT("Z", "-0400") EVENT("e1") EVENT("e2") END_CALENDAR},
        {"kept when not asked", false,
         BEGIN_CALENDAR("A") ZONE_AT("Z", "-0400") END_CALENDAR
         BEGIN_CALENDAR("B") ZONE_AT("Z", "+0000") END_CALENDAR,
         BEGIN_CALENDAR("A") ZONE_AT("Z", "-0400") ZONE_AT("Z", "+0000") END_CALENDAR},
        {"twice in the first calendar", true,
         BEGIN_CALENDAR("A") ZONE_AT("Z", "-0400") ZONE("Y") ZONE_AT("Z", "+0000") EVENT("e1")
         END_CALENDAR,
         BEGIN_CALENDAR("A") ZONE_AT("Z", "-0400") ZONE("Y") EVENT("e1") END_CALENDAR},
        {"a zone outside the calendars", true,
         ZONE_AT("Z", "-0400") BEGIN_CALENDAR("A") ZONE_AT("Z", "+0000") EVENT("e1") END_CALENDAR
         ZONE_AT("Z", "+0100"),
         BEGIN_CALENDAR("A") ZONE_AT("Z", "-0400") EVENT("e1") END_CALENDAR},
        {"100 zones behind an empty first calendar", false,
         BEGIN_CALENDAR("A") END_CALENDAR BEGIN_CALENDAR("B") + zones_and_events(0, 100) +
             END_CALENDAR,
         BEGIN_CALENDAR("A") + zones_and_events(0, 100) + END_CALENDAR},
        {"100 zones twice, in two calendars", true,
         BEGIN_CALENDAR("A") + zones_and_events(0, 50) + END_CALENDAR BEGIN_CALENDAR("B") +
             zones_and_events(0, 100) + END_CALENDAR,
         BEGIN_CALENDAR("A") + zones_and_events(0, 50) + std::string(50, ' ') + "|" +
             zones_and_events(50, 50) + END_CALENDAR},
    };
    for (const zone_stream_case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string one_calendar = c.one_calendar;
        // The second calendar's first 50 zones go, its 50 events stay.
        size_t gap = one_calendar.find(std::string(50, ' ') + "|");
        if (gap != std::string::npos) {
            std::string events;
            for (int i = 0; i < 50; i++)
                events += EVENT("e");
            one_calendar.replace(gap, 51, events);
        }
        keep_first_zone_definitions(c.first_wins);
        parsed_calendar parsed = parse_text(c.stream);
        keep_first_zone_definitions(false);
        icalcomponent *expected = icalparser_parse_string(one_calendar.c_str());
        ASSERT_NE(nullptr, expected);
        EXPECT_STREQ(icalcomponent_as_ical_string(expected), icalcomponent_as_ical_string(parsed.root));
        icalcomponent_free(expected);
        free_parsed(parsed);
    }
}

// A line that no cut keeps as libical reads it: its values past libical's
// limit are named on standard error.
TEST(parse_calendar_stream, values_no_cut_saves_are_reported)
{
    struct dropped_case { int quoted; const char *note; };
    static const dropped_case CASES[] = {
        {1200, "test: CATEGORIES: 701 values of one line dropped: libical keeps 500\n"},
        {500, "test: CATEGORIES: 1 value of one line dropped: libical keeps 500\n"},
    };
    for (const dropped_case &c : CASES) {
        SCOPED_TRACE(c.quoted);
        std::string line = "CATEGORIES:";
        for (int i = 0; i < c.quoted; i++)
            line += "\"q\"" + std::to_string(i) + "\",";
        line += "p";
        set_program_name("test", 1);
        testing::internal::CaptureStderr();
        parsed_calendar parsed = parse_text("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\n" + line +
                                            "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        EXPECT_EQ(c.note, testing::internal::GetCapturedStderr());
        icalcomponent *event = icalcomponent_get_first_component(parsed.root, ICAL_VEVENT_COMPONENT);
        EXPECT_EQ(500, icalcomponent_count_properties(event, ICAL_CATEGORIES_PROPERTY));
        free_parsed(parsed);
    }
}

// A read error ends the parse even where the text before it is a whole
// calendar: what was read must not pass for the whole input.
TEST(parse_calendar_stream, read_error_is_a_parse_error)
{
    const std::string whole = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:a\r\n"
                              "END:VEVENT\r\nEND:VCALENDAR\r\n";
    struct read_error_case {
        const char *name;
        std::string input;
    };
    const read_error_case cases[] = {
        {"error in the middle of an event", whole.substr(0, 40)},
        {"error after the whole calendar", whole},
        {"error at the first read", ""},
    };
    for (const read_error_case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                set_libical_error_mode();
                parse_calendar_stream(stream_failing_after(c.input), "test input");
            },
            testing::ExitedWithCode(4), "^Parse error: .*Input/output error\n$");
    }
}

// The fuzz targets' hook: report_and_exit hands it the status after the
// message, instead of ending the process itself.
[[noreturn]] static void exit_with_marked_status(int status)
{
    _exit(100 + status);
}

TEST(parse_calendar_stream, failure_reaches_the_fatal_hook)
{
    EXPECT_EXIT(
        {
            set_libical_error_mode();
            set_fatal_hook(exit_with_marked_status);
            parse_calendar_stream(stream_over("no calendar\r\n"), "test input");
        },
        testing::ExitedWithCode(104), "^Parse error: test input holds no calendar\n$");
}

TEST(parse_calendar_stream, accepts_1000_levels)
{
    parsed_calendar parsed = parse_text(nested_calendar(MAX_COMPONENT_DEPTH));
    ASSERT_NE(nullptr, parsed.root);
    EXPECT_EQ(MAX_COMPONENT_DEPTH, levels_below(parsed.root));
    free_parsed(parsed);
}

TEST(parse_calendar_stream, refuses_1001_levels)
{
    std::string text = nested_calendar(MAX_COMPONENT_DEPTH + 1);
    EXPECT_EXIT(parse_text(text), testing::ExitedWithCode(4),
                "^Parse error: components nested too deeply\n$");
}

// A component outside a calendar goes one level down into it; a second
// calendar keeps its depth. A component too deep is refused even where it
// would be dropped, before anything frees it.
struct stream_depth_case {
    const char *name;
    std::string text;
    bool refused;
};

// depth levels of VEVENTs, the outer one at the top of the stream.
static std::string nested_events(int depth)
{
    std::string text;
    for (int level = 1; level <= depth; level++)
        text += "BEGIN:VEVENT\r\n";
    for (int level = 1; level <= depth; level++)
        text += "END:VEVENT\r\n";
    return text;
}

TEST(parse_calendar_stream, depth_of_components_outside_a_calendar)
{
    const stream_depth_case cases[] = {
        {"bare event of 999 levels", nested_events(MAX_COMPONENT_DEPTH - 1), false},
        {"bare event of 1000 levels", nested_events(MAX_COMPONENT_DEPTH), true},
        {"second calendar of 1000 levels",
         WHOLE_CALENDAR + nested_calendar(MAX_COMPONENT_DEPTH), false},
        {"second calendar of 1001 levels",
         WHOLE_CALENDAR + nested_calendar(MAX_COMPONENT_DEPTH + 1), true},
        {"dropped component of 1000 levels",
         WHOLE_CALENDAR "BEGIN:VTODO\r\n" + nested_events(MAX_COMPONENT_DEPTH - 1) + "END:VTODO\r\n",
         true},
    };
    for (const stream_depth_case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.refused) {
            EXPECT_EXIT(parse_text(c.text), testing::ExitedWithCode(4),
                        "^Parse error: components nested too deeply\n$");
        } else {
            parsed_calendar parsed = parse_text(c.text);
            EXPECT_EQ(MAX_COMPONENT_DEPTH, levels_below(parsed.root));
            free_parsed(parsed);
        }
    }
}

struct depth_case {
    const char *name;
    const char *shape;
    int max_depth;
    bool deeper;
};

static const depth_case DEPTH_CASES[] = {
    {"root alone", "()", 1, false},
    {"chain of three within three", "((()))", 3, false},
    {"chain of three beyond two", "((()))", 2, true},
    {"flat children within two", "(()()())", 2, false},
    {"flat children beyond one", "(()()())", 1, true},
    {"deep branch in the last sibling", "(()()(()))", 2, true},
    {"deep branch in the last sibling, limit met", "(()()(()))", 3, false},
    {"deep branch in the first sibling", "((())()())", 2, true},
    // The walk climbs two levels from the first branch to reach the second.
    {"second branch after a climb of two", "(((()))(((()))))", 4, true},
    {"second branch after a climb of two, limit met", "(((()))(((()))))", 5, false},
    {"siblings at the deepest level", "(((()()())))", 4, false},
    {"siblings at the deepest level beyond three", "(((()()())))", 3, true},
    {"a deep child after siblings at depth", "((()()(())))", 3, true},
};

TEST(nested_deeper_than, table)
{
    for (const depth_case &c : DEPTH_CASES) {
        SCOPED_TRACE(c.name);
        const char *shape = c.shape;
        icalcomponent *root = tree_of_shape(shape);
        EXPECT_EQ('\0', *shape);
        EXPECT_EQ(c.deeper, nested_deeper_than(root, c.max_depth));
        icalcomponent_free(root);
    }
}

TEST(nested_deeper_than, walks_only_below_the_given_component)
{
    // The first child is shallow; its deep sibling is no part of its subtree.
    const char *shape = "((())((((())))))";
    icalcomponent *root = tree_of_shape(shape);
    icalcomponent *shallow = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT);
    EXPECT_FALSE(nested_deeper_than(shallow, 2));
    EXPECT_TRUE(nested_deeper_than(shallow, 1));
    EXPECT_TRUE(nested_deeper_than(root, 5));
    icalcomponent_free(root);
}

// count values, each a number from first on between before and after, the
// number written with at least digits digits.
static std::vector<std::string> each_value(const char *before, int first, int count,
                                           const char *after = "", size_t digits = 1)
{
    std::vector<std::string> list;
    for (int i = first; i < first + count; i++) {
        std::string number = std::to_string(i);
        if (number.size() < digits)
            number.insert(0, digits - number.size(), '0');
        list.push_back(before + number + after);
    }
    return list;
}

static std::string joined(const std::vector<std::string> &list)
{
    std::string text;
    for (const std::string &value : list)
        text += (text.empty() ? "" : ",") + value;
    return text;
}

static std::vector<std::string> with_tail(std::vector<std::string> list, std::string tail)
{
    list.push_back(std::move(tail));
    return list;
}

struct value_list_case {
    const char *name;
    std::string line;                   // one property line of the event
    icalproperty_kind kind;
    std::vector<std::string> expected;  // the values parsed, in order
    const char *tzid;                   // of every property, or null
};

// The value as it was written, for texts unescaped.
static std::string value_text(icalproperty *property)
{
    icalvalue *value = icalproperty_get_value(property);
    if (icalvalue_isa(value) == ICAL_TEXT_VALUE)
        return icalvalue_get_text(value);
    if (icalvalue_isa(value) == ICAL_X_VALUE)
        return icalvalue_get_x(value);
    return icalvalue_as_ical_string(value);
}

TEST(parse_calendar_stream, keeps_every_value_of_a_long_list)
{
    std::vector<std::string> stamps = each_value("20260101T", 0, 1200, "Z", 6);
    std::vector<std::string> local = each_value("20260101T", 0, 900, "", 6);
    std::vector<std::string> dates = each_value("", 2000, 401, "0101");
    std::vector<std::string> categories = each_value("c", 0, 1000);
    std::vector<std::string> texts = each_value("s", 0, 1000);
    // "q"N" as libical reads it (the last quote pair taken away is only
    // that of a whole quoted line); every 50th value plain.
    std::vector<std::string> quoted, quoted_read;
    for (int i = 0; i < 1000; i++) {
        quoted.push_back(i % 50 == 49 ? "p" + std::to_string(i) : "\"q\"" + std::to_string(i) + "\"");
        quoted_read.push_back(quoted.back());
    }
    const value_list_case cases[] = {
        {"1,200 EXDATEs on one line", "EXDATE:" + joined(stamps), ICAL_EXDATE_PROPERTY, stamps,
         nullptr},
        {"the TZID on every part", "EXDATE;TZID=Europe/Berlin:" + joined(local),
         ICAL_EXDATE_PROPERTY, local, "Europe/Berlin"},
        {"401 DATE values", "RDATE;VALUE=DATE:" + joined(dates), ICAL_RDATE_PROPERTY, dates,
         nullptr},
        {"1,001 categories, the last with an escaped comma",
         "CATEGORIES:" + joined(categories) + ",a\\,b", ICAL_CATEGORIES_PROPERTY,
         with_tail(categories, "a,b"), nullptr},
        {"a name in small letters", "resources:" + joined(categories), ICAL_RESOURCES_PROPERTY,
         categories, nullptr},
        {"400 values need no cut", "CATEGORIES:" + joined(each_value("c", 0, 400)),
         ICAL_CATEGORIES_PROPERTY, each_value("c", 0, 400), nullptr},
        {"a text that takes no list stays whole", "SUMMARY:" + joined(texts),
         ICAL_SUMMARY_PROPERTY, {joined(texts)}, nullptr},
        {"an X- property stays whole", "X-LIST:" + joined(texts), ICAL_X_PROPERTY,
         {joined(texts)}, nullptr},
        {"a quoted VALUE parameter", "CATEGORIES;VALUE=\"TEXT\":" + joined(categories),
         ICAL_CATEGORIES_PROPERTY, categories, nullptr},
        {"a VALUE parameter libical does not know", "CATEGORIES;VALUE=X-FOO:" + joined(categories),
         ICAL_CATEGORIES_PROPERTY, categories, nullptr},
        {"VALUE=BINARY on a list", "RESOURCES;VALUE=BINARY:" + joined(categories),
         ICAL_RESOURCES_PROPERTY, categories, nullptr},
        {"EXDATE with a quoted DATE-TIME", "EXDATE;VALUE=\"DATE-TIME\":" + joined(stamps),
         ICAL_EXDATE_PROPERTY, stamps, nullptr},
        {"an X- property of TEXT values", "X-LIST;VALUE=TEXT:" + joined(texts), ICAL_X_PROPERTY,
         texts, nullptr},
        {"an X- property whose last VALUE is TEXT", "X-LIST;VALUE=URI;VALUE=\"text\":" + joined(texts),
         ICAL_X_PROPERTY, texts, nullptr},
        {"an X- property whose last VALUE is URI stays whole", "X-LIST;VALUE=TEXT;VALUE=URI:" + joined(texts),
         ICAL_X_PROPERTY, {joined(texts)}, nullptr},
        {"values that start and end with quotes, cut where one does not",
         "CATEGORIES:" + joined(quoted) , ICAL_CATEGORIES_PROPERTY, quoted_read, nullptr},
        {"two commas in a row, read as libical reads them",
         "CATEGORIES:" + joined(each_value("c", 0, 450)) + ",,d0,d1", ICAL_CATEGORIES_PROPERTY,
         with_tail(with_tail(each_value("c", 0, 450), ",d0"), "d1"), nullptr},
    };
    for (const value_list_case &c : cases) {
        SCOPED_TRACE(c.name);
        parsed_calendar parsed = parse_text("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:a\r\n" +
                                            c.line + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        icalcomponent *event = icalcomponent_get_first_component(parsed.root, ICAL_VEVENT_COMPONENT);
        ASSERT_NE(nullptr, event);
        std::vector<std::string> found;
        for (icalproperty *p = icalcomponent_get_first_property(event, c.kind); p != nullptr;
             p = icalcomponent_get_next_property(event, c.kind)) {
            found.push_back(value_text(p));
            if (c.tzid != nullptr) {
                icalparameter *tzid = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER);
                ASSERT_NE(nullptr, tzid);
                EXPECT_STREQ(c.tzid, icalparameter_get_tzid(tzid));
            }
        }
        EXPECT_EQ(c.expected, found);
        free_parsed(parsed);
    }
}
