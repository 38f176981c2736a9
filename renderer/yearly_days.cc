// yearly_days.cc: a yearly rule's instances, one year of days at a time.
#include "renderer/yearly_days.h"

#include <algorithm>

#include "renderer/calendar_days.h"
#include "renderer/rule_days.h"
#include "renderer/rule_parts.h"
#include "shared/libical_facts.h"

bool expands_by_own_days(const icalrecurrencetype &rule)
{
    return rule.freq == ICAL_YEARLY_RECURRENCE && is_gregorian(rule) &&
           (list_length(rule.by_week_no) > 0 ||
            (list_length(rule.by_day) > 0 && list_length(rule.by_month_day) > 0));
}

// The values of a time field: its BY list, sorted and each once, or
// DTSTART's own.
template <size_t N>
static std::vector<int> field_values(const short (&list)[N], int dtstart_value, int limit)
{
    std::vector<int> values;
    for (long i = 0; i < list_length(list); i++) {
        if (list[i] >= 0 && list[i] < limit)
            values.push_back(list[i]);
    }
    if (list_length(list) == 0)
        values.push_back(dtstart_value);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

bool start_yearly_days(yearly_days *y, const icalrecurrencetype &rule, icaltimetype dtstart,
                       icaltimetype period_start, icaltimetype period_end, long longest_days,
                       bool from_dtstart)
{
    y->times.clear();
    if (dtstart.is_date) {
        y->times.push_back(0);
    } else {
        for (int hour : field_values(rule.by_hour, dtstart.hour, 24)) {
            for (int minute : field_values(rule.by_minute, dtstart.minute, 60)) {
                for (int second : field_values(rule.by_second, dtstart.second, 61))
                    y->times.push_back(hour * 3600 + minute * 60 + second);
            }
        }
    }
    int interval = rule.interval > 0 ? rule.interval : 1;
    y->year = dtstart.year;
    // Without COUNT the years before the period give nothing it shows: the
    // expansion starts, in the rule's phase of years, a year before the
    // first instance that can still reach the period.
    if (!from_dtstart && rule.count <= 0) {
        int from_year = period_start.year - 1 - static_cast<int>(longest_days / 365);
        if (from_year > y->year)
            y->year += (from_year - y->year) / interval * interval;
    }
    y->last_year = LIBICAL_LAST_YEAR;
    if (!from_dtstart && period_end.year + 1 < y->last_year)
        y->last_year = period_end.year + 1;
    if (!icaltime_is_null_time(rule.until) && rule.until.year < y->last_year)
        y->last_year = rule.until.year;
    y->days.clear();
    y->picks.clear();
    y->next = 0;
    y->year -= interval;   // the first call opens the first year
    return !y->times.empty();
}

// The days of the next year of the rule's phase that fit its lists, and the
// places of the year's set that BYSETPOS picks. False after the last year.
static bool open_year(yearly_days *y, const icalrecurrencetype &rule)
{
    int interval = rule.interval > 0 ? rule.interval : 1;
    y->year += interval;
    if (y->year > y->last_year)
        return false;
    long first = day_number(y->year, 1, 1);
    int year_length = static_cast<int>(day_number(y->year + 1, 1, 1) - first);
    y->days.clear();
    for (long day = first; day < first + year_length; day++) {
        civil_day date = civil_day_of(day);
        if (day_fits(rule, day, date, icaltime_days_in_month(date.month, date.year), year_length))
            y->days.push_back(day);
    }
    y->picks.clear();
    y->next = 0;
    long long size =
        static_cast<long long>(y->days.size()) * static_cast<long long>(y->times.size());
    for (long i = 0; i < list_length(rule.by_set_pos); i++) {
        long long position = rule.by_set_pos[i];
        long long place = position > 0 ? position - 1 : size + position;
        if (position != 0 && place >= 0 && place < size)
            y->picks.push_back(place);
    }
    std::sort(y->picks.begin(), y->picks.end());
    y->picks.erase(std::unique(y->picks.begin(), y->picks.end()), y->picks.end());
    return true;
}

// The instance at a place of the open year's set: its day, then its time.
static icaltimetype instance_at(const yearly_days *y, icaltimetype dtstart, long long place)
{
    long long times = static_cast<long long>(y->times.size());
    civil_day date = civil_day_of(y->days[static_cast<size_t>(place / times)]);
    int seconds = y->times[static_cast<size_t>(place % times)];
    icaltimetype instance = dtstart;
    instance.year = date.year;
    instance.month = date.month;
    instance.day = date.day;
    if (!instance.is_date) {
        instance.hour = seconds / 3600;
        instance.minute = seconds / 60 % 60;
        instance.second = seconds % 60;
    }
    return instance;
}

icaltimetype next_yearly_instance(yearly_days *y, const icalrecurrencetype &rule,
                                  icaltimetype dtstart)
{
    bool by_positions = list_length(rule.by_set_pos) > 0;
    for (;;) {
        long long size = by_positions ? static_cast<long long>(y->picks.size())
                                      : static_cast<long long>(y->days.size()) *
                                            static_cast<long long>(y->times.size());
        if (y->next >= size) {
            if (!open_year(y, rule))
                return icaltime_null_time();
            continue;
        }
        long long place = by_positions ? y->picks[static_cast<size_t>(y->next)] : y->next;
        y->next++;
        icaltimetype instance = instance_at(y, dtstart, place);
        // Only what follows DTSTART belongs to the set; DTSTART itself only
        // when the rule gives it, as libical has it.
        if (icaltime_compare(instance, dtstart) >= 0)
            return instance;
    }
}
