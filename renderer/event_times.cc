// event_times.cc: the lengths of events and the ends of their instances.
#include "renderer/event_times.h"

#include "renderer/zone_time.h"
#include "shared/time_zones.h"

long duration_days(icaldurationtype duration)
{
    if (duration.is_neg)
        return 0;
    long seconds = icaldurationtype_as_int(duration);
    return (seconds + 86399) / 86400;
}

icaltimetype event_end(icalcomponent *event)
{
    icalproperty *dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    if (dtend == nullptr || icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY) == nullptr)
        return icalcomponent_get_dtend(event);
    return zoned_time(event, dtend, icalproperty_get_dtend(dtend));
}

event_length length_of(icalcomponent *event, icaltimetype dtstart)
{
    icalproperty *dtend = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY);
    if (dtend != nullptr) {
        icaltimetype end = event_end(event);
        if (!icaltime_is_null_time(end)) {
            icaldurationtype exact = icaltime_subtract(end, dtstart);
            return {exact, true, duration_days(exact)};
        }
    }
    icaldurationtype nominal = icalcomponent_get_duration(event);
    return {nominal, false, duration_days(nominal)};
}

static bool is_zoned(const icaltimetype &t)
{
    return !t.is_date && t.zone != nullptr && t.zone != icaltimezone_get_utc_timezone();
}

icaltimetype instance_end(icaltimetype start, const event_length &length)
{
    icaldurationtype duration = length.duration;
    if (length.exact || !is_zoned(start))
        return add_exact_time(start, duration);
    icaldurationtype days = icaldurationtype_null_duration();
    days.is_neg = duration.is_neg;
    days.weeks = duration.weeks;
    days.days = duration.days;
    duration.weeks = 0;
    duration.days = 0;
    return add_exact_time(icaltime_add(start, days), duration);
}
