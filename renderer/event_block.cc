// event_block.cc: status and category classes, categories, time span,
// summary, and on request description and location of one occurrence.
#include "renderer/event_block.h"

#include <cstdio>

#include "renderer/html_text.h"

// A property libical gives no text for is written as the empty text.
static const char *text_or_empty(const char *text)
{
    return text != nullptr ? text : "";
}

static void put_categories(icalcomponent *event, const char *separator)
{
    bool first = true;
    for (icalproperty *property = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(event, ICAL_CATEGORIES_PROPERTY)) {
        if (!first)
            fputs(separator, stdout);
        put_class_token(text_or_empty(icalproperty_get_categories(property)));
        first = false;
    }
}

static void put_time_span(const occurrence *record)
{
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    icaltimetype start = icaltime_convert_to_zone(record->start, utc);
    icaltimetype end = icaltime_convert_to_zone(record->end, utc);
    bool timed = record->start.hour != 0 || record->start.minute != 0 || record->end.hour != 0 ||
                 record->end.minute != 0;
    if (timed) {
        printf("<span class=\"time\"><abbr class=\"dtstart\"\n"
               "title=\"%04d%02d%02dT%02d%02d%02dZ\">%02d:%02d</abbr>-<abbr class=\"dtend\"\n"
               "title=\"%04d%02d%02dT%02d%02d%02dZ\">%02d:%02d</abbr></span>\n",
               start.year, start.month, start.day, start.hour, start.minute, start.second,
               record->start.hour, record->start.minute, end.year, end.month, end.day, end.hour,
               end.minute, end.second, record->end.hour, record->end.minute);
    } else {
        printf("<span class=\"notime\"><abbr class=\"dtstart\"\n"
               "title=\"%04d%02d%02d\">(whole</abbr> <abbr class=\"duration\"\n"
               "title=\"1D\">day)</abbr></span>\n",
               start.year, start.month, start.day);
    }
}

static void put_description_and_location(icalcomponent *event, const render_settings *settings)
{
    icalproperty *description =
        settings->show_description
            ? icalcomponent_get_first_property(event, ICAL_DESCRIPTION_PROPERTY)
            : nullptr;
    icalproperty *location = settings->show_location
                                 ? icalcomponent_get_first_property(event, ICAL_LOCATION_PROPERTY)
                                 : nullptr;
    if (description == nullptr && location == nullptr)
        return;
    fputs("<pre>", stdout);
    if (description != nullptr) {
        fputs("<span class=\"description\">", stdout);
        put_linked_text(text_or_empty(icalproperty_get_description(description)));
        fputs("</span>", stdout);
    }
    if (description != nullptr && location != nullptr)
        putchar('\n');
    if (location != nullptr) {
        fputs("<b class=\"location\">", stdout);
        // The description accessor gives the text value of any property.
        put_linked_text(text_or_empty(icalproperty_get_description(location)));
        fputs("</b>", stdout);
    }
    puts("</pre>");
}

void print_event_block(const occurrence *record, const render_settings *settings)
{
    icalcomponent *event = record->component;
    fputs("<div class=\"vevent", stdout);
    icalproperty_status status = icalcomponent_get_status(event);
    if (status != 0)
        printf(" %s", text_or_empty(icalproperty_status_to_string(status)));
    fputs("\"><div class=\"", stdout);
    put_categories(event, " ");
    fputs("\">\n<span class=\"categories\">", stdout);
    put_categories(event, ", ");
    puts("</span>");
    put_time_span(record);
    fputs("<span class=\"summary\">", stdout);
    icalproperty *summary = icalcomponent_get_first_property(event, ICAL_SUMMARY_PROPERTY);
    if (summary != nullptr)
        put_linked_text(text_or_empty(icalproperty_get_summary(summary)));
    puts("</span>");
    put_description_and_location(event, settings);
    puts("</div></div>\n");
}
