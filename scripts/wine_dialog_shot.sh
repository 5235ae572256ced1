#!/usr/bin/env bash
# Shows the "ISA Device Configure" dialog under Wine on a virtual display: runs the dialog
# caller (a program that installs legacy boards through boardkit.dll and reads each dialog back
# through Win32), takes a picture of the first dialog while it is open, and passes on the
# caller's verdict.
#   scripts/wine_dialog_shot.sh CALLER.exe INF PICTURE.png
# With DISPLAY set, the caller runs there, in the WINEPREFIX given (its server must have been
# started under the same display, as scripts/test.sh --wine-phase does). Without one, the script
# runs itself under xvfb-run with a Wine prefix of its own beside the picture. Exit 77 (skipped)
# when there is neither a display nor Xvfb.
set -uo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 CALLER.exe INF PICTURE.png" >&2
    exit 2
fi
caller=$(realpath "$1")
inf=$(realpath "$2")
picture=$(realpath -m "$3")
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="

if [ -z "${DISPLAY:-}" ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "no display and no xvfb-run: the dialog cannot be shown" >&2
        exit 77
    fi
    # A server started without a display would refuse every dialog, so this run's Wine gets a
    # prefix of its own, whose server starts under the virtual display.
    export WINEPREFIX
    WINEPREFIX="$(dirname "$picture")/wineprefix-dialog"
    mkdir -p "$WINEPREFIX"
    exec xvfb-run -a -s "-screen 0 640x480x24" env BK_DIALOG_OWN_SERVER=1 bash "$0" "$@"
fi
if [ -z "${WINEPREFIX:-}" ]; then
    echo "WINEPREFIX is not set" >&2
    exit 2
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi
# Xvfb has no window manager, so Wine draws the caption and frame itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

work=$(mktemp -d)
trap 'rm -rf "$work"; [ -z "${BK_DIALOG_OWN_SERVER:-}" ] || wineserver -k >/dev/null 2>&1' EXIT
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
ready="$work/ready"
done_file="$work/done"

wine "$caller" "$(windows_path "$inf")" "$(windows_path "$ready")" "$(windows_path "$done_file")" \
    </dev/null >"$work/caller.log" 2>&1 &
pid=$!

# The caller writes the dialog's rectangle once it has read the dialog back.
for _ in $(seq 1 600); do
    [ -s "$ready" ] || ! kill -0 "$pid" 2>/dev/null && break
    sleep 0.1
done
if [ -s "$ready" ]; then
    read -r x y width height <"$ready"
    if command -v import >/dev/null 2>&1; then
        # A margin round the frame, kept on the screen.
        margin=8
        left=$((x > margin ? x - margin : 0))
        top=$((y > margin ? y - margin : 0))
        mkdir -p "$(dirname "$picture")"
        crop="$((width + x - left + margin))x$((height + y - top + margin))+$left+$top"
        if import -window root -crop "$crop" +repage "$picture"; then
            echo "picture: $picture (${width}x${height} at $x,$y)"
        else
            echo "import could not take the picture" >&2
        fi
    else
        echo "ImageMagick's import is missing: no picture taken" >&2
    fi
fi
touch "$done_file"
wait "$pid"
status=$?
cat "$work/caller.log"
exit "$status"
