// parse_errors_test.cc: libical's X-LIC-ERROR notes leave every kept
// component, and each one that stands for lost data is said once.
#include "shared/parse_errors.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/test_helpers.h"

namespace {

struct item_case {
    const char *name;
    const char *text;
    icalparameter_xlicerrortype type;
    const char *item;
};

const item_case ITEM_CASES[] = {
    {"empty value", "No value for LOCATION property. Removing entire property: ",
     ICAL_XLICERRORTYPE_VALUEPARSEERROR, ""},
    {"empty X- value", "No value for X property. Removing entire property: ",
     ICAL_XLICERRORTYPE_VALUEPARSEERROR, ""},
    {"bad value",
     "Can't parse as RECUR value in RRULE property. Removing entire property: FREQ=SOMETIMES",
     ICAL_XLICERRORTYPE_VALUEPARSEERROR, "RRULE"},
    {"bad value of a name with a dash",
     "Can't parse as DATE-TIME value in LAST-MODIFIED property. Removing entire property: 2026",
     ICAL_XLICERRORTYPE_VALUEPARSEERROR, "LAST-MODIFIED"},
    {"bad value of an X- property",
     "Can't parse as DATE-TIME value in X property. Removing entire property: soon",
     ICAL_XLICERRORTYPE_VALUEPARSEERROR, "an X- property"},
    {"unknown property", "Parse error in property name: STRUCTURED-DATA",
     ICAL_XLICERRORTYPE_PROPERTYPARSEERROR, "STRUCTURED-DATA"},
    {"parameter name", "Can't parse parameter name: =x", ICAL_XLICERRORTYPE_PARAMETERNAMEPARSEERROR,
     "a parameter"},
    {"parameter value", "Invalid VALUE type for property DTSTART: VALUE=FOO",
     ICAL_XLICERRORTYPE_PARAMETERVALUEPARSEERROR, "a parameter"},
    {"line", "Got a data line, but could not find a property name or component begin tag: junk",
     ICAL_XLICERRORTYPE_COMPONENTPARSEERROR, "a line"},
    {"text written by hand", "something else", ICAL_XLICERRORTYPE_NONE, "a property"},
    {"no property named", "Can't parse as TEXT value in  property. Removing entire property: x",
     ICAL_XLICERRORTYPE_VALUEPARSEERROR, "a property"},
};

TEST(dropped_item, table)
{
    for (const item_case &c : ITEM_CASES) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.item, dropped_item(c.text, c.type));
    }
}

struct drop_case {
    const char *name;
    const char *component;  // as read
    const char *written;    // as written afterwards
    const char *said;       // on standard error
};

const drop_case DROP_CASES[] = {
    {"nothing to drop", "BEGIN:VEVENT\r\nUID:u\r\nSUMMARY:s\r\nEND:VEVENT\r\n",
     "BEGIN:VEVENT\r\nUID:u\r\nSUMMARY:s\r\nEND:VEVENT\r\n", ""},
    {"empty values go without a word",
     "BEGIN:VEVENT\r\nUID:u\r\nLOCATION:\r\nDESCRIPTION: \r\nX-EMPTY:\r\nEND:VEVENT\r\n",
     "BEGIN:VEVENT\r\nUID:u\r\nEND:VEVENT\r\n", ""},
    {"a bad value and a note in an alarm",
     "BEGIN:VEVENT\r\nUID:u\r\nGEO:north\r\nSUMMARY:s\r\nBEGIN:VALARM\r\nACTION:AUDIO\r\n"
     "TRIGGER:soon\r\nEND:VALARM\r\nEND:VEVENT\r\n",
     "BEGIN:VEVENT\r\nUID:u\r\nSUMMARY:s\r\nBEGIN:VALARM\r\nACTION:AUDIO\r\nEND:VALARM\r\n"
     "END:VEVENT\r\n",
     "test: event u: GEO dropped: Can't parse as GEO value in GEO property. Removing entire "
     "property: north\n"
     "test: event u: TRIGGER dropped: Can't parse as DURATION value in TRIGGER property. "
     "Removing entire property: soon\n"},
    {"nothing is said of components that are not written",
     "BEGIN:VEVENT\r\nUID:u\r\nBEGIN:PARTICIPANT\r\nPARTICIPANT-TYPE:ACTIVE\r\nEND:PARTICIPANT\r\n"
     "BEGIN:X-OWN\r\nGEO:north\r\nEND:X-OWN\r\nEND:VEVENT\r\n",
     "BEGIN:VEVENT\r\nUID:u\r\nEND:VEVENT\r\n", ""},
    {"an event without UID",
     "BEGIN:VEVENT\r\nPARTICIPANT-TYPE:ACTIVE\r\nEND:VEVENT\r\n", "BEGIN:VEVENT\r\nEND:VEVENT\r\n",
     "test: event without UID: PARTICIPANT-TYPE dropped: Parse error in property name: "
     "PARTICIPANT-TYPE\n"},
    {"a time zone",
     "BEGIN:VTIMEZONE\r\nTZID:Zone/A\r\nBEGIN:STANDARD\r\nRDATE:soon\r\nEND:STANDARD\r\n"
     "END:VTIMEZONE\r\n",
     "BEGIN:VTIMEZONE\r\nTZID:Zone/A\r\nBEGIN:STANDARD\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n",
     "test: time zone Zone/A: RDATE dropped: Can't parse as DATE-TIME value in RDATE property. "
     "Removing entire property: soon\n"},
    {"control characters are not sent to the terminal",
     "BEGIN:VEVENT\r\nUID:u\x1b[31m\r\nX\x1b[0m:v\r\nEND:VEVENT\r\n",
     "BEGIN:VEVENT\r\nUID:u\x1b[31m\r\nEND:VEVENT\r\n",
     "test: event u?[31m: X?[0m dropped: Parse error in property name: X?[0m\n"},
};

// The same component with more notes than are removed one by one.
std::string crowded(const char *component)
{
    std::string text = component;
    size_t end = text.rfind("END:VEVENT");
    if (end == std::string::npos)
        return "";
    for (size_t n = 0; n <= MAX_REMOVED_ERRORS; n++)
        text.insert(end, "URL:\r\n");
    return text;
}

TEST(drop_parse_errors, table)
{
    for (const drop_case &c : DROP_CASES) {
        for (const std::string &read : {std::string(c.component), crowded(c.component)}) {
            if (read.empty())
                continue;
            SCOPED_TRACE(std::string(c.name) + (read == c.component ? "" : ", crowded"));
            icalcomponent *component = icalparser_parse_string(read.c_str());
            ASSERT_NE(nullptr, component);
            testing::internal::CaptureStderr();
            icalcomponent *kept = drop_parse_errors(component, "test");
            EXPECT_EQ(c.said, testing::internal::GetCapturedStderr());
            EXPECT_EQ(c.written, text_of(kept));
            icalcomponent_free(kept);
        }
    }
}

}  // namespace
