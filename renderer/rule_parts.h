// rule_parts.h: what a recurrence rule's parts say at a glance, for the
// judge, the bounds of COUNT and the expansion.
#pragma once

#include <array>

#include <libical/ical.h>

/// The longest month of each month number, February of a leap year.
constexpr int LONGEST_MONTH[13] = {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

/// The lengths of a rule's BY lists.
std::array<long, 9> by_list_lengths(const icalrecurrencetype &rule);

bool has_by_lists(const icalrecurrencetype &rule);

/// True when a list of months, month days, year days, weekdays or weeks
/// picks the days.
bool picks_days(const icalrecurrencetype &rule);

/// True for a rule that gives an instance at every step of its frequency:
/// no BY lists, or a weekly one with plain weekdays and nothing else.
bool gives_an_instance_each_step(const icalrecurrencetype &rule);

bool is_gregorian(const icalrecurrencetype &rule);

/// A list's length as a factor: 1 for an empty list.
inline double or_one(long length)
{
    return length > 0 ? static_cast<double>(length) : 1.0;
}
