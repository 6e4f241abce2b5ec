#!/bin/sh
# Installs the build into a temporary prefix and checks the layout, then
# runs the installed tools with an empty environment in the installed
# examples directory: qxas must assemble an example to the same program
# the build made, and qxrun must run it on the simulator and print its
# return value, finding its libraries, the host library and the
# configuration on its own.
#
# Every installed executable and library must have a run path without
# empty or relative elements (checked by RUNPATH_CHECK, qx_runpath_check).
#
# Usage: install_test.sh CMAKE BUILD_DIR HOST_LIBRARIES_BUILT(0|1) SANITIZERS RUNPATH_CHECK
# Exit status: 0 passed, 1 failed, 77 skipped (the layout is right but the
# host libraries are not part of the build, so nothing can run).
set -u
cmake=$1
build=$2
host_libraries=$3
sanitizers=${4:-}
runpath_check=$5

prefix=$(mktemp -d "${TMPDIR:-/tmp}/qxrun-install.XXXXXX") || exit 1
trap 'rm -rf "$prefix"' EXIT

. "$(dirname "$0")/common.sh"
install_build "$build" "$prefix"

for file in bin/qxrun bin/qxas lib/libqxframework.so.1 lib/libqxapi.so.1 \
    include/qxapi/qxapi.h include/qxapi/qxapi_entry_points.def \
    include/qxframework/configuration/CommandOptions.h include/qxframework/configuration/CommonOptions.def \
    include/qxframework/sdksupport/ArchConfig.h \
    share/qxrun/target_device.cfg share/qxrun/examples/target_device.cfg \
    share/qxrun/examples/constant.qxs share/qxrun/examples/constant.qxx share/qxrun/examples/host_program.c \
    share/doc/qxrun/README.md share/doc/qxrun/tev-isa.md share/doc/qxrun/qxx-format.md \
    share/man/man1/qxrun.1 share/man/man1/qxas.1; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
if grep -rl gtest "$prefix/include" >/dev/null; then
    fail "headers of the unit tests are installed"
fi
output=$("$runpath_check" "$prefix") || fail "installed run paths: $output"

examples="$prefix/share/qxrun/examples"
output=$(cd "$examples" && env -i "$prefix/bin/qxas" --output "$prefix/constant.qxx" constant.qxs 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "installed qxas exited with $status: $output"
cmp -s "$prefix/constant.qxx" "$examples/constant.qxx" || fail "installed qxas made another program than the build"

if [ "$host_libraries" != 1 ]; then
    [ "$failures" -eq 0 ] || exit 1
    echo "SKIPPED: the host libraries are not part of this build"
    exit 77
fi
for library in direct trace debugger; do
    [ -f "$prefix/lib/liborvald_lib_$library.so" ] || fail "lib/liborvald_lib_$library.so is not installed"
done

# The sanitizers' runtime intercepts dlopen and calls it from its own
# library, so the host-API library's run path is not searched for the host library
# in a sanitized build; there the library directory is named explicitly.
library_path=""
[ -z "$sanitizers" ] || library_path="LD_LIBRARY_PATH=$prefix/lib"
output=$(cd "$examples" && env -i $library_path "$prefix/bin/qxrun" --sim constant.qxx 2>&1)
status=$?
[ "$output" = "Return value = 42" ] || fail "installed qxrun printed: $output"
# qxrun exits with 1 after a run that reported no failure.
[ "$status" -eq 1 ] || fail "installed qxrun exited with $status"

[ "$failures" -eq 0 ] || exit 1
echo "PASSED"
