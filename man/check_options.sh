#!/bin/sh
# check_options.sh PROGRAM PAGE: every option that PROGRAM's usage text names,
# short and long, must appear as a word in the rendered manual PAGE, and
# every option that the PAGE's option list describes must be in the text
# that PROGRAM --help writes.
set -u

program=$1
page=$2

# An unknown option makes the program print its usage text (status 2).
usage=$("$program" --no-such-option 2>&1 >/dev/null)
status=$?
if [ "$status" -ne 2 ]; then
    echo "$program --no-such-option: status $status, expected 2" >&2
    exit 1
fi

options=$(printf '%s\n' "$usage" | grep -E '^ +-' |
    grep -oE -- '(^|[ ,])--?[A-Za-z][A-Za-z-]*' | sed 's/^[ ,]*//' | sort -u)

# One long line per paragraph, no hyphenation, no overstriking: an option is
# never broken across lines.
text=$(groff -mdoc -Tascii -P-cbou -rLL=1000n -rHY=0 "$page" 2>/dev/null)
if [ -z "$text" ]; then
    echo "$page renders to nothing" >&2
    exit 1
fi

missing=0
for option in $options; do
    if ! printf '%s\n' "$text" | grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|\$)"; then
        echo "$page does not mention $option" >&2
        missing=1
    fi
done
if [ "$missing" -ne 0 ]; then
    exit 1
fi
# The page's option list: ".It Fl d , Fl \-description" names -d and --description.
listed=$(grep -E '^\.It Fl ' "$page" | grep -oE 'Fl (\\-)?[A-Za-z][A-Za-z-]*' |
    sed 's/^Fl //; s/^\\-/--/; s/^\([A-Za-z]\)/-\1/' | sort -u)
help=$("$program" --help)
for option in $listed; do
    if ! printf '%s\n' "$help" | grep -qE -- "(^|[^A-Za-z0-9-])$option([^A-Za-z0-9-]|\$)"; then
        echo "$program --help does not mention $option" >&2
        missing=1
    fi
done
if [ "$missing" -ne 0 ]; then
    exit 1
fi
if [ -z "$options" ]; then
    echo "$program has no options"
else
    echo "$page names all of:" $options
fi
