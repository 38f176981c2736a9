// event_block.cc: status and category classes, categories, time span,
// summary, and on request description and location of one occurrence.
#include "renderer/event_block.h"

#include <cstdio>
#include <cstring>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "renderer/html_text.h"
#include "renderer/locale_words.h"
#include "renderer/zone_time.h"
#include "shared/property_text.h"

// The properties that the block reads of a noted event, found once.
namespace {
struct kept_properties {
    bool found = false;
    icalproperty *status = nullptr;
    std::vector<icalproperty *> categories;
    icalproperty *summary = nullptr;
    icalproperty *description = nullptr;
    icalproperty *location = nullptr;
    icalproperty *url = nullptr;
};
}  // namespace

static std::unordered_map<const icalcomponent *, kept_properties> &noted_events =
    *new std::unordered_map<const icalcomponent *, kept_properties>;

void note_event_with_many_properties(icalcomponent *event)
{
    noted_events[event];
}

void forget_events_with_many_properties()
{
    noted_events.clear();
}

// The kept properties of a noted event, found at its first block; null for
// any other event, whose properties are looked up as the block needs them.
static const kept_properties *kept_properties_of(icalcomponent *event)
{
    if (noted_events.empty())
        return nullptr;
    auto noted = noted_events.find(event);
    if (noted == noted_events.end())
        return nullptr;
    kept_properties &kept = noted->second;
    if (!kept.found) {
        kept.found = true;
        for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_ANY_PROPERTY);
             p != nullptr; p = icalcomponent_get_next_property(event, ICAL_ANY_PROPERTY)) {
            switch (icalproperty_isa(p)) {
            case ICAL_STATUS_PROPERTY:
                kept.status = kept.status != nullptr ? kept.status : p;
                break;
            case ICAL_CATEGORIES_PROPERTY:
                kept.categories.push_back(p);
                break;
            case ICAL_SUMMARY_PROPERTY:
                kept.summary = kept.summary != nullptr ? kept.summary : p;
                break;
            case ICAL_DESCRIPTION_PROPERTY:
                kept.description = kept.description != nullptr ? kept.description : p;
                break;
            case ICAL_LOCATION_PROPERTY:
                kept.location = kept.location != nullptr ? kept.location : p;
                break;
            case ICAL_URL_PROPERTY:
                kept.url = kept.url != nullptr ? kept.url : p;
                break;
            default:
                break;
            }
        }
    }
    return &kept;
}

static void put_category(icalproperty *property, const char *separator, bool first)
{
    if (!first)
        put_text(separator);
    put_class_token(text_or_empty(icalproperty_get_categories(property)));
}

static void put_categories(icalcomponent *event, const kept_properties *kept,
                           const char *separator)
{
    bool first = true;
    if (kept != nullptr) {
        for (icalproperty *property : kept->categories) {
            put_category(property, separator, first);
            first = false;
        }
        return;
    }
    for (icalproperty *property = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY);
         property != nullptr;
         property = icalcomponent_get_next_property(event, ICAL_CATEGORIES_PROPERTY)) {
        put_category(property, separator, first);
        first = false;
    }
}

// year, month, day as "%04d%02d%02d"
static void put_date_digits(const icaltimetype &t)
{
    put_number(t.year, 4);
    put_number(t.month, 2);
    put_number(t.day, 2);
}

// The title holds the UTC date-time, the text the display zone's hour and minute.
// Two of these go with every timed occurrence: the bytes are put together
// first and written at once.
static void put_time_abbr(const char *class_name, const icaltimetype &utc, const icaltimetype &shown)
{
    char text[192];
    size_t used = 0;
    auto add = [&](const char *bytes, size_t count) {
        memcpy(text + used, bytes, count);
        used += count;
    };
    auto add_number = [&](int value, int width) { used += format_number(text + used, value, width); };
    add("<abbr class=\"", 13);
    add(class_name, strlen(class_name));
    add("\"\ntitle=\"", 9);
    add_number(utc.year, 4);
    add_number(utc.month, 2);
    add_number(utc.day, 2);
    add("T", 1);
    add_number(utc.hour, 2);
    add_number(utc.minute, 2);
    add_number(utc.second, 2);
    add("Z\">", 3);
    add_number(shown.hour, 2);
    add(":", 1);
    add_number(shown.minute, 2);
    add("</abbr>", 7);
    put_bytes(text, used);
}

static void put_time_span(const occurrence *record)
{
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    icaltimetype start = convert_time(record->start, utc);
    bool timed = record->start.hour != 0 || record->start.minute != 0 || record->end.hour != 0 ||
                 record->end.minute != 0;
    if (timed) {
        icaltimetype end = convert_time(record->end, utc);
        put_literal("<span class=\"time\">");
        put_time_abbr("dtstart", start, record->start);
        put_byte('-');
        put_time_abbr("dtend", end, record->end);
        put_literal("</span>\n");
    } else {
        put_literal("<span class=\"notime\"><abbr class=\"dtstart\"\ntitle=\"");
        put_date_digits(start);
        if (language_is_english()) {
            put_literal("\">(whole</abbr> <abbr class=\"duration\"\ntitle=\"1D\">day)</abbr></span>\n");
        } else {
            // The language's words for a length of one day: "(1 Tag)".
            put_literal("\">(</abbr><abbr class=\"duration\"\ntitle=\"1D\">");
            put_escaped(one_day_text().c_str(), nullptr);
            put_literal(")</abbr></span>\n");
        }
    }
}

// The first property of the kind: kept, or looked up.
static icalproperty *first_property(icalcomponent *event, const kept_properties *kept,
                                    icalproperty *kept_properties::*member,
                                    icalproperty_kind kind)
{
    return kept != nullptr ? kept->*member : icalcomponent_get_first_property(event, kind);
}

