# seeded_sample.sh: sourced by the tests that check a slow property over a
# sample of their cases rather than all of them on every run.
#
# The sample is drawn from a seed: EVTOOLS_TEST_SEED when set, otherwise a
# new one each run, so that runs together cover every case. The test prints
# the seed; a failure is replayed with EVTOOLS_TEST_SEED=SEED, and
# EVTOOLS_FULL_TESTS=1 runs every case.
#
#   sample_start NAME   sets test_seed and full, seeds bash's RANDOM, prints
#                       how to replay the run
#   sample_take COUNT ITEM...
#                       sets sampled to COUNT of the items drawn with the
#                       seed, in their order (all of them when full)

sample_start() {
    full=false
    [ "${EVTOOLS_FULL_TESTS:-0}" = 1 ] && full=true
    test_seed=${EVTOOLS_TEST_SEED:-$(( $(od -An -N3 -tu4 /dev/urandom) ))}
    case $test_seed in
        ''|*[!0-9]*) echo "$1: EVTOOLS_TEST_SEED must be a whole number, not '$test_seed'" >&2; exit 2 ;;
    esac
    test_seed=$((10#$test_seed))
    RANDOM=$test_seed
    if $full; then
        echo "$1: every case (EVTOOLS_FULL_TESTS=1), seed $test_seed"
    else
        echo "$1: a sample, seed $test_seed (EVTOOLS_TEST_SEED=$test_seed replays it;" \
            "EVTOOLS_FULL_TESTS=1 runs every case)"
    fi
}

sample_take() {
    local count=$1 i j swap
    shift
    local items=("$@") chosen=()
    if $full || [ "$count" -ge ${#items[@]} ]; then
        sampled=("${items[@]}")
        return
    fi
    # The first COUNT places of a seeded shuffle, kept in the items' order.
    local order=("${!items[@]}")
    for ((i = ${#order[@]} - 1; i > 0; i--)); do
        j=$(( (RANDOM * 32768 + RANDOM) % (i + 1) ))
        swap=${order[i]}; order[i]=${order[j]}; order[j]=$swap
    done
    mapfile -t chosen < <(printf '%s\n' "${order[@]:0:count}" | sort -n)
    sampled=()
    for i in "${chosen[@]}"; do sampled+=("${items[i]}"); done
}
