#!/usr/bin/env python3
# make_calendars.py: writes the benchmark's calendars, the same bytes for the
# same seed and size.
#
#   make_calendars.py SIZE DIRECTORY [SEED]
#   make_calendars.py --zones COUNT DIRECTORY
#
# SIZE is a number of VEVENTs (1k, 10k, 100k or a plain number). Writes
#   calendar-SIZE.ics       the calendar: ten years (2018 to 2027) of events;
#                           recurring ones with EXDATEs, RDATEs and overrides
#   join-SIZE-1.ics .. -4   the same events spread over four files that share
#                           a fifth of the UIDs with other LAST-MODIFIED stamps
#   mix-SIZE.ics            a calendar as people export theirs: fifteen years
#                           of appointments, birthdays from the year of
#                           birth, ended and running series, a zone under its
#                           Windows name, reminders
#   birthdays-SIZE.ics      SIZE yearly birthdays
#   hostile-minutely.ics    FREQ=MINUTELY from 2003, twenty years before 2023
#   hostile-century.ics     one all-day event from 1900 to 2100
#   hostile-long-word.ics   a summary holding one 300 KB word
#   hostile-exdates.ics     a daily rule over thirty years with 10,000 EXDATEs
#   hostile-overrides.ics   a daily series with 100,000 overriding events
#   hostile-never.ics       every minute of 30 February
#   hostile-counts.ics      five hourly rules with BY lists and a COUNT of 10^8
#   hostile-ages.ics        one all-day event from year 1 to 9999
#   hostile-properties.ics  a minutely series with 30,000 EXDATE values
#   hostile-long-list.ics   one CATEGORIES line of 800,000 values
#   hostile-zones-behind.ics 20,000 time zones in a calendar after an empty one
#   hostile-uids.ics        7,000 UIDs of one slot under evjoin's former hash
#   hostile-count-ages.ics  daily and hourly rules with COUNT from years 1 and 1912
#   hostile-never-zones.ics four zones whose rule never gives a change
#   hostile-many-rules.ics  10 KB of secondly rules in New York
# With --zones, COUNT distinct TZIDs (5k, 20k or a plain number):
#   zones-COUNT.ics         one calendar of COUNT VTIMEZONEs, every fourth used
#                           by one event (up to 20k zones fewer UIDs than the
#                           10007 of evjoin's first table, so that older builds
#                           can be compared), and one moved instance for every
#                           tenth event
#   zones-COUNT-1.ics .. -4 the same, a quarter of the zones in each file
import datetime
import os
import random
import sys

FIRST_YEAR = 2018
YEARS = 10
ZONES = ["Europe/Berlin", "America/New_York", "Asia/Tokyo"]

VTIMEZONES = {
    "Europe/Berlin": [
        "BEGIN:VTIMEZONE",
        "TZID:Europe/Berlin",
        "X-LIC-LOCATION:Europe/Berlin",
        "BEGIN:DAYLIGHT",
        "TZOFFSETFROM:+0100",
        "TZOFFSETTO:+0200",
        "TZNAME:CEST",
        "DTSTART:19700329T020000",
        "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU",
        "END:DAYLIGHT",
        "BEGIN:STANDARD",
        "TZOFFSETFROM:+0200",
        "TZOFFSETTO:+0100",
        "TZNAME:CET",
        "DTSTART:19701025T030000",
        "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU",
        "END:STANDARD",
        "END:VTIMEZONE",
    ],
    "America/New_York": [
        "BEGIN:VTIMEZONE",
        "TZID:America/New_York",
        "X-LIC-LOCATION:America/New_York",
        "BEGIN:DAYLIGHT",
        "TZOFFSETFROM:-0500",
        "TZOFFSETTO:-0400",
        "TZNAME:EDT",
        "DTSTART:20070311T020000",
        "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU",
        "END:DAYLIGHT",
        "BEGIN:STANDARD",
        "TZOFFSETFROM:-0400",
        "TZOFFSETTO:-0500",
        "TZNAME:EST",
        "DTSTART:20071104T020000",
        "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU",
        "END:STANDARD",
        "END:VTIMEZONE",
    ],
    "Asia/Tokyo": [
        "BEGIN:VTIMEZONE",
        "TZID:Asia/Tokyo",
        "X-LIC-LOCATION:Asia/Tokyo",
        "BEGIN:STANDARD",
        "TZOFFSETFROM:+0900",
        "TZOFFSETTO:+0900",
        "TZNAME:JST",
        "DTSTART:19700101T000000",
        "END:STANDARD",
        "END:VTIMEZONE",
    ],
}

SUBJECTS = ["Team meeting", "Project review", "Lunch with Anna", "Dentist", "Standup",
            "Quarterly planning", "Call with supplier", "Yoga", "Football training",
            "Parents' evening", "Release party", "Code review", "Budget: draft & sign-off",
            "Interview <candidate>", "Flight to Tokyo", "Conference", "Workshop on testing",
            "Board meeting", "Piano lesson", "Car service", "Birthday of Jörg",
            "Bücherei", "Sprint retrospective", "1:1", "Offsite; day trip"]
