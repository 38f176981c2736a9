// document.cc: evtable's steps from a parsed calendar to the document.
#include "renderer/document.h"

#include "renderer/month_tables.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"

void render_document(icalcomponent *root, const render_settings *settings)
{
    collect_occurrences(root, &settings->selection, settings->display_zone,
                        settings->period_start, settings->period_duration);
    sort_occurrences();
    drop_overridden_occurrences();
    print_document(settings, occurrence_records());
}
