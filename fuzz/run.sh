#!/bin/bash
# Builds the fuzz targets with clang and runs each for a given time.
#
#   bash fuzz/run.sh [--build-dir DIR] [--built] [--smoke] [SECONDS]
#
# SECONDS per target (default 60). The build, the corpora (corpus/NAME,
# seeded from the project's test calendars), the logs (logs/NAME.log) and any
# crash, leak or timeout input (crashes/NAME/) go to DIR (default build/fuzz).
# The inputs of earlier findings, fuzz/regressions/NAME/*, are run first.
# The status is 0 when no target found anything, 1 when one did, 2 when the
# build failed. --built runs the targets DIR/bin holds already (a build
# configured with -DEVTOOLS_FUZZ=ON, as `make test`'s is) instead of building
# them. --smoke is the CI form: it skips with status 77 when clang++ is
# missing, and keeps its corpora, logs and findings in DIR/fuzz_smoke, fresh
# on every run, away from those of full runs.
#
# A finding is replayed with the target and the file:
#   build/fuzz/bin/evtable_fuzz build/fuzz/crashes/evtable_fuzz/crash-...
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
smoke=false
built=false
seconds=60
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    --smoke) smoke=true; shift ;;
    --built) built=true; shift ;;
    *) seconds=$1; shift ;;
  esac
done
case $seconds in
  ''|*[!0-9]*) echo "run.sh: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

targets="html_text_fuzz evtable_fuzz scan_fuzz sift_join_fuzz rule_fuzz"
# Calendar inputs longer than this are cut by libFuzzer; it leaves room for
# components nested past the depth limit (about 14 bytes a level). A rule of
# rule_fuzz is a few hundred bytes at most.
max_len=16384
max_len_of() {
  if [ "$1" = rule_fuzz ]; then echo 600; else echo "$max_len"; fi
}
# An input that holds a target this long counts as a hang; rule_fuzz holds
# one event's rule and period, which must never take a second.
timeout=60
timeout_of() {
  if [ "$1" = rule_fuzz ]; then echo 1; else echo "$timeout"; fi
}
# Earlier findings are replayed with room for a busy machine.
replay_timeout_of() {
  if [ "$1" = rule_fuzz ]; then echo 5; else echo "$timeout"; fi
}
# rule_fuzz mutates rules with words of its own.
dictionary_of() {
  if [ "$1" = rule_fuzz ]; then echo "$root/fuzz/rule.dict"; else echo "$root/fuzz/ical.dict"; fi
}

if ! $built && ! command -v clang++ >/dev/null; then
  if $smoke; then
    echo "clang++ not found: fuzz smoke run skipped"
    exit 77
  fi
  echo "run.sh: clang++ not found (Debian: apt-get install clang libclang-rt-14-dev)" >&2
  exit 2
fi

if $built; then
  for name in $targets; do
    if [ ! -x "$build/bin/$name" ]; then
      echo "run.sh: $build/bin/$name is not built (configure with -DEVTOOLS_FUZZ=ON)" >&2
      exit 2
    fi
  done
else
  # -fsanitize=fuzzer-no-link comes with EVTOOLS_FUZZ.
  flags="-O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"
  # The smoke build keeps only the line tables of the debugging information:
  # its reports still name file and line, and it costs an eighth less to
  # build. Full runs keep everything for the debugger.
  debug=-g
  $smoke && debug=-gline-tables-only
  echo "== building the fuzz targets in $build"
  if ! cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_FLAGS_DEBUG="$debug" -DCMAKE_CXX_FLAGS_DEBUG="$debug" \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_CXX_FLAGS="$flags" -DEVTOOLS_FUZZ=ON >/dev/null ||
     ! cmake --build "$build" -j 2 --target $targets >"$build/build.log" 2>&1; then
    tail -40 "$build/build.log" 2>/dev/null
    echo "run.sh: the build failed" >&2
    exit 2
  fi
fi

