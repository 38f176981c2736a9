// occurrence_table.cc: the process-wide table of occurrences.
#include "renderer/occurrence_table.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

#include "renderer/zone_time.h"
#include "shared/fatal.h"

// The records stay where they were appended, in blocks that are never moved
// or resized; the order of the table is an array of pointers, which is what
// the sort rearranges. Growth costs no copying of records, and exhaustion
// still ends the run as it must. Both live until the
// process exits.
constexpr size_t BLOCK_RECORDS = 1024;
static std::vector<occurrence *> &blocks = *new std::vector<occurrence *>;
static size_t stored_records = 0;
static std::vector<const occurrence *> &table = *new std::vector<const occurrence *>;

static occurrence *new_record()
{
    if (stored_records == blocks.size() * BLOCK_RECORDS)
        blocks.push_back(new occurrence[BLOCK_RECORDS]);
    occurrence *record = &blocks[stored_records / BLOCK_RECORDS][stored_records % BLOCK_RECORDS];
    stored_records++;
    return record;
}

// The RECURRENCE-IDs in the display zone, one for each event that has one;
// the events without one share a single null time.
static std::vector<icaltimetype *> &recurrence_ids = *new std::vector<icaltimetype *>;
static const icaltimetype *shared_null = nullptr;

static const icaltimetype *kept_recurrence_id(const icaltimetype &time)
{
    bool is_null = icaltime_is_null_time(time);
    if (is_null && shared_null != nullptr && std::memcmp(shared_null, &time, sizeof time) == 0)
        return shared_null;
    recurrence_ids.push_back(new icaltimetype(time));
    if (is_null)
        shared_null = recurrence_ids.back();
    return recurrence_ids.back();
}

// A recurring event appends many occurrences in a row: its UID and its
// RECURRENCE-ID are looked up once for all of them.
namespace {
struct event_keys {
    const icalcomponent *component;
    const icaltimezone *zone;
    const char *uid;
    const icaltimetype *recurrence_id;
};
}
static event_keys last_keys{};

static const event_keys &keys_of(icalcomponent *component, icaltimezone *zone)
{
    if (last_keys.component != component || last_keys.zone != zone) {
        icaltimetype recurrence_id =
            convert_time(icalcomponent_get_recurrenceid(component), zone);
        last_keys = {component, zone, icalcomponent_get_uid(component),
                     kept_recurrence_id(recurrence_id)};
    }
    return last_keys;
}

void add_occurrence(icalcomponent *component, icaltimezone *zone, icaltimetype start,
                    icaltimetype end)
{
    if (table.size() >= static_cast<size_t>(INT_MAX))
        report_and_exit(STATUS_EVTABLE_NO_MEMORY, "Out of memory\n");
    try {
        const event_keys &keys = keys_of(component, zone);
        occurrence record;
        record.start = convert_time(start, zone);
        record.end = convert_time(end, zone);
        record.uid = keys.uid;
        record.recurrence_id = {keys.recurrence_id};
        record.component = component;
        occurrence *stored = new_record();
        *stored = record;
        table.push_back(stored);
    } catch (const std::bad_alloc &) {
        report_and_exit(STATUS_EVTABLE_NO_MEMORY, "Out of memory\n");
    }
}

// Before any sort the table's i-th entry is the i-th record stored: the
// kept ones move down over the room of those left out.
void keep_occurrences(const std::function<bool(const occurrence &)> &keep)
{
    size_t kept = 0;
    for (size_t i = 0; i < table.size(); i++) {
        if (!keep(*table[i]))
            continue;
        occurrence *room = &blocks[kept / BLOCK_RECORDS][kept % BLOCK_RECORDS];
        if (room != table[i])
            *room = *table[i];
        table[kept++] = room;
    }
    table.resize(kept);
    stored_records = kept;
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

// compare_times inline for the sort, which compares times of one display
// zone nearly always: libical compares the fields of two times whose zones
// are the same (or when one is floating), a date before a time of its day.
static int compare_in_order(const icaltimetype &a, const icaltimetype &b)
{
    if (a.zone != b.zone && a.zone != nullptr && b.zone != nullptr)
        return compare_times(a, b);
    int result = compare_dates(a, b);
    if (result != 0)
        return result;
    if (a.is_date || b.is_date)
        return (a.is_date ? 0 : 1) - (b.is_date ? 0 : 1);
    if (a.hour != b.hour)
        return a.hour < b.hour ? -1 : 1;
    if (a.minute != b.minute)
        return a.minute < b.minute ? -1 : 1;
    if (a.second != b.second)
        return a.second < b.second ? -1 : 1;
    return 0;
}

int compare_occurrences(const occurrence *a, const occurrence *b)
{
    int result = compare_dates(a->start, b->start);
    if (result == 0)
        result = compare_in_order(a->start, b->start);
    if (result == 0)
        result = compare_in_order(a->end, b->end);
    if (result == 0)
        result = strcmp(uid_text(a), uid_text(b));
    if (result == 0)
        result = compare_in_order(*a->recurrence_id.time, *b->recurrence_id.time);
    return result;
}

void sort_occurrences()
{
    std::stable_sort(table.begin(), table.end(), [](const occurrence *a, const occurrence *b) {
        return compare_occurrences(a, b) < 0;
    });
}

occurrence_view occurrence_records()
{
    return {{table.data()}, static_cast<int>(table.size())};
}

void clear_occurrences()
{
    table.clear();
    for (icaltimetype *time : recurrence_ids)
        delete time;
    recurrence_ids.clear();
    shared_null = nullptr;
    for (occurrence *block : blocks)
        delete[] block;
    blocks.clear();
    stored_records = 0;
    last_keys = {};
}