WORDS = ["agenda", "notes", "please", "bring", "the", "slides", "and", "minutes", "from",
         "last", "week", "room", "changed", "see", "details", "dial-in", "budget", "draft",
         "review", "a", "of", "to", "for", "with", "Müller", "café", "plan", "questions",
         "deadline", "team", "report", "update", "topic", "coffee", "train", "ticket"]
LINKS = ["https://example.org/meet/{n}", "http://intranet.example.com/wiki/Page_{n}?tab=2",
         "mailto:team{n}@example.org", "https://maps.example.net/?q=52.52,13.40&z={n}",
         "https://docs.example.com/d/{n}/edit#heading=h.{n}", "ftp://files.example.org/pub/{n}.pdf",
         "urn:isbn:978-3-16-148410-{n}", "geo:48.1,11.5;u={n}"]
PLACES = ["Room 4.12", "Main office, Berlin", "Café Central", "Online", "Building B; floor 2",
          "Tokyo office", "Home", "Sports hall", "Conference center, New York"]
OTHER_CATEGORIES = ["home", "family", "travel", "sport", "Birthday", "errands"]


def escape_text(text):
    return (text.replace("\\", "\\\\").replace(";", "\\;").replace(",", "\\,")
            .replace("\n", "\\n"))


def fold(line):
    # Content lines break after 75 octets, never inside a UTF-8 sequence.
    data = line.encode("utf-8")
    if len(data) <= 75:
        return data + b"\r\n"
    pieces = []
    start = 0
    limit = 75
    while start < len(data):
        end = min(start + limit, len(data))
        while end < len(data) and (data[end] & 0xC0) == 0x80:
            end -= 1
        pieces.append(data[start:end])
        start = end
        limit = 74
    return b"\r\n ".join(pieces) + b"\r\n"


def stamp(moment):
    return moment.strftime("%Y%m%dT%H%M%SZ")


def local_time(moment):
    return moment.strftime("%Y%m%dT%H%M%S")


def date_text(day):
    return day.strftime("%Y%m%d")


def time_property(name, moment, zone, is_date):
    if is_date:
        return "%s;VALUE=DATE:%s" % (name, date_text(moment))
    if zone is None:
        return "%s:%s" % (name, stamp(moment))
    return "%s;TZID=%s:%s" % (name, zone, local_time(moment))


def add_months(moment, months):
    index = moment.month - 1 + months
    return moment.replace(year=moment.year + index // 12, month=index % 12 + 1)


def nth_weekday(year, month, weekday, nth):
    if nth > 0:
        first = datetime.date(year, month, 1)
        return first + datetime.timedelta(days=(weekday - first.weekday()) % 7 + 7 * (nth - 1))
    last = add_months(datetime.date(year, month, 1), 1) - datetime.timedelta(days=1)
    return last - datetime.timedelta(days=(last.weekday() - weekday) % 7)


DAY_NAMES = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]


