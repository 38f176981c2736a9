#!/bin/bash
# Output paths: what the three programs replace, what they refuse, and that
# no temporary file outlives a failure or a signal.
#
#   bash tests/output_paths.sh GROUP EVTABLE EVSIFT EVJOIN WORK
#
# GROUP is one of the groups below; WORK is a scratch folder, emptied first.
# evtable writes its document with -o. Status 77: the group cannot run here
# (the reason is printed).
set -u
export LC_ALL=C
umask 022

if [ $# -ne 5 ]; then
  echo "usage: output_paths.sh GROUP EVTABLE EVSIFT EVJOIN WORK" >&2
  exit 2
fi
group=$1
evtable=$(realpath "$2")
evsift=$(realpath "$3")
evjoin=$(realpath "$4")
work=$(realpath -m "$5")

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2

failures=0
fail() {
  echo "FAIL: $case_name: $*"
  failures=$((failures + 1))
}

skip() {
  echo "$group: skipped: $*"
  cd / && rm -rf "$work"
  exit 77
}

# run NAME COMMAND...: runs the command with a time limit, standard output
# to NAME.out and standard error to NAME.err; sets status.
run() {
  case_name=$1
  shift
  timeout 60 "$@" >"$case_name.out" 2>"$case_name.err"
  status=$?
  [ $status -ne 124 ] || fail "hangs (killed after 60 s)"
}

expect_status() {
  [ "$status" -eq "$1" ] || fail "status $status, expected $1 (stderr: $(head -c 300 "$case_name.err"))"
}

expect_err() {
  printf '%s' "$1" | cmp -s - "$case_name.err" ||
    fail "stderr is '$(head -c 300 "$case_name.err")', expected '$1'"
}

# expect_same FILE COPY: FILE is a regular file holding the bytes of COPY.
expect_same() {
  if [ -L "$1" ] || [ ! -f "$1" ]; then
    fail "$1 is no longer a regular file"
  elif ! cmp -s "$1" "$2"; then
    fail "$1 changed"
  fi
}

# expect_files DIR NAME...: DIR holds exactly these names (dot files too).
expect_files() {
  local dir=$1 actual expected=
  shift
  actual=$(ls -A "$dir" | sort | tr '\n' ' ')
  [ $# -gt 0 ] && expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  [ "$actual" = "$expected" ] || fail "$dir holds '$actual', expected '$expected'"
}

# expect_written PROGRAM FILE: FILE is a regular file that PROGRAM wrote.
expect_written() {
  if [ -L "$2" ] || [ ! -f "$2" ]; then
    fail "$2 is not a regular file"
    return
  fi
  case $1 in
    evtable) tail -n 1 "$2" | grep -qx '</html>' || fail "$2 is not a whole document" ;;
    *) tr -d '\r' <"$2" | grep -qx "PRODID:-//QUORVEL//NONSGML $1 .*" || fail "$2 is not $1's calendar" ;;
  esac
}

expect_mode() {
  local mode
  mode=$(stat -c %04a "$1")
  [ "$mode" = "$2" ] || fail "$1 has mode $mode, expected $2"
}

# write_with PROGRAM OUTPUT INPUT: the program's command line that writes
# INPUT's content to OUTPUT.
write_with() {
  case $1 in
    evtable) echo "$evtable" -o "$2" 20021001 P5W "$3" ;;
    evsift) echo "$evsift" "$3" "$2" ;;
    evjoin) echo "$evjoin" "$3" "$2" ;;
  esac
}

# The status of a failed output: 6 for evtable, 5 for the others.
output_status() {
  [ "$1" = evtable ] && echo 6 || echo 5
}

