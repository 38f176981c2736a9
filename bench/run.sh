#!/usr/bin/env bash
# run.sh: measures evtable, evsift and evjoin against the floor programs (the
# plain libical work they cannot avoid) on generated calendars, and prints one
# table. Run by `make bench` after the Release build.
#
# Settings from the environment:
#   BENCH_SIZES    sizes to measure (default "1k 10k"; "1k 10k 100k" adds 100k)
#   BENCH_SEED     the generator's seed (default 6)
#   BENCH_BUILD    the build folder holding bin/ (default build)
#   BENCH_VALGRIND 0: wall time only, even where valgrind is installed
#   BENCH_PROFILE  1: also write callgrind profiles of the programs under
#                  BUILD/bench/profile and list their top functions (inclusive)
#   BENCH_TIMEOUT  seconds after which a hostile case is stopped (default 120)
#   BENCH_ZONES    numbers of distinct TZIDs for the time-zone rows (default
#                  "20k"; "5k 10k 20k" shows how the cost grows; "" none)
#
# Instruction counts come from callgrind for sizes up to 10k (callgrind is
# slow; 20k for the time-zone rows, 1k for the ten-year page); seconds are
# always the median of three wall times, and ratios use them where no
# instructions were counted. Peak memory is the largest resident size of the
# runs (/usr/bin/time, else getrusage).
# Ratios compare each program with its floor measured in the same run:
# evtable with parse plus the rules iterated from the period, evsift and evjoin
# with parse plus write-back of the same events, and on calendars of
# thousands of distinct time zones with the parse of the same files.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD:-$root/build}
case $build in /*) ;; *) build=$root/$build ;; esac
bin=$build/bin
data=$build/bench
out=$data/out
sizes=${BENCH_SIZES:-1k 10k}
seed=${BENCH_SEED:-6}
zone_counts=${BENCH_ZONES-20k}
timeout_seconds=${BENCH_TIMEOUT:-120}
runs=3
five_weeks=(20230605 P5W)
one_year=(20230101 P365D)
ten_years=(20180101 P3652D)

for program in evtable evsift evjoin bench_parse bench_writeback bench_expand bench_rusage bench_scan; do
    if [ ! -x "$bin/$program" ]; then
        echo "run.sh: $bin/$program is missing: build first (make build)" >&2
        exit 1
    fi
done
mkdir -p "$data" "$out"

use_valgrind=0
if [ "${BENCH_VALGRIND:-1}" != 0 ] && command -v valgrind >/dev/null; then
    use_valgrind=1
fi
use_time=0
[ -x /usr/bin/time ] && use_time=1

size_number() {
    case $1 in
        *k) echo $(( ${1%k} * 1000 )) ;;
        *) echo "$1" ;;
    esac
}

# The calendars of one size, made again when the seed or the generator changed.
generate() {
    local size=$1 stamp="$data/stamp-$1"
    local wanted="seed $seed $(cksum < "$root/bench/make_calendars.py")"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ] && [ -f "$data/calendar-$size.ics" ]; then
        return
    fi
    rm -f "$data"/calendar-"$size".ics "$data"/join-"$size"-*.ics
    python3 "$root/bench/make_calendars.py" "$size" "$data" "$seed" >&2
    echo "$wanted" > "$stamp"
}

# Instructions of one run under callgrind; empty when the run failed.
count_instructions() {
    local log=$out/callgrind.log
    if ! valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" >/dev/null 2>"$log"; then
        return 0
    fi
    sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$log" | tail -n 1
}

# One run: sets run_seconds (wall), run_cpu (user plus system) and run_peak
# (KiB); returns the command's status.
run_once() {
    local usage_file=$out/usage.txt status=0 start end usage
    start=$EPOCHREALTIME
    if [ "$use_time" = 1 ]; then
        /usr/bin/time -f '%M %U %S' -o "$usage_file" "$@" >/dev/null 2>"$out/stderr.txt" ||
            status=$?
        end=$EPOCHREALTIME
        usage=$(tail -n 1 "$usage_file")
    else
        "$bin/bench_rusage" "$@" >/dev/null 2>"$out/stderr.txt" || status=$?
        end=$EPOCHREALTIME
        usage=$(tail -n 1 "$out/stderr.txt")
    fi
    run_peak=${usage%% *}
    run_cpu=$(awk -v u="$usage" 'BEGIN { split(u, f, " "); printf "%.2f", f[2] + f[3] }')
    run_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    return "$status"
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

declare -A instr seconds cpu peak floor_of label_of status_of
rows=()

# measure KEY SIZE LABEL FLOOR-KEY command...: records one table row.
measure() {
    local key=$1 size=$2 row_label=$3 floor=$4
    shift 4
    local id="$key|$size" times=() cpus=() peaks=() i status=0
    rows+=("$id")
    label_of[$id]=$row_label
    floor_of[$id]=$floor
    for ((i = 0; i < runs; i++)); do
        run_once "$@" || { status=$?; break; }
        times+=("$run_seconds")
        cpus+=("$run_cpu")
        peaks+=("$run_peak")
    done
    status_of[$id]=$status
    if [ "$status" != 0 ]; then
        echo "run.sh: $row_label ($size) failed with status $status: $(head -c 300 "$out/stderr.txt")" >&2
        return
    fi
    seconds[$id]=$(median "${times[@]}")
    cpu[$id]=$(median "${cpus[@]}")
    peak[$id]=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -n 1)
    local counted_up_to=10000
    [[ $key == *zones* ]] && counted_up_to=20000
    # Ten years of every rule cost callgrind tens of minutes at 10k.
    [[ $key == *_10y ]] && counted_up_to=1000
    if [ "$use_valgrind" = 1 ] && [ "$(size_number "$size")" -le "$counted_up_to" ]; then
        instr[$id]=$(count_instructions "$@")
    fi
    echo "  $row_label ($size): ${instr[$id]:-} ${seconds[$id]} s" >&2
}

profile() {
    local name=$1
    shift
    local file=$data/profile/callgrind.$name
    mkdir -p "$data/profile"
    valgrind --tool=callgrind --callgrind-out-file="$file" "$@" >/dev/null 2>/dev/null || true
    echo
    echo "== $name: top functions, inclusive ($file)"
    callgrind_annotate --inclusive=yes "$file" 2>/dev/null |
        sed -n '/^Ir/,$p' | grep -v '^ *$' | head -n 27
}

count_events() {
    grep -c '^BEGIN:VEVENT' "$1" || true
}

checks=()
for size in $sizes; do
    generate "$size"
    calendar=$data/calendar-$size.ics
    joins=("$data"/join-"$size"-{1,2,3,4}.ics)
    echo "size $size" >&2
    measure parse "$size" "floor a: parse" "" "$bin/bench_parse" "$calendar"
    measure write "$size" "floor b: parse+write" "" \
        "$bin/bench_writeback" "$out/floor-$size.ics" "$calendar"
    measure write_work "$size" "floor b: parse+write -c work" "" \
        "$bin/bench_writeback" -c work "$out/floor-work-$size.ics" "$calendar"
    measure expand_5w "$size" "floor c: parse+rules 5 weeks" "" \
        "$bin/bench_expand" "${five_weeks[@]}" "$calendar"
    measure expand_1y "$size" "floor c: parse+rules 1 year" "" \
        "$bin/bench_expand" "${one_year[@]}" "$calendar"
    measure evtable_5w "$size" "evtable 5 weeks" expand_5w \
        "$bin/evtable" "${five_weeks[@]}" "$calendar"
    measure evtable_1y "$size" "evtable 1 year" expand_1y \
        "$bin/evtable" "${one_year[@]}" "$calendar"
    measure expand_10y "$size" "floor c: parse+rules 10 years" "" \
        "$bin/bench_expand" "${ten_years[@]}" "$calendar"
    measure evtable_10y "$size" "evtable 10 years" expand_10y \
        "$bin/evtable" "${ten_years[@]}" "$calendar"
    # A calendar as people export theirs, and one of birthdays alone.
    measure expand_mix_5w "$size" "floor c: mix, 5 weeks" "" \
        "$bin/bench_expand" "${five_weeks[@]}" "$data/mix-$size.ics"
    measure evtable_mix_5w "$size" "evtable mix, 5 weeks" expand_mix_5w \
        "$bin/evtable" "${five_weeks[@]}" "$data/mix-$size.ics"
    measure expand_mix_1y "$size" "floor c: mix, 1 year" "" \
        "$bin/bench_expand" "${one_year[@]}" "$data/mix-$size.ics"
    measure evtable_mix_1y "$size" "evtable mix, 1 year" expand_mix_1y \
        "$bin/evtable" "${one_year[@]}" "$data/mix-$size.ics"
    measure expand_birthdays "$size" "floor c: birthdays, 1 year" "" \
        "$bin/bench_expand" "${one_year[@]}" "$data/birthdays-$size.ics"
    measure evtable_birthdays "$size" "evtable birthdays, 1 year" expand_birthdays \
        "$bin/evtable" "${one_year[@]}" "$data/birthdays-$size.ics"
    checks+=("$size: evtable's scan kept, 5 weeks: $("$bin/bench_scan" "${five_weeks[@]}" "$calendar"); 1 year: $("$bin/bench_scan" "${one_year[@]}" "$calendar"); 10 years: $("$bin/bench_scan" "${ten_years[@]}" "$calendar")")
    checks+=("$size: evtable's scan kept, mix 5 weeks: $("$bin/bench_scan" "${five_weeks[@]}" "$data/mix-$size.ics"); mix 1 year: $("$bin/bench_scan" "${one_year[@]}" "$data/mix-$size.ics"); birthdays 1 year: $("$bin/bench_scan" "${one_year[@]}" "$data/birthdays-$size.ics")")
    measure evsift "$size" "evsift" write \
        "$bin/evsift" "$calendar" "$out/sift-$size.ics"
    measure evsift_work "$size" "evsift -c work" write_work \
        "$bin/evsift" -c work "$calendar" "$out/sift-work-$size.ics"
    checks+=("$size: evsift kept $(count_events "$out/sift-$size.ics") of $(count_events "$calendar") events, -c work $(count_events "$out/sift-work-$size.ics") (floor b wrote $(count_events "$out/floor-$size.ics") and $(count_events "$out/floor-work-$size.ics"))")
    measure write_join "$size" "floor b: parse+write 4 files" "" \
        "$bin/bench_writeback" -j "$out/floor-join-$size.ics" "${joins[@]}"
    measure evjoin "$size" "evjoin 4 files" write_join \
        "$bin/evjoin" "${joins[@]}" "$out/join-$size.ics"
    checks+=("$size: evjoin wrote $(count_events "$out/join-$size.ics") events from $(cat "${joins[@]}" | count_events /dev/stdin) (floor b wrote $(count_events "$out/floor-join-$size.ics"))")
    if [ "${BENCH_PROFILE:-0}" = 1 ] && command -v valgrind >/dev/null; then
        profile "evtable-5w-$size" "$bin/evtable" "${five_weeks[@]}" "$calendar"
        profile "evtable-1y-$size" "$bin/evtable" "${one_year[@]}" "$calendar"
        profile "expand-1y-$size" "$bin/bench_expand" "${one_year[@]}" "$calendar"
        profile "evsift-work-$size" "$bin/evsift" -c work "$calendar" "$out/sift-work-$size.ics"
        profile "evjoin-$size" "$bin/evjoin" "${joins[@]}" "$out/join-$size.ics"
    fi
done

# Calendars of many distinct time zones: what libical does per VTIMEZONE
# must not grow with their number. Against the parse of the same files, in
# instructions up to 20k zones: a merge holds every input at once and the
# parse one at a time, which its wall time shows too.
generate_zones() {
    local count=$1 stamp="$data/stamp-zones-$1"
    local wanted="$(cksum < "$root/bench/make_calendars.py")"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ] && [ -f "$data/zones-$count.ics" ]; then
        return
    fi
    python3 "$root/bench/make_calendars.py" --zones "$count" "$data" >&2
    echo "$wanted" > "$stamp"
}
for count in $zone_counts; do
    generate_zones "$count"
    zone_files=("$data"/zones-"$count"-{1,2,3,4}.ics)
    echo "time zones $count" >&2
    measure parse_zones "$count" "floor a: parse, TZIDs" "" "$bin/bench_parse" "$data/zones-$count.ics"
    measure evsift_zones "$count" "evsift, TZIDs" parse_zones \
        "$bin/evsift" "$data/zones-$count.ics" "$out/sift-zones-$count.ics"
    measure parse_zones_join "$count" "floor a: parse 4 files, TZIDs" "" \
        "$bin/bench_parse" "${zone_files[@]}"
    measure evjoin_zones "$count" "evjoin 4 files, TZIDs" parse_zones_join \
        "$bin/evjoin" "${zone_files[@]}" "$out/join-zones-$count.ics"
    checks+=("$count TZIDs: evsift wrote $(grep -c '^BEGIN:VTIMEZONE' "$out/sift-zones-$count.ics") time zones, evjoin $(grep -c '^BEGIN:VTIMEZONE' "$out/join-zones-$count.ics")")
done

target_of() {
    case $1 in
        *_zones) echo "<=1.50" ;;
        evtable_5w | evtable_mix_5w) echo "<=0.30" ;;
        evtable_1y | evtable_mix_1y) echo "<=0.70" ;;
        evtable*) echo "<=1.10" ;;
        evsift* | evjoin*) echo "<=1.05" ;;
        *) echo "" ;;
    esac
}

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b == 0) print "-"; else printf "%.3f", a / b }'
}

echo
if [ "$use_valgrind" = 1 ]; then
    echo "instructions: callgrind (sizes up to 10k, time zones up to 20k); seconds: median of $runs wall times"
else
    echo "instructions: not counted (no valgrind, or BENCH_VALGRIND=0); seconds: median of $runs wall times"
fi
echo "ratio: instructions (else seconds) over the floor named after the program; memory ratio: peak over the floor's peak"
printf '%-30s %5s %14s %8s %7s %7s %9s %6s %7s\n' \
    program size instructions seconds ratio target "peak KiB" "mem" target
for id in "${rows[@]}"; do
    key=${id%|*}
    size=${id#*|}
    name=${label_of[$id]}
    if [ "${status_of[$id]}" != 0 ]; then
        printf '%-30s %5s  failed with status %s\n' "$name" "$size" "${status_of[$id]}"
        continue
    fi
    floor=${floor_of[$id]}
    r="floor" m="" t="" mt=""
    if [ -n "$floor" ]; then
        fid="$floor|$size"
        if [ -n "${instr[$id]:-}" ] && [ -n "${instr[$fid]:-}" ]; then
            r=$(ratio "${instr[$id]}" "${instr[$fid]}")
        else
            r=$(ratio "${seconds[$id]}" "${seconds[$fid]:-}")
        fi
        m=$(ratio "${peak[$id]}" "${peak[$fid]:-}")
        t=$(target_of "$key")
        # A merge holds every input at once; the parse floor one at a time.
        [[ $key == *_zones ]] || mt="<=1.10"
        [[ $key == evtable_5w || $key == evtable_mix_5w ]] && mt="<=0.30"
    fi
    printf '%-30s %5s %14s %8s %7s %7s %9s %6s %7s\n' "$name" "$size" "${instr[$id]:--}" \
        "${seconds[$id]}" "$r" "$t" "${peak[$id]}" "$m" "$mt"
done

# Linearity: the cost at ten times the size against the cost at the smaller
# size; instructions where both sizes have them, else wall time, and the
# processor time beside it (wall time on a busy machine says little).
previous=""
for size in $sizes; do
    if [ -n "$previous" ] && [ "$(size_number "$size")" = $(( $(size_number "$previous") * 10 )) ]; then
        echo
        echo "linearity $previous -> $size (cost ratio; target <= 10.5)"
        for id in "${rows[@]}"; do
            [ "${id#*|}" = "$previous" ] || continue
            big="${id%|*}|$size"
            if [ -n "${instr[$big]:-}" ] && [ -n "${instr[$id]:-}" ]; then
                printf '  %-30s %7s instructions\n' "${label_of[$id]}" "$(ratio "${instr[$big]}" "${instr[$id]}")"
            elif [ -n "${seconds[$big]:-}" ] && [ -n "${seconds[$id]:-}" ]; then
                printf '  %-30s %7s wall seconds %7s processor seconds\n' "${label_of[$id]}" \
                    "$(ratio "${seconds[$big]}" "${seconds[$id]}")" "$(ratio "${cpu[$big]}" "${cpu[$id]}")"
            fi
        done
    fi
    previous=$size
done

echo
for line in "${checks[@]}"; do
    echo "check $line"
done

# Hostile inputs: evtable over a 5-week period (or the period given after
# the label), the median of three wall times (one when the first run takes
# longer than ten seconds); instructions only for runs under two seconds.
echo
echo "hostile cases: evtable ${five_weeks[*]} unless said, median wall time (stopped after $timeout_seconds s)"
hostile() {
    local name=$1 target=$2 label=$3 file=$data/hostile-$1.ics
    shift 3
    local period=("${five_weeks[@]}")
    if [ $# -gt 0 ]; then
        period=("$@")
        label="$label, ${period[*]}"
    fi
    hostile_run "$target" "$label" "$bin/evtable" "${period[@]}" "$file"
}
# hostile_with PROGRAM NAME TARGET LABEL: evsift or evjoin writing the
# hostile calendar NAME to a file.
hostile_with() {
    local program=$1 name=$2
    hostile_run "$3" "$4 ($program)" "$bin/$program" "$data/hostile-$name.ics" \
        "$out/hostile-$name.out.ics"
}
# hostile_run TARGET LABEL COMMAND...: one row.
hostile_run() {
    local target=$1 label=$2
    shift 2
    local start end status times=() note="" i
    for ((i = 0; i < runs; i++)); do
        status=0
        start=$EPOCHREALTIME
        timeout "$timeout_seconds" "$@" >/dev/null 2>"$out/stderr.txt" || status=$?
        end=$EPOCHREALTIME
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
        note=$(head -n 1 "$out/stderr.txt" | cut -c 1-80)
        if [ "$status" = 124 ]; then
            note="stopped after $timeout_seconds s"
        elif [ "$status" != 0 ]; then
            note="status $status: $note"
        fi
        [ "$status" = 0 ] && awk -v t="${times[-1]}" 'BEGIN { exit !(t <= 10) }' || break
    done
    local counted="-" took
    took=$(median "${times[@]}")
    if [ "$use_valgrind" = 1 ] && [ "$status" = 0 ] && awk -v t="$took" 'BEGIN { exit !(t < 2) }'; then
        counted=$(count_instructions "$@")
    fi
    printf '  %-52s %8s s  target < %-4s s  %14s instructions  %s\n' "$label" \
        "$took" "$target" "$counted" "$note"
}
hostile minutely 0.2 "FREQ=MINUTELY from 20 years before"
hostile century 0.2 "one event from 1900 to 2100"
hostile long-word 0.1 "a 300 KB word in the summary"
hostile exdates 0.2 "daily for 30 years, 10,000 EXDATEs" 20230101 P365D
hostile overrides 5 "a daily series with 100,000 overrides"
hostile never 0.1 "every minute of 30 February"
hostile counts 1 "5 x hourly by BY lists, COUNT=100000000"
hostile ages 5 "all-day event from year 1 to 9999" 00010101 P520000W
hostile properties 1 "minutely, 30,000 EXDATE values"
hostile long-list 1 "one line of 800,000 categories"
hostile_with evsift zones-behind 2 "20,000 zones behind an empty calendar"
hostile_with evjoin uids 1 "7,000 UIDs of one slot of the former hash"
hostile count-ages 0.1 "COUNT rules from years 1 and 1912" 20261101 P1W
hostile never-zones 0.1 "4 zones whose rule never gives a change"
hostile many-rules 1 "10 KB of secondly rules in New York"