# The test calendars that exist. sift_join_fuzz reads two option bytes
# first: each calendar goes in as evsift without and with every selection
# option, and as evjoin merging it with itself.
calendars=$(ls "$root"/renderer/testdata/*.ics "$root"/filter/testdata/*.ics \
  "$root"/merger/testdata/*.ics "$root"/examples/*.ics "$root"/fuzz/seeds/*.ics 2>/dev/null)
# A target reads its whole seed corpus before its time starts to count, and
# evtable_fuzz renders each calendar: most of a smoke run. The smoke run
# seeds with 40 of the calendars drawn from a seed (tests/seeded_sample.sh:
# printed, EVTOOLS_TEST_SEED replays it, EVTOOLS_FULL_TESTS=1 takes all).
if $smoke; then
  . "$root/tests/seeded_sample.sh"
  sample_start fuzz_smoke
  # shellcheck disable=SC2086
  sample_take 40 $calendars
  calendars="${sampled[*]}"
fi
seed_corpus() {
  local name=$1 corpus=$2 n=0
  mkdir -p "$corpus"
  if [ "$name" = rule_fuzz ]; then
    # Each rule of fuzz/rule_seeds.txt behind three choices of period, zone,
    # DTSTART and length (see rule_fuzz.cc for the ten bytes).
    local rule header h
    while IFS= read -r rule; do
      n=$((n + 1))
      h=0
      for header in '\114\000\011\030\001\003\170\005\012\001' \
                    '\114\000\001\000\002\000\160\027\000\002' \
                    '\114\000\005\000\003\001\343\003\027\003'; do
        h=$((h + 1))
        { printf "$header"; printf '%b' "$rule"; } >"$corpus/seed-$n-$h"
      done
    done <"$root/fuzz/rule_seeds.txt"
    return
  fi
  for calendar in $calendars; do
    n=$((n + 1))
    if [ "$name" = sift_join_fuzz ]; then
      { printf '\000\000'; cat "$calendar"; } >"$corpus/seed-$n-sift"
      { printf '\076\027'; cat "$calendar"; } >"$corpus/seed-$n-sift-options"
      { printf '\003\000'; cat "$calendar"; } >"$corpus/seed-$n-join"
    else
      cp "$calendar" "$corpus/seed-$n"
    fi
  done
}

# Writes one line of figures from a log: executions, speed, coverage.
summarize() {
  local name=$1 log=$2
  local runs cov ft speed
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-16s executions %-10s exec/s %-6s coverage (edges) %-6s features %s\n' \
    "$name" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}"
}

runs=$build
if $smoke; then
  runs=$build/fuzz_smoke
  rm -rf "$runs"
fi
status=0
summary=""
mkdir -p "$runs/logs"
for name in $targets; do
  corpus="$runs/corpus/$name"
  seed_corpus "$name" "$corpus"
  crashes="$runs/crashes/$name"
  mkdir -p "$crashes"
  log="$runs/logs/$name.log"

  # The inputs of earlier findings come first: each must now pass.
  regressions=$(ls "$root/fuzz/regressions/$name/"* 2>/dev/null)
  if [ -n "$regressions" ]; then
    echo "== $name on fuzz/regressions/$name (log: $runs/logs/$name.regressions.log)"
    if ! "$build/bin/$name" -timeout="$(replay_timeout_of "$name")" -close_fd_mask=2 $regressions \
        >"$runs/logs/$name.regressions.log" 2>&1; then
      status=1
      echo "$name: a regression input fails again:"
      grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|ALARM|Running:)' \
        "$runs/logs/$name.regressions.log" | tail -5
    fi
  fi

  echo "== $name for ${seconds}s (log: $log)"
  # Standard error of the target is closed (the parser and the collection
  # write notes there); libFuzzer's and the sanitizers' reports still come.
  "$build/bin/$name" "$corpus" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$crashes/" -dict="$(dictionary_of "$name")" -max_len="$(max_len_of "$name")" \
    -timeout="$(timeout_of "$name")" -close_fd_mask=2 >"$log" 2>&1
  result=$?
  line=$(summarize "$name" "$log")
  summary="$summary$line"$'\n'
  if [ $result -ne 0 ]; then
    status=1
    echo "$name: FINDING (status $result):"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|ALARM|artifact_prefix|Test unit written)' "$log" | head -20
  fi
done

echo "== figures"
printf '%s' "$summary"
if [ $status -ne 0 ]; then
  echo "findings: see above; their inputs are in $runs/crashes"
fi
exit $status
