// zone_rules.cc: verdicts on the observance rules of time zones.
#include "renderer/zone_rules.h"

#include <algorithm>
#include <string>
#include <vector>

#include "renderer/rule_verdicts.h"
#include "renderer/rule_budget.h"
#include "renderer/windows_zones.h"
#include "shared/time_zones.h"

// An upper bound of the steps that libical takes through one year of an
// observance rule: a daily rule steps through every day whether its lists
// pick it or not, the others take about one step for each week, month or
// year. Rules that repeat within a day never get here: such zones change
// too often.
static long long steps_per_year(const icalrecurrencetype &rule)
{
    long long per_year;
    switch (rule.freq) {
    case ICAL_DAILY_RECURRENCE: per_year = 366; break;
    case ICAL_WEEKLY_RECURRENCE: per_year = 53; break;
    case ICAL_MONTHLY_RECURRENCE: per_year = 12; break;
    default: per_year = 1; break;
    }
    long long interval = rule.interval > 0 ? rule.interval : 1;
    return (per_year + interval - 1) / interval;
}

static long long observance_steps(int first_year, const icalrecurrencetype &rule, int up_to_year)
{
    int last_year = up_to_year;
    if (!icaltime_is_null_time(rule.until))
        last_year = std::min(last_year, rule.until.year);
    long long years = last_year >= first_year ? last_year - first_year + 1 : 0;
    return years * steps_per_year(rule);
}

const char *zone_rule_fault(icalcomponent *vtimezone, int up_to_year)
{
    static std::string reason;
    std::vector<long long> steps;
    for (icalcomponent *observance : observances_of(vtimezone)) {
        // Before the walk through its RRULEs, which a look-up of another
        // property would start again.
        icalproperty *start = icalcomponent_get_first_property(observance, ICAL_DTSTART_PROPERTY);
        int first_year = start != nullptr ? icalproperty_get_dtstart(start).year : 0;
        for (icalproperty *rrule = icalcomponent_get_first_property(observance, ICAL_RRULE_PROPERTY);
             rrule != nullptr;
             rrule = icalcomponent_get_next_property(observance, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype rule = icalproperty_get_rrule(rrule);
            rule_verdict verdict = judge_rule(rule);
            // Event rules of this shape are expanded by our own code, but a
            // zone's rules go to libical, which reads past its week table on
            // week numbers in a yearly rule.
            if (rule.freq == ICAL_YEARLY_RECURRENCE &&
                rule.by_week_no[0] != ICAL_RECURRENCE_ARRAY_MAX)
                verdict = RULE_UNSUPPORTED;
            if (verdict != RULE_EXPANDABLE) {
                char *text = icalrecurrencetype_as_string_r(&rule);
                reason = std::string("its rule ") + (text != nullptr ? text : "") + " " +
                         verdict_reason(verdict);
                icalmemory_free_buffer(text);
                return reason.c_str();
            }
            steps.push_back(observance_steps(first_year, rule, up_to_year));
        }
    }
    // Each rule has its own share; what the rules need beyond theirs comes
    // from the pool, all of it or the zone is ignored.
    long long beyond = 0;
    for (long long s : steps)
        beyond += std::max(0LL, s - RULE_STEPS_EACH);
    if (beyond > rule_steps_available() - RULE_STEPS_EACH) {
        note_rule_steps_spent();
        return "working its changes out takes too many steps";
    }
    for (long long s : steps)
        charge_rule_steps(s);
    return nullptr;
}

void drop_unusable_zones(icalcomponent *root, int up_to_year)
{
    start_rule_budget();
    drop_unsafe_zone_references(root, up_to_year, "evtable", zone_rule_fault);
}

void clean_zones(icalcomponent *root, icaltimetype period_end)
{
    int up_to_year = zone_coverage_year(period_end.year);
    read_windows_zone_names(root, up_to_year);
    drop_unusable_zones(root, up_to_year);
}
