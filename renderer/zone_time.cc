// zone_time.cc: zone conversion with the offsets after libical's last year
// found once per zone.
#include "renderer/zone_time.h"

#include <vector>

namespace {
struct final_offset {
    const icaltimezone *zone;
    int utc_offset;
    int is_daylight;
};
}

static std::vector<final_offset> final_offsets;

// The offset that libical uses for every time after LAST_ZONE_YEAR.
static const final_offset &offset_after_last_year(icaltimezone *zone)
{
    for (const final_offset &known : final_offsets) {
        if (known.zone == zone)
            return known;
    }
    icaltimetype last = icaltime_null_time();
    last.year = LAST_ZONE_YEAR;
    last.month = 12;
    last.day = 31;
    last.hour = 23;
    last.minute = 59;
    last.second = 59;
    int is_daylight = 0;
    int utc_offset = icaltimezone_get_utc_offset_of_utc_time(zone, &last, &is_daylight);
    final_offsets.push_back({zone, utc_offset, is_daylight});
    return final_offsets.back();
}

icaltimetype convert_time(icaltimetype time, icaltimezone *zone)
{
    icaltimezone *from = const_cast<icaltimezone *>(time.zone);
    // Dates, floating times, times already in the zone, and times whose
    // conversion stays within libical's years take libical's own way.
    if (time.is_date || from == zone || from == nullptr || time.year < LAST_ZONE_YEAR)
        return icaltime_convert_to_zone(time, zone);

    icaltimetype result = time;
    int from_offset = time.year > LAST_ZONE_YEAR
                          ? offset_after_last_year(from).utc_offset
                          : icaltimezone_get_utc_offset(from, &result, nullptr);
    icaltime_adjust(&result, 0, 0, 0, -from_offset);
    int is_daylight = 0;
    int to_offset = 0;
    if (zone != nullptr && zone != icaltimezone_get_utc_timezone()) {
        if (result.year > LAST_ZONE_YEAR) {
            const final_offset &final = offset_after_last_year(zone);
            to_offset = final.utc_offset;
            is_daylight = final.is_daylight;
        } else {
            to_offset = icaltimezone_get_utc_offset_of_utc_time(zone, &result, &is_daylight);
        }
    }
    result.is_daylight = is_daylight;
    icaltime_adjust(&result, 0, 0, 0, to_offset);
    result.zone = zone;
    return result;
}

int compare_times(icaltimetype a, icaltimetype b)
{
    if (a.zone != b.zone && a.zone != nullptr && b.zone != nullptr) {
        icaltimezone *utc = icaltimezone_get_utc_timezone();
        a = convert_time(a, utc);
        b = convert_time(b, utc);
    }
    return icaltime_compare(a, b);
}
