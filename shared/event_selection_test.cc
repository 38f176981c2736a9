// event_selection_test.cc: select_event with evtable's and evsift's class parameters.
#include "shared/event_selection.h"

#include <string>

#include <gtest/gtest.h>

namespace {

icalcomponent *parse_event(const char *lines)
{
    std::string text = std::string("BEGIN:VEVENT\r\nUID:test\r\n") + lines + "END:VEVENT\r\n";
    icalcomponent *event = icalparser_parse_string(text.c_str());
    EXPECT_NE(nullptr, event);
    EXPECT_EQ(ICAL_VEVENT_COMPONENT, icalcomponent_isa(event));
    return event;
}

struct program_parameters {
    const char *name;
    const char *default_class;
    class_text_reader read_class;
};

const program_parameters EVTABLE = {"evtable", "PUBLIC", evtable_class_text};
const program_parameters EVSIFT = {"evsift", "NONE", evsift_class_text};

constexpr const char *ABSENT = nullptr;

event_selection only_class(const char *text) { return {text, ABSENT, ABSENT, ABSENT}; }
event_selection not_class(const char *text) { return {ABSENT, text, ABSENT, ABSENT}; }
event_selection only_category(const char *text) { return {ABSENT, ABSENT, text, ABSENT}; }
event_selection not_category(const char *text) { return {ABSENT, ABSENT, ABSENT, text}; }

}  // namespace

// Each row is run with both programs' parameters.
struct selection_case {
    const char *name;
    const char *lines;
    event_selection selection;
    bool kept_by_evtable;
    bool kept_by_evsift;
};

static const selection_case SELECTION_CASES[] = {
    {"no criteria keeps a private event", "CLASS:PRIVATE\r\nCATEGORIES:Work\r\n", {}, true, true},
    {"no criteria keeps a bare event", "", {}, true, true},
    {"class matches", "CLASS:PRIVATE\r\n", only_class("PRIVATE"), true, true},
    {"class ignores case of the option", "CLASS:PRIVATE\r\n", only_class("private"), true, true},
    {"class ignores case of the event", "CLASS:private\r\n", only_class("Private"), true, true},
    {"class differs", "CLASS:CONFIDENTIAL\r\n", only_class("PRIVATE"), false, false},
    {"extension class matches", "CLASS:X-SECRET\r\n", only_class("x-secret"), true, true},
    {"class is no prefix match", "CLASS:CONFIDENTIAL\r\n", only_class("CONFIDENT"), false, false},
    {"not-class excludes", "CLASS:PRIVATE\r\n", not_class("private"), false, false},
    {"not-class keeps another class", "CLASS:PUBLIC\r\n", not_class("PRIVATE"), true, true},
    {"only the first CLASS counts", "CLASS:PRIVATE\r\nCLASS:PUBLIC\r\n", only_class("PUBLIC"), false,
     false},
    {"no CLASS with class public", "", only_class("public"), true, false},
    {"no CLASS with not-class PUBLIC", "", not_class("PUBLIC"), false, true},
    {"no CLASS with class none", "", only_class("none"), false, true},
    {"no CLASS with not-class NONE", "", not_class("NONE"), true, false},
    {"class and not-class both PRIVATE, private event", "CLASS:PRIVATE\r\n",
     {"PRIVATE", "PRIVATE", ABSENT, ABSENT}, false, false},
    {"class and not-class both PRIVATE, public event", "CLASS:PUBLIC\r\n",
     {"PRIVATE", "PRIVATE", ABSENT, ABSENT}, false, false},
    {"class and not-class both PRIVATE, no CLASS", "", {"PRIVATE", "PRIVATE", ABSENT, ABSENT}, false,
     false},
    {"class and a different not-class", "CLASS:PUBLIC\r\n", {"PUBLIC", "PRIVATE", ABSENT, ABSENT},
     true, true},
    {"empty class rejects a class text", "CLASS:PUBLIC\r\n", only_class(""), false, false},
    {"empty class rejects the default", "", only_class(""), false, false},
    {"empty not-class keeps a class text", "CLASS:PRIVATE\r\n", not_class(""), true, true},

    {"category matches", "CATEGORIES:Work\r\n", only_category("Work"), true, true},
    {"category ignores case", "CATEGORIES:Work\r\n", only_category("wORK"), true, true},
    {"category rejects an event without CATEGORIES", "", only_category("Work"), false, false},
    {"category is whole-text equality", "CATEGORIES:Workshop\r\n", only_category("Work"), false,
     false},
    {"category is no suffix match", "CATEGORIES:Homework\r\n", only_category("work"), false, false},
    {"category in the second CATEGORIES property", "CATEGORIES:Home\r\nCATEGORIES:Work\r\n",
     only_category("work"), true, true},
    {"category in the third of several", "CATEGORIES:A\r\nCATEGORIES:B\r\nCATEGORIES:Work\r\n",
     only_category("Work"), true, true},
    {"category in none of several", "CATEGORIES:Home\r\nCATEGORIES:Garden\r\n",
     only_category("Work"), false, false},
    {"list a, b ,c gives a", "CATEGORIES:a, b ,c\r\n", only_category("a"), true, true},
    {"list a, b ,c gives b without spaces", "CATEGORIES:a, b ,c\r\n", only_category("B"), true,
     true},
    {"list a, b ,c gives c", "CATEGORIES:a, b ,c\r\n", only_category("c"), true, true},
    {"list a, b ,c is not one text", "CATEGORIES:a, b ,c\r\n", only_category("a, b ,c"), false,
     false},
    {"list a, b ,c keeps no spaces", "CATEGORIES:a, b ,c\r\n", only_category(" b "), false, false},
    {"empty category matches no category", "CATEGORIES:Work\r\n", only_category(""), false, false},

    {"not-category excludes", "CATEGORIES:Work\r\n", not_category("work"), false, false},
    {"not-category keeps an event without CATEGORIES", "", not_category("Work"), true, true},
    {"not-category keeps a longer category", "CATEGORIES:Workshop\r\n", not_category("Work"), true,
     true},
    {"not-category excludes by any of several", "CATEGORIES:Home\r\nCATEGORIES:Work\r\n",
     not_category("Work"), false, false},
    {"not-category excludes by an element of a list", "CATEGORIES:a, b ,c\r\n", not_category("c"),
     false, false},

    {"category and not-category both hold", "CATEGORIES:Work\r\nCATEGORIES:Home\r\n",
     {ABSENT, ABSENT, "work", "garden"}, true, true},
    {"category holds, not-category fails", "CATEGORIES:Work\r\nCATEGORIES:Home\r\n",
     {ABSENT, ABSENT, "work", "home"}, false, false},
    {"all four hold", "CLASS:CONFIDENTIAL\r\nCATEGORIES:Work\r\n",
     {"confidential", "private", "work", "home"}, true, true},
    {"class fails before categories", "CLASS:PRIVATE\r\nCATEGORIES:Work\r\n",
     {"PUBLIC", ABSENT, "Work", ABSENT}, false, false},
    {"class holds, category fails", "CLASS:PUBLIC\r\nCATEGORIES:Home\r\n",
     {"PUBLIC", ABSENT, "Work", ABSENT}, false, false},
};

