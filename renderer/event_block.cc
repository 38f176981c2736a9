// event_block.cc: status and category classes, categories, time span,
// summary, and on request description and location of one occurrence.
#include "renderer/event_block.h"

#include <cstdio>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "renderer/html_text.h"
#include "renderer/locale_words.h"
#include "renderer/zone_time.h"
#include "shared/property_text.h"

// The properties that the block reads of an event, found in one walk.
namespace {
struct kept_properties {
    icalproperty *status = nullptr;
    std::vector<icalproperty *> categories;
    icalproperty *summary = nullptr;
    icalproperty *description = nullptr;
    icalproperty *location = nullptr;
    icalproperty *url = nullptr;
};
}  // namespace

// The events with many properties that the document has shown so far, and
// the properties kept of each.
static std::unordered_map<const icalcomponent *, std::unique_ptr<kept_properties>> &many_kept =
    *new std::unordered_map<const icalcomponent *, std::unique_ptr<kept_properties>>;

void forget_kept_properties()
{
    many_kept.clear();
}

// Keeps a property if the block reads it: the first of each kind, and
// every CATEGORIES.
static void keep(kept_properties *kept, icalproperty *p)
{
    switch (icalproperty_isa(p)) {
    case ICAL_STATUS_PROPERTY:
        kept->status = kept->status != nullptr ? kept->status : p;
        break;
    case ICAL_CATEGORIES_PROPERTY:
        kept->categories.push_back(p);
        break;
    case ICAL_SUMMARY_PROPERTY:
        kept->summary = kept->summary != nullptr ? kept->summary : p;
        break;
    case ICAL_DESCRIPTION_PROPERTY:
        kept->description = kept->description != nullptr ? kept->description : p;
        break;
    case ICAL_LOCATION_PROPERTY:
        kept->location = kept->location != nullptr ? kept->location : p;
        break;
    case ICAL_URL_PROPERTY:
        kept->url = kept->url != nullptr ? kept->url : p;
        break;
    default:
        break;
    }
}

// The properties a block reads, found in one walk through the event's
// properties. Past MANY_PROPERTIES the walk stops: such an event has its
// properties found once, at its first block, and kept for the others.
static const kept_properties *kept_properties_of(icalcomponent *event)
{
    // The block's own, for an event with few properties; its list of
    // categories keeps its room from block to block.
    static kept_properties &few = *new kept_properties;
    few.status = few.summary = few.description = few.location = few.url = nullptr;
    few.categories.clear();
    int count = 0;
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_ANY_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(event, ICAL_ANY_PROPERTY)) {
        if (++count > MANY_PROPERTIES)
            break;
        keep(&few, p);
    }
    if (count <= MANY_PROPERTIES)
        return &few;
    auto seen = many_kept.try_emplace(event);
    if (seen.second) {
        seen.first->second = std::make_unique<kept_properties>();
        for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_ANY_PROPERTY);
             p != nullptr; p = icalcomponent_get_next_property(event, ICAL_ANY_PROPERTY))
            keep(seen.first->second.get(), p);
    }
    return seen.first->second.get();
}

static void put_category(icalproperty *property, const char *separator, bool first)
{
    if (!first)
        put_text(separator);
    put_class_token(text_or_empty(icalproperty_get_categories(property)));
}

static void put_categories(const kept_properties *kept, const char *separator)
{
    bool first = true;
    for (icalproperty *property : kept->categories) {
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

static void put_description_and_location(const kept_properties *kept,
                                         const render_settings *settings)
{
    icalproperty *description = settings->show_description ? kept->description : nullptr;
    icalproperty *location = settings->show_location ? kept->location : nullptr;
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
    icalproperty *status_property = kept->status;
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
    put_categories(kept, " ");
    put_literal("\">\n<span class=\"categories\">");
    put_categories(kept, ", ");
    put_literal("</span>\n");
    put_time_span(record);
    put_literal("<span class=\"summary\">");
    icalproperty *summary = kept->summary;
    const char *summary_text = summary != nullptr ? text_or_empty(icalproperty_get_summary(summary)) : nullptr;
    icalproperty *url = kept->url;
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
    put_description_and_location(kept, settings);
    put_literal("</div></div>\n\n");
}
