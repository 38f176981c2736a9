// fair_share.cc: counting the occurrences of each event, and sharing the
// document's bound out among them.
#include "renderer/fair_share.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <unordered_map>

#include "renderer/occurrence_table.h"

void start_share(document_share *c, long limit)
{
    c->limit = limit;
    c->occurrences = 0;
    c->counts.clear();
    c->share = LONG_MAX;
}

bool share_has_room(document_share *c, const event_tally &tally)
{
    if (tally.occurrences >= c->share) {
        c->counts[static_cast<size_t>(tally.count_index)].cut = true;
        return false;
    }
    return true;
}

// The most occurrences that each event may keep so that the document holds
// at most its bound: every event with fewer keeps all of them, each of the
// others the share, and the ones left over go, one each, to the first of
// those in document order. Events cut are marked, and keep their first
// occurrences.
static void share_out(document_share *c)
{
    std::vector<long> sizes;
    for (const event_count &count : c->counts)
        sizes.push_back(count.occurrences);
    std::sort(sizes.begin(), sizes.end());
    long share = 0;
    long below = 0;   // the occurrences of the events under the share
    for (size_t i = 0; i < sizes.size(); i++) {
        long others = static_cast<long>(sizes.size() - i);
        if (below + others * sizes[i] > c->limit) {
            share = (c->limit - below) / others;
            break;
        }
        below += sizes[i];
        share = sizes[i];
    }
    long left_over = c->limit;
    for (const event_count &count : c->counts)
        left_over -= std::min(count.occurrences, share);
    std::unordered_map<const icalcomponent *, long> kept;
    for (event_count &count : c->counts) {
        long keep = std::min(count.occurrences, share);
        if (count.occurrences > share && left_over > 0) {
            keep++;
            left_over--;
        }
        if (keep < count.occurrences) {
            count.cut = true;
            kept[count.event] = keep;
            c->occurrences -= count.occurrences - keep;
            count.occurrences = keep;
        }
    }
    keep_occurrences([&kept](const occurrence &record) {
        auto found = kept.find(record.component);
        if (found == kept.end())
            return true;
        return found->second-- > 0;
    });
    c->share = share + 1;
}

// Past its bound, the document is shared out again only after this many
// more occurrences, so that each sharing-out frees room for many.
static long sharing_margin(const document_share *c)
{
    return c->limit / 16 + 1;
}

bool count_occurrence(document_share *c, const icalcomponent *event, event_tally *tally)
{
    if (tally->count_index < 0) {
        tally->count_index = static_cast<long>(c->counts.size());
        c->counts.push_back({event, 0, false});
    }
    event_count &count = c->counts[static_cast<size_t>(tally->count_index)];
    count.occurrences++;
    tally->occurrences++;
    c->occurrences++;
    if (c->occurrences > c->limit + sharing_margin(c)) {
        share_out(c);
        tally->occurrences = c->counts[static_cast<size_t>(tally->count_index)].occurrences;
        return !c->counts[static_cast<size_t>(tally->count_index)].cut;
    }
    return true;
}

void note_shared_out(document_share *c)
{
    if (c->occurrences > c->limit)
        share_out(c);
    long cut = 0;
    for (const event_count &count : c->counts)
        cut += count.cut;
    if (cut > 0)
        fprintf(stderr, "evtable: document cut short after %ld occurrence%s: %ld of its events "
                        "cut to a fair share\n", c->limit,
                c->limit == 1 ? "" : "s", cut);
}
