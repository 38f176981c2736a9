// calendar_input.cc: the line source and parse step shared by the three programs.
#include "shared/calendar_input.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "shared/fatal.h"

void set_libical_error_mode()
{
    icalerror_set_errors_are_fatal(0);
    icalerror_clear_errno();
}

FILE *open_input_file(const char *path)
{
    FILE *input = fopen(path, "r");
    struct stat status;
    if (input != nullptr && fstat(fileno(input), &status) == 0 && S_ISDIR(status.st_mode)) {
        fclose(input);
        errno = EISDIR;
        return nullptr;
    }
    return input;
}

// The cause of a failed read, kept for the parse step: the parser takes a
// read error for the end of the input, and a calendar cut short by it must
// not pass for the whole one.
static int read_error = 0;

char *read_stream_line(char *buffer, size_t size, void *stream)
{
    FILE *input = static_cast<FILE *>(stream);
    char *line = fgets(buffer, static_cast<int>(size), input);
    if (line == nullptr && ferror(input) && read_error == 0)
        read_error = errno != 0 ? errno : EIO;
    return line;
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

parsed_calendar parse_calendar_stream(FILE *stream, [[maybe_unused]] const char *name)
{
    icalparser *parser = icalparser_new();
    icalparser_set_gen_data(parser, stream);
    read_error = 0;
    icalcomponent *root = icalparser_parse(parser, read_stream_line);
    if (read_error != 0)
        report_and_exit(STATUS_PARSE, "Parse error: %s\n", strerror(read_error));
    if (root == nullptr)
        report_and_exit(STATUS_PARSE, "Parse error: %s\n", icalerror_strerror(icalerrno));
    // The tree is left to the process exit: freeing it would recurse as deep.
    if (nested_deeper_than(root, MAX_COMPONENT_DEPTH))
        report_and_exit(STATUS_PARSE, "Parse error: components nested too deeply\n");
    return {root, parser};
}
