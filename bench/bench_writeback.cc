// bench_writeback: the parse and write-back floor. Parses the inputs and
// writes their time zones and events to the output through a file set, in a
// new VCALENDAR, as evsift and evjoin do.
//
//   bench_writeback [-c CATEGORY] [-j] output input...
//
// -c keeps only the events with that category (letter case ignored), so that
// the floor writes the events that evsift -c writes. -j keeps what evjoin
// keeps: the first time zone of each TZID, one event per UID (the later
// LAST-MODIFIED, the first one read on a tie) and one overriding instance
// per UID and RECURRENCE-ID.
#include <cstring>
#include <set>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "bench/floor_input.h"

#include <libical/icalss.h>

struct writeback_options {
    const char *category = nullptr;
    bool join = false;
    const char *output = nullptr;
    std::vector<const char *> inputs;
};

static writeback_options read_options(int argc, char **argv)
{
    writeback_options options;
    int index = 1;
    for (; index < argc && argv[index][0] == '-'; index++) {
        if (strcmp(argv[index], "-c") == 0 && index + 1 < argc)
            options.category = argv[++index];
        else if (strcmp(argv[index], "-j") == 0)
            options.join = true;
        else
            break;
    }
    if (argc - index < 2) {
        fputs("usage: bench_writeback [-c category] [-j] output input...\n", stderr);
        exit(2);
    }
    options.output = argv[index++];
    for (; index < argc; index++)
        options.inputs.push_back(argv[index]);
    return options;
}

static bool has_category(icalcomponent *event, const char *category)
{
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_CATEGORIES_PROPERTY);
         p != nullptr; p = icalcomponent_get_next_property(event, ICAL_CATEGORIES_PROPERTY)) {
        const char *text = icalproperty_get_categories(p);
        if (text != nullptr && strcasecmp(text, category) == 0)
            return true;
    }
    return false;
}

static bool is_later_modified(icalcomponent *standing, icalcomponent *event)
{
    icalproperty *old_stamp = icalcomponent_get_first_property(standing, ICAL_LASTMODIFIED_PROPERTY);
    icalproperty *new_stamp = icalcomponent_get_first_property(event, ICAL_LASTMODIFIED_PROPERTY);
    return old_stamp != nullptr && new_stamp != nullptr &&
           icaltime_compare(icalproperty_get_lastmodified(old_stamp),
                            icalproperty_get_lastmodified(new_stamp)) < 0;
}

struct kept_components {
    std::vector<icalcomponent *> in_order;           // a replaced event leaves a null
    std::set<std::string> zone_ids;
    std::unordered_map<std::string, size_t> uid_place;
};

// Decides on one child taken from the front of a parsed tree; what is not
// kept is freed.
static void keep_or_free(icalcomponent *child, const writeback_options &options,
                         kept_components *kept)
{
    icalcomponent_kind kind = icalcomponent_isa(child);
    if (kind == ICAL_VTIMEZONE_COMPONENT) {
        icalproperty *tzid_property = icalcomponent_get_first_property(child, ICAL_TZID_PROPERTY);
        const char *tzid = tzid_property != nullptr ? icalproperty_get_tzid(tzid_property) : nullptr;
        if (!options.join || (tzid != nullptr && kept->zone_ids.insert(tzid).second)) {
            kept->in_order.push_back(child);
            return;
        }
    } else if (kind == ICAL_VEVENT_COMPONENT) {
        if (options.category != nullptr && !has_category(child, options.category)) {
            icalcomponent_free(child);
            return;
        }
        const char *uid = icalcomponent_get_uid(child);
        if (!options.join) {
            kept->in_order.push_back(child);
            return;
        }
        if (uid != nullptr) {
            // An overriding instance is one per UID and instance, as written.
            std::string key = uid;
            icalproperty *instance = icalcomponent_get_first_property(child, ICAL_RECURRENCEID_PROPERTY);
            if (instance != nullptr) {
                const char *written = icalproperty_get_value_as_string(instance);
                icalparameter *zone = icalproperty_get_first_parameter(instance, ICAL_TZID_PARAMETER);
                key += std::string("\n") + (written != nullptr ? written : "") + "\n" +
                       (zone != nullptr ? icalparameter_get_tzid(zone) : "");
            }
            auto found = kept->uid_place.emplace(key, kept->in_order.size());
            if (found.second) {
                kept->in_order.push_back(child);
                return;
            }
            icalcomponent *&standing = kept->in_order[found.first->second];
            if (is_later_modified(standing, child)) {
                icalcomponent_free(standing);
                standing = nullptr;
                found.first->second = kept->in_order.size();
                kept->in_order.push_back(child);
                return;
            }
        }
    }
    icalcomponent_free(child);
}

int main(int argc, char **argv)
{
    icalerror_set_errors_are_fatal(0);
    writeback_options options = read_options(argc, argv);
    kept_components kept;
    for (const char *path : options.inputs) {
        icalcomponent *root = parse_floor_file(path);
        icalcomponent *holder = root;
        if (icalcomponent_isa(root) == ICAL_XROOT_COMPONENT)
            holder = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT);
        // Children are taken from the front: libical's removal searches the
        // list from its head, so this stays linear.
        while (icalcomponent *child = icalcomponent_get_first_component(holder, ICAL_ANY_COMPONENT)) {
            icalcomponent_remove_component(holder, child);
            keep_or_free(child, options, &kept);
        }
        icalcomponent_free(root);
    }

    icalcomponent *calendar = icalcomponent_vanew(
        ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
        icalproperty_new_prodid("-//Example//NONSGML bench floor//EN"), nullptr);
    for (icalcomponent *component : kept.in_order) {
        if (component != nullptr)
            icalcomponent_add_component(calendar, component);
    }
    unlink(options.output);
    icalset *set = icalfileset_new(options.output);
    if (set == nullptr) {
        perror(options.output);
        return 5;
    }
    icalfileset_add_component(set, calendar);
    if (icalfileset_commit(set) != ICAL_NO_ERROR) {
        fprintf(stderr, "%s: commit failed\n", options.output);
        return 5;
    }
    icalfileset_free(set);
    return 0;
}
