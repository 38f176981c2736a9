// value_lists.h: long lists of values cut into lines that libical keeps whole.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "shared/libical_facts.h"


/// libical splits the line of every property that takes a list
/// (CATEGORIES, RESOURCES, EXDATE, RDATE, FREEBUSY...), whatever its VALUE
/// parameter says, and the line of an X- property whose last VALUE
/// parameter names a type it splits (TEXT, INTEGER, DATE...). Such lines
/// are cut into lines of at most this many values, each with the property's
/// name and parameters; libical makes one property of each value either way.
constexpr int MAX_VALUES_PER_LINE = 400;

/// A line needs a cut only if it holds a comma for each of more values than
/// that: the parse step passes shorter lines by.
constexpr int MIN_LINE_TO_CUT = 2 * MAX_VALUES_PER_LINE;

struct value_list_cut {
    /// Empty when the line needs no cut (a property whose line libical takes
    /// whole, or a list of at most MAX_VALUES_PER_LINE values), else the
    /// parts in order.
    std::vector<std::string> parts;
    /// Values that libical will drop all the same: past LIBICAL_MAX_VALUES
    /// in a stretch of the line where no cut keeps libical's reading of it.
    size_t dropped;
    /// The property's name as the line gives it, for a message.
    std::string name;
};

/// The unfolded line as lines that lose no value in libical's parser.
/// Values are separated where libical separates them: at commas outside
/// double quotes and not escaped. A part never ends in a double quote when
/// one of its values starts with one, for libical would read such a part as
/// one quoted value; where no cut within libical's limit avoids that, the
/// rest of the line goes as one part and its values past the limit are
/// counted in dropped.
value_list_cut cut_value_list(const char *line);

/// For tests: characters of lines looked at by cut_value_list so far.
size_t value_list_work();
