# bash completion for tolvar, tolvar-decompile, tolvar-text and tolvar-lsp -*- shell-script -*-
# Installed under each command's name, so that bash-completion loads it for any
# command; it needs nothing from bash-completion itself.

# Completes in COMPREPLY the files that begin with cur: folders, and the
# names that end in suffix, or every name when none does.
_tolvar_files()
{
    local cur=$1 suffix=$2 name
    local -a folders=() matching=() others=()
    while IFS= read -r name; do
        if [ -d "$name" ]; then
            folders+=("$name")
        elif [ -z "$suffix" ] || [[ $name == *"$suffix" ]]; then
            matching+=("$name")
        else
            others+=("$name")
        fi
    done < <(compgen -f -- "$cur")
    [ "${#matching[@]}" -gt 0 ] || matching=("${others[@]}")
    COMPREPLY=("${folders[@]}" "${matching[@]}")
    compopt -o filenames 2>/dev/null
}

_tolvar()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}
    case $prev in
    -o | --output | -E | --error)
        _tolvar_files "$cur" ""
        return
        ;;
    -t | --text)
        _tolvar_files "$cur" ".txt"
        return
        ;;
    --diagnostics-format)
        mapfile -t COMPREPLY < <(compgen -W 'classic gnu json' -- "$cur")
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--u6 --se --md -o --output -t --text
            -E --error --no-ja-text --no-u6-end --endif-without-if --implicit-decl
            --implicit-eval --implicit-int32 -V --verbose -q --quiet --diagnostics-format
            -v --version -? --help' -- "$cur")
        return
    fi
    _tolvar_files "$cur" ".src"
}

_tolvar_decompile()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}
    case $prev in
    -o | --output)
        _tolvar_files "$cur" ""
        return
        ;;
    -t | --text | --keep-labels)
        _tolvar_files "$cur" ".txt"
        return
        ;;
    --text-id)
        COMPREPLY=()  # four hexadecimal digits of the user's choice
        return
        ;;
    --diagnostics-format)
        mapfile -t COMPREPLY < <(compgen -W 'classic gnu json' -- "$cur")
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--u6 --se --md -o --output -t --text
            --text-id --keep-labels --offsets --graph -q --quiet --diagnostics-format -v --version -? --help' -- "$cur")
        return
    fi
    _tolvar_files "$cur" ".bin"
}

# tolvar-text: the command first, then its options and files.
_tolvar_text()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev= command= word
    [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case $word in
        extract | check | to-po | from-po) command=$word ;;
        esac
    done
    case $prev in
    -o | --output)
        _tolvar_files "$cur" ""
        return
        ;;
    -t | --text)
        _tolvar_files "$cur" ".txt"
        return
        ;;
    --text-id)
        COMPREPLY=()
        return
        ;;
    --diagnostics-format)
        mapfile -t COMPREPLY < <(compgen -W 'classic gnu json' -- "$cur")
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--u6 --se --md -t --text -o --output --text-id
            -q --quiet --diagnostics-format -v --version -? --help' -- "$cur")
    elif [ -z "$command" ]; then
        mapfile -t COMPREPLY < <(compgen -W 'extract check to-po from-po' -- "$cur")
    elif [ "$command" = from-po ]; then
        _tolvar_files "$cur" ".po"
    else
        _tolvar_files "$cur" ".src"
    fi
}

# tolvar-lsp: started by an editor, it takes options only.
_tolvar_lsp()
{
    mapfile -t COMPREPLY < <(compgen -W '--stdio -v --version -? --help' -- "${COMP_WORDS[COMP_CWORD]}")
}

complete -F _tolvar tolvar
complete -F _tolvar_decompile tolvar-decompile
complete -F _tolvar_text tolvar-text
complete -F _tolvar_lsp tolvar-lsp
