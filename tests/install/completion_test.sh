#!/bin/bash
# Drives the bash completion of qxrun, qxas and qxsim as bash does: sets
# COMP_WORDS, COMP_CWORD, COMP_LINE and COMP_POINT for a command line whose
# last word is being completed, calls the completion function and compares
# COMPREPLY with the expected words. File candidates come from a temporary
# working directory; both sides are sorted, as bash sorts what it shows.
#
# Usage: completion_test.sh COMPLETION_SCRIPT
# Exit status: 0 passed, 1 failed, 77 skipped (bash-completion is not
# installed; the script stands on its helpers).
set -u
script=$1
bash_completion=/usr/share/bash-completion/bash_completion
if [ ! -r "$bash_completion" ]; then
    echo "SKIPPED: bash-completion is not installed ($bash_completion)"
    exit 77
fi
# shellcheck source=/dev/null
. "$bash_completion"
# shellcheck source=/dev/null
. "$script"

directory=$(mktemp -d "${TMPDIR:-/tmp}/qxrun-completion.XXXXXX") || exit 1
trap 'rm -rf "$directory"' EXIT
cd "$directory" || exit 1
touch prog.qxx loop.qxs my.cfg notes.txt
mkdir sub

failures=0

# check LINE EXPECTED: completes the last word of LINE (a trailing space
# starts an empty word) and expects the words of EXPECTED, in any order.
check() {
    local line=$1 expected=$2
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    _qxrun_kit "${COMP_WORDS[0]}" "$cur" "$prev"
    local actual wanted
    actual=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ')
    wanted=$(printf '%s\n' $expected | sed '/^$/d' | sort | tr '\n' ' ')
    if [ "$actual" != "$wanted" ]; then
        echo "FAILED: '$line': expected [$wanted], got [$actual]"
        failures=$((failures + 1))
    fi
}

qxrun_options='--help -h --output -o --verbose -v --version -V --useconfig
    --fake --qxx --chip -c --instance -i --host --sim -s --qxtrace'
qxas_options='--help -h --output -o --verbose -v --version -V --useconfig
    --fovel-file -m --info -i --dump -d'
qxsim_options='--help -h --output -o --verbose -v --version -V --useconfig
    --listen --port -p --max-connections --max-program-size --max-cycles --token --token-file
    --idle-timeout --queue-length --queue-timeout --health-port --drain-grace'

#     command line                      expected words
check 'qxrun -'                         "$qxrun_options"
check 'qxrun --ch'                      '--chip'
check 'qxrun --s'                       '--sim'
check 'qxrun --chip '                   '0 1'
check 'qxrun -c 1'                      '1'
check 'qxrun -i '                       ''
check 'qxrun --qxtrace '                'prog.qxx loop.qxs my.cfg notes.txt sub'
check 'qxrun --sim '                    'prog.qxx sub'
check 'qxrun '                          'prog.qxx sub'
check 'qxrun --useconfig '              'my.cfg sub'
check '/opt/qx/bin/qxrun -s p'          'prog.qxx'
check 'qxas -'                          "$qxas_options"
check 'qxas --f'                        '--fovel-file'
check 'qxas '                           'loop.qxs sub'
check 'qxas -o '                        'prog.qxx loop.qxs my.cfg notes.txt sub'
check 'qxas -d '                        'prog.qxx sub'
check 'qxas --dump '                    'prog.qxx sub'
check 'qxas -m '                        'loop.qxs sub'
check 'qxas -i '                        ''
check 'qxsim -'                         "$qxsim_options"
check 'qxsim --max-c'                   '--max-connections --max-cycles'
check 'qxsim --q'                       '--queue-length --queue-timeout'
check 'qxsim --port '                   ''
check 'qxsim --health-port '            ''
check 'qxsim --dr'                      '--drain-grace'
check 'qxsim --token-file '             'prog.qxx loop.qxs my.cfg notes.txt sub'
check 'qxsim '                          ''

[ "$failures" -eq 0 ] || exit 1
echo "PASSED"
