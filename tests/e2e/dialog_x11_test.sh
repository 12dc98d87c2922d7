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
     exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ${QT_PLATFORM:+QT_QPA_PLATFORM=$QT_PLATFORM} \
         timeout 20 "$PROG" "$@" \
         >"$TMP/out" 2>"$TMP/err")
}

# Every way of having no screen: none named, a frame buffer that is not
# there, a platform plug-in that does not exist or that shows nobody a window.
for way in "none|cannot open a display" \
           "linuxfb:fb=/dev/orbelle-no-fb|the Qt platform plug-in 'linuxfb' has no screen" \
           "orbelle-no-platform|the Qt platform plug-in 'orbelle-no-platform' cannot start" \
           "offscreen|'offscreen' shows no window" "minimal|'minimal' shows no window" \
           "vkkhrdisplay|'vkkhrdisplay' shows no window"; do
    platform=${way%%|*} words=${way#*|} name="no display /A"
    [ "$platform" = none ] || name="QT_QPA_PLATFORM=$platform /A"
    if [ "$platform" = none ]; then nodisplay "$TMP/nodisplay" /A
    else QT_PLATFORM=$platform nodisplay "$TMP/nodisplay" /A; fi
    status=$?
    if [ "$status" -ne 1 ]; then report "$name" "exit status $status, expected 1"
    elif [ "$(wc -l <"$TMP/err")" -ne 1 ] || ! grep -q -F "$words" "$TMP/err" ||
         ! grep -q -F "error: showing the About box failed (status -6: cannot open a display" "$TMP/err"; then
        report "$name" "stderr is not one line saying '$words': $(head -c 300 "$TMP/err")"
    elif compgen -G "$TMP/nodisplay/core*" >/dev/null; then report "$name" "core file written"
    else report "$name"; fi
done

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
