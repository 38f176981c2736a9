// property_text.h: the text of a property's value, where libical may give none.
#pragma once

/// A property libical gives no text for is compared and written as the empty text.
inline const char *text_or_empty(const char *text)
{
    return text != nullptr ? text : "";
}
