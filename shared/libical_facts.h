// libical_facts.h: what libical 3.0 does at its edges, in one place. The
// programs bound their work and cut their input by these numbers; each is
// libical's, not a choice of ours.
#pragma once

#include <cstddef>

#include <libical/ical.h>

/// libical's zone-information directory, set before any zone is looked up.
constexpr char ZONE_DIRECTORY[] = "/usr/share/apps/libical/zoneinfo/";

/// The last year libical works out: its iterators give no instance after
/// it, and it computes a zone's offset changes up to it (asked about a later
/// time, it computes them all again on every call).
constexpr int LIBICAL_LAST_YEAR = 2582;

/// libical covers a zone this many years past the year asked about.
constexpr int LIBICAL_EXTRA_ZONE_YEARS = 5;

/// A VTIMEZONE's offset has two digits of hours: a zoned time's fields lie
/// less than this from its instant, whatever zone a file defines.
constexpr long long MAX_ZONE_OFFSET_SECONDS = 100 * 3600;

/// Zone offsets move a date by at most a day either way; two days of margin
/// around a period are safe for any zone libical knows.
constexpr long ZONE_MARGIN_DAYS = 2;

/// libical's parser keeps the first this many values of one line that it
/// splits into values and drops the rest without a word.
constexpr size_t LIBICAL_MAX_VALUES = 500;

/// The length of one of a recurrence rule's BY lists, which libical ends
/// with ICAL_RECURRENCE_ARRAY_MAX when it is not full.
template <size_t N> long list_length(const short (&values)[N])
{
    long length = 0;
    while (length < static_cast<long>(N) && values[length] != ICAL_RECURRENCE_ARRAY_MAX)
        length++;
    return length;
}
