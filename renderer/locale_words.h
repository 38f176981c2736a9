// locale_words.h: the words and dates evtable writes into the document, in
// the language of --lang: month and weekday names, dates, the title's word
// and the whole-day mark, from ICU's locale data. Without a language, with an
// English one, or with one ICU does not know, they are the English words the
// document has always had.
#pragma once

#include <string>

/// Chooses the language of the words below, by BCP 47 tag (null: none). A
/// tag ICU has no data for falls back to its base language, then to English.
/// Choosing the same tag again costs nothing.
void choose_language(const char *tag);

/// Whether the chosen language's words are the English ones.
bool language_is_english();

/// Whether the chosen language is written right to left.
bool language_is_right_to_left();

/// The caption of a month's table: "November 2026".
const std::string &month_caption(int year, int month);

/// A weekday's name, 1 Sunday to 7 Saturday: "Sunday"; short: "Sun".
const std::string &weekday_name(int weekday);
const std::string &short_weekday_name(int weekday);

/// A date of the generated title: "1 November 2026".
std::string title_date(int year, int month, int day);

/// The word before the dates of the generated title: "Calendar".
const std::string &title_word();

/// A day's heading in the list: "Sunday 1 November 2026".
std::string day_heading(int year, int month, int day);

/// The whole-day mark's length of one day, in the chosen language ("1 Tag");
/// empty for English, whose mark is "(whole day)".
const std::string &one_day_text();
