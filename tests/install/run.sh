#!/usr/bin/env bash
# Installs a build into a fresh prefix and uses what was installed: the file
# list, the commands on the examples (compile, decompile, compile again, the
# same bytes), the manual pages (man finds and renders them, groff without a
# warning, no identifier hyphenated at 80 columns) and the completion file
# under both names.
#   run.sh BUILD-DIR
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

if ! diff -u "$here/files.txt" <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort); then
    echo "FAIL: the installed files differ from tests/install/files.txt" >&2
    exit 1
fi

# The installed commands on the installed examples, away from the build tree.
examples="$prefix/share/doc/tolvar/examples"
run="$work/run"
mkdir "$run"
cd "$run"
"$prefix/bin/tolvar" "$examples/innkeeper.src" -o innkeeper.bin 2>log
"$prefix/bin/tolvar-decompile" innkeeper.bin -o back.src 2>>log
"$prefix/bin/tolvar" back.src -o back.bin 2>>log
cmp innkeeper.bin back.bin
"$prefix/bin/tolvar" "$examples/oracle.src" -t "$examples/oracle.txt" -o oracle77.bin 2>>log
"$prefix/bin/tolvar-decompile" --md oracle77.bin -t oracle77.txt -o oracle77.src 2>>log
"$prefix/bin/tolvar" oracle77.src -t oracle77.txt -o again.bin 2>>log
cmp oracle77.bin again.bin
echo "installed commands: compiled, decompiled and compiled again to the same bytes"

for command in tolvar tolvar-decompile tolvar-text tolvar-lsp; do
    bash -c "source '$prefix/share/bash-completion/completions/$command' && complete -p $command" \
        >/dev/null
done

status=0
for page in tolvar.1 tolvar-decompile.1 tolvar-lsp.1 tolvar-text.1 tolvar-script.5; do
    file="$prefix/share/man/man${page##*.}/$page.gz"
    if command -v groff >/dev/null; then
        if ! warnings=$(gzip -dc "$file" | groff -man -ww -z -Tutf8 2>&1) || [ -n "$warnings" ]; then
            echo "FAIL: groff warns about $page: $warnings" >&2
            status=1
        fi
    else
        echo "groff not found: $page not linted" >&2
    fi
    if ! command -v man >/dev/null; then
        echo "man not found: $page not looked up" >&2
    else
        name=${page%.*}
        found=$(man -M "$prefix/share/man" -w "${page##*.}" "$name")
        if [ "$found" != "$file" ]; then
            echo "FAIL: man -w $name finds '$found'" >&2
            status=1
        fi
        if ! rendered=$(MANWIDTH=80 man -l "$file" 2>"$work/man.err") ||
            ! grep -q "^NAME" <<<"$rendered" || [ -s "$work/man.err" ]; then
            echo "FAIL: man -l $page:" >&2
            cat "$work/man.err" >&2
            status=1
        fi
        # A word in bold or italic (an identifier, option or file name) is
        # never hyphenated: no line at 80 columns ends in a hyphen that
        # carries a font.
        broken=$(MANWIDTH=80 MAN_KEEP_FORMATTING=1 GROFF_NO_SGR=1 man -l "$file" 2>/dev/null |
            LC_ALL=C grep -a -E $'\b(-|\xe2\x80\x90)$' | LC_ALL=C sed 's/.\x08//g' || true)
        if [ -n "$broken" ]; then
            echo "FAIL: $page hyphenates a word in bold or italic at 80 columns:" >&2
            echo "$broken" >&2
            status=1
        fi
    fi
done
[ "$status" -eq 0 ] && echo "manual pages: found by man, rendered without a warning"
exit "$status"
