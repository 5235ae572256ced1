#!/usr/bin/env bash
# A library planted beside boardkit.exe, or beside a host program of boardkit.dll, under the
# name of a system library the product loads must never run: the command that loads that
# library still does its work with the system's own and answers exactly as it does without it.
#   planted_libraries.sh WORK_DIR PLANTED_DIR BOARDKIT_EXE BOARDKIT_DLL DLL_CALLER CONTROL INF
# Wine is told to prefer a library found by the search ("native") over its own, which makes it
# search the program's folder first for every library, as Windows does for all but its
# KnownDLLs.
set -uo pipefail
work=$1 planted=$2 exe=$3 dll=$4 caller=$5 control=$6 inf=$7
libraries=(newdev setupapi cfgmgr32 crypt32 user32 advapi32)
overrides="mscoree=;mshtml="
for name in "${libraries[@]}"; do overrides+=";$name=n,b"; done
export WINEDEBUG=-all WINEDLLOVERRIDES="$overrides"
inf_windows="Z:${inf//\//\\}"
board='PCI\VEN_5AE3&DEV_1001'
failures=0 passed=0

fail() { echo "FAILED: $*"; failures=$((failures + 1)); }


markers() { find "$1" -name '*.loaded' -printf '%f ' | sort; }

# The control: a program that loads by bare name takes every planted library.
rm -rf "$work" && mkdir -p "$work/control"
cp "$control" "$work/control/control.exe"
for name in "${libraries[@]}"; do cp "$planted/planted_$name.dll" "$work/control/$name.dll"; done
(cd "$work/control" && wine control.exe "${libraries[@]/%/.dll}" >/dev/null 2>&1)
for name in "${libraries[@]}"; do
    if [ ! -e "$work/control/$name.dll.loaded" ]; then
        fail "control: a bare-name load did not take the planted $name.dll; this test would prove nothing"
    fi
done

# run_both HOST_FOLDER LIBRARY PROGRAM ARGS...: the same command before and after LIBRARY is
# planted beside the program.
run_both() {
    local folder=$1 library=$2 program=$3; shift 3
    local before after status_before status_after
    before=$(cd "$folder" && wine "$program" "$@" 2>&1); status_before=$?
    cp "$planted/planted_$library.dll" "$folder/$library.dll"
    after=$(cd "$folder" && wine "$program" "$@" 2>&1); status_after=$?
    local found; found=$(markers "$folder")
    local what="$(basename "$folder"): $program $* beside a planted $library.dll"
    if [ -n "$found" ]; then
        fail "$what loaded it ($found)"
    elif [ "$status_before" != "$status_after" ] || [ "$before" != "$after" ]; then
        fail "$what answered otherwise (exit $status_before, then $status_after)"
        diff <(echo "$before") <(echo "$after") | head -20
    else
        passed=$((passed + 1))
    fi
    rm -f "$folder/$library.dll" "$folder"/*.loaded
}

# Each library with a command that loads it.
commands=(
    "newdev InstallDriver $inf_windows $board"
    "setupapi IsDeviceExist $board"
    "cfgmgr32 IsDeviceExistInstalled $board"
    "crypt32 InstallCertificate"
    "user32 KillBoardkitAPTimer 1"
    "advapi32 RemoveConfigurationByDeviceNum 999"
)
mkdir -p "$work/exe" "$work/dll"
cp "$exe" "$work/exe/boardkit.exe"
cp "$caller" "$work/dll/dll_caller.exe"
cp "$dll" "$work/dll/boardkit.dll"
for command in "${commands[@]}"; do
    read -r -a words <<<"$command"
    run_both "$work/exe" "${words[0]}" boardkit.exe "${words[@]:1}"
    run_both "$work/dll" "${words[0]}" dll_caller.exe "${words[@]:1}"
done
echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
