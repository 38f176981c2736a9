#!/bin/bash
# Out of memory: each program run under address-space limits from too small
# to enough ends with status 0 or with its out-of-memory status and
# "PROGRAM: out of memory", never with a signal, and a failed run leaves the
# earlier output as it was, with no temporary file beside it.
#
#   bash tests/out_of_memory.sh EVTABLE EVSIFT EVJOIN WORK
#
# For builds without a sanitizer: a sanitizer's allocator reserves more
# address space than any limit here leaves.
set -u
export LC_ALL=C

if [ $# -ne 4 ]; then
  echo "usage: out_of_memory.sh EVTABLE EVSIFT EVJOIN WORK" >&2
  exit 2
fi
evtable=$(realpath "$1")
evsift=$(realpath "$2")
evjoin=$(realpath "$3")
work=$4
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2

failures=0
fail() {
  echo "FAIL: $case_name: $*"
  failures=$((failures + 1))
}

# 20,000 events, one with a line of 100,000 categories.
awk 'BEGIN {
  printf "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//evtools tests//memory//EN\r\n"
  for (i = 1; i <= 20000; i++) {
    d = i % 28 + 1
    printf "BEGIN:VEVENT\r\nUID:event-%d@example.org\r\nDTSTAMP:20020901T000000Z\r\n", i
    printf "DTSTART:200210%02dT100000Z\r\nDTEND:200210%02dT110000Z\r\n", d, d
    printf "SUMMARY:Meeting %d\r\nRRULE:FREQ=WEEKLY;COUNT=5\r\n", i
    if (i == 1) {
      printf "CATEGORIES:c"
      for (j = 1; j < 100000; j++) printf ",c%d", j
      printf "\r\n"
    }
    printf "END:VEVENT\r\n"
  }
  printf "END:VCALENDAR\r\n"
}' >in.ics
printf 'earlier\r\n' >earlier

# The limits in KiB: below what the libraries need to load (status 127, not
# counted), through the work, to enough.
limits="60000 70000 80000 100000 140000 200000 300000 500000"
for program in evtable:1 evsift:7 evjoin:7; do
  wanted=${program#*:}
  program=${program%:*}
  for limit in $limits; do
    case_name="${program}_$limit"
    rm -rf out && mkdir out && cp earlier out/out.ics
    case $program in
      evtable) command=("$evtable" -o out/out.ics 20021001 P10W in.ics) ;;
      evsift) command=("$evsift" in.ics out/out.ics) ;;
      evjoin) command=("$evjoin" in.ics in.ics out/out.ics) ;;
    esac
    (ulimit -v "$limit"; exec timeout 120 "${command[@]}") >/dev/null 2>err.txt
    status=$?
    case $status in
      0)
        [ "$(ls -A out)" = out.ics ] || fail "out holds $(ls -A out | tr '\n' ' ')" ;;
      127)
        ;;
      "$wanted")
        printf '%s: out of memory\n' "$program" | cmp -s - err.txt ||
          fail "stderr is '$(head -c 200 err.txt)'"
        cmp -s out/out.ics earlier || fail "the output changed"
        [ "$(ls -A out)" = out.ics ] || fail "out holds $(ls -A out | tr '\n' ' ')" ;;
      *)
        fail "status $status (stderr: $(head -c 200 err.txt))" ;;
    esac
  done
done

if [ $failures -ne 0 ]; then
  echo "out_of_memory: $failures failure(s)"
  exit 1
fi
cd / && rm -rf "$work"
echo "out_of_memory: passed"
