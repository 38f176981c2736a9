// time_zones.cc: safe look-ups of the zones that TZID parameters name.
#include "shared/time_zones.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/libical_facts.h"
#include "shared/property_text.h"

bool is_plain_zone_name(const char *tzid)
{
    size_t length = strlen(tzid);
    if (length == 0 || length > MAX_ZONE_NAME)
        return false;
    // Without dots no part can be "." or "..": only empty parts are left
    // to refuse.
    const char *part = tzid;
    for (const char *p = tzid;; p++) {
        if (*p == '/' || *p == '\0') {
            if (p == part)
                return false;
            if (*p == '\0')
                return true;
            part = p + 1;
            continue;
        }
        char c = *p;
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '+' || c == '-';
        if (!allowed)
            return false;
    }
}

// Days of the week in a BYDAY list with no ordinal ("SU", not "-1SU").
static long weekdays_without_ordinal(const icalrecurrencetype &rule)
{
    long count = 0;
    for (long i = 0; i < list_length(rule.by_day); i++) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) == 0)
            count++;
    }
    return count;
}

// At most this many days of one month fit both the BYMONTHDAY and the BYDAY
// list: the days of a weekday without ordinal are month days of one
// remainder modulo 7, so it falls on no more listed days than share a
// remainder (a day counted from the end may have any); a weekday with an
// ordinal is one day.
static double days_fitting_both(const icalrecurrencetype &rule)
{
    long month_days = list_length(rule.by_month_day);
    long sharing[7] = {0, 0, 0, 0, 0, 0, 0};
    for (long i = 0; i < month_days; i++) {
        int day = rule.by_month_day[i];
        for (int remainder = 0; remainder < 7; remainder++)
            sharing[remainder] += day < 0 || day % 7 == remainder ? 1 : 0;
    }
    long most = 0;
    for (long count : sharing)
        most = count > most ? count : most;
    long free_weekdays = weekdays_without_ordinal(rule);
    long ordinal_days = list_length(rule.by_day) - free_weekdays;
    double fitting = static_cast<double>(ordinal_days + free_weekdays * most);
    return fitting < month_days ? fitting : static_cast<double>(month_days);
}

// An upper bound of the changes one observance rule gives in a year, or -1
// for a rule that changes more often than daily.
static long changes_per_year(const icalrecurrencetype &rule)
{
    if (rule.freq == ICAL_SECONDLY_RECURRENCE || rule.freq == ICAL_MINUTELY_RECURRENCE ||
        rule.freq == ICAL_HOURLY_RECURRENCE || rule.freq == ICAL_NO_RECURRENCE ||
        list_length(rule.by_second) > 1 || list_length(rule.by_minute) > 1 ||
        list_length(rule.by_hour) > 1)
        return -1;
    double steps;
    double per_step = 1;
    long by_day = list_length(rule.by_day);
    long free_weekdays = weekdays_without_ordinal(rule);
    long ordinal_days = by_day - free_weekdays;
    auto times = [&per_step](long length) { per_step *= length > 0 ? static_cast<double>(length) : 1; };
    switch (rule.freq) {
    case ICAL_DAILY_RECURRENCE:
        steps = 366;
        break;
    case ICAL_WEEKLY_RECURRENCE:
        steps = 53;
        times(by_day);
        break;
    case ICAL_MONTHLY_RECURRENCE:
        steps = 12;
        times(list_length(rule.by_month_day));
        if (by_day > 0)
            per_step *= static_cast<double>(ordinal_days + 5 * free_weekdays);
        if (by_day > 0 && list_length(rule.by_month_day) > 0)
            per_step = std::min(per_step, days_fitting_both(rule));
        break;
    default:
        steps = 1;
        times(list_length(rule.by_month));
        times(list_length(rule.by_week_no) * 7);
        times(list_length(rule.by_year_day));
        times(list_length(rule.by_month_day));
        if (by_day > 0)
            per_step *= static_cast<double>(ordinal_days + 53 * free_weekdays);
        if (by_day > 0 && list_length(rule.by_month_day) > 0) {
            long months = list_length(rule.by_month);
            per_step = std::min(per_step, static_cast<double>(months > 0 ? months : 12) *
                                              days_fitting_both(rule));
        }
        break;
    }
    // BYSETPOS keeps at most one instance of each step per position.
    if (list_length(rule.by_set_pos) > 0)
        per_step = std::min(per_step, static_cast<double>(list_length(rule.by_set_pos)));
    double interval = rule.interval > 0 ? rule.interval : 1;
    double per_year = (steps + interval - 1) / interval * per_step;
    // Without a finer rule, at most one change a day.
    return per_year < 366 ? static_cast<long>(per_year) : 366;
}

