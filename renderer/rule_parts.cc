// rule_parts.cc: the lists and the calendar of a recurrence rule.
#include "renderer/rule_parts.h"

#include <strings.h>

#include "shared/libical_facts.h"

std::array<long, 9> by_list_lengths(const icalrecurrencetype &rule)
{
    return {list_length(rule.by_second),    list_length(rule.by_minute),
            list_length(rule.by_hour),      list_length(rule.by_day),
            list_length(rule.by_month_day), list_length(rule.by_year_day),
            list_length(rule.by_week_no),   list_length(rule.by_month),
            list_length(rule.by_set_pos)};
}

bool has_by_lists(const icalrecurrencetype &rule)
{
    for (long length : by_list_lengths(rule)) {
        if (length > 0)
            return true;
    }
    return false;
}

bool picks_days(const icalrecurrencetype &rule)
{
    return list_length(rule.by_month) > 0 || list_length(rule.by_month_day) > 0 ||
           list_length(rule.by_year_day) > 0 || list_length(rule.by_day) > 0 ||
           list_length(rule.by_week_no) > 0;
}

bool gives_an_instance_each_step(const icalrecurrencetype &rule)
{
    std::array<long, 9> lengths = by_list_lengths(rule);
    const size_t BY_DAY_LIST = 3;
    for (size_t i = 0; i < lengths.size(); i++) {
        if (lengths[i] > 0 && !(i == BY_DAY_LIST && rule.freq == ICAL_WEEKLY_RECURRENCE))
            return false;
    }
    for (long i = 0; i < lengths[BY_DAY_LIST]; i++) {
        if (icalrecurrencetype_day_position(rule.by_day[i]) != 0)
            return false;
    }
    return true;
}

bool is_gregorian(const icalrecurrencetype &rule)
{
    return rule.rscale == nullptr || strcasecmp(rule.rscale, "GREGORIAN") == 0;
}
