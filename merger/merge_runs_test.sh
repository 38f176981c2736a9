#!/bin/bash
# merge_runs_test.sh GROUP EVJOIN EXAMPLE WORK: evjoin run as a whole on
# generated and example calendars.
#   many_uids       30,000 UIDs over three inputs: one event per UID
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

case $group in
    many_uids) many_uids ;;
    *) echo "unknown group $group"; exit 2 ;;
esac
[ $failures -eq 0 ] && echo "$group: all passed"
exit $failures
