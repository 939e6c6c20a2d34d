#!/usr/bin/env bash
# The README's map of the innkeeper conversation is current:
# doc/innkeeper-map.dot is what tools/conversation_map.sh makes of the
# example today, and doc/innkeeper-map.svg was drawn from it: the same
# nodes, edges and caption lines (where dot puts them may differ between
# versions of Graphviz, so the drawing itself is not compared).
#
#   tests/readme_map.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
root=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$root/tools/conversation_map.sh" "$build" "$work" --dot-only
if ! cmp -s "$work/innkeeper-map.dot" "$root/doc/innkeeper-map.dot"; then
    echo "doc/innkeeper-map.dot is out of date; run tools/conversation_map.sh $build:" >&2
    diff "$root/doc/innkeeper-map.dot" "$work/innkeeper-map.dot" >&2 || true
    exit 1
fi

# The graph's name, each node, each edge ("a->b"), and each line of each
# caption, one a line, sorted.
dot_facts() {
    awk '
        /^digraph / { print "title " $2 }
        /^  n[0-9A-F]+ / {
            name = $1
            if ($2 == "->") name = $1 "->" $3
            sub(/;$/, "", name)
            print "title " name
            at = index($0, "label=\"")
            if (at == 0) next
            text = ""
            for (i = at + 7; i <= length($0); ++i) {
                c = substr($0, i, 1)
                if (c == "\"") break
                if (c == "\\") {
                    c = substr($0, ++i, 1)
                    if (c == "n") { print "text " text; text = ""; continue }
                }
                text = text c
            }
            print "text " text
        }' "$1" | LC_ALL=C sort
}
svg_facts() {
    sed -n -e 's/.*<title>\(.*\)<\/title>.*/title \1/p' \
        -e 's/.*<text[^>]*>\(.*\)<\/text>.*/text \1/p' "$1" |
        sed -e 's/&quot;/"/g' -e 's/&#45;/-/g' -e 's/&gt;/>/g' -e 's/&lt;/</g' -e 's/&amp;/\&/g' |
        LC_ALL=C sort
}
if ! diff <(dot_facts "$root/doc/innkeeper-map.dot") <(svg_facts "$root/doc/innkeeper-map.svg") >&2; then
    echo "doc/innkeeper-map.svg was not drawn from doc/innkeeper-map.dot; run tools/conversation_map.sh $build" >&2
    exit 1
fi
echo "readme map: current"
