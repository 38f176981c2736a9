// period_prescan.h: evtable's look at the calendar text before libical
// parses it: the VEVENTs that cannot give an occurrence in the months that a
// document shows are left out of the parse, the rest goes to it untouched.
//
// Parsing costs libical some 316 instructions a byte, a scan of the text a
// few: for a few weeks of a calendar of ten years, most of a run went into
// events that the document never shows. The scan keeps whatever it is not
// sure of, so that the document, standard error and the exit status are
// those of the parse of the whole text.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

#include <libical/ical.h>

/// Bytes begin to end - 1 of the text.
struct text_span {
    size_t begin;
    size_t end;
};

/// What a scan found: the VEVENTs inside a VCALENDAR, and how many of them
/// it kept; whole when it gave the parse the whole text unseen (a NUL
/// byte, UTF-16, components that do not nest).
struct prescan_counts {
    long events;
    long kept;
    bool whole;
};

/// The parts of text, in order, that a document of the months from
/// period_start's to period_end's needs parsed: everything but the VEVENTs
/// of a VCALENDAR that surely give no occurrence there, and no warning
/// either. Every event that shares its UID with a kept one is kept.
std::vector<text_span> spans_for_period(const char *text, size_t length, icaltimetype period_start,
                                        icaltimetype period_end, prescan_counts *counts);

/// input read whole and given back as a stream of the parts that
/// spans_for_period keeps; a read error of input comes back at the end of
/// what was read, as the parse would have met it. counts may be null.
FILE *open_period_input(FILE *input, icaltimetype period_start, icaltimetype period_end,
                        prescan_counts *counts);
