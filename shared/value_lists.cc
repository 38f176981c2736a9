// value_lists.cc: finds the values of a long list where libical's parser
// finds them, and cuts the line between them. Every character of the line
// is looked at a bounded number of times: a line of a million values costs
// a million steps, not a million squared.
#include "shared/value_lists.h"

#include <cstring>
#include <strings.h>

#include <libical/ical.h>

static size_t work = 0;

size_t value_list_work()
{
    return work;
}

// The property kinds whose lines libical's parser splits whatever their
// VALUE parameter.
static bool takes_a_list(icalproperty_kind kind)
{
    switch (kind) {
    case ICAL_RDATE_PROPERTY:
    case ICAL_EXDATE_PROPERTY:
    case ICAL_FREEBUSY_PROPERTY:
    case ICAL_RESOURCES_PROPERTY:
    case ICAL_CATEGORIES_PROPERTY:
    case ICAL_ACCEPTRESPONSE_PROPERTY:
    case ICAL_POLLPROPERTIES_PROPERTY:
        return true;
    default:
        return false;
    }
}

// A letter, digit or hyphen, as property names are made of.
static bool is_name_character(char c)
{
    char letter = static_cast<char>(c | 0x20);
    return (letter >= 'a' && letter <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// The first of the characters in stops at or after from that is neither
// the first character, nor after a backslash, nor inside double quotes: the
// character search of libical's parser, which each search starts afresh.
static const char *next_unquoted(const char *from, const char *stops)
{
    bool quoted = false;
    char previous = '\0';
    for (const char *p = from; *p != '\0'; p++) {
        work++;
        if (previous != '\0' && previous != '\\') {
            if (*p == '"')
                quoted = !quoted;
            else if (!quoted && strchr(stops, *p) != nullptr)
                return p;
        }
        previous = *p;
    }
    return nullptr;
}

// The types whose values libical's parser splits in the line of an X-
// property.
static bool is_split_type(const char *type, size_t length)
{
    static const char *const SPLIT_TYPES[] = {"DATE",     "DATE-TIME", "PERIOD", "TEXT",
                                              "DURATION", "FLOAT",     "INTEGER"};
    if (length >= 2 && type[0] == '"' && type[length - 1] == '"') {
        type++;
        length -= 2;
    }
    for (const char *known : SPLIT_TYPES)
        if (strlen(known) == length && strncasecmp(type, known, length) == 0)
            return true;
    return false;
}

// The line of an X- property is split when its last VALUE parameter (the
// one libical keeps) names a split type; without one it is taken whole.
static bool x_property_is_split(const char *parameters, const char *colon)
{
    const char *type = nullptr;
    size_t length = 0;
    for (const char *p = parameters; p != nullptr && p < colon && *p == ';';) {
        const char *next = next_unquoted(p, ";:");
        if (strncasecmp(p + 1, "VALUE=", 6) == 0 && next != nullptr && p + 7 <= next) {
            type = p + 7;
            length = next - type;
        }
        p = next;
    }
    return type != nullptr && is_split_type(type, length);
}

// The comma that ends the value starting at from, as libical's parser finds
// it (a comma after a backslash, or three places after one, is text), or
// null when the value runs to the end of the line or, starting with a
// double quote on a line that ends with one, is read as one quoted value.
static const char *end_of_value(const char *from, const char *line, const char *line_end)
{
    if (from < line_end && from[0] == '"' && line_end[-1] == '"')
        return nullptr;
    const char *p = from;
    for (;;) {
        const char *comma = next_unquoted(p, ",");
        if (comma == nullptr)
            return nullptr;
        bool escaped = comma[-1] == '\\' || (comma - line >= 3 && comma[-3] == '\\');
        if (!escaped)
            return comma;
        p = comma + 1;
    }
}

// Whether the line ends in a way that libical splits, and where its value
// starts: null when it takes the line whole.
static const char *split_value_start(const char *line, std::string *name)
{
    // The name ends at the first ';' or ':', the parameters at the first ':'.
    // A name of letters, digits and hyphens, as nearly every line has, needs
    // no search for quotes.
    const char *name_end = line;
    while (is_name_character(*name_end))
        name_end++;
    work += name_end - line;
    if ((*name_end != ';' && *name_end != ':') || name_end == line)
        name_end = next_unquoted(line, ";:");
    if (name_end == nullptr)
        return nullptr;
    name->assign(line, name_end);
    icalproperty_kind kind = icalproperty_string_to_kind(name->c_str());
    if (kind != ICAL_X_PROPERTY && !takes_a_list(kind))
        return nullptr;
    const char *colon = *name_end == ':' ? name_end : next_unquoted(name_end, ":");
    if (colon == nullptr)
        return nullptr;
    if (kind == ICAL_X_PROPERTY && !x_property_is_split(name_end, colon))
        return nullptr;
    return colon + 1;
}

// Where the part that starts with value first ends: after the value
// last, the first tried, or an earlier one (a longer part when none). A part
// may not end with a double quote when one of its values starts with one
// (quoted_before[i]: values before i that do). first + LIBICAL_MAX_VALUES
// when no cut within libical's limit is safe.
static size_t part_end(const std::vector<const char *> &commas,
                       const std::vector<size_t> &quoted_before, size_t first, size_t last)
{
    auto safe = [&](size_t end) {
        work++;
        return commas[end][-1] != '"' || quoted_before[end + 1] == quoted_before[first];
    };
    for (size_t end = last + 1; end-- > first;)
        if (safe(end))
            return end;
    size_t limit = first + LIBICAL_MAX_VALUES - 1;
    for (size_t end = last + 1; end < commas.size() && end < limit; end++)
        if (safe(end))
            return end;
    return first + LIBICAL_MAX_VALUES;
}

value_list_cut cut_value_list(const char *line)
{
    value_list_cut cut{{}, 0, ""};
    const char *value = split_value_start(line, &cut.name);
    if (value == nullptr)
        return cut;
    size_t length = strlen(value);
    work += length;
    const char *line_end = value + length;

    // The commas between values (a search never stops at its first
    // character, so that "a,,b" holds the values "a" and ",b"), and for
    // each value how many before it start with a double quote.
    std::vector<const char *> commas;
    std::vector<size_t> quoted_before{0};
    for (const char *from = value;;) {
        const char *comma = end_of_value(from, line, line_end);
        quoted_before.push_back(quoted_before.back() + (*from == '"' ? 1 : 0));
        if (comma == nullptr)
            break;
        commas.push_back(comma);
        from = comma + 1;
    }
    if (commas.size() < static_cast<size_t>(MAX_VALUES_PER_LINE))
        return cut;

    std::string head(line, value);
    const char *from = value;
    size_t first = 0;   // the part's first value
    while (commas.size() - first >= static_cast<size_t>(MAX_VALUES_PER_LINE)) {
        size_t end = part_end(commas, quoted_before, first, first + MAX_VALUES_PER_LINE - 1);
        if (end >= first + LIBICAL_MAX_VALUES) {
            // The rest goes whole: libical keeps what it keeps of it.
            size_t rest = commas.size() + 1 - first;
            cut.dropped = rest > LIBICAL_MAX_VALUES ? rest - LIBICAL_MAX_VALUES : 0;
            break;
        }
        cut.parts.push_back(head + std::string(from, commas[end]));
        from = commas[end] + 1;
        first = end + 1;
    }
    if (*from != '\0')
        cut.parts.push_back(head + from);
    return cut;
}
