#!/usr/bin/env bash
# Builds the libFuzzer programs (build/linux-fuzz, clang) and runs each over its seed corpus
# for a fixed time. An input that fails a target is kept under build/linux-fuzz/findings/; copy
# it to fuzz/regressions/<target>/ so the robustness tests replay it from then on.
#   scripts/fuzz.sh [seconds-per-target] [target...]
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=${BK_JOBS:-$(nproc 2>/dev/null || echo 2)}
seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(command_line format_inserts reg_file machine_image inf_file export_walk multi_strings)
fi

cmake --preset linux-fuzz >/dev/null || exit 1
cmake --build --preset linux-fuzz -j "$jobs" --target "${targets[@]/#/fuzz_}" || exit 1

out="$root/build/linux-fuzz"
mkdir -p "$out/findings"
status=0
for target in "${targets[@]}"; do
    # New inputs go to a scratch corpus: the seeds in the repository stay as they are.
    work="$out/corpus/$target"
    mkdir -p "$work"
    echo "== fuzz_$target for ${seconds}s"
    if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$out/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$out/findings/$target-" \
        "$work" "$root/fuzz/corpus/$target" >"$out/$target.log" 2>&1; then
        echo "fuzz_$target FAILED: see $out/$target.log and $out/findings/" >&2
        tail -40 "$out/$target.log" >&2
        status=1
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$out/$target.log" | tr '\n' ' '
    echo
done
exit $status
