#!/bin/bash
# merge_runs_test.sh GROUP EVJOIN EXAMPLE WORK: evjoin run as a whole on
# generated and example calendars.
#   many_uids       30,000 UIDs over three inputs: one event per UID
#   same_again      merging the output with its inputs again, or with
#                   itself, leaves it byte for byte as it was: the example
#                   calendar, and generated calendars of overriding
#                   instances, time zones and repeated events
set -u
group=$1
evjoin=$2
example=$3
work=$4
rm -rf "$work"
mkdir -p "$work"
failures=0

check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}

same_file() {  # same_file NAME EXPECTED ACTUAL
    if ! cmp -s "$2" "$3"; then
        echo "FAIL $1: $3 differs from $2"
        diff "$2" "$3" | head -n 20
        failures=$((failures + 1))
    fi
}

join() {  # join ARGS...: runs evjoin, status in $status, stderr in $work/err
    ASAN_OPTIONS=detect_leaks=0 "$evjoin" "$@" 2> "$work/err"
    status=$?
}

# masters FIRST COUNT STAMP FILE: COUNT events with UIDs uid-FIRST... and
# LAST-MODIFIED day STAMP (none when STAMP is 0).
masters() {
    awk -v first="$1" -v count="$2" -v stamp="$3" 'BEGIN {
        printf "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
        for (i = first; i < first + count; i++) {
            printf "BEGIN:VEVENT\r\nUID:uid-%d\r\nDTSTART:20260101T100000Z\r\n", i
            if (stamp > 0)
                printf "LAST-MODIFIED:202601%02dT000000Z\r\n", stamp
            printf "SUMMARY:uid-%d stamped %d\r\nEND:VEVENT\r\n", i, stamp
        }
        printf "END:VCALENDAR\r\n" }' > "$4"
}

many_uids() {
    masters 0 12000 1 "$work/a.ics"
    masters 10000 12000 2 "$work/b.ics"      # 2,000 of them newer copies
    masters 20000 10000 0 "$work/c.ics"      # 2,000 of them unstamped copies
    join "$work/a.ics" "$work/b.ics" "$work/c.ics" "$work/out.ics"
    check "30,000 UIDs: status" 0 "$status"
    check "30,000 UIDs: stderr" "" "$(cat "$work/err")"
    grep '^UID:' "$work/out.ics" | sort | uniq -c | awk '$1 != 1' > "$work/repeated"
    check "30,000 UIDs: events" 30000 "$(grep -c '^BEGIN:VEVENT' "$work/out.ics")"
    check "30,000 UIDs: distinct UIDs" 30000 "$(grep '^UID:' "$work/out.ics" | sort -u | wc -l)"
    check "30,000 UIDs: repeated UIDs" "" "$(head -n 3 "$work/repeated")"
    check "30,000 UIDs: newer copies won" 12000 "$(grep -c 'stamped 2' "$work/out.ics")"
    check "30,000 UIDs: unstamped copies lost" 8000 "$(grep -c 'stamped 0' "$work/out.ics")"
}

# A calendar of fixed-offset zones (Zone/K is K hours east; OFFSET_OF names
# other offsets), repeated events with and without stamps, overriding
# instances spelled with a TZID or in UTC, dates, and events without UID.
#   generated NAME FIRST_UID LAST_UID STAMP_DAY SPELLING ZONE_OFFSETS FILE
# SPELLING: zone or utc; ZONE_OFFSETS: "K:H K:H ..." zones defined, in order.
generated() {
    awk -v name="$1" -v first="$2" -v last="$3" -v day="$4" -v spelling="$5" \
        -v zones="$6" 'BEGIN {
        printf "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//%s//EN\r\n", name
        n = split(zones, defined, " ")
        for (z = 1; z <= n; z++) {
            split(defined[z], pair, ":")
            printf "BEGIN:VTIMEZONE\r\nTZID:Zone/%d\r\nX-DEFINED-IN:%s\r\n", pair[1], name
            printf "BEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
            printf "TZOFFSETFROM:+%02d00\r\nTZOFFSETTO:+%02d00\r\n", pair[2], pair[2]
            printf "TZNAME:Z%d\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n", pair[1]
        }
        for (i = first; i <= last; i++) {
            zone = i % 10
            printf "BEGIN:VEVENT\r\nUID:gen-%d\r\n", i
            if (i % 7 != 0)
                printf "LAST-MODIFIED:202601%02dT%02d0000Z\r\n", day, i % 24
            printf "DTSTART;TZID=Zone/%d:20261103T100000\r\n", zone
            printf "RRULE:FREQ=WEEKLY;COUNT=10\r\nSUMMARY:gen-%d from %s\r\nEND:VEVENT\r\n", i, name
            if (i % 3 == 0) {
                # The third week moved, spelled in the zone or in UTC.
                printf "BEGIN:VEVENT\r\nUID:gen-%d\r\n", i
                if (i % 5 != 0)
                    printf "LAST-MODIFIED:202602%02dT000000Z\r\n", day + i % 4
                if (spelling == "zone")
                    printf "RECURRENCE-ID;TZID=Zone/%d:20261117T100000\r\n", zone
                else
                    printf "RECURRENCE-ID:20261117T%02d0000Z\r\n", 10 - zone
                printf "DTSTART;TZID=Zone/%d:20261118T100000\r\n", zone
                printf "SUMMARY:gen-%d moved in %s\r\nEND:VEVENT\r\n", i, name
            }
            if (i % 4 == 0) {
                # An all-day instance, twice in the same file.
                for (copy = 1; copy <= 2; copy++) {
                    printf "BEGIN:VEVENT\r\nUID:gen-%d\r\nRECURRENCE-ID;VALUE=DATE:20261124\r\n", i
                    printf "DTSTART;VALUE=DATE:20261125\r\n"
                    printf "SUMMARY:gen-%d day copy %d in %s\r\nEND:VEVENT\r\n", i, copy, name
                }
            }
            if (i % 11 == 0)
                printf "BEGIN:VEVENT\r\nDTSTART:20261103T100000Z\r\nSUMMARY:no UID in %s\r\nEND:VEVENT\r\n", name
        }
        printf "END:VCALENDAR\r\n" }' > "$7"
}

