#include "renderer/period_prescan.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// Each event of a case carries "SUMMARY:" and a letter; the case lists the
// letters of the events that the scan keeps, or "whole" when it gives the
// parse the whole text.
struct scan_case {
    const char *name;
    const char *start;      // the period, as on evtable's command line
    const char *duration;
    const char *events;     // the VCALENDAR's content, lines ending in LF
    const char *kept;
};

#define EVENT(letter, lines) "BEGIN:VEVENT\nSUMMARY:" letter "\n" lines "END:VEVENT\n"

const scan_case SCAN_CASES[] = {
    {"a single event before the shown months is dropped", "20230610", "P1W",
     EVENT("a", "DTSTART:20230401T100000\n") EVENT("b", "DTSTART:20230612T100000\n"), "b"},
    {"every day of the shown months counts, and a margin for zones", "20230610", "P1W",
     EVENT("a", "DTSTART:20230601T100000\n") EVENT("b", "DTSTART:20230703T100000\n")
         EVENT("c", "DTSTART:20230712T100000\n"),
     "ab"},
    {"a long DTEND or DURATION reaches in; both: the longer", "20230610", "P1W",
     EVENT("a", "DTSTART;VALUE=DATE:20230401\nDTEND;VALUE=DATE:20230620\n")
         EVENT("b", "DTSTART:20230401T100000\nDURATION:P70D\n")
             EVENT("c", "DTSTART:20230401T100000\nDTEND:20230402T100000\nDURATION:P70D\n")
                 EVENT("d", "DTSTART:20230401T100000\nDURATION:P7D\n"),
     "abc"},
    {"an RDATE before DTSTART, a PERIOD of its own length", "20230610", "P1W",
     EVENT("a", "DTSTART:20240101T100000\nRDATE:20230615T100000\n")
         EVENT("b", "DTSTART:20220101T100000\nRDATE;VALUE=PERIOD:20230501T100000Z/P40D\n")
             EVENT("c", "DTSTART:20220101T100000\nRDATE;VALUE=PERIOD:20230501T100000Z/PT1H\n"),
     "ab"},
    {"UNTIL before the months drops a rule, after keeps it", "20230610", "P1W",
     EVENT("a", "DTSTART:20200101T100000\nRRULE:FREQ=DAILY;UNTIL=20230501T000000Z\n")
         EVENT("b", "DTSTART:20200101T100000\nRRULE:FREQ=WEEKLY;UNTIL=20230630\n")
             EVENT("c", "DTSTART:20200101T100000\nRRULE:FREQ=WEEKLY;BYDAY=MO,TU\n"),
     "bc"},
    {"COUNT: steps that each give an instance end before the months", "20230610", "P1W",
     EVENT("a", "DTSTART:20200101T100000\nRRULE:FREQ=MONTHLY;COUNT=3\n")
         EVENT("b", "DTSTART:20230101T100000\nRRULE:FREQ=MONTHLY;COUNT=6\n")
             EVENT("c", "DTSTART:20200101T100000\nRRULE:FREQ=WEEKLY;COUNT=4;BYDAY=MO,FR\n")
                 EVENT("d", "DTSTART:20200101T100000\nRRULE:FREQ=MONTHLY;COUNT=4;BYDAY=5MO\n")
                     EVENT("e", "DTSTART:20230101T100000\nRRULE:FREQ=DAILY;COUNT=5000\n"),
     "bde"},
    {"29 February each year may take eight years a step", "20240220", "P1W",
     EVENT("a", "DTSTART;VALUE=DATE:20000229\nRRULE:FREQ=YEARLY;COUNT=6\n"), "a"},
    {"29 February falls in no June", "20230610", "P1W",
     EVENT("a", "DTSTART;VALUE=DATE:20000229\nRRULE:FREQ=YEARLY;COUNT=6\n"), ""},
    {"a yearly date away from the months is dropped", "20230610", "P1W",
     EVENT("a", "DTSTART;VALUE=DATE:19800312\nRRULE:FREQ=YEARLY\n")
         EVENT("b", "DTSTART;VALUE=DATE:19800704\nRRULE:FREQ=YEARLY\n")
             EVENT("c", "DTSTART;VALUE=DATE:19800312\nRRULE:FREQ=YEARLY;BYMONTH=3,6\n"),
     "bc"},
    {"a rule the collection notes is kept, unless it starts after", "20230610", "P1W",
     EVENT("a", "DTSTART:20200101T000000\nRRULE:FREQ=YEARLY;UNTIL=20210101;BYMONTH=2;BYMONTHDAY=30\n")
         EVENT("b", "DTSTART:20240101T000000\nRRULE:FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30\n"),
     "a"},
    {"a UID that a kept event has keeps its series and overrides", "20230610", "P1W",
     EVENT("a", "UID:s1\nDTSTART:20220101T100000\nRRULE:FREQ=MONTHLY;COUNT=2\n")
         EVENT("b", "UID:s1\nRECURRENCE-ID:20220201T100000\nDTSTART:20230615T100000\n")
             EVENT("c", "UID:s2\nDTSTART:20200101T100000\nRRULE:FREQ=DAILY\n")
                 EVENT("d", "UID:s2\nRECURRENCE-ID:20200102T100000\nDTSTART:20200102T110000\n")
                     EVENT("e", "UID:s3\nRECURRENCE-ID:20200102T100000\nDTSTART:20200102T110000\n"),
     "abcd"},
    {"UIDs that differ only by backslashes are one", "20230610", "P1W",
     EVENT("a", "UID:a\\,b\nDTSTART:20230612T100000\n") EVENT("b", "UID:a,b\nDTSTART:20200102T110000\n"),
     "ab"},
    {"what is not understood is kept", "20230610", "P1W",
     EVENT("a", "DTSTART;TZID=X:20200102T110000\nRECURRENCE-ID;RANGE=THISANDFUTURE:20200102T110000\n")
         EVENT("b", "DTSTART:20200102T110000\nRRULE:FREQ=DAILY;COUNT=2\nRRULE:FREQ=DAILY;COUNT=3\n")
             EVENT("c", "DTSTART:20200102T110000\nDTEND:20200101T110000\n")
                 EVENT("d", "dtstart:20200102T110000\nDTSTART:20200102T110000\n")
                     EVENT("e", "DTSTART:2020-01-02\n")
                         EVENT("f", "DTSTART:20200102T110000\nATTACH;VALUE=BINARY:AAAA\n")
                             EVENT("g", "DTSTART:20200102T110000\nBEGIN:VTIMEZONE\nTZID:Z\nEND:VTIMEZONE\n")
                                 EVENT("h", "SEQUENCE:1\n")
                                     EVENT("i", "DTSTART:20200102T110000\nBEGIN:VALARM\n"
                                                "TRIGGER:-PT5M\nEND:VALARM\n"),
     "abcdefgh"},
    {"DTSTAMP is not DTSTART, X- properties never match", "20230610", "P1W",
     EVENT("a", "DTSTAMP:20230612T100000Z\nX-DTSTART:20230612T100000\nDTSTART:20200102T110000\n"),
     ""},
    {"names and BEGIN lines folded anywhere", "20230610", "P1W",
     "BEGIN:VEV\n ENT\nSUMMARY:a\nDTST\n ART:20200102T110000\nEND:VEVENT\n"
     "BEGIN:VEVENT\nSUMMARY:b\nDT\r\n\tSTART:202306\n 12T110000\nEND:VEV\n\tENT\n",
     "b"},
    {"a text with a NUL byte goes whole", "20230610", "P1W",
     EVENT("a", "DTSTART:20200102T110000\nX-A:\x01\n") "X-B:", "whole"},
    {"components that do not nest go whole", "20230610", "P1W",
     EVENT("a", "DTSTART:20200102T110000\n") "BEGIN:VTODO\nEND:VEVENT\n", "whole"},
    {"a BEGIN line with parameters goes whole", "20230610", "P1W",
     EVENT("a", "DTSTART:20200102T110000\n") "BEGIN;X=1:VTODO\nEND:VTODO\n", "whole"},
    {"a fold with nothing after its space goes whole", "20230610", "P1W",
     EVENT("a", "DTSTART:20200102T110000\nSUMMARY:x\n \n") , "whole"},
};

