#!/usr/bin/env bash
# check_layers.sh passes the tree as it is and fails on each planted fault.
set -euo pipefail
here=$(dirname "$0")
src="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

bash "$here/check_layers.sh" "$src"

# file to plant in | line planted | the fault
plants=(
    'labels/labels.cpp|#include "front/text_file.h"|a cycle between folders of one layer'
    'isa/inst.cpp|#include "parser/expr.h"|an include from a higher layer'
    'labels/labels.cpp|#include "isa/code_info2.h"|a header name with a digit'
    'labels/labels.cpp|#include "isa/Code_info.h"|a header name with a capital'
    'labels/labels.cpp|#include "code_info.h"|a header without its folder'
    'codegen/output.cpp|#include "Support/diag.h"|a folder with no layer'
)
status=0
for plant in "${plants[@]}"; do
    IFS='|' read -r file line fault <<<"$plant"
    rm -rf "$tmp/src"
    cp -r "$src" "$tmp/src"
    echo "$line" >>"$tmp/src/$file"
    if bash "$here/check_layers.sh" "$tmp/src" 2>/dev/null; then
        echo "check_layers.sh misses $fault ($line in $file)" >&2
        status=1
    fi
done
exit $status
