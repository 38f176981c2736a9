// calendar_input.cc: the line source and parse step shared by the three programs.
#include "shared/calendar_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unordered_set>
#include <vector>

#include "shared/calendar_properties.h"
#include "shared/fatal.h"
#include "shared/property_text.h"
#include "shared/tree_moves.h"
#include "shared/value_lists.h"

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

// What the line source knows of the stream being parsed. It reads in blocks,
// each measured by what fread gives, not by a terminating NUL.
struct line_source {
    FILE *stream;            // the stream whose bytes the block holds
    char block[65536];
    size_t next;             // the unread bytes are block[next] to block[end - 1]
    size_t end;
    long long line_ends;     // handed out so far
    // A read error, kept for the parse step: the parser takes it for the end
    // of the input, and a calendar cut short by it must not pass for whole.
    int read_error;
};

static line_source source;

// Reads the next block; false at the end of the input or on a read error.
static bool read_block()
{
    source.next = 0;
    source.end = fread(source.block, 1, sizeof source.block, source.stream);
    if (source.end == 0 && ferror(source.stream) && source.read_error == 0)
        source.read_error = errno != 0 ? errno : EIO;
    return source.end > 0;
}

char *read_stream_line(char *buffer, size_t size, void *stream)
{
    FILE *input = static_cast<FILE *>(stream);
    if (input != source.stream) {
        source.stream = input;
        source.next = source.end = 0;
    }
    size_t length = 0;
    bool line_ended = false;
    while (length + 1 < size && !line_ended) {
        if (source.next == source.end && !read_block()) {
            if (ferror(input))
                return nullptr;
            break;
        }
        const char *from = source.block + source.next;
        size_t count = std::min(source.end - source.next, size - 1 - length);
        if (const void *newline = memchr(from, '\n', count)) {
            count = static_cast<const char *>(newline) - from + 1;
            line_ended = true;
        }
        // The parser measures its lines with strlen: what follows a NUL
        // would be lost without a word.
        if (memchr(from, '\0', count) != nullptr)
            report_and_exit(STATUS_PARSE, "Parse error: NUL byte at line %lld\n",
                            source.line_ends + 1);
        memcpy(buffer + length, from, count);
        length += count;
        source.next += count;
    }
    if (length == 0)
        return nullptr;
    if (line_ended)
        source.line_ends++;
    buffer[length] = '\0';
    return buffer;
}