# calendar N: a calendar of N one-hour events in October 2002.
calendar() {
  awk -v n="$1" 'BEGIN {
    printf "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//evtools tests//paths//EN\r\n"
    for (i = 1; i <= n; i++) {
      d = i % 28 + 1
      printf "BEGIN:VEVENT\r\nUID:event-%d@example.org\r\nDTSTAMP:20020901T000000Z\r\n", i
      printf "DTSTART:200210%02dT100000Z\r\nDTEND:200210%02dT110000Z\r\n", d, d
      printf "SUMMARY:Meeting %d of the long autumn series\r\nCATEGORIES:Work\r\nEND:VEVENT\r\n", i
    }
    printf "END:VCALENDAR\r\n"
  }'
}

case_folder() {
  rm -rf "$1"
  mkdir -p "$1"
}

# The output path is a symlink: its target is replaced, the link stays.
group_symlinks() {
  calendar 3 >in.ics
  printf 'earlier\r\n' >earlier
  for program in evtable evsift evjoin; do
    # link -> target, both in one folder, as the link's text gives them.
    local text
    for text in target.ics "$work/$program-absolute/target.ics"; do
      local folder=$program-relative
      [ "${text:0:1}" = / ] && folder=$program-absolute
      case_folder "$folder"
      cp earlier "$folder/target.ics"
      chmod 640 "$folder/target.ics"
      ln -s "$text" "$folder/link.ics"
      run "${program}_symlink_${folder#*-}" $(write_with $program "$folder/link.ics" in.ics)
      expect_status 0
      [ "$(readlink "$folder/link.ics")" = "$text" ] || fail "the link changed"
      expect_written $program "$folder/target.ics"
      expect_mode "$folder/target.ics" 0640
      expect_files "$folder" link.ics target.ics
    done

    # A link in one folder to a file in another: the temporary file goes
    # beside the target.
    case_folder "$program-across/links"
    mkdir "$program-across/data"
    cp earlier "$program-across/data/cal.ics"
    ln -s ../data/cal.ics "$program-across/links/out.ics"
    run "${program}_symlink_across" $(write_with $program "$program-across/links/out.ics" in.ics)
    expect_status 0
    expect_written $program "$program-across/data/cal.ics"
    expect_files "$program-across/links" out.ics
    expect_files "$program-across/data" cal.ics

    # A dangling link names the file to create.
    case_folder "$program-dangling"
    ln -s new.ics "$program-dangling/link.ics"
    run "${program}_symlink_dangling" $(write_with $program "$program-dangling/link.ics" in.ics)
    expect_status 0
    expect_written $program "$program-dangling/new.ics"
    expect_mode "$program-dangling/new.ics" 0644
    expect_files "$program-dangling" link.ics new.ics

    # A link into a missing folder, and a loop.
    local bad=$program-bad status_wanted
    status_wanted=$(output_status $program)
    case_folder "$bad"
    ln -s missing/new.ics "$bad/to_missing.ics"
    ln -s loop.ics "$bad/loop.ics"
    run "${program}_symlink_missing_folder" $(write_with $program "$bad/to_missing.ics" in.ics)
    expect_status "$status_wanted"
    expect_err "$bad/to_missing.ics: No such file or directory"$'\n'
    run "${program}_symlink_loop" $(write_with $program "$bad/loop.ics" in.ics)
    expect_status "$status_wanted"
    expect_err "$bad/loop.ics: Too many levels of symbolic links"$'\n'
    expect_files "$bad" to_missing.ics loop.ics
  done
}

