#!/bin/bash
# test_loop.sh [-r ROUNDS] REVISION...: how long make test takes on a fresh
# clone of each revision, the revisions taken in turn ROUNDS times (default
# 2), so that every round meets the machine in about the same state. Prints
# each run's make test and ctest times and, per round, their ratio to the
# first revision's: the machines are shared, and the ratio is the figure that
# holds from one hour to the next.
#
#   bash bench/test_loop.sh 150e713 main
#
# Each run clones this repository into a temporary folder and runs make test
# there as it is (installing what is missing); a run that fails is reported
# with its status and the end of its log. A run takes a few minutes.
set -u

rounds=2
if [ "${1:-}" = -r ]; then
    rounds=$2
    shift 2
fi
if [ $# -eq 0 ]; then
    echo "usage: test_loop.sh [-r ROUNDS] REVISION..." >&2
    exit 2
fi
case $rounds in
    ''|*[!0-9]*|0) echo "test_loop.sh: ROUNDS must be a whole number above 0, not '$rounds'" >&2; exit 2 ;;
esac

repository=$(git -C "$(dirname "$0")" rev-parse --show-toplevel) || exit 2
for revision in "$@"; do
    git -C "$repository" rev-parse --verify -q "$revision^{commit}" >/dev/null ||
        { echo "test_loop.sh: $revision is not a revision of $repository" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
printf '%-6s %-14s %12s %9s %12s %9s\n' round revision "make test" ratio ctest ratio
for ((round = 1; round <= rounds; round++)); do
    first_make=""
    first_ctest=""
    for revision in "$@"; do
        clone=$work/clone
        rm -rf "$clone"
        git clone -q "$repository" "$clone" && git -C "$clone" checkout -q "$revision" || exit 2
        start=$(date +%s.%N)
        (cd "$clone" && make test) >"$work/log" 2>&1
        result=$?
        end=$(date +%s.%N)
        make_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
        ctest_seconds=$(sed -n 's/^Total Test time (real) = *\([0-9.]*\) sec$/\1/p' "$work/log")
        if [ $result -ne 0 ] || [ -z "$ctest_seconds" ]; then
            status=1
            echo "round $round, $revision: make test failed (status $result):" >&2
            tail -n 20 "$work/log" >&2
            continue
        fi
        [ -n "$first_make" ] || { first_make=$make_seconds; first_ctest=$ctest_seconds; }
        awk -v round="$round" -v revision="$revision" -v m="$make_seconds" -v c="$ctest_seconds" \
            -v m1="$first_make" -v c1="$first_ctest" \
            'BEGIN { printf "%-6s %-14s %11.1fs %9.2f %11.1fs %9.2f\n", round, revision, m, m / m1, c, c / c1 }'
    done
done
exit $status
