// document.cc: evtable's steps from a parsed calendar to the document.
#include "renderer/document.h"

#include "renderer/month_tables.h"
#include "renderer/occurrence_collection.h"
#include "renderer/occurrence_table.h"
#include "renderer/windows_zones.h"
#include "renderer/zone_rules.h"
#include "shared/time_zones.h"

void prepare_document(icalcomponent *root, const render_settings *settings)
{
    // Before libical resolves any TZID of the calendar.
    icaltimetype end = icaltime_add(settings->period_start, settings->period_duration);
    read_windows_zone_names(root, zone_coverage_year(end.year));
    drop_unusable_zones(root, zone_coverage_year(end.year));
    collect_occurrences(root, &settings->selection, settings->display_zone,
                        settings->period_start, settings->period_duration);
    sort_occurrences();
}

void write_document(const render_settings *settings)
{
    print_document(settings, occurrence_records());
}

void render_document(icalcomponent *root, const render_settings *settings)
{
    prepare_document(root, settings);
    write_document(settings);
}
