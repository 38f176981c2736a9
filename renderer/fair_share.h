// fair_share.h: the document's bound on occurrences, shared fairly. Once
// the document holds more than its bound, the events with the most
// occurrences are cut to a share, so that a few huge series cannot crowd
// out every other event.
#pragma once

#include <vector>

#include <libical/ical.h>

/// The occurrences that one event has in the table.
struct event_count {
    const icalcomponent *event;
    long occurrences;
    bool cut;   // it has or had more than it keeps
};

struct document_share {
    long limit;          // the document's bound
    long occurrences;    // in the table
    // The events with occurrences, in document order, and the most that an
    // event may still take: the document's share, once its bound was reached.
    std::vector<event_count> counts;
    long share;
};

/// One event's place in the share: its index in counts (-1 before its first
/// occurrence) and the occurrences it has.
struct event_tally {
    long count_index;
    long occurrences;
};

void start_share(document_share *share, long limit);

/// False, and the event marked cut, when its share leaves it no room for
/// one more occurrence.
bool share_has_room(document_share *share, const event_tally &tally);

/// Counts an occurrence of the event just added to the table; false when
/// sharing out cut the event.
bool count_occurrence(document_share *share, const icalcomponent *event, event_tally *tally);

/// At the end of the collection: shares out once more when the document
/// holds more than its bound, and notes how many events were cut.
void note_shared_out(document_share *share);
