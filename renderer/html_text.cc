// html_text.cc: escaping, class tokens and link marking.
#include "renderer/html_text.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <regex.h>
#include <strings.h>

#include "shared/fatal.h"

const char LINK_PATTERN[] =
    "^([a-z]+://|mailto:|geo:|urn:[a-z0-9-]+:)([][a-z0-9._~/?#[@!$&'()*+,;=-]|%[0-9a-f][0-9a-f])+";

static regex_t link_regex;
static bool link_regex_compiled = false;

// Every number written is a year, month, day, hour, minute or second: none
// is negative.
size_t format_number(char *out, int value, int width)
{
    if (width == 2 && value >= 0 && value < 100) {
        out[0] = static_cast<char>('0' + value / 10);
        out[1] = static_cast<char>('0' + value % 10);
        return 2;
    }
    char text[16];
    char *end = text + sizeof text;
    char *p = end;
    unsigned int rest = static_cast<unsigned int>(value);
    do {
        *--p = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    while (end - p < width && p > text)
        *--p = '0';
    size_t length = static_cast<size_t>(end - p);
    memcpy(out, p, length);
    return length;
}

void put_number(int value, int width)
{
    char digits[16];
    put_bytes(digits, format_number(digits, value, width));
}

static const char *entity(char byte)
{
    switch (byte) {
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '&':
        return "&amp;";
    default:
        return nullptr;
    }
}

// Runs of bytes without an entity are written whole.
void put_escaped(const char *text, const char *end)
{
    const char *run = text;
    const char *p = text;
    for (; *p != '\0' && p != end; p++) {
        const char *replacement = entity(*p);
        if (replacement != nullptr) {
            put_bytes(run, static_cast<size_t>(p - run));
            put_text(replacement);
            run = p + 1;
        }
    }
    put_bytes(run, static_cast<size_t>(p - run));
}

void put_class_token(const char *text)
{
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; p++)
        put_byte(isalnum(*p) ? static_cast<char>(*p) : '-');
}

static bool is_ascii_letter(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

static bool is_hex_digit(char byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'f') ||
           (byte >= 'A' && byte <= 'F');
}

// The bytes of a link body besides %XX: letters, digits and ][._~/?#@!$&'()*+,;=-
static bool is_body_byte(char byte)
{
    return is_ascii_letter(byte) || (byte >= '0' && byte <= '9') ||
           (byte != '\0' && strchr("][._~/?#@!$&'()*+,;=-", byte) != nullptr);
}

// The length of the scheme part that begins at text, or 0 when none does.
// letters_end is where the run of letters that text stands in ends.
static size_t scheme_length(const char *text, const char *letters_end)
{
    if (!is_ascii_letter(*text))
        return 0;
    // The fixed words first: where "mailto://" begins, "mailto:" is the
    // shorter scheme part and "//" already belongs to the body.
    char first = static_cast<char>(*text | 0x20);
    if (first == 'm' && strncasecmp(text, "mailto:", 7) == 0)
        return 7;
    if (first == 'g' && strncasecmp(text, "geo:", 4) == 0)
        return 4;
    if (first == 'u' && strncasecmp(text, "urn:", 4) == 0) {
        const char *p = text + 4;
        while (is_ascii_letter(*p) || (*p >= '0' && *p <= '9') || *p == '-')
            p++;
        if (p > text + 4 && *p == ':')
            return static_cast<size_t>(p + 1 - text);
    }
    if (strncmp(letters_end, "://", 3) == 0)
        return static_cast<size_t>(letters_end + 3 - text);
    return 0;
}

// How far a link that begins with a scheme part of the given length can
// reach: the scheme part and the run of body bytes and %XX escapes after it.
static size_t candidate_length(const char *text, size_t scheme)
{
    const char *p = text + scheme;
    for (;;) {
        if (is_body_byte(*p))
            p++;
        else if (*p == '%' && is_hex_digit(p[1]) && is_hex_digit(p[2]))
            p += 3;
        else
            return static_cast<size_t>(p - text);
    }
}

// Script schemes: a browser runs the text of such a link when it is
// clicked, and "//" only opens a script comment that an encoded line break
// closes. The letters before "://" name the scheme, in any case.
static bool is_script_scheme(const char *text, const char *letters_end)
{
    static const char *const SCRIPT_SCHEMES[] = {"javascript", "vbscript", "livescript"};
    if (strncmp(letters_end, "://", 3) != 0)
        return false;
    size_t length = static_cast<size_t>(letters_end - text);
    for (const char *scheme : SCRIPT_SCHEMES) {
        if (strlen(scheme) == length && strncasecmp(text, scheme, length) == 0)
            return true;
    }
    return false;
}

static void compile_link_regex()
{
    if (regcomp(&link_regex, LINK_PATTERN, REG_EXTENDED | REG_ICASE) != 0)
        report_and_exit(STATUS_EVTABLE_REGCOMP,
                        "regcomp() failed. This is a bug in the program. Sorry!\n");
    link_regex_compiled = true;
}

size_t whole_link_length(const char *text)
{
    if (!link_regex_compiled)
        compile_link_regex();
    const char *letters_end = text;
    while (is_ascii_letter(*letters_end))
        letters_end++;
    size_t scheme = scheme_length(text, letters_end);
    if (scheme == 0 || is_script_scheme(text, letters_end))
        return 0;
    size_t reach = candidate_length(text, scheme);
    regmatch_t match[1];
    match[0].rm_so = 0;
    match[0].rm_eo = static_cast<regoff_t>(reach);
    if (reach <= scheme || regexec(&link_regex, text, 1, match, REG_STARTEND) != 0)
        return 0;
    return static_cast<size_t>(match[0].rm_eo);
}

// The matcher is asked only where a scheme part begins, and only about the
// stretch of text that a link there could cover, so no call reads further
// than the link itself: the whole text is written in linear time. A match
// with a script scheme stays plain text, all of it, so that no shorter link
// starts inside it.
void put_linked_text(const char *text)
{
    if (!link_regex_compiled)
        compile_link_regex();
    const char *letters_end = text;
    const char *plain = text;   // the plain text not yet written
    const char *p = text;
    while (*p != '\0') {
        if (letters_end <= p) {
            letters_end = p;
            while (is_ascii_letter(*letters_end))
                letters_end++;
        }
        size_t scheme = scheme_length(p, letters_end);
        if (scheme > 0) {
            size_t reach = candidate_length(p, scheme);
            regmatch_t match[1];
            match[0].rm_so = 0;
            match[0].rm_eo = static_cast<regoff_t>(reach);
            if (reach > scheme && regexec(&link_regex, p, 1, match, REG_STARTEND) == 0 &&
                match[0].rm_eo > 0) {
                size_t length = static_cast<size_t>(match[0].rm_eo);
                if (is_script_scheme(p, letters_end)) {
                    p += length;
                    continue;
                }
                put_escaped(plain, p);
                put_literal("<a href=\"");
                put_escaped(p, p + length);
                put_literal("\">");
                put_escaped(p, p + length);
                put_literal("</a>");
                p += length;
                plain = p;
                continue;
            }
        }
        p++;
    }
    put_escaped(plain, nullptr);
}
