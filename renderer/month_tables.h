// month_tables.h: evtable's HTML document: head, one table per month of the
// period with the occurrences in their day cells, footer and tail.
#pragma once

#include "renderer/occurrence_table.h"
#include "renderer/render_settings.h"

void print_document(const render_settings *settings, occurrence_view table);

/// The tables from the month of the period start to that of its end, both
/// included; none when the end lies in an earlier year or month.
void print_month_tables(const render_settings *settings, occurrence_view table);

/// The end of the period: its start plus its duration.
icaltimetype period_end(const render_settings *settings);