// Starts the line source on a new stream. A UTF-8 byte order mark is
// skipped: the parser would take it for part of the first line's name and
// misread the whole calendar. A UTF-16 one announces text it cannot read.
static void start_line_source(FILE *stream, const char *name)
{
    source.stream = stream;
    source.next = source.end = 0;
    source.line_ends = 0;
    source.read_error = 0;
    if (!read_block())
        return;
    const unsigned char *start = reinterpret_cast<const unsigned char *>(source.block);
    if (source.end >= 2 &&
        ((start[0] == 0xFE && start[1] == 0xFF) || (start[0] == 0xFF && start[1] == 0xFE)))
        report_and_exit(STATUS_PARSE, "Parse error: %s is UTF-16; iCalendar files are UTF-8\n", name);
    if (source.end >= 3 && start[0] == 0xEF && start[1] == 0xBB && start[2] == 0xBF)
        source.next = 3;
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

// The one calendar that the stream's top-level components go into.
struct stream_calendar {
    icalcomponent *calendar;   // null until a component is kept
    bool any_component;        // the parser gave a top-level component
    std::unordered_set<std::string> tzids;  // defined so far, where the first wins
    // The names of the calendar's properties, read when a second calendar
    // comes and kept up to date from then on.
    bool names_read;
    property_names names;
};

// The parse in progress. A parse that ends the run leaves these to the
// process exit; free_failed_parse frees them for a caller that goes on.
static stream_calendar stream_in_progress;
static icalparser *parser_in_progress = nullptr;
static icalcomponent *component_being_taken = nullptr;
static char *line_in_progress = nullptr;

static void move_properties(icalcomponent *from, icalcomponent *to)
{
    while (icalproperty *property = icalcomponent_get_first_property(from, ICAL_ANY_PROPERTY)) {
        icalcomponent_remove_property(from, property);
        icalcomponent_add_property(to, property);
    }
}

static bool first_zone_wins = false;

void keep_first_zone_definitions(bool keep)
{
    first_zone_wins = keep;
}

// Calendars emptied by a rebuild: libical would free each by searching its
// zone array once for every VTIMEZONE, so they are left to the process exit.
static std::vector<icalcomponent *> &emptied_calendars = *new std::vector<icalcomponent *>;

static const char *zone_tzid(icalcomponent *zone)
{
    icalproperty *tzid = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
    return tzid != nullptr ? icalproperty_get_tzid(tzid) : nullptr;
}

// True when the zone is to be dropped: a definition of a TZID that an
// earlier zone of the stream defined, where the first definition wins.
// Otherwise notes its TZID.
static bool is_later_definition(stream_calendar *merged, icalcomponent *zone)
{
    if (!first_zone_wins)
        return false;
    const char *tzid = zone_tzid(zone);
    return tzid != nullptr && !merged->tzids.insert(tzid).second;
}

// The children of from go to to, the VTIMEZONEs in front in reverse stream
// order as the parser would have put them.
//
// With few VTIMEZONEs every child is taken from the front of from, where
// removing it costs no search in the list; but each removed VTIMEZONE makes
// libical search from's zone array, which is in stream order while the
// list is in reverse. With more, the children are rebuilt (rebuild_component)
// and from, left a husk, is kept to the process exit: false. A VTIMEZONE
// whose TZID an earlier one defined is dropped when the first one wins.
static bool move_children(stream_calendar *merged, icalcomponent *from, icalcomponent *to)
{
    std::vector<icalcomponent *> children = children_of(from);
    size_t zone_count = std::count_if(children.begin(), children.end(), [](icalcomponent *child) {
        return icalcomponent_isa(child) == ICAL_VTIMEZONE_COMPONENT;
    });
    bool rebuild = zone_count > MAX_REMOVED_ZONES;
    std::vector<icalcomponent *> zones;
    for (icalcomponent *child : children) {
        icalcomponent *moved = child;
        if (rebuild) {
            moved = rebuild_component(child, ICAL_NO_PROPERTY);
        } else {
            icalcomponent_remove_component(from, child);
        }
        if (icalcomponent_isa(moved) == ICAL_VTIMEZONE_COMPONENT)
            zones.push_back(moved);
        else
            icalcomponent_add_component(to, moved);
    }
    // Judged in stream order, so that the first definition of a TZID wins.
    std::vector<icalcomponent *> kept;
    for (auto zone = zones.rbegin(); zone != zones.rend(); ++zone) {
        if (is_later_definition(merged, *zone))
            icalcomponent_free(*zone);
        else
            kept.push_back(*zone);
    }
    std::reverse(kept.begin(), kept.end());
    add_time_zones(to, kept);
    return !rebuild;
}

// The stream's first calendar as it is, unless the first definition of a
// TZID wins and one is defined twice: then a rebuilt calendar without the
// later definitions.
static icalcomponent *first_calendar(stream_calendar *merged, icalcomponent *calendar)
{
    if (!first_zone_wins)
        return calendar;
    std::vector<icalcomponent *> children = children_of(calendar);
    bool defined_twice = false;
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        if (icalcomponent_isa(*child) == ICAL_VTIMEZONE_COMPONENT &&
            is_later_definition(merged, *child))
            defined_twice = true;
    }
    if (!defined_twice)
        return calendar;
    merged->tzids.clear();
    icalcomponent *rebuilt = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    move_properties(calendar, rebuilt);
    if (move_children(merged, calendar, rebuilt))
        icalcomponent_free(calendar);
    else
        emptied_calendars.push_back(calendar);
    return rebuilt;
}

// Takes one top-level component of the stream, as the parser gives it at its
// END line.
static void take_top_level_component(stream_calendar *merged, icalcomponent *component)
{
    merged->any_component = true;
    component_being_taken = component;
    icalcomponent_kind kind = icalcomponent_isa(component);
    bool is_calendar = kind == ICAL_VCALENDAR_COMPONENT;
    // Checked before anything is freed, as freeing recurses too. A component
    // outside a calendar goes one level down into it.
    if (nested_deeper_than(component, is_calendar ? MAX_COMPONENT_DEPTH : MAX_COMPONENT_DEPTH - 1))
        report_and_exit(STATUS_PARSE, "Parse error: components nested too deeply\n");
    component_being_taken = nullptr;
    if (is_calendar && merged->calendar == nullptr) {
        // The usual stream: its first calendar is taken as it is.
        merged->calendar = first_calendar(merged, component);
        return;
    }
    if (!is_calendar && kind != ICAL_VEVENT_COMPONENT && kind != ICAL_VTIMEZONE_COMPONENT) {
        icalcomponent_free(component);
        return;
    }
    if (merged->calendar == nullptr)
        merged->calendar = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    if (!is_calendar) {
        if (kind == ICAL_VTIMEZONE_COMPONENT && is_later_definition(merged, component))
            icalcomponent_free(component);
        else
            icalcomponent_add_component(merged->calendar, component);
        return;
    }
    // A later calendar adds the properties of names not read before.
    if (!merged->names_read) {
        merged->names = names_of_properties(merged->calendar);
        merged->names_read = true;
    }
    move_calendar_properties(component, merged->calendar, &merged->names, nullptr);
    if (move_children(merged, component, merged->calendar))
        icalcomponent_free(component);
    else
        emptied_calendars.push_back(component);
}

