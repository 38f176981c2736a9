#!/bin/sh
# demo.sh EVTABLE FOLDER [CALENDAR START DURATION TITLE LANG [OPTION...]]:
# renders a calendar
# (the example one for November 2026 to January 2027, whole, by default) into FOLDER
# as a published page, with the options of the README's publishing script:
# FOLDER/calendar.html, with the style sheet and the calendar beside it. LANG
# (en by default) is the page's language; further options are added as given.
# `make demo` and the browser test use it, so the page they show is the one
# that publishers make.
set -eu

evtable=$1
folder=$2
examples=$(dirname "$0")
calendar=${3:-$examples/calendar.ics}
start=${4:-20261101T000000}
duration=${5:-P91DT23H59M59S}
title=${6:-Example calendar}
lang=${7:-en}
shift $(($# < 7 ? $# : 7))
zone=Europe/Berlin
feed=calendar.example.org/calendar.ics

mkdir -p "$folder"
cp "$examples/calendar.css" "$folder/calendar.css"
cp "$calendar" "$folder/calendar.ics"
"$evtable" --title="$title" -d -l --timezone="$zone" \
    --lang="$lang" "$@" \
    --head='<meta name="viewport" content="width=device-width, initial-scale=1" />' \
    --header="<header><h1>$title</h1><p>Times are in $zone.</p><p>Subscribe: <a href=\"webcal://$feed\">webcal://$feed</a> or <a href=\"calendar.ics\">download calendar.ics</a></p></header><main>" \
    --footer='</main>' \
    "$start" "$duration" "$folder/calendar.ics" >"$folder/calendar.html"
