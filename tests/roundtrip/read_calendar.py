"""read_calendar.py FILE: what python icalendar reads in a calendar that
evsift or evjoin wrote, as one line of JSON: the calendar's properties
(name and value, in order), its time zones and its events. Reading the
file, writing it back and reading that again must give the same (but the
order of the calendar's properties, which icalendar writes sorted); a parse
error, or a difference, ends with status 1."""
import json
import sys

from icalendar import Calendar
from icalendar.prop import vText


def value_text(value):
    if isinstance(value, vText):
        return str(value)
    return value.to_ical().decode()


def summary(calendar):
    errors = [error for component in calendar.walk() for error in component.errors]
    if errors:
        sys.exit("%s: parse errors: %s" % (sys.argv[1], errors))
    properties = [[name, value_text(value)]
                  for name, value in calendar.property_items(recursive=False, sorted=False)
                  if name not in ("BEGIN", "END")]
    zones = [str(zone["TZID"]) for zone in calendar.walk("VTIMEZONE")]
    events = [[str(event.get("UID", "")), event["RECURRENCE-ID"].to_ical().decode()
               if "RECURRENCE-ID" in event else "", str(event.get("SUMMARY", ""))]
              for event in calendar.walk("VEVENT")]
    return {"calendar": properties, "zones": zones, "events": events}


with open(sys.argv[1], "rb") as f:
    text = f.read()
first = summary(Calendar.from_ical(text))
if len(first["events"]) != text.count(b"\r\nBEGIN:VEVENT\r\n"):
    sys.exit("%s: %d events read of %d" % (sys.argv[1], len(first["events"]),
                                           text.count(b"\r\nBEGIN:VEVENT\r\n")))
second = summary(Calendar.from_ical(Calendar.from_ical(text).to_ical()))
def unordered(summary):
    return dict(summary, calendar=sorted(summary["calendar"]))


if unordered(first) != unordered(second):
    sys.exit("%s: changed by a round trip:\n%s\n%s" % (sys.argv[1], first, second))
print(json.dumps(first, ensure_ascii=False, sort_keys=True, separators=(",", ":")))
