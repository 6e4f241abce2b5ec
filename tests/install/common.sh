# Shared by the tests that install the build into a temporary prefix and
# check what they find there. Source it after setting "cmake".
#
# fail MESSAGE...             reports a failure and counts it ("failures")
# install_build BUILD PREFIX  installs BUILD into PREFIX; a failed install
#                             prints cmake's output and ends the test
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

install_build() {
    install_log="$2.install.log"
    if ! "$cmake" --install "$1" --prefix "$2" >"$install_log" 2>&1; then
        cat "$install_log"
        rm -f "$install_log"
        echo "FAILED: cmake --install"
        exit 1
    fi
    rm -f "$install_log"
}
