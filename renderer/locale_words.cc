// locale_words.cc: the document's words, English or from ICU's locale data.
// ICU is asked once per language, when it is chosen; the dates are formatted
// by formats made then.
#include "renderer/locale_words.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include <unicode/dtfmtsym.h>
#include <unicode/dtptngen.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/measunit.h>
#include <unicode/numberformatter.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>

#include "renderer/calendar_days.h"

namespace {

const char *const ENGLISH_MONTHS[13] = {"",     "January", "February",  "March",
                                        "April", "May",     "June",      "July",
                                        "August", "September", "October", "November",
                                        "December"};
const char *const ENGLISH_WEEKDAYS[8] = {"",          "Sunday",   "Monday", "Tuesday",
                                         "Wednesday", "Thursday", "Friday", "Saturday"};

struct language_words {
    std::string tag;               // as chosen; empty for none
    bool english = true;
    bool right_to_left = false;
    std::string weekdays[8];       // 1 Sunday to 7 Saturday
    std::string short_weekdays[8];
    std::string title_word;
    std::string one_day;
    // Formats of the language, for dates in the Gregorian calendar (the
    // tables' months) on a UTC clock (the dates are days, not instants).
    std::unique_ptr<icu::SimpleDateFormat> caption_format;
    std::unique_ptr<icu::SimpleDateFormat> title_format;
    std::unique_ptr<icu::SimpleDateFormat> heading_format;
};

language_words &words = *new language_words;

std::string utf8(const icu::UnicodeString &text)
{
    std::string bytes;
    text.toUTF8String(bytes);
    return bytes;
}

// Whether ICU has data of the tag's base language: otherwise ICU would fall
// back to its root data (month names "M11") or to the process's default
// locale, which depends on the environment.
bool icu_knows_language(const icu::Locale &locale)
{
    int32_t count = 0;
    const icu::Locale *available = icu::Locale::getAvailableLocales(count);
    for (int32_t i = 0; i < count; i++) {
        if (strcmp(available[i].getLanguage(), locale.getLanguage()) == 0)
            return true;
    }
    return false;
}

std::unique_ptr<icu::SimpleDateFormat> make_format(const icu::Locale &locale,
                                                   icu::DateTimePatternGenerator &patterns,
                                                   const char *skeleton)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString pattern = patterns.getBestPattern(icu::UnicodeString(skeleton), status);
    auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    auto calendar = std::make_unique<icu::GregorianCalendar>(
        icu::TimeZone::getGMT()->clone(), locale, status);
    // Proleptic Gregorian dates, as the tables have them, also before 1582.
    calendar->setGregorianChange(-8.64e15, status);
    format->adoptCalendar(calendar.release());
    if (U_FAILURE(status))
        return nullptr;
    return format;
}

std::string format_day(icu::SimpleDateFormat *format, int year, int month, int day)
{
    // Noon of the day, in milliseconds since 1970.
    UDate date = (static_cast<double>(day_number(year, month, day)) * 86400.0 + 43200.0) * 1000.0;
    icu::UnicodeString text;
    format->format(date, text);
    return utf8(text);
}

// The ICU words of a language; false when ICU cannot give them.
bool load_icu_words(const icu::Locale &requested)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale(requested);
    locale.setKeywordValue("calendar", "gregorian", status);
    icu::DateFormatSymbols symbols(locale, status);
    std::unique_ptr<icu::DateTimePatternGenerator> patterns(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return false;
    int32_t count = 0;
    const icu::UnicodeString *names = symbols.getWeekdays(
        count, icu::DateFormatSymbols::STANDALONE, icu::DateFormatSymbols::WIDE);
    const icu::UnicodeString *short_names = symbols.getWeekdays(
        count, icu::DateFormatSymbols::STANDALONE, icu::DateFormatSymbols::ABBREVIATED);
    if (count < 8)
        return false;
    for (int i = 1; i <= 7; i++) {
        words.weekdays[i] = utf8(names[i]);
        words.short_weekdays[i] = utf8(short_names[i]);
    }
    // The display name of the calendar keyword: "Kalender", "calendrier".
    UChar keyword_name[64];
    int32_t length = uloc_getDisplayKeyword("calendar", locale.getName(), keyword_name, 64, &status);
    icu::UnicodeString title(keyword_name, U_SUCCESS(status) ? length : 0);
    if (title.length() > 0) {
        UChar32 first = title.char32At(0);
        title.replace(0, U16_LENGTH(first), u_totitle(first));
    }
    words.title_word = utf8(title);
    words.one_day = utf8(icu::number::NumberFormatter::withLocale(locale)
                             .unit(icu::MeasureUnit::getDay())
                             .unitWidth(UNUM_UNIT_WIDTH_FULL_NAME)
                             .formatInt(1, status)
                             .toString(status));
    words.caption_format = make_format(locale, *patterns, "yMMMM");
    words.title_format = make_format(locale, *patterns, "yMMMMd");
    words.heading_format = make_format(locale, *patterns, "yMMMMEEEEd");
    words.right_to_left = locale.isRightToLeft();
    return U_SUCCESS(status) && words.caption_format && words.title_format &&
           words.heading_format;
}

void load_english_words()
{
    words.english = true;
    words.right_to_left = false;
    words.title_word = "Calendar";
    words.one_day.clear();
    for (int i = 1; i <= 7; i++) {
        words.weekdays[i] = ENGLISH_WEEKDAYS[i];
        words.short_weekdays[i] = std::string(ENGLISH_WEEKDAYS[i], 3);
    }
}

}  // namespace

void choose_language(const char *tag)
{
    std::string chosen = tag != nullptr ? tag : "";
    if (chosen == words.tag && !words.weekdays[1].empty())
        return;
    words.tag = chosen;
    load_english_words();
    if (chosen.empty())
        return;
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(chosen, status);
    if (U_FAILURE(status) || locale.isBogus() || strcmp(locale.getLanguage(), "en") == 0 ||
        !icu_knows_language(locale))
        return;
    words.english = false;
    if (!load_icu_words(locale))
        load_english_words();
}

bool language_is_english()
{
    return words.english;
}

bool language_is_right_to_left()
{
    return words.right_to_left;
}

const std::string &month_caption(int year, int month)
{
    static std::string caption;
    if (words.english) {
        caption = month >= 0 && month <= 12 ? ENGLISH_MONTHS[month] : "";
        caption += ' ';
        caption += std::to_string(year);
    } else {
        caption = format_day(words.caption_format.get(), year, month, 1);
    }
    return caption;
}

const std::string &weekday_name(int weekday)
{
    return words.weekdays[weekday >= 1 && weekday <= 7 ? weekday : 0];
}

const std::string &short_weekday_name(int weekday)
{
    return words.short_weekdays[weekday >= 1 && weekday <= 7 ? weekday : 0];
}

std::string title_date(int year, int month, int day)
{
    if (!words.english)
        return format_day(words.title_format.get(), year, month, day);
    char text[64];
    snprintf(text, sizeof text, "%d %s %d", day, month >= 0 && month <= 12 ? ENGLISH_MONTHS[month] : "",
             year);
    return text;
}

const std::string &title_word()
{
    return words.title_word;
}

std::string day_heading(int year, int month, int day)
{
    if (!words.english)
        return format_day(words.heading_format.get(), year, month, day);
    int weekday = civil_day_of(day_number(year, month, day)).weekday;
    return weekday_name(weekday) + ", " + title_date(year, month, day);
}

const std::string &one_day_text()
{
    return words.one_day;
}
