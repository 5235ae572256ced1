#!/usr/bin/env bash
# boardkit-collect end to end: boards' registry state, OEM INF copies, a driver-store package
# and the boards' files go into the Wine prefix; the collector runs there with a device's
# Properties key unreadable; boardkit-sim imports its folder on Linux; then the image's
# registry must equal the prefix's own `reg export` (less the unreadable key, which the
# manifest must list), its device list what Wine's SetupAPI lists, and the folder must hold
# exactly the maker's files, byte for byte.
#   collect_under_wine.sh WORK_DIR COLLECTOR_EXE PREFIX_TOOL_EXE BOARDKIT_SIM PACKAGE_DIR
set -uo pipefail
work=$1 collector=$2 tool=$3 sim=$4 package=$5
if [ ! -x "$sim" ]; then
    echo "SKIPPED: the Linux build's boardkit-sim ($sim) is not built"
    exit 77
fi
export WINEDEBUG=-all
prefix=${WINEPREFIX:-$HOME/.wine}
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
# UTF-16LE bytes of a text as regedit's hex list ("41,00,42,00").
utf16hex() { printf '%s' "$1" | iconv -f utf-8 -t utf-16le | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//; s/,$//'; }
# A UTF-8 text as a regedit file: UTF-16LE with a byte-order mark, CR LF.
to_reg() { sed 's/$/\r/' "$1" | iconv -f utf-8 -t utf-16le | { printf '\xff\xfe'; cat; } >"$2"; }

rm -rf "$work" && mkdir -p "$work"
cs='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet'
board='PCI\VEN_5AE3&DEV_1001&SUBSYS_00015AE3&REV_01'
board_instance="$board\\4&2a1b3c4d&0&00E0"
unplugged='PCI\VEN_5AE3&DEV_1201&SUBSYS_00015AE3&REV_01'
class='{9d0d4d6a-5c2e-4f7b-9a51-3b1f0c2e7a10}'
locked="SYSTEM\\CurrentControlSet\\Enum\\$board_instance\\Properties"
blob=$(for i in $(seq 0 199); do printf '%02x,' $((i * 7 % 256)); done | sed 's/,$//')

# The boards' state as Windows 10 keeps it, with the awkward corners of the format: every
# value type, escapes in names and data, text that is not ASCII, long data, odd REG_SZ data.
cat >"$work/boards.txt" <<REG
Windows Registry Editor Version 5.00

[$cs\\Enum\\$board_instance]
"DeviceDesc"="@oem90.inf,%px1001%;PX-1001 \"multifunction\" board"
"HardwareID"=hex(7):$(utf16hex "$board"),00,00,$(utf16hex 'PCI\VEN_5AE3&DEV_1001'),00,00,00,00
"CompatibleIDs"=hex(7):$(utf16hex 'PCI\CC_118000'),00,00,00,00
"ClassGUID"="$class"
"Driver"="$class\\\\0000"
"Service"="TolPx10S"
"ConfigFlags"=dword:00000000
"LocationInformation"="PCI bus 3, device 0, function 0"

[$cs\\Enum\\$board_instance\\Device Parameters]
"BoardNumber"=dword:00000000

[$cs\\Enum\\$board_instance\\Properties\\{540b947e-8b40-45bc-a8a2-6a0b894cbda2}\\0004]
@=hex(ffff0012):$(utf16hex 'PX-1001'),00,00

[$cs\\Enum\\$unplugged\\4&3d4e5f60&0&0028]
"HardwareID"=hex(7):$(utf16hex "$unplugged"),00,00,00,00
"ConfigFlags"=dword:00000040

[$cs\\Enum\\ROOT\\DAQBOARD\\0000]
"HardwareID"=hex(7):$(utf16hex 'DEMO'),00,00,00,00
"ClassGUID"="$class"
"Driver"="$class\\\\0001"

[$cs\\Control\\Class\\$class]
@="Data acquisition boards"
"Class"="DAQBoard"

[$cs\\Control\\Class\\$class\\0000]
"InfPath"="oem90.inf"
"MatchingDeviceId"="pci\\\\ven_5ae3&dev_1001"
"DriverVersion"="2.4.0.17"
"DriverDateData"=hex:00,80,8c,a3,c5,94,d6,01

[$cs\\Control\\Class\\$class\\0001]
"InfPath"="oem91.inf"

[$cs\\Services\\TolDemoS]
@="default value"
"Type"=dword:00000001
"Start"=dword:ffffffff
"ImagePath"=hex(2):$(utf16hex '\SystemRoot\System32\drivers\TolDemoS.sys'),00,00
"DisplayName"="TolDemo \"Demo\" driver \\\\ C:\\\\x"
"Quad"=hex(b):01,02,03,04,05,06,07,08
"None"=hex(0):
"BigEndian"=hex(5):00,00,00,01
"Empty"=""
"EmptyList"=hex(7):00,00
"OddBytes"=hex(1):41,00,42
"NoTerminator"=hex(1):41,00,42,00
"Two\"Quotes\" and \\\\"=dword:00000002
"Blob"=hex:$blob
"Grün"="Größe µ"

[$cs\\Services\\TolDemoS\\Größe [mm] = "x"]
"Wine"=hex(ffff0007):03,00,00,00

[$cs\\Services\\TOLVAN]
"Version"="1.0"
REG
to_reg "$work/boards.txt" "$work/boards.reg"
cat >"$work/cleanup.txt" <<REG
Windows Registry Editor Version 5.00

[-$cs\\Enum\\$board]
[-$cs\\Enum\\$unplugged]
[-$cs\\Enum\\ROOT\\DAQBOARD]
[-$cs\\Control\\Class\\$class]
[-$cs\\Services\\TolDemoS]
[-$cs\\Services\\TOLVAN]
REG
to_reg "$work/cleanup.txt" "$work/cleanup.reg"

windows="$prefix/drive_c/windows"
store="$windows/system32/DriverStore"
made_store=0
[ -d "$store" ] || made_store=1
cleanup() {
    umount "$work/full" 2>/dev/null
    wine regedit /s "$(winpath "$work/cleanup.reg")" >/dev/null 2>&1
    rm -f "$windows/inf/oem90.inf" "$windows/inf/oem91.inf" "$windows/system32/TolDemo.dll" \
        "$windows/system32/drivers/TolDemoS.sys"
    rm -rf "$store/FileRepository/toldemos.inf_amd64_5f1c0e4a2b9d3c77" \
        "$store/FileRepository/widget.inf_amd64_0a1b2c3d4e5f6a7b"
    [ "$made_store" = 1 ] && rm -rf "$store"
}
trap cleanup EXIT

wine regedit /s "$(winpath "$work/boards.reg")" >/dev/null 2>&1 || fail "regedit did not take the boards' state"
cp "$package/TolDemoS.inf" "$windows/inf/oem90.inf"
printf '[Version]\r\nSignature="$Windows NT$"\r\n' >"$windows/inf/oem91.inf"
pkg="$store/FileRepository/toldemos.inf_amd64_5f1c0e4a2b9d3c77"
mkdir -p "$pkg/amd64" "$store/FileRepository/widget.inf_amd64_0a1b2c3d4e5f6a7b"
cp "$package/TolDemoS.inf" "$pkg/TolDemoS.inf"
cp "$package/TolDemoS.sys" "$pkg/TolDemoS.sys"
head -c 3000 /dev/urandom >"$pkg/amd64/TolDemo.dll"
head -c 5000 /dev/urandom >"$windows/system32/TolDemo.dll"
cp "$package/TolDemoS.sys" "$windows/system32/drivers/TolDemoS.sys"
echo other >"$store/FileRepository/widget.inf_amd64_0a1b2c3d4e5f6a7b/widget.inf"

# Wine's SetupAPI rewrites the Enum keys it lists (ClassGUID in capitals, a Class value added),
# which Windows does not: one listing first, so that the collector and the prefix's export
# below see the same registry.
wine "$tool" devices >/dev/null

# Collect, with the board's Properties key readable by no one.
out="$work/collected"
wine "$tool" locked "$locked" "$(winpath "$collector") $(winpath "$out")" >"$work/collect.out" 2>"$work/collect.err"
status=$?
if [ "$status" -ne 0 ]; then
    echo "FAILED: the collector exited with $status: $(cat "$work/collect.err")"
    exit 1
fi
grep -q '^boardkit-collect: registry: [0-9]* keys' "$work/collect.err" || fail "no progress on standard error"
grep -qF "HKEY_LOCAL_MACHINE\\$locked: access denied" "$out/manifest.txt" ||
    fail "the manifest does not list the unreadable key: $(cat "$out/manifest.txt")"

# The folder holds the OEM copies and exactly the maker's files, as they are in the prefix.
expected="drive_c/windows/system32/DriverStore/FileRepository/toldemos.inf_amd64_5f1c0e4a2b9d3c77/TolDemoS.inf
drive_c/windows/system32/DriverStore/FileRepository/toldemos.inf_amd64_5f1c0e4a2b9d3c77/TolDemoS.sys
drive_c/windows/system32/DriverStore/FileRepository/toldemos.inf_amd64_5f1c0e4a2b9d3c77/amd64/TolDemo.dll
drive_c/windows/system32/TolDemo.dll
drive_c/windows/system32/drivers/TolDemoS.sys
inf/oem90.inf
inf/oem91.inf"
found=$(cd "$out" && find drive_c inf -type f | LC_ALL=C sort)
[ "$found" = "$expected" ] || fail "the folder's files differ: $(diff <(echo "$expected") <(echo "$found"))"
while read -r file; do
    source="$prefix/$file"
    [ "${file#inf/}" != "$file" ] && source="$windows/$file"
    cmp -s "$source" "$out/$file" || fail "$file differs from the prefix's copy"
done <<<"$expected"

# Import it on Linux.
image="$work/image"
if ! "$sim" import "$image" "$out" >"$work/import.out" 2>&1; then
    echo "FAILED: the import failed: $(cat "$work/import.out")"
    exit 1
fi

# The registry: the prefix's own export, read into an empty image the same way, less the key
# the collector could not read.
reference="$work/reference"
"$sim" new --empty "$reference" >/dev/null
trees=('Enum' 'Control\Class' 'Services')
for tree in "${trees[@]}"; do
    name=${tree//\\/-}
    wine reg export "HKLM\\SYSTEM\\CurrentControlSet\\$tree" "$(winpath "$work/prefix-$name.reg")" /y >/dev/null 2>&1 ||
        fail "wine reg export of $tree failed"
    "$sim" -M "$reference" reg import "$work/prefix-$name.reg" >/dev/null || fail "the prefix's $tree export does not import"
done
printf 'Windows Registry Editor Version 5.00\n\n[-HKEY_LOCAL_MACHINE\\%s]\n' "$locked" >"$work/unreadable.txt"
to_reg "$work/unreadable.txt" "$work/unreadable.reg"
"$sim" -M "$reference" reg import "$work/unreadable.reg" >/dev/null
# Known departure: a REG_SZ with a terminator inside. Wine's regedit stores hex(1):41,00,42 as
# these five bytes (RegQueryValueExW reads them so), and Wine's reg export cuts the text at the
# first terminator, as Windows' regedit does not. Fails once Wine exports the bytes.
odd_image='"OddBytes"=hex(1):41,00,00,00,00'
odd_prefix='"OddBytes"="A"'
for tree in "${trees[@]}"; do
    name=${tree//\\/-}
    for side in image reference; do
        "$sim" -M "$work/$side" reg export "$work/$side-$name.reg" "$cs\\$tree" >/dev/null
        iconv -f utf-16 -t utf-8 "$work/$side-$name.reg" | tr -d '\r' >"$work/$side-$name.txt"
    done
    if [ "$tree" = Services ]; then
        grep -qxF "$odd_image" "$work/image-$name.txt" || fail "the image lacks $odd_image"
        grep -qxF "$odd_prefix" "$work/reference-$name.txt" ||
            fail "Wine's export no longer shows $odd_prefix: drop this known departure"
        grep -vxF -e "$odd_image" -e "$odd_prefix" "$work/image-$name.txt" >"$work/image-$name.cut"
        grep -vxF -e "$odd_image" -e "$odd_prefix" "$work/reference-$name.txt" >"$work/reference-$name.cut"
        mv "$work/image-$name.cut" "$work/image-$name.txt"
        mv "$work/reference-$name.cut" "$work/reference-$name.txt"
    fi
    if ! cmp -s "$work/reference-$name.txt" "$work/image-$name.txt"; then
        fail "the image's $tree differs from the prefix's export:"
        diff "$work/reference-$name.txt" "$work/image-$name.txt" | head -20
    fi
done
iconv -f utf-16 -t utf-8 "$work/reference-Services.reg" | grep -q 'Größe \[mm\]' ||
    fail "the prefix lacks the boards' state; this test would prove nothing"

# The devices: what SetupAPI lists is in the image with the same presence, and nothing else
# is present there.
wine "$tool" devices | tr -d '\r' | awk -F'\t' '{print toupper($1) "\t" $2}' | LC_ALL=C sort >"$work/prefix-devices.txt"
"$sim" -M "$image" show devices | awk '/^  [^ ]/ {print toupper($1) "\t" $2}' | LC_ALL=C sort >"$work/image-devices.txt"
grep -q "^$(echo "$board_instance" | tr a-z A-Z | sed 's/[\\&]/\\&/g')	present" "$work/prefix-devices.txt" ||
    fail "SetupAPI does not list the board; this test would prove nothing"
missing=$(LC_ALL=C comm -23 "$work/prefix-devices.txt" "$work/image-devices.txt")
[ -z "$missing" ] || fail "listed by SetupAPI but not so in the image: $missing"
extra=$(grep 'present$' "$work/image-devices.txt" | LC_ALL=C comm -13 "$work/prefix-devices.txt" -)
[ -z "$extra" ] || fail "present in the image but not listed so by SetupAPI: $extra"

# A full disk: where this runs as root, a 32 KiB file system takes the folder; the collector
# must say so with its own exit code (4) and leave nothing behind.
full="$work/full"
mkdir -p "$full"
if mount -t tmpfs -o size=32k tmpfs "$full" 2>/dev/null; then
    wine "$collector" "$(winpath "$full/out")" >/dev/null 2>"$work/full.err"
    status=$?
    [ "$status" -eq 4 ] || fail "on a full disk the collector exited with $status, not 4"
    grep -q 'the disk is full' "$work/full.err" || fail "no full-disk message: $(cat "$work/full.err")"
    [ -z "$(ls -A "$full")" ] || fail "a collection that met a full disk left $(ls -A "$full")"
    umount "$full"
else
    echo "(the full-disk check needs root to mount a small file system; not run)"
fi

[ "$failures" -eq 0 ] && echo "collected, imported and compared: the same machine"
[ "$failures" -eq 0 ]
