// evjoin: merges iCalendar files into one: the first definition of each time
// zone, one event per UID (the most recently modified), and every event that
// overrides one instance of a recurrence.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <unordered_map>
#include <vector>

#include <libical/ical.h>

#include "merger/uid_table.h"
#include "shared/calendar_input.h"
#include "shared/fatal.h"
#include "shared/output_calendar.h"
#include "shared/usage.h"

// The events that stand in the output, in the order they were moved there. A
// replaced event leaves a null behind; the events are added to the output
// calendar once, at the end, so that a replacement costs no search.
struct merged_events {
    std::vector<icalcomponent *> in_order;
    std::unordered_map<icalcomponent *, size_t> position;
};

[[noreturn]] static void usage()
{
    report_and_exit(STATUS_USAGE, EVJOIN_USAGE);
}

static void read_join_options(int argc, char **argv)
{
    static const option no_options[] = {{nullptr, 0, nullptr, 0}};
    if (getopt_long(argc, argv, "", no_options, nullptr) != -1)
        usage();
}

static icalcomponent *read_input(const char *path)
{
    FILE *input = open_input_file(path);
    if (input == nullptr)
        report_and_exit(STATUS_FILE, "%s: %s\n", path, strerror(errno));
    parsed_calendar parsed = parse_calendar_stream(input);
    icalparser_free(parsed.parser);
    if (fclose(input) != 0)
        report_and_exit(STATUS_FILE, "%s: %s\n", path, strerror(errno));
    return parsed.root;
}

// The first definition of a TZID wins, from an earlier file or from earlier
// in the same one.
static bool merge_time_zone(icalcomponent *zone, icalcomponent *calendar)
{
    icalproperty *tzid_property = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
    if (tzid_property == nullptr)
        return false;
    const char *tzid = icalproperty_get_tzid(tzid_property);
    if (tzid == nullptr || icalcomponent_get_timezone(calendar, tzid) != nullptr)
        return false;
    icalcomponent_add_component(calendar, zone);
    return true;
}

static void move_event(icalcomponent *event, merged_events *merged)
{
    merged->position[event] = merged->in_order.size();
    merged->in_order.push_back(event);
}

static bool is_later_modified(icalcomponent *standing, icalcomponent *event)
{
    icalproperty *old_stamp = icalcomponent_get_first_property(standing, ICAL_LASTMODIFIED_PROPERTY);
    icalproperty *new_stamp = icalcomponent_get_first_property(event, ICAL_LASTMODIFIED_PROPERTY);
    return old_stamp != nullptr && new_stamp != nullptr &&
           icaltime_compare(icalproperty_get_lastmodified(old_stamp),
                            icalproperty_get_lastmodified(new_stamp)) == -1;
}

// One event per UID: the one with the later LAST-MODIFIED; on a tie, or
// without both stamps, the one read first. Overriding instances all stay.
static bool merge_event(icalcomponent *event, merged_events *merged)
{
    icalproperty *uid_property = icalcomponent_get_first_property(event, ICAL_UID_PROPERTY);
    if (uid_property == nullptr)
        return false;
    if (icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
        move_event(event, merged);
        return true;
    }
    const char *uid = icalproperty_get_uid(uid_property);
    char *key = strdup(uid != nullptr ? uid : "");
    htab_entry *entry = hsearch(key, nullptr, HTAB_FIND);
    if (entry == nullptr) {
        move_event(event, merged);
        if (hsearch(key, event, HTAB_ENTER) == nullptr)
            report_and_exit(STATUS_EVJOIN_NO_ROOM, "No room in hash table\n");
        return true;
    }
    free(key);
    icalcomponent *standing = static_cast<icalcomponent *>(entry->data);
    if (!is_later_modified(standing, event))
        return false;
    auto place = merged->position.find(standing);
    merged->in_order[place->second] = nullptr;
    merged->position.erase(place);
    icalcomponent_free(standing);
    move_event(event, merged);
    entry->data = event;
    return true;
}

// Takes every child from the front of the tree: the VTIMEZONEs first (libical
// keeps them at the front), then the rest in document order. Taking the first
// child costs nothing, where removing one from the middle makes libical
// search the list from its head. What is not kept is freed at once.
static void merge_calendar(icalcomponent *root, icalcomponent *calendar, merged_events *merged)
{
    while (icalcomponent *child = icalcomponent_get_first_component(root, ICAL_ANY_COMPONENT)) {
        icalcomponent_remove_component(root, child);
        bool kept = false;
        switch (icalcomponent_isa(child)) {
        case ICAL_VTIMEZONE_COMPONENT:
            kept = merge_time_zone(child, calendar);
            break;
        case ICAL_VEVENT_COMPONENT:
            kept = merge_event(child, merged);
            break;
        default:
            break;
        }
        if (!kept)
            icalcomponent_free(child);
    }
    icalcomponent_free(root);
}

static void add_merged_events(icalcomponent *calendar, const merged_events *merged)
{
    for (icalcomponent *event : merged->in_order) {
        if (event != nullptr)
            icalcomponent_add_component(calendar, event);
    }
}

int main(int argc, char **argv)
{
    set_libical_error_mode();
    // A file-size limit makes a write fail and be reported, not kill the run.
    signal(SIGXFSZ, SIG_IGN);
    read_join_options(argc, argv);
    icalcomponent *calendar = new_output_calendar(EVJOIN_PRODID);
    if (argc - optind < 2)
        usage();
    merged_events merged;
    for (int i = optind; i < argc - 1; i++) {
        icalcomponent *root = read_input(argv[i]);
        if (htab_needs_init())
            htab_init();
        merge_calendar(root, calendar, &merged);
    }
    add_merged_events(calendar, &merged);
    output_set output = open_output_set(argv[argc - 1]);
    store_output_calendar(&output, calendar);
    return STATUS_DONE;
}
