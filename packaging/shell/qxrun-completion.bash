# bash completion for the qxrun kit's tools: qxrun, qxas and qxsim.
# Installed once per tool under completions/<tool>, where bash-completion
# loads it when the tool is first completed. Offers each tool's options
# (as its --help lists them, and --useconfig), the values of an option
# that has a fixed set, and the files a tool reads: .qxx programs for
# qxrun and qxas --dump, .qxs sources for qxas and its --fovel-file.

_qxrun_kit_options_qxrun='--help -h --output -o --verbose -v --version -V --useconfig
    --fake --qxx --chip -c --instance -i --host --sim -s --qxtrace'
_qxrun_kit_options_qxas='--help -h --output -o --verbose -v --version -V --useconfig
    --fovel-file -m --info -i --dump -d'
_qxrun_kit_options_qxsim='--help -h --output -o --verbose -v --version -V --useconfig
    --listen --port -p --max-connections --max-program-size --max-cycles --token --token-file
    --idle-timeout --queue-length --queue-timeout --health-port --drain-grace'

# Completes the current word of qxrun, qxas or qxsim (the command's name,
# without its directory, chooses the tool).
_qxrun_kit() {
    local cur prev words cword
    _init_completion || return
    local tool=${1##*/}

    # The value of the option before the current word.
    case $tool:$prev in
        *:--useconfig)
            _filedir cfg
            return
            ;;
        *:--output | *:-o | qxrun:--qxtrace | qxsim:--token-file)
            _filedir
            return
            ;;
        qxrun:--chip | qxrun:-c)
            COMPREPLY=($(compgen -W '0 1' -- "$cur"))
            return
            ;;
        qxrun:--host)
            _known_hosts_real -- "$cur"
            return
            ;;
        qxas:--dump | qxas:-d)
            _filedir qxx
            return
            ;;
        qxas:--fovel-file | qxas:-m)
            _filedir qxs
            return
            ;;
        qxrun:--instance | qxrun:-i | qxas:--info | qxas:-i | qxsim:--listen | qxsim:--port | qxsim:-p | \
            qxsim:--max-* | qxsim:--token | qxsim:--idle-timeout | qxsim:--queue-* | qxsim:--health-port | \
            qxsim:--drain-grace)
            # A number, an address, a mnemonic or a secret: nothing to offer.
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        local options_name=_qxrun_kit_options_$tool
        COMPREPLY=($(compgen -W "${!options_name}" -- "$cur"))
        return
    fi
    case $tool in
        qxrun) _filedir qxx ;;
        qxas) _filedir qxs ;;
    esac
} && complete -F _qxrun_kit qxrun qxas qxsim
