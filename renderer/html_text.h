// html_text.h: the writers through which calendar and user text reach the
// HTML document on standard output.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

/// Writes bytes to standard output's buffer through stdio's public calls,
/// without the stream's lock (the program has one thread). Most pieces of
/// the document are a few bytes long (numbers, entities, short tags):
/// putc_unlocked copies those without a call while the buffer has room, where
/// fwrite would cost several times the copy.
inline void put_bytes(const char *bytes, size_t count)
{
    FILE *out = stdout;
    if (count <= 16) {
        for (size_t i = 0; i < count; i++)
            putc_unlocked(bytes[i], out);
        return;
    }
    fwrite_unlocked(bytes, 1, count, out);
}

/// A string literal, whose length is known where it is written.
template <size_t N> inline void put_literal(const char (&text)[N])
{
    put_bytes(text, N - 1);
}

inline void put_text(const char *text)
{
    put_bytes(text, strlen(text));
}

inline void put_byte(char byte)
{
    putc_unlocked(byte, stdout);
}

/// A number that is not negative, in decimal padded with zeros to width, as
/// printf's "%0*d" writes it.
void put_number(int value, int width);

/// The digits put_number writes, into out (room for 16); their count.
size_t format_number(char *out, int value, int width);

/// Writes text as HTML character data (<, > and & as entities), stopping
/// before the NUL or at end, whichever comes first (end null: the whole text).
void put_escaped(const char *text, const char *end);

/// Writes one byte per byte of text: ASCII letters and digits as they are,
/// every other byte as "-".
void put_class_token(const char *text);

/// Writes text as put_escaped does, with every URI written as a link. The
/// first call compiles the link pattern; if that fails the run ends with
/// status 5.
void put_linked_text(const char *text);

/// The length of the link that put_linked_text would write for the start of
/// text; 0 where it would write none there (no scheme part, or a script
/// scheme).
size_t whole_link_length(const char *text);

/// The link pattern, matched at the start of the text it is given.
extern const char LINK_PATTERN[];