# A FIFO, socket, device or folder as output is refused before anything is
# written, and stays what it was.
group_not_regular() {
  calendar 3 >in.ics
  printf 'not a calendar\r\n' >bad.ics
  case_folder things
  mkfifo things/fifo
  mkdir things/folder
  ln -s fifo things/to_fifo
  ln -s folder things/to_folder
  local device=things/null
  if [ "$(id -u)" = 0 ]; then
    # Root could replace /dev/null itself: a node of the same device here.
    mknod things/null c 1 3
  else
    device=/dev/null
  fi
  local socket=
  if command -v python3 >/dev/null; then
    python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' things/socket &&
      socket=things/socket
  else
    echo "note: no python3, no socket case"
  fi
  local names
  names=$(ls -A things | tr '\n' ' ')

  local program path reason
  for program in evtable evsift evjoin; do
    for path in things/fifo things/to_fifo $device $socket things/folder things/to_folder; do
      reason="Not a regular file"
      case $path in *folder) reason="Is a directory" ;; esac
      run "${program}_${path##*/}" $(write_with $program "$path" in.ics)
      expect_status "$(output_status $program)"
      expect_err "$path: $reason"$'\n'
    done
  done
  # What fails first: evsift and evtable check the output before they parse,
  # evjoin reads all its inputs before it looks at the output.
  run evsift_fifo_unparsable "$evsift" bad.ics things/fifo
  expect_status 5
  expect_err $'things/fifo: Not a regular file\n'
  run evtable_fifo_unparsable "$evtable" -o things/fifo 20021001 P5W bad.ics
  expect_status 6
  expect_err $'things/fifo: Not a regular file\n'
  run evjoin_fifo_unparsable "$evjoin" bad.ics things/fifo
  expect_status 4

  case_name=things
  [ -p things/fifo ] || fail "the FIFO is gone"
  [ -c "$device" ] || fail "$device is no longer a character device"
  [ "$device" = /dev/null ] || [ "$(stat -c %t:%T things/null)" = 1:3 ] || fail "the device node changed"
  [ -z "$socket" ] || [ -S "$socket" ] || fail "the socket is gone"
  [ -d things/folder ] || fail "the folder is gone"
  expect_files things/folder
  [ "$(ls -A things | tr '\n' ' ')" = "$names" ] || fail "things holds '$(ls -A things | tr '\n' ' ')', expected '$names'"
}

# A file with two names: the output's name gets the new content, the other
# keeps the old one, as with mv.
group_hard_links() {
  calendar 3 >in.ics
  printf 'earlier\r\n' >earlier
  for program in evtable evsift evjoin; do
    case_folder "$program"
    cp earlier "$program/out.ics"
    ln "$program/out.ics" "$program/other.ics"
    run "${program}_hard_link" $(write_with $program "$program/out.ics" in.ics)
    expect_status 0
    expect_written $program "$program/out.ics"
    expect_same "$program/other.ics" earlier
    [ "$(stat -c %h "$program/out.ics")" = 1 ] || fail "out.ics still has several names"
    expect_files "$program" out.ics other.ics
  done
}

# The command prefix that runs a program as a user who is not root: nobody
# when the tests run as root.
as_user=()
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

# Read-only and write-only outputs in a folder the user may write are
# replaced, keeping their mode; a folder the user may not write fails before
# the input is read.
group_modes() {
  if [ "$(id -u)" = 0 ]; then
    command -v setpriv >/dev/null || skip "running as root without setpriv"
    # The programs must be reachable by nobody, and the scratch folder too.
    "${as_user[@]}" test -x "$evsift" || skip "nobody cannot run $evsift"
    scratch=$(mktemp -d /tmp/evtools-modes.XXXXXX)
    chmod 755 "$scratch"
    trap 'chmod -R u+rwX "$scratch"; rm -rf "$scratch"' EXIT
  else
    scratch=$work
  fi
  calendar 3 >"$scratch/in.ics"
  printf 'not a calendar\r\n' >"$scratch/bad.ics"
  printf 'earlier\r\n' >"$scratch/earlier"
  chmod 644 "$scratch/in.ics" "$scratch/bad.ics" "$scratch/earlier"
  local owner=
  [ "$(id -u)" = 0 ] && owner=nobody

  local program mode folder
  for program in evtable evsift evjoin; do
    for mode in 0444 0200 0000; do
      folder=$scratch/$program-$mode
      case_folder "$folder"
      cp "$scratch/earlier" "$folder/out.ics"
      [ -n "$owner" ] && chown -R "$owner" "$folder"
      chmod "$mode" "$folder/out.ics"
      run "${program}_mode_$mode" "${as_user[@]}" $(write_with $program "$folder/out.ics" "$scratch/in.ics")
      expect_status 0
      expect_mode "$folder/out.ics" "$mode"
      chmod 644 "$folder/out.ics"
      expect_written $program "$folder/out.ics"
      expect_files "$folder" out.ics
    done

    folder=$scratch/$program-locked
    case_folder "$folder"
    cp "$scratch/earlier" "$folder/out.ics"
    chmod 555 "$folder"
    local input=$scratch/bad.ics wanted
    wanted=$(output_status $program)
    # evjoin reads its inputs first: a good one lets it reach the output.
    [ $program = evjoin ] && input=$scratch/in.ics
    run "${program}_locked_folder" "${as_user[@]}" $(write_with $program "$folder/out.ics" "$input")
    expect_status "$wanted"
    expect_err "$folder/out.ics: Permission denied"$'\n'
    expect_same "$folder/out.ics" "$scratch/earlier"
    expect_files "$folder" out.ics
    chmod 755 "$folder"
  done
}

