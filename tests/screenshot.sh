#!/bin/sh
# screenshot.sh PAGE PNG: renders the HTML page with headless Chromium and
# saves a picture of it, SCREENSHOT_WIDTH by SCREENSHOT_HEIGHT pixels (1280 by
# 1600 unless set). `make screenshot` uses it to make doc/demo.png and, at a
# phone's 390 by 844, doc/demo-phone.png from `make demo`'s page. Chromium is
# installed from Debian's packages when it is missing.
set -eu

page=${1:-build/demo/calendar.html}
picture=${2:-doc/demo.png}
width=${SCREENSHOT_WIDTH:-1280}
height=${SCREENSHOT_HEIGHT:-1600}

if [ ! -f "$page" ]; then
    echo "screenshot.sh: $page does not exist; run 'make demo' first" >&2
    exit 1
fi

browser=""
for candidate in chromium chromium-browser; do
    if command -v "$candidate" >/dev/null 2>&1; then
        browser=$(command -v "$candidate")
        break
    fi
done
if [ -z "$browser" ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "Installing: chromium"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        chromium fonts-dejavu-core >/dev/null
    browser=/usr/bin/chromium
fi

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT INT TERM

mkdir -p "$(dirname "$picture")"
picture_path=$(cd "$(dirname "$picture")" && pwd)/$(basename "$picture")
page_path=$(cd "$(dirname "$page")" && pwd)/$(basename "$page")

# No sandbox: CI runs as root. The other flags keep Chromium from reaching
# out to the network, which this machine does not have.
"$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --hide-scrollbars --force-color-profile=srgb \
    --user-data-dir="$profile" \
    --window-size="$width,$height" \
    --screenshot="$picture_path" \
    "file://$page_path" >"$profile/chromium.log" 2>&1 || {
    cat "$profile/chromium.log" >&2
    exit 1
}

if [ ! -s "$picture_path" ]; then
    cat "$profile/chromium.log" >&2
    echo "screenshot.sh: Chromium wrote no picture" >&2
    exit 1
fi
echo "Wrote $picture"
