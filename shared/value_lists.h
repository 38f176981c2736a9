// value_lists.h: long lists of values cut into lines that libical keeps whole.
#pragma once

#include <string>
#include <vector>

/// libical's parser keeps the first 500 values of one line of a property
/// that takes a list (CATEGORIES, RESOURCES, EXDATE, RDATE, FREEBUSY...) and
/// drops the rest without a word. Lines of such a property are cut into
/// lines of at most this many values, each with the property's name and
/// parameters; libical makes one property of each value either way.
constexpr int MAX_VALUES_PER_LINE = 400;

/// A line needs a cut only if it holds a comma for each of more values than
/// that: the parse step passes shorter lines by.
constexpr int MIN_LINE_TO_CUT = 2 * MAX_VALUES_PER_LINE;

/// The unfolded line as lines that lose no value in libical's parser: empty
/// when line needs no cut (a property that takes no list, or a list of at
/// most MAX_VALUES_PER_LINE values), else the parts in order. Values are
/// separated where libical separates them: at commas outside double quotes
/// and not escaped.
std::vector<std::string> cut_value_list(const char *line);
