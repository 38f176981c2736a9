// merge_test.cc: the merged calendar does not depend on the hash key that
// evjoin draws for each run.
#include "merger/merge.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "merger/uid_table.h"
#include "shared/output_calendar.h"
#include "shared/tree_moves.h"
#include "tests/test_helpers.h"

namespace {

// count events, UIDs from first on, every third one modified in month.
std::string calendar_of(int first, int count, int month)
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
    for (int n = first; n < first + count; n++) {
        std::string number = std::to_string(n);
        text += "BEGIN:VEVENT\r\nUID:uid-" + number + "@example.org\r\nSUMMARY:from " +
                std::to_string(month) + "\r\nDTSTART:20261103T100000Z\r\n";
        if (n % 3 == 0)
            text += "LAST-MODIFIED:2026" + std::string(month < 10 ? "0" : "") +
                    std::to_string(month) + "01T000000Z\r\n";
        text += "END:VEVENT\r\n";
    }
    return text + "END:VCALENDAR\r\n";
}

// The text evjoin would write for the inputs, under the hash key.
std::string merged_text(const std::vector<std::string> &inputs, const unsigned char key[16])
{
    htab_set_hash_key(key);
    merged_components merged;
    for (const std::string &input : inputs) {
        icalcomponent *root = icalparser_parse_string(input.c_str());
        merge_calendar(root, "test.ics", &merged);
        free_parsed_tree(root);
    }
    icalcomponent *calendar = new_output_calendar(EVJOIN_PRODID);
    add_merged_components(calendar, &merged);
    std::string text = text_of(calendar);
    icalcomponent_free(calendar);
    htab_free_keys();
    htab_destroy();
    return text;
}

}  // namespace

TEST(merge, output_is_the_same_under_any_hash_key)
{
    // Overlapping UIDs, some replaced by a later LAST-MODIFIED.
    std::vector<std::string> inputs = {calendar_of(0, 600, 1), calendar_of(300, 600, 2),
                                       calendar_of(0, 200, 3)};
    const unsigned char zero[16] = {};
    const unsigned char counting[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const unsigned char high[16] = {255, 254, 253, 252, 251, 250, 249, 248,
                                    247, 246, 245, 244, 243, 242, 241, 240};
    std::string first = merged_text(inputs, zero);
    EXPECT_EQ(first, merged_text(inputs, counting));
    EXPECT_EQ(first, merged_text(inputs, high));
    // One event per UID.
    size_t events = 0;
    for (size_t at = first.find("BEGIN:VEVENT"); at != std::string::npos;
         at = first.find("BEGIN:VEVENT", at + 1))
        events++;
    EXPECT_EQ(900u, events);
}