class generator:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.serial = 0
        self.first = datetime.datetime(FIRST_YEAR, 1, 1)
        self.span_days = 365 * YEARS + YEARS // 4

    def uid(self):
        self.serial += 1
        r = self.rng
        return "%08x-%04x-4%03x-%04x-%012x-%d@example.org" % (
            r.getrandbits(32), r.getrandbits(16), r.getrandbits(12), r.getrandbits(16),
            r.getrandbits(48), self.serial)

    def text(self, low, high):
        r = self.rng
        words = [r.choice(WORDS) for _ in range(r.randint(low, high))]
        for _ in range(r.randint(0, 2)):
            words.insert(r.randrange(len(words) + 1),
                         r.choice(LINKS).format(n=r.randint(1, 99999)))
        text = " ".join(words)
        if r.random() < 0.3:
            cut = r.randrange(len(text) + 1)
            text = text[:cut] + "\n" + text[cut:]
        return text

    def common(self, created):
        r = self.rng
        lines = []
        modified = created + datetime.timedelta(days=r.randint(0, 400), seconds=r.randint(0, 86399))
        lines.append("DTSTAMP:" + stamp(modified + datetime.timedelta(days=r.randint(0, 30))))
        if r.random() < 0.7:
            lines.append("CREATED:" + stamp(created))
        lines.append("LAST-MODIFIED:" + stamp(modified))
        lines.append("SEQUENCE:%d" % r.choice([0, 0, 0, 1, 2]))
        summary = r.choice(SUBJECTS)
        if r.random() < 0.15:
            summary += " " + r.choice(LINKS).format(n=r.randint(1, 999))
        lines.append("SUMMARY:" + escape_text(summary))
        if r.random() < 0.55:
            lines.append("DESCRIPTION:" + escape_text(self.text(8, 60)))
        if r.random() < 0.4:
            lines.append("LOCATION:" + escape_text(r.choice(PLACES)))
        draw = r.random()
        if draw < 0.30:
            lines.append("CLASS:PUBLIC")
        elif draw < 0.45:
            lines.append("CLASS:PRIVATE")
        elif draw < 0.50:
            lines.append("CLASS:CONFIDENTIAL")
        draw = r.random()
        if draw < 0.38:
            lines.append("CATEGORIES:work")
        elif draw < 0.44:
            lines.append("CATEGORIES:Work,meeting")
        elif draw < 0.50:
            lines.append("CATEGORIES:" + r.choice(OTHER_CATEGORIES) + ",WORK")
        elif draw < 0.80:
            lines.append("CATEGORIES:" + r.choice(OTHER_CATEGORIES))
        lines.append("STATUS:" + r.choice(["CONFIRMED", "CONFIRMED", "TENTATIVE"]))
        if r.random() < 0.2:
            lines.append("TRANSP:TRANSPARENT")
        if r.random() < 0.15:
            lines.append("ORGANIZER;CN=Anna Schmidt:mailto:anna@example.org")
            for n in range(r.randint(1, 4)):
                lines.append("ATTENDEE;CN=Person %d;PARTSTAT=ACCEPTED;ROLE=REQ-PARTICIPANT:"
                             "mailto:person%d@example.org" % (n, r.randint(1, 500)))
        if r.random() < 0.05:
            lines.append("URL:" + r.choice(LINKS).format(n=r.randint(1, 999)))
        return lines

    def alarm(self):
        if self.rng.random() >= 0.2:
            return []
        return ["BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:Reminder",
                "TRIGGER:-PT%dM" % self.rng.choice([5, 10, 15, 30, 60]), "END:VALARM"]

    def zone(self):
        draw = self.rng.random()
        if draw < 0.5:
            return ZONES[0]
        if draw < 0.75:
            return ZONES[1]
        if draw < 0.85:
            return ZONES[2]
        return None   # UTC

    def start_moment(self, start_day=None):
        r = self.rng
        day = r.randrange(self.span_days) if start_day is None else start_day
        return self.first + datetime.timedelta(days=day, hours=r.randint(7, 19),
                                               minutes=r.choice([0, 0, 15, 30, 45]))

    def single(self):
        """A group of one event without a rule."""
        r = self.rng
        uid = self.uid()
        start = self.start_moment()
        created = start - datetime.timedelta(days=r.randint(1, 200))
        lines = ["BEGIN:VEVENT", "UID:" + uid]
        draw = r.random()
        if draw < 0.12:                      # all-day, one day
            lines.append(time_property("DTSTART", start.date(), None, True))
            lines.append(time_property("DTEND", start.date() + datetime.timedelta(days=1), None, True))
        elif draw < 0.19:                    # all-day over several days
            lines.append(time_property("DTSTART", start.date(), None, True))
            lines.append(time_property("DTEND", start.date() + datetime.timedelta(days=r.randint(2, 9)),
                                       None, True))
        elif draw < 0.23:                    # timed over several days
            zone = self.zone()
            start = start.replace(hour=9, minute=0)
            end = start + datetime.timedelta(days=r.randint(1, 4), hours=8)
            lines.append(time_property("DTSTART", start, zone, False))
            lines.append(time_property("DTEND", end, zone, False))
        else:
            zone = self.zone()
            length = datetime.timedelta(minutes=r.choice([15, 30, 30, 60, 60, 60, 90, 120, 180]))
            lines.append(time_property("DTSTART", start, zone, False))
            if r.random() < 0.1:
                lines.append("DURATION:PT%dM" % (length.seconds // 60))
            else:
                lines.append(time_property("DTEND", start + length, zone, False))
        lines += self.common(created)
        lines += self.alarm()
        lines.append("END:VEVENT")
        return uid, [lines]

    def recurring(self):
        """A group: an event with a rule and the events overriding some of its instances."""
        r = self.rng
        uid = self.uid()
        start = self.start_moment()
        created = start - datetime.timedelta(days=r.randint(1, 100))
        draw = r.random()
        all_day = False
        if draw < 0.20:
            freq = "DAILY"
        elif draw < 0.60:
            freq = "WEEKLY"
        elif draw < 0.82:
            freq = "MONTHLY"
        else:
            freq = "YEARLY"
            all_day = r.random() < 0.8
        zone = None if all_day else self.zone()
        if freq in ("MONTHLY", "YEARLY") and start.day > 28:
            start = start.replace(day=28)
        interval = r.choice([1, 1, 1, 2]) if freq != "YEARLY" else 1
        parts = ["FREQ=" + freq]
        if interval > 1:
            parts.append("INTERVAL=%d" % interval)
        step = None     # the distance between two instances, for overrides
        if freq == "DAILY":
            step = lambda moment, k: moment + datetime.timedelta(days=interval * k)
        elif freq == "WEEKLY":
            days = {start.weekday()}
            if r.random() < 0.4:
                days.add(r.randrange(5))
            if len(days) > 1:
                parts.append("BYDAY=" + ",".join(DAY_NAMES[d] for d in sorted(days)))
            step = lambda moment, k: moment + datetime.timedelta(weeks=interval * k)
        elif freq == "MONTHLY":
            if r.random() < 0.5:
                parts.append("BYMONTHDAY=%d" % start.day)
                step = lambda moment, k: add_months(moment, interval * k)
            else:
                nth = r.choice([1, 2, 3, -1])
                weekday = start.weekday()
                day = nth_weekday(start.year, start.month, weekday, nth)
                start = start.replace(day=day.day)
                parts.append("BYDAY=%d%s" % (nth, DAY_NAMES[weekday]))

                def step(moment, k, nth=nth, weekday=weekday):
                    month = add_months(moment.replace(day=1), interval * k)
                    return moment.replace(year=month.year, month=month.month,
                                          day=nth_weekday(month.year, month.month, weekday, nth).day)
        else:
            if r.random() < 0.3 and not all_day:
                parts.append("BYMONTH=%d" % start.month)
            step = lambda moment, k: moment.replace(year=moment.year + k)
        ending = r.random()
        count = None
        if ending < 0.35:
            count = r.randint(3, 60) if freq != "YEARLY" else r.randint(2, 10)
            parts.append("COUNT=%d" % count)
        elif ending < 0.65:
            # Far enough for the first instance after DTSTART to exist.
            least = {"DAILY": 10, "WEEKLY": 30, "MONTHLY": 100, "YEARLY": 800}[freq] * interval
            reach = {"DAILY": 60, "WEEKLY": 400, "MONTHLY": 900, "YEARLY": 3000}[freq] * interval
            until = start + datetime.timedelta(days=r.randint(least, reach))
            if all_day:
                parts.append("UNTIL=" + date_text(until.date()))
            else:
                until = until.replace(hour=23, minute=59, second=59)
                parts.append("UNTIL=" + stamp(until))
            # An instance is known to exist only while k stays below this.
            count = 2
        lines = ["BEGIN:VEVENT", "UID:" + uid]
        length = datetime.timedelta(minutes=r.choice([15, 30, 60, 60, 90]))
        if all_day:
            lines.append(time_property("DTSTART", start.date(), None, True))
            lines.append(time_property("DTEND", start.date() + datetime.timedelta(days=1), None, True))
        else:
            lines.append(time_property("DTSTART", start, zone, False))
            lines.append(time_property("DTEND", start + length, zone, False))
        lines.append("RRULE:" + ";".join(parts))
        lines += self.excluded_and_added(start, step, count, zone, all_day, freq)
        lines += self.common(created)
        lines += self.alarm()
        lines.append("END:VEVENT")
        group = [lines]
        if r.random() < 0.3:
            limit = count if count is not None else 40
            chosen = sorted(set(r.randrange(1, max(2, limit)) for _ in range(r.randint(1, 3))))
            for k in chosen:
                if count is not None and k >= count:
                    continue
                instance = step(start, k)
                if instance.year >= FIRST_YEAR + YEARS + 5:
                    continue
                moved = instance + datetime.timedelta(hours=r.choice([-2, 1, 2, 24]))
                override = ["BEGIN:VEVENT", "UID:" + uid]
                if all_day:
                    override.append(time_property("RECURRENCE-ID", instance.date(), None, True))
                    override.append(time_property("DTSTART", moved.date(), None, True))
                    override.append(time_property("DTEND", moved.date() + datetime.timedelta(days=1),
                                                  None, True))
                else:
                    override.append(time_property("RECURRENCE-ID", instance, zone, False))
                    override.append(time_property("DTSTART", moved, zone, False))
                    override.append(time_property("DTEND", moved + length, zone, False))
                override += self.common(created + datetime.timedelta(days=30))
                override.append("END:VEVENT")
                group.append(override)
        return uid, group

    def excluded_and_added(self, start, step, count, zone, all_day, freq):
        """EXDATE lines for a few instances of many weekly series and of some
        others, and now and then an RDATE, as exported calendars carry them."""
        r = self.rng
        lines = []

        def value(moment):
            text = time_property("X", moment.date() if all_day else moment, zone, all_day)
            return text.split(":", 1)[1]

        def listed(name, moments):
            first = time_property(name, moments[0].date() if all_day else moments[0], zone, all_day)
            return ",".join([first] + [value(m) for m in moments[1:]])

        if r.random() < (0.4 if freq == "WEEKLY" else 0.15):
            limit = count if count is not None else 40
            chosen = sorted(set(r.randrange(1, max(2, limit)) for _ in range(r.randint(1, 4))))
            moments = [step(start, k) for k in chosen if count is None or k < count]
            moments = [m for m in moments if m.year < FIRST_YEAR + YEARS + 5]
            if moments:
                # Most producers write one EXDATE line a value, some one line.
                if r.random() < 0.5:
                    lines += [listed("EXDATE", [m]) for m in moments]
                else:
                    lines.append(listed("EXDATE", moments))
        if r.random() < 0.05:
            added = start + datetime.timedelta(days=r.randint(1, 300), hours=r.choice([0, 3]))
            lines.append(listed("RDATE", [added]))
        return lines

    def groups(self, size):
        made = []
        events = 0
        while events < size:
            uid, group = self.recurring() if self.rng.random() < 0.27 else self.single()
            group = group[:size - events]
            made.append((uid, group))
            events += len(group)
        return made


def calendar_bytes(groups_of_events, prodid):
    out = [fold("BEGIN:VCALENDAR"), fold("VERSION:2.0"), fold("PRODID:" + prodid),
           fold("CALSCALE:GREGORIAN")]
    for zone in ZONES:
        out += [fold(line) for line in VTIMEZONES[zone]]
    for event in groups_of_events:
        out += [fold(line) for line in event]
    out.append(fold("END:VCALENDAR"))
    return b"".join(out)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def restamped(event, rng):
    """A copy of the master event with another LAST-MODIFIED and summary."""
    copy = []
    for line in event:
        if line.startswith("LAST-MODIFIED:"):
            moment = datetime.datetime.strptime(line[14:], "%Y%m%dT%H%M%SZ")
            moment += datetime.timedelta(days=rng.choice([-40, -3, 2, 90]), seconds=rng.randint(1, 999))
            line = "LAST-MODIFIED:" + stamp(moment)
        elif line.startswith("SUMMARY:"):
            line += " (copy)"
        copy.append(line)
    return copy


def write_join_files(groups, directory, label, rng):
    files = [[] for _ in range(4)]
    for uid, group in groups:
        home = rng.randrange(4)
        files[home] += group
        if rng.random() < 0.2:
            files[(home + rng.randint(1, 3)) % 4].append(restamped(group[0], rng))
    for index, events in enumerate(files, 1):
        write(os.path.join(directory, "join-%s-%d.ics" % (label, index)),
              calendar_bytes(events, "-//Example//Bench part %d//EN" % index))


def write_hostile(directory):
    head = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//Example//Bench hostile//EN"]
    minutely = head + ["BEGIN:VEVENT", "UID:minutely@example.org", "DTSTAMP:20030101T000000Z",
                       "DTSTART:20030605T000000Z", "DTEND:20030605T000030Z",
                       "RRULE:FREQ=MINUTELY", "SUMMARY:Every minute", "END:VEVENT",
                       "END:VCALENDAR"]
    century = head + ["BEGIN:VEVENT", "UID:century@example.org", "DTSTAMP:20030101T000000Z",
                      "DTSTART;VALUE=DATE:19000101", "DTEND;VALUE=DATE:21000101",
                      "SUMMARY:Two centuries", "END:VEVENT", "END:VCALENDAR"]
    word = "w" * (300 * 1024)
    long_word = head + ["BEGIN:VEVENT", "UID:long-word@example.org", "DTSTAMP:20030101T000000Z",
                        "DTSTART:20230612T100000Z", "DTEND:20230612T110000Z",
                        "SUMMARY:" + word,
                        "END:VEVENT", "END:VCALENDAR"]
    # A daily rule over thirty years with 10,000 of its days excluded.
    excluded = ["EXDATE:" + stamp(datetime.datetime(2000, 1, 1, 9) + datetime.timedelta(days=d))
                for d in range(0, 30000, 3)][:10000]
    exdates = head + ["BEGIN:VEVENT", "UID:exdates@example.org", "DTSTAMP:20030101T000000Z",
                      "DTSTART:20000101T090000Z", "DTEND:20000101T100000Z",
                      "RRULE:FREQ=DAILY;UNTIL=20291231T235959Z", "SUMMARY:Daily but often not"]
    exdates += excluded + ["END:VEVENT", "END:VCALENDAR"]
    # A daily series from 1900 with 100,000 of its instances moved by an hour.
    overrides = head + ["BEGIN:VEVENT", "UID:overrides@example.org", "DTSTAMP:20030101T000000Z",
                        "DTSTART:19000101T090000Z", "DTEND:19000101T100000Z",
                        "RRULE:FREQ=DAILY", "SUMMARY:Daily", "END:VEVENT"]
    for d in range(100000):
        day = datetime.datetime(1900, 1, 1, 9) + datetime.timedelta(days=d)
        overrides += ["BEGIN:VEVENT", "UID:overrides@example.org",
                      "RECURRENCE-ID:" + stamp(day), "DTSTART:" + stamp(day + datetime.timedelta(hours=1)),
                      "DURATION:PT1H", "SUMMARY:Moved", "END:VEVENT"]
    overrides.append("END:VCALENDAR")
    never = head + ["BEGIN:VEVENT", "UID:never@example.org", "DTSTAMP:20030101T000000Z",
                    "DTSTART:20030101T000000Z", "RRULE:FREQ=MINUTELY;BYMONTH=2;BYMONTHDAY=30",
                    "SUMMARY:Every minute of 30 February", "END:VEVENT", "END:VCALENDAR"]
    counts = list(head)
    for n in range(5):
        counts += ["BEGIN:VEVENT", "UID:count-%d@example.org" % n, "DTSTAMP:20030101T000000Z",
                   "DTSTART:20200101T00%02d00Z" % n,
                   "RRULE:FREQ=SECONDLY;BYSECOND=0;BYMINUTE=%d;COUNT=100000000" % n,
                   "SUMMARY:Every hour, a hundred million times", "END:VEVENT"]
    counts.append("END:VCALENDAR")
    ages = head + ["BEGIN:VEVENT", "UID:ages@example.org", "DTSTAMP:20030101T000000Z",
                   "DTSTART;VALUE=DATE:00010101", "DTEND;VALUE=DATE:99991231",
                   "SUMMARY:All of time", "END:VEVENT", "END:VCALENDAR"]
    # A minutely series whose 30,000 EXDATE values (300 a line) are as many
    # properties of the event, and which has no CATEGORIES to find.
    minutes = [stamp(datetime.datetime(2023, 6, 1) + datetime.timedelta(minutes=m))
               for m in range(30000)]
    properties = head + ["BEGIN:VEVENT", "UID:properties@example.org",
                         "DTSTAMP:20030101T000000Z", "DTSTART:20230601T060000Z",
                         "RRULE:FREQ=MINUTELY", "SUMMARY:Every minute but many"]
    properties += ["EXDATE:" + ",".join(minutes[i:i + 300]) for i in range(0, len(minutes), 300)]
    properties += ["END:VEVENT", "END:VCALENDAR"]
    # One line of 800,000 values (1.6 MB), which the parse step cuts.
    long_list = head + ["BEGIN:VEVENT", "UID:long-list@example.org", "DTSTAMP:20030101T000000Z",
                        "DTSTART:20230612T100000Z", "DTEND:20230612T110000Z",
                        "CATEGORIES:" + ",".join(["a"] * 800000), "SUMMARY:Many categories",
                        "END:VEVENT", "END:VCALENDAR"]
    # 20,000 time zones in a second calendar behind an empty first one.
    zones_behind = head + ["END:VCALENDAR"] + head
    for n in range(20000):
        zones_behind += zone_lines("Zone/Behind-%d" % n)
    zones_behind += ["BEGIN:VEVENT", "UID:zones-behind@example.org", "DTSTAMP:20030101T000000Z",
                     "DTSTART;TZID=Zone/Behind-0:20230612T100000", "SUMMARY:Behind the zones",
                     "END:VEVENT", "END:VCALENDAR"]
    uids = head + list(chain_lines(
        ["BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:20030101T000000Z",
         "DTSTART:20230612T100000Z", "SUMMARY:One slot", "END:VEVENT"]
        for uid in colliding_uids(7000)))
    uids.append("END:VCALENDAR")
    # Rules with COUNT from long ago whose last instances fall in 2026.
    count_ages = head + ["BEGIN:VEVENT", "UID:a", "DTSTART;VALUE=DATE:00010101",
                         "RRULE:FREQ=DAILY;COUNT=739925", "END:VEVENT",
                         "BEGIN:VEVENT", "UID:b", "DTSTART:19120101T000000Z",
                         "RRULE:FREQ=HOURLY;COUNT=999999", "END:VEVENT", "END:VCALENDAR"]
    # Four zones whose observance rule never gives a change, each used once.
    never_zones = list(head)
    for n in range(4):
        never_zones += ["BEGIN:VTIMEZONE", "TZID:Never/%d" % n, "BEGIN:STANDARD",
                        "DTSTART:20051030T030000", "TZOFFSETFROM:+0200", "TZOFFSETTO:+0100",
                        "RRULE:FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30", "END:STANDARD",
                        "END:VTIMEZONE"]
    for n in range(4):
        never_zones += ["BEGIN:VEVENT", "UID:z%d" % n,
                        "DTSTART;TZID=Never/%d:20230612T100000" % n, "END:VEVENT"]
    never_zones.append("END:VCALENDAR")
    # 10 KB of secondly rules in a zone, each worth a hundred thousand blocks.
    many_rules = list(head)
    n = 0
    while sum(len(line) + 2 for line in many_rules) < 9850:
        many_rules += ["BEGIN:VEVENT",
                       "DTSTART;TZID=America/New_York:20230606T%02d0000" % (n % 24),
                       "RRULE:FREQ=SECONDLY", "END:VEVENT"]
        n += 1
    many_rules.append("END:VCALENDAR")
    for name, lines in (("minutely", minutely), ("century", century), ("long-word", long_word),
                        ("exdates", exdates), ("overrides", overrides), ("never", never),
                        ("counts", counts), ("ages", ages), ("properties", properties),
                        ("long-list", long_list), ("zones-behind", zones_behind),
                        ("uids", uids), ("count-ages", count_ages), ("never-zones", never_zones),
                        ("many-rules", many_rules)):
        write(os.path.join(directory, "hostile-%s.ics" % name), b"".join(fold(l) for l in lines))


def chain_lines(groups):
    for group in groups:
        yield from group


def colliding_uids(count, slot=77, slots=10007):
    """UIDs with a long common start that all fall in one slot of a new
    UID table under the fixed hash evjoin once had (h * 33 ^ byte, from
    5381): the last byte is solved for, since it changes only the hash's
    low eight bits."""
    mask = 0xFFFFFFFF
    endings = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    allowed = set(range(0x21, 0x7F)) - set(b',;:\\"')
    found = []
    n = 0
    while len(found) < count:
        prefix = "shared-start-of-every-uid-" * 4 + "%d-" % n
        n += 1
        h = 5381
        for byte in prefix.encode():
            h = ((h * 33) ^ byte) & mask
        for a in endings:
            y = ((((h * 33) ^ ord(a)) & mask) * 33) & mask
            k = (slot - (y & ~0xFF)) % slots
            if k < 256 and (y & 0xFF) ^ k in allowed:
                found.append(prefix + a + chr((y & 0xFF) ^ k))
                if len(found) == count:
                    break
    return found


def zone_lines(tzid):
    """The Berlin rules under another name, as exports that give each
    event a zone of its own write them."""
    lines = list(VTIMEZONES["Europe/Berlin"])
    lines[1] = "TZID:" + tzid
    lines[2] = "X-LIC-LOCATION:" + tzid
    return lines


def zone_event_lines(n, tzid):
    day = datetime.date(2023, 1, 2) + datetime.timedelta(days=n % 700)
    start = "%sT%02d0000" % (date_text(day), 8 + n % 10)
    end = "%sT%02d3000" % (date_text(day), 8 + n % 10)
    uid = "zone-event-%d@example.org" % n
    master = ["BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:20230101T000000Z",
              "LAST-MODIFIED:20230101T000000Z", "DTSTART;TZID=%s:%s" % (tzid, start),
              "DTEND;TZID=%s:%s" % (tzid, end), "RRULE:FREQ=WEEKLY;COUNT=10",
              "SUMMARY:Meeting %d" % n, "LOCATION:Room %d" % (n % 50), "END:VEVENT"]
    if n % 10 != 3:
        return master
    moved_day = day + datetime.timedelta(days=7)
    return master + ["BEGIN:VEVENT", "UID:" + uid, "DTSTAMP:20230101T000000Z",
                     "LAST-MODIFIED:20230102T000000Z",
                     "RECURRENCE-ID;TZID=%s:%sT%02d0000" % (tzid, date_text(moved_day), 8 + n % 10),
                     "DTSTART;TZID=%s:%sT%02d0000" % (tzid, date_text(moved_day), 9 + n % 10),
                     "SUMMARY:Meeting %d (moved)" % n, "END:VEVENT"]


def write_zone_files(label, count, directory):
    def calendar(numbers, prodid):
        out = [fold("BEGIN:VCALENDAR"), fold("VERSION:2.0"), fold("PRODID:" + prodid)]
        for n in numbers:
            out += [fold(line) for line in zone_lines("Bench/Zone-%06d" % n)]
        for n in numbers:
            if n % 4 == 0:
                out += [fold(line) for line in zone_event_lines(n // 4, "Bench/Zone-%06d" % n)]
        out.append(fold("END:VCALENDAR"))
        return b"".join(out)
    write(os.path.join(directory, "zones-%s.ics" % label),
          calendar(range(count), "-//Example//Bench zones//EN"))
    quarter = (count + 3) // 4
    for index in range(4):
        numbers = range(index * quarter, min(count, (index + 1) * quarter))
        write(os.path.join(directory, "zones-%s-%d.ics" % (label, index + 1)),
              calendar(numbers, "-//Example//Bench zones part %d//EN" % (index + 1)))


def write_mix(directory, label, size, seed):
    """A calendar as people export theirs: fifteen years of meetings and
    appointments, birthdays that repeat every year from the year of birth,
    series that ended long ago and series that go on, a zone under its
    Windows name, reminders; and a calendar of birthdays alone."""
    r = random.Random(seed * 7919 + size)
    gen = generator(seed * 31 + size)
    windows = ["TZID:W. Europe Standard Time" if line.startswith("TZID:") else line
               for line in VTIMEZONES["Europe/Berlin"] if not line.startswith("X-LIC")]
    zones = ["W. Europe Standard Time", "Europe/Berlin", "America/New_York", None]
    events, birthdays = [], []

    def birthday():
        born = datetime.date(r.randint(1940, 2020), r.randint(1, 12), r.randint(1, 28))
        rule = "RRULE:FREQ=YEARLY"
        if r.random() < 0.5:
            rule += ";BYMONTH=%d;BYMONTHDAY=%d" % (born.month, born.day)
        return ["BEGIN:VEVENT", "UID:" + gen.uid(),
                "DTSTART;VALUE=DATE:" + date_text(born),
                "DTEND;VALUE=DATE:" + date_text(born + datetime.timedelta(days=1)), rule,
                "SUMMARY:Birthday of " + r.choice(WORDS), "TRANSP:TRANSPARENT",
                "DTSTAMP:20240101T000000Z", "END:VEVENT"]

    first = datetime.datetime(2011, 1, 1)
    while len(events) < size:
        draw = r.random()
        if draw < 0.08:
            events.append(birthday())
            continue
        # Recent years hold more of a calendar than early ones.
        day = int(5480 * (1 - r.random() ** 1.7))
        start = first + datetime.timedelta(days=day, hours=r.randint(7, 19),
                                           minutes=r.choice([0, 0, 15, 30]))
        zone = r.choice(zones)
        length = datetime.timedelta(minutes=r.choice([30, 60, 60, 90]))
        uid = gen.uid()
        lines = ["BEGIN:VEVENT", "UID:" + uid]
        if draw < 0.14:
            lines.append(time_property("DTSTART", start.date(), None, True))
            lines.append(time_property("DTEND", start.date() + datetime.timedelta(days=1), None, True))
        else:
            lines.append(time_property("DTSTART", start, zone, False))
            lines.append(time_property("DTEND", start + length, zone, False))
        overrides = []
        if 0.14 <= draw < 0.30:
            rule = "RRULE:FREQ=WEEKLY;BYDAY=" + DAY_NAMES[start.weekday()]
            ending = r.random()
            if ending < 0.6:
                until = start + datetime.timedelta(days=r.randint(30, 700))
                rule += ";UNTIL=" + stamp(until.replace(hour=23, minute=59))
            elif ending < 0.75:
                rule += ";COUNT=%d" % r.randint(2, 30)
            lines.append(rule)
            if r.random() < 0.3:
                k = r.randint(1, 8)
                instance = start + datetime.timedelta(weeks=k)
                overrides.append(["BEGIN:VEVENT", "UID:" + uid,
                                  time_property("RECURRENCE-ID", instance, zone, False),
                                  time_property("DTSTART", instance + datetime.timedelta(hours=1), zone, False),
                                  time_property("DTEND", instance + datetime.timedelta(hours=1) + length,
                                                zone, False),
                                  "SUMMARY:Moved", "DTSTAMP:20240101T000000Z", "END:VEVENT"])
        lines += gen.common(start - datetime.timedelta(days=r.randint(1, 60)))
        if r.random() < 0.3:
            lines += ["X-MICROSOFT-CDO-BUSYSTATUS:BUSY", "X-MICROSOFT-CDO-IMPORTANCE:1"]
        if r.random() < 0.35:
            lines += ["BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:Reminder",
                      "TRIGGER:-PT15M", "END:VALARM"]
        lines.append("END:VEVENT")
        events.append(lines)
        events += overrides
    while len(birthdays) < size:
        birthdays.append(birthday())
    for name, chosen in (("mix", events[:size]), ("birthdays", birthdays)):
        out = [fold("BEGIN:VCALENDAR"), fold("VERSION:2.0"),
               fold("PRODID:-//Example//Bench %s//EN" % name)]
        out += [fold(line) for line in windows]
        for zone in ZONES[:2]:
            out += [fold(line) for line in VTIMEZONES[zone]]
        for event in chosen:
            out += [fold(line) for line in event]
        out.append(fold("END:VCALENDAR"))
        write(os.path.join(directory, "%s-%s.ics" % (name, label)), b"".join(out))


def parse_size(text):
    if text.endswith("k"):
        return int(text[:-1]) * 1000
    return int(text)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--zones":
        os.makedirs(sys.argv[3], exist_ok=True)
        write_zone_files(sys.argv[2], parse_size(sys.argv[2]), sys.argv[3])
        print("%s: zone calendars" % sys.argv[2])
        return
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: make_calendars.py SIZE DIRECTORY [SEED] | --zones COUNT DIRECTORY")
    label = sys.argv[1]
    size = parse_size(label)
    directory = sys.argv[2]
    seed = int(sys.argv[3]) if len(sys.argv) == 4 else 6
    os.makedirs(directory, exist_ok=True)
    gen = generator(seed * 1000003 + size)
    groups = gen.groups(size)
    events = [event for _, group in groups for event in group]
    write(os.path.join(directory, "calendar-%s.ics" % label),
          calendar_bytes(events, "-//Example//Bench calendar//EN"))
    write_join_files(groups, directory, label, random.Random(seed))
    write_hostile(directory)
    write_mix(directory, label, size, seed)
    print("%s: %d events, %d UIDs" % (label, len(events), len(groups)))


if __name__ == "__main__":
    main()
