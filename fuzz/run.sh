#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzz target for a while, from the
# seed corpora into a corpus kept in build/fuzz/corpus.
#
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(compile decompile text_literal text_file text_tools lsp_frames lsp_requests)

cmake --workflow --preset fuzz >/dev/null
build=build/fuzz
"$build/fuzz/make_fuzz_seeds" tests/golden examples "$build/seeds" >/dev/null
for target in "${targets[@]}"; do
    dict=()
    case $target in
    compile | text_literal | text_tools) dict=(-dict="$build/seeds/compile.dict") ;;
    decompile) dict=(-dict="$build/seeds/decompile.dict") ;;
    esac
    mkdir -p "$build/corpus/$target" "$build/crashes/$target"
    echo "fuzz: $target for ${seconds}s"
    status=0
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/crashes/$target/" "${dict[@]}" \
        "$build/corpus/$target" "$build/seeds/$target" "fuzz/regressions/$target" \
        >"$build/fuzz-$target.log" 2>&1 || status=$?
    grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|==[0-9]+==ERROR|SUMMARY)' \
        "$build/fuzz-$target.log" || true
    if [ "$status" -ne 0 ] || compgen -G "$build/crashes/$target/*" >/dev/null; then
        tail -n 20 "$build/fuzz-$target.log" >&2
        echo "fuzz: $target failed (status $status); inputs that fail are in $build/crashes/$target" >&2
        exit 1
    fi
done