# Runs every repeat of a first merge; each must leave the output as it was.
#   repeats NAME INPUT... : the first merge is evjoin INPUT... OUT
repeats() {
    local name=$1
    shift
    local out=$work/$name.ics
    join "$@" "$out"
    check "$name: first merge status" 0 "$status"
    cp "$out" "$work/$name.first"
    local last=${*: -1}
    join "$out" "$last" "$out"
    check "$name: output and last input: status" 0 "$status"
    same_file "$name: output and last input" "$work/$name.first" "$out"
    join "$out" "$out"
    check "$name: output alone: status" 0 "$status"
    same_file "$name: output alone" "$work/$name.first" "$out"
    join "$out" "$out" "$out"
    same_file "$name: output twice" "$work/$name.first" "$out"
    check "$name: nothing said on the output" "" "$(cat "$work/err")"
    join "$out" "$@" "$out"
    same_file "$name: output and every input" "$work/$name.first" "$out"
}

same_again() {
    # The manual page's routine: a new export merged into the calendar.
    sed 's/^SUMMARY:/SUMMARY:Export: /' "$example" > "$work/export.ics"
    cp "$example" "$work/calendar.ics"
    repeats example "$work/calendar.ics" "$work/export.ics"
    check "example: events" "$(grep -c '^BEGIN:VEVENT' "$example")" \
        "$(grep -c '^BEGIN:VEVENT' "$work/example.ics")"
    cp "$example" "$work/calendar.ics"
    for run in 1 2 3; do
        join "$work/calendar.ics" "$work/export.ics" "$work/calendar.ics"
    done
    same_file "example: three routine runs" "$work/example.first" "$work/calendar.ics"

    # Zone/3 defined differently in b: a's definition wins, and b's UTC
    # spellings of the moved instances are read in it.
    generated a 0 299 5 zone "0:0 1:1 2:2 3:3 4:4 1:9 5:5 6:6 7:7 8:8 9:9" "$work/a.ics"
    generated b 150 449 7 utc "3:6 9:9 10:10 11:11" "$work/b.ics"
    repeats generated "$work/a.ics" "$work/b.ics"
    check "generated: without UID said" \
        "evjoin: $work/a.ics: 28 events without UID left out
evjoin: $work/b.ics: 27 events without UID left out" \
        "$(join "$work/a.ics" "$work/b.ics" "$work/check.ics"; cat "$work/err")"
    local out=$work/generated.first
    check "generated: zones in document order" "0 1 2 3 4 5 6 7 8 9 10 11" \
        "$(sed -n 's/^TZID:Zone\/\([0-9]*\).*/\1/p' "$out" | tr '\r\n' '  ' | sed 's/ *$//; s/  */ /g')"
    check "generated: first definition of Zone/1" "+0100" \
        "$(grep -A 5 '^TZID:Zone/1.$' "$out" | sed -n 's/^TZOFFSETTO:\(.....\).*/\1/p')"
    check "generated: masters" 450 "$(grep -c '^RRULE' "$out")"
    check "generated: moved instances" 150 "$(grep -c '^RECURRENCE-ID:\|^RECURRENCE-ID;TZID' "$out")"
    check "generated: all-day instances" 113 "$(grep -c '^RECURRENCE-ID;VALUE=DATE' "$out")"
    check "generated: no event without UID" 0 "$(grep -c '^SUMMARY:no UID' "$out")"
}

case $group in
    many_uids) many_uids ;;
    same_again) same_again ;;
    *) echo "unknown group $group"; exit 2 ;;
esac
[ $failures -eq 0 ] && echo "$group: all passed"
exit $failures
