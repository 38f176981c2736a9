// rule_judge_test.cc: the rule judge against libical, on a seeded sample of
// generated rules. Every rule judged to give no instance must give none over
// 28 years (the Gregorian calendar's weekdays repeat every 28 years within a
// century, so those years hold every kind of month and year), and must keep
// to RFC 5545's grammar of rules; every rule judged invalid must break it,
// which the generator knows from the parts it wrote. The seed is printed;
// EVTOOLS_JUDGE_SEED chooses another, EVTOOLS_JUDGE_RULES a larger sample,
// EVTOOLS_JUDGE_WALKS more of libical's long walks (below).
#include "renderer/rule_verdicts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "renderer/calendar_days.h"
#include "renderer/rule_expansion.h"
#include "shared/libical_facts.h"

namespace {

// libical ends its iterations after its last year: starting 28 years before
// its end bounds them by the 28 years checked. No century year lies between,
// whose missing 29 February would break the cycle.
constexpr int FIRST_YEAR = LIBICAL_LAST_YEAR - 27;

constexpr unsigned DEFAULT_SEED = 20261210;
constexpr long DEFAULT_RULES = 2000;

// Before libical refuses a monthly or yearly rule that has no instance, it
// walks month by month, or year by year, far past its last year, whatever
// the rule's UNTIL: some 1.3 s for a monthly rule, 0.15 s for a yearly one.
// evtable's expansion of them, through libical, walks as far. A run checks
// so many walks of a year (a monthly rule counts twelve) and leaves the
// rest of those rules to a longer run: EVTOOLS_JUDGE_WALKS allows more.
constexpr long DEFAULT_WALKS = 12;

// Every so many rules judged expandable, with no COUNT, UNTIL or INTERVAL
// to end or thin them out, must give an instance in the 28 years. Not those
// with BYSETPOS: the judge bounds the sets it picks from loosely (a monthly
// rule without day lists has one day a month, not 31), and libical counts
// the positions among days, not among the times of those days. Nor yearly
// rules with year days among months or month days, for which libical makes
// no iterator at all (FREQ=YEARLY;BYMONTH=3;BYYEARDAY=60).
constexpr long CONVERSE_EVERY = 5;

struct generated_rule {
    std::string text;
    std::string fault;   // the first part that breaks the grammar; empty when none
};

// The generator draws from the Mersenne twister's own numbers, whose
// sequence the standard fixes: a seed gives the same sample everywhere.
class rule_generator {
public:
    explicit rule_generator(unsigned seed) : numbers(seed) {}

