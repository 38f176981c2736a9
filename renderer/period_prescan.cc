// period_prescan.cc: one pass over the calendar text, line by line as
// libical's parser unfolds it, that judges each VEVENT of a VCALENDAR from
// its DTSTART, DTEND, DURATION, RRULE, RDATE, RECURRENCE-ID and UID.
#include "renderer/period_prescan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include <sys/stat.h>

#include "renderer/calendar_days.h"
#include "renderer/rule_verdicts.h"
#include "shared/libical_facts.h"
#include "shared/value_lists.h"

namespace {

// A time's fields as seconds since 1970: zones are not looked up here, so
// every comparison leaves room for the largest offset a zone can have.
using field_seconds = long long;

constexpr field_seconds DAY = 86400;

// A time before a VTIMEZONE's first observance takes that observance's
// offset: whole days of the largest offset cover the distance between any
// time's fields and its instant.
constexpr field_seconds MARGIN = (MAX_ZONE_OFFSET_SECONDS + DAY - 1) / DAY * DAY;
static_assert(MARGIN == 5 * DAY, "five days of margin");

// A series with more added dates or counted instances than this is left
// to the parse, whose limits on instances may end it with a note.
constexpr long MANY_INSTANCES = 1000;

// Nesting deeper than this goes to the parse whole, for its messages.
constexpr size_t MAX_SCANNED_DEPTH = 64;

// Longer spans than this (ten years) are left to the parse: libical's
// arithmetic on them may wrap.
constexpr field_seconds LONGEST_SPAN = 3660 * DAY;

struct parsed_time {
    bool valid;
    bool is_date;
    field_seconds fields;
};

// What one VEVENT's lines said.
struct event_facts {
    size_t begin;             // offset of its BEGIN line
    bool unsure;              // something was not understood: keep it
    int dtstarts, dtends, durations, rrules, uids, recurrence_ids;
    parsed_time dtstart, dtend;
    field_seconds duration;   // of DURATION
    std::string rrule;        // the RRULE's value
    bool has_uid_text;
    std::string uid;          // the UID without backslashes
    std::vector<parsed_time> rdate_starts;
    std::vector<field_seconds> rdate_lengths;   // -1: the event's own length
};

struct window {
    field_seconds low;    // the first shown day, less the margin
    field_seconds high;   // the end of the last shown day, plus the margin
};

// A logical line: physical lines begin to end, the first one's content
// ending at first_end (its LF, or the end of the text).
struct logical_line {
    size_t begin;
    size_t first_end;
    size_t end;
    bool folded;
};

struct scanner {
    const char *text;
    size_t length;
    size_t next;   // where the next logical line starts
    bool broken;   // folding that the scan does not follow exactly
};

}  // namespace

static bool is_space(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next logical line. libical's parser joins a physical line to the line
// before when it starts with a space or tab and the line before, as joined so
// far, holds two bytes or more with its LF; it drops that LF, a CR before it
// and the space or tab. A joined piece with nothing between its first byte
// and its LF leaves a line whose end the scan would have to track back: such
// a text is marked broken and goes to the parse whole.
static bool next_line(scanner *s, logical_line *line)
{
    if (s->next >= s->length)
        return false;
    const char *text = s->text;
    line->begin = s->next;
    const void *lf = memchr(text + s->next, '\n', s->length - s->next);
    size_t end = lf != nullptr ? static_cast<const char *>(lf) - text : s->length;
    line->first_end = end;
    line->folded = false;
    bool joinable = lf != nullptr && end - line->begin >= 1;
    while (joinable && end + 1 < s->length && (text[end + 1] == ' ' || text[end + 1] == '\t')) {
        size_t piece = end + 1;
        lf = memchr(text + piece, '\n', s->length - piece);
        end = lf != nullptr ? static_cast<const char *>(lf) - text : s->length;
        if (end - piece < 2 && lf != nullptr)
            s->broken = true;
        line->folded = true;
        joinable = lf != nullptr;
    }
    line->end = end < s->length ? end + 1 : end;
    s->next = line->end;
    return true;
}

// The line as the parser gives it: joined, without its line end, and
// without the spaces at its end.
static void unfold(const scanner &s, const logical_line &line, std::string *out)
{
    out->clear();
    size_t p = line.begin;
    for (;;) {
        const void *lf = memchr(s.text + p, '\n', line.end - p);
        size_t end = lf != nullptr ? static_cast<const char *>(lf) - s.text : line.end;
        out->append(s.text + p, end - p);
        if (lf == nullptr || end + 1 >= line.end)
            break;
        if (!out->empty() && out->back() == '\r')
            out->pop_back();
        p = end + 2;
    }
    if (!out->empty() && out->back() == '\r' && line.end > line.begin &&
        s.text[line.end - 1] == '\n')
        out->pop_back();
    while (out->size() > 1 && is_space(static_cast<unsigned char>(out->back())))
        out->pop_back();
}

static bool equals_upper(std::string_view text, std::string_view upper)
{
    if (text.size() != upper.size())
        return false;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upper[i])
            return false;
    }
    return true;
}