static void put_description_and_location(icalcomponent *event, const kept_properties *kept,
                                         const render_settings *settings)
{
    icalproperty *description =
        settings->show_description
            ? first_property(event, kept, &kept_properties::description,
                             ICAL_DESCRIPTION_PROPERTY)
            : nullptr;
    icalproperty *location =
        settings->show_location
            ? first_property(event, kept, &kept_properties::location, ICAL_LOCATION_PROPERTY)
            : nullptr;
    if (description == nullptr && location == nullptr)
        return;
    put_literal("<pre>");
    if (description != nullptr) {
        put_literal("<span class=\"description\">");
        put_linked_text(text_or_empty(icalproperty_get_description(description)));
        put_literal("</span>");
    }
    if (description != nullptr && location != nullptr)
        put_byte('\n');
    if (location != nullptr) {
        put_literal("<b class=\"location\">");
        // The description accessor gives the text value of any property.
        put_linked_text(text_or_empty(icalproperty_get_description(location)));
        put_literal("</b>");
    }
    put_literal("</pre>\n");
}

static std::unordered_set<std::string> &block_ids = *new std::unordered_set<std::string>;

void forget_block_ids()
{
    block_ids.clear();
}

// FNV-1a, 32 bits: short, and the same on every machine and in every run.
static uint32_t text_hash(const char *text)
{
    uint32_t hash = 2166136261u;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != '\0'; p++)
        hash = (hash ^ *p) * 16777619u;
    return hash;
}

std::string block_id(const char *uid, icaltimetype start)
{
    static const size_t UID_PART_LIMIT = 48;
    std::string id = "event-";
    bool reduced = false;
    size_t kept = 0;
    for (const char *p = uid != nullptr ? uid : ""; *p != '\0'; p++) {
        char c = *p;
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_';
        if (kept == UID_PART_LIMIT) {
            reduced = true;
            break;
        }
        id += allowed ? c : '-';
        reduced = reduced || !allowed;
        kept++;
    }
    // Two UIDs that read the same once reduced ("a@b" and "a.b") differ in
    // the hash of the whole UID.
    if (reduced) {
        char hash[16];
        snprintf(hash, sizeof hash, "-%08x", text_hash(uid));
        id += hash;
    }
    char when[32];
    if (start.is_date) {
        snprintf(when, sizeof when, "-%04d%02d%02d", start.year, start.month, start.day);
    } else {
        icaltimetype utc = icaltime_is_utc(start) || start.zone == nullptr
                               ? start
                               : convert_time(start, icaltimezone_get_utc_timezone());
        snprintf(when, sizeof when, "-%04d%02d%02dT%02d%02d%02d%s", utc.year, utc.month, utc.day,
                 utc.hour, utc.minute, utc.second, start.zone == nullptr ? "" : "Z");
    }
    id += when;
    return id;
}

// The id of a block, unique within the document: a second block with the
// same UID and start (an event without UID, or a duplicate) gets "-2".
static void put_block_id(const occurrence *record)
{
    // A floating time is shown at its own wall-clock time in any display
    // zone: the id keeps that time, without a zone.
    icaltimetype start = record->start;
    icaltimetype own_start = icalcomponent_get_dtstart(record->component);
    if (!start.is_date && own_start.zone == nullptr && !icaltime_is_utc(own_start))
        start.zone = nullptr;
    std::string id = block_id(record->uid, start);
    std::string unique = id;
    for (int n = 2; !block_ids.insert(unique).second; n++)
        unique = id + "-" + std::to_string(n);
    put_literal(" id=\"");
    put_text(unique.c_str());
    put_byte('"');
}

void print_event_block(const occurrence *record, const render_settings *settings)
{
    icalcomponent *event = record->component;
    const kept_properties *kept = kept_properties_of(event);
    put_literal("<div class=\"vevent");
    // As icalcomponent_get_status reads it: the first STATUS, or 0.
    icalproperty *status_property =
        first_property(event, kept, &kept_properties::status, ICAL_STATUS_PROPERTY);
    icalproperty_status status = status_property != nullptr
                                     ? icalproperty_get_status(status_property)
                                     : static_cast<icalproperty_status>(0);
    if (status != 0) {
        put_byte(' ');
        put_text(text_or_empty(icalproperty_status_to_string(status)));
    }
    put_byte('"');
    if (settings->anchors)
        put_block_id(record);
    put_literal("><div class=\"");
    put_categories(event, kept, " ");
    put_literal("\">\n<span class=\"categories\">");
    put_categories(event, kept, ", ");
    put_literal("</span>\n");
    put_time_span(record);
    put_literal("<span class=\"summary\">");
    icalproperty *summary =
        first_property(event, kept, &kept_properties::summary, ICAL_SUMMARY_PROPERTY);
    const char *summary_text = summary != nullptr ? text_or_empty(icalproperty_get_summary(summary)) : nullptr;
    icalproperty *url = first_property(event, kept, &kept_properties::url, ICAL_URL_PROPERTY);
    const char *link = url != nullptr ? text_or_empty(icalproperty_get_url(url)) : "";
    if (*link != '\0' && whole_link_length(link) == strlen(link)) {
        // A link holds no other link: the summary is plain text in it.
        put_literal("<a class=\"url\" href=\"");
        put_escaped(link, nullptr);
        put_literal("\">");
        // A link needs words to be read out: the address, without a summary.
        put_escaped(summary_text != nullptr && *summary_text != '\0' ? summary_text : link,
                    nullptr);
        put_literal("</a>");
    } else if (summary_text != nullptr) {
        put_linked_text(summary_text);
    }
    put_literal("</span>\n");
    put_description_and_location(event, kept, settings);
    put_literal("</div></div>\n\n");
}
