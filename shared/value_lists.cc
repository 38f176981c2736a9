// value_lists.cc: finds the values of a long list where libical's parser
// finds them, and cuts the line between them.
#include "shared/value_lists.h"

#include <cstring>
#include <strings.h>

// The properties whose values libical's parser takes as a list (names
// compared as libical compares them, in any case), told apart by length
// first.
static bool takes_a_list(const char *name, size_t length)
{
    struct known_name {
        const char *text;
        size_t length;
    };
    static const known_name LIST_PROPERTIES[] = {
        {"RDATE", 5},     {"EXDATE", 6},           {"FREEBUSY", 8},
        {"RESOURCES", 9}, {"CATEGORIES", 10},      {"ACCEPT-RESPONSE", 15},
        {"POLL-PROPERTIES", 15}};
    for (const known_name &known : LIST_PROPERTIES)
        if (known.length == length && strncasecmp(name, known.text, length) == 0)
            return true;
    return false;
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

// A VALUE parameter that makes libical take the property's text whole.
static bool value_type_is_whole(const char *parameters, const char *value)
{
    static const char *const LISTED_TYPES[] = {"DATE",  "DATE-TIME", "PERIOD",  "TEXT",
                                               "DURATION", "FLOAT",  "INTEGER"};
    for (const char *p = parameters; p < value; p++) {
        if (*p != ';' || strncasecmp(p + 1, "VALUE=", 6) != 0)
            continue;
        const char *type = p + 7;
        size_t length = strcspn(type, ";:");
        bool listed = false;
        for (const char *known : LISTED_TYPES)
            listed = listed || (strlen(known) == length && strncasecmp(type, known, length) == 0);
        if (!listed)
            return true;
    }
    return false;
}

// The comma that ends the value starting at from, as libical's parser finds
// it (a comma after a backslash, or three places after one, is text), or
// null when the value runs to the end of the line or is quoted whole.
static const char *end_of_value(const char *from, const char *line)
{
    size_t length = strlen(from);
    if (length > 0 && from[0] == '"' && from[length - 1] == '"')
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

std::vector<std::string> cut_value_list(const char *line)
{
    // The name ends at the first ';' or ':', the parameters at the first ':'.
    // A name of letters, digits and hyphens, as nearly every line has, needs
    // no search for quotes.
    const char *name_end = line;
    while (is_name_character(*name_end))
        name_end++;
    if ((*name_end != ';' && *name_end != ':') || name_end == line)
        name_end = next_unquoted(line, ";:");
    if (name_end == nullptr || !takes_a_list(line, name_end - line))
        return {};
    const char *colon = *name_end == ':' ? name_end : next_unquoted(line, ":");
    if (colon == nullptr || value_type_is_whole(name_end, colon))
        return {};
    const char *value = colon + 1;

    // The commas between values (a search never stops at its first
    // character, so that "a,,b" holds the values "a" and ",b").
    std::vector<const char *> commas;
    for (const char *from = value;;) {
        const char *comma = end_of_value(from, line);
        if (comma == nullptr)
            break;
        commas.push_back(comma);
        from = comma + 1;
    }
    if (commas.size() < static_cast<size_t>(MAX_VALUES_PER_LINE))
        return {};

    std::vector<std::string> parts;
    std::string head(line, value);
    const char *from = value;
    for (size_t i = MAX_VALUES_PER_LINE - 1; i < commas.size(); i += MAX_VALUES_PER_LINE) {
        parts.push_back(head + std::string(from, commas[i]));
        from = commas[i] + 1;
    }
    if (*from != '\0')
        parts.push_back(head + from);
    return parts;
}