static int digits_value(std::string_view text, size_t at, size_t count, bool *ok)
{
    int value = 0;
    for (size_t i = at; i < at + count; i++) {
        if (text[i] < '0' || text[i] > '9') {
            *ok = false;
            return 0;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// A DATE (YYYYMMDD) or DATE-TIME (YYYYMMDDTHHMMSS, perhaps with Z) of a
// real day and time.
static parsed_time parse_time(std::string_view text)
{
    parsed_time t{false, false, 0};
    if (text.size() != 8 && text.size() != 15 && !(text.size() == 16 && text[15] == 'Z'))
        return t;
    bool ok = true;
    int year = digits_value(text, 0, 4, &ok);
    int month = digits_value(text, 4, 2, &ok);
    int day = digits_value(text, 6, 2, &ok);
    if (!ok || year < 1 || month < 1 || month > 12 || day < 1 ||
        day > icaltime_days_in_month(month, year))
        return t;
    t.fields = day_number(year, month, day) * DAY;
    t.is_date = text.size() == 8;
    if (!t.is_date) {
        int hour = digits_value(text, 9, 2, &ok);
        int minute = digits_value(text, 11, 2, &ok);
        int second = digits_value(text, 13, 2, &ok);
        if (!ok || text[8] != 'T' || hour > 23 || minute > 59 || second > 60)
            return t;
        t.fields += hour * 3600 + minute * 60 + second;
    }
    t.valid = true;
    return t;
}

// A DURATION value as libical reads it, in seconds; -1 for one that is
// negative, unreadable or too long to be sure of.
static field_seconds parse_duration(const std::string &text)
{
    if (text.empty() || text.size() > 24)
        return -1;
    icaldurationtype d = icaldurationtype_from_string(text.c_str());
    if (icaldurationtype_is_bad_duration(d) || d.is_neg)
        return -1;
    field_seconds seconds = static_cast<field_seconds>(d.weeks) * 7 * DAY +
                            static_cast<field_seconds>(d.days) * DAY + d.hours * 3600LL +
                            d.minutes * 60LL + d.seconds;
    if (seconds > LONGEST_SPAN)
        return -1;
    return seconds;
}

// The parameters of a property line, between its name and its value.
struct line_parameters {
    bool readable;
    bool has_value;
    std::string_view value;   // of VALUE
    bool has_range;
};

// Reads "NAME;P=V;P="V":value" from after the name; sets *value_at to the
// value's first byte. Parameter values are plain or quoted without quotes
// inside; anything else is unreadable.
static line_parameters read_parameters(std::string_view line, size_t name_end, size_t *value_at)
{
    line_parameters p{true, false, {}, false};
    size_t i = name_end;
    while (i < line.size() && line[i] == ';') {
        size_t name_start = ++i;
        while (i < line.size() && line[i] != '=' && line[i] != ';' && line[i] != ':' &&
               line[i] != '"')
            i++;
        if (i >= line.size() || line[i] != '=') {
            p.readable = false;
            return p;
        }
        std::string_view name = line.substr(name_start, i - name_start);
        size_t value_start = ++i;
        for (;;) {
            if (i < line.size() && line[i] == '"') {
                size_t close = line.find('"', i + 1);
                if (close == std::string_view::npos) {
                    p.readable = false;
                    return p;
                }
                i = close + 1;
            } else {
                while (i < line.size() && line[i] != ';' && line[i] != ':' && line[i] != ',' &&
                       line[i] != '"')
                    i++;
            }
            if (i < line.size() && line[i] == ',') {
                i++;
                continue;
            }
            break;
        }
        if (i >= line.size() || (line[i] != ';' && line[i] != ':')) {
            p.readable = false;
            return p;
        }
        if (equals_upper(name, "VALUE")) {
            if (name != "VALUE" || p.has_value)
                p.readable = false;
            p.has_value = true;
            p.value = line.substr(value_start, i - value_start);
        } else if (equals_upper(name, "RANGE")) {
            p.has_range = true;
        }
    }
    if (i >= line.size() || line[i] != ':') {
        p.readable = false;
        return p;
    }
    *value_at = i + 1;
    return p;
}

// True when a VALUE parameter, if any, names one of the types given.
static bool value_type_is(const line_parameters &p, std::string_view a, std::string_view b)
{
    return !p.has_value || p.value == a || p.value == b;
}

// The names whose lines the judgement reads; the others are only checked
// for what could make the parse write to standard error.
enum event_property { OTHER, DTSTART, DTEND, DURATION, RRULE, RDATE, EXDATE, RECURRENCE_ID, UID };

// One RDATE value: a date, a time or a period of either end form.
static bool add_rdate(event_facts *e, std::string_view value, const line_parameters &p)
{
    size_t slash = value.find('/');
    if (slash == std::string_view::npos) {
        if (p.has_value && p.value == "PERIOD")
            return false;
        parsed_time t = parse_time(value);
        e->rdate_starts.push_back(t);
        e->rdate_lengths.push_back(-1);
        return t.valid;
    }
    if (!value_type_is(p, "PERIOD", "PERIOD"))
        return false;
    parsed_time start = parse_time(value.substr(0, slash));
    std::string_view rest = value.substr(slash + 1);
    field_seconds length;
    if (!rest.empty() && (rest[0] == 'P' || rest[0] == '+' || rest[0] == '-')) {
        length = parse_duration(std::string(rest));
    } else {
        parsed_time end = parse_time(rest);
        length = end.valid ? end.fields - start.fields : -1;
    }
    if (!start.valid || start.is_date || length < 0 || length > LONGEST_SPAN)
        return false;
    e->rdate_starts.push_back(start);
    e->rdate_lengths.push_back(length);
    return true;
}

// One property line of the event itself (not of a VALARM in it).
static void read_event_property(event_facts *e, event_property property, std::string_view line,
                                size_t name_end)
{
    size_t value_at = 0;
    line_parameters p = read_parameters(line, name_end, &value_at);
    if (!p.readable || p.has_range) {
        e->unsure = true;
        return;
    }
    std::string_view value = line.substr(value_at);
    switch (property) {
    case DTSTART:
    case DTEND:
    case RECURRENCE_ID: {
        parsed_time t = parse_time(value);
        if (!t.valid || !value_type_is(p, t.is_date ? "DATE" : "DATE-TIME", "") ||
            (p.has_value && p.value.empty()))
            e->unsure = true;
        if (property == DTSTART) {
            e->dtstarts++;
            e->dtstart = t;
        } else if (property == DTEND) {
            e->dtends++;
            e->dtend = t;
        } else {
            e->recurrence_ids++;
        }
        break;
    }
    case DURATION:
        e->durations++;
        e->duration = parse_duration(std::string(value));
        if (e->duration < 0 || p.has_value)
            e->unsure = true;
        break;
    case RRULE:
        e->rrules++;
        e->rrule.assign(value);
        if (p.has_value)
            e->unsure = true;
        break;
    case RDATE: {
        if (p.has_value && p.value != "DATE" && p.value != "DATE-TIME" && p.value != "PERIOD") {
            e->unsure = true;
            break;
        }
        size_t start = 0;
        for (;;) {
            size_t comma = value.find(',', start);
            std::string_view one = value.substr(start, comma == std::string_view::npos
                                                            ? std::string_view::npos
                                                            : comma - start);
            if (!add_rdate(e, one, p))
                e->unsure = true;
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
        if (static_cast<long>(e->rdate_starts.size()) >= MANY_INSTANCES)
            e->unsure = true;
        break;
    }
    case EXDATE:
        if (p.has_value && p.value != "DATE" && p.value != "DATE-TIME")
            e->unsure = true;
        break;
    case UID:
        e->uids++;
        if (value.empty() || value.find('\\') != std::string_view::npos || p.has_value)
            e->unsure = true;
        e->uid.assign(value);
        break;
    case OTHER:
        break;
    }
}

static bool overlaps(field_seconds start, field_seconds length, const window &w)
{
    return start <= w.high && start + length + MARGIN >= w.low;
}

// True when an instance that starts at start at the latest ends before the
// window.
static bool ends_before(field_seconds start, field_seconds length, const window &w)
{
    return start + length + MARGIN < w.low;
}

static long day_of(field_seconds fields)
{
    return static_cast<long>(fields >= 0 ? fields / DAY : -((-fields + DAY - 1) / DAY));
}

static bool is_empty(const short *list)
{
    return list[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

static bool weekdays_without_position(const short *list)
{
    for (int i = 0; list[i] != ICAL_RECURRENCE_ARRAY_MAX; i++) {
        if (icalrecurrencetype_day_position(list[i]) != 0)
            return false;
    }
    return true;
}

// Weekdays of a month: without a position, or from 1 to 4 from either end,
// which every month has.
static bool weekdays_of_every_month(const short *list)
{
    for (int i = 0; list[i] != ICAL_RECURRENCE_ARRAY_MAX; i++) {
        int position = icalrecurrencetype_day_position(list[i]);
        if (position < -4 || position > 4)
            return false;
    }
    return true;
}

static bool days_of_every_month(const short *list)
{
    for (int i = 0; list[i] != ICAL_RECURRENCE_ARRAY_MAX; i++) {
        if (list[i] == 0 || list[i] > 28 || list[i] < -28)
            return false;
    }
    return true;
}

// The longest stretch, in seconds, within which the rule surely gives an
// instance after its first step: one step of its frequency when every step
// gives one; two months for the 29th to 31st of a month, eight years for
// 29 February. -1 when its BY lists may leave steps without an instance.
static double longest_gap(const icalrecurrencetype &rule, const civil_day &start)
{
    if (!is_empty(rule.by_second) || !is_empty(rule.by_minute) || !is_empty(rule.by_hour) ||
        !is_empty(rule.by_year_day) || !is_empty(rule.by_week_no) || !is_empty(rule.by_set_pos))
        return -1;
    bool plain = is_empty(rule.by_day) && is_empty(rule.by_month_day) && is_empty(rule.by_month);
    switch (rule.freq) {
    case ICAL_SECONDLY_RECURRENCE: return plain ? 1 : -1;
    case ICAL_MINUTELY_RECURRENCE: return plain ? 60 : -1;
    case ICAL_HOURLY_RECURRENCE: return plain ? 3600 : -1;
    case ICAL_DAILY_RECURRENCE: return plain ? DAY : -1;
    case ICAL_WEEKLY_RECURRENCE:
        return is_empty(rule.by_month) && is_empty(rule.by_month_day) &&
                       weekdays_without_position(rule.by_day)
                   ? 7 * DAY
                   : -1;
    case ICAL_MONTHLY_RECURRENCE:
        if (!is_empty(rule.by_month) || (!is_empty(rule.by_day) && !is_empty(rule.by_month_day)))
            return -1;
        if (!is_empty(rule.by_day))
            return weekdays_of_every_month(rule.by_day) ? 31 * DAY : -1;
        if (!is_empty(rule.by_month_day))
            return days_of_every_month(rule.by_month_day) ? 31 * DAY : -1;
        return (start.day > 28 ? 2 : 1) * 31 * DAY;
    case ICAL_YEARLY_RECURRENCE:
        if (!is_empty(rule.by_day) || !is_empty(rule.by_month_day))
            return -1;
        if (!is_empty(rule.by_month))
            return start.day <= 28 ? 366 * DAY : -1;
        return (start.month == 2 && start.day == 29 ? 8 : 1) * 366.0 * DAY;
    default:
        return -1;
    }
}

// The latest start of a rule's instances, from its COUNT: the first step
// may give none, every later one gives one. -1 when unknown.
static field_seconds last_counted_start(const icalrecurrencetype &rule, const parsed_time &dtstart)
{
    if (rule.count <= 0 || rule.count >= MANY_INSTANCES || rule.interval <= 0 ||
        rule.interval > 1000)
        return -1;
    double gap = longest_gap(rule, civil_day_of(day_of(dtstart.fields)));
    if (gap < 0)
        return -1;
    double last = static_cast<double>(dtstart.fields) +
                  (static_cast<double>(rule.count) + 1) * rule.interval * gap;
    return last < 4e11 ? static_cast<field_seconds>(last) : -1;
}

// True when a yearly rule that repeats DTSTART's month and day (a birthday)
// has no year whose date reaches the window.
static bool yearly_date_misses(const icalrecurrencetype &rule, const parsed_time &dtstart,
                               field_seconds length, const window &w)
{
    bool one_month = is_empty(rule.by_month) || rule.by_month[1] == ICAL_RECURRENCE_ARRAY_MAX;
    if (rule.freq != ICAL_YEARLY_RECURRENCE || rule.interval <= 0 || !one_month ||
        !is_empty(rule.by_day) || !is_empty(rule.by_month_day) || !is_empty(rule.by_year_day) ||
        !is_empty(rule.by_week_no) || !is_empty(rule.by_set_pos) || !is_empty(rule.by_hour) ||
        !is_empty(rule.by_minute) || !is_empty(rule.by_second) || rule.count >= MANY_INSTANCES)
        return false;
    long first_day = day_of(dtstart.fields);
    civil_day start = civil_day_of(first_day);
    if (!is_empty(rule.by_month) && rule.by_month[0] != start.month)
        return false;
    field_seconds time_of_day = dtstart.fields - first_day * DAY;
    int low_year = civil_day_of(day_of(w.low - length)).year - 1;
    int high_year = civil_day_of(day_of(w.high)).year + 1;
    if (high_year - low_year > 40)
        return false;
    for (int year = std::max(low_year, start.year); year <= high_year; year++) {
        if ((year - start.year) % rule.interval != 0)
            continue;
        int day = std::min(start.day, icaltime_days_in_month(start.month, year));
        if (overlaps(day_number(year, start.month, day) * DAY + time_of_day, length, w))
            return false;
    }
    return true;
}

// True when the rule surely gives no instance that reaches the window, and
// the collection would write no note about it.
static bool rule_misses(const event_facts &e, field_seconds length, const window &w)
{
    // Before DTSTART's day the collection neither judges nor expands a rule.
    if (e.dtstart.fields > w.high)
        return true;
    icalrecurrencetype rule = icalrecurrencetype_from_string(e.rrule.c_str());
    if (rule.freq == ICAL_NO_RECURRENCE || judge_rule(rule) != RULE_EXPANDABLE)
        return false;
    if (!icaltime_is_null_time(rule.until)) {
        if (rule.count > 0 || rule.until.year < 1 || rule.until.month < 1 ||
            rule.until.month > 12)
            return false;
        field_seconds until = day_number(rule.until) * DAY + rule.until.hour * 3600 +
                              rule.until.minute * 60 + rule.until.second;
        if (ends_before(until, length, w))
            return true;
    }
    if (yearly_date_misses(rule, e.dtstart, length, w))
        return true;
    field_seconds last = last_counted_start(rule, e.dtstart);
    return last >= 0 && ends_before(last, length, w);
}

// True when the event may give an occurrence in the window, or a note.
static bool is_needed(const event_facts &e, const window &w)
{
    if (e.unsure || e.dtstarts != 1 || e.dtends > 1 || e.durations > 1 || e.rrules > 1 ||
        e.uids > 1 || e.recurrence_ids > 1)
        return true;
    // The longest the event can last: its DTEND, its DURATION or a day.
    field_seconds length = DAY;
    if (e.dtends == 1) {
        field_seconds span = e.dtend.fields - e.dtstart.fields;
        if (span < 0 || span > LONGEST_SPAN)
            return true;
        length = std::max(length, span);
    }
    if (e.durations == 1)
        length = std::max(length, e.duration);
    length += MARGIN;
    if (overlaps(e.dtstart.fields, length, w))
        return true;
    // An override is the one instance of its own dates.
    if (e.recurrence_ids == 1)
        return false;
    for (size_t i = 0; i < e.rdate_starts.size(); i++) {
        field_seconds own = e.rdate_lengths[i] < 0 ? length : e.rdate_lengths[i] + MARGIN;
        if (overlaps(e.rdate_starts[i].fields, own, w))
            return true;
    }
    return e.rrules == 1 && !rule_misses(e, length, w);
}

namespace {

// Where a line's name ends (at its first ';' or ':', or at the end of the
// first physical line), and what the name holds.
struct name_scan {
    size_t end;
    bool whole;       // ended by ';' or ':'
    bool has_lower;   // a lower-case letter: it may still be a name looked for
    bool has_quote;
};

}  // namespace

static name_scan scan_name(const char *p, size_t length)
{
    name_scan n{length, false, false, false};
    size_t i = 0;
    for (;;) {
        while (i < length && p[i] != ';' && p[i] != ':' && p[i] != '"')
            i++;
        if (i >= length || p[i] != '"')
            break;
        n.has_quote = true;
        i++;
    }
    if (i < length) {
        n.end = i;
        n.whole = true;
    }
    // Only a name of the length of one looked for can be one in other case.
    if (i == 3 || i == 5 || i == 6 || i == 7 || i == 8 || i == 13) {
        for (size_t j = 0; j < i; j++)
            n.has_lower |= p[j] >= 'a' && p[j] <= 'z';
    }
    return n;
}

// The judged properties by their exact names; odd_case is set for a name
// that is one of them, or BEGIN or END, in other letter case.
static event_property property_of(std::string_view name, bool has_lower, bool *odd_case)
{
    static const struct {
        std::string_view name;
        event_property property;
    } NAMES[] = {
        {"DTSTART", DTSTART}, {"DTEND", DTEND}, {"DURATION", DURATION},
        {"RRULE", RRULE},     {"RDATE", RDATE}, {"EXDATE", EXDATE},
        {"RECURRENCE-ID", RECURRENCE_ID},       {"UID", UID},
    };
    *odd_case = false;
    if (has_lower) {
        for (const auto &entry : NAMES)
            *odd_case |= equals_upper(name, entry.name);
        *odd_case |= equals_upper(name, "BEGIN") || equals_upper(name, "END");
        return OTHER;
    }
    if (name.empty() || (name[0] != 'D' && name[0] != 'R' && name[0] != 'E' && name[0] != 'U'))
        return OTHER;
    for (const auto &entry : NAMES) {
        if (name == entry.name)
            return entry.property;
    }
    return OTHER;
}

// A line of a judged event that the judgement does not read: it only must
// not be one whose parse could write to standard error or be cut into parts.
// A VALUE parameter (libical warns of types it cannot read), a quote in the
// name or a long list of values makes the event one to keep.
static bool is_odd_line(const scanner &s, const logical_line &line, const name_scan &name,
                        std::string *unfolded)
{
    if (name.has_quote)
        return true;
    const char *first = s.text + line.begin;
    if (first[name.end] == ';') {
        std::string_view full(first, line.first_end - line.begin);
        if (line.folded) {
            unfold(s, line, unfolded);
            full = *unfolded;
        }
        size_t value_at = 0;
        line_parameters p = read_parameters(full, name.end, &value_at);
        if (!p.readable || p.has_value)
            return true;
    }
    // The raw line holds the unfolded one's commas, and more bytes.
    size_t raw = line.end - line.begin;
    return raw >= static_cast<size_t>(MIN_LINE_TO_CUT) &&
           std::count(first, first + raw, ',') >= MAX_VALUES_PER_LINE;
}

namespace {

// One scanned VEVENT of a VCALENDAR; its UID, without backslashes, is
// uid_length bytes at uid_at of the UIDs' text.
struct scanned_event {
    size_t begin;
    size_t end;
    bool needed;
    bool has_uid;
    size_t uid_at;
    size_t uid_length;
};

}  // namespace

static window window_of(icaltimetype period_start, icaltimetype period_end)
{
    long first = day_number(period_start.year, period_start.month, 1);
    long last = day_number(period_end.year, period_end.month,
                           icaltime_days_in_month(period_end.month, period_end.year));
    return {first * DAY - MARGIN, (last + 1) * DAY + MARGIN};
}

static void start_event(event_facts *e, size_t begin)
{
    e->begin = begin;
    e->unsure = false;
    e->dtstarts = e->dtends = e->durations = e->rrules = e->uids = e->recurrence_ids = 0;
    e->rrule.clear();
    e->uid.clear();
    e->rdate_starts.clear();
    e->rdate_lengths.clear();
}

// A BEGIN or END line, kept in open; false when the components do not nest
// as the scan can follow them.
static bool open_or_close(std::string_view full, std::vector<std::string> *open, bool *in_event,
                          event_facts *facts, const logical_line &line, const window &w,
                          std::vector<scanned_event> *events, std::string *uids)
{
    size_t colon = full.find(':');
    if (colon == std::string_view::npos || (full.substr(0, colon) != "BEGIN" &&
                                            full.substr(0, colon) != "END"))
        return false;
    bool begin = colon == 5;
    std::string_view kind = full.substr(colon + 1);
    if (kind.empty() ||
        kind.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-") != std::string_view::npos)
        return false;
    if (begin) {
        if (open->size() >= MAX_SCANNED_DEPTH)
            return false;
        if (*in_event && (kind != "VALARM" || open->size() != 2))
            facts->unsure = true;
        open->emplace_back(kind);
        if (open->size() == 2 && (*open)[0] == "VCALENDAR" && kind == "VEVENT") {
            *in_event = true;
            start_event(facts, line.begin);
        }
        return true;
    }
    if (open->empty() || open->back() != kind)
        return false;
    open->pop_back();
    if (*in_event && open->size() == 1) {
        *in_event = false;
        scanned_event event{facts->begin, line.end, facts->unsure || is_needed(*facts, w),
                            facts->uids == 1, uids->size(), 0};
        if (event.has_uid) {
            uids->append(facts->uid);
            uids->erase(std::remove(uids->begin() + static_cast<long>(event.uid_at), uids->end(), '\\'),
                        uids->end());
            event.uid_length = uids->size() - event.uid_at;
        }
        events->push_back(event);
    }
    return true;
}

// The scan proper; false when the text must go to the parse whole.
static bool scan_events(const char *text, size_t length, const window &w,
                        std::vector<scanned_event> *events, std::string *uids)
{
    if (memchr(text, '\0', length) != nullptr)
        return false;
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text);
    if (length >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) ||
                        (bytes[0] == 0xFF && bytes[1] == 0xFE)))
        return false;
    scanner s{text, length, 0, false};
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        s.next = 3;
    std::vector<std::string> open;   // the components open, outermost first
    bool in_event = false;           // open[1] is a VEVENT being judged
    event_facts facts;
    std::string unfolded;
    logical_line line;
    while (next_line(&s, &line)) {
        char c = text[line.begin];
        // Outside a judged event only BEGIN and END lines matter. A line
        // that starts with CR may lose it to a fold.
        if (!in_event && c != 'B' && c != 'E' && c != 'b' && c != 'e' && c != '\r')
            continue;
        name_scan name = scan_name(text + line.begin, line.first_end - line.begin);
        std::string_view full(text + line.begin, line.first_end - line.begin);
        if (!name.whole || c == '\r') {
            // The name runs on past a fold: read it from the joined line.
            unfold(s, line, &unfolded);
            full = unfolded;
            name = scan_name(full.data(), full.size());
            if (!name.whole) {
                if (in_event)
                    facts.unsure = true;
                if (equals_upper(full, "BEGIN") || equals_upper(full, "END"))
                    return false;
                continue;
            }
        }
        std::string_view name_text = full.substr(0, name.end);
        bool odd_case = false;
        event_property property = property_of(name_text, name.has_lower, &odd_case);
        if (name_text == "BEGIN" || name_text == "END" ||
            (odd_case && (equals_upper(name_text, "BEGIN") || equals_upper(name_text, "END")))) {
            if (line.folded && full.data() != unfolded.data()) {
                unfold(s, line, &unfolded);
                full = unfolded;
            }
            while (full.size() > 1 && is_space(static_cast<unsigned char>(full.back())))
                full.remove_suffix(1);
            if (!open_or_close(full, &open, &in_event, &facts, line, w, events, uids))
                return false;
            continue;
        }
        if (!in_event)
            continue;
        if (odd_case) {
            facts.unsure = true;
            continue;
        }
        if (property == OTHER || open.size() != 2) {
            if (is_odd_line(s, line, name, &unfolded))
                facts.unsure = true;
            continue;
        }
        if (line.folded && full.data() != unfolded.data()) {
            unfold(s, line, &unfolded);
            full = unfolded;
        }
        while (full.size() > 1 && is_space(static_cast<unsigned char>(full.back())))
            full.remove_suffix(1);
        // The judged properties have their parameters read there.
        read_event_property(&facts, property, full, name.end);
        if (full.size() >= static_cast<size_t>(MIN_LINE_TO_CUT))
            facts.unsure = true;
    }
    return open.empty() && !s.broken;
}

std::vector<text_span> spans_for_period(const char *text, size_t length, icaltimetype period_start,
                                        icaltimetype period_end, prescan_counts *counts)
{
    std::vector<scanned_event> events;
    std::string uids;
    *counts = {0, 0, true};
    if (!scan_events(text, length, window_of(period_start, period_end), &events, &uids))
        return {{0, length}};
    // Overrides moved into or out of the period need their series, and
    // the series its overrides: a UID that one kept event has keeps all.
    // UIDs are compared without backslashes, so that two that libical reads
    // as one are never told apart.
    std::unordered_set<std::string_view> needed_uids;
    for (const scanned_event &event : events) {
        if (event.has_uid && event.needed)
            needed_uids.insert(std::string_view(uids).substr(event.uid_at, event.uid_length));
    }
    std::vector<text_span> spans;
    size_t from = 0;
    for (const scanned_event &event : events) {
        bool keep = event.needed ||
                    (event.has_uid && needed_uids.count(std::string_view(uids).substr(
                                          event.uid_at, event.uid_length)) > 0);
        counts->kept += keep;
        if (keep)
            continue;
        if (event.begin > from)
            spans.push_back({from, event.begin});
        from = event.end;
    }
    if (from < length)
        spans.push_back({from, length});
    counts->events = static_cast<long>(events.size());
    counts->whole = false;
    return spans;
}

namespace {

// The stream that open_period_input gives: the kept spans of the text, then
// the read error, if any.
struct period_input {
    std::string text;
    std::vector<text_span> spans;
    size_t span;     // the span being read
    size_t offset;   // in the text
    int read_error;
};

}  // namespace

static ssize_t read_period_input(void *cookie, char *buffer, size_t size)
{
    period_input *input = static_cast<period_input *>(cookie);
    size_t given = 0;
    while (given < size && input->span < input->spans.size()) {
        const text_span &span = input->spans[input->span];
        if (input->offset < span.begin)
            input->offset = span.begin;
        size_t count = std::min(size - given, span.end - input->offset);
        memcpy(buffer + given, input->text.data() + input->offset, count);
        given += count;
        input->offset += count;
        if (input->offset >= span.end)
            input->span++;
    }
    if (given == 0 && input->read_error != 0) {
        errno = input->read_error;
        return -1;
    }
    return static_cast<ssize_t>(given);
}

static int close_period_input(void *cookie)
{
    delete static_cast<period_input *>(cookie);
    return 0;
}

FILE *open_period_input(FILE *input, icaltimetype period_start, icaltimetype period_end,
                        prescan_counts *counts)
{
    period_input *read = new period_input{};
    const size_t block = 65536;
    size_t length = 0;
    // A file's size is known: it is read into one buffer of its size.
    struct stat status;
    if (fstat(fileno(input), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
        read->text.resize(static_cast<size_t>(status.st_size) + block);
    for (;;) {
        if (read->text.size() < length + block)
            read->text.resize(std::max(2 * read->text.size(), length + block));
        size_t count = fread(&read->text[length], 1, block, input);
        length += count;
        if (count < block) {
            if (ferror(input))
                read->read_error = errno != 0 ? errno : EIO;
            break;
        }
    }
    read->text.resize(length);
    prescan_counts found;
    read->spans = spans_for_period(read->text.data(), read->text.size(), period_start, period_end,
                                   &found);
    if (counts != nullptr)
        *counts = found;
    cookie_io_functions_t functions{read_period_input, nullptr, nullptr, close_period_input};
    FILE *stream = fopencookie(read, "r", functions);
    if (stream == nullptr) {
        delete read;
        return nullptr;
    }
    return stream;
}
