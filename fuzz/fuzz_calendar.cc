// fuzz_calendar.cc: the parse step of the programs, without its exits.
#include "fuzz/fuzz_calendar.h"

#include <cstdio>

#include "shared/calendar_input.h"

void set_up_libical()
{
    set_libical_error_mode();
}

void free_tree_iteratively(icalcomponent *root)
{
    icalcomponent *current = root;
    for (;;) {
        icalcomponent *child = icalcomponent_get_first_component(current, ICAL_ANY_COMPONENT);
        if (child != nullptr) {
            current = child;
            continue;
        }
        if (current == root) {
            icalcomponent_free(root);
            return;
        }
        icalcomponent *parent = icalcomponent_get_parent(current);
        icalcomponent_remove_component(parent, current);
        icalcomponent_free(current);
        current = parent;
    }
}

icalcomponent *parse_fuzz_calendar(const uint8_t *data, size_t size)
{
    // fmemopen refuses an empty buffer; an empty stream reads as end of file
    // at once either way.
    static char no_bytes[1];
    FILE *stream = size > 0 ? fmemopen(const_cast<uint8_t *>(data), size, "r")
                            : fmemopen(no_bytes, 1, "r");
    if (stream == nullptr)
        return nullptr;
    if (size == 0)
        fgetc(stream);
    icalerror_clear_errno();
    icalparser *parser = icalparser_new();
    icalparser_set_gen_data(parser, stream);
    icalcomponent *root = icalparser_parse(parser, read_stream_line);
    icalparser_free(parser);
    fclose(stream);
    if (root != nullptr && nested_deeper_than(root, MAX_COMPONENT_DEPTH)) {
        free_tree_iteratively(root);
        return nullptr;
    }
    return root;
}
