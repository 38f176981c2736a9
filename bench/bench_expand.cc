// bench_expand: the parse and recurrence floor. Parses the file and takes
// every event's first RRULE through libical's iterator up to the period end,
// starting where the period needs it: for a rule without COUNT at the period
// start less the event's duration, for a rule with COUNT at DTSTART (libical
// cannot start those later). Prints the number of instances taken.
//
//   bench_expand start duration file      (start YYYYMMDD, duration P5W)
#include "bench/floor_input.h"

// Days since 1970-01-01 of a proleptic Gregorian date.
static long day_number(const icaltimetype &t)
{
    long y = t.month <= 2 ? t.year - 1 : t.year;
    long era = (y >= 0 ? y : y - 399) / 400;
    long year_of_era = y - era * 400;
    long day_of_year = (153L * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    return era * 146097 + year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year -
           719468;
}

static icaltimetype add_days(icaltimetype t, long days)
{
    icaldurationtype span = icaldurationtype_null_duration();
    span.days = static_cast<unsigned int>(days);
    return icaltime_add(t, span);
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fputs("usage: bench_expand start duration file\n", stderr);
        return 2;
    }
    icalerror_set_errors_are_fatal(0);
    icaltimetype period_start = icaltime_from_string(argv[1]);
    icaldurationtype period_length = icaldurationtype_from_string(argv[2]);
    icaltimetype period_end = icaltime_add(period_start, period_length);
    icalcomponent *root = parse_floor_file(argv[3]);

    long long instances = 0;
    for (icalcomponent *event = icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
         event != nullptr; event = icalcomponent_get_next_component(root, ICAL_VEVENT_COMPONENT)) {
        icalproperty *rrule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY);
        if (rrule == nullptr)
            continue;
        icaltimetype dtstart = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(dtstart) || icaltime_compare(dtstart, period_end) > 0)
            continue;
        icalrecurrencetype rule = icalproperty_get_rrule(rrule);
        icalrecur_iterator *iterator = icalrecur_iterator_new(rule, dtstart);
        if (iterator == nullptr)
            continue;
        if (rule.count == 0) {
            // Whole days keep DTSTART's time of day, zone and DATE-ness.
            icaldurationtype duration = icalcomponent_get_duration(event);
            long duration_days = duration.is_neg ? 0 : (icaldurationtype_as_int(duration) + 86399) / 86400;
            long skip = day_number(period_start) - duration_days - day_number(dtstart);
            if (skip > 0)
                icalrecur_iterator_set_start(iterator, add_days(dtstart, skip));
        }
        for (;;) {
            icaltimetype instance = icalrecur_iterator_next(iterator);
            if (icaltime_is_null_time(instance) || icaltime_compare(instance, period_end) > 0)
                break;
            instances++;
        }
        icalrecur_iterator_free(iterator);
    }
    icalcomponent_free(root);
    printf("%lld\n", instances);
    return 0;
}
