// value_lists_test.cc: which lines are cut, where, and what the cut costs.
#include "shared/value_lists.h"

#include <string>

#include <gtest/gtest.h>

// count values "v" joined with commas after head.
static std::string list_line(const std::string &head, size_t count)
{
    std::string line = head;
    for (size_t i = 0; i < count; i++)
        line += i == 0 ? "v" : ",v";
    return line;
}

struct cut_case {
    const char *name;
    std::string line;
    size_t parts;     // 0: not cut
    size_t dropped;
};

TEST(cut_value_list, table)
{
    std::string quoted_values = "CATEGORIES:";
    for (int i = 0; i < 1000; i++)
        quoted_values += "\"a\"b\",";
    const cut_case cases[] = {
        {"a list property", list_line("CATEGORIES:", 1200), 3, 0},
        {"whatever its VALUE", list_line("EXDATE;VALUE=X-NEW:", 1200), 3, 0},
        {"an X- property of INTEGER values", list_line("X-N;VALUE=INTEGER:", 801), 3, 0},
        {"an X- property without VALUE is whole", list_line("X-N:", 1200), 0, 0},
        {"an X- property of BINARY is whole", list_line("X-N;VALUE=BINARY:", 1200), 0, 0},
        {"a VALUE inside a quoted parameter is none",
         list_line("X-N;X-P=\";VALUE=TEXT\":", 1200), 0, 0},
        {"a property libical takes whole", list_line("SUMMARY:", 1200), 0, 0},
        {"a name in small letters is no X- property", list_line("x-n;VALUE=TEXT:", 1200), 0, 0},
        {"a line quoted whole is one value", "CATEGORIES:\"" + list_line("", 1200) + "\"", 0, 0},
        {"no cut keeps libical's reading", quoted_values + "z", 1, 501},
    };
    for (const cut_case &c : cases) {
        SCOPED_TRACE(c.name);
        value_list_cut cut = cut_value_list(c.line.c_str());
        EXPECT_EQ(c.parts, cut.parts.size());
        EXPECT_EQ(c.dropped, cut.dropped);
    }
}

// The work grows with the line, not with its square: ten times the values
// cost about ten times the steps.
TEST(cut_value_list, work_is_linear_in_the_line)
{
    size_t counts[] = {8000, 80000};
    size_t work[2];
    for (int i = 0; i < 2; i++) {
        std::string line = list_line("RESOURCES:", counts[i]);
        size_t before = value_list_work();
        value_list_cut cut = cut_value_list(line.c_str());
        work[i] = value_list_work() - before;
        EXPECT_EQ((counts[i] + MAX_VALUES_PER_LINE - 1) / MAX_VALUES_PER_LINE, cut.parts.size());
        EXPECT_LT(work[i], 4 * line.size());
    }
    EXPECT_LT(work[1], 11 * work[0]);
}
