#!/usr/bin/env bash
# Fails when a file includes a header of a higher layer, when folders of one
# layer include each other in a cycle, or when an include names a header
# other than as folder/lower_case_name.h. The layers, lowest first (a
# folder may include its own layer and those below it):
#   0 support   1 isa   2 front, labels, context   3 parser
#   4 codegen, decode   5 lsp, text_tools (services built on the library)   6 driver
set -euo pipefail
src="${1:-$(dirname "$0")/../src}"

layer_of() {
    case "$1" in
    support) echo 0 ;;
    isa) echo 1 ;;
    front | labels | context) echo 2 ;;
    parser) echo 3 ;;
    codegen | decode) echo 4 ;;
    lsp | text_tools) echo 5 ;;
    driver) echo 6 ;;
    *) echo -1 ;;
    esac
}

status=0
edges=""  # "from to" for every include between two folders of one layer
while IFS= read -r file; do
    name=${file#"$src"/}
    folder=${name%%/*}
    own=$(layer_of "$folder")
    if [ "$own" -lt 0 ]; then
        echo "$name: folder '$folder' has no layer" >&2
        status=1
        continue
    fi
    while IFS= read -r included; do
        if ! [[ "$included" =~ ^[a-z_]+/[a-z_]+\.h$ ]]; then
            echo "$name: includes \"$included\": not folder/lower_case_name.h" >&2
            status=1
            continue
        fi
        target_folder=${included%%/*}
        target=$(layer_of "$target_folder")
        if [ "$target" -lt 0 ]; then
            echo "$name: includes \"$included\" from a folder with no layer" >&2
            status=1
        elif [ "$target" -gt "$own" ]; then
            echo "$name: includes \"$included\" from a higher layer" >&2
            status=1
        elif [ "$target" -eq "$own" ] && [ "$target_folder" != "$folder" ]; then
            edges+="$folder $target_folder"$'\n'
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$src" -mindepth 2 \( -name '*.h' -o -name '*.cpp' \) | sort)

# tsort names the folders of a cycle and fails.
if [ -n "$edges" ] && ! loops=$(printf '%s' "$edges" | sort -u | tsort 2>&1 >/dev/null); then
    echo "folders of one layer include each other in a cycle:" >&2
    printf '%s\n' "$loops" | grep -v '^tsort: ' >&2
    status=1
fi
exit $status
