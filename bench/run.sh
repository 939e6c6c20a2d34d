#!/usr/bin/env bash
# The compiler's speed against the speed of reading the same file: builds
# the release preset, generates scripts of the given sizes, and prints for
# each the compile time, the time of `wc -w` on the same file, their ratio
# and the compiler's peak memory, for a compile that succeeds, one that
# fails on an undefined label on the last line, and one that reads the
# script from a pipe; the same for decompiling byte-code files
# of the given sizes (made from generated scripts, checked to compile back
# to their bytes) against `wc -w` on the byte-code file, with the peak
# memory writing to a file and to standard output; the decompiler on
# a crafted chunk repeated to 1 MB, per byte against the largest realistic
# byte-code; tolvar-text's extract, to-po and from-po on each script and
# its texts (checked to give the same bytes back), each against `wc -w`
# on the files it reads; then the CPU time a 20 KB script costs beyond
# starting /bin/true.
#
#   bench/run.sh [--sizes "1 4 10"] [--runs N] [--seed N]
#
# Sizes are in MB (10^6 bytes): of the script for the compile, of the
# byte-code for the decompiler. Times are the best of N runs. Needs
# /usr/bin/time (Debian package 'time') for the peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C

sizes="1 4 10"
runs=5
seed=1
while [ $# -gt 0 ]; do
    case "$1" in
    --sizes) sizes="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    *) echo "usage: bench/run.sh [--sizes \"1 4 10\"] [--runs N] [--seed N]" >&2; exit 2 ;;
    esac
done
if [ ! -x /usr/bin/time ]; then
    echo "bench: /usr/bin/time not found; install Debian's package 'time'" >&2
    exit 1
fi

cmake --preset release >/dev/null
cmake --build --preset release --target tolvar tolvar-decompile tolvar-text tolvar_scriptgen >/dev/null
tolvar=build/release/tolvar
decompile=build/release/tolvar-decompile
text=build/release/tolvar-text
scriptgen=build/release/tolvar_scriptgen
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Seconds of the fastest of $runs runs of the command.
best_time() {
    local best="" start end
    for ((i = 0; i < runs; ++i)); do
        start=$EPOCHREALTIME
        "$@" >/dev/null 2>&1
        end=$EPOCHREALTIME
        best=$(awk -v a="$start" -v b="$end" -v best="$best" \
            'BEGIN { t = b - a; if (best == "" || t < best) best = t; printf "%.6f", best }')
    done
    echo "$best"
}

# Runs the command once for its exit status and peak memory (KB); the
# status must be $expect (0 unless set).
peak_kb() {
    /usr/bin/time -f '%x %M' -o "$tmp/usage" "$@" >/dev/null 2>&1 || true
    read -r status kb < <(tail -n 1 "$tmp/usage")  # after any "Command exited" line
    if [ "$status" != "${expect:-0}" ]; then
        echo "bench: $1 ended with status $status on $2" >&2
        exit 1
    fi
    echo "$kb"
}

# tolvar reading the script through a pipe: `bash $piped SCRIPT ARGS...`;
# a script file, so that /usr/bin/time can run it. bash waits for its
# children, so the peak memory is the larger of cat's and tolvar's.
piped="$tmp/piped.sh"
cat >"$piped" <<EOS
cat "\$1" | "$tolvar" /dev/stdin "\${@:2}"
EOS

row() {
    awk -v s="$1" -v n="$2" -v l="$3" -v c="$4" -v w="$5" -v kb="$6" \
        'BEGIN { printf "%8s %10d %7s %10.4f %10.4f %7.2f %9.1f %7.2f\n",
                 s, n, l, c, w, (w > 0 ? c / w : 0), kb / 1024, kb * 1024 / n }'
}

echo "cores: $(nproc)"
printf '%8s %10s %7s %10s %10s %7s %9s %7s\n' \
    size_MB bytes labels compile_s wc_s ratio peak_MB peak/size
for size in $sizes; do
    bytes=$(awk -v mb="$size" 'BEGIN { printf "%d", mb * 1000000 }')
    script="$tmp/script-$size.src"
    "$scriptgen" "$bytes" "$seed" >"$script"
    actual=$(stat -c %s "$script")
    labels=$(grep -c -E '^[A-Za-z_0-9]+:' "$script" || true)
    kb=$(peak_kb "$tolvar" "$script" -o "$tmp/out-$size.bin")
    compile=$(best_time "$tolvar" "$script" -o "$tmp/out.bin")
    words=$(best_time wc -w "$script")
    row "$size" "$actual" "$labels" "$compile" "$words" "$kb"
