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

// One value of each criterion, or none where ABSENT.
event_selection criteria(const char *class_, const char *not_class, const char *category,
                         const char *not_category)
{
    event_selection selection;
    auto add = [](std::vector<const char *> *values, const char *text) {
        if (text != ABSENT)
            values->push_back(text);
    };
    add(&selection.classes, class_);
    add(&selection.not_classes, not_class);
    add(&selection.categories, category);
    add(&selection.not_categories, not_category);
    return selection;
}

event_selection only_class(const char *text) { return criteria(text, ABSENT, ABSENT, ABSENT); }
event_selection not_class(const char *text) { return criteria(ABSENT, text, ABSENT, ABSENT); }
event_selection only_category(const char *text) { return criteria(ABSENT, ABSENT, text, ABSENT); }
event_selection not_category(const char *text) { return criteria(ABSENT, ABSENT, ABSENT, text); }

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
     criteria("PRIVATE", "PRIVATE", ABSENT, ABSENT), false, false},
    {"class and not-class both PRIVATE, public event", "CLASS:PUBLIC\r\n",
     criteria("PRIVATE", "PRIVATE", ABSENT, ABSENT), false, false},
    {"class and not-class both PRIVATE, no CLASS", "",
     criteria("PRIVATE", "PRIVATE", ABSENT, ABSENT), false, false},
    {"class and a different not-class", "CLASS:PUBLIC\r\n",
     criteria("PUBLIC", "PRIVATE", ABSENT, ABSENT), true, true},
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
     criteria(ABSENT, ABSENT, "work", "garden"), true, true},
    {"category holds, not-category fails", "CATEGORIES:Work\r\nCATEGORIES:Home\r\n",
     criteria(ABSENT, ABSENT, "work", "home"), false, false},
    {"all four hold", "CLASS:CONFIDENTIAL\r\nCATEGORIES:Work\r\n",
     criteria("confidential", "private", "work", "home"), true, true},
    {"class fails before categories", "CLASS:PRIVATE\r\nCATEGORIES:Work\r\n",
     criteria("PUBLIC", ABSENT, "Work", ABSENT), false, false},
    {"class holds, category fails", "CLASS:PUBLIC\r\nCATEGORIES:Home\r\n",
     criteria("PUBLIC", ABSENT, "Work", ABSENT), false, false},

    // Every value of a repeated option counts.
    {"two classes keep the second", "CLASS:CONFIDENTIAL\r\n",
     {{"PUBLIC", "confidential"}, {}, {}, {}}, true, true},
    {"two classes keep neither other", "CLASS:PRIVATE\r\n",
     {{"PUBLIC", "CONFIDENTIAL"}, {}, {}, {}}, false, false},
    {"classes PUBLIC and NONE keep an event without CLASS", "", {{"PUBLIC", "NONE"}, {}, {}, {}},
     true, true},
    {"two not-classes drop the first", "CLASS:PRIVATE\r\n",
     {{}, {"PRIVATE", "CONFIDENTIAL"}, {}, {}}, false, false},
    {"two not-classes drop the second", "CLASS:CONFIDENTIAL\r\n",
     {{}, {"PRIVATE", "CONFIDENTIAL"}, {}, {}}, false, false},
    {"two not-classes keep another", "CLASS:PUBLIC\r\n", {{}, {"PRIVATE", "CONFIDENTIAL"}, {}, {}},
     true, true},
    {"two not-classes PUBLIC and NONE drop an event without CLASS", "",
     {{}, {"PUBLIC", "NONE"}, {}, {}}, false, false},
    {"class and two not-classes", "CLASS:PUBLIC\r\n", {{"PUBLIC"}, {"PRIVATE", "PUBLIC"}, {}, {}},
     false, false},
    {"two categories keep the second", "CATEGORIES:Home\r\n", {{}, {}, {"Work", "home"}, {}}, true,
     true},
    {"two categories keep neither other", "CATEGORIES:Garden\r\n", {{}, {}, {"Work", "Home"}, {}},
     false, false},
    {"two not-categories drop the first", "CATEGORIES:Work\r\n", {{}, {}, {}, {"work", "Home"}},
     false, false},
    {"two not-categories drop the second", "CATEGORIES:Garden\r\nCATEGORIES:Home\r\n",
     {{}, {}, {}, {"Work", "home"}}, false, false},
    {"two not-categories keep another", "CATEGORIES:Garden\r\n", {{}, {}, {}, {"Work", "Home"}},
     true, true},
    {"three of each kind", "CLASS:PRIVATE\r\nCATEGORIES:b\r\n",
     {{"PUBLIC", "PRIVATE", "X"}, {"CONFIDENTIAL", "Y", "Z"}, {"a", "b", "c"}, {"d", "e", "f"}},
     true, true},
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
        {"categories only", criteria(ABSENT, ABSENT, "Work", "Home"), 0},
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

// Patterns are the same for both programs: the class takes no part.
struct pattern_case {
    const char *name;
    const char *lines;
    std::vector<const char *> patterns;
    std::vector<const char *> not_patterns;
    bool kept;
};

