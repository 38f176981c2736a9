// event_selection.cc: the class, category and text tests shared by evtable
// and evsift.
#include "shared/event_selection.h"

#include <strings.h>

#include "shared/fatal.h"
#include "shared/property_text.h"

const char *evtable_class_text(const icalproperty *property)
{
    return icalproperty_get_value_as_string(property);
}

const char *evsift_class_text(const icalproperty *property)
{
    return icalvalue_as_ical_string(icalproperty_get_value(property));
}

regex_t *compile_text_pattern(const char *program, const char *pattern)
{
    regex_t *compiled = new regex_t;
    int error = regcomp(compiled, pattern, REG_EXTENDED | REG_ICASE | REG_NOSUB);
    if (error != 0) {
        char reason[256];
        regerror(error, compiled, reason, sizeof reason);
        report_and_exit(STATUS_USAGE, "%s: incorrect pattern '%s': %s\n", program, pattern, reason);
    }
    return compiled;
}

static bool is_one_of(const char *text, const std::vector<const char *> &values)
{
    for (const char *value : values) {
        if (strcasecmp(value, text) == 0)
            return true;
    }
    return false;
}

static bool has_category_of(icalcomponent *event, const std::vector<const char *> &categories)
{
    for (icalproperty *property = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(event, ICAL_CATEGORIES_PROPERTY)) {
        if (is_one_of(text_or_empty(icalproperty_get_categories(property)), categories))
            return true;
    }
    return false;
}

// The texts of every SUMMARY, DESCRIPTION and LOCATION property; libical
// keeps them unescaped.
static bool has_text_matching(icalcomponent *event, const std::vector<const regex_t *> &patterns)
{
    static const icalproperty_kind TEXT_KINDS[] = {
        ICAL_SUMMARY_PROPERTY, ICAL_DESCRIPTION_PROPERTY, ICAL_LOCATION_PROPERTY};
    for (icalproperty_kind kind : TEXT_KINDS) {
        for (icalproperty *property = icalcomponent_get_first_property(event, kind);
             property != nullptr; property = icalcomponent_get_next_property(event, kind)) {
            const char *text = text_or_empty(icalvalue_get_text(icalproperty_get_value(property)));
            for (const regex_t *pattern : patterns) {
                if (regexec(pattern, text, 0, nullptr, 0) == 0)
                    return true;
            }
        }
    }
    return false;
}

bool select_event(icalcomponent *event, const event_selection *selection,
                  const char *default_class, class_text_reader read_class)
{
    if (!selection->classes.empty() || !selection->not_classes.empty()) {
        icalproperty *property = icalcomponent_get_first_property(event, ICAL_CLASS_PROPERTY);
        const char *class_text =
            property != nullptr ? text_or_empty(read_class(property)) : default_class;
        if (!selection->classes.empty() && !is_one_of(class_text, selection->classes))
            return false;
        if (is_one_of(class_text, selection->not_classes))
            return false;
    }
    if (!selection->categories.empty() && !has_category_of(event, selection->categories))
        return false;
    if (!selection->not_categories.empty() && has_category_of(event, selection->not_categories))
        return false;
    if (!selection->patterns.empty() && !has_text_matching(event, selection->patterns))
        return false;
    if (!selection->not_patterns.empty() && has_text_matching(event, selection->not_patterns))
        return false;
    return true;
}
