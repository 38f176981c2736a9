// event_selection.h: which VEVENTs a run handles, by class, categories and
// the words of their texts.
#pragma once

#include <regex.h>
#include <vector>

#include <libical/ical.h>

/// What the selection options asked for, each option as often as it was
/// given; an empty list asks nothing. An empty text is a value like any other.
struct event_selection {
    std::vector<const char *> classes{};          // -p: the class is one of them
    std::vector<const char *> not_classes{};      // -P: the class is none of them
    std::vector<const char *> categories{};       // -c: a category is one of them
    std::vector<const char *> not_categories{};   // -C: no category is one of them
    std::vector<const regex_t *> patterns{};      // --match: one matches a text
    std::vector<const regex_t *> not_patterns{};  // --not-match: none matches a text
};

/// Reads a CLASS property's value as text; may give null.
using class_text_reader = const char *(*)(const icalproperty *);

/// evtable's reader: icalproperty_get_value_as_string.
const char *evtable_class_text(const icalproperty *property);
/// evsift's reader: icalvalue_as_ical_string of icalproperty_get_value.
const char *evsift_class_text(const icalproperty *property);

/// The pattern of a --match or --not-match option, compiled by regcomp as a
/// POSIX extended expression that ignores letter case. An incorrect one
/// ends the run with status 2 and "program: incorrect pattern 'pattern':
/// regerror's text". The caller may free it with regfree and delete.
regex_t *compile_text_pattern(const char *program, const char *pattern);

/// True when the event passes every criterion that is present: its class
/// (the first CLASS, or default_class without one) is one of classes and
/// none of not_classes; one of its categories is one of categories and none
/// is one of not_categories; one of its SUMMARY, DESCRIPTION and LOCATION
/// texts (unescaped, as bytes) matches one of patterns and none matches one
/// of not_patterns. Class and category texts are compared with strcasecmp;
/// a property for which libical gives no text compares as the empty text.
/// The patterns are tried last, as they cost the most.
bool select_event(icalcomponent *event, const event_selection *selection,
                  const char *default_class, class_text_reader read_class);
