// command_line.h: evtable's command line read into its settings.
#pragma once

#include "renderer/render_settings.h"

/// Reads the options and the arguments: the selection, the document's
/// frame, the period, the display zone and the opened input (standard input
/// without a path). --help and --version, a usage error, an incorrect date,
/// duration, zone, language tag or limit, and an input that cannot be
/// opened end the run with their status and message.
void read_command_line(int argc, char **argv, render_settings *settings);
