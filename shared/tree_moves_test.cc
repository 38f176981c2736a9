// tree_moves_test.cc: time zones and events taken out of parsed calendars of
// a few and of many time zones come out whole and in document order, and
// what libical keeps of X- properties survives the move byte for byte.
#include "shared/tree_moves.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/test_helpers.h"

namespace {

std::string zone(int n)
{
    return "BEGIN:VTIMEZONE\r\nTZID:Zone/" + std::to_string(n) +
           "\r\nX-LIC-LOCATION:Somewhere\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
           "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0100\r\nTZNAME:Z\r\nEND:STANDARD\r\n"
           "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nTZOFFSETFROM:+0100\r\n"
           "TZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
           "END:VTIMEZONE\r\n";
}

// An event with an alarm, an X- property, and (every third one) as many
// properties as given.
std::string event(int n, int extra_properties)
{
    std::string text = "BEGIN:VEVENT\r\nUID:event-" + std::to_string(n) +
                       "\r\nDTSTART;TZID=Zone/0:20261103T100000\r\nSUMMARY:Event " +
                       std::to_string(n) + "\r\nX-OWN;X-P=\"a,b\":kept as it is\r\n";
    for (int i = 0; n % 3 == 0 && i < extra_properties; i++)
        text += "CATEGORIES:c" + std::to_string(i) + "\r\n";
    return text + "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Soon\r\nTRIGGER:-PT5M\r\n"
                  "END:VALARM\r\nEND:VEVENT\r\n";
}

// zones VTIMEZONEs and as many events, each zone after an event, and a VTODO.
std::string calendar(int zones, int extra_properties)
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
    for (int n = 0; n < zones || n < 3; n++) {
        text += event(n, extra_properties);
        if (n < zones)
            text += zone(n);
        if (n == 1)
            text += "BEGIN:VTODO\r\nUID:todo\r\nEND:VTODO\r\n";
    }
    return text + "END:VCALENDAR\r\n";
}

struct take_case {
    const char *name;
    int zones;
    int extra_properties;
    bool husks_left;  // whether the components stay in root as husks
};

const take_case TAKE_CASES[] = {
    {"no zone", 0, 0, false},
    {"three zones", 3, 0, false},
    {"as many zones as are removed", static_cast<int>(MAX_REMOVED_ZONES), 0, false},
    {"one zone more: rebuilt", static_cast<int>(MAX_REMOVED_ZONES) + 1, 0, true},
    {"rebuilt events of many properties get copies", 100,
     static_cast<int>(MAX_MOVED_PROPERTIES) + 1, true},
};

TEST(take_zones_and_events, table)
{
    for (const take_case &c : TAKE_CASES) {
        SCOPED_TRACE(c.name);
        icalcomponent *root = icalparser_parse_string(calendar(c.zones, c.extra_properties).c_str());
        ASSERT_NE(nullptr, root);
        std::map<std::string, std::string> original;  // by TZID or UID
        for (icalcomponent *child = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT);
             child != nullptr; child = icalcomponent_get_next_component(root, ICAL_ANY_COMPONENT)) {
            icalproperty *tzid = icalcomponent_get_first_property(child, ICAL_TZID_PROPERTY);
            original[tzid != nullptr ? icalproperty_get_tzid(tzid) : icalcomponent_get_uid(child)] =
                text_of(child);
        }

        taken_components taken = take_zones_and_events(root);
        ASSERT_EQ(static_cast<size_t>(c.zones), taken.zones.size());
        ASSERT_EQ(static_cast<size_t>(std::max(c.zones, 3)), taken.events.size());
        for (size_t n = 0; n < taken.zones.size(); n++) {
            std::string tzid = "Zone/" + std::to_string(n);
            EXPECT_EQ(tzid, icalproperty_get_tzid(icalcomponent_get_first_property(
                                taken.zones[n], ICAL_TZID_PROPERTY)));
            EXPECT_EQ(nullptr, icalcomponent_get_parent(taken.zones[n]));
            EXPECT_EQ(original[tzid], text_of(taken.zones[n]));
        }
        for (size_t n = 0; n < taken.events.size(); n++) {
            std::string uid = "event-" + std::to_string(n);
            EXPECT_EQ(uid, icalcomponent_get_uid(taken.events[n]));
            EXPECT_EQ(nullptr, icalcomponent_get_parent(taken.events[n]));
            EXPECT_EQ(original[uid], text_of(taken.events[n]));
        }
        int left = icalcomponent_count_components(root, ICAL_ANY_COMPONENT);
        EXPECT_EQ(c.husks_left ? c.zones + std::max(c.zones, 3) + 1 : 0, left);

        icalcomponent_free(root);
        for (icalcomponent *component : taken.zones)
            icalcomponent_free(component);
        for (icalcomponent *component : taken.events)
            icalcomponent_free(component);
    }
}

TEST(rebuild_component, leaves_out_one_kind_and_keeps_nested_zones_in_order)
{
    icalcomponent *event = icalparser_parse_string(
        "BEGIN:VEVENT\r\nUID:u\r\nLOCATION:\r\nSUMMARY:s\r\n"
        "BEGIN:VTIMEZONE\r\nTZID:Inner/1\r\nEND:VTIMEZONE\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:\r\nEND:VALARM\r\n"
        "BEGIN:VTIMEZONE\r\nTZID:Inner/2\r\nEND:VTIMEZONE\r\nEND:VEVENT\r\n");
    ASSERT_NE(nullptr, event);
    std::string whole = text_of(event);
    icalcomponent *copy = rebuild_component(event, ICAL_NO_PROPERTY);
    EXPECT_EQ(whole, text_of(copy));
    icalcomponent *without = rebuild_component(copy, ICAL_XLICERROR_PROPERTY);
    EXPECT_EQ(std::string::npos, text_of(without).find("X-LIC-ERROR"));
    EXPECT_EQ(0, icalcomponent_count_properties(event, ICAL_ANY_PROPERTY));
    icalcomponent_free(event);
    icalcomponent_free(copy);
    icalcomponent_free(without);
}

