#!/usr/bin/env bash
# The windowed Windows program, x64 or x86, on a real X server under Wine:
# each box is found by its caption, photographed, closed with Return, and
# the exit status is checked. Wine's About box adds lines of its own and does
# not split its caption at "#", so only that it appears and closes is checked.
# Wine's desktop belongs to the display its wineserver started with, so this
# test has a prefix and a wineserver of its own, started on its X server.
# The x86 program skips (exit 77) on a kernel that cannot run 32-bit programs.
#   usage: bash dialogs_under_wine.sh win64|win32 WINEPREFIX BUILD SCREENSHOT-DIR LOCALE-DIR
set -u

arch=${1:?usage: $0 win64|win32 WINEPREFIX BUILD SCREENSHOT-DIR LOCALE-DIR}
export WINEPREFIX=${2:?}
BUILD=${3:?} SHOTS=${4:?}
export LOCPATH=${5:?} WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
case $arch in
win64) LAUNCH=(/usr/lib/wine/wine64 "$BUILD/Orbelle.exe") ;;
win32) LAUNCH=(/usr/lib/wine/wine "$BUILD/Orbelle.exe")
    "$(dirname "${BASH_SOURCE[0]}")/../runs_32_bit_programs.sh" || exit ;;
*) echo "usage: $0 win64|win32 WINEPREFIX BUILD SCREENSHOT-DIR LOCALE-DIR" >&2; exit 2 ;;
esac
WINE_PREFIX_TOOL=$(realpath "$(dirname "${BASH_SOURCE[0]}")/wine-prefix")
TITLE="Brenvik - Pavik system info"
WAIT_WINDOW=20   # seconds for a box to appear
WAIT_EXIT=10     # seconds for the program to exit after Return
BUDGET=200       # seconds after which no further box is started
TMP_TEMPLATE=orbelle-wine-x11

source "$(dirname "${BASH_SOURCE[0]}")/../e2e/x11_session.sh"

mkdir -p "$SHOTS" && SHOTS=$(realpath "$SHOTS")
[ -f "$BUILD/Orbelle.exe" ] || { report setup "$BUILD/Orbelle.exe is missing: run make windows"; setup_ok=0; }
[ "$setup_ok" -eq 1 ] || finish
start_x11_session
# shellcheck disable=SC2317 # called by x11_session.sh's finish
before_cleanup() { "$WINE_PREFIX_TOOL" stop "$WINEPREFIX"; }
"$WINE_PREFIX_TOOL" start "$WINEPREFIX" >"$TMP/wine-prefix.log" 2>&1 ||
    { report setup "Wine did not start: $(tail -n 3 "$TMP/wine-prefix.log")"; setup_ok=0; finish; }

box "wine-$arch-about" ".*программе#$TITLE" /A
box "wine-$arch-usage" "$TITLE" '/?'
box "wine-$arch-report-full" "$TITLE"
# A report file that cannot be written: the error is a box too.
mkdir -p Orbelle.TXT
BOX_STATUS=1 box "wine-$arch-run-time-error" "$TITLE" /F
rmdir Orbelle.TXT
grep -q 'Orbelle: run-time error: writing the report file failed' "$TMP/wine-$arch-run-time-error.err" ||
    report "wine-$arch-run-time-error" "no run-time error line on stderr"
finish