// An upper bound of the changes of one STANDARD or DAYLIGHT observance up
// to the year, or -1 for one that changes more often than daily.
static long observance_changes(icalcomponent *observance, int up_to_year)
{
    icalproperty *start = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
    int first_year = start != nullptr ? icalproperty_get_dtstart(start).year : 0;
    long changes = 0;
    for (icalproperty *rdate = icalcomponent_get_first_property(observance, ICAL_RDATE_PROPERTY);
         rdate != nullptr;
         rdate = icalcomponent_get_next_property(observance, ICAL_RDATE_PROPERTY)) {
        if (++changes > MAX_ZONE_CHANGES)
            return changes;
    }
    for (icalproperty *rrule = icalcomponent_get_first_property(observance, ICAL_RRULE_PROPERTY);
         rrule != nullptr;
         rrule = icalcomponent_get_next_property(observance, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype rule = icalproperty_get_rrule(rrule);
        long per_year = changes_per_year(rule);
        if (per_year < 0)
            return -1;
        int last_year = up_to_year;
        if (!icaltime_is_null_time(rule.until) && rule.until.year < last_year)
            last_year = rule.until.year;
        double years = last_year >= first_year ? last_year - first_year + 1 : 0;
        double bound = years * static_cast<double>(per_year);
        if (rule.count > 0 && rule.count < bound)
            bound = rule.count;
        if (bound > MAX_ZONE_CHANGES)
            return MAX_ZONE_CHANGES + 1;
        changes += static_cast<long>(bound);
        if (changes > MAX_ZONE_CHANGES)
            return changes;
    }
    return changes;
}

std::vector<icalcomponent *> observances_of(icalcomponent *vtimezone)
{
    std::vector<icalcomponent *> observances;
    for (icalcomponent *observance = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT);
         observance != nullptr;
         observance = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
        icalcomponent_kind kind = icalcomponent_isa(observance);
        if (kind == ICAL_XSTANDARD_COMPONENT || kind == ICAL_XDAYLIGHT_COMPONENT)
            observances.push_back(observance);
    }
    return observances;
}

bool is_costly_time_zone(icalcomponent *vtimezone, int up_to_year)
{
    long changes = 0;
    for (icalcomponent *observance : observances_of(vtimezone)) {
        long more = observance_changes(observance, up_to_year);
        if (more < 0)
            return true;
        changes += more;
        if (changes > MAX_ZONE_CHANGES)
            return true;
    }
    return false;
}

int zone_coverage_year(int year)
{
    static int current_year = icaltime_today().year;
    int covered = (year > current_year ? year : current_year) + LIBICAL_EXTRA_ZONE_YEARS;
    return covered < LIBICAL_LAST_YEAR ? covered : LIBICAL_LAST_YEAR;
}

// The verdicts on the VTIMEZONEs looked at so far, by component and year.
static std::unordered_map<const icalcomponent *, std::pair<int, bool>> &costly_verdicts =
    *new std::unordered_map<const icalcomponent *, std::pair<int, bool>>;

static bool is_costly_zone_kept(icalcomponent *vtimezone, int up_to_year)
{
    auto known = costly_verdicts.find(vtimezone);
    if (known != costly_verdicts.end() && known->second.first >= up_to_year)
        return known->second.second;
    bool costly = is_costly_time_zone(vtimezone, up_to_year);
    costly_verdicts[vtimezone] = {up_to_year, costly};
    return costly;
}

// The VTIMEZONE that tzid names for the component, as libical finds it:
// among the component's own zones, then its parent's, and so on up.
static icaltimezone *zone_of_calendar(icalcomponent *component, const char *tzid)
{
    for (icalcomponent *c = component; c != nullptr; c = icalcomponent_get_parent(c)) {
        icaltimezone *zone = icalcomponent_get_timezone(c, tzid);
        if (zone != nullptr)
            return zone;
    }
    return nullptr;
}

