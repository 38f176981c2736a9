// calendar_days.h: dates as whole day numbers, for the arithmetic that is
// slow through libical's fields: days between dates, a day's date, weekday
// and place in its year.
#pragma once

#include <libical/ical.h>

/// Days since 1970-01-01 of a proleptic Gregorian date.
long day_number(int year, int month, int day);

/// day_number of a time's own year, month and day fields.
long day_number(const icaltimetype &t);

struct civil_day {
    int year;
    int month;
    int day;
    int weekday;    // 1 Sunday to 7 Saturday, as libical numbers them
    int year_day;   // 1 to 366
};

civil_day civil_day_of(long day);

/// The time moved by whole days; its time of day, zone and date flag stay.
icaltimetype add_days(icaltimetype t, long days);