done

# The same script with a jump to a label nowhere defined as its last line:
# the error can only be known once the whole script is read.
echo "failing on an undefined label on the last line:"
printf '%8s %10s %7s %10s %10s %7s %9s %7s\n' \
    size_MB bytes labels compile_s wc_s ratio peak_MB peak/size
for size in $sizes; do
    script="$tmp/failing-$size.src"
    { cat "$tmp/script-$size.src"; printf 'jump no_such_label\n'; } >"$script"
    labels=$(grep -c -E '^[A-Za-z_0-9]+:' "$script" || true)
    kb=$(expect=1 peak_kb "$tolvar" "$script" -o "$tmp/failed.bin")
    compile=$(best_time "$tolvar" "$script" -o "$tmp/failed.bin")
    words=$(best_time wc -w "$script")
    row "$size" "$(stat -c %s "$script")" "$labels" "$compile" "$words" "$kb"
done

echo "reading the script from a pipe:"
printf '%8s %10s %7s %10s %10s %7s %9s %7s\n' \
    size_MB bytes labels compile_s wc_s ratio peak_MB peak/size
for size in $sizes; do
    script="$tmp/script-$size.src"
    labels=$(grep -c -E '^[A-Za-z_0-9]+:' "$script" || true)
    kb=$(peak_kb bash "$piped" "$script" -o "$tmp/piped.bin")
    if ! cmp -s "$tmp/out-$size.bin" "$tmp/piped.bin"; then
        echo "bench: the $size MB script gives other bytes through a pipe" >&2
        exit 1
    fi
    compile=$(best_time bash "$piped" "$script" -o "$tmp/piped.bin")
    words=$(best_time wc -w "$script")
    row "$size" "$(stat -c %s "$script")" "$labels" "$compile" "$words" "$kb"
done

# A script whose byte-code has about the wanted size: the generator's
# script-to-byte-code ratio, measured once on a probe.
probe="$tmp/probe.src"
"$scriptgen" 1000000 "$seed" >"$probe"
"$tolvar" "$probe" -o "$tmp/probe.bin" >/dev/null 2>&1
probe_ratio=$(awk -v s="$(stat -c %s "$probe")" -v b="$(stat -c %s "$tmp/probe.bin")" \
    'BEGIN { printf "%.6f", s / b }')

echo "decompiling byte-code (against wc -w on the byte-code file):"
printf '%8s %10s %7s %10s %10s %7s %9s %7s\n' \
    size_MB bytes labels decomp_s wc_s ratio peak_MB peak/size
realistic_ns=""
for size in $sizes; do
    bytes=$(awk -v mb="$size" -v r="$probe_ratio" 'BEGIN { printf "%d", mb * 1000000 * r }')
    script="$tmp/for-binary-$size.src"
    binary="$tmp/binary-$size.bin"
    "$scriptgen" "$bytes" "$seed" >"$script"
    "$tolvar" "$script" -o "$binary" >/dev/null 2>&1
    kb=$(peak_kb "$decompile" "$binary" -o "$tmp/back.src")
    "$tolvar" "$tmp/back.src" -o "$tmp/back.bin" >/dev/null 2>&1
    if ! cmp -s "$binary" "$tmp/back.bin"; then
        echo "bench: the decompiled $size MB byte-code does not give its bytes back" >&2
        exit 1
    fi
    labels=$(grep -c -E '^L_[0-9A-F]+:' "$tmp/back.src" || true)
    time_s=$(best_time "$decompile" "$binary" -o "$tmp/back.src")
    words=$(best_time wc -w "$binary")
    actual=$(stat -c %s "$binary")
    row "$size" "$actual" "$labels" "$time_s" "$words" "$kb"
    kb_out=$(peak_kb "$decompile" "$binary")
    awk -v kb="$kb_out" -v n="$actual" \
        'BEGIN { printf "%8s to standard output: peak %.1f MB, %.2f times the byte-code\n", "", kb / 1024, kb * 1024 / n }'
    realistic_ns=$(awk -v t="$time_s" -v n="$actual" 'BEGIN { printf "%.3f", t * 1e9 / n }')
    rm -f "$script"
done

echo "tolvar-text: extract (to a new text file), to-po (with the script's references), from-po:"
printf '%8s %10s %7s %10s %10s %7s %9s %7s\n' \
    size_MB bytes texts stage_s wc_s ratio peak_MB peak/size
