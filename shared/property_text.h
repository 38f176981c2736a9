// property_text.h: the text of a property's value, where libical may give
// none, and calendar text made safe for a terminal.
#pragma once

#include <string>

/// A property libical gives no text for is compared and written as the empty text.
inline const char *text_or_empty(const char *text)
{
    return text != nullptr ? text : "";
}

/// Calendar text quoted in a message: control characters become '?', so
/// that an input cannot send escape sequences through a warning.
inline std::string printable(const char *text)
{
    std::string shown = text_or_empty(text);
    for (char &c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return shown;
}
