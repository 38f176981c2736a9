// document.h: evtable's HTML document: head, one table per month of the
// period with the occurrences in their day cells (or the list of the days
// that have some), footer and tail.
#pragma once

#include "renderer/occurrence_table.h"
#include "renderer/render_settings.h"

void print_document(const render_settings *settings, occurrence_view table);

/// Whether a day's cell lies outside the period from start to end (the days
/// of both dates included).
bool is_outside_period(icaltimetype day, icaltimetype start, icaltimetype end);
