// scan_fuzz: evtable's scan before the parse must change nothing. For each
// row of a table of periods and zones, the document and standard error of
// the text that the scan keeps must be those of the whole text, and a parse
// that fails must fail for both.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz/fuzz_calendar.h"
#include "fuzz/fuzz_document.h"
#include "shared/libical_facts.h"
#include "renderer/period_prescan.h"
#include "renderer/render_settings.h"

namespace {
struct scan_render_case {
    const char *start;
    const char *duration;
    const char *zone;
};
}

static const scan_render_case SCAN_RENDER_CASES[] = {
    {"20020927", "P5W", "UTC"},
    {"20261025", "P2W", "America/New_York"},
    {"20230101", "P365D", "Pacific/Kiritimati"},
    {"00010101", "P10D", "Etc/GMT+12"},
};

// Standard output and standard error go to these files while a document is
// written; what they hold is read back and compared.
static FILE *captured_output;
static FILE *captured_errors;

static std::string read_back(FILE *file)
{
    fflush(file);
    std::string text;
    rewind(file);
    char block[4096];
    size_t count;
    while ((count = fread(block, 1, sizeof block, file)) > 0)
        text.append(block, count);
    rewind(file);
    if (ftruncate(fileno(file), 0) != 0)
        abort();
    return text;
}

// The document and the messages of one parse and render; "failed" when the
// parse ended the run.
static std::string render(const std::string &text, const render_settings &settings)
{
    fflush(stderr);
    int saved_errors = dup(STDERR_FILENO);
    dup2(fileno(captured_errors), STDERR_FILENO);
    icalcomponent *root =
        parse_fuzz_calendar(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    if (root != nullptr) {
        render_fuzz_document(root, &settings);
        icalcomponent_free(root);
    }
    fflush(stdout);
    fflush(stderr);
    dup2(saved_errors, STDERR_FILENO);
    close(saved_errors);
    std::string errors = read_back(captured_errors);
    if (root == nullptr)
        return "failed\n" + errors;
    return read_back(captured_output) + "\n--\n" + errors;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    set_up_libical();
    set_zone_directory(const_cast<char *>(ZONE_DIRECTORY));
    captured_output = tmpfile();
    captured_errors = tmpfile();
    if (captured_output == nullptr || captured_errors == nullptr ||
        dup2(fileno(captured_output), STDOUT_FILENO) < 0)
        return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    for (const scan_render_case &c : SCAN_RENDER_CASES) {
        render_settings settings{};
        settings.show_description = true;
        settings.show_location = true;
        settings.display_zone = icaltimezone_get_builtin_timezone(c.zone);
        settings.period_start = icaltime_from_string(c.start);
        settings.period_duration = icaldurationtype_from_string(c.duration);
        settings.today = settings.period_start;
        icaltimetype end = icaltime_add(settings.period_start, settings.period_duration);
        prescan_counts counts;
        std::vector<text_span> spans =
            spans_for_period(text.data(), text.size(), settings.period_start, end, &counts);
        std::string kept;
        for (const text_span &span : spans)
            kept.append(text, span.begin, span.end - span.begin);
        std::string whole_result = render(text, settings);
        std::string kept_result = render(kept, settings);
        if (whole_result != kept_result) {
            fprintf(stderr, "scan_fuzz: %s %s %s: the kept text renders otherwise\n", c.start,
                    c.duration, c.zone);
            fprintf(stderr, "== whole text\n%s\n== kept text\n%s\n", whole_result.c_str(),
                    kept_result.c_str());
            abort();
        }
    }
    return 0;
}
