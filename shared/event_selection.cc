// event_selection.cc: the class and category test shared by evtable and evsift.
#include "shared/event_selection.h"

#include <strings.h>

#include "shared/property_text.h"

const char *evtable_class_text(const icalproperty *property)
{
    return icalproperty_get_value_as_string(property);
}

const char *evsift_class_text(const icalproperty *property)
{
    return icalvalue_as_ical_string(icalproperty_get_value(property));
}

static bool has_category(icalcomponent *event, const char *category)
{
    for (icalproperty *property = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(event, ICAL_CATEGORIES_PROPERTY)) {
        if (strcasecmp(category, text_or_empty(icalproperty_get_categories(property))) == 0)
            return true;
    }
    return false;
}

bool select_event(icalcomponent *event, const event_selection *selection,
                  const char *default_class, class_text_reader read_class)
{
    if (selection->class_ != nullptr || selection->not_class != nullptr) {
        icalproperty *property = icalcomponent_get_first_property(event, ICAL_CLASS_PROPERTY);
        const char *class_text =
            property != nullptr ? text_or_empty(read_class(property)) : default_class;
        if (selection->class_ != nullptr && strcasecmp(selection->class_, class_text) != 0)
            return false;
        if (selection->not_class != nullptr && strcasecmp(selection->not_class, class_text) == 0)
            return false;
    }
    if (selection->category != nullptr && !has_category(event, selection->category))
        return false;
    if (selection->not_category != nullptr && has_category(event, selection->not_category))
        return false;
    return true;
}
