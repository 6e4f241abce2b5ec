#!/bin/sh
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each fuzz target for SECONDS
# (default 60) on a scratch copy of its seed corpus fuzz/corpus/<target>/,
# so that generated inputs never land in the source tree.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 600 options qxx
#
# TARGET is the name before "_fuzzer"; without targets, the whole preset is
# built and every *_fuzzer executable it made is run, one after the other
# (CI runs them so, 30 s each). The fuzzers run under "nice -n 19", since
# the machine is shared. Prints executions and coverage per target and
# exits non-zero when any target found a crash, a leak, undefined
# behaviour, a timeout or ran out of memory; its reproducer (crash-*,
# leak-*, timeout-*, oom-*) and log are kept in the work directory.
#
# Environment: QX_FUZZ_WORK  work directory (default: a new one in /tmp;
#                            removed after a clean run unless QX_FUZZ_KEEP=1)
#              QX_FUZZ_JOBS  build jobs (default 2)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
build="$root/build-fuzz"
jobs=${QX_FUZZ_JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
    (cd "$root" && cmake --preset fuzz >/dev/null)
fi
targets="$*"
if [ -z "$targets" ]; then
    nice -n 19 cmake --build "$build" -j "$jobs" >/dev/null
    # Every fuzzer the build made (fuzz/CMakeLists.txt skips those whose
    # libraries are missing).
    targets=$(find "$build" -type f -perm -u+x -name '*_fuzzer' | sed 's,.*/,,; s/_fuzzer$//' | sort -u)
    [ -n "$targets" ] || { echo "fuzz: the build made no fuzzer" >&2; exit 1; }
else
    build_targets=""
    for target in $targets; do build_targets="$build_targets ${target}_fuzzer"; done
    nice -n 19 cmake --build "$build" -j "$jobs" --target $build_targets >/dev/null
fi

# The executable of a target, wherever the build put it.
fuzzer_of() {
    find "$build" -type f -perm -u+x -name "$1_fuzzer" | head -n 1
}

work=${QX_FUZZ_WORK:-$(mktemp -d /tmp/qx_fuzz.XXXXXX)}
mkdir -p "$work"

# Longest input per target: enough for a whole configuration file, a qxx
# program or an assembler source with its include, small enough to keep
# the inputs fast.
max_len() {
    case $1 in
        locatefile) echo 2048 ;;
        *) echo 8192 ;;
    esac
}

# Extra libFuzzer flags per target. The option scanner keeps the texts it
# makes for unclaimed cluster letters for the whole process (argv points at
# them), so many options inputs allocate more than they free, and
# libFuzzer would then run a full leak scan after each of them (a hundred
# times slower). Leaks are still reported by LeakSanitizer when the
# fuzzer exits, and by scripts/memcheck.sh.
extra_flags() {
    case $1 in
        options) echo -detect_leaks=0 ;;
        *) echo ;;
    esac
}

failed=""
for target in $targets; do
    corpus="$work/$target/corpus"
    mkdir -p "$corpus" "$work/$target/artifacts"
    if [ -d "$root/fuzz/corpus/$target" ]; then cp -R "$root/fuzz/corpus/$target/." "$corpus/"; fi
    log="$work/$target/fuzz.log"
    status=0
    started=$(date +%s)
    nice -n 19 "$(fuzzer_of "$target")" "$corpus" \
        -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=25 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/$target/artifacts/" $(extra_flags "$target") >"$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    echo "$target: ${executions:-?} executions in $(($(date +%s) - started)) s, ${coverage:-no coverage line}, corpus $(ls "$corpus" | wc -l) inputs"
    if [ "$status" -ne 0 ]; then
        echo "$target: FAILED (status $status); log $log" >&2
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 5 >&2 || true
        ls "$work/$target/artifacts" >&2
        failed="$failed $target"
    fi
done

if [ -n "$failed" ]; then
    echo "fuzz: failures in:$failed (work directory $work)" >&2
    exit 1
fi
if [ -z "${QX_FUZZ_WORK:-}" ] && [ -z "${QX_FUZZ_KEEP:-}" ]; then rm -rf "$work"; fi
echo "fuzz: no failures"
