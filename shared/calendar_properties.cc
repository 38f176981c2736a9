// calendar_properties.cc: the properties of one calendar taken into another.
#include "shared/calendar_properties.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include "shared/parse_errors.h"

// An X- property is named by its own text; icalproperty_get_property_name_r
// gives that, where the kind alone would say only "X".
static std::string name_of(const icalproperty *property)
{
    char *name = icalproperty_get_property_name_r(property);
    std::string upper = name != nullptr ? name : "";
    free(name);
    for (char &c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return upper;
}

void move_calendar_properties(icalcomponent *from, icalcomponent *calendar, const char *program)
{
    std::unordered_set<std::string> present;
    for (icalproperty *property = icalcomponent_get_first_property(calendar, ICAL_ANY_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(calendar, ICAL_ANY_PROPERTY))
        present.insert(name_of(property));
    // Each property is taken from the front of from's list, where removing
    // it costs no search.
    while (icalproperty *property = icalcomponent_get_first_property(from, ICAL_ANY_PROPERTY)) {
        icalcomponent_remove_property(from, property);
        bool note = icalproperty_isa(property) == ICAL_XLICERROR_PROPERTY;
        if (note && program != nullptr) {
            report_parse_error(program, "calendar", property);
            icalproperty_free(property);
        } else if (!note && present.count(name_of(property)) != 0) {
            icalproperty_free(property);
        } else {
            icalcomponent_add_property(calendar, property);
        }
    }
}
