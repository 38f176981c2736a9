#!/usr/bin/env python3
# scan_calendars.py: writes calendars that put evtable's scan before the
# parse to the test: series with COUNT and UNTIL, BY lists, RDATEs before
# DTSTART and periods, overrides moved into and out of a period, names and
# BEGIN lines folded anywhere, zones of every kind, rules that never give an
# instance. The same bytes for the same seed.
#
#   scan_calendars.py DIRECTORY COUNT [SEED]
#
# Writes DIRECTORY/scan-N.ics for N from 1 to COUNT.
import random
import sys

ZONE_BLOCKS = {
    "Europe/Berlin": [
        "BEGIN:VTIMEZONE", "TZID:Europe/Berlin",
        "BEGIN:DAYLIGHT", "TZOFFSETFROM:+0100", "TZOFFSETTO:+0200", "TZNAME:CEST",
        "DTSTART:19700329T020000", "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU", "END:DAYLIGHT",
        "BEGIN:STANDARD", "TZOFFSETFROM:+0200", "TZOFFSETTO:+0100", "TZNAME:CET",
        "DTSTART:19701025T030000", "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU", "END:STANDARD",
        "END:VTIMEZONE",
    ],
    # A made-up zone far from UTC: its times lie most of four days off.
    "Far East": [
        "BEGIN:VTIMEZONE", "TZID:Far East",
        "BEGIN:STANDARD", "TZOFFSETFROM:+9500", "TZOFFSETTO:+9500", "TZNAME:FAR",
        "DTSTART:19700101T000000", "END:STANDARD", "END:VTIMEZONE",
    ],
}
ZONES = [None, None, "Z", "Europe/Berlin", "America/New_York", "Pacific/Kiritimati",
         "Far East", "W. Europe Standard Time"]
DAYS = ["MO", "TU", "WE", "TH", "FR", "SA", "SU"]


def fold_at(line, rng):
    """The line folded once or twice at random places, even inside its name."""
    if len(line) < 3 or rng.random() < 0.6:
        return [line]
    cuts = sorted(set(rng.randrange(1, len(line)) for _ in range(rng.randint(1, 2))))
    parts, last = [], 0
    for cut in cuts:
        parts.append(line[last:cut])
        last = cut
    parts.append(line[last:])
    return [parts[0]] + [rng.choice([" ", "\t"]) + p for p in parts[1:]]


