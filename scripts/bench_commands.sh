#!/usr/bin/env bash
# Times every boardkit command on a generated large machine image beside the floor: a run that
# loads the image and changes nothing (bk_floor load) and one that changes one value and saves
# (bk_floor change). Medians of repeated runs with hyperfine; the JSON goes to OUT.
#   scripts/bench_commands.sh [BUILD_DIR] [OUT_DIR]     (defaults: build/linux, build/bench)
# Commands that change the machine run on a fresh copy of the image for every run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/linux}
out=${2:-$root/build/bench}
runs=${BK_BENCH_RUNS:-10}
mkdir -p "$out"
image="$out/large-image"
if [ ! -e "$image/current" ]; then
    rm -rf "$image"
    "$build/tools/boardkit-sim" new --preset large "$image" >/dev/null
fi
work="$out/work-image"
# Flushed after the copy, so that its writeback does not fall into the timed run.
fresh="rm -rf '$work' && cp -a '$image' '$work' && sync"
export BOARDKIT_MACHINE="$work"
eval "$fresh"

bk="$build/boardkit"
fl="$build/bench/bk_floor"
# Read-only commands, each against the floor that loads and changes nothing.
reads=(
    "$fl load"
    "$bk IsDeviceExist 'PCI\\VEN_5AE3&DEV_FFFF'"
    "$bk IsDeviceExistInstalled 'PCI\\VEN_5AE3&DEV_FFFF'"
    "$bk IsDeviceUsing 'PCI\\VEN_5AE3&DEV_FFFF'"
    "$bk IsDemoDeviceInstalled"
    "$bk RemoveConfigurationByKernelKey NoSuchKernelKey"
    "$bk RemoveConfigurationByProductID FFFE"
    "$bk help"
)
# Commands that change the machine, against the floor that changes one value and saves; the
# list commands write their file on drive C:, so they save too.
changes=(
    "$fl change"
    "$bk GetDeviceExistNotInstalledList 'C:\\driverless.txt'"
    "$bk GetDeviceInstalledList 'C:\\installed.txt'"
    "$bk GetDevicePreinstalledList 'C:\\preinstalled.txt'"
    "$bk RemoveConfigurationByDeviceNum 5"
    "$bk UninstallDriver TolPx10S"
    "$bk InstallDemoDevice $root/tests/fixtures/inf/demo/TolDemoS.inf"
    "$bk RefreshDevices"
)
hyperfine --style basic --runs "$runs" --warmup 2 -i --prepare "$fresh" \
    --export-json "$out/commands_read.json" "${reads[@]}" >"$out/commands_read.txt" 2>&1 || true
hyperfine --style basic --runs "$runs" --warmup 1 -i --prepare "$fresh" \
    --export-json "$out/commands_change.json" "${changes[@]}" >"$out/commands_change.txt" 2>&1 || true
# RefreshDevices once more on a machine refreshed already: every retry fails.
refreshed="$out/refreshed-image"
if [ ! -e "$refreshed/current" ]; then
    rm -rf "$refreshed"
    cp -a "$image" "$refreshed"
    BOARDKIT_MACHINE="$refreshed" "$bk" RefreshDevices >/dev/null || true
fi
again="rm -rf '$work' && cp -a '$refreshed' '$work' && sync"
hyperfine --style basic --runs "$runs" --warmup 1 -i --prepare "$again" \
    --export-json "$out/commands_again.json" "$fl change" "$bk RefreshDevices" \
    >"$out/commands_again.txt" 2>&1 || true
python3 - "$out/commands_read.json" "$out/commands_change.json" "$out/commands_again.json" <<'PY'
import json, sys
for path in sys.argv[1:]:
    results = json.load(open(path))["results"]
    floor = results[0]["median"]
    print("| command | median ms | x floor |")
    print("|---|---:|---:|")
    for r in results:
        name = r["command"].split("/")[-1]
        print(f"| {name} | {r['median']*1000:.1f} | {r['median']/floor:.2f} |")
    print()
PY
