#!/bin/bash
# Fault injection: the three programs under failed writes and hostile inputs.
#
#   bash tests/fault_injection.sh GROUP EVTABLE EVSIFT EVJOIN WORK
#
# GROUP is one of the groups below; WORK is a scratch folder, emptied first.
# Every run must end with its documented status and message, never with a
# signal (status 128 and above) or a hang (timeout gives 124), and a failed
# run must leave an earlier output byte for byte as it was, with no
# temporary file beside it.
set -u
export LC_ALL=C

if [ $# -ne 5 ]; then
  echo "usage: fault_injection.sh GROUP EVTABLE EVSIFT EVJOIN WORK" >&2
  exit 2
fi
group=$1
evtable=$(realpath "$2")
evsift=$(realpath "$3")
evjoin=$(realpath "$4")
work=$5
# The terminal helper of the test build, for the groups that need one.
PTY_RUN=${PTY_RUN:-pty_run}

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2

failures=0
fail() {
  echo "FAIL: $case_name: $*"
  failures=$((failures + 1))
}

# run NAME COMMAND...: runs the command with a time limit, standard output
# to NAME.out (or to the file named by stdout_file) and standard error to
# NAME.err; sets status.
run() {
  case_name=$1
  shift
  timeout 60 "$@" >"${stdout_file:-$case_name.out}" 2>"$case_name.err"
  status=$?
  check_ending
}

# run_limited NAME KILOBYTES COMMAND...: run as above with a file-size limit,
# SIGXFSZ ignored as a cron job's shell might have it.
run_limited() {
  case_name=$1
  local kilobytes=$2
  shift 2
  (trap '' XFSZ; ulimit -f "$kilobytes"; exec timeout 60 "$@") \
    >"${stdout_file:-$case_name.out}" 2>"$case_name.err"
  status=$?
  check_ending
}

check_ending() {
  if [ $status -eq 124 ]; then
    fail "hangs (killed after 60 s)"
  elif [ $status -ge 128 ]; then
    fail "ended by signal $((status - 128))"
  fi
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "status $status, expected $1 (stderr: $(head -c 300 "$case_name.err"))"
}

# expect_err TEXT: standard error is exactly TEXT.
expect_err() {
  if ! printf '%s' "$1" | cmp -s - "$case_name.err"; then
    fail "stderr is '$(head -c 300 "$case_name.err")', expected '$1'"
  fi
}

# expect_parse_error: status 4, and standard error ends with one line
# "Parse error: ..." (libical may write lines of its own before it).
expect_parse_error() {
  expect_status 4
  if ! tail -n 1 "$case_name.err" | grep -q '^Parse error: .'; then
    fail "last stderr line is '$(tail -n 1 "$case_name.err" | head -c 200)', expected 'Parse error: ...'"
  fi
}

expect_no_stdout() {
  [ ! -s "$case_name.out" ] || fail "wrote $(wc -c <"$case_name.out") bytes to stdout"
}

# expect_same FILE COPY: FILE still holds the bytes of COPY.
expect_same() {
  if [ ! -e "$1" ]; then
    fail "$1 is gone"
  elif ! cmp -s "$1" "$2"; then
    fail "$1 changed"
  fi
}

# expect_files DIR NAME...: DIR holds exactly these names (dot files too),
# so no temporary output is left behind.
expect_files() {
  local dir=$1
  shift
  local actual expected
  actual=$(ls -A "$dir" | sort | tr '\n' ' ')
  expected=
  [ $# -gt 0 ] && expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  [ "$actual" = "$expected" ] || fail "$dir holds '$actual', expected '$expected'"
}

# expect_in FILE TEXT: FILE holds the line TEXT (CR line end ignored).
expect_in() {
  tr -d '\r' <"$1" | grep -qxF -- "$2" || fail "$1 lacks the line '$2'"
}

expect_not_in() {
  ! tr -d '\r' <"$1" | grep -qF -- "$2" || fail "$1 holds '$2'"
}

crlf() {
  sed 's/$/\r/'
}

# calendar N: a calendar of N one-hour events in October 2002, some 190
# bytes each.
calendar() {
  awk -v n="$1" 'BEGIN {
    printf "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//evtools tests//fault//EN\r\n"
    for (i = 1; i <= n; i++) {
      d = i % 28 + 1
      printf "BEGIN:VEVENT\r\nUID:event-%d@example.org\r\nDTSTAMP:20020901T000000Z\r\n", i
      printf "DTSTART:200210%02dT100000Z\r\nDTEND:200210%02dT110000Z\r\n", d, d
      printf "SUMMARY:Meeting %d of the long autumn series\r\nCATEGORIES:Work\r\nEND:VEVENT\r\n", i
    }
    printf "END:VCALENDAR\r\n"
  }'
}

earlier_output() {
  crlf <<'EOF'
BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//evtools tests//earlier output//EN
BEGIN:VEVENT
UID:earlier@example.org
DTSTART:20020101T100000Z
SUMMARY:Earlier content
END:VEVENT
END:VCALENDAR
EOF
}

# A folder per case keeps the listing checks exact.
case_folder() {
  rm -rf "$1"
  mkdir -p "$1"
}

# A failed write: a file-size limit of 4 KB against an output of some 40 KB,
# and standard output on /dev/full.
group_write_failure() {
  calendar 200 >big.ics
  earlier_output >earlier.ics

  run_limited evtable_size_limit 4 "$evtable" 20021001 P5W big.ics
  expect_status 6
  expect_err $'Write error: File too large\n'

  stdout_file=/dev/full run evtable_full "$evtable" 20021001 P5W big.ics
  expect_status 6
  expect_err $'Write error: No space left on device\n'

  for program in evsift evjoin; do
    local path=${!program}

    case_folder "$program-existing"
    cp earlier.ics "$program-existing/out.ics"
    run_limited "${program}_size_limit_existing" 4 "$path" big.ics "$program-existing/out.ics"
    expect_status 5
    expect_err "$program-existing/out.ics: File too large"$'\n'
    expect_same "$program-existing/out.ics" earlier.ics
    expect_files "$program-existing" out.ics

    case_folder "$program-new"
    run_limited "${program}_size_limit_new" 4 "$path" big.ics "$program-new/out.ics"
    expect_status 5
    expect_err "$program-new/out.ics: File too large"$'\n'
    expect_files "$program-new"

    # Filtered or merged in place: the input is the output.
    case_folder "$program-in-place"
    cp big.ics "$program-in-place/cal.ics"
    run_limited "${program}_size_limit_in_place" 4 "$path" "$program-in-place/cal.ics" "$program-in-place/cal.ics"
    expect_status 5
    expect_err "$program-in-place/cal.ics: File too large"$'\n'
    expect_same "$program-in-place/cal.ics" big.ics
    expect_files "$program-in-place" cal.ics

    # The limit lets the first part through: the write fails half way.
    case_folder "$program-half"
    cp earlier.ics "$program-half/out.ics"
    run_limited "${program}_size_limit_half_way" 20 "$path" big.ics "$program-half/out.ics"
    expect_status 5
    expect_err "$program-half/out.ics: File too large"$'\n'
    expect_same "$program-half/out.ics" earlier.ics
    expect_files "$program-half" out.ics
  done

  # --help and --version answer on standard output: a full disk fails them too.
  for program in evtable evsift evjoin; do
    local path=${!program} expected_status=5
    [ "$program" = evtable ] && expected_status=6
    for option in --help --version; do
      stdout_file=/dev/full run "${program}_${option#--}_full" "$path" "$option"
      expect_status $expected_status
      expect_err $'Write error: No space left on device\n'
    done
  done
}

# An input that is a directory: fopen would open it and only the first read
# would fail, so the programs refuse it at the open. The run must name the
# path and the reason, as for an unreadable file.
group_input_directory() {
  mkdir -p folder.ics
  earlier_output >earlier.ics
  calendar 2 >good.ics

  run evtable_directory "$evtable" 20021001 P5W folder.ics
  expect_status 1
  expect_err $'folder.ics: Is a directory\n'
  expect_no_stdout

  for program in evsift evjoin; do
    local path=${!program}
    case_folder "$program"
    cp earlier.ics "$program/out.ics"
    run "${program}_directory" "$path" folder.ics "$program/out.ics"
    expect_status 5
    expect_err $'folder.ics: Is a directory\n'
    expect_same "$program/out.ics" earlier.ics
    expect_files "$program" out.ics
  done

  case_folder evjoin-second
  cp earlier.ics evjoin-second/out.ics
  run evjoin_directory_second "$evjoin" good.ics folder.ics evjoin-second/out.ics
  expect_status 5
  expect_err $'folder.ics: Is a directory\n'
  expect_same evjoin-second/out.ics earlier.ics
  expect_files evjoin-second out.ics
}

# with_fifo_writer FILE NAME COMMAND...: runs the command while a writer
# copies FILE into the FIFO "pipe" and closes it.
with_fifo_writer() {
  local source=$1
  shift
  rm -f pipe
  mkfifo pipe
  (cat "$source" >pipe) &
  local writer=$!
  run "$@"
  # A reader that never opened the FIFO leaves the writer blocked.
  kill "$writer" 2>/dev/null
  wait "$writer" 2>/dev/null
  rm -f pipe
}

# A FIFO whose writer closes early: half a calendar, or nothing at all.
group_input_fifo() {
  earlier_output >earlier.ics
  printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:half@example.org\r\nDTSTART:2002' >half
  : >nothing
  calendar 3 >complete

  for text_name in half nothing; do
    local text=$text_name
    with_fifo_writer "$text" "evtable_fifo_$text_name" "$evtable" 20021001 P5W pipe
    expect_parse_error
    expect_no_stdout
    for program in evsift evjoin; do
      local path=${!program}
      case_folder "$program-$text_name"
      cp earlier.ics "$program-$text_name/out.ics"
      with_fifo_writer "$text" "${program}_fifo_$text_name" "$path" pipe "$program-$text_name/out.ics"
      expect_parse_error
      expect_same "$program-$text_name/out.ics" earlier.ics
      expect_files "$program-$text_name" out.ics
    done
  done

  # A whole calendar through a FIFO is an ordinary input.
  with_fifo_writer complete evtable_fifo_complete "$evtable" 20021001 P5W pipe
  expect_status 0
  grep -q 'Meeting 3 of the long autumn series' evtable_fifo_complete.out ||
    fail "the document lacks the events"
  for program in evsift evjoin; do
    local path=${!program}
    case_folder "$program-complete"
    with_fifo_writer complete "${program}_fifo_complete" "$path" pipe "$program-complete/out.ics"
    expect_status 0
    expect_in "$program-complete/out.ics" "UID:event-3@example.org"
    expect_files "$program-complete" out.ics
  done
}

# parse_failure_case NAME INPUT: all three programs refuse INPUT with status
# 4, and evsift and evjoin leave an earlier output as it was.
parse_failure_case() {
  local name=$1 input=$2
  run "evtable_$name" "$evtable" 20021001 P5W "$input"
  expect_parse_error
  expect_no_stdout
  for program in evsift evjoin; do
    local path=${!program}
    case_folder "$program-$name"
    cp earlier.ics "$program-$name/out.ics"
    run "${program}_$name" "$path" "$input" "$program-$name/out.ics"
    expect_parse_error
    expect_same "$program-$name/out.ics" earlier.ics
    expect_files "$program-$name" out.ics
  done
}

# evsift and evjoin on INPUT must write an output that holds LINE.
written_case() {
  local name=$1 input=$2 line=$3
  for program in evsift evjoin; do
    local path=${!program}
    case_folder "$program-$name"
    run "${program}_$name" "$path" "$input" "$program-$name/out.ics"
    expect_status 0
    expect_err ""
    expect_in "$program-$name/out.ics" "$line"
    expect_files "$program-$name" out.ics
  done
}

group_input_empty() {
  earlier_output >earlier.ics
  : >empty.ics
  parse_failure_case empty empty.ics
  # Line ends alone are no calendar either.
  printf '\r\n\r\n\n' >blank.ics
  parse_failure_case blank blank.ics
}

group_input_binary() {
  earlier_output >earlier.ics
  # 64 KB of fixed pseudo-random bytes, the same on every run.
  awk 'BEGIN { srand(7); for (i = 0; i < 65536; i++) printf "%c", int(rand() * 256) }' >random.bin
  parse_failure_case random random.bin
  # A calendar header followed by binary bytes.
  { printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\n'; cat random.bin; } >header_then_binary.ics
  parse_failure_case header_then_binary header_then_binary.ics

  # Every byte but CR and LF inside a summary is text, not a failure.
  {
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:bytes@example.org\r\n'
    printf 'DTSTART:20021002T100000Z\r\nSUMMARY:'
    awk 'BEGIN { for (b = 1; b < 256; b++) if (b != 10 && b != 13) printf "%c", b }'
    printf '\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n'
  } >all_bytes.ics
  run evtable_all_bytes "$evtable" 20021001 P5W all_bytes.ics
  expect_status 0
  expect_err ""
  grep -q 'class="summary"' evtable_all_bytes.out || fail "the document lacks the event"
  written_case all_bytes all_bytes.ics "UID:bytes@example.org"
}

# run_stack_limited NAME KILOBYTES COMMAND...: run as above with the stack
# limited to KILOBYTES.
run_stack_limited() {
  case_name=$1
  local kilobytes=$2
  shift 2
  (ulimit -s "$kilobytes"; exec timeout 60 "$@") \
    >"${stdout_file:-$case_name.out}" 2>"$case_name.err"
  status=$?
  check_ending
}

# One line of 2 MB: inside a calendar it is a long DESCRIPTION, which must
# come through whole; alone it is no calendar. That is far longer than any
# buffer on the way (libical's line pieces, stdio's buffers, the folding at
# 75 octets), and twice the stack the programs get here, so that a copy of
# the line on the stack would overflow it.
group_input_long_line() {
  earlier_output >earlier.ics
  local size=$((2 * 1024 * 1024 + 7))
  {
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:long@example.org\r\n'
    printf 'DTSTART:20021002T100000Z\r\nSUMMARY:Long description\r\nDESCRIPTION:'
    head -c $size /dev/zero | tr '\0' 'x'
    printf '\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n'
  } >long.ics

  run_stack_limited evtable_long_line 1024 "$evtable" -d 20021001 P5W long.ics
  expect_status 0
  expect_err ""
  local longest
  longest=$(tr -c 'x' '\n' <evtable_long_line.out | wc -L)
  [ "$longest" -eq $size ] || fail "the longest run of the description in the document is $longest bytes, not $size"
  rm -f evtable_long_line.out

  for program in evsift evjoin; do
    local path=${!program}
    case_folder "$program-long"
    run_stack_limited "${program}_long_line" 1024 "$path" long.ics "$program-long/out.ics"
    expect_status 0
    expect_err ""
    # Folded at 75 octets: unfolded, the description is whole again.
    local unfolded
    unfolded=$(tr -d '\r' <"$program-long/out.ics" | sed -n '/^DESCRIPTION:/,/^[A-Z]/p' | tr -d '\n ' | tr -cd 'x' | wc -c)
    [ "$unfolded" -eq $size ] || fail "the written description holds $unfolded x, not $size"
    expect_files "$program-long" out.ics
    rm -f "$program-long/out.ics"
  done
  rm -f long.ics

  head -c $size /dev/zero | tr '\0' 'x' >one_line.txt
  parse_failure_case one_line one_line.txt
}

# A NUL byte would end the text of its line for the parser and lose the
# rest of it unseen: all three programs refuse the input, naming the line,
# and an earlier output stays as it was.
nul_case() {
  local name=$1 input=$2 line=$3
  parse_failure_case "$name" "$input"
  for case_name in "evtable_$name" "evsift_$name" "evjoin_$name"; do
    expect_err "Parse error: NUL byte at line $line"$'\n'
  done
}

group_input_nul() {
  earlier_output >earlier.ics
  printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:nul@example.org\r\nDTSTART:20021002T100000Z\r\nSUMMARY:before\0after\r\nLOCATION:Room 1\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' >nul.ics
  nul_case nul nul.ics 6
  # A NUL first would empty the BEGIN:VCALENDAR line.
  { printf '\0'; cat nul.ics; } >nul_first.ics
  nul_case nul_first nul_first.ics 1
  # NUL bytes only.
  head -c 4096 /dev/zero >zeros.bin
  nul_case zeros zeros.bin 1
  # Far into a long input: the line count goes on through it.
  { calendar 2000 | head -c -15; printf 'SUMMARY:\0\r\nEND:VCALENDAR\r\n'; } >nul_late.ics
  nul_case nul_late nul_late.ics $(( $(calendar 2000 | wc -l) ))
}

# Line ends of CR alone: the line source reads up to LF, so the whole file is
# one line, a BEGIN line that never ends.
group_input_cr_only() {
  earlier_output >earlier.ics
  calendar 3 | tr -d '\n' >cr_only.ics
  parse_failure_case cr_only cr_only.ics
}

# A read error in the middle of the input: evtable's standard input is a
# terminal that hangs up after part of a calendar, or after all of it. What
# was read before the error must not pass for the whole calendar.
group_input_read_error() {
  calendar 40 >whole.ics
  head -c 3000 whole.ics >part.ics
  for text in part whole; do
    run "evtable_read_error_after_$text" "$PTY_RUN" --input "$text.ics" "$evtable" 20021001 P5W
    expect_parse_error
    grep -q 'Input/output error' "$case_name.err" || fail "the message does not name the read error"
    expect_no_stdout
  done
}

# Standard output on a terminal, and line buffered: the document, with a
# summary of 200 KB, comes out byte for byte as it does into a file.
group_terminal_output() {
  {
    calendar 100 | head -n -1
    printf 'BEGIN:VEVENT\r\nUID:long@example.org\r\nDTSTART:20021002T100000Z\r\nSUMMARY:'
    head -c 200000 /dev/zero | tr '\0' 'x'
    printf ' http://example.org/\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n'
  } >long.ics
  run evtable_file "$evtable" 20021001 P5W long.ics
  expect_status 0
  [ "$(wc -c <evtable_file.out)" -gt 200000 ] || fail "the document lacks the long summary"

  run evtable_terminal "$PTY_RUN" "$evtable" 20021001 P5W long.ics
  expect_status 0
  expect_err ""
  cmp -s evtable_terminal.out evtable_file.out || fail "the document differs from the one written to a file"

  # stdbuf preloads a library, which the address sanitizer must accept.
  run evtable_line_buffered env "ASAN_OPTIONS=${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
    stdbuf -oL "$evtable" 20021001 P5W long.ics
  expect_status 0
  expect_err ""
  cmp -s evtable_line_buffered.out evtable_file.out || fail "the document differs from the one written to a file"
}

# The same path as input and output: evsift filters the file in place, evjoin
# merges into one of its inputs.
group_same_path() {
  calendar 3 >three.ics
  {
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:home@example.org\r\n'
    printf 'DTSTART:20021005T100000Z\r\nSUMMARY:At home\r\nCATEGORIES:Home\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n'
  } >home.ics

  case_folder sift
  { head -c -15 three.ics; printf 'BEGIN:VEVENT\r\nUID:home@example.org\r\nDTSTART:20021005T100000Z\r\nCATEGORIES:Home\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n'; } >sift/cal.ics
  run evsift_in_place "$evsift" -C Home sift/cal.ics sift/cal.ics
  expect_status 0
  expect_err ""
  expect_in sift/cal.ics "PRODID:-//QUORVEL//NONSGML $("$evsift" --version)//EN"
  expect_in sift/cal.ics "UID:event-3@example.org"
  expect_not_in sift/cal.ics "home@example.org"
  expect_files sift cal.ics

  case_folder join
  cp three.ics join/cal.ics
  run evjoin_in_place "$evjoin" join/cal.ics home.ics join/cal.ics
  expect_status 0
  expect_err ""
  expect_in join/cal.ics "PRODID:-//QUORVEL//NONSGML $("$evjoin" --version)//EN"
  expect_in join/cal.ics "UID:event-1@example.org"
  expect_in join/cal.ics "UID:home@example.org"
  expect_files join cal.ics

  # The output as the last of two inputs.
  case_folder join-last
  cp three.ics join-last/cal.ics
  run evjoin_in_place_last "$evjoin" home.ics join-last/cal.ics join-last/cal.ics
  expect_status 0
  expect_in join-last/cal.ics "UID:event-2@example.org"
  expect_in join-last/cal.ics "UID:home@example.org"
  expect_files join-last cal.ics

  # A failure in place keeps the file.
  printf 'not a calendar\r\n' >bad.ics
  for program in evsift evjoin; do
    local path=${!program}
    case_folder "$program-bad"
    cp bad.ics "$program-bad/cal.ics"
    run "${program}_in_place_unparsable" "$path" "$program-bad/cal.ics" "$program-bad/cal.ics"
    expect_parse_error
    expect_same "$program-bad/cal.ics" bad.ics
    expect_files "$program-bad" cal.ics
  done
}

case $group in
  write_failure|input_directory|input_fifo|input_empty|input_binary|input_long_line|input_nul|input_cr_only|input_read_error|terminal_output|same_path)
    "group_$group" ;;
  *)
    echo "fault_injection.sh: unknown group '$group'" >&2
    exit 2 ;;
esac

if [ $failures -ne 0 ]; then
  echo "$group: $failures failure(s)"
  exit 1
fi
cd / && rm -rf "$work"
echo "$group: passed"