TEST(select_event, table)
{
    for (const selection_case &c : SELECTION_CASES) {
        for (const program_parameters *program : {&EVTABLE, &EVSIFT}) {
            SCOPED_TRACE(std::string(c.name) + " (" + program->name + ")");
            icalcomponent *event = parse_event(c.lines);
            bool expected = program == &EVTABLE ? c.kept_by_evtable : c.kept_by_evsift;
            EXPECT_EQ(expected,
                      select_event(event, &c.selection, program->default_class, program->read_class));
            icalcomponent_free(event);
        }
    }
}

// Properties for which libical gives no text compare as the empty text.
TEST(select_event, property_without_text_is_the_empty_text)
{
    for (const program_parameters *program : {&EVTABLE, &EVSIFT}) {
        SCOPED_TRACE(program->name);
        icalcomponent *event = parse_event("");
        icalcomponent_add_property(event, icalproperty_new(ICAL_CLASS_PROPERTY));
        icalcomponent_add_property(event, icalproperty_new(ICAL_CATEGORIES_PROPERTY));

        event_selection empty_class = only_class("");
        EXPECT_TRUE(select_event(event, &empty_class, program->default_class, program->read_class));
        event_selection default_class = only_class(program->default_class);
        EXPECT_FALSE(
            select_event(event, &default_class, program->default_class, program->read_class));
        event_selection empty_category = only_category("");
        EXPECT_TRUE(
            select_event(event, &empty_category, program->default_class, program->read_class));
        event_selection empty_not_category = not_category("");
        EXPECT_FALSE(
            select_event(event, &empty_not_category, program->default_class, program->read_class));
        icalcomponent_free(event);
    }
}

static int class_reads = 0;

static const char *counting_class_text(const icalproperty *property)
{
    class_reads++;
    return evtable_class_text(property);
}

TEST(select_event, class_is_read_only_for_class_criteria)
{
    struct read_case {
        const char *name;
        event_selection selection;
        int reads;
    };
    const read_case cases[] = {
        {"no criteria", {}, 0},
        {"categories only", {ABSENT, ABSENT, "Work", "Home"}, 0},
        {"class", only_class("PRIVATE"), 1},
        {"not-class", not_class("PRIVATE"), 1},
    };
    for (const read_case &c : cases) {
        SCOPED_TRACE(c.name);
        icalcomponent *event = parse_event("CLASS:PRIVATE\r\nCATEGORIES:Work\r\n");
        class_reads = 0;
        select_event(event, &c.selection, "PUBLIC", counting_class_text);
        EXPECT_EQ(c.reads, class_reads);
        icalcomponent_free(event);
    }
}
