// calendar_properties_test.cc: move_calendar_properties, first name wins.
#include "shared/calendar_properties.h"

#include <string>

#include <gtest/gtest.h>

namespace {

icalcomponent *parse_calendar(const std::string &properties)
{
    std::string text = "BEGIN:VCALENDAR\r\n" + properties + "END:VCALENDAR\r\n";
    icalcomponent *calendar = icalparser_parse_string(text.c_str());
    EXPECT_NE(nullptr, calendar);
    return calendar;
}

// The property lines of a calendar, as libical writes them.
std::string property_lines(icalcomponent *calendar)
{
    std::string text = icalcomponent_as_ical_string(calendar);
    const std::string begin = "BEGIN:VCALENDAR\r\n", end = "END:VCALENDAR\r\n";
    return text.substr(begin.size(), text.size() - begin.size() - end.size());
}

}  // namespace

struct property_case {
    const char *name;
    const char *calendar;   // the receiving calendar's properties
    const char *from;       // those of the calendar read
    const char *program;    // null: X-LIC-ERROR notes are moved
    const char *expected;   // the receiving calendar's properties afterwards
    const char *said;       // on standard error
};

static const property_case PROPERTY_CASES[] = {
    {"an empty calendar takes all, in order", "",
     "VERSION:2.0\r\nPRODID:-//A//EN\r\nX-WR-CALNAME:Club\r\nMETHOD:PUBLISH\r\n", "evsift",
     "VERSION:2.0\r\nPRODID:-//A//EN\r\nX-WR-CALNAME:Club\r\nMETHOD:PUBLISH\r\n", ""},
    {"VERSION and PRODID of an output calendar stay",
     "VERSION:2.0\r\nPRODID:-//Ours//EN\r\n",
     "PRODID:-//Theirs//EN\r\nVERSION:2.0\r\nCALSCALE:GREGORIAN\r\nX-WR-TIMEZONE:Europe/Berlin\r\n",
     "evsift",
     "VERSION:2.0\r\nPRODID:-//Ours//EN\r\nCALSCALE:GREGORIAN\r\nX-WR-TIMEZONE:Europe/Berlin\r\n", ""},
    {"the first name wins", "X-WR-CALNAME:First\r\nCOLOR:teal\r\n",
     "X-WR-CALNAME:Second\r\nCOLOR:navy\r\nNAME:Second\r\n", "evjoin",
     "X-WR-CALNAME:First\r\nCOLOR:teal\r\nNAME:Second\r\n", ""},
    {"every property of a new name comes", "X-WR-CALNAME:First\r\n",
     "X-WR-CALNAME:Second\r\nX-WR-CALNAME:Third\r\nCOLOR:teal\r\nCOLOR:navy\r\n", "evjoin",
     "X-WR-CALNAME:First\r\nCOLOR:teal\r\nCOLOR:navy\r\n", ""},
    {"X- names compare by their text", "X-WR-CALNAME:Club\r\n",
     "X-WR-CALDESC:Games\r\nX-WR-RELCALID:abc\r\n", "evjoin",
     "X-WR-CALNAME:Club\r\nX-WR-CALDESC:Games\r\nX-WR-RELCALID:abc\r\n", ""},
    {"names compare without letter case", "COLOR:teal\r\n", "color:navy\r\n", "evjoin",
     "COLOR:teal\r\n", ""},
    {"parameters come along", "",
     "REFRESH-INTERVAL;VALUE=DURATION:PT1H\r\nSOURCE;VALUE=URI:https://example.org/a.ics\r\n",
     "evsift",
     "REFRESH-INTERVAL;VALUE=DURATION:PT1H\r\nSOURCE;VALUE=URI:https://example.org/a.ics\r\n", ""},
    {"a note is dropped and said", "", "GEO:north\r\nMETHOD:PUBLISH\r\n", "evsift",
     "METHOD:PUBLISH\r\n",
     "evsift: calendar: GEO dropped: Can't parse as GEO value in GEO property. Removing entire "
     "property: north\n"},
    {"an empty value is dropped without a word", "", "CALSCALE:\r\nMETHOD:PUBLISH\r\n", "evjoin",
     "METHOD:PUBLISH\r\n", ""},
    {"without a program a note moves like the rest", "X-LIC-ERROR:earlier\r\n",
     "GEO:north\r\nMETHOD:PUBLISH\r\n", nullptr,
     "X-LIC-ERROR:earlier\r\nX-LIC-ERROR;X-LIC-ERRORTYPE=VALUE-PARSE-ERROR:Can't parse as GEO "
     "value in \r\n GEO property. Removing entire property: north\r\nMETHOD:PUBLISH\r\n",
     ""},
};

TEST(move_calendar_properties, table)
{
    for (const property_case &c : PROPERTY_CASES) {
        SCOPED_TRACE(c.name);
        icalcomponent *calendar = parse_calendar(c.calendar);
        icalcomponent *from = parse_calendar(c.from);
        testing::internal::CaptureStderr();
        move_calendar_properties(from, calendar, c.program);
        EXPECT_EQ(c.said, testing::internal::GetCapturedStderr());
        EXPECT_EQ(c.expected, property_lines(calendar));
        icalcomponent_free(from);
        icalcomponent_free(calendar);
    }
}

// Re-reading the output: a calendar given its own properties again is
// unchanged, however often.
TEST(move_calendar_properties, again_changes_nothing)
{
    const char *properties =
        "VERSION:2.0\r\nPRODID:-//Ours//EN\r\nX-WR-CALNAME:Club\r\nX-WR-CALNAME:Club too\r\n"
        "COLOR:teal\r\n";
    icalcomponent *calendar = parse_calendar(properties);
    for (int round = 0; round < 3; round++) {
        icalcomponent *again = parse_calendar(properties);
        move_calendar_properties(again, calendar, "evjoin");
        icalcomponent_free(again);
    }
    EXPECT_EQ(properties, property_lines(calendar));
    icalcomponent_free(calendar);
}
