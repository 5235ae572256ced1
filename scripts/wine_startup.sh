#!/usr/bin/env bash
# Start-up of boardkit.exe under Wine against one-line MinGW programs, with a warmed wine server:
# `boardkit.exe help`, a command that opens the registry, and the program without arguments
# (usage on standard error), against bench/wine's minimal program and the same program importing
# the system libraries boardkit.exe imports. Prints the medians, their ratios to the minimal
# program and the executables' sizes.
#   scripts/wine_startup.sh [BUILD_DIR [BOARDKIT_EXE]]     (default build/mingw and its boardkit.exe)
# Output goes to a pipe, as setup programs read it: a C run-time stream that is a character
# device (/dev/null too) is unbuffered under Wine and costs one write per character.
# BK_STARTUP_RUNS (default 40) sets the runs per program; BK_STARTUP_BASELINE=OTHER.exe times
# another boardkit.exe in the same rounds (before and after a change); WINEPREFIX defaults to a
# prefix of its own in the build folder.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath "${1:-$root/build/mingw}")
boardkit=$(realpath "${2:-$build/boardkit.exe}")
minimal="$build/bench/wine/bk_wine_minimal.exe"
imports="$build/bench/wine/bk_wine_minimal_imports.exe"
runs=${BK_STARTUP_RUNS:-40}
for program in "$boardkit" "$minimal" "$imports"; do
    [ -f "$program" ] || { echo "missing $program (build the mingw build first)" >&2; exit 2; }
done
command -v hyperfine >/dev/null || { echo "hyperfine is not installed" >&2; exit 2; }

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix-startup}"
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi
# One server for all runs, and Wine's services started before any run is timed.
wineserver -p60
wine cmd /c exit >/dev/null 2>&1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Rounds of a few runs of every program, so that a change in the machine's load falls on all of
# them alike (the machine is shared); the medians are taken over all rounds.
commands=(-n minimal "wine $minimal" -n minimal-imports "wine $imports"
    -n help "wine $boardkit help" -n registry "wine $boardkit RemoveConfigurationByDeviceNum 999"
    -n usage "wine $boardkit")
if [ -n "${BK_STARTUP_BASELINE:-}" ]; then
    baseline=$(realpath "$BK_STARTUP_BASELINE")
    commands+=(-n "help (baseline)" "wine $baseline help"
        -n "registry (baseline)" "wine $baseline RemoveConfigurationByDeviceNum 999"
        -n "usage (baseline)" "wine $baseline")
fi
rounds=$(((runs + 4) / 5))
for round in $(seq 1 "$rounds"); do
    hyperfine -N --warmup 1 --runs 5 --ignore-failure --output=pipe --style none \
        --export-json "$work/round-$round.json" "${commands[@]}" >"$work/hyperfine.log" 2>&1 ||
        { cat "$work/hyperfine.log"; exit 1; }
done

python3 - "$work" "$boardkit" "$minimal" "$imports" ${baseline:+"$baseline"} <<'EOF'
import glob, json, os, statistics, sys
times = {}
for path in sorted(glob.glob(os.path.join(sys.argv[1], "round-*.json"))):
    for result in json.load(open(path))["results"]:
        times.setdefault(result["command"], []).extend(result["times"])
floor = statistics.median(times["minimal"])
imports = statistics.median(times["minimal-imports"])
print(f"{'program':<22}{'median ms':>10}{'x minimal':>11}{'x imports':>11}{'runs':>6}")
for name, values in times.items():
    median = statistics.median(values)
    print(f"{name:<22}{median * 1000:>10.1f}{median / floor:>11.2f}{median / imports:>11.2f}"
          f"{len(values):>6}")
print()
for path in sys.argv[2:]:
    print(f"{os.path.basename(path):<32}{os.path.getsize(path):>10} bytes")
EOF