# start_run SIGNALS COMMAND...: starts the command in the background with
# the given signals at their default action (a script's background job
# ignores SIGINT and SIGQUIT), with a file-size limit that ends a run that
# was never stopped and no core file; sets pid.
start_run() {
  local defaults=$1
  shift
  (ulimit -f 262144 -c 0; exec env --default-signal="$defaults" "$@") >"$case_name.out" 2>"$case_name.err" &
  pid=$!
}

# wait_for_temporary FOLDER NAME: waits until the temporary file of NAME
# exists in FOLDER while the run goes on.
wait_for_temporary() {
  local tries
  for ((tries = 0; tries < 6000; tries++)); do
    compgen -G "$1/.$2.??????" >/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.01
  done
  return 1
}

# stop_run SIGNAL FOLDER NAME: sends the signal once the temporary file
# exists and waits for the end; sets status.
stop_run() {
  if wait_for_temporary "$2" "$3"; then
    kill -s "$1" "$pid"
  else
    fail "no temporary file was seen while the run went on"
    kill -s KILL "$pid" 2>/dev/null
  fi
  # bash's note on a job ended by a signal is no failure here.
  { wait "$pid"; } 2>/dev/null
  status=$?
}

# A large document: an event with a description of 1 MB every day, so that
# evtable writes its temporary file for seconds.
large_document_input() {
  {
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:daily@example.org\r\n'
    printf 'DTSTART:20020101T100000Z\r\nRRULE:FREQ=DAILY\r\nSUMMARY:Daily\r\nDESCRIPTION:'
    head -c 1000000 /dev/zero | tr '\0' x
    printf '\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n'
  } >daily.ics
}