text_row() {
    local stage=$1 files=$2
    shift 2
    local kb time_s words bytes
    kb=$(peak_kb "$@")
    time_s=$(best_time "$@")
    # shellcheck disable=SC2086
    words=$(best_time wc -w $files)
    # shellcheck disable=SC2086
    bytes=$(cat $files | wc -c)
    row "$size" "$bytes" "$texts" "$time_s" "$words" "$kb" | sed "s/\$/  $stage/"
}
for size in $sizes; do
    script="$tmp/script-$size.src"
    rm -f "$tmp/texts.txt"
    if ! "$text" extract -q -t "$tmp/texts.txt" -o "$tmp/moved.src" "$script" ||
        ! "$tolvar" "$tmp/moved.src" -t "$tmp/texts.txt" -o "$tmp/moved.bin" >/dev/null 2>&1 ||
        ! cmp -s "$tmp/out-$size.bin" "$tmp/moved.bin"; then
        echo "bench: the $size MB script with its texts moved out gives other bytes" >&2
        exit 1
    fi
    texts=$(grep -c '^T' "$tmp/texts.txt" || true)
    text_row extract "$script" bash -c 'rm -f "$1" && "$2" extract -q -t "$1" -o "$3" "$4"' \
        _ "$tmp/texts.txt" "$text" "$tmp/moved.src" "$script"
    text_row to-po "$tmp/texts.txt $tmp/moved.src" \
        "$text" to-po -q -t "$tmp/texts.txt" -o "$tmp/texts.po" "$tmp/moved.src"
    text_row from-po "$tmp/texts.txt $tmp/texts.po" \
        "$text" from-po -q -t "$tmp/texts.txt" -o "$tmp/back.txt" "$tmp/texts.po"
    if ! cmp -s "$tmp/texts.txt" "$tmp/back.txt"; then
        echo "bench: from-po of the untouched $size MB export does not give the texts back" >&2
        exit 1
    fi
done

# Crafted byte-code that once made the decoder backtrack: a 21-byte chunk
# repeated to 1 MB, per byte against the last realistic file above.
slow="$tmp/slow.bin"
printf '\xA4\xD3\xD4\xD3\xAB\xD4\xB3\xD2\xD4\xD4\x01\x9F\xD3\xD4\xD4\xB3\x01\xD2\xB4\xB3\x90' >"$slow.0"
for ((i = 0; i < 16; ++i)); do cat "$slow.0" "$slow.0" >"$slow.1" && mv "$slow.1" "$slow.0"; done
head -c 1000000 "$slow.0" >"$slow"
rm -f "$slow.0"
kb=$(peak_kb "$decompile" "$slow" -o "$tmp/slow.src")
time_s=$(best_time "$decompile" "$slow" -o "$tmp/slow.src")
awk -v t="$time_s" -v n="$(stat -c %s "$slow")" -v r="$realistic_ns" -v kb="$kb" \
    'BEGIN { ns = t * 1e9 / n; printf "slow chunk x %d bytes: %.4f s, %.1f ns/byte, %.2f times the realistic %.1f ns/byte, peak %.1f MB\n",
             n, t, ns, (r > 0 ? ns / r : 0), r, kb / 1024 }'

# A small script: CPU time per compile beyond an empty process. Batches of
# 40 runs, so the clock's 10 ms steps don't matter; tolvar's and
# /bin/true's batches take turns and the cheapest of each counts.
small="$tmp/small.src"
"$scriptgen" 20000 "$seed" >"$small"
batch=40
batch_cpu() {
    /usr/bin/time -f '%U %S' -o "$tmp/cpu" bash -c \
        'for ((i = 0; i < $1; ++i)); do "${@:2}" >/dev/null 2>&1; done' _ "$batch" "$@"
    awk '{ printf "%.6f", $1 + $2 }' "$tmp/cpu"
}
compile_cpu=""
true_cpu=""
for ((r = 0; r < runs; ++r)); do
    compile_cpu=$(awk -v a="$(batch_cpu "$tolvar" "$small" -o "$tmp/out.bin")" -v b="$compile_cpu" \
        'BEGIN { printf "%.6f", (b == "" || a < b) ? a : b }')
    true_cpu=$(awk -v a="$(batch_cpu /bin/true)" -v b="$true_cpu" \
        'BEGIN { printf "%.6f", (b == "" || a < b) ? a : b }')
done
awk -v c="$compile_cpu" -v t="$true_cpu" -v n="$batch" -v b="$(stat -c %s "$small")" \
    'BEGIN { printf "%d-byte script: %.3f ms CPU per compile, /bin/true %.3f ms, difference %.3f ms\n",
             b, c * 1000 / n, t * 1000 / n, (c - t) * 1000 / n }'
