#!/usr/bin/env bash
# The bash completion: what it offers in a folder of sample files, and that
# its options are the ones each command accepts and lists in its usage.
#   run.sh COMPLETION-FILE TOLVAR TOLVAR-DECOMPILE [TOLVAR-TEXT [TOLVAR-LSP]]
set -euo pipefail
completion=$(realpath "$1")
declare -A binary=([tolvar]=$(realpath "$2") [tolvar-decompile]=$(realpath "$3"))
commands=(tolvar tolvar-decompile)
if [ $# -ge 4 ]; then
    binary[tolvar-text]=$(realpath "$4")
    commands+=(tolvar-text)
fi
if [ $# -ge 5 ]; then
    binary[tolvar-lsp]=$(realpath "$5")
    commands+=(tolvar-lsp)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir scripts texts 'old talks'
touch -- talk.src talk.txt talk.bin notes.md scripts/a.src texts/b.txt -a

# shellcheck source=/dev/null
source "$completion"

# compopt works only while readline completes; here it records the options.
compopt()
{
    [[ " $* " != *" -o filenames "* ]] || filenames=yes
}

# The words offered for a command line whose last word is being completed,
# sorted, on one line, each folder marked with a slash as readline marks it
# for file names.
offered()
{
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    filenames=no
    local registered word
    registered=$(complete -p "$1")
    registered=${registered#*-F }
    "${registered%% *}" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    for word in "${COMPREPLY[@]}"; do
        if [ "$filenames" = yes ] && [ -d "$word" ]; then
            word+=/
        fi
        printf '%s\n' "$word"
    done | sort | tr '\n' '|' | sed 's/|$//'
}

failures=0
check()
{
    local expected=$1
    shift
    local got
    got=$(offered "$@")
    if [ "$got" != "$expected" ]; then
        echo "FAIL: '$*': offered '$got', expected '$expected'" >&2
        failures=$((failures + 1))
    fi
}

# expected (words separated by |) | command line, the last word being completed
check 'old talks/|scripts/|talk.src|texts/' tolvar ''
check 'old talks/' tolvar o
check 'old talks/|scripts/|talk.src|texts/' tolvar --se ''
check 'scripts/a.src' tolvar scripts/
check 'talk.src|texts/' tolvar t
check 'old talks/|scripts/|talk.txt|texts/' tolvar -t ''
check 'texts/b.txt' tolvar --text texts/
check '-a|notes.md|old talks/|scripts/|talk.bin|talk.src|talk.txt|texts/' tolvar talk.src -o ''
check '-a|notes.md|old talks/|scripts/|talk.bin|talk.src|talk.txt|texts/' tolvar -E ''
check 'notes.md' tolvar n
check '--endif-without-if|--error' tolvar --e
check '--implicit-decl|--implicit-eval|--implicit-int32' tolvar --im
check 'old talks/|scripts/|talk.bin|texts/' tolvar-decompile ''
check 'old talks/|scripts/|talk.txt|texts/' tolvar-decompile -t ''
check '' tolvar-decompile --text-id ''
check '--text|--text-id' tolvar-decompile --tex
check '--offsets|--output' tolvar-decompile --o

# Every option offered is accepted, and every option of the usage text is
# offered.
if [ -n "${binary[tolvar-text]:-}" ]; then
    check 'check|extract|from-po|to-po' tolvar-text ''
    check 'old talks/|scripts/|talk.src|texts/' tolvar-text extract -t talk.txt ''
    check 'old talks/|scripts/|talk.txt|texts/' tolvar-text to-po -t ''
    check '-a|notes.md|old talks/|scripts/|talk.bin|talk.src|talk.txt|texts/' tolvar-text from-po ''
    check '--text|--text-id' tolvar-text check --tex
fi
if [ -n "${binary[tolvar-lsp]:-}" ]; then
    check '--stdio' tolvar-lsp --s
    check '' tolvar-lsp talk
fi

for command in "${commands[@]}"; do
    offered_options=" $(offered "$command" - | tr '|' ' ') "
    read -r -a options <<<"$offered_options"
    for option in "${options[@]}"; do
        said=$("${binary[$command]}" "$option" 2>&1 </dev/null || true)
        if [[ $said == *"unknown option"* ]]; then
            echo "FAIL: $command refuses the offered option $option" >&2
            failures=$((failures + 1))
        fi
    done
    mapfile -t options < <("${binary[$command]}" --help 2>&1 | tail -n +2 |
        grep -oE -- '(^|[][ |])-[-?A-Za-z0-9]+' | sed 's/^[][ |]//')
    for option in "${options[@]}"; do
        if [[ $offered_options != *" $option "* ]]; then
            echo "FAIL: $command --help lists $option, which is not offered" >&2
            failures=$((failures + 1))
        fi
    done
done

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "bash completion: every case as expected"
