// calendar_input_test.cc: the line source, the parse step's failures and the nesting limit.
#include "shared/calendar_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include <gtest/gtest.h>

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

TEST(parse_calendar_stream, returns_the_calendar)
{
    set_libical_error_mode();
    std::string text =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:one\r\nSUMMARY:Lunch\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n";
    FILE *stream = stream_over(text);
    parsed_calendar parsed = parse_calendar_stream(stream, "test input");
    ASSERT_NE(nullptr, parsed.root);
    ASSERT_NE(nullptr, parsed.parser);
    EXPECT_EQ(ICAL_VCALENDAR_COMPONENT, icalcomponent_isa(parsed.root));
    icalcomponent *event = icalcomponent_get_first_component(parsed.root, ICAL_VEVENT_COMPONENT);
    ASSERT_NE(nullptr, event);
    EXPECT_STREQ("one", icalcomponent_get_uid(event));
    EXPECT_STREQ("Lunch", icalcomponent_get_summary(event));
    icalcomponent_free(parsed.root);
    icalparser_free(parsed.parser);
    fclose(stream);
}

struct parse_failure_case {
    const char *name;
    std::string input;
};

static const parse_failure_case PARSE_FAILURE_CASES[] = {
    {"empty stream", ""},
    {"blank lines", "\r\n\r\n"},
    {"text that is no calendar", "Dear all,\r\nlunch is at noon.\r\n"},
};

TEST(parse_calendar_stream, no_component_is_a_parse_error)
{
    for (const parse_failure_case &c : PARSE_FAILURE_CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                set_libical_error_mode();
                parse_calendar_stream(stream_over(c.input), "test input");
            },
            testing::ExitedWithCode(4), "^Parse error: NO: No error\n$");
    }
}

// A read error ends the parse even where the text before it is a whole
// calendar: what was read must not pass for the whole input.
TEST(parse_calendar_stream, read_error_is_a_parse_error)
{
    const std::string whole = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:a\r\n"
                              "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const parse_failure_case cases[] = {
        {"error in the middle of an event", whole.substr(0, 40)},
        {"error after the whole calendar", whole},
        {"error at the first read", ""},
    };
    for (const parse_failure_case &c : cases) {
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
        testing::ExitedWithCode(104), "^Parse error: NO: No error\n$");
}

TEST(parse_calendar_stream, accepts_1000_levels)
{
    set_libical_error_mode();
    std::string text = nested_calendar(MAX_COMPONENT_DEPTH);
    FILE *stream = stream_over(text);
    parsed_calendar parsed = parse_calendar_stream(stream, "test input");
    ASSERT_NE(nullptr, parsed.root);
    EXPECT_EQ(MAX_COMPONENT_DEPTH, levels_below(parsed.root));
    icalcomponent_free(parsed.root);
    icalparser_free(parsed.parser);
    fclose(stream);
}

TEST(parse_calendar_stream, refuses_1001_levels)
{
    std::string text = nested_calendar(MAX_COMPONENT_DEPTH + 1);
    EXPECT_EXIT(
        {
            set_libical_error_mode();
            parse_calendar_stream(stream_over(text), "test input");
        },
        testing::ExitedWithCode(4), "^Parse error: components nested too deeply\n$");
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
