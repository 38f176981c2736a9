// rule_verdicts.h: whether a rule can be expanded at all, judged before any
// expansion: libical's iterator searches up to its last year for a rule
// that never gives an instance, step by step.
#pragma once

#include <libical/ical.h>

/// How a rule can be expanded.
enum rule_verdict {
    RULE_EXPANDABLE,
    RULE_NEVER_MATCHES,   // no day, or no set position, can ever give an instance
    RULE_UNSUPPORTED,     // picks days of a calendar other than the Gregorian one
                          // while stepping through days or less
    RULE_INVALID,         // gives no instance, and breaks RFC 5545's grammar of
                          // rules: the fault is the rule's, not the calendar's
};

rule_verdict judge_rule(const icalrecurrencetype &rule);

/// What a warning says of a rule dropped with this verdict: "never gives an
/// instance", "is not supported" or "is not valid".
const char *verdict_reason(rule_verdict verdict);
