// occurrence_table.cc: the process-wide table of occurrences.
#include "renderer/occurrence_table.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "shared/fatal.h"

// The table grows geometrically; exhaustion still ends the run as it must.
static std::vector<occurrence> table;

void add_occurrence(icalcomponent *component, icaltimezone *zone, icaltimetype start,
                    icaltimetype end)
{
    icaltimetype recurrence_id = icalcomponent_get_recurrenceid(component);
    occurrence record;
    record.start = icaltime_convert_to_zone(start, zone);
    record.end = icaltime_convert_to_zone(end, zone);
    record.uid = icalcomponent_get_uid(component);
    record.recurrence_id = icaltime_convert_to_zone(recurrence_id, zone);
    record.component = component;
    if (table.size() >= static_cast<size_t>(INT_MAX))
        report_and_exit(STATUS_EVTABLE_NO_MEMORY, "Out of memory\n");
    try {
        table.push_back(record);
    } catch (const std::bad_alloc &) {
        report_and_exit(STATUS_EVTABLE_NO_MEMORY, "Out of memory\n");
    }
}

int compare_dates(const icaltimetype &a, const icaltimetype &b)
{
    if (a.year != b.year)
        return a.year < b.year ? -1 : 1;
    if (a.month != b.month)
        return a.month < b.month ? -1 : 1;
    if (a.day != b.day)
        return a.day < b.day ? -1 : 1;
    return 0;
}

static const char *uid_text(const occurrence *record)
{
    return record->uid != nullptr ? record->uid : "";
}

int compare_occurrences(const occurrence *a, const occurrence *b)
{
    int result = compare_dates(a->start, b->start);
    if (result == 0)
        result = icaltime_compare(a->start, b->start);
    if (result == 0)
        result = icaltime_compare(a->end, b->end);
    if (result == 0)
        result = strcmp(uid_text(a), uid_text(b));
    if (result == 0)
        result = icaltime_compare(a->recurrence_id, b->recurrence_id);
    return result;
}

void sort_occurrences()
{
    std::stable_sort(table.begin(), table.end(), [](const occurrence &a, const occurrence &b) {
        return compare_occurrences(&a, &b) < 0;
    });
}

static bool is_overridden_by(const occurrence &generated, const occurrence &next)
{
    return strcmp(uid_text(&generated), uid_text(&next)) == 0 &&
           icaltime_compare(generated.start, next.start) == 0 &&
           icaltime_is_null_time(generated.recurrence_id) &&
           !icaltime_is_null_time(next.recurrence_id);
}

void drop_overridden_occurrences()
{
    size_t kept = 0;
    for (size_t j = 0; j < table.size(); j++) {
        if (j + 1 < table.size() && is_overridden_by(table[j], table[j + 1]))
            continue;
        table[kept++] = table[j];
    }
    table.resize(kept);
}

occurrence_view occurrence_records()
{
    return {table.data(), static_cast<int>(table.size())};
}

void clear_occurrences()
{
    table.clear();
}
