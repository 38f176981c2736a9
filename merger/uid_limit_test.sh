#!/bin/bash
# The UID table holds 10007 UIDs: 10007 distinct UIDs across two inputs merge,
# the 10008th ends the run with status 1 and leaves the output as it was.
set -u
evjoin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# events FIRST COUNT FILE: a calendar of COUNT events with UIDs uid-FIRST...
events() {
    awk -v first="$1" -v count="$2" 'BEGIN {
        printf "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
        for (i = first; i < first + count; i++)
            printf "BEGIN:VEVENT\r\nUID:uid-%d\r\nDTSTART:20260101T100000Z\r\nEND:VEVENT\r\n", i
        printf "END:VCALENDAR\r\n" }' > "$3"
}

check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}

events 0 5000 "$work/a.ics"
events 5000 5007 "$work/b.ics"
events 5000 5008 "$work/c.ics"
# Overriding instances and repeated UIDs do not take room.
printf 'BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:uid-1\r\nRECURRENCE-ID:20260108T100000Z\r\nDTSTART:20260108T110000Z\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:uid-2\r\nDTSTART:20260101T100000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' > "$work/d.ics"

ASAN_OPTIONS=detect_leaks=0 "$evjoin" "$work/a.ics" "$work/b.ics" "$work/d.ics" "$work/fits.ics" 2> "$work/err"
check "10007 UIDs: status" 0 $?
check "10007 UIDs: events" 10008 "$(grep -c '^BEGIN:VEVENT' "$work/fits.ics")"
check "10007 UIDs: stderr" "" "$(cat "$work/err")"

echo "earlier content" > "$work/full.ics"
ASAN_OPTIONS=detect_leaks=0 "$evjoin" "$work/a.ics" "$work/c.ics" "$work/full.ics" 2> "$work/err"
check "10008 UIDs: status" 1 $?
check "10008 UIDs: message" "No room in hash table" "$(cat "$work/err")"
check "10008 UIDs: output kept" "earlier content" "$(cat "$work/full.ics")"
check "10008 UIDs: no temporary file" "a.ics b.ics c.ics d.ics err fits.ics full.ics" "$(cd "$work" && echo $(ls -A))"

[ $failures -eq 0 ] && echo "uid limit: all passed"
exit $failures
