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

passed=0 failed=0 setup_ok=1
XVFB_PID="" WM_PID="" APP_PID=""
pass() { printf 'PASS %s\n' "$1"; passed=$((passed + 1)); }
fail() { printf 'FAIL %s: %s\n' "$1" "$2"; failed=$((failed + 1)); }
finish() {
    printf '%d passed, %d failed\n' "$passed" "$failed"
    [ "$failed" -eq 0 ] && [ "$setup_ok" -eq 1 ]
    exit
}

TMP=$(mktemp -d /tmp/orbelle-x11.XXXXXX) || exit 1
cleanup() {
    local pid
    for pid in $APP_PID $WM_PID $XVFB_PID; do
        kill "$pid" 2>/dev/null && { timeout 5 tail --pid="$pid" -f /dev/null || kill -9 "$pid"; }
        wait "$pid" 2>/dev/null
    done
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Wait (at most $2 seconds) for child $1 to end; sets $status (124: still running).
wait_exit() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        kill -0 "$1" 2>/dev/null || { wait "$1"; status=$?; return; }
        sleep 0.1
    done
    status=124
}

# ------------------------------------------------------------ without a display
[ -x "$PROG" ] || { fail setup "$PROG is not an executable file"; setup_ok=0; finish; }
PROG=$(realpath "$PROG")   # the runs without a display change directory
mkdir -p "$SHOTS" || { fail setup "cannot create $SHOTS"; setup_ok=0; finish; }
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
if [ "$status" -ne 1 ]; then fail "no display /A" "exit status $status, expected 1"
elif [ "$(wc -l <"$TMP/err")" -ne 1 ] || [ "$errors" -ne 1 ]; then
    fail "no display /A" "stderr is not one 'cannot open a display' line: $(head -c 300 "$TMP/err")"
elif compgen -G "$TMP/nodisplay/core*" >/dev/null; then fail "no display /A" "core file written"
else pass "no display /A"; fi

nodisplay "$TMP/file" /I:V /F; status=$?
first=""; [ -f "$TMP/file/Orbelle.TXT" ] && IFS= read -r first <"$TMP/file/Orbelle.TXT"
if [ "$status" -ne 0 ]; then fail "no display /I:V /F" "exit status $status"
elif [ -s "$TMP/out" ] || [ -s "$TMP/err" ]; then
    fail "no display /I:V /F" "wrote to stdout/stderr: $(cat "$TMP/out" "$TMP/err" | head -c 300)"
elif [ ! -f "$TMP/file/Orbelle.TXT" ]; then fail "no display /I:V /F" "Orbelle.TXT not created"
elif [ "$first" != "$TITLE $VERSION_TEXT"$'\r' ]; then
    fail "no display /I:V /F" "first line is $(printf '%q' "$first")"
else pass "no display /I:V /F"; fi

# ------------------------------------------------------------ X server and window manager
for tool in Xvfb evilwm xdotool import; do
    command -v "$tool" >/dev/null || { fail setup "$tool is not installed"; setup_ok=0; }
done
[ "$setup_ok" -eq 1 ] || finish

export XDG_RUNTIME_DIR=$TMP/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
n=90 attempts=0
while [ -z "$XVFB_PID" ] && [ "$attempts" -lt 3 ] && [ "$n" -lt 200 ]; do
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then n=$((n + 1)); continue; fi
    attempts=$((attempts + 1))
    Xvfb ":$n" -screen 0 1280x1024x24 -noreset -nolisten tcp >"$TMP/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for ((i = 0; i < 100; i++)); do   # at most 10 s
        kill -0 "$XVFB_PID" 2>/dev/null || break
        DISPLAY=":$n" timeout 2 xdotool getdisplaygeometry >/dev/null 2>&1 && break 2
        sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null  # lost a race, or too slow
    XVFB_PID=""; n=$((n + 1))
done
[ -n "$XVFB_PID" ] || { fail setup "Xvfb did not start: $(tail -n 3 "$TMP/xvfb.log")"; setup_ok=0; finish; }
export DISPLAY=":$n"

evilwm -fn fixed >"$TMP/wm.log" 2>&1 &
WM_PID=$!
for ((i = 0; i < 50; i++)); do   # evilwm sets _NET_SUPPORTING_WM_CHECK once it manages the screen
    kill -0 "$WM_PID" 2>/dev/null || break
    if command -v xprop >/dev/null; then
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    elif [ "$i" -ge 5 ]; then break; fi
    sleep 0.1
done
kill -0 "$WM_PID" 2>/dev/null || { fail setup "evilwm exited: $(cat "$TMP/wm.log")"; setup_ok=0; finish; }

# ------------------------------------------------------------ the boxes
show_stderr() { sed "s/^/  $1 stderr: /" "$TMP/$1.err" | head -n 5; }
# box NAME CAPTION ARGS...: run, find, photograph, close with Return, check.
# The program runs in a private folder, so a crash leaves no core file behind.
mkdir "$TMP/run" && cd "$TMP/run" || { fail setup "cannot enter $TMP/run"; setup_ok=0; finish; }
box() {
    local name=$1 caption=$2; shift 2
    local ids id count colors
    if [ "$SECONDS" -ge "$BUDGET" ]; then fail "$name" "not run: ${BUDGET}s budget used up"; return; fi
    "$PROG" "$@" >"$TMP/$name.out" 2>"$TMP/$name.err" &
    APP_PID=$!
    ids=$(timeout "$WAIT_WINDOW" xdotool search --sync --onlyvisible --name "^$caption\$" 2>/dev/null)
    id=$(head -n 1 <<<"$ids")
    if [ -z "$id" ]; then
        kill -9 "$APP_PID" 2>/dev/null; { wait "$APP_PID"; } 2>/dev/null; APP_PID=""
        fail "$name" "no visible window named '$caption' within ${WAIT_WINDOW}s"
        show_stderr "$name"; return
    fi
    sleep 1   # let it paint, and let any second box show up
    import -window "$id" "$SHOTS/$name.png" 2>"$TMP/$name.import"
    colors=$(identify -format '%k' "$SHOTS/$name.png" 2>/dev/null || echo 0)
    count=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | wc -l)
    timeout 3 xdotool windowfocus --sync "$id"
    xdotool key --clearmodifiers Return
    wait_exit "$APP_PID" "$WAIT_EXIT"
    [ "$status" -eq 124 ] && { kill -9 "$APP_PID"; { wait "$APP_PID"; } 2>/dev/null; }
    APP_PID=""
    local why=()
    [ "$count" -eq 1 ] || why+=("$count visible windows named '$caption'")
    [ "${colors:-0}" -ge 2 ] || why+=("screenshot $name.png is blank or missing $(head -c 200 "$TMP/$name.import")")
    case $status in
        0) ;;
        124) why+=("still running ${WAIT_EXIT}s after Return") ;;
        *) why+=("exit status $status") ;;
    esac
    grep -q 'run-time error' "$TMP/$name.err" && why+=("$(grep -m 1 'run-time error' "$TMP/$name.err")")
    if [ ${#why[@]} -eq 0 ]; then pass "$name"; else why=$(printf '%s; ' "${why[@]}"); fail "$name" "${why%; }"; fi
    show_stderr "$name"
}

box about "$ABOUT_CAPTION" /A
box about-long "$ABOUT_CAPTION" /ABOUT
box usage "$TITLE" '/?'
box report-version "$TITLE" /I:V
box report-full "$TITLE"
finish
