// floor_input.h: the parse that every floor program starts with, done as the
// programs do it (icalparser with an fgets line source), and nothing more.
#pragma once

#include <cstdio>
#include <cstdlib>

#include <libical/ical.h>

inline char *read_floor_line(char *buffer, size_t size, void *stream)
{
    return fgets(buffer, static_cast<int>(size), static_cast<FILE *>(stream));
}

/// The root of the file's component tree; the run ends with status 4 when the
/// file cannot be read or holds no calendar.
inline icalcomponent *parse_floor_file(const char *path)
{
    FILE *input = fopen(path, "r");
    if (input == nullptr) {
        perror(path);
        exit(4);
    }
    icalparser *parser = icalparser_new();
    icalparser_set_gen_data(parser, input);
    icalcomponent *root = icalparser_parse(parser, read_floor_line);
    icalparser_free(parser);
    fclose(input);
    if (root == nullptr) {
        fprintf(stderr, "%s: no calendar\n", path);
        exit(4);
    }
    return root;
}
