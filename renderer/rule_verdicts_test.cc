// rule_verdicts_test.cc: rules that can never give an instance, and the days
// that a rule's lists allow.
#include "renderer/rule_verdicts.h"

#include <string>

#include <gtest/gtest.h>

#include "renderer/calendar_days.h"
#include "renderer/rule_days.h"

namespace {

struct verdict_case {
    const char *rule;
    rule_verdict verdict;
};

const verdict_case VERDICT_CASES[] = {
    // February has no 30th: libical searches minute by minute for ever.
    {"FREQ=MINUTELY;BYMONTH=2;BYMONTHDAY=30", RULE_NEVER_MATCHES},
    {"FREQ=HOURLY;BYMONTH=4,6,9,11;BYMONTHDAY=31", RULE_NEVER_MATCHES},
    {"FREQ=MINUTELY;BYMONTH=2;BYMONTHDAY=29", RULE_EXPANDABLE},
    // libical never matches month and year days from the end for rules of
    // a day or less, nor a weekday with an ordinal.
    {"FREQ=HOURLY;BYMONTHDAY=-1", RULE_EXPANDABLE},
    {"FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=-30", RULE_NEVER_MATCHES},
    {"FREQ=DAILY;BYMONTH=2;BYMONTHDAY=-29", RULE_EXPANDABLE},
    {"FREQ=HOURLY;BYMONTHDAY=-1,15", RULE_EXPANDABLE},
    {"FREQ=SECONDLY;BYYEARDAY=-1", RULE_EXPANDABLE},
    {"FREQ=SECONDLY;BYYEARDAY=-367", RULE_INVALID},   // out of range
    {"FREQ=DAILY;BYDAY=1MO", RULE_INVALID},   // ordinals are for monthly and yearly rules
    {"FREQ=DAILY;BYDAY=MO,1TU", RULE_EXPANDABLE},
    // Day 366 is the 31st of December of a leap year.
    {"FREQ=SECONDLY;BYYEARDAY=366;BYMONTH=1", RULE_NEVER_MATCHES},
    {"FREQ=SECONDLY;BYYEARDAY=366;BYMONTH=12;BYMONTHDAY=31", RULE_EXPANDABLE},
    {"FREQ=HOURLY;BYYEARDAY=60;BYMONTH=3;BYMONTHDAY=1", RULE_EXPANDABLE},
    {"FREQ=HOURLY;BYYEARDAY=60;BYMONTH=3;BYMONTHDAY=2", RULE_NEVER_MATCHES},
    {"FREQ=MONTHLY;BYMONTH=2;BYMONTHDAY=30", RULE_NEVER_MATCHES},
    {"FREQ=MONTHLY;BYMONTH=4,6;BYMONTHDAY=-31", RULE_NEVER_MATCHES},
    {"FREQ=MONTHLY;BYMONTHDAY=-1", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29", RULE_EXPANDABLE},
    // A set of at most one Monday a week, of one instance a day.
    {"FREQ=WEEKLY;BYDAY=MO;BYSETPOS=8", RULE_NEVER_MATCHES},
    // BYSETPOS needs another BY list to pick from.
    {"FREQ=DAILY;BYSETPOS=2", RULE_INVALID},
    {"FREQ=HOURLY;BYMINUTE=0;BYSETPOS=2", RULE_NEVER_MATCHES},
    {"FREQ=DAILY;BYHOUR=9,17;BYSETPOS=-2", RULE_EXPANDABLE},
    {"FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", RULE_EXPANDABLE},
    // libical searches up to its last year before it refuses these: a
    // second for each.
    {"FREQ=MONTHLY;BYDAY=-6FR", RULE_NEVER_MATCHES},
    {"FREQ=MONTHLY;BYDAY=5FR;BYMONTHDAY=1", RULE_NEVER_MATCHES},
    {"FREQ=MONTHLY;BYMONTHDAY=-1;BYDAY=1MO", RULE_NEVER_MATCHES},
    {"FREQ=MONTHLY;BYDAY=1MO;BYSETPOS=5", RULE_NEVER_MATCHES},
    {"FREQ=YEARLY;BYMONTH=3;BYDAY=6MO", RULE_NEVER_MATCHES},
    {"FREQ=YEARLY;BYDAY=54MO", RULE_INVALID},
    {"FREQ=MONTHLY;BYDAY=-6FR,MO", RULE_EXPANDABLE},
    {"FREQ=MONTHLY;BYMONTHDAY=31;BYDAY=5MO", RULE_EXPANDABLE},
    {"FREQ=MONTHLY;BYDAY=5FR;BYMONTH=2", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29;BYDAY=MO;BYSETPOS=1", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYDAY=53FR", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYWEEKNO=53;BYDAY=TH", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYWEEKNO=-1;BYMONTH=1", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYWEEKNO=20;BYMONTH=1", RULE_NEVER_MATCHES},
    {"FREQ=YEARLY;BYYEARDAY=-366;BYDAY=MO", RULE_EXPANDABLE},
    {"RSCALE=HEBREW;FREQ=HOURLY;BYMONTH=5L", RULE_UNSUPPORTED},
    // Week numbers are expanded here, with or without other lists of days.
    {"FREQ=YEARLY;BYWEEKNO=20", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYWEEKNO=-53;BYHOUR=9", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYWEEKNO=54", RULE_INVALID},
    {"FREQ=YEARLY;BYWEEKNO=20;BYMONTH=1;BYDAY=1MO", RULE_INVALID},
    {"FREQ=YEARLY;BYWEEKNO=20;BYDAY=MO", RULE_EXPANDABLE},
    {"FREQ=YEARLY;BYWEEKNO=20;BYMONTH=5", RULE_EXPANDABLE},
    {"RSCALE=HEBREW;FREQ=YEARLY;BYMONTH=5L", RULE_EXPANDABLE},
    {"FREQ=SECONDLY", RULE_EXPANDABLE},
    // Rules that break the grammar but give instances keep their verdict;
    // those that give none are invalid rather than empty.
    {"FREQ=DAILY;BYDAY=MO,1TU", RULE_EXPANDABLE},
    {"FREQ=WEEKLY;BYMONTHDAY=3", RULE_EXPANDABLE},
    {"FREQ=MONTHLY;BYMONTH=13;BYMONTHDAY=1", RULE_INVALID},
    {"FREQ=WEEKLY;BYMONTHDAY=31;BYMONTH=2", RULE_EXPANDABLE},
    {"FREQ=MONTHLY;BYMONTHDAY=31;BYMONTH=2;BYSETPOS=367", RULE_INVALID},
    {"FREQ=DAILY;BYYEARDAY=3;BYMONTH=2", RULE_INVALID},
};

}  // namespace

TEST(judge_rule, table)
{
    for (const verdict_case &c : VERDICT_CASES) {
        SCOPED_TRACE(c.rule);
        icalrecurrencetype rule = icalrecurrencetype_from_string(c.rule);
        EXPECT_EQ(c.verdict, judge_rule(rule));
        free(rule.rscale);
    }
}

namespace {

struct filter_case {
    const char *rule;
    const char *date;
    bool passes;
};

const filter_case FILTER_CASES[] = {
    {"FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=29", "20040229", true},
    {"FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=29", "20040228", false},
    {"FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=29", "20040329", false},
    {"FREQ=MINUTELY;BYDAY=MO,WE", "20021007", true},     // a Monday
    {"FREQ=MINUTELY;BYDAY=MO,WE", "20021008", false},
    {"FREQ=MINUTELY;BYDAY=1MO", "20021007", false},      // an ordinal never matches
    {"FREQ=SECONDLY;BYYEARDAY=300", "20021027", true},   // day 300 of 2002
    {"FREQ=SECONDLY;BYYEARDAY=300", "20041026", true},   // of a leap year
    {"FREQ=SECONDLY;BYYEARDAY=300", "20041027", false},
    {"FREQ=HOURLY;BYMONTHDAY=-1", "20021031", true},     // counted from the end
    {"FREQ=HOURLY;BYMONTHDAY=-1", "20021030", false},
    {"FREQ=HOURLY;BYMONTHDAY=-1", "20040229", true},
    {"FREQ=HOURLY;BYMONTHDAY=-2", "20030227", true},
    {"FREQ=HOURLY;BYMONTHDAY=5,-5", "20021027", true},
    {"FREQ=HOURLY;BYMONTHDAY=5,-5", "20021026", false},
    {"FREQ=DAILY;BYYEARDAY=-1", "20041231", true},
    {"FREQ=DAILY;BYYEARDAY=-366", "20040101", true},
    {"FREQ=DAILY;BYYEARDAY=-366", "20030101", false},
    {"FREQ=HOURLY", "20021031", true},
};

}  // namespace

TEST(day_passes, table)
{
    for (const filter_case &c : FILTER_CASES) {
        SCOPED_TRACE(std::string(c.rule) + " on " + c.date);
        icaltimetype date = icaltime_from_string(c.date);
        EXPECT_EQ(c.passes,
                  day_passes(filter_of(icalrecurrencetype_from_string(c.rule)), day_number(date)));
    }
}