class maker:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.serial = 0

    def moment(self):
        r = self.rng
        return (r.randint(2018, 2025), r.randint(1, 12), r.choice([1, 5, 14, 28, 29, 30, 31]),
                r.randint(0, 23), r.choice([0, 30]))

    def time(self, name, when, zone, all_day):
        y, mo, d, h, mi = when
        d = min(d, [31, 29 if y % 4 == 0 else 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][mo - 1])
        if all_day:
            return "%s;VALUE=DATE:%04d%02d%02d" % (name, y, mo, d)
        text = "%04d%02d%02dT%02d%02d00" % (y, mo, d, h, mi)
        if zone == "Z":
            return "%s:%sZ" % (name, text)
        if zone is None:
            return "%s:%s" % (name, text)
        return "%s;TZID=%s:%s" % (name, zone, text)

    def later(self, when, days):
        y, mo, d, h, mi = when
        total = (y * 12 + mo - 1) * 31 + d - 1 + days
        return (total // (12 * 31), total // 31 % 12 + 1, total % 31 + 1, h, mi)

    def rule(self):
        r = self.rng
        freq = r.choice(["DAILY", "WEEKLY", "WEEKLY", "MONTHLY", "YEARLY", "YEARLY", "HOURLY"])
        parts = ["FREQ=" + freq]
        if r.random() < 0.3:
            parts.append("INTERVAL=%d" % r.randint(2, 5))
        draw = r.random()
        if draw < 0.4:
            parts.append("COUNT=%d" % r.choice([1, 2, 5, 10, 40, 200, 999, 1000, 5000]))
        elif draw < 0.7:
            y, mo, d, h, mi = self.moment()
            parts.append(r.choice(["UNTIL=%04d%02d%02d" % (y, mo, min(d, 28)),
                                   "UNTIL=%04d%02d%02dT235959Z" % (y, mo, min(d, 28))]))
        by = r.random()
        if by < 0.15 and freq == "WEEKLY":
            parts.append("BYDAY=" + ",".join(r.sample(DAYS, r.randint(1, 3))))
        elif by < 0.25 and freq == "MONTHLY":
            parts.append("BYDAY=%d%s" % (r.choice([1, 2, -1, 5, -5]), r.choice(DAYS)))
        elif by < 0.35 and freq == "MONTHLY":
            parts.append("BYMONTHDAY=%d" % r.choice([1, 15, 28, 30, 31, -1]))
        elif by < 0.45 and freq == "YEARLY":
            parts.append("BYMONTH=%d" % r.randint(1, 12))
        elif by < 0.5:
            parts.append("BYMONTH=2;BYMONTHDAY=30")   # never gives an instance
        elif by < 0.55:
            parts.append("BYSETPOS=2;BYDAY=MO,TU")
        r.shuffle(parts)
        return "RRULE:" + ";".join(parts)

    def event(self, uid, recurrence=None):
        r = self.rng
        zone = r.choice(ZONES)
        all_day = r.random() < 0.25
        start = self.moment()
        lines = ["BEGIN:VEVENT"]
        if uid is not None:
            lines.append("UID:" + uid)
        lines.append("DTSTAMP:20200101T000000Z")
        if recurrence is not None:
            rid = self.time("RECURRENCE-ID", recurrence, zone, all_day)
            if r.random() < 0.1:
                rid = rid.replace("RECURRENCE-ID", "RECURRENCE-ID;RANGE=THISANDFUTURE", 1)
            lines.append(rid)
            if r.random() < 0.5:
                start = self.later(recurrence, r.choice([-40, -1, 0, 1, 40]))
        lines.append(self.time("DTSTART", start, zone, all_day))
        draw = r.random()
        if draw < 0.5:
            lines.append(self.time("DTEND", self.later(start, r.choice([0, 1, 3, 40])),
                                   zone, all_day))
        elif draw < 0.7:
            lines.append("DURATION:" + r.choice(["PT1H", "P2D", "P1W", "PT0S", "-PT1H", "P400D"]))
        elif draw < 0.75:
            lines.append(self.time("DTEND", self.later(start, 2), zone, all_day))
            lines.append("DURATION:P9D")
        if recurrence is None and r.random() < 0.5:
            lines.append(self.rule())
            if r.random() < 0.05:
                lines.append(self.rule())
        if r.random() < 0.15:
            before = self.later(start, -r.randint(1, 900))
            lines.append(self.time("RDATE", before, zone, all_day))
        if r.random() < 0.05:
            lines.append("RDATE;VALUE=PERIOD:%04d%02d%02dT100000Z/%s" % (
                start[0] + r.randint(-2, 2), start[1], min(start[2], 28),
                r.choice(["P3D", "PT2H", "20300101T000000Z", "-P1D"])))
        if r.random() < 0.15:
            lines.append(self.time("EXDATE", self.later(start, 7), zone, all_day))
        lines.append("SUMMARY:Event %d" % self.serial)
        if r.random() < 0.1:
            lines.append("BEGIN:VALARM")
            lines.append("ACTION:DISPLAY")
            lines.append("TRIGGER:-PT15M")
            lines.append("END:VALARM")
        if r.random() < 0.03:
            name = r.choice(["dtstart", "Dtend", "uid", "rrule"])
            lines.append(name + ":20210101T000000")
        if r.random() < 0.03:
            lines.append("X-DTSTART:20210606T000000")
        if r.random() < 0.02:
            lines.append("ATTACH;VALUE=BINARY;ENCODING=BASE64:AAAA")
        lines.append("END:VEVENT")
        self.serial += 1
        return lines, start

    def calendar(self):
        r = self.rng
        lines = ["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//evtools//scan test//EN"]
        for zone in ZONE_BLOCKS.values():
            lines += zone
        for _ in range(r.randint(5, 40)):
            uid = None if r.random() < 0.05 else "u%d@test" % r.randint(1, 30)
            event, start = self.event(uid)
            lines += event
            if uid is not None and r.random() < 0.3:
                moved, _ = self.event(uid, self.later(start, r.choice([0, 7, 30, 365])))
                lines += moved
        lines.append("END:VCALENDAR")
        if r.random() < 0.1:
            event, _ = self.event("lone@test")
            lines += event
        out = []
        for line in lines:
            out += fold_at(line, r)
        end = r.choice(["\r\n", "\r\n", "\n"])
        return (end.join(out) + end).encode()


def main():
    directory, count = sys.argv[1], int(sys.argv[2])
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 23
    m = maker(seed)
    for n in range(1, count + 1):
        with open("%s/scan-%d.ics" % (directory, n), "wb") as f:
            f.write(m.calendar())


if __name__ == "__main__":
    main()
