#!/bin/sh
# The installed kit from any directory: installs the build into a temporary
# prefix, sources PREFIX/share/qxrun/setup.sh twice in a shell with an
# otherwise empty environment (QXPATH must then name the configuration
# directory once) and runs the tools from a fresh empty directory. Then
# the snippet's logic on its own, made for a fake directory: QXPATH unset,
# empty, holding other directories, already holding it, under "set -u".
# Outputs and exit statuses are compared exactly.
#
# Usage: setup_test.sh CMAKE BUILD_DIR HOST_LIBRARIES_BUILT(0|1) SANITIZERS SNIPPET_TEMPLATE
# Exit status: 0 passed, 1 failed, 77 skipped (everything else passed, but
# the host libraries are not part of the build, so qxrun cannot run).
set -u
cmake=$1
build=$2
host_libraries=$3
sanitizers=${4:-}
template=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/qxrun-setup.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
empty=$work/empty
mkdir "$empty"

. "$(dirname "$0")/common.sh"

# expect NAME EXPECTED_STATUS EXPECTED_OUTPUT STATUS OUTPUT
expect() {
    [ "$4" = "$2" ] || fail "$1: exit status $4, expected $2"
    [ "$5" = "$3" ] || fail "$1: printed
$5
expected
$3"
}

install_build "$build" "$prefix"
[ -f "$prefix/share/qxrun/setup.sh" ] || fail "share/qxrun/setup.sh is not installed"
for tool in qxrun qxas qxsim; do
    [ -f "$prefix/share/bash-completion/completions/$tool" ] ||
        fail "share/bash-completion/completions/$tool is not installed"
done
[ ! -e "$prefix/etc/profile.d/qxrun.sh" ] || fail "a prefix other than /usr got etc/profile.d/qxrun.sh"

# The sanitizers' runtime hides the host-API library's run path from the
# dlopen of the host library (see install_test.sh).
library_path=""
[ -z "$sanitizers" ] || library_path="LD_LIBRARY_PATH=$prefix/lib"

# run COMMAND...: runs the command in a shell that sourced setup.sh twice,
# in the empty directory, with an otherwise empty environment (HOME is the
# empty directory, so no user configuration is found); both streams.
run() {
    (cd "$empty" && env -i HOME="$empty" PATH="$prefix/bin:/usr/bin:/bin" $library_path \
        sh -c '. "$0/share/qxrun/setup.sh" && . "$0/share/qxrun/setup.sh" && "$@"' "$prefix" "$@" 2>&1)
}

output=$(run sh -c 'echo "$QXPATH"')
expect "QXPATH after sourcing setup.sh twice" 0 "$prefix/share/qxrun" $? "$output"

output=$(run qxas -o x.qxx "$prefix/share/qxrun/examples/loop.qxs")
expect "qxas -o x.qxx examples/loop.qxs" 0 "" $? "$output"
cmp -s "$empty/x.qxx" "$prefix/share/qxrun/examples/loop.qxx" || fail "qxas made another loop.qxx than the build"
rm -f "$empty/x.qxx"

# Help and version print what they print with the configuration named
# explicitly; qxrun exits with 1 after them, like after every request that
# is not a failed run.
configuration=$prefix/share/qxrun/target_device.cfg
for request in "qxas --version 0" "qxas --help 0" "qxsim --help 0" "qxsim -V 0" "qxrun --help 1" \
    "qxrun --version 1"; do
    set -- $request
    expected=$(run "$1" --useconfig "$configuration" "$2")
    case $expected in
        *"$1"*) ;;
        *) fail "$1 $2 --useconfig printed: $expected" ;;
    esac
    output=$(run "$1" "$2")
    expect "$1 $2" "$3" "$expected" $? "$output"
done

[ -z "$(ls -A "$empty")" ] || fail "the tools left files in the working directory: $(ls -A "$empty")"

# The snippet's logic, made for a fake directory.
fake=/opt/fake\ kit/share/qxrun
snippet=$work/snippet.sh
sed "s|@QX_CONFIG_DIR@|$fake|" "$template" >"$snippet"
# snippet_case NAME EXPECTED SETUP: SETUP prepares the environment, then
# the snippet is sourced twice under "set -u"; prints QXPATH, whether it is
# exported, and that the snippet's own variable is gone.
snippet_case() {
    output=$(env -i sh -c 'set -u; eval "$1"; . "$0"; . "$0"; printf "%s|" "$QXPATH"; sh -c "echo \"\${QXPATH+exported}\""; echo "${qxrun_config_dir-gone}"' \
        "$snippet" "$3" 2>&1)
    expect "snippet: $1" 0 "$2" $? "$output"
}
snippet_case "QXPATH unset" "$fake|exported
gone" ":"
snippet_case "QXPATH empty" "$fake|exported
gone" "QXPATH="
snippet_case "QXPATH set, not exported" "/a:$fake|exported
gone" "QXPATH=/a"
snippet_case "other directories first" "/a:/b:$fake|exported
gone" "export QXPATH=/a:/b"
snippet_case "already last" "/a:$fake|exported
gone" "export QXPATH=\"/a:$fake\""
snippet_case "already first" "$fake:/a|exported
gone" "export QXPATH=\"$fake:/a\""
snippet_case "a longer name is another directory" "$fake/x:$fake|exported
gone" "export QXPATH=\"$fake/x\""
output=$(env -i sh -c '. "$0"' "$snippet" 2>&1)
expect "snippet prints nothing" 0 "" $? "$output"

if [ "$host_libraries" = 1 ]; then
    output=$(run qxrun --sim "$prefix/share/qxrun/examples/constant.qxx")
    # qxrun exits with 1 after a run that reported no failure.
    expect "qxrun --sim examples/constant.qxx" 1 "Return value = 42" $? "$output"
fi

[ "$failures" -eq 0 ] || exit 1
if [ "$host_libraries" != 1 ]; then
    echo "SKIPPED: the host libraries are not part of this build"
    exit 77
fi
echo "PASSED"
