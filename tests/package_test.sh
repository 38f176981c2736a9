#!/bin/bash
# package_test.sh BUILD: builds the Debian package of BUILD with CPack into a
# temporary folder (the build folder gets no package files) and checks its
# contents and its dependencies, and that lintian finds no error in it.
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
    ./usr/share/man/man1/evtable.1.gz ./usr/share/man/man1/evjoin.1.gz ./usr/share/man/man1/evsift.1.gz \
    ./usr/share/doc/evtools/calendar.css ./usr/share/doc/evtools/calendar.ics \
    ./usr/share/doc/evtools/copyright ./usr/share/doc/evtools/changelog.gz; do
    grep -qE "[[:space:]]$file\$" "$work/contents" || { cat "$work/contents" >&2; fail "$file is not in the package"; }
done
grep -E '[[:space:]]\./usr/bin/evtable$' "$work/contents" | grep -q '^-rwxr-xr-x' ||
    fail "usr/bin/evtable is not executable in the package"

dpkg-deb -I "$package" >"$work/info"
grep -q '^ Package: evtools$' "$work/info" || { cat "$work/info" >&2; fail "the package is not named evtools"; }
depends=$(grep '^ Depends: ' "$work/info" || true)
[ "$(printf '%s\n' "$depends" | grep -o 'libical3 (' | wc -l)" = 1 ] ||
    { cat "$work/info" >&2; fail "the package does not depend on libical3 exactly once"; }
grep -q '^ Maintainer: ' "$work/info" || fail "the package has no maintainer"

dpkg-deb -x "$package" "$work/root"
grep -q '^Copyright (c) 2026 evtools developers$' "$work/root/usr/share/doc/evtools/copyright" ||
    fail "the copyright file lacks the project's copyright line"
gzip -dc "$work/root/usr/share/man/man1/evtable.1.gz" | grep -q '^\.Nm evtable$' ||
    fail "evtable.1.gz does not hold evtable's manual page"

# Every error that lintian reports fails the test; warnings are listed.
command -v lintian >/dev/null || fail "lintian is not installed (make test-deps installs it)"
lintian --tag-display-limit 0 "$package" >"$work/lintian" 2>&1 || true
grep -E '^[WEI]: ' "$work/lintian" >&2 || true
if grep -q '^E: ' "$work/lintian"; then
    fail "lintian reports errors on $(basename "$package")"
fi

echo "$(basename "$package"): contents and dependencies as expected, no lintian error"
