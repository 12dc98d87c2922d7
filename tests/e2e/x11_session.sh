# Sourced by the dialog tests: report.sh's PASS/FAIL lines, a private Xvfb with the
# evilwm window manager, and `box`, which starts the program (the command in
# the LAUNCH array, followed by the arguments), finds its box by caption,
# photographs it into $SHOTS, closes it with Return and checks how it ended.
# The caller sets TMP's template name in TMP_TEMPLATE, and BUDGET, WAIT_WINDOW
# and WAIT_EXIT; it calls start_x11_session before the first box.
source "$(dirname "${BASH_SOURCE[0]}")/report.sh"
setup_ok=1
XVFB_PID="" WM_PID="" APP_PID=""
finish() {
    printf '%d passed, %d failed\n' "$PASSED" "$FAILED"
    [ "$FAILED" -eq 0 ] && [ "$setup_ok" -eq 1 ]
    exit
}

TMP=$(mktemp -d "/tmp/${TMP_TEMPLATE:-orbelle-x11}.XXXXXX") || exit 1
cleanup() {
    local pid
    if declare -F before_cleanup >/dev/null; then before_cleanup; fi
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

start_x11_session() {
    for tool in Xvfb evilwm xdotool import; do
        command -v "$tool" >/dev/null || { report setup "$tool is not installed"; setup_ok=0; }
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
    [ -n "$XVFB_PID" ] || { report setup "Xvfb did not start: $(tail -n 3 "$TMP/xvfb.log")"; setup_ok=0; finish; }
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
    kill -0 "$WM_PID" 2>/dev/null || { report setup "evilwm exited: $(cat "$TMP/wm.log")"; setup_ok=0; finish; }
    mkdir "$TMP/run" && cd "$TMP/run" || { report setup "cannot enter $TMP/run"; setup_ok=0; finish; }
}

# ------------------------------------------------------------ the boxes
show_stderr() { sed "s/^/  $1 stderr: /" "$TMP/$1.err" | head -n 5; }
# box NAME CAPTION ARGS...: run, find, photograph, close with Return, check.
# The program runs in a private folder, so a crash leaves no core file behind.
# BOX_STATUS, when set, is the exit status expected instead of 0.
box() {
    local name=$1 caption=$2; shift 2
    local ids id count colors
    if [ "$SECONDS" -ge "$BUDGET" ]; then report "$name" "not run: ${BUDGET}s budget used up"; return; fi
    "${LAUNCH[@]}" "$@" >"$TMP/$name.out" 2>"$TMP/$name.err" &
    APP_PID=$!
    ids=$(timeout "$WAIT_WINDOW" xdotool search --sync --onlyvisible --name "^$caption\$" 2>/dev/null)
    id=$(head -n 1 <<<"$ids")
    if [ -z "$id" ]; then
        kill -9 "$APP_PID" 2>/dev/null; { wait "$APP_PID"; } 2>/dev/null; APP_PID=""
        report "$name" "no visible window named '$caption' within ${WAIT_WINDOW}s"
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
        "${BOX_STATUS:-0}") ;;
        124) why+=("still running ${WAIT_EXIT}s after Return") ;;
        *) why+=("exit status $status") ;;
    esac
    [ "${BOX_STATUS:-0}" -eq 0 ] && grep -q 'run-time error' "$TMP/$name.err" &&
        why+=("$(grep -m 1 'run-time error' "$TMP/$name.err")")
    report "$name" "${why[@]}"
    show_stderr "$name"
}