# A run stopped by a signal while its temporary file exists leaves the
# output as it was and no temporary file; a signal ignored from the start
# (nohup) stays ignored.
group_signals() {
  large_document_input
  printf 'earlier\r\n' >earlier
  local signal
  for signal in INT TERM HUP ALRM USR1 PIPE QUIT; do
    case_name=evtable_$signal
    case_folder "$case_name.d"
    cp earlier "$case_name.d/out.html"
    start_run INT,QUIT "$evtable" -d -o "$case_name.d/out.html" 20020101 P520W daily.ics
    stop_run "$signal" "$case_name.d" out.html
    expect_status $((128 + $(kill -l "$signal")))
    expect_same "$case_name.d/out.html" earlier
    expect_files "$case_name.d" out.html
  done

  case_name=evtable_nohup
  case_folder nohup
  cp earlier nohup/out.html
  start_run INT nohup "$evtable" -d -o nohup/out.html 20020101 P2W daily.ics
  stop_run HUP nohup out.html
  expect_status 0
  expect_written evtable nohup/out.html
  expect_files nohup out.html

  # evsift and evjoin hold their temporary file while the calendar's text
  # is made and written: long enough for a calendar of 10000 events.
  calendar 10000 >large.ics
  local program
  for program in evsift:TERM evjoin:ALRM; do
    signal=${program#*:}
    program=${program%:*}
    case_name=${program}_$signal
    case_folder "$case_name.d"
    cp earlier "$case_name.d/out.ics"
    start_run INT,QUIT $(write_with $program "$case_name.d/out.ics" large.ics)
    stop_run "$signal" "$case_name.d" out.ics
    expect_status $((128 + $(kill -l "$signal")))
    expect_same "$case_name.d/out.ics" earlier
    expect_files "$case_name.d" out.ics
  done
}

# in_full_folder NAME PROGRAM: runs the program into a file system of 64 KB
# that already holds an earlier output, in a mount namespace of its own;
# writes what it finds to NAME.*.
in_full_folder() {
  local name=$1 program=$2
  unshare -m --propagation private bash -c '
    mount -t tmpfs -o size=64k tmpfs full || exit 90
    cp earlier full/out.ics
    timeout 60 "$@" 2>"$0.err"
    echo $? >"$0.status"
    cmp -s full/out.ics earlier && echo same >"$0.kept"
    ls -A full >"$0.listing"
  ' "$name" $(write_with $program full/out.ics large.ics)
}

# Writes that fail part way: a file-size limit and a full file system.
group_write_failure() {
  calendar 1000 >large.ics
  printf 'earlier\r\n' >earlier
  local program kilobytes
  for program in evtable evsift evjoin; do
    for kilobytes in 4 100; do
      case_folder "$program-$kilobytes"
      cp earlier "$program-$kilobytes/out.ics"
      case_name=${program}_size_limit_$kilobytes
      (trap '' XFSZ; ulimit -f $kilobytes; exec timeout 60 $(write_with $program "$program-$kilobytes/out.ics" large.ics)) \
        >"$case_name.out" 2>"$case_name.err"
      status=$?
      expect_status "$(output_status $program)"
      expect_err "$program-$kilobytes/out.ics: File too large"$'\n'
      expect_same "$program-$kilobytes/out.ics" earlier
      expect_files "$program-$kilobytes" out.ics
    done
  done

  mkdir full
  if ! unshare -m --propagation private true 2>/dev/null; then
    echo "note: no mount namespace here (needs root): the full file system cases are skipped"
    return
  fi
  for program in evtable evsift evjoin; do
    case_name=${program}_full_disk
    in_full_folder "$case_name" $program
    [ "$(cat "$case_name.status" 2>/dev/null)" != 90 ] || { echo "note: tmpfs cannot be mounted: skipped"; return; }
    status=$(cat "$case_name.status")
    expect_status "$(output_status $program)"
    expect_err $'full/out.ics: No space left on device\n'
    [ -f "$case_name.kept" ] || fail "the earlier output changed"
    [ "$(cat "$case_name.listing")" = out.ics ] || fail "the full folder holds '$(cat "$case_name.listing" | tr '\n' ' ')'"
  done
}

# Eighteen nested folders of 240-byte names: a path of more than 4096 bytes.
long_folder() {
  local name
  name=$(printf 'd%.0s' $(seq 240))
  long=$name
  for _ in $(seq 17); do long=$long/$name; done
  mkdir -p "$long"
}

# list_long: the names in the deepest long folder, reached one cd at a time.
list_long() {
  (IFS=/; for part in $long; do cd "$part" || exit 1; done; ls -A | tr '\n' ' ')
}

group_long_path() {
  calendar 3 >in.ics
  long_folder
  local program
  for program in evtable evsift evjoin; do
    run "${program}_long_path" $(write_with $program "$long/$program.out" in.ics)
    expect_status 0
  done
  case_name=long_path_listing
  [ "$(list_long)" = "evjoin.out evsift.out evtable.out " ] || fail "the long folder holds '$(list_long)'"

  # A signal still removes the temporary file there.
  large_document_input
  case_name=evtable_long_path_signal
  start_run INT,QUIT "$evtable" -d -o "$long/page.html" 20020101 P520W daily.ics
  local tries
  for ((tries = 0; tries < 6000; tries++)); do
    case $(list_long) in *.page.html.*) break ;; esac
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.01
  done
  kill -s TERM "$pid" 2>/dev/null
  { wait "$pid"; } 2>/dev/null
  status=$?
  expect_status 143
  [ "$(list_long)" = "evjoin.out evsift.out evtable.out " ] || fail "the long folder holds '$(list_long)'"
}

