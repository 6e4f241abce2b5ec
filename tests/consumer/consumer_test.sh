#!/bin/sh
# Installs the build into a temporary prefix and builds a host program and
# a program on the tool framework against it, the two ways a user does:
# with the CMake package (find_package(qxrun CONFIG REQUIRED)) and with
# pkg-config. Each host program runs examples/loop.qxx on the simulator
# of the installed direct host library, with QXPATH naming the installed
# configuration, and must print its return value and the data word it
# stored.
#
# Usage: consumer_test.sh CMAKE GENERATOR BUILD_DIR SOURCE_DIR C_COMPILER CXX_COMPILER
#                         VERSION LIBDIR PACKAGE_LIBDIR HOST_LIBRARIES_BUILT(0|1) SANITIZERS
#   LIBDIR          where the libraries are installed, relative to the prefix
#   PACKAGE_LIBDIR  where cmake/ and pkgconfig/ are installed, relative to the prefix
# Exit status: 0 passed, 1 failed, 77 skipped (sanitized build, no host
# libraries, or no pkg-config after the CMake way passed).
set -u
cmake=$1
generator=$2
build=$3
source=$4
cc=$5
cxx=$6
version=$7
libdir=$8
package_libdir=$9
host_libraries=${10}
sanitizers=${11:-}

# A sanitized library needs the sanitizer's runtime loaded first, which an
# outside program does not arrange.
if [ -n "$sanitizers" ]; then
    echo "SKIPPED: the libraries are built with sanitizers ($sanitizers)"
    exit 77
fi
if [ "$host_libraries" != 1 ]; then
    echo "SKIPPED: the host libraries are not part of this build"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qxrun-consumer.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

. "$(dirname "$0")/../install/common.sh"
install_build "$build" "$prefix"

# The installed package names nothing of the build: no path into the
# source or build tree, no target of the build's own (warnings, tests).
for file in "$prefix/$package_libdir"/cmake/qxrun/*.cmake "$prefix/$package_libdir"/pkgconfig/*.pc; do
    if grep -n -e "$source" -e "$build" -e qx_warnings -e qx_api_headers -e qx_test "$file"; then
        fail "$file names the build"
    fi
done

program=$prefix/share/qxrun/examples/loop.qxx
expected_host="Return value = 5050
total = 5050"
expected_framework="framework: FF qxapi"

# Runs a built host program and framework program from an empty directory
# with an empty environment but for QXPATH, and compares their output.
check_programs() {
    way=$1
    bin=$2
    mkdir -p "$work/run-$way"
    output=$(cd "$work/run-$way" && env -i QXPATH="$prefix/share/qxrun" "$bin/host_program" "$program" 2>"$work/stderr")
    status=$?
    if [ "$status" -ne 0 ] || [ "$output" != "$expected_host" ]; then
        fail "$way: host_program exited with $status and printed:"
        printf '%s\n' "$output"
        cat "$work/stderr"
    fi
    output=$(cd "$work/run-$way" && env -i "$bin/framework_program" 2>&1)
    status=$?
    if [ "$status" -ne 0 ] || [ "$output" != "$expected_framework" ]; then
        fail "$way: framework_program exited with $status and printed: $output"
    fi
}

# The CMake package.
if "$cmake" -G "$generator" -S "$source/tests/consumer/project" -B "$work/cmake-build" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
    -DQX_EXPECTED_VERSION="$version" >"$work/cmake.log" 2>&1 &&
    "$cmake" --build "$work/cmake-build" >>"$work/cmake.log" 2>&1; then
    check_programs cmake "$work/cmake-build"
else
    cat "$work/cmake.log"
    fail "the project using find_package(qxrun) did not build"
fi

# pkg-config: the programs find the libraries through the run path that
# the .pc file's libdir gives.
if ! command -v pkg-config >/dev/null 2>&1; then
    [ "$failures" -eq 0 ] || exit 1
    echo "SKIPPED: pkg-config is not installed (the CMake package passed)"
    exit 77
fi
PKG_CONFIG_PATH=$prefix/$package_libdir/pkgconfig
export PKG_CONFIG_PATH
for module in qxapi qxframework; do
    found=$(pkg-config --modversion "$module" 2>&1)
    [ "$found" = "$version" ] || fail "pkg-config --modversion $module: $found"
    found=$(pkg-config --variable=libdir "$module")
    [ "$found" = "$prefix/$libdir" ] || fail "pkg-config --variable=libdir $module: $found"
done
mkdir -p "$work/pc-build"
qxapi_libdir=$(pkg-config --variable=libdir qxapi)
qxframework_libdir=$(pkg-config --variable=libdir qxframework)
# Word splitting of the flags is wanted.
# shellcheck disable=SC2046
if "$cc" -Wall -Wextra -Werror -o "$work/pc-build/host_program" "$source/examples/host_program.c" \
    $(pkg-config --cflags --libs qxapi) -Wl,-rpath,"$qxapi_libdir" >"$work/pc.log" 2>&1 &&
    "$cxx" -std=c++17 -Wall -Wextra -Werror -o "$work/pc-build/framework_program" \
        "$source/tests/consumer/framework_program.cpp" \
        $(pkg-config --cflags --libs qxframework) -Wl,-rpath,"$qxframework_libdir" >>"$work/pc.log" 2>&1; then
    check_programs pkg-config "$work/pc-build"
else
    cat "$work/pc.log"
    fail "the programs did not build with pkg-config's flags"
fi

[ "$failures" -eq 0 ] || exit 1
echo "PASSED"
