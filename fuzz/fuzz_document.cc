// fuzz_document.cc: evtable's own steps, in the order of its main.
#include "fuzz/fuzz_document.h"

#include "renderer/document.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/zone_rules.h"

// A rule that repeats every second gives a million occurrences in a few
// weeks; a few thousand show the same paths without filling memory.
static collection_limits fuzz_limits()
{
    collection_limits limits;
    limits.instances_per_event = 5000;
    return limits;
}

void render_fuzz_document(icalcomponent *root, const render_settings *settings)
{
    static const collection_limits limits = fuzz_limits();
    clean_zones(root, period_end(settings));
    collect_occurrences(root, &settings->selection, settings->display_zone,
                        settings->period_start, settings->period_duration, limits);
    sort_occurrences();
    print_document(settings, occurrence_records());
    clear_occurrences();
}
