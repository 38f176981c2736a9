#!/bin/bash
# run.sh EVTABLE SOURCE WORK: the browser test. Renders the example calendar
# (as months, as a list, in Arabic and in German)
# and a busy month of the benchmark's generated calendar as published pages
# (examples/demo.sh) and checks them in headless Chromium (page_test.js).
# Installs Chromium, Node.js and the test's npm packages when missing; exits
# 77 (skipped) only when Chromium cannot be installed.
set -euo pipefail

evtable=$1
source=$2
work=$3
here=$source/tests/browser

. "$source/tests/apt_install.sh"

find_chromium() {
    command -v chromium || command -v chromium-browser || true
}

chromium=$(find_chromium)
if [ -z "$chromium" ]; then
    apt_install chromium fonts-dejavu-core || true
    chromium=$(find_chromium)
fi
if [ -z "$chromium" ]; then
    echo "browser test skipped: Chromium cannot be installed" >&2
    exit 77
fi
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    apt_install nodejs npm
fi
if [ ! -d "$here/node_modules/puppeteer-core" ] || [ ! -d "$here/node_modules/axe-core" ]; then
    (cd "$here" && npm ci --no-audit --no-fund --loglevel=error)
fi

rm -rf "$work"
mkdir -p "$work"
sh "$source/examples/demo.sh" "$evtable" "$work/demo"
python3 "$source/bench/make_calendars.py" 1k "$work/generated" 6 >/dev/null
sh "$source/examples/demo.sh" "$evtable" "$work/busy" "$work/generated/calendar-1k.ics" \
    20230601 P29D "A busy month"

# The list of the next events, with ids; the months in Arabic, right to
# left, with Monday-first weeks; nine weeks in German, whose last month
# shows days outside the period.
sh "$source/examples/demo.sh" "$evtable" "$work/list" "" "" "" "" en --list --limit=8 --anchors -T
sh "$source/examples/demo.sh" "$evtable" "$work/arabic" "" "" "" "" ar -m
sh "$source/examples/demo.sh" "$evtable" "$work/german" "" 20261101 P9W "" de

# The demo's three months must print on three pages, in any language.
node "$here/page_test.js" "$chromium" "$work" "$work/demo/calendar.html:3" "$work/busy/calendar.html" \
    "$work/list/calendar.html" "$work/arabic/calendar.html:3" "$work/german/calendar.html:3"
