// sift_join_fuzz: evsift's and evjoin's passes in-process on arbitrary input,
// with the output written through the output set to a file in a private
// temporary folder.
//
// Input: a flag byte, a choice byte, then calendar text.
//   flags bit 0: 0 evsift, 1 evjoin
//   evsift: bits 1 to 5 give class, not-class, category, not-category and
//     add-category; the choice byte's nibbles pick their texts
//   evjoin: the text is split into inputs at each "@@@@"; bit 1 merges
//     the whole text once more as a further input
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "filter/sift.h"
#include "fuzz/fuzz_calendar.h"
#include "merger/merge.h"
#include "merger/uid_table.h"
#include "shared/calendar_properties.h"
#include "shared/event_selection.h"
#include "shared/output_calendar.h"
#include "shared/tree_moves.h"

static std::string output_folder;
static std::string output_path;

static void remove_output_folder()
{
    unlink(output_path.c_str());
    rmdir(output_folder.c_str());
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    set_up_libical();
    const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/evtools-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return 1;
    output_folder = pattern;
    output_path = output_folder + "/out.ics";
    atexit(remove_output_folder);
    return 0;
}

static void write_output(icalcomponent *calendar)
{
    // A calendar of many time zones is left to the process exit, which the
    // leak check would count.
    bool left = icalcomponent_count_components(calendar, ICAL_VTIMEZONE_COMPONENT) >
                static_cast<int>(MAX_REMOVED_ZONES);
    output_set output = open_output_set(output_path.c_str());
    store_output_calendar(&output, calendar);
    if (left)
        icalcomponent_free(calendar);
}

// evsift

static const char *const SELECTION_TEXTS[16] = {
    "PUBLIC", "PRIVATE", "CONFIDENTIAL", "NONE", "public", "", "X-OWN", "Work",
    "work",   "Home",    "a,b",          "Team", "\xc3\xa9t\xc3\xa9", " ", "WORKSHOP", "private",
};

struct sift_options {
    event_selection selection;
    const char *added_category;
};

static sift_options read_sift_options(uint8_t flags, uint8_t choice)
{
    const char *first = SELECTION_TEXTS[choice & 0x0f];
    const char *second = SELECTION_TEXTS[choice >> 4];
    sift_options options{};
    if (flags & 0x02)
        options.selection.classes.push_back(first);
    if (flags & 0x04)
        options.selection.not_classes.push_back(second);
    if (flags & 0x08)
        options.selection.categories.push_back(second);
    if (flags & 0x10)
        options.selection.not_categories.push_back(first);
    if (flags & 0x20)
        options.added_category = second;
    return options;
}

static void sift(const uint8_t *text, size_t size, uint8_t flags, uint8_t choice)
{
    sift_options options = read_sift_options(flags, choice);
    icalcomponent *root = parse_fuzz_calendar(text, size);
    if (root == nullptr)
        return;
    icalcomponent *calendar = new_output_calendar(EVSIFT_PRODID);
    move_calendar_properties(root, calendar, "evsift");
    move_selected_components(root, calendar, &options.selection, options.added_category);
    write_output(calendar);
    icalcomponent_free(root);
}

// evjoin

static std::vector<std::string> split_inputs(const uint8_t *text, size_t size)
{
    static const char SEPARATOR[] = "@@@@";
    std::string all(reinterpret_cast<const char *>(text), size);
    std::vector<std::string> inputs;
    size_t from = 0;
    for (;;) {
        size_t at = all.find(SEPARATOR, from);
        if (at == std::string::npos) {
            inputs.push_back(all.substr(from));
            return inputs;
        }
        inputs.push_back(all.substr(from, at - from));
        from = at + sizeof SEPARATOR - 1;
    }
}

static void join(const uint8_t *text, size_t size, uint8_t flags)
{
    std::vector<std::string> inputs = split_inputs(text, size);
    if (flags & 0x02)
        inputs.emplace_back(reinterpret_cast<const char *>(text), size);
    icalcomponent *calendar = new_output_calendar(EVJOIN_PRODID);
    merged_components merged;
    bool parsed = true;
    for (const std::string &input : inputs) {
        icalcomponent *root =
            parse_fuzz_calendar(reinterpret_cast<const uint8_t *>(input.data()), input.size());
        if (root == nullptr) {
            parsed = false;
            break;
        }
        move_calendar_properties(root, calendar, "evjoin");
        merge_calendar(root, "input", &merged);
        // evjoin leaves a tree of many zones to the process exit, which the
        // leak check would count: the harness frees every tree.
        icalcomponent_free(root);
    }
    add_merged_components(calendar, &merged);
    // evjoin's run ends at the first input that does not parse, before the
    // output is touched.
    if (parsed)
        write_output(calendar);
    else
        icalcomponent_free(calendar);
    if (!htab_needs_init()) {
        htab_free_keys();
        htab_destroy();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    uint8_t flags = data[0];
    uint8_t choice = data[1];
    if (flags & 0x01)
        join(data + 2, size - 2, flags);
    else
        sift(data + 2, size - 2, flags, choice);
    return 0;
}