static const pattern_case PATTERN_CASES[] = {
    {"no pattern keeps all", "SUMMARY:Lunch\r\n", {}, {}, true},
    {"summary matches", "SUMMARY:Home game\r\n", {"home"}, {}, true},
    {"description matches", "SUMMARY:Game\r\nDESCRIPTION:At home\r\n", {"home"}, {}, true},
    {"location matches", "SUMMARY:Game\r\nLOCATION:Home ground\r\n", {"home"}, {}, true},
    {"second summary matches", "SUMMARY:Game\r\nSUMMARY:Home\r\n", {"home"}, {}, true},
    {"no text matches", "SUMMARY:Away game\r\nLOCATION:Far\r\n", {"home"}, {}, false},
    {"event without texts fails a match", "", {"."}, {}, false},
    {"other properties are not searched", "COMMENT:home\r\nCATEGORIES:home\r\n", {"home"}, {},
     false},
    {"letter case is ignored", "SUMMARY:HOME GAME\r\n", {"Home Game"}, {}, true},
    {"extended syntax", "SUMMARY:Game vs Rovers\r\n", {"(united|rovers)$"}, {}, true},
    {"anchor at the text's start", "SUMMARY:Away game at home\r\n", {"^home"}, {}, false},
    {"escaped comma is matched unescaped", "SUMMARY:Lunch\\, break\r\n", {"lunch, break"}, {},
     true},
    {"no backslash is left in the text", "SUMMARY:Lunch\\, break\r\n", {"\\\\"}, {}, false},
    {"escaped newline is a newline", "DESCRIPTION:one\\ntwo\r\n", {"one\ntwo"}, {}, true},
    {"UTF-8 matched as bytes", "SUMMARY:Caf\xc3\xa9\r\n", {"CAF\xc3\xa9"}, {}, true},
    {"no case folding beyond ASCII", "SUMMARY:Caf\xc3\xa9\r\n", {"caf\xc3\x89"}, {}, false},
    {"either of two patterns", "SUMMARY:Game vs United\r\n", {"rovers", "united"}, {}, true},
    {"neither of two patterns", "SUMMARY:Game vs City\r\n", {"rovers", "united"}, {}, false},
    {"not-match drops", "SUMMARY:Lunch break\r\n", {}, {"lunch"}, false},
    {"not-match keeps another", "SUMMARY:Meeting\r\n", {}, {"lunch"}, true},
    {"not-match drops by the location", "SUMMARY:Meeting\r\nLOCATION:Lunch room\r\n", {},
     {"lunch"}, false},
    {"not-match keeps an event without texts", "", {}, {"."}, true},
    {"two not-matches drop the second", "SUMMARY:Coffee break\r\n", {}, {"lunch", "coffee"},
     false},
    {"two not-matches keep another", "SUMMARY:Meeting\r\n", {}, {"lunch", "coffee"}, true},
    {"match and not-match both hold", "SUMMARY:Home game\r\n", {"game"}, {"away"}, true},
    {"match holds, not-match fails", "SUMMARY:Away game\r\n", {"game"}, {"away"}, false},
};

TEST(select_event, patterns)
{
    for (const pattern_case &c : PATTERN_CASES) {
        SCOPED_TRACE(c.name);
        event_selection selection;
        for (const char *pattern : c.patterns)
            selection.patterns.push_back(compile_text_pattern("evsift", pattern));
        for (const char *pattern : c.not_patterns)
            selection.not_patterns.push_back(compile_text_pattern("evsift", pattern));
        icalcomponent *event = parse_event(c.lines);
        for (const program_parameters *program : {&EVTABLE, &EVSIFT})
            EXPECT_EQ(c.kept,
                      select_event(event, &selection, program->default_class, program->read_class));
        icalcomponent_free(event);
        for (auto list : {&selection.patterns, &selection.not_patterns}) {
            for (const regex_t *pattern : *list) {
                regfree(const_cast<regex_t *>(pattern));
                delete pattern;
            }
        }
    }
}

// A pattern regcomp refuses ends the run before anything else is done.
TEST(compile_text_pattern, incorrect_pattern_is_a_usage_error)
{
    struct incorrect_case {
        const char *program;
        const char *pattern;
        const char *message;
    };
    const incorrect_case cases[] = {
        {"evsift", "(home", "^evsift: incorrect pattern '\\(home': [^\n]+\n$"},
        {"evtable", "[a-", "^evtable: incorrect pattern '\\[a-': [^\n]+\n$"},
        {"evtable", "a{2,1}", "^evtable: incorrect pattern 'a\\{2,1\\}': [^\n]+\n$"},
        {"evsift", "*x", "^evsift: incorrect pattern '\\*x': [^\n]+\n$"},
    };
    for (const incorrect_case &c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EXIT(compile_text_pattern(c.program, c.pattern), testing::ExitedWithCode(2),
                    c.message);
    }
}
