#!/bin/bash
# Random starts and durations on evtable's command line: every run ends with
# status 0, 2 or 3, never a crash or a sanitizer report, and a refused one
# writes nothing on standard output. 100 runs drawn from a seed
# (tests/seeded_sample.sh), 300 with EVTOOLS_FULL_TESTS=1.
set -u
evtable=$1
. "$(dirname "$0")/../tests/seeded_sample.sh"
sample_start random_arguments
total=100
$full && total=300
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\nDTSTART:20020927T093000Z\r\nRRULE:FREQ=WEEKLY\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' > "$work/cal.ics"

# The words are made without subshells: a fork per piece cost more than the
# runs of evtable themselves.
pieces=(0 1 9 00 01 12 13 29 30 31 99 0000 0001 2002 9999 10000 - + P W D T Z H M S 5 60 999999 2147483648 ' ' x)
piece() { REPLY=${pieces[RANDOM % ${#pieces[@]}]}; }
word() {
    local n=$((RANDOM % 5 + 1)) i
    WORD=""
    for ((i = 0; i < n; i++)); do piece; WORD+=$REPLY; done
}

failures=0
for ((run = 1; run <= total; run++)); do
    case $((run % 3)) in
        0) word; start=$WORD; word; duration=$WORD ;;
        1) printf -v start '%04d%02d%02d' $((RANDOM % 10001)) $((RANDOM % 14)) $((RANDOM % 33)); duration="P$((RANDOM % 400))D" ;;
        *) start=20020927; sign=""; ((RANDOM % 4)) || sign=-; piece; duration="${sign}P$((RANDOM * RANDOM))$REPLY" ;;
    esac
    ASAN_OPTIONS=detect_leaks=0 timeout 60 "$evtable" -- "$start" "$duration" "$work/cal.ics" \
        > "$work/out" 2> "$work/err"
    status=$?
    errors=""
    read -r -d '' errors < "$work/err"
    if [ $status -ne 0 ] && [ $status -ne 2 ] && [ $status -ne 3 ] ||
       [[ $errors == *"runtime error"* || $errors == *Sanitizer* ]] ||
       { [ $status -ne 0 ] && [ -s "$work/out" ]; }; then
        echo "FAIL: evtable -- '$start' '$duration': status $status"
        head -5 "$work/err"
        failures=$((failures + 1))
    fi
done
[ $failures -eq 0 ] && echo "arguments: $total runs passed"
exit $((failures > 0))
