// locale_words_test.cc: the document's words in a table of languages, from
// ICU's data, and the fall back to the base language and to English.
#include "renderer/locale_words.h"

#include <gtest/gtest.h>

namespace {

struct language_case {
    const char *name;
    const char *tag;
    bool english;
    bool right_to_left;
    const char *caption;       // November 2026
    const char *monday;
    const char *title_date;    // 1 November 2026
    const char *title_word;
    const char *heading;       // Sunday 1 November 2026
    const char *one_day;
};

const language_case LANGUAGE_CASES[] = {
    {"no language", nullptr, true, false, "November 2026", "Monday", "1 November 2026", "Calendar",
     "Sunday, 1 November 2026", ""},
    {"English", "en", true, false, "November 2026", "Monday", "1 November 2026", "Calendar",
     "Sunday, 1 November 2026", ""},
    {"English of a region keeps the English words", "en-GB", true, false, "November 2026",
     "Monday", "1 November 2026", "Calendar", "Sunday, 1 November 2026", ""},
    {"German", "de", false, false, "November 2026", "Montag", "1. November 2026", "Kalender",
     "Sonntag, 1. November 2026", "1 Tag"},
    {"French", "fr", false, false, "novembre 2026", "lundi", "1 novembre 2026", "Calendrier",
     "dimanche 1 novembre 2026", "1\u00a0jour"},
    {"Japanese", "ja", false, false, "2026年11月", "月曜日", "2026年11月1日", "暦法",
     "2026年11月1日日曜日", "1 日"},
    {"Arabic", "ar", false, true, "نوفمبر ٢٠٢٦", "الاثنين", "١ نوفمبر ٢٠٢٦", "التقويم",
     "الأحد، ١ نوفمبر ٢٠٢٦", "يوم"},
    {"an unknown region falls back to the base language", "de-XY", false, false,
     "November 2026", "Montag", "1. November 2026", "Kalender", "Sonntag, 1. November 2026",
     "1 Tag"},
    {"an unknown language falls back to English", "xx", true, false, "November 2026", "Monday",
     "1 November 2026", "Calendar", "Sunday, 1 November 2026", ""},
    {"a tag ICU cannot read falls back to English", "-", true, false, "November 2026", "Monday",
     "1 November 2026", "Calendar", "Sunday, 1 November 2026", ""},
};

TEST(choose_language, words_of_each_language)
{
    for (const language_case &c : LANGUAGE_CASES) {
        SCOPED_TRACE(c.name);
        choose_language(c.tag);
        EXPECT_EQ(c.english, language_is_english());
        EXPECT_EQ(c.right_to_left, language_is_right_to_left());
        EXPECT_EQ(c.caption, month_caption(2026, 11));
        EXPECT_EQ(c.monday, weekday_name(2));
        EXPECT_EQ(c.title_date, title_date(2026, 11, 1));
        EXPECT_EQ(c.title_word, title_word());
        EXPECT_EQ(c.heading, day_heading(2026, 11, 1));
        EXPECT_EQ(c.one_day, one_day_text());
    }
    choose_language(nullptr);
}

// Dates before the Gregorian reform are still Gregorian, as the tables show
// them; the year 1 and 9999 are written whole.
TEST(choose_language, dates_at_the_ends_of_the_years)
{
    choose_language("de");
    EXPECT_EQ("1. Januar 1", title_date(1, 1, 1));
    EXPECT_EQ("15. Oktober 1582", title_date(1582, 10, 15));
    EXPECT_EQ("4. Oktober 1582", title_date(1582, 10, 4));
    EXPECT_EQ("31. Dezember 9999", title_date(9999, 12, 31));
    choose_language(nullptr);
}

}  // namespace
