// calendar_input.cc: the line source and parse step shared by the three programs.
#include "shared/calendar_input.h"

#include "shared/fatal.h"

void set_libical_error_mode()
{
    icalerror_set_errors_are_fatal(0);
    icalerror_clear_errno();
}

char *read_stream_line(char *buffer, size_t size, void *stream)
{
    return fgets(buffer, static_cast<int>(size), static_cast<FILE *>(stream));
}

bool nested_deeper_than(icalcomponent *root, int max_depth)
{
    int depth = 1;
    icalcomponent *current = root;
    for (;;) {
        icalcomponent *child = icalcomponent_get_first_component(current, ICAL_ANY_COMPONENT);
        if (child != nullptr) {
            if (++depth > max_depth)
                return true;
            current = child;
            continue;
        }
        // No children: climb until some ancestor has a next child.
        for (;;) {
            if (current == root)
                return false;
            icalcomponent *parent = icalcomponent_get_parent(current);
            icalcomponent *sibling = icalcomponent_get_next_component(parent, ICAL_ANY_COMPONENT);
            if (sibling != nullptr) {
                current = sibling;
                break;
            }
            current = parent;
            depth--;
        }
    }
}

parsed_calendar parse_calendar_stream(FILE *stream)
{
    icalparser *parser = icalparser_new();
    icalparser_set_gen_data(parser, stream);
    icalcomponent *root = icalparser_parse(parser, read_stream_line);
    if (root == nullptr)
        report_and_exit(STATUS_PARSE, "Parse error: %s\n", icalerror_strerror(icalerrno));
    // The tree is left to the process exit: freeing it would recurse as deep.
    if (nested_deeper_than(root, MAX_COMPONENT_DEPTH))
        report_and_exit(STATUS_PARSE, "Parse error: components nested too deeply\n");
    return {root, parser};
}
