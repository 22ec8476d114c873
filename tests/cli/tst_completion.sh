#!/bin/bash
# The bash completion of nvbman-cli, driven as bash drives it: the installed script is sourced
# over bash-completion, COMP_WORDS is split as bash splits a line (a colon is a word of its
# own), and COMPREPLY is compared with what each word may be. The slot words must be exactly
# the slots the keyboard lists (the built-in keyboard, in a home of this test's own).
#     tst_completion.sh NVBMAN_CLI COMPLETION_SCRIPT
set -u
cli=$(realpath "$1")
script=$(realpath "$2")
failures=0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
PATH=$(dirname "$cli"):$PATH

# shellcheck source=/dev/null
. /usr/share/bash-completion/bash_completion || { echo "bash-completion is not installed"; exit 1; }
# shellcheck source=/dev/null
. "$script"

# The completions of LINE (its last word is the one being written; a line ending in a space
# completes a new, empty word), one per line, sorted.
complete_line() {
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    # bash splits at blanks and makes each colon a word of its own.
    read -ra COMP_WORDS <<<"${line//:/ : }"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _nvbman_cli nvbman-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

expect() {
    local line=$1 expected=$2 got
    got=$(complete_line "$line")
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$line'"
        echo "  expected: $(echo "$expected" | tr '\n' ' ')"
        echo "  got:      $(echo "$got" | tr '\n' ' ')"
        failures=$((failures + 1))
    else
        echo "PASS: '$line'"
    fi
}

slots=$("$cli" --in built-in --out built-in --json list |
    python3 -c 'import json, sys; print("\n".join(s["slot"] for s in json.load(sys.stdin)["slots"]))')
[[ -n $slots ]] || { echo "FAIL: the keyboard listed no slots"; exit 1; }

mkdir -p "$work/music/sub folder"
touch "$work/music/TON_Velvet.nvb" "$work/music/dump.syx"
cd "$work/music" || exit 1

expect "nvbman-cli ba" "backup"
expect "nvbman-cli --qu" "--quiet"
expect "nvbman-cli --json re" "redo
rename
replaced
restore"
expect "nvbman-cli --in b" "built-in"
# Every slot of a kind, and only those: as the keyboard lists them.
expect "nvbman-cli import tone:" "$(grep '^tone:' <<<"$slots" | sed 's/^tone://' | sort)"
expect "nvbman-cli delete reg:1." "$(grep '^reg:1\.' <<<"$slots" | sed 's/^reg://' | sort)"
expect "nvbman-cli export a" "all"
expect "nvbman-cli import " "$(printf '%s\nall\n' "$slots" | sort)"
# After a slot: more slots, or the folder; after "all", the folder only.
expect "nvbman-cli import tone:1 " "$(printf '%s\nsub folder\n' "$slots" | sort)"
expect "nvbman-cli --quiet import all " "sub folder"
# Files and folders where the command takes them; folders alone where it takes only those.
expect "nvbman-cli send " "TON_Velvet.nvb
dump.syx
sub folder"
expect "nvbman-cli send TON_Velvet.nvb so" "song:0
song:1"
expect "nvbman-cli backup " "sub folder"
expect "nvbman-cli show TON" "TON_Velvet.nvb"
expect "nvbman-cli library s" "scan"
expect "nvbman-cli library scan " "sub folder"
expect "nvbman-cli undo " ""

echo "$failures failed"
[[ $failures -eq 0 ]]