    unsigned below(unsigned n) { return static_cast<unsigned>(numbers() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
    int signed_value(int largest)
    {
        int sign = chance(50) ? 1 : -1;
        return sign * static_cast<int>(1 + below(largest));
    }

    // A value from the odd ones that make rules empty or nearly so, or any.
    int pick(const std::vector<int> &edges, int largest, bool negatives)
    {
        if (chance(50))
            return edges[below(static_cast<unsigned>(edges.size()))];
        return negatives ? signed_value(largest) : static_cast<int>(1 + below(largest));
    }

    generated_rule next();

private:
    std::mt19937 numbers;
    generated_rule rule;

    void part(const char *name, const std::vector<int> &values);
    void breaks(const char *fault)
    {
        if (rule.fault.empty())
            rule.fault = fault;
    }
};

void rule_generator::part(const char *name, const std::vector<int> &values)
{
    rule.text += std::string(";") + name + "=";
    for (size_t i = 0; i < values.size(); i++)
        rule.text += (i > 0 ? "," : "") + std::to_string(values[i]);
}

const char *const FREQUENCIES[] = {"SECONDLY", "MINUTELY", "HOURLY", "DAILY",
                                   "WEEKLY",   "MONTHLY",  "YEARLY"};
// The monthly and yearly rules, whose days the judge models most closely,
// come most often.
const unsigned FREQUENCY_WEIGHTS[] = {5, 5, 8, 14, 13, 25, 30};
const char *const WEEKDAYS[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

generated_rule rule_generator::next()
{
    rule = generated_rule();
    unsigned draw = below(100);
    int freq = 0;
    while (draw >= FREQUENCY_WEIGHTS[freq])
        draw -= FREQUENCY_WEIGHTS[freq++];
    bool yearly = freq == ICAL_YEARLY_RECURRENCE;
    bool monthly = freq == ICAL_MONTHLY_RECURRENCE;
    bool weekly = freq == ICAL_WEEKLY_RECURRENCE;
    rule.text = std::string("FREQ=") + FREQUENCIES[freq];
    if (chance(20))
        rule.text += ";INTERVAL=" + std::to_string(2 + below(3));
    if (chance(3))
        rule.text += ";COUNT=" + std::to_string(1 + below(20));
    else if (chance(3))
        rule.text += ";UNTIL=" + std::to_string(FIRST_YEAR + 1 + below(40)) + "0301T000000";
    if (chance(10))
        rule.text += std::string(";WKST=") + WEEKDAYS[below(7)];
    auto list = [&](auto &&value) {
        std::vector<int> values;
        for (unsigned n = 1 + (chance(30) ? 1 + below(2) : 0); n > 0; n--)
            values.push_back(value());
        return values;
    };
    bool day_lists = false;
    bool time_lists = false;
    // Short months with their last days, where an off-by-one hides.
    bool month_ends = chance(8);
    if (month_ends) {
        const int SHORT_MONTHS[] = {2, 2, 2, 4, 6, 9, 11};
        const int LAST_DAYS[] = {29, 30, 31, -29, -30, -31};
        int month = SHORT_MONTHS[below(7)];
        part("BYMONTH", {month});
        part("BYMONTHDAY", {LAST_DAYS[below(6)]});
        if (weekly)
            breaks("month days in a weekly rule");
        day_lists = true;
    }
    if (!month_ends && chance(40)) {
        bool beyond = chance(2);
        if (beyond)
            breaks("a month beyond 12");
        part("BYMONTH", list([&] {
                 return beyond ? 13 : chance(30) ? 2 : 1 + static_cast<int>(below(12));
             }));
        day_lists = true;
    }
    if (!month_ends && chance(weekly ? 8 : 40)) {
        if (weekly)
            breaks("month days in a weekly rule");
        part("BYMONTHDAY", list([&] {
                 return pick({1, 28, 29, 30, 31, -1, -28, -29, -30, -31}, 31, true);
             }));
        day_lists = true;
    }
    bool year_days_allowed = freq <= ICAL_HOURLY_RECURRENCE || yearly;
    if (chance(year_days_allowed ? 20 : 5)) {
        if (!year_days_allowed)
            breaks("year days in a daily, weekly or monthly rule");
        bool beyond = chance(3);
        if (beyond)
            breaks("a year day beyond 366");
        part("BYYEARDAY", list([&] {
                 return beyond ? (chance(50) ? 367 : -367)
                               : pick({1, 59, 60, 61, 365, 366, -1, -306, -365, -366}, 366, true);
             }));
        day_lists = true;
    }
    bool week_numbers = chance(yearly ? 25 : 4);
    if (week_numbers) {
        if (!yearly)
            breaks("week numbers in a rule that is not yearly");
        bool beyond = chance(3);
        if (beyond)
            breaks("a week number beyond 53");
        part("BYWEEKNO", list([&] {
                 return beyond ? 54 : pick({1, 2, 52, 53, -1, -52, -53}, 53, true);
             }));
        day_lists = true;
    }
    if (chance(45)) {
        bool ordinals_allowed = (monthly || yearly) && !week_numbers;
        unsigned ordinal_chance = monthly || yearly ? 50 : 8;
        rule.text += ";BYDAY=";
        std::vector<int> weekdays = list([&] { return static_cast<int>(below(7)); });
        for (size_t i = 0; i < weekdays.size(); i++) {
            rule.text += i > 0 ? "," : "";
            if (chance(ordinal_chance)) {
                if (!ordinals_allowed)
                    breaks("a weekday with an ordinal where none may be");
                int ordinal = monthly ? pick({1, 4, 5, 6, -1, -5, -6}, 5, true)
                                      : pick({1, 5, 52, 53, -1, -53}, 53, true);
                if (chance(3)) {
                    ordinal = ordinal > 0 ? 54 : -54;
                    breaks("an ordinal beyond 53");
                }
                rule.text += std::to_string(ordinal);
            }
            rule.text += WEEKDAYS[weekdays[i]];
        }
        day_lists = true;
    }
    const struct {
        const char *name;
        unsigned values;
    } TIME_LISTS[] = {{"BYHOUR", 24}, {"BYMINUTE", 60}, {"BYSECOND", 60}};
    for (const auto &field : TIME_LISTS) {
        if (chance(20)) {
            part(field.name, list([&] { return static_cast<int>(below(field.values)); }));
            time_lists = true;
        }
    }
    if (chance(day_lists || time_lists ? 25 : 4)) {
        if (!day_lists && !time_lists)
            breaks("BYSETPOS without another BY list");
        bool beyond = chance(3);
        if (beyond)
            breaks("a set position beyond 366");
        part("BYSETPOS", list([&] {
                 // Mostly near the sizes of the sets of a day or less.
                 return beyond ? 367
                               : pick({1, 2, 2, 3, 3, 4, 5, 8, 25, 366, -1, -2, -2, -3, -6, -366},
                                      chance(60) ? 4 : 366, true);
             }));
    }
    return rule;
}

icaltimetype local_time(int year, int month, int day, int hour, int minute, int second)
{
    icaltimetype t = icaltime_null_time();
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

void clear_list(short *list)
{
    list[0] = ICAL_RECURRENCE_ARRAY_MAX;
}

// The first instance that libical gives for the rule from dtstart, or the
// null time.
icaltimetype first_libical_instance(const icalrecurrencetype &rule, icaltimetype dtstart)
{
    std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)> iterator(
        icalrecur_iterator_new(rule, dtstart), icalrecur_iterator_free);
    return iterator ? icalrecur_iterator_next(iterator.get()) : icaltime_null_time();
}

// Up to `most` instances of the rule as evtable expands it for a period of
// the 28 years from dtstart (from_dtstart: one iteration from DTSTART, the
// way the yearly rules that libical gets wrong are expanded here).
std::vector<icaltimetype> evtable_instances(const icalrecurrencetype &rule, icaltimetype dtstart,
                                            bool from_dtstart, long most)
{
    rule_instances instances;
    start_rule_instances(&instances, rule, dtstart, dtstart,
                         local_time(LIBICAL_LAST_YEAR, 12, 31, 23, 59, 59), 0, from_dtstart,
                         100000, 1e7);
    std::vector<icaltimetype> found;
    for (long i = 0; i < most; i++) {
        icaltimetype instance = next_rule_instance(&instances);
        if (icaltime_is_null_time(instance))
            break;
        found.push_back(instance);
    }
    return found;
}

// The step of a rule's frequency that an instance falls in, as a number:
// BYSETPOS picks from the instances of one step.
long long step_of(const icalrecurrencetype &rule, icaltimetype t)
{
    long long day = day_number(t);
    switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE: return ((day * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
    case ICAL_MINUTELY_RECURRENCE: return (day * 24 + t.hour) * 60 + t.minute;
    case ICAL_HOURLY_RECURRENCE: return day * 24 + t.hour;
    case ICAL_WEEKLY_RECURRENCE: {
        int week_start = rule.week_start != ICAL_NO_WEEKDAY ? rule.week_start : ICAL_MONDAY_WEEKDAY;
        return day - (civil_day_of(day).weekday - week_start + 7) % 7;
    }
    default: return day;
    }
}

template <size_t N> void fill_when_empty(short (&list)[N], int first, int last)
{
    if (list_length(list) > 0)
        return;
    for (int value = first; value <= last; value++)
        list[value - first] = static_cast<short>(value);
    list[last - first + 1] = ICAL_RECURRENCE_ARRAY_MAX;
}

// A yearly rule: a monthly one with its months (all of them for none), in
// which ordinals still count in the month; every weekday among every month
// day where the rule has no such lists.
icalrecurrencetype with_every_day(icalrecurrencetype rule)
{
    if (rule.freq == ICAL_MONTHLY_RECURRENCE)
        fill_when_empty(rule.by_month, 1, 12);
    rule.freq = ICAL_YEARLY_RECURRENCE;
    fill_when_empty(rule.by_month_day, 1, 31);
    fill_when_empty(rule.by_day, ICAL_SUNDAY_WEEKDAY, ICAL_SATURDAY_WEEKDAY);
    return rule;
}

struct sample_counts {
    std::map<rule_verdict, long> verdicts;
    long refused = 0;          // rules libical's parser does not take
    long by_libical = 0;       // empty rules checked with libical's iterator
    long by_expansion = 0;     // ... as evtable expands them
    long by_set_sizes = 0;     // ... by the sizes of the sets BYSETPOS picks from
    long walks_left = 0;       // years that libical may still walk through
    long left = 0;             // empty rules left to a longer run
    long converse = 0;         // expandable rules that gave an instance
};

// A rule judged to give no instance gives none in 28 years.
void check_gives_none(const icalrecurrencetype &rule, icaltimetype dtstart, sample_counts *counts)
{
    icalrecurrencetype bounded = rule;
    bounded.count = 0;
    bounded.until = local_time(LIBICAL_LAST_YEAR, 12, 31, 23, 59, 59);
    bounded.interval = 1;   // every step, not some of them: a stronger check
    // libical gets yearly rules with week numbers, or with weekdays among
    // month days, wrong: evtable expands those itself, a year at a time.
    if (rule.freq == ICAL_YEARLY_RECURRENCE &&
        (list_length(rule.by_week_no) > 0 ||
         (list_length(rule.by_day) > 0 && list_length(rule.by_month_day) > 0))) {
        counts->by_expansion++;
        std::vector<icaltimetype> found = evtable_instances(bounded, dtstart, true, 1);
        EXPECT_TRUE(found.empty()) << "first instance " << icaltime_as_ical_string(found[0]);
        return;
    }
    if (rule.freq >= ICAL_MONTHLY_RECURRENCE && counts->walks_left <= 0) {
        // Past the walks allowed, yearly rules, and monthly ones without
        // BYSETPOS taken as yearly ones with their months, go to that
        // expansion with every weekday among every month day added: those
        // pick the same days as the rule's lists, or more where the rule
        // would take DTSTART's day.
        bool as_yearly = rule.freq == ICAL_YEARLY_RECURRENCE ||
                         (list_length(rule.by_set_pos) == 0 &&
                          list_length(rule.by_year_day) + list_length(rule.by_week_no) == 0);
        if (!as_yearly) {
            counts->left++;
            return;
        }
        counts->by_expansion++;
        std::vector<icaltimetype> found =
            evtable_instances(with_every_day(bounded), dtstart, true, 1);
        EXPECT_TRUE(found.empty()) << "first instance " << icaltime_as_ical_string(found[0]);
        return;
    }
    if (rule.freq >= ICAL_MONTHLY_RECURRENCE)
        counts->walks_left -= rule.freq == ICAL_MONTHLY_RECURRENCE ? 12 : 1;
    // Below monthly rules libical ignores BYSETPOS and gives the whole sets.
    // When the positions alone make the rule empty, the sets evtable expands
    // without them must be smaller than every position. Sets of one step
    // have the same shape from step to step, but for weeks that month lists
    // cut, which the first instances include.
    icalrecurrencetype whole_sets = bounded;
    clear_list(whole_sets.by_set_pos);
    if (rule.freq <= ICAL_WEEKLY_RECURRENCE && list_length(rule.by_set_pos) > 0 &&
        judge_rule(whole_sets) == RULE_EXPANDABLE) {
        counts->by_set_sizes++;
        // A step of a day or less lies within one day, which the day lists
        // take or leave whole: without them the sets are the same, and the
        // first of them near. A set holds each time once: libical gives
        // DTSTART twice for FREQ=SECONDLY;BYSECOND=42,22 from 09:55:22.
        if (rule.freq <= ICAL_DAILY_RECURRENCE) {
            clear_list(whole_sets.by_month);
            clear_list(whole_sets.by_month_day);
            clear_list(whole_sets.by_year_day);
            clear_list(whole_sets.by_day);
        }
        std::map<long long, std::set<std::string>> sets;
        size_t largest = 0;
        for (icaltimetype t : evtable_instances(whole_sets, dtstart, false, 300)) {
            std::set<std::string> &set = sets[step_of(rule, t)];
            set.insert(icaltime_as_ical_string(t));
            largest = std::max(largest, set.size());
        }
        for (long i = 0; i < list_length(rule.by_set_pos); i++)
            EXPECT_GT(static_cast<size_t>(std::abs(rule.by_set_pos[i])), largest)
                << "a set holds " << largest;
        return;
    }
    // Rules of a day or less pick their days with the same tests whatever
    // their step: one step a day, at one hour, visits every day of the 28
    // years in some 10,000 steps, where every second would take hundreds of
    // millions.
    if (rule.freq <= ICAL_DAILY_RECURRENCE) {
        int hour = list_length(rule.by_hour) > 0 ? rule.by_hour[0] : dtstart.hour;
        bounded.freq = rule.freq == ICAL_DAILY_RECURRENCE ? ICAL_DAILY_RECURRENCE
                                                          : ICAL_HOURLY_RECURRENCE;
        clear_list(bounded.by_hour);
        clear_list(bounded.by_minute);
        clear_list(bounded.by_second);
        clear_list(bounded.by_set_pos);
        if (bounded.freq == ICAL_HOURLY_RECURRENCE) {
            bounded.by_hour[0] = static_cast<short>(hour);
            bounded.by_hour[1] = ICAL_RECURRENCE_ARRAY_MAX;
        }
    }
    counts->by_libical++;
    icaltimetype first = first_libical_instance(bounded, dtstart);
    EXPECT_TRUE(icaltime_is_null_time(first)) << "libical gives " << icaltime_as_ical_string(first);
}

long environment_number(const char *name, long fallback)
{
    const char *text = getenv(name);
    return text != nullptr && *text != '\0' ? strtol(text, nullptr, 10) : fallback;
}

}  // namespace

TEST(judge_rule, agrees_with_libical_on_a_sample)
{
    unsigned seed = static_cast<unsigned>(environment_number("EVTOOLS_JUDGE_SEED", DEFAULT_SEED));
    long rules = environment_number("EVTOOLS_JUDGE_RULES", DEFAULT_RULES);
    long walks = environment_number("EVTOOLS_JUDGE_WALKS", DEFAULT_WALKS);
    printf("rule judge sample: seed %u, %ld rules, %ld years of libical's walks "
           "(EVTOOLS_JUDGE_SEED, EVTOOLS_JUDGE_RULES, EVTOOLS_JUDGE_WALKS)\n",
           seed, rules, walks);
    rule_generator generator(seed);
    sample_counts counts;
    counts.walks_left = walks;
    long expandable = 0;
    for (long n = 0; n < rules; n++) {
        generated_rule generated = generator.next();
        icalrecurrencetype rule = icalrecurrencetype_from_string(generated.text.c_str());
        icalerrno = ICAL_NO_ERROR;
        if (rule.freq == ICAL_NO_RECURRENCE) {
            counts.refused++;
            continue;
        }
        SCOPED_TRACE("rule " + std::to_string(n) + " of seed " + std::to_string(seed) + ": " +
                     generated.text);
        int hour = static_cast<int>(generator.below(24));
        int minute = static_cast<int>(generator.below(60));
        int second = static_cast<int>(generator.below(60));
        icaltimetype dtstart = local_time(FIRST_YEAR, 1, 1, hour, minute, second);
        rule_verdict verdict = judge_rule(rule);
        counts.verdicts[verdict]++;
        switch (verdict) {
        case RULE_INVALID:
            EXPECT_NE("", generated.fault) << "judged invalid, yet it keeps to the grammar";
            break;
        case RULE_NEVER_MATCHES:
            EXPECT_EQ("", generated.fault) << "judged empty, yet it is not valid";
            check_gives_none(rule, dtstart, &counts);
            break;
        case RULE_EXPANDABLE:
            if (generated.fault.empty() && rule.count == 0 && icaltime_is_null_time(rule.until) &&
                rule.interval == 1 && list_length(rule.by_set_pos) == 0 &&
                !(rule.freq == ICAL_YEARLY_RECURRENCE && list_length(rule.by_year_day) > 0 &&
                  list_length(rule.by_month) + list_length(rule.by_month_day) > 0) &&
                ++expandable % CONVERSE_EVERY == 0) {
                counts.converse++;
                EXPECT_FALSE(evtable_instances(rule, dtstart, false, 1).empty())
                    << "judged expandable, yet it gives no instance";
            }
            break;
        default:
            break;
        }
    }
    printf("verdicts: %ld expandable, %ld empty, %ld invalid, %ld unsupported; %ld refused by "
           "libical's parser\n",
           counts.verdicts[RULE_EXPANDABLE], counts.verdicts[RULE_NEVER_MATCHES],
           counts.verdicts[RULE_INVALID], counts.verdicts[RULE_UNSUPPORTED], counts.refused);
    printf("empty rules checked: %ld with libical, %ld as evtable expands them, %ld by set "
           "sizes, %ld left to a longer run; %ld expandable rules gave an instance\n",
           counts.by_libical, counts.by_expansion, counts.by_set_sizes, counts.left,
           counts.converse);
    // A sample that judged nothing empty or invalid checked nothing.
    EXPECT_GT(counts.verdicts[RULE_NEVER_MATCHES], rules / 50);
    EXPECT_GT(counts.verdicts[RULE_INVALID], rules / 100);
}
