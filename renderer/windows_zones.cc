// windows_zones.cc: Windows zone names through ICU's copy of the CLDR table.
#include "renderer/windows_zones.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include <unicode/ucal.h>

#include "shared/time_zones.h"

// Windows zone names are short ASCII texts; the longest is some 32 bytes.
constexpr size_t MAX_WINDOWS_NAME = 128;

std::string iana_name_of_windows_zone(const char *name)
{
    size_t length = strlen(name);
    if (length == 0 || length > MAX_WINDOWS_NAME)
        return "";
    UChar windows_id[MAX_WINDOWS_NAME];
    for (size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c > 0x7e)
            return "";
        windows_id[i] = c;
    }
    UChar iana_id[MAX_WINDOWS_NAME];
    UErrorCode status = U_ZERO_ERROR;
    int32_t iana_length = ucal_getTimeZoneIDForWindowsID(
        windows_id, static_cast<int32_t>(length), "001", iana_id, MAX_WINDOWS_NAME, &status);
    if (U_FAILURE(status) || iana_length <= 0 || iana_length >= static_cast<int32_t>(MAX_WINDOWS_NAME))
        return "";
    std::string iana;
    for (int32_t i = 0; i < iana_length; i++) {
        if (iana_id[i] > 0x7e)
            return "";
        iana += static_cast<char>(iana_id[i]);
    }
    return iana;
}

// ICU's answer for each distinct TZID text, asked once.
static const std::string &cached_iana_name(const char *tzid)
{
    static std::unordered_map<std::string, std::string> &names =
        *new std::unordered_map<std::string, std::string>;
    auto found = names.find(tzid);
    if (found == names.end())
        found = names.emplace(tzid, iana_name_of_windows_zone(tzid)).first;
    return found->second;
}

void read_windows_zone_names(icalcomponent *root, int up_to_year)
{
    std::vector<icalcomponent *> components{root};
    icalcomponent *last_component = nullptr;
    std::string last_tzid;
    std::string last_rename;
    for (size_t i = 0; i < components.size(); i++) {
        icalcomponent *component = components[i];
        for (icalcomponent *child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT);
             child != nullptr;
             child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
            components.push_back(child);
        for (icalproperty *property = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY);
             property != nullptr;
             property = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
            icalparameter *parameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
            const char *tzid = parameter != nullptr ? icalparameter_get_tzid(parameter) : nullptr;
            if (tzid == nullptr)
                continue;
            // The properties of one component mostly share their TZID.
            if (component != last_component || last_tzid != tzid) {
                const std::string &iana = cached_iana_name(tzid);
                last_rename = !iana.empty() && find_time_zone(component, tzid, up_to_year) == nullptr
                                  ? iana
                                  : "";
                last_component = component;
                last_tzid = tzid;
            }
            if (!last_rename.empty())
                icalparameter_set_tzid(parameter, last_rename.c_str());
        }
    }
}
