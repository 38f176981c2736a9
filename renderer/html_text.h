// html_text.h: the writers through which calendar and user text reach the
// HTML document on standard output.
#pragma once

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

/// The link pattern, matched at the start of the text it is given.
extern const char LINK_PATTERN[];
