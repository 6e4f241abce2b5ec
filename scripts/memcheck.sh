#!/bin/sh
# Runs the end-to-end tests and qxrun on the example programs under
# valgrind memcheck and fails on any memory error or definite/indirect
# leak. Memory that the process-long objects (option set, system model,
# architecture registry) still hold at exit is "still reachable", which is
# not an error.
#
#   scripts/memcheck.sh [GTEST_FILTER]
#
# The default filter leaves out the tests of the harness itself
# (Subprocess.*): they run system programs and check the exact environment
# and argv[0] those see, which a wrapper necessarily changes.
#
# Uses the Release build in build-bench (configured and built as needed).
# The test harness puts $QX_TEST_WRAPPER before every program it starts;
# each run writes its own log vg.<pid>.log, all of which are checked.
# Environment: QX_MEMCHECK_LOGS  directory for the logs (default: a new
#                                one in /tmp, removed after a clean run)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
filter=${1:-*-Subprocess.*}

command -v valgrind >/dev/null || { echo "memcheck: valgrind is not installed" >&2; exit 2; }
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
nice -n 19 cmake --build "$build" -j 2 >/dev/null

logs=${QX_MEMCHECK_LOGS:-$(mktemp -d /tmp/qx_memcheck.XXXXXX)}
mkdir -p "$logs"
valgrind_command="valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect --suppressions=$root/scripts/memcheck.supp --log-file=$logs/vg.%p.log"

status=0

# 1. The end-to-end suite, every program it starts under memcheck.
echo "memcheck: end-to-end tests (filter $filter)"
QX_TEST_WRAPPER="$valgrind_command" "$build/bin/qx_e2e_tests" --gtest_filter="$filter" --gtest_brief=1 \
    >"$logs/e2e.out" 2>&1 || { status=1; tail -n 30 "$logs/e2e.out" >&2; }
tail -n 3 "$logs/e2e.out"

# 2. qxrun itself on each example with the real host library (found through
# the host-API library's run path in build-bench/lib).
if [ -f "$build/lib/liborvald_lib_direct.so" ] && ls "$build"/examples/*.qxx >/dev/null 2>&1; then
    for program in "$build"/examples/*.qxx; do
        for mode in "--sim" "--sim --qxtrace $logs/trace.out" ""; do
            # shellcheck disable=SC2086
            output=$(cd "$logs" && QXPATH="$root/examples" $valgrind_command "$build/bin/qxrun" $mode "$program" 2>&1) ||
                [ $? -ne 99 ] || { status=1; echo "memcheck: qxrun $mode $program: valgrind error" >&2; }
            echo "memcheck: qxrun $mode $(basename "$program"): $(echo "$output" | tail -n 1)"
        done
    done
else
    echo "memcheck: no real host library or assembled examples in $build; qxrun runs skipped"
fi

# 3. Every log: with --quiet, valgrind writes nothing unless it found errors.
runs=$(ls "$logs"/vg.*.log 2>/dev/null | wc -l)
errors=0
for log in "$logs"/vg.*.log; do
    [ -f "$log" ] || continue
    if [ -s "$log" ]; then
        errors=$((errors + 1))
        echo "memcheck: errors in $log:" >&2
        head -n 40 "$log" >&2
    fi
done
echo "memcheck: $runs runs under valgrind, $errors with errors"
[ "$runs" -gt 0 ] || { echo "memcheck: no run was checked (is QX_TEST_WRAPPER honoured?)" >&2; status=1; }
[ "$errors" -eq 0 ] || status=1

if [ "$status" -eq 0 ] && [ -z "${QX_MEMCHECK_LOGS:-}" ]; then rm -rf "$logs"; fi
[ "$status" -eq 0 ] && echo "memcheck: clean" || echo "memcheck: FAILED (logs in $logs)" >&2
exit "$status"
