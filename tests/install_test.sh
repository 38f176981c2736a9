#!/bin/bash
# install_test.sh BUILD SOURCE: installs the build into a temporary DESTDIR,
# as `make install DESTDIR=...` does, checks that every file is where it
# belongs, and runs the installed programs on the installed example calendar.
set -euo pipefail

build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "install_test: $*" >&2
    exit 1
}

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install failed"; }

root=$work/root/usr
for file in bin/evtable bin/evjoin bin/evsift \
    share/man/man1/evtable.1.gz share/man/man1/evjoin.1.gz share/man/man1/evsift.1.gz \
    share/doc/evtools/calendar.css share/doc/evtools/calendar.ics; do
    [ -f "$root/$file" ] || fail "$file is not installed"
done
for program in evtable evjoin evsift; do
    [ -x "$root/bin/$program" ] || fail "bin/$program is not executable"
done
cmp -s "$source/examples/calendar.css" "$root/share/doc/evtools/calendar.css" ||
    fail "the installed style sheet differs from examples/calendar.css"

calendar=$root/share/doc/evtools/calendar.ics
cd "$work"

# evtable: the three months of the example, with its events.
"$root/bin/evtable" --title="Installed" -d -l --timezone=Europe/Berlin \
    20261101 P13W "$calendar" >calendar.html || fail "evtable exited with status $?"
for text in '<title>Installed</title>' '<caption>November 2026</caption>' \
    '<caption>December 2026</caption>' '<caption>January 2027</caption>' \
    '<div class="vevent CANCELLED">' 'Conference trip to Lisbon' \
    '<a href="https://wiki.example.org/team/weekly">'; do
    grep -qF "$text" calendar.html || fail "evtable's document lacks $text"
done

# evsift: the private events go, the time zone stays.
"$root/bin/evsift" --not-class=PRIVATE "$calendar" public.ics || fail "evsift exited with status $?"
grep -qF "PRODID:-//QUORVEL//NONSGML $("$root/bin/evsift" --version)//EN" public.ics || fail "evsift's output lacks its PRODID"
grep -q 'BEGIN:VTIMEZONE' public.ics || fail "evsift dropped the time zone"
grep -q 'CLASS:PRIVATE' public.ics && fail "evsift kept a private event"
grep -q 'Team meeting' public.ics || fail "evsift dropped a public event"

# evjoin: merged with the filtered copy, one time zone and every event of the
# original; the output replaces a file that was there.
echo "old content" >joined.ics
"$root/bin/evjoin" "$calendar" public.ics joined.ics || fail "evjoin exited with status $?"
grep -qF "PRODID:-//QUORVEL//NONSGML $("$root/bin/evjoin" --version)//EN" joined.ics || fail "evjoin's output lacks its PRODID"
[ "$(grep -c 'BEGIN:VTIMEZONE' joined.ics)" = 1 ] || fail "evjoin kept more than one Europe/Berlin"
grep -q 'Skiing in Tyrol' joined.ics || fail "evjoin lost an event of the first input"
grep -q 'old content' joined.ics && fail "evjoin did not replace its output"

# The installed pages render.
for page in evtable evjoin evsift; do
    gzip -dc "$root/share/man/man1/$page.1.gz" | groff -mdoc -Tascii >/dev/null 2>&1 ||
        fail "$page.1.gz does not render"
done

echo "installed and ran evtable, evjoin and evsift"
