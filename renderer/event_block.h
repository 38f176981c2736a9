// event_block.h: the block that shows one occurrence inside its day cell.
#pragma once

#include <string>

#include "renderer/occurrence_table.h"
#include "renderer/render_settings.h"

void print_event_block(const occurrence *record, const render_settings *settings);

/// An event with more properties than this (a recurring one with thousands
/// of EXDATE values, say) has the properties that its blocks read found in
/// one walk at its first block and kept, instead of a search through all of
/// them for each of its occurrences.
constexpr int MANY_PROPERTIES = 64;

/// Forgets the events seen, before a new document: a new calendar's events
/// may lie where freed ones lay.
void forget_kept_properties();

/// With --anchors, a block's id: "event-", the UID reduced to letters,
/// digits, "-" and "_" (at most 48 of them, and then a hash of the whole UID
/// when anything was changed or cut), "-" and the instance's start, in UTC
/// where it has a zone ("20261126T090000Z"), a date as its eight digits. It
/// depends on nothing else, so it stays the same across runs and periods.
std::string block_id(const char *uid, icaltimetype start);

/// Forgets the ids written, before a new document.
void forget_block_ids();
