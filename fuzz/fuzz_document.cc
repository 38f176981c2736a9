// fuzz_document.cc: evtable's own steps, in the order of its main.
#include "fuzz/fuzz_document.h"

#include "renderer/document.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/zone_rules.h"

void render_fuzz_document(icalcomponent *root, const render_settings *settings)
{
    clean_zones(root, period_end(settings));
    collect_occurrences(root, &settings->selection, settings->display_zone,
                        settings->period_start, settings->period_duration);
    sort_occurrences();
    print_document(settings, occurrence_records());
    clear_occurrences();
}
