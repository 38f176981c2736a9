// output_calendar_test.cc: the output calendar, and the file set that replaces the
// output file only when the whole calendar is written.
#include "shared/output_calendar.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>
#include <libical/icalss.h>

#include "tests/test_helpers.h"

namespace {

const std::string EMPTY_EVSIFT_CALENDAR =
    "BEGIN:VCALENDAR\r\n"
    "VERSION:2.0\r\n"
    "PRODID:-//QUORVEL//NONSGML evsift " EVTOOLS_VERSION "//EN\r\n"
    "END:VCALENDAR\r\n";

const std::string EVJOIN_CALENDAR_WITH_EVENT =
    "BEGIN:VCALENDAR\r\n"
    "VERSION:2.0\r\n"
    "PRODID:-//QUORVEL//NONSGML evjoin " EVTOOLS_VERSION "//EN\r\n"
    "BEGIN:VEVENT\r\n"
    "UID:lunch-1@example.org\r\n"
    "SUMMARY:Lunch\r\n"
    "END:VEVENT\r\n"
    "END:VCALENDAR\r\n";

mode_t permission_bits(const std::string &path)
{
    struct stat status;
    EXPECT_EQ(0, stat(path.c_str(), &status)) << path;
    return status.st_mode & 07777;
}

icalcomponent *calendar_with_lunch()
{
    icalcomponent *calendar = new_output_calendar(EVJOIN_PRODID);
    icalcomponent *event = icalcomponent_vanew(
        ICAL_VEVENT_COMPONENT, icalproperty_new_uid("lunch-1@example.org"),
        icalproperty_new_summary("Lunch"), nullptr);
    icalcomponent_add_component(calendar, event);
    return calendar;
}

// Some tens of kilobytes of events.
icalcomponent *large_calendar()
{
    icalcomponent *calendar = new_output_calendar(EVSIFT_PRODID);
    std::string description(200, 'x');
    for (int n = 0; n < 200; n++) {
        std::string uid = "event-" + std::to_string(n) + "@example.org";
        icalcomponent_add_component(
            calendar, icalcomponent_vanew(ICAL_VEVENT_COMPONENT, icalproperty_new_uid(uid.c_str()),
                                          icalproperty_new_description(description.c_str()),
                                          nullptr));
    }
    return calendar;
}

void write_through_set(const std::string &path, icalcomponent *calendar)
{
    output_set output = open_output_set(path.c_str());
    store_output_calendar(&output, calendar);
}

class output_folder : public testing::Test {
protected:
    std::string directory;
    std::string output;  // directory/out.ics

    void SetUp() override
    {
        directory = make_scratch_folder("evtools-output");
        ASSERT_FALSE(directory.empty());
        output = directory + "/out.ics";
    }

    void TearDown() override { std::filesystem::remove_all(directory); }
};

}  // namespace

struct prodid_case {
    const char *name;
    const char *prodid;
    std::string text;
};

static const prodid_case PRODID_CASES[] = {
    {"evsift", EVSIFT_PRODID, EMPTY_EVSIFT_CALENDAR},
    {"evjoin", EVJOIN_PRODID,
     "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
     "PRODID:-//QUORVEL//NONSGML evjoin " EVTOOLS_VERSION "//EN\r\nEND:VCALENDAR\r\n"},
};

TEST(new_output_calendar, holds_version_then_prodid)
{
    for (const prodid_case &c : PRODID_CASES) {
        SCOPED_TRACE(c.name);
        icalcomponent *calendar = new_output_calendar(c.prodid);
        EXPECT_EQ(ICAL_VCALENDAR_COMPONENT, icalcomponent_isa(calendar));
        EXPECT_EQ(2, icalcomponent_count_properties(calendar, ICAL_ANY_PROPERTY));
        EXPECT_EQ(0, icalcomponent_count_components(calendar, ICAL_ANY_COMPONENT));
        icalproperty *first = icalcomponent_get_first_property(calendar, ICAL_ANY_PROPERTY);
        ASSERT_NE(nullptr, first);
        EXPECT_EQ(ICAL_VERSION_PROPERTY, icalproperty_isa(first));
        EXPECT_STREQ("2.0", icalproperty_get_version(first));
        icalproperty *second = icalcomponent_get_next_property(calendar, ICAL_ANY_PROPERTY);
        ASSERT_NE(nullptr, second);
        EXPECT_EQ(ICAL_PRODID_PROPERTY, icalproperty_isa(second));
        EXPECT_STREQ(c.prodid, icalproperty_get_prodid(second));
        EXPECT_EQ(c.text, icalcomponent_as_ical_string(calendar));
        icalcomponent_free(calendar);
    }
}

TEST_F(output_folder, writes_a_new_file)
{
    write_through_set(output, calendar_with_lunch());
    EXPECT_EQ(EVJOIN_CALENDAR_WITH_EVENT, read_file(output));
    EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
}

TEST_F(output_folder, writes_an_empty_calendar)
{
    write_through_set(output, new_output_calendar(EVSIFT_PRODID));
    EXPECT_EQ(EMPTY_EVSIFT_CALENDAR, read_file(output));
}

TEST_F(output_folder, replaces_an_existing_file)
{
    std::string earlier = EVJOIN_CALENDAR_WITH_EVENT + EVJOIN_CALENDAR_WITH_EVENT + "tail\r\n";
    write_file(output, earlier);
    output_set set = open_output_set(output.c_str());
    // Until the calendar is stored, the output keeps what it held, and no
    // temporary file exists yet.
    EXPECT_EQ(earlier, read_file(output));
    EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
    store_output_calendar(&set, new_output_calendar(EVSIFT_PRODID));
    EXPECT_EQ(EMPTY_EVSIFT_CALENDAR, read_file(output));
    EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
}

