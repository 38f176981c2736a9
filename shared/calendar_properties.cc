// calendar_properties.cc: the properties of one calendar taken into another.
#include "shared/calendar_properties.h"

#include <cctype>
#include <cstdlib>

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

property_names names_of_properties(icalcomponent *calendar)
{
    property_names names;
    for (icalproperty *property = icalcomponent_get_first_property(calendar, ICAL_ANY_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(calendar, ICAL_ANY_PROPERTY))
        names.insert(name_of(property));
    return names;
}

void move_calendar_properties(icalcomponent *from, icalcomponent *calendar, property_names *names,
                              const char *program)
{
    // Every line of a new name comes, so the names found here count only
    // for the calendars after this one.
    property_names added;
    // Copies, not the properties themselves: libical's removal of a property
    // walks the whole list, even when the property is its first.
    for (icalproperty *property = icalcomponent_get_first_property(from, ICAL_ANY_PROPERTY);
         property != nullptr; property = icalcomponent_get_next_property(from, ICAL_ANY_PROPERTY)) {
        if (icalproperty_isa(property) == ICAL_XLICERROR_PROPERTY) {
            if (program == nullptr)
                icalcomponent_add_property(calendar, icalproperty_new_clone(property));
            else
                report_parse_error(program, "calendar", property);
            continue;
        }
        std::string name = name_of(property);
        if (names->count(name) == 0) {
            added.insert(name);
            icalcomponent_add_property(calendar, icalproperty_new_clone(property));
        }
    }
    names->insert(added.begin(), added.end());
}

void move_calendar_properties(icalcomponent *from, icalcomponent *calendar, const char *program)
{
    property_names names = names_of_properties(calendar);
    move_calendar_properties(from, calendar, &names, program);
}