struct add_zones_case {
    const char *name;
    const char *held;     // the calendar's children before: Z a zone, E an event
    int added;            // zones added
    const char *order;    // the children after: zones added (A), held zones (Z), events (E)
};

const add_zones_case ADD_ZONES_CASES[] = {
    {"nothing added", "EZ", 0, "ZE"},
    {"one zone to an empty calendar", "", 1, "A0"},
    {"three zones keep their order", "", 3, "A0A1A2"},
    {"zones go before held events", "EE", 2, "A0A1EE"},
    {"and before held zones", "ZE", 2, "A0A1ZE"},
};

// The calendar's children, each as a letter and, for an added zone, its
// place in what was added.
std::string children_order(icalcomponent *calendar)
{
    std::string order;
    for (icalcomponent *child : children_of(calendar)) {
        if (icalcomponent_isa(child) != ICAL_VTIMEZONE_COMPONENT) {
            order += "E";
            continue;
        }
        std::string tzid = icalproperty_get_tzid(icalcomponent_get_first_property(child, ICAL_TZID_PROPERTY));
        order += tzid.rfind("Added/", 0) == 0 ? "A" + tzid.substr(6) : "Z";
    }
    return order;
}

TEST(add_time_zones, table)
{
    for (const add_zones_case &c : ADD_ZONES_CASES) {
        SCOPED_TRACE(c.name);
        icalcomponent *calendar = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
        for (const char *kind = c.held; *kind != '\0'; kind++) {
            icalcomponent *child = *kind == 'Z'
                ? icalcomponent_vanew(ICAL_VTIMEZONE_COMPONENT, icalproperty_new_tzid("Held"), nullptr)
                : icalcomponent_new(ICAL_VEVENT_COMPONENT);
            icalcomponent_add_component(calendar, child);
        }
        std::vector<icalcomponent *> zones;
        for (int n = 0; n < c.added; n++) {
            std::string tzid = "Added/" + std::to_string(n);
            zones.push_back(icalcomponent_vanew(ICAL_VTIMEZONE_COMPONENT,
                                                icalproperty_new_tzid(tzid.c_str()), nullptr));
        }
        add_time_zones(calendar, zones);
        EXPECT_EQ(c.order, children_order(calendar));
        // libical finds each added zone by its TZID.
        for (int n = 0; n < c.added; n++) {
            std::string tzid = "Added/" + std::to_string(n);
            EXPECT_NE(nullptr, icalcomponent_get_timezone(calendar, tzid.c_str())) << tzid;
        }
        icalcomponent_free(calendar);
    }
}

struct x_property_case {
    const char *name;
    const char *line;      // as read
    const char *written;   // as written; null: the same bytes
};

// What libical keeps of X- properties; the rows with a written text are
// what it changes (listed in the manual pages).
const x_property_case X_PROPERTY_CASES[] = {
    {"plain text", "X-OWN:plain value", nullptr},
    {"parameters", "X-OWN;X-A=1;X-B=two:v", nullptr},
    {"quoted parameter", "X-OWN;X-Q=\"a, b; c: d\":v", nullptr},
    {"colons in the value", "X-URL:https://example.org:8080/a?b=c", nullptr},
    {"UTF-8", "X-NAME:J\xc3\xb6rg M\xc3\xbcller", nullptr},
    {"escaped line break and backslash", "X-TEXT:one\\ntwo\\\\three", nullptr},
    {"a long value folded as libical folds",
     "X-LONG:\r\n aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaabbbbbb\r\n bbbb",
     nullptr},
    {"a long value folded elsewhere is folded again",
     "X-LONG:aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n bbbbbbbbbb",
     "X-LONG:\r\n aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaabbbbbb\r\n bbbb"},
    {"typed value", "X-COUNT;VALUE=INTEGER:42", nullptr},
    {"escaped comma loses its backslash", "X-LIST:a\\,b", "X-LIST:a,b"},
    {"escaped semicolon loses its backslash", "X-LIST:a\\;b", "X-LIST:a;b"},
    {"a wrong integer becomes 0", "X-COUNT;VALUE=INTEGER:many", "X-COUNT;VALUE=INTEGER:0"},
};

TEST(x_properties, survive_a_move)
{
    for (const x_property_case &c : X_PROPERTY_CASES) {
        for (int zones : {1, static_cast<int>(MAX_REMOVED_ZONES) + 1}) {
            SCOPED_TRACE(std::string(c.name) + (zones > 1 ? ", rebuilt" : ", removed"));
            std::string text = "BEGIN:VCALENDAR\r\n";
            for (int n = 0; n < zones; n++)
                text += zone(n);
            text += "BEGIN:VEVENT\r\nUID:u\r\n" + std::string(c.line) + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
            icalcomponent *root = icalparser_parse_string(text.c_str());
            ASSERT_NE(nullptr, root);
            taken_components taken = take_zones_and_events(root);
            ASSERT_EQ(1u, taken.events.size());
            std::string written = c.written != nullptr ? c.written : c.line;
            EXPECT_EQ("BEGIN:VEVENT\r\nUID:u\r\n" + written + "\r\nEND:VEVENT\r\n",
                      text_of(taken.events[0]));
            icalcomponent_free(root);
            for (icalcomponent *component : taken.zones)
                icalcomponent_free(component);
            icalcomponent_free(taken.events[0]);
        }
    }
}

}  // namespace