TEST_F(output_folder, writes_a_bare_name_in_the_working_directory)
{
    std::string previous = std::filesystem::current_path();
    ASSERT_EQ(0, chdir(directory.c_str()));
    write_through_set("out.ics", new_output_calendar(EVSIFT_PRODID));
    ASSERT_EQ(0, chdir(previous.c_str()));
    EXPECT_EQ(EMPTY_EVSIFT_CALENDAR, read_file(output));
    EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
}

TEST_F(output_folder, existing_file_keeps_its_permission_bits)
{
    for (mode_t mode : {0600, 0640, 0755, 0444, 0200, 0000, 04755}) {
        SCOPED_TRACE(mode);
        write_file(output, "earlier\r\n");
        ASSERT_EQ(0, chmod(output.c_str(), mode));
        write_through_set(output, new_output_calendar(EVSIFT_PRODID));
        EXPECT_EQ(mode, permission_bits(output));
        EXPECT_EQ(EMPTY_EVSIFT_CALENDAR, read_file(output));
        std::filesystem::remove(output);
    }
}

TEST_F(output_folder, new_file_gets_0644_less_the_umask)
{
    struct umask_case {
        mode_t mask;
        mode_t mode;
    };
    const umask_case cases[] = {{022, 0644}, {0, 0644}, {027, 0640}, {077, 0600}, {0222, 0444}};
    for (const umask_case &c : cases) {
        SCOPED_TRACE(c.mask);
        mode_t previous = umask(c.mask);
        write_through_set(output, new_output_calendar(EVSIFT_PRODID));
        umask(previous);
        EXPECT_EQ(c.mode, permission_bits(output));
        std::filesystem::remove(output);
    }
}

struct open_failure_case {
    const char *name;
    const char *relative_path;
    const char *reason;
};

static const open_failure_case OPEN_FAILURE_CASES[] = {
    {"missing directory", "missing/out.ics", "No such file or directory"},
    {"below a regular file", "plain/out.ics", "Not a directory"},
    {"a directory", "folder", "Is a directory"},
    {"a directory named with a slash", "folder/", "Is a directory"},
};

TEST_F(output_folder, open_failures_give_status_5)
{
    write_file(directory + "/plain", "not a folder\n");
    ASSERT_EQ(0, mkdir((directory + "/folder").c_str(), 0755));
    for (const open_failure_case &c : OPEN_FAILURE_CASES) {
        SCOPED_TRACE(c.name);
        std::string path = directory + "/" + c.relative_path;
        EXPECT_EXIT(open_output_set(path.c_str()), testing::ExitedWithCode(5),
                    "^" + regex_of(path) + ": " + c.reason + "\n$");
        EXPECT_EQ((std::vector<std::string>{"folder", "plain"}), names_in(directory));
        EXPECT_TRUE(names_in(directory + "/folder").empty());
    }
}

TEST_F(output_folder, failing_write_keeps_the_earlier_output)
{
    struct write_failure_case {
        const char *name;
        bool earlier_output;
    };
    const write_failure_case cases[] = {{"earlier output", true}, {"no earlier output", false}};
    const std::string earlier = EVJOIN_CALENDAR_WITH_EVENT;
    for (const write_failure_case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.earlier_output)
            write_file(output, earlier);
        EXPECT_EXIT(
            {
                // The calendar is far longer than the limit; the message is not.
                signal(SIGXFSZ, SIG_IGN);
                struct rlimit limit;
                limit.rlim_cur = limit.rlim_max = 8192;
                setrlimit(RLIMIT_FSIZE, &limit);
                output_set set = open_output_set(output.c_str());
                store_output_calendar(&set, large_calendar());
            },
            testing::ExitedWithCode(5), "^" + regex_of(output) + ": File too large\n$");
        if (c.earlier_output) {
            EXPECT_EQ(earlier, read_file(output));
            EXPECT_EQ(std::vector<std::string>{"out.ics"}, names_in(directory));
        } else {
            EXPECT_TRUE(names_in(directory).empty());
        }
        std::filesystem::remove(output);
    }
}

TEST_F(output_folder, large_calendar_is_written_whole)
{
    icalcomponent *calendar = large_calendar();
    char *expected = icalcomponent_as_ical_string_r(calendar);
    write_through_set(output, calendar);
    std::string written = read_file(output);
    EXPECT_GT(written.size(), 40000u);
    EXPECT_EQ(std::string(expected), written);
    free(expected);
}

// The text written is, byte for byte, what libical's file set writes for the
// same calendar.
TEST_F(output_folder, writes_what_the_file_set_writes)
{
    struct calendar_case {
        const char *name;
        icalcomponent *(*make)();
    };
    const calendar_case cases[] = {
        {"empty", [] { return new_output_calendar(EVSIFT_PRODID); }},
        {"one event", calendar_with_lunch},
        {"many events", large_calendar},
    };
    for (const calendar_case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string by_set = directory + "/by_set.ics";
        icalset *set = icalfileset_new(by_set.c_str());
        ASSERT_NE(nullptr, set);
        icalfileset_add_component(set, c.make());
        ASSERT_EQ(ICAL_NO_ERROR, icalfileset_commit(set));
        icalset_free(set);
        write_through_set(output, c.make());
        EXPECT_EQ(read_file(by_set), read_file(output));
        std::filesystem::remove(by_set);
    }
}
