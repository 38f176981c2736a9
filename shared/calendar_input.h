// calendar_input.h: libical's error mode, and the parse step that turns an
// open stream into one calendar or ends the run with status 4.
#pragma once

#include <cstdio>

#include <libical/ical.h>

/// The first action of every program: libical errors do not end the process,
/// and libical's error state starts clear.
void set_libical_error_mode();

/// fopen(path, "r") that also refuses a directory (errno EISDIR), which
/// fopen would open and whose reading would only fail later.
FILE *open_input_file(const char *path);

/// The parser's line source: the pieces that fgets(buffer, size, stream)
/// gives, but read in blocks measured by their length, so that nothing is
/// lost unseen: a NUL byte, which would end the parser's text early, ends the
/// run with status 4 and "Parse error: NUL byte at line N" (lines counted
/// from 1 by their line ends).
char *read_stream_line(char *buffer, size_t size, void *stream);

/// Components nested deeper than this are refused after parsing: libical
/// frees and writes trees recursively, and a deep tree overflows the stack.
constexpr int MAX_COMPONENT_DEPTH = 1000;

struct parsed_calendar {
    icalcomponent *root;
    icalparser *parser;
};

/// Parses the stream into one VCALENDAR; the caller owns root and parser.
/// name is the path, or "standard input", for the messages.
///
/// A stream may hold several calendars, and components outside any calendar.
/// root is then built as if the stream had held one VCALENDAR with all their
/// components in stream order: the children of every VCALENDAR, and every
/// VEVENT and VTIMEZONE that stands outside one, in its place; other
/// components outside a calendar are dropped. root has the properties of the
/// stream's first VCALENDAR, then those of later ones whose names it has not
/// yet (move_calendar_properties). It is in every way what libical's parser makes
/// of such a calendar: VTIMEZONEs stand at the front of root's children in
/// reverse stream order (icalcomponent_add_component puts each one first),
/// the other children follow in stream order. The passes that move zones
/// into an output calendar rely on that order to keep the zones' own. The
/// children of later calendars are moved in time linear in their number.
///
/// Status 4, with a message: a read error; a NUL byte; a UTF-16 byte order
/// mark; a stream that ends inside an unfinished component; no component at
/// all (libical's error text when it gives one); components nested too
/// deeply. A UTF-8 byte order mark at the start is skipped.
parsed_calendar parse_calendar_stream(FILE *stream, const char *name);

/// From now on, parse_calendar_stream keeps only the first VTIMEZONE of
/// each TZID in stream order and drops the later ones (off at the start:
/// every VTIMEZONE is kept). libical would otherwise pick any one of them
/// when it reads a time of that TZID.
void keep_first_zone_definitions(bool keep);

/// For the fuzz targets, which go on after a parse ended the run through the
/// fatal hook: frees what that parse left to the process exit (the parser and
/// the calendar as far as it was built). A NUL byte ends the run inside
/// libical's line reader, whose buffer cannot be freed: the targets leave
/// such inputs out.
void free_failed_parse();

/// True when some component below root lies deeper than max_depth levels
/// (root itself is level 1). Walks without recursion.
bool nested_deeper_than(icalcomponent *root, int max_depth);