icaltimezone *find_time_zone(icalcomponent *component, const char *tzid, int up_to_year)
{
    if (tzid == nullptr)
        return nullptr;
    icaltimezone *zone = zone_of_calendar(component, tzid);
    if (zone != nullptr)
        return is_costly_zone_kept(icaltimezone_get_component(zone), up_to_year) ? nullptr : zone;
    return is_plain_zone_name(tzid) ? icaltimezone_get_builtin_timezone(tzid) : nullptr;
}

icaltimetype zoned_time(icalcomponent *component, icalproperty *property, icaltimetype value)
{
    if (value.is_date || value.zone != nullptr)
        return value;
    icalparameter *parameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    if (parameter == nullptr)
        return value;
    icaltimezone *zone = find_time_zone(component, icalparameter_get_tzid(parameter),
                                        zone_coverage_year(value.year));
    return zone != nullptr ? icaltime_set_timezone(&value, zone) : value;
}

// Every component of the tree, parents before children, without recursion.
static std::vector<icalcomponent *> all_components(icalcomponent *root)
{
    std::vector<icalcomponent *> found{root};
    for (size_t i = 0; i < found.size(); i++) {
        for (icalcomponent *child = icalcomponent_get_first_component(found[i], ICAL_ANY_COMPONENT);
             child != nullptr;
             child = icalcomponent_get_next_component(found[i], ICAL_ANY_COMPONENT))
            found.push_back(child);
    }
    return found;
}

static const char *tzid_of(icalcomponent *vtimezone)
{
    icalproperty *tzid = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY);
    const char *text = tzid != nullptr ? icalproperty_get_tzid(tzid) : nullptr;
    return text != nullptr ? text : "";
}

// True when the component is one of the removed ones or lies inside one.
static bool is_within(icalcomponent *component, const std::vector<icalcomponent *> &removed)
{
    if (removed.empty())
        return false;
    for (icalcomponent *c = component; c != nullptr; c = icalcomponent_get_parent(c)) {
        for (icalcomponent *zone : removed) {
            if (c == zone)
                return true;
        }
    }
    return false;
}

void drop_unsafe_zone_references(icalcomponent *root, int up_to_year, const char *program,
                                 zone_judge judge)
{
    std::vector<icalcomponent *> components = all_components(root);
    std::set<std::string> ignored;
    std::vector<icalcomponent *> removed;
    for (icalcomponent *component : components) {
        if (icalcomponent_isa(component) != ICAL_VTIMEZONE_COMPONENT)
            continue;
        const char *reason = is_costly_time_zone(component, up_to_year)
                                 ? "its rules change too often"
                             : judge != nullptr ? judge(component, up_to_year)
                                                : nullptr;
        if (reason == nullptr)
            continue;
        const char *tzid = tzid_of(component);
        fprintf(stderr, "%s: time zone %s ignored: %s\n", program, printable(tzid).c_str(), reason);
        ignored.insert(tzid);
        icalcomponent *parent = icalcomponent_get_parent(component);
        if (parent != nullptr) {
            icalcomponent_remove_component(parent, component);
            removed.push_back(component);
        }
    }
    for (icalcomponent *component : components) {
        if (is_within(component, removed))
            continue;
        for (icalproperty *property = icalcomponent_get_first_property(component, ICAL_ANY_PROPERTY);
             property != nullptr;
             property = icalcomponent_get_next_property(component, ICAL_ANY_PROPERTY)) {
            icalparameter *parameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
            if (parameter == nullptr)
                continue;
            const char *tzid = icalparameter_get_tzid(parameter);
            bool unsafe = tzid == nullptr || ignored.count(tzid) > 0 ||
                          (!is_plain_zone_name(tzid) && zone_of_calendar(component, tzid) == nullptr);
            if (unsafe)
                icalproperty_remove_parameter_by_kind(property, ICAL_TZID_PARAMETER);
        }
    }
    for (icalcomponent *zone : removed)
        icalcomponent_free(zone);
}
