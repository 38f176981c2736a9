#!/bin/bash
# run.sh EVSIFT EVJOIN SOURCE WORK: the calendars evsift and evjoin write, read
# by two independent iCalendar readers, python icalendar (Debian's
# python3-icalendar) and ical.js (npm): each must read every file without a
# parse error, find every event, read the same calendar properties, time
# zones and events as the other, and read the same again after writing the
# file back. Installs what is missing; exits 77 (skipped) only when a reader
# cannot be installed.
set -uo pipefail

evsift=$1
evjoin=$2
source=$3
work=$4
here=$source/tests/roundtrip
# Debian's interpreter, which python3-icalendar installs into, whatever
# python3 comes first on the PATH.
python=/usr/bin/python3

. "$source/tests/apt_install.sh"

if ! "$python" -c 'import icalendar' 2>/dev/null; then
    apt_install python3 python3-icalendar || true
fi
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    apt_install nodejs npm || true
fi
if [ ! -d "$here/node_modules/ical.js" ] && command -v npm >/dev/null; then
    (cd "$here" && npm ci --no-audit --no-fund --loglevel=error)
fi
if ! "$python" -c 'import icalendar' 2>/dev/null || ! command -v node >/dev/null ||
    [ ! -d "$here/node_modules/ical.js" ]; then
    echo "round trip test skipped: python3-icalendar or ical.js cannot be installed" >&2
    exit 77
fi

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
export ASAN_OPTIONS=detect_leaks=0
failures=0

fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

filter=$source/filter/testdata
merger=$source/merger/testdata
example=$source/examples/calendar.ics

# Each written file: its name and the command that writes it.
"$evsift" "$filter/calendar_properties.ics" sift_all.ics || fail "evsift sift_all.ics"
"$evsift" -p PUBLIC -p NONE --not-match=hamburg --add-category=Shared "$example" sift_public.ics ||
    fail "evsift sift_public.ics"
"$evsift" "$filter/calendar_properties_two_in_stream.ics" sift_stream.ics || fail "evsift sift_stream.ics"
"$evsift" --match='coffee|nothing' "$filter/texts.ics" sift_empty.ics 2>/dev/null || fail "evsift sift_empty.ics"
"$evjoin" "$merger/calendar_properties.ics" "$merger/calendar_properties.2.ics" "$example" \
    join.ics || fail "evjoin join.ics"
"$evjoin" join.ics sift_public.ics join.ics rejoin.ics || fail "evjoin rejoin.ics"
cmp -s join.ics rejoin.ics || fail "merging join.ics again changed it"

for file in sift_all.ics sift_public.ics sift_stream.ics sift_empty.ics join.ics; do
    if ! "$python" "$here/read_calendar.py" "$file" >"$file.python.json"; then
        fail "python icalendar cannot read $file"
        continue
    fi
    if ! node "$here/read_calendar.js" "$file" >"$file.ical.js.json"; then
        fail "ical.js cannot read $file"
        continue
    fi
    if ! cmp -s "$file.python.json" "$file.ical.js.json"; then
        fail "python icalendar and ical.js read $file differently:"
        cat "$file.python.json" "$file.ical.js.json"
    fi
done

# expect_property FILE NAME VALUE: both readers found this calendar property.
expect_property() {
    grep -qF "[\"$2\",\"$3\"]" "$1.python.json" || fail "$1: no $2 $3 in $(cat "$1.python.json")"
}

version=$("$evsift" --version)
expect_property sift_all.ics PRODID "-//QUORVEL//NONSGML $version//EN"
for property in 'X-WR-CALNAME Club games' 'X-WR-CALDESC All games of the season' \
    'X-WR-TIMEZONE Europe/Berlin' 'X-WR-RELCALID 8f1c2d3e-club-games' 'X-PUBLISHED-TTL PT1H' \
    'REFRESH-INTERVAL PT1H' 'NAME Club games' 'DESCRIPTION Home and away games' \
    'COLOR crimson' 'SOURCE https://example.org/club/games.ics' 'URL https://example.org/club/' \
    'CALSCALE GREGORIAN' 'METHOD PUBLISH'; do
    expect_property sift_all.ics "${property%% *}" "${property#* }"
    expect_property join.ics "${property%% *}" "${property#* }"
done
expect_property join.ics PRODID "-//QUORVEL//NONSGML $("$evjoin" --version)//EN"
expect_property join.ics X-APPLE-CALENDAR-COLOR '#FF2968'
expect_property sift_public.ics X-WR-CALNAME 'Example calendar'
expect_property sift_stream.ics X-WR-CALNAME First
expect_property sift_stream.ics X-WR-TIMEZONE Europe/Paris
expect_property sift_stream.ics X-WR-CALDESC "$(printf 'Line one\nline two')"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "5 written calendars read alike by python icalendar and ical.js"
