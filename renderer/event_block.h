// event_block.h: the block that shows one occurrence inside its day cell.
#pragma once

#include "renderer/occurrence_table.h"
#include "renderer/render_settings.h"

void print_event_block(const occurrence *record, const render_settings *settings);
