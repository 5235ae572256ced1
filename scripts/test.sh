#!/usr/bin/env bash
# Builds both builds and runs every test: the Linux suite over the simulated machine, then the
# Windows build's suite under Wine. Exits non-zero when a build or any test fails.
#   scripts/test.sh
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=${BK_JOBS:-$(nproc 2>/dev/null || echo 2)}

# The Windows tests run inside one Wine prefix of their own, with its server kept up for the
# whole run and under a virtual display (dialog tests need one; the server must start under it).
if [ "${1:-}" = "--wine-phase" ]; then
    export WINEPREFIX="$root/build/mingw/wineprefix"
    export WINEDEBUG=-all
    # No Mono or Gecko: wineboot would otherwise offer to download them.
    export WINEDLLOVERRIDES="mscoree=;mshtml="
    trap 'wineserver -k >/dev/null 2>&1' EXIT
    trap 'exit 143' TERM INT
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "== Creating the Wine prefix build/mingw/wineprefix"
        wineboot -i >/dev/null 2>&1
        wineserver -w
        # Wine draws the window captions itself: Xvfb has no window manager.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
    fi
    wineserver -p
    # Wine's own services start on the first call; started by a captured call they would hold
    # its output pipe open and make every later call wait.
    wine cmd /c exit >/dev/null 2>&1
    # One at a time: the contract tests share one Wine prefix and its C: drive.
    # The cases first: the case runner takes the prefix's first state as the state every case
    # starts from, and the test programs leave keys and driver files of their own behind.
    ctest --preset mingw -j 1 --timeout 300 -L cases 2>&1 | tee "$root/build/mingw/ctest.log"
    cases_status=${PIPESTATUS[0]}
    ctest --preset mingw -j 1 --timeout 300 -LE cases 2>&1 | tee -a "$root/build/mingw/ctest.log"
    programs_status=${PIPESTATUS[0]}
    [ "$cases_status" -eq 0 ] && [ "$programs_status" -eq 0 ]
    exit $?
fi

bash "$root/scripts/build.sh" linux mingw || exit 1

echo "== Linux tests"
ctest --preset linux -j "$jobs" --timeout 300 2>&1 | tee "$root/build/linux/ctest.log"
linux_status=${PIPESTATUS[0]}

# The same suite under AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer: any
# finding fails its test. Then each fuzz target for a short, fixed time.
echo "== Linux tests under the sanitizers"
asan_status=1
if bash "$root/scripts/build.sh" linux-asan; then
    ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --preset linux-asan -j "$jobs" --timeout 600 2>&1 | tee "$root/build/linux-asan/ctest.log"
    asan_status=${PIPESTATUS[0]}
fi
echo "== Fuzzing"
bash "$root/scripts/fuzz.sh" "${BK_FUZZ_SECONDS:-30}"
fuzz_status=$?

echo "== Benchmarks, once at the smallest sizes (no timing is checked)"
bench_status=0
for b in "$root"/build/linux/bench/bk_bench_*; do
    [ -x "$b" ] || continue
    "$b" --benchmark_filter='/(100|1000)(/|$)' --benchmark_min_time=0.001 >/dev/null 2>&1 || { echo "benchmark failed: $b"; bench_status=1; }
done
[ "$bench_status" -eq 0 ] || linux_status=1

echo "== Windows tests under Wine"
if command -v xvfb-run >/dev/null 2>&1 && [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 640x480x24" bash "$root/scripts/test.sh" --wine-phase
else
    bash "$root/scripts/test.sh" --wine-phase
fi
wine_status=$?

echo "== Summary"
for build in linux linux-asan mingw; do
    summary=$(grep -E "tests passed|No tests were found" "$root/build/$build/ctest.log" | tail -1)
    echo "$build: ${summary:-no test summary (see build/$build/ctest.log)}"
done
if [ "$linux_status" -ne 0 ] || [ "$asan_status" -ne 0 ] || [ "$fuzz_status" -ne 0 ] ||
    [ "$wine_status" -ne 0 ]; then
    echo "FAILED (linux: $linux_status, sanitizers: $asan_status, fuzzing: $fuzz_status," \
        "windows under Wine: $wine_status)" >&2
    exit 1
fi
echo "All tests passed"
