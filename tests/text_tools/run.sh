#!/usr/bin/env bash
# tolvar-text with the tools translators' files meet: every PO file it
# writes passes `msgfmt --check`; `msgen` output and untouched exports come
# back byte for byte; `msgmerge` into a newer export keeps the translations
# of unchanged labels; the README's worked example runs. Skipped (77) where
# gettext's tools are missing (Debian: gettext).
#
#   run.sh TOLVAR TOLVAR_TEXT TOLVAR_DECOMPILE EXAMPLES_DIR
set -euo pipefail
tolvar=$1 text=$2 decompile=$3 examples=$4
for tool in msgfmt msgen msgmerge; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: gettext's $tool not found (Debian package gettext)"
        exit 77
    fi
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
cp "$examples"/*.src "$examples"/*.txt .
export LC_ALL=C

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# msgfmt must accept it with no error (the template's header fields only warn).
po_ok() {
    msgfmt --check -o /dev/null "$1" 2>"$1.msgfmt" || fail "msgfmt --check refuses $1: $(cat "$1.msgfmt")"
}

# A text file through to-po, untouched and through msgen, comes back.
po_round_trip() {
    local texts=$1
    shift
    "$text" to-po -q -t "$texts" -o "$texts.po" "$@" || fail "to-po $texts"
    po_ok "$texts.po"
    "$text" from-po -q -t "$texts" -o back.txt "$texts.po" 2>/dev/null || fail "from-po $texts"
    cmp -s "$texts" back.txt || fail "untouched $texts.po does not give $texts back"
    msgen "$texts.po" >"$texts.en.po"
    po_ok "$texts.en.po"
    "$text" from-po -q -t "$texts" -o back.txt "$texts.en.po" 2>/dev/null || fail "from-po msgen"
    cmp -s "$texts" back.txt || fail "msgen of $texts.po does not give $texts back"
}

# Each example: extract keeps the compile; its text file round-trips.
for name in innkeeper ferryman oracle; do
    own=()
    if [ -f "$name.txt" ]; then
        own=(-t "$name.txt")
        cp "$name.txt" "$name.extracted.txt"
    fi
    "$tolvar" "$name.src" "${own[@]}" -o "$name.bin" >/dev/null 2>&1 || fail "compile $name"
    "$text" extract -q -t "$name.extracted.txt" -o "$name.new.src" "$name.src" || fail "extract $name"
    "$tolvar" "$name.new.src" -t "$name.extracted.txt" -o "$name.new.bin" >/dev/null 2>&1 ||
        fail "compile extracted $name"
    cmp -s "$name.bin" "$name.new.bin" || fail "extracted $name compiles to other bytes"
    "$text" check -q -t "$name.extracted.txt" "$name.new.src" || fail "check $name"
    po_round_trip "$name.extracted.txt" "$name.new.src"
done

# Every double-byte code the text rules accept, 100 to a text.
awk 'BEGIN {
    n = 0; codes = 0; line = ""
    for (lead = 129; lead <= 252; lead++) {
        if (lead == 160) lead = 224
        for (trail = 64; trail <= 252; trail++) {
            if (trail == 127) continue
            line = line sprintf("%c%c", lead, trail)
            if (++codes == 100) { printf "T0001_%04d\tcodes\t\"{%s}\"\n", ++n, line; codes = 0; line = "" }
        }
    }
    if (codes > 0) printf "T0001_%04d\tcodes\t\"{%s}\"\n", ++n, line
}' >codes.txt
po_round_trip codes.txt

# A newer export merged into a translated one keeps every unchanged label's
# translation; the inserted text comes in untranslated.
cp innkeeper.extracted.txt old.txt
awk '/^msgid / { id = substr($0, 7); gsub(/e/, "E", id) }
     /^msgstr ""$/ && id != "\"\"" { $0 = "msgstr " id }
     { print }' innkeeper.extracted.txt.po >old.po
po_ok old.po
"$text" from-po -q -t old.txt -o old.translated.txt old.po 2>/dev/null || fail "from-po old.po"
! cmp -s old.txt old.translated.txt || fail "nothing was translated"
half=$(($(wc -l <innkeeper.src) / 2))
{ head -n "$half" innkeeper.src; echo '        "A text the old export never saw."'; tail -n +"$((half + 1))" innkeeper.src; } >changed.src
cp old.txt new.txt
"$text" extract -q -t new.txt -o changed.new.src changed.src 2>/dev/null || fail "extract changed"
"$text" to-po -q -t new.txt -o new.pot changed.new.src || fail "to-po new"
msgmerge -q -o merged.po old.po new.pot || fail "msgmerge"
po_ok merged.po
"$text" from-po -q -t new.txt -o new.translated.txt merged.po 2>from-po.log || fail "from-po merged"
grep -q "untranslated" from-po.log || fail "the new text is not reported untranslated"
while IFS= read -r line; do
    case "$line" in T*) grep -qxF -- "$line" new.translated.txt || fail "translation lost: $line" ;; esac
done <old.translated.txt

# The README's worked example, as a reader would paste it.
mkdir -p readme/examples readme/build/dev
cp "$examples"/innkeeper.src readme/examples/
ln -s "$tolvar" readme/build/dev/tolvar
ln -s "$text" readme/build/dev/tolvar-text
ln -s "$decompile" readme/build/dev/tolvar-decompile
example=$(sed -n '/^<!-- translating example -->$/,/^<!-- end -->$/ s/^    //p' "$examples/../README.md")
[ -n "$example" ] || fail "no translating example in README.md"
(cd readme && bash -euo pipefail -c "$example" >out.txt 2>&1) || fail "README example: $(cat readme/out.txt)"
grep -q "Welcome, stranger" readme/out.txt || fail "README example: the translation does not show"
echo "PO files pass msgfmt --check; round trips, msgmerge and the README example hold"
