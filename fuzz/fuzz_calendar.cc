// fuzz_calendar.cc: the programs' parse step on the fuzzer's bytes, with its
// status-4 exits turned into a jump back to the harness.
#include "fuzz/fuzz_calendar.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "shared/calendar_input.h"
#include "shared/fatal.h"

void set_up_libical()
{
    set_libical_error_mode();
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
    // A NUL byte ends the run inside libical's line reader, which leaves its
    // buffer behind; the programs' answer to it has tests of its own.
    if (memchr(data, '\0', size) != nullptr)
        return nullptr;
    FILE *stream = open_bytes(data, size);
    if (stream == nullptr)
        return nullptr;
    set_fatal_hook(return_to_harness);
    if (setjmp(parse_failed) != 0) {
        set_fatal_hook(nullptr);
        free_failed_parse();
        fclose(stream);
        return nullptr;
    }
    parsed_calendar parsed = parse_calendar_stream(stream, "fuzz input");
    set_fatal_hook(nullptr);
    icalparser_free(parsed.parser);
    fclose(stream);
    return parsed.root;
}