# Links in a sticky, world-writable folder (as /tmp): root follows another
# user's link there only when that user owns the folder; elsewhere, and for
# its own links, as before. Needs root, to make the second user.
other_user=
remove_other_user() {
  [ -n "$other_user" ] && userdel "$other_user" 2>/dev/null
  other_user=
}

group_sticky_links() {
  [ "$(id -u)" -eq 0 ] || skip "needs root to create a second user"
  command -v useradd >/dev/null || skip "useradd is missing"
  other_user=evtl$$
  useradd -M -N -r -s /usr/sbin/nologin -d /nonexistent "$other_user" 2>useradd.err ||
    skip "useradd failed: $(head -c 200 useradd.err)"
  trap remove_other_user EXIT
  calendar 3 >in.ics
  printf 'earlier\r\n' >earlier
  local program status_wanted
  for program in evtable evsift evjoin; do
    status_wanted=$(output_status $program)
    # A root-owned 0600 file and the place of a new one, outside the folder.
    case_folder "$program"
    mkdir "$program/private" "$program/shared"
    chmod 1777 "$program/shared"
    cp earlier "$program/private/secret"
    chmod 600 "$program/private/secret"
    ln -s ../private/secret "$program/shared/cal.ics"
    ln -s ../private/new.ics "$program/shared/new.ics"
    chown -h "$other_user" "$program/shared/cal.ics" "$program/shared/new.ics"
    run "${program}_other_users_link" $(write_with $program "$program/shared/cal.ics" in.ics)
    expect_status "$status_wanted"
    expect_err "$program/shared/cal.ics: Permission denied"$'\n'
    expect_same "$program/private/secret" earlier
    run "${program}_other_users_dangling_link" $(write_with $program "$program/shared/new.ics" in.ics)
    expect_status "$status_wanted"
    expect_err "$program/shared/new.ics: Permission denied"$'\n'
    expect_files "$program/private" secret
    expect_files "$program/shared" cal.ics new.ics

    # Root's own link there is followed.
    ln -s ../private/own.ics "$program/shared/own.ics"
    run "${program}_own_link" $(write_with $program "$program/shared/own.ics" in.ics)
    expect_status 0
    expect_written $program "$program/private/own.ics"

    # The user's link in the user's own sticky folder, and in a folder
    # that is not sticky, is followed.
    mkdir "$program/users" "$program/open"
    chown "$other_user" "$program/users"
    chmod 1777 "$program/users"
    chmod 777 "$program/open"
    local folder
    for folder in users open; do
      ln -s "../private/$folder.ics" "$program/$folder/link.ics"
      chown -h "$other_user" "$program/$folder/link.ics"
      run "${program}_link_in_${folder}_folder" $(write_with $program "$program/$folder/link.ics" in.ics)
      expect_status 0
      expect_written $program "$program/private/$folder.ics"
    done
  done
  remove_other_user
}

case $group in
  symlinks|sticky_links|not_regular|hard_links|modes|signals|write_failure|long_path)
    "group_$group" ;;
  *)
    echo "output_paths.sh: unknown group '$group'" >&2
    exit 2 ;;
esac

if [ $failures -ne 0 ]; then
  echo "$group: $failures failure(s)"
  exit 1
fi
cd / && rm -rf "$work"
echo "$group: passed"
