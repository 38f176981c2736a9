#include "renderer/windows_zones.h"

#include <string>

#include <gtest/gtest.h>

struct windows_name_case {
    const char *name;
    const char *windows_name;
    const char *iana_name;   // "" for none
};

static const windows_name_case WINDOWS_NAME_CASES[] = {
    {"central europe", "W. Europe Standard Time", "Europe/Berlin"},
    {"pacific, territory 001", "Pacific Standard Time", "America/Los_Angeles"},
    {"a Windows name of UTC", "UTC", "Etc/UTC"},
    {"an IANA name is no Windows name", "Europe/Berlin", ""},
    {"letter case counts", "w. europe standard time", ""},
    {"a stray character", "W. Europe Standard Time ", ""},
    {"empty", "", ""},
    {"a control byte", "W. Europe\x01 Standard Time", ""},
    {"not ASCII", "W. Europe Standard Time\xc3\xa9", ""},
};

TEST(iana_name_of_windows_zone, table)
{
    for (const windows_name_case &c : WINDOWS_NAME_CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.iana_name, iana_name_of_windows_zone(c.windows_name));
    }
    EXPECT_EQ("", iana_name_of_windows_zone(std::string(500, 'A').c_str()));
}
