// fuzz_calendar.cc: the programs' parse step on the fuzzer's bytes, with its
// status-4 exits turned into a jump back to the harness.
#include "fuzz/fuzz_calendar.h"

#include <csetjmp>
#include <cstdio>

#include "shared/calendar_input.h"
#include "shared/fatal.h"

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

// A failed parse ends a program's run and leaves the parser and any tree to
// the process exit. The harness runs many inputs in one process, and the
// fuzzer counts what an input leaves behind as a leak: the fuzz targets are
// linked with these two calls wrapped (fuzz/CMakeLists.txt), so that the
// harness knows the parser and the tree libical made last and frees them.
static icalparser *last_parser = nullptr;
static icalcomponent *last_root = nullptr;

extern "C" icalparser *__real_icalparser_new();
extern "C" icalcomponent *__real_icalparser_parse(icalparser *parser,
                                                  char *(*line_gen_func)(char *, size_t, void *));

extern "C" icalparser *__wrap_icalparser_new()
{
    last_parser = __real_icalparser_new();
    return last_parser;
}

extern "C" icalcomponent *__wrap_icalparser_parse(icalparser *parser,
                                                  char *(*line_gen_func)(char *, size_t, void *))
{
    last_root = __real_icalparser_parse(parser, line_gen_func);
    return last_root;
}

static jmp_buf parse_failed;

[[noreturn]] static void return_to_harness(int)
{
    longjmp(parse_failed, 1);
}

// fmemopen refuses an empty buffer; an empty stream reads as end of file at
// once either way.
static FILE *open_bytes(const uint8_t *data, size_t size)
{
    static char no_bytes[1];
    if (size > 0)
        return fmemopen(const_cast<uint8_t *>(data), size, "r");
    FILE *stream = fmemopen(no_bytes, 1, "r");
    if (stream != nullptr)
        fgetc(stream);
    return stream;
}

icalcomponent *parse_fuzz_calendar(const uint8_t *data, size_t size)
{
    FILE *stream = open_bytes(data, size);
    if (stream == nullptr)
        return nullptr;
    icalerror_clear_errno();
    last_parser = nullptr;
    last_root = nullptr;
    set_fatal_hook(return_to_harness);
    if (setjmp(parse_failed) != 0) {
        set_fatal_hook(nullptr);
        if (last_root != nullptr)
            free_tree_iteratively(last_root);
        if (last_parser != nullptr)
            icalparser_free(last_parser);
        fclose(stream);
        return nullptr;
    }
    parsed_calendar parsed = parse_calendar_stream(stream, "fuzz input");
    set_fatal_hook(nullptr);
    icalparser_free(parsed.parser);
    fclose(stream);
    return parsed.root;
}
