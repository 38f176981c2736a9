// parse_errors.cc: libical's X-LIC-ERROR properties taken out and reported.
//
// The texts libical 3.0.16 writes into them (the ones that can reach a
// kept event or time zone):
//   "No value for NAME property. Removing entire property: "   (empty value)
//   "Can't parse as TYPE value in NAME property. Removing entire property: VALUE"
//   "Parse error in property name: NAME"   (a property libical does not know)
//   "Can't parse parameter name: TEXT", "Invalid VALUE type for property
//   NAME: VALUE=TEXT"   (a parameter dropped, the property kept)
//   "Got a data line, but could not find a property name or component begin
//   tag: LINE"   (a line dropped)
// NAME is "X" for every X- property.
#include "shared/parse_errors.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "shared/property_text.h"
#include "shared/tree_moves.h"

static bool starts_with(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// The word between before and after in text, or empty.
static std::string word_between(const char *text, const char *before, const char *after)
{
    const char *start = strstr(text, before);
    if (start == nullptr)
        return "";
    start += strlen(before);
    const char *end = strstr(start, after);
    if (end == nullptr || end == start || memchr(start, ' ', end - start) != nullptr)
        return "";
    return std::string(start, end);
}

std::string dropped_item(const char *error_text, icalparameter_xlicerrortype type)
{
    if (starts_with(error_text, "No value for "))
        return "";
    std::string name;
    if (starts_with(error_text, "Can't parse as "))
        name = word_between(error_text, " value in ", " property.");
    else if (starts_with(error_text, "Parse error in property name: "))
        name = error_text + strlen("Parse error in property name: ");
    if (name == "X")
        return "an X- property";
    if (!name.empty())
        return name;
    switch (type) {
    case ICAL_XLICERRORTYPE_PARAMETERNAMEPARSEERROR:
    case ICAL_XLICERRORTYPE_PARAMETERVALUEPARSEERROR:
        return "a parameter";
    case ICAL_XLICERRORTYPE_COMPONENTPARSEERROR:
        return "a line";
    default:
        return "a property";
    }
}

static std::string subject_of(icalcomponent *component)
{
    if (icalcomponent_isa(component) == ICAL_VTIMEZONE_COMPONENT) {
        icalproperty *tzid = icalcomponent_get_first_property(component, ICAL_TZID_PROPERTY);
        const char *text = tzid != nullptr ? icalproperty_get_tzid(tzid) : nullptr;
        return "time zone " + (text != nullptr ? printable(text) : std::string("without TZID"));
    }
    const char *uid = icalcomponent_get_uid(component);
    return "event " + (uid != nullptr ? printable(uid) : std::string("without UID"));
}

struct found_error {
    icalcomponent *holder;
    icalproperty *error;
};

// The X-LIC-ERRORs of component and its children, in the order they would
// be written; true when some component holds more than MAX_REMOVED_ERRORS.
static bool find_errors(icalcomponent *component, std::vector<found_error> *found)
{
    size_t held = 0;
    for (icalproperty *error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY);
         error != nullptr;
         error = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY)) {
        found->push_back({component, error});
        held++;
    }
    bool crowded = held > MAX_REMOVED_ERRORS;
    for (icalcomponent *child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT);
         child != nullptr;
         child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
        // libical writes no component of a kind it does not know, so
        // nothing in one is reported: it goes whole.
        icalcomponent_kind kind = icalcomponent_isa(child);
        if (kind != ICAL_NO_COMPONENT && kind != ICAL_X_COMPONENT && find_errors(child, found))
            crowded = true;
    }
    return crowded;
}

static void report(const std::string &subject, icalproperty *error, const char *program)
{
    const char *text = icalproperty_get_xlicerror(error);
    if (text == nullptr)
        text = "";
    icalparameter *type = icalproperty_get_first_parameter(error, ICAL_XLICERRORTYPE_PARAMETER);
    std::string item = dropped_item(text, type != nullptr ? icalparameter_get_xlicerrortype(type)
                                                          : ICAL_XLICERRORTYPE_NONE);
    if (!item.empty())
        fprintf(stderr, "%s: %s: %s dropped: %s\n", program, subject.c_str(), printable(item.c_str()).c_str(),
                printable(text).c_str());
}

void report_parse_error(const char *program, const char *subject, icalproperty *error)
{
    report(subject, error, program);
}

icalcomponent *drop_parse_errors(icalcomponent *component, const char *program)
{
    std::vector<found_error> found;
    bool crowded = find_errors(component, &found);
    if (found.empty())
        return component;
    std::string subject = subject_of(component);
    for (const found_error &f : found)
        report(subject, f.error, program);
    if (crowded) {
        icalcomponent *rebuilt = rebuild_component(component, ICAL_XLICERROR_PROPERTY);
        icalcomponent_free(component);
        return rebuilt;
    }
    for (const found_error &f : found) {
        icalcomponent_remove_property(f.holder, f.error);
        icalproperty_free(f.error);
    }
    return component;
}
