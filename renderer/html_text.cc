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

static void put_escaped_byte(char byte)
{
    switch (byte) {
    case '<':
        fputs("&lt;", stdout);
        break;
    case '>':
        fputs("&gt;", stdout);
        break;
    case '&':
        fputs("&amp;", stdout);
        break;
    default:
        putchar(byte);
    }
}

void put_escaped(const char *text, const char *end)
{
    for (const char *p = text; *p != '\0' && p != end; p++)
        put_escaped_byte(*p);
}

void put_class_token(const char *text)
{
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; p++)
        putchar(isalnum(*p) ? *p : '-');
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
    if (strncasecmp(text, "mailto:", 7) == 0)
        return 7;
    if (strncasecmp(text, "geo:", 4) == 0)
        return 4;
    if (strncasecmp(text, "urn:", 4) == 0) {
        const char *p = text + 4;
        while (is_ascii_letter(*p) || (*p >= '0' && *p <= '9') || *p == '-')
            p++;
        if (p > text + 4 && *p == ':')
            return static_cast<size_t>(p + 1 - text);
    }
    if (letters_end > text && strncmp(letters_end, "://", 3) == 0)
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

static void compile_link_regex()
{
    if (regcomp(&link_regex, LINK_PATTERN, REG_EXTENDED | REG_ICASE) != 0)
        report_and_exit(STATUS_EVTABLE_REGCOMP,
                        "regcomp() failed. This is a bug in the program. Sorry!\n");
    link_regex_compiled = true;
}

// The matcher is asked only where a scheme part begins, and only about the
// stretch of text that a link there could cover, so no call reads further
// than the link itself: the whole text is written in linear time.
void put_linked_text(const char *text)
{
    if (!link_regex_compiled)
        compile_link_regex();
    const char *letters_end = text;
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
                fputs("<a href=\"", stdout);
                put_escaped(p, p + length);
                fputs("\">", stdout);
                put_escaped(p, p + length);
                fputs("</a>", stdout);
                p += length;
                continue;
            }
        }
        put_escaped_byte(*p);
        p++;
    }
}
