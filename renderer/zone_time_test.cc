// zone_time_test.cc: the fast conversion gives libical's own results, also
// for times after the last year libical works zones out for.
#include "renderer/zone_time.h"

#include <string>

#include <gtest/gtest.h>

namespace {

icaltimetype zoned(const char *text, const char *zone_name)
{
    icaltimetype time = icaltime_from_string(text);
    time.zone = zone_name == nullptr ? nullptr : icaltimezone_get_builtin_timezone(zone_name);
    return time;
}

std::string describe(const icaltimetype &t)
{
    return std::string(icaltime_as_ical_string(t)) + " daylight " + std::to_string(t.is_daylight) +
           " zone " + (t.zone == nullptr ? "none" : icaltimezone_get_tzid(const_cast<icaltimezone *>(t.zone)));
}

const char *const TIMES[] = {"25810715T120000", "25820701T120000", "25821231T230000",
                             "25830101T010000", "25830715T120000", "99991231T235959",
                             "20261027T013000"};
const char *const ZONES[] = {"America/New_York", "Asia/Tokyo", "Europe/Berlin",
                             "Australia/Sydney", "UTC", nullptr};

TEST(convert_time, same_as_libical)
{
    for (const char *text : TIMES) {
        for (const char *from : ZONES) {
            for (const char *to : ZONES) {
                SCOPED_TRACE(std::string(text) + " " + (from ? from : "floating") + " to " +
                             (to ? to : "null zone"));
                icaltimetype time = zoned(text, from);
                icaltimezone *zone = to == nullptr ? nullptr : icaltimezone_get_builtin_timezone(to);
                EXPECT_EQ(describe(icaltime_convert_to_zone(time, zone)),
                          describe(convert_time(time, zone)));
            }
        }
    }
}

TEST(compare_times, same_as_libical)
{
    for (const char *a_text : TIMES) {
        for (const char *b_text : TIMES) {
            SCOPED_TRACE(std::string(a_text) + " New York against " + b_text + " Tokyo");
            icaltimetype a = zoned(a_text, "America/New_York");
            icaltimetype b = zoned(b_text, "Asia/Tokyo");
            EXPECT_EQ(icaltime_compare(a, b), compare_times(a, b));
        }
    }
}

}  // namespace