// The letters of the kept events; kept_events, when given, is set to the
// number of VEVENTs of a VCALENDAR that the scan kept.
std::string kept_letters(const std::string &text, const char *start, const char *duration,
                         long *kept_events = nullptr)
{
    icaltimetype period_start = icaltime_from_string(start);
    icaltimetype period_end = icaltime_add(period_start, icaldurationtype_from_string(duration));
    prescan_counts counts;
    std::vector<text_span> spans =
        spans_for_period(text.data(), text.size(), period_start, period_end, &counts);
    if (counts.whole)
        return "whole";
    std::string kept;
    for (const text_span &span : spans)
        kept += text.substr(span.begin, span.end - span.begin);
    std::string letters;
    for (size_t at = kept.find("SUMMARY:"); at != std::string::npos;
         at = kept.find("SUMMARY:", at + 1))
        letters += kept[at + 8];
    if (kept_events != nullptr)
        *kept_events = counts.kept;
    return letters;
}

}  // namespace

TEST(spans_for_period, table)
{
    for (const scan_case &c : SCAN_CASES) {
        SCOPED_TRACE(c.name);
        std::string text = std::string("BEGIN:VCALENDAR\nVERSION:2.0\n") + c.events + "END:VCALENDAR\n";
        long kept_events = 0;
        std::string letters = kept_letters(text, c.start, c.duration, &kept_events);
        EXPECT_EQ(c.kept, letters);
        if (letters != "whole") {
            EXPECT_EQ(static_cast<long>(letters.size()), kept_events);
        }
    }
}

