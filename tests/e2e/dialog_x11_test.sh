#!/usr/bin/env bash
# End-to-end test of the dialog program on a real X server: a private Xvfb with
# the evilwm window manager. Each box is found by its caption, photographed,
# closed with Return, and the program's exit status and stderr are checked.
# The runs without a display are checked too.
#   usage: bash tests/e2e/dialog_x11_test.sh /path/to/Orbelle /path/to/screenshot-dir
set -u

PROG=${1:?usage: $0 /path/to/Orbelle /path/to/screenshot-dir}
SHOTS=${2:?usage: $0 /path/to/Orbelle /path/to/screenshot-dir}
TITLE="Brenvik - Pavik system info"
ABOUT_CAPTION="О программе"
VERSION_TEXT="1.04.0112"
WAIT_WINDOW=10   # seconds for a box to appear
WAIT_EXIT=8      # seconds for the program to exit after Return
BUDGET=90        # seconds after which no further box is started

source "$(dirname "${BASH_SOURCE[0]}")/x11_session.sh"

# ------------------------------------------------------------ without a display
[ -x "$PROG" ] || { report setup "$PROG is not an executable file"; setup_ok=0; finish; }
PROG=$(realpath "$PROG")   # the runs without a display change directory
mkdir -p "$SHOTS" || { report setup "cannot create $SHOTS"; setup_ok=0; finish; }
SHOTS=$(realpath "$SHOTS")
mkdir "$TMP/nodisplay" "$TMP/file"
nodisplay() {  # dir args...: run in dir with no display, core dumps enabled
    local dir=$1; shift
    (cd "$dir" && ulimit -c unlimited 2>/dev/null
     exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$PROG" "$@" \
         >"$TMP/out" 2>"$TMP/err")
}

nodisplay "$TMP/nodisplay" /A; status=$?
errors=$(grep -c 'cannot open a display' "$TMP/err")
if [ "$status" -ne 1 ]; then report "no display /A" "exit status $status, expected 1"
elif [ "$(wc -l <"$TMP/err")" -ne 1 ] || [ "$errors" -ne 1 ]; then
    report "no display /A" "stderr is not one 'cannot open a display' line: $(head -c 300 "$TMP/err")"
elif compgen -G "$TMP/nodisplay/core*" >/dev/null; then report "no display /A" "core file written"
else report "no display /A"; fi

nodisplay "$TMP/file" /I:V /F; status=$?
first=""; [ -f "$TMP/file/Orbelle.TXT" ] && IFS= read -r first <"$TMP/file/Orbelle.TXT"
if [ "$status" -ne 0 ]; then report "no display /I:V /F" "exit status $status"
elif [ -s "$TMP/out" ] || [ -s "$TMP/err" ]; then
    report "no display /I:V /F" "wrote to stdout/stderr: $(cat "$TMP/out" "$TMP/err" | head -c 300)"
elif [ ! -f "$TMP/file/Orbelle.TXT" ]; then report "no display /I:V /F" "Orbelle.TXT not created"
elif [ "$first" != "$TITLE $VERSION_TEXT"$'\r' ]; then
    report "no display /I:V /F" "first line is $(printf '%q' "$first")"
else report "no display /I:V /F"; fi

# ------------------------------------------------------------ on a real X server
start_x11_session
LAUNCH=("$PROG")
box about "$ABOUT_CAPTION" /A
box about-long "$ABOUT_CAPTION" /ABOUT
box usage "$TITLE" '/?'
box report-version "$TITLE" /I:V
box report-full "$TITLE"
finish