// At the end of the stream: a failed read, a component left open (also after
// complete ones: its events would be lost without a word) or no component at
// all end the run.
static void check_stream_end(icalparser *parser, const stream_calendar *merged, const char *name)
{
    if (source.read_error != 0)
        report_and_exit(STATUS_PARSE, "Parse error: %s\n", strerror(source.read_error));
    if (!merged->any_component && icalerrno != ICAL_NO_ERROR)
        report_and_exit(STATUS_PARSE, "Parse error: %s\n", icalerror_strerror(icalerrno));
    // icalparser_clean closes what is still open and gives its top; that tree
    // is left to the process exit.
    if (icalparser_clean(parser) != nullptr)
        report_and_exit(STATUS_PARSE, "Parse error: %s ends inside an unfinished calendar\n", name);
    if (!merged->any_component)
        report_and_exit(STATUS_PARSE, "Parse error: %s holds no calendar\n", name);
}

// One unfolded line to the parser; a long list of values goes in parts
// that the parser keeps whole.
static void add_line(icalparser *parser, char *line)
{
    value_list_cut cut{{}, 0, ""};
    if (line != nullptr && strnlen(line, MIN_LINE_TO_CUT) == MIN_LINE_TO_CUT)
        cut = cut_value_list(line);
    if (cut.dropped > 0)
        fprintf(stderr, "%s: %s: %zu value%s of one line dropped: libical keeps %zu\n",
                program_name(), printable(cut.name.c_str()).c_str(), cut.dropped,
                cut.dropped == 1 ? "" : "s", LIBICAL_MAX_VALUES);
    if (cut.parts.empty()) {
        if (icalcomponent *component = icalparser_add_line(parser, line))
            take_top_level_component(&stream_in_progress, component);
        return;
    }
    for (std::string &part : cut.parts)
        icalparser_add_line(parser, &part[0]);
}

// libical's own parse loop (icalparser_parse), with each top-level component
// taken as the parser ends it: only here is its place in the stream known.
parsed_calendar parse_calendar_stream(FILE *stream, const char *name)
{
    start_line_source(stream, name);
    icalerror_clear_errno();
    icalparser *parser = icalparser_new();
    icalparser_set_gen_data(parser, stream);
    parser_in_progress = parser;
    icalerrorstate malformed = icalerror_get_error_state(ICAL_MALFORMEDDATA_ERROR);
    icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, ICAL_ERROR_NONFATAL);
    stream_in_progress = {};
    for (;;) {
        char *line = icalparser_get_line(parser, read_stream_line);
        line_in_progress = line;
        add_line(parser, line);
        line_in_progress = nullptr;
        if (line == nullptr)
            break;
        icalmemory_free_buffer(line);
    }
    icalerror_set_error_state(ICAL_MALFORMEDDATA_ERROR, malformed);
    // libical notes storage it could not have and goes on without what it
    // was building: a calendar cut short must not pass for whole.
    if (icalerrno == ICAL_NEWFAILED_ERROR)
        fail_out_of_memory();
    check_stream_end(parser, &stream_in_progress, name);
    if (stream_in_progress.calendar == nullptr)
        stream_in_progress.calendar = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    parsed_calendar parsed{stream_in_progress.calendar, parser};
    stream_in_progress = {};
    parser_in_progress = nullptr;
    return parsed;
}

// Deepest children first: icalcomponent_free recurses once per level.
static void free_tree_iteratively(icalcomponent *root)
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

void free_failed_parse()
{
    if (component_being_taken != nullptr)
        free_tree_iteratively(component_being_taken);
    if (stream_in_progress.calendar != nullptr)
        free_tree_iteratively(stream_in_progress.calendar);
    if (parser_in_progress != nullptr)
        icalparser_free(parser_in_progress);
    if (line_in_progress != nullptr)
        icalmemory_free_buffer(line_in_progress);
    line_in_progress = nullptr;
    component_being_taken = nullptr;
    stream_in_progress = {};
    parser_in_progress = nullptr;
}
