// event_selection.h: which VEVENTs a run handles, by class and categories.
#pragma once

#include <libical/ical.h>

/// Four optional texts (null: absent); an empty text is present.
struct event_selection {
    const char *class_;
    const char *not_class;
    const char *category;
    const char *not_category;
};

/// Reads a CLASS property's value as text; may give null.
using class_text_reader = const char *(*)(const icalproperty *);

/// evtable's reader: icalproperty_get_value_as_string.
const char *evtable_class_text(const icalproperty *property);
/// evsift's reader: icalvalue_as_ical_string of icalproperty_get_value.
const char *evsift_class_text(const icalproperty *property);

/// True when the event passes every criterion that is present. Class and
/// category texts are compared with strcasecmp; a property for which libical
/// gives no text compares as the empty text.
bool select_event(icalcomponent *event, const event_selection *selection,
                  const char *default_class, class_text_reader read_class);
