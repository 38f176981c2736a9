// occurrence_table.h: occurrences of the selected events in the period, in
// display order. One table per process.
#pragma once

#include <functional>

#include <libical/ical.h>

/// A time that all occurrences of one event share, kept once for the event:
/// it reads as the icaltimetype it points to.
struct shared_time {
    const icaltimetype *time;
    shared_time() = default;
    shared_time(const icaltimetype *kept) : time(kept) {}
    operator icaltimetype() const { return *time; }
};

struct occurrence {
    icaltimetype start;           // in the display zone
    icaltimetype end;             // in the display zone
    const char *uid;              // borrowed from the tree; null without UID
    shared_time recurrence_id;    // in the display zone; null time without one
    icalcomponent *component;     // the VEVENT, borrowed from the tree
};

/// The table's records in their current order: records[i] is the i-th.
struct occurrence_list {
    const occurrence *const *order;
    const occurrence &operator[](int i) const { return *order[i]; }
};

struct occurrence_view {
    occurrence_list records;
    int record_count;
};

/// Appends one occurrence, converting its times into the zone. Running out of
/// memory ends the run with status 1 and "Out of memory\n".
void add_occurrence(icalcomponent *component, icaltimezone *zone, icaltimetype start,
                    icaltimetype end);

/// Keeps, of the records still in the order they were appended in (before
/// any sort), those that keep accepts, in that order; the room of the others
/// is used again.
void keep_occurrences(const std::function<bool(const occurrence &)> &keep);

/// Orders two times by their own year, month and day fields alone.
int compare_dates(const icaltimetype &a, const icaltimetype &b);

/// Display order: the start's own date (year, month, day, as shown in the
/// display zone), then start, end, UID and recurrence id as libical compares
/// them. A missing UID orders as the empty text.
int compare_occurrences(const occurrence *a, const occurrence *b);

/// Stable, so records equal in every key stay in document order.
void sort_occurrences();

occurrence_view occurrence_records();

/// Empties the table; for tests and the fuzzer, which run many documents in one process.
void clear_occurrences();
