// calendar_days.cc: proleptic Gregorian day numbers in 400-year eras.
#include "renderer/calendar_days.h"

long day_number(int year, int month, int day)
{
    long y = month <= 2 ? year - 1 : year;
    long era = (y >= 0 ? y : y - 399) / 400;
    long year_of_era = y - era * 400;
    long day_of_year = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

long day_number(const icaltimetype &t)
{
    return day_number(t.year, t.month, t.day);
}

civil_day civil_day_of(long day)
{
    long z = day + 719468;
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long day_of_era = z - era * 146097;
    long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    long shifted_month = (5 * day_of_year + 2) / 153;
    civil_day result;
    result.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    result.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    result.year = static_cast<int>(year_of_era + era * 400 + (result.month <= 2 ? 1 : 0));
    // 1970-01-01 was a Thursday, libical's day 5.
    result.weekday = static_cast<int>(((day % 7 + 7) % 7 + 4) % 7 + 1);
    result.year_day = static_cast<int>(day - day_number(result.year, 1, 1) + 1);
    return result;
}

icaltimetype add_days(icaltimetype t, long days)
{
    icaldurationtype span = icaldurationtype_null_duration();
    span.is_neg = days < 0;
    span.days = static_cast<unsigned int>(days < 0 ? -days : days);
    return icaltime_add(t, span);
}
