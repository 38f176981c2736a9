#!/bin/bash
# scan_test.sh: evtable with its scan before the parse against evtable
# parsing every event (EVTABLE_WHOLE_PARSE): standard output, standard
# error and exit status must be the same bytes. Over every case of
# testdata/ at its own period and a year after it, and
# over generated calendars at periods across their years.
#
#   scan_test.sh EVTABLE TESTDATA SCRATCH [CALENDARS]
#
# Each run takes a seeded sample (tests/seeded_sample.sh): 48 of the cases,
# each at both periods, and a quarter of CALENDARS calendars generated from
# the seed; EVTOOLS_FULL_TESTS=1 takes every case and CALENDARS calendars.
set -u
program=$1
data=$2
work=$3
calendars=${4:-60}
mkdir -p "$work"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../tests/seeded_sample.sh"
sample_start scan_matches_whole_parse
failures=0
runs=0

# compare INPUT ARGUMENTS...: one run each way. Each run writes its
# standard output and error into a folder of its own, and one diff compares
# both folders: a process per comparison is a tenth of its time.
mkdir -p "$work/scan" "$work/whole"
compare() {
    local input=$1 status_scan=0 status_whole=0
    shift
    "$program" "$@" <"$input" >"$work/scan/out" 2>"$work/scan/err" || status_scan=$?
    EVTABLE_WHOLE_PARSE=1 "$program" "$@" <"$input" >"$work/whole/out" 2>"$work/whole/err" ||
        status_whole=$?
    runs=$((runs + 1))
    if [ "$status_scan" != "$status_whole" ] || ! diff -q "$work/scan" "$work/whole" >/dev/null; then
        failures=$((failures + 1))
        echo "differs: evtable $* (status $status_scan, whole parse $status_whole)"
        diff "$work/whole/err" "$work/scan/err" | head -n 5
        diff "$work/whole/out" "$work/scan/out" | head -n 5
    fi
}

# Sets year_after to the date a year after YYYYMMDD, as date -d "... +1 year"
# gives it: 29 February goes to 1 March.
set_year_after() {
    local year=${1:0:4} day=${1:4:4}
    [ "$day" = 0229 ] && day=0301
    printf -v year_after '%04d%s' $((10#$year + 1)) "$day"
}

# The cases whose arguments name no output or scratch file.
mapfile -t cases < <(grep -L '@OUT\|@WORK\|@DATA' "$data"/*.args)
sample_take 48 "${cases[@]}"
for args_file in "${sampled[@]}"; do
    case=${args_file%.args}
    mapfile -t args <"$args_file"
    input=/dev/null
    [ -f "$case.stdin" ] && input=$case.stdin
    start_at=-1
    for i in "${!args[@]}"; do
        args[i]=${args[i]//@IN/$case.ics}
        if [ "$start_at" -lt 0 ] && [[ ${args[i]} =~ ^[0-9]{8}$ ]]; then
            start_at=$i
        fi
    done
    compare "$input" "${args[@]}"
    [ "$start_at" -ge 0 ] || continue
    moved=("${args[@]}")
    set_year_after "${args[start_at]}"
    moved[start_at]=$year_after
    compare "$input" "${moved[@]}"
done

$full || calendars=$(( (calendars + 3) / 4 ))
python3 "$here/scan_calendars.py" "$work" "$calendars" "$test_seed" || exit 1
periods=("20190301 P5W" "20200201 P1D" "20201220 P3W" "20210601 P365D" "20230101 P5W"
         "20240225 P10D" "20171101 P8W")
zones=("" "-z Pacific/Kiritimati" "-z America/Los_Angeles")
for ((n = 1; n <= calendars; n++)); do
    period=${periods[n % ${#periods[@]}]}
    zone=${zones[n % ${#zones[@]}]}
    # shellcheck disable=SC2086
    compare /dev/null $zone $period "$work/scan-$n.ics"
    compare /dev/null $period "$work/scan-$n.ics"
done

echo "$runs comparisons, $failures different"
[ "$failures" = 0 ]
