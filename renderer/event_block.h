// event_block.h: the block that shows one occurrence inside its day cell.
#pragma once

#include "renderer/occurrence_table.h"
#include "renderer/render_settings.h"

void print_event_block(const occurrence *record, const render_settings *settings);

/// An event with more properties than this (a recurring one with thousands
/// of EXDATE values, say) has the properties that its blocks read found in
/// one walk and kept, instead of a search through all of them for each of
/// its occurrences.
constexpr int MANY_PROPERTIES = 64;

/// Notes such an event; the collection does, as it walks every property.
void note_event_with_many_properties(icalcomponent *event);

/// Forgets the noted events, before a new calendar's collection.
void forget_events_with_many_properties();