TEST(spans_for_period, outside_a_calendar)
{
    // A lone VEVENT is kept: it may be all the stream holds. What is not an
    // event passes as it is.
    std::string text = "BEGIN:VEVENT\nSUMMARY:a\nDTSTART:20200102T110000\nEND:VEVENT\n"
                       "BEGIN:VCALENDAR\nBEGIN:VTODO\nSUMMARY:b\nEND:VTODO\n"
                       "BEGIN:VEVENT\nSUMMARY:c\nDTSTART:20200102T110000\nEND:VEVENT\n"
                       "END:VCALENDAR\n";
    EXPECT_EQ("ab", kept_letters(text, "20230610", "P1W"));
    EXPECT_EQ("whole", kept_letters(std::string("\xFF\xFE") + text, "20230610", "P1W"));
}

TEST(open_period_input, gives_the_kept_text_then_the_read_error)
{
    std::string text = "BEGIN:VCALENDAR\nBEGIN:VEVENT\nDTSTART:20200102T110000\nEND:VEVENT\n"
                       "END:VCALENDAR\n";
    // A stream that gives the text, then fails as a disk may.
    struct failing {
        std::string text;
        size_t at;
    } source{text, 0};
    cookie_io_functions_t functions{};
    functions.read = [](void *cookie, char *buffer, size_t size) -> ssize_t {
        failing *f = static_cast<failing *>(cookie);
        if (f->at == f->text.size()) {
            errno = EIO;
            return -1;
        }
        size_t count = std::min(size, f->text.size() - f->at);
        f->text.copy(buffer, count, f->at);
        f->at += count;
        return static_cast<ssize_t>(count);
    };
    FILE *input = fopencookie(&source, "r", functions);
    ASSERT_NE(nullptr, input);
    icaltimetype start = icaltime_from_string("20230610");
    FILE *kept = open_period_input(input, start, start, nullptr);
    ASSERT_NE(nullptr, kept);
    char buffer[256];
    size_t count = fread(buffer, 1, sizeof buffer, kept);
    EXPECT_EQ("BEGIN:VCALENDAR\nEND:VCALENDAR\n", std::string(buffer, count));
    EXPECT_TRUE(ferror(kept));
    EXPECT_EQ(EIO, errno);
    fclose(kept);
    fclose(input);
}
