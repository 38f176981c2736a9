#!/bin/bash
# package_test.sh BUILD: builds the Debian package of BUILD with CPack into a
# temporary folder (the build folder gets no package files) and checks its
# contents and its dependencies.
set -euo pipefail

build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package_test: $*" >&2
    exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
package=$(find "$work" -maxdepth 1 -name 'evtools_*.deb' | head -n 1)
[ -n "$package" ] || { cat "$work/cpack.log" >&2; fail "cpack made no evtools_*.deb"; }

dpkg-deb -c "$package" >"$work/contents"
for file in ./usr/bin/evtable ./usr/bin/evjoin ./usr/bin/evsift \
    ./usr/share/man/man1/evtable.1 ./usr/share/man/man1/evjoin.1 ./usr/share/man/man1/evsift.1 \
    ./usr/share/doc/evtools/calendar.css ./usr/share/doc/evtools/calendar.ics; do
    grep -qE "[[:space:]]$file\$" "$work/contents" || { cat "$work/contents" >&2; fail "$file is not in the package"; }
done
grep -E '[[:space:]]\./usr/bin/evtable$' "$work/contents" | grep -q '^-rwxr-xr-x' ||
    fail "usr/bin/evtable is not executable in the package"

dpkg-deb -I "$package" >"$work/info"
grep -q '^ Package: evtools$' "$work/info" || { cat "$work/info" >&2; fail "the package is not named evtools"; }
grep -qE '^ Depends: .*libical3 \(>= 3\.0\.16\)' "$work/info" ||
    { cat "$work/info" >&2; fail "the package does not depend on libical3 (>= 3.0.16)"; }
grep -q '^ Maintainer: ' "$work/info" || fail "the package has no maintainer"

echo "$(basename "$package"): contents and dependencies as expected"
