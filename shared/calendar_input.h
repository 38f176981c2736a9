// calendar_input.h: libical's error mode, and the parse step that turns an
// open stream into a component tree or ends the run with status 4.
#pragma once

#include <cstdio>

#include <libical/ical.h>

/// The first action of every program: libical errors do not end the process,
/// and libical's error state starts clear.
void set_libical_error_mode();

/// fopen(path, "r") that also refuses a directory (errno EISDIR), which
/// fopen would open and whose reading would only fail later.
FILE *open_input_file(const char *path);

/// The parser's line source: exactly fgets(buffer, size, stream).
char *read_stream_line(char *buffer, size_t size, void *stream);

/// Components nested deeper than this are refused after parsing: libical
/// frees and writes trees recursively, and a deep tree overflows the stack.
constexpr int MAX_COMPONENT_DEPTH = 1000;

struct parsed_calendar {
    icalcomponent *root;
    icalparser *parser;
};

/// Parses the stream; the caller owns root and parser. A read error, no
/// component, or components nested too deeply end the run with status 4.
/// name is the input's path, or "standard input".
parsed_calendar parse_calendar_stream(FILE *stream, const char *name);

/// True when some component below root lies deeper than max_depth levels
/// (root itself is level 1). Walks without recursion.
bool nested_deeper_than(icalcomponent *root, int max_depth);
