#!/bin/zsh
# The zsh completion of nvbman-cli, driven by zsh: the installed function is autoloaded from
# its folder as compinit finds it, then called as the completion system calls it (words,
# CURRENT), with compadd and _files standing in for the completion widget's builtins so that
# what it offers can be read. The slot words must be exactly the slots the keyboard lists.
#     tst_completion.zsh NVBMAN_CLI COMPLETION_FUNCTION
emulate -L zsh
setopt err_return no_unset
cli=${1:A}
function_file=${2:A}
integer failures=0

work=$(mktemp -d)
trap 'rm -rf $work' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
path=(${cli:h} $path)
mkdir -p $work/functions
cp $function_file $work/functions/_nvbman-cli
fpath=($work/functions $fpath)
autoload -Uz _nvbman-cli
# The first line names the command it completes, as compinit reads it.
[[ $(head -n 1 $function_file) == '#compdef nvbman-cli' ]] || { print "FAIL: no #compdef line"; exit 1 }

typeset -a offered
compadd() {
    local -a given
    while (( $# )); do
        case $1 in
            -a) shift; given+=(${(P)1}) ;;
            --) shift; given+=("$@"); break ;;
            -*) ;;
            *) given+=("$1") ;;
        esac
        shift
    done
    offered+=($given)
}
_files() {
    if [[ ${1:-} == -/ ]]; then offered+=('<folders>') else offered+=('<files>') fi
}

# What is offered for LINE (its last word is the one being written; a line ending in a space
# completes a new, empty word), one per line, sorted.
complete_line() {
    local line=$1
    local -a words
    words=(${(z)line})
    [[ $line == *' ' ]] && words+=('')
    local CURRENT=${#words}
    offered=()
    _nvbman-cli || true
    print -rl -- ${(o)offered}
}

expect() {
    local line=$1 expected=$2 got
    got=$(complete_line $line)
    if [[ $got != $expected ]]; then
        print "FAIL: '$line'"
        print "  expected: ${expected//$'\n'/ }"
        print "  got:      ${got//$'\n'/ }"
        (( failures++ )) || true
    else
        print "PASS: '$line'"
    fi
}

slots=$($cli --in built-in --out built-in --json list |
    python3 -c 'import json, sys; print("\n".join(s["slot"] for s in json.load(sys.stdin)["slots"]))')
[[ -n $slots ]] || { print "FAIL: the keyboard listed no slots"; exit 1 }

expect "nvbman-cli ba" "backup"
expect "nvbman-cli --qu" "--quiet"
expect "nvbman-cli --in b" "built-in"
# Every slot of a kind, whole words (zsh keeps the colon in the word).
expect "nvbman-cli import tone:" "$(print -rl -- ${(o)${(M)${(f)slots}:#tone:*}})"
expect "nvbman-cli export a" "all"
expect "nvbman-cli send " "<files>"
expect "nvbman-cli backup " "<folders>"
expect "nvbman-cli undo " ""

print "$failures failed"
(( failures == 0 ))
