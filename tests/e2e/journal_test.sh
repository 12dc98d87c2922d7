#!/usr/bin/env bash
# End-to-end test of the /E option: the report is sent to a real, private
# systemd-journald started in its own mount (and PID) namespace, so the
# host journal is never touched.
#   usage: bash tests/e2e/journal_test.sh /path/to/OrbelleC [/path/to/Orbelle]
# The windowed program, when given, is checked without a display, against
# the console program's report.
set -u

TITLE="Brenvik - Pavik system info (console) 1.04.0112"
TOTAL_LIMIT=180     # seconds for the whole namespace part
RUN_LIMIT=15        # seconds for one run of the program
BARRIER_ID=orbelle-e2e-barrier

log() { printf '%s\n' "$*" >&2; }

# ---------------------------------------------------------------- helper
# Small Python helper: exact-byte work that bash does badly.
write_helper() {
    cat >"$1" <<'PY'
import os, socket, sys, time

def parse_export(data):
    """Parse `journalctl -o export` (including its binary-safe fields)."""
    entries, cur, i = [], {}, 0
    while i < len(data):
        nl = data.find(b"\n", i)
        if nl < 0: break
        line = data[i:nl]
        if not line:           # a blank line ends an entry
            entries.append(cur)
            cur, i = {}, nl + 1
        elif b"=" in line:
            key, val = line.split(b"=", 1)
            cur.setdefault(key.decode(), val)
            i = nl + 1
        else:  # name LF, 64-bit little-endian size, data, LF
            n = int.from_bytes(data[nl + 1:nl + 9], "little")
            cur.setdefault(line.decode(), data[nl + 9:nl + 9 + n])
            i = nl + 9 + n + 1
    return entries + ([cur] if cur else [])

cmd, args = sys.argv[1], sys.argv[2:]
if cmd == "expected":          # TITLE STDOUT_FILE OUT_FILE
    data = open(args[1], "rb").read()
    if not data.endswith(b"\n") or b"\r" in data:
        sys.exit("stdout of the reference run does not end its lines in LF alone")
    body = data[:-1]
    open(args[2], "wb").write(args[0].encode() + b"\n\n" + body)
elif cmd == "between":         # MARK_A MARK_B OUT_DIR  (export on stdin)
    entries = parse_export(sys.stdin.buffer.read())
    msgs = [e.get("MESSAGE") for e in entries]
    a, b = args[0].encode(), args[1].encode()
    if b not in msgs:
        sys.exit(2)            # not written yet: caller polls again
    if a not in msgs:
        sys.exit("barrier %s missing from the journal" % args[0])
    new = [e for e in entries[msgs.index(a) + 1:msgs.index(b)]
           if e.get("_TRANSPORT") not in (b"driver", b"kernel", b"audit")]
    print(len(new))
    for field in ("MESSAGE", "PRIORITY", "SYSLOG_IDENTIFIER") if len(new) == 1 else ():
        if field in new[0]:
            open(os.path.join(args[2], field), "wb").write(new[0][field])
elif cmd == "stale":           # SOCKET_PATH: bind, exit without unlinking
    socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM).bind(args[0])
    try:                       # check: nobody listens any more
        socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM).connect(args[0])
        sys.exit("socket is not stale: connect() succeeded")
    except ConnectionRefusedError:
        pass
elif cmd == "full":            # SOCKET_PATH SECONDS: a journal that takes nothing
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    listener.bind(args[0])
    sender = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    sender.setblocking(False)
    sender.connect(args[0])
    try:                       # fill its queue, then never read it
        while True:
            sender.send(b"MESSAGE=filler\n")
    except BlockingIOError:
        pass
    print("full", flush=True)
    time.sleep(float(args[1]))
PY
}

# ------------------------------------------------------ namespace: journald
source "$(dirname "$(readlink -f -- "${BASH_SOURCE[0]}")")/private_journal.sh"

send_barrier() {   # one native-protocol datagram, queued after the program's
    printf 'MESSAGE=%s\nSYSLOG_IDENTIFIER=%s\n' "$1" "$BARRIER_ID" | logger --journald
}

# Writes the entries found between two barriers into $1 (count + fields).
read_new_entries() {
    local out=$1 a=$2 b=$3 i rc
    for ((i = 0; i < 50; i++)); do
        timeout 10 journalctl -D /run/log/journal -o export --no-pager 2>/dev/null |
            python3 "$HELPER" between "$a" "$b" "$out" >"$out/count"
        rc=$?
        [[ $rc -ne 2 ]] && return "$rc"
        sleep 0.1
    done
    log "    barrier $b never reached the journal"
    return 1
}

# ------------------------------------------------------------------ cases
source "$(dirname "$(readlink -f -- "${BASH_SOURCE[0]}")")/report.sh"

run_prog() {   # DIR CMD...: run in the fresh DIR/cwd, output in DIR/out, DIR/err
    local dir=$1; shift
    mkdir -p "$dir/cwd"
    # In the background so that a TERM sent to this shell is handled at once.
    (cd "$dir/cwd" && exec timeout "$RUN_LIMIT" "$@" >"$dir/out" 2>"$dir/err") &
    wait $!
    RC=$?
    ((RC == 124)) && log "    timed out after $RUN_LIMIT s: $*"
}

check_run() {   # DIR EXPECTED_STATUS: status, empty stdout, untouched cwd
    [[ $RC -eq $2 ]] || why+=("exit status $RC, expected $2")
    [[ -s $1/out ]] && why+=("stdout not empty: $(head -c 200 "$1/out" | cat -A)")
    local created; created=$(find "$1/cwd" -mindepth 1 -printf '%P ')
    [[ -z $created ]] || why+=("files created in cwd: $created")
}

check_field() {   # DIR FIELD EXPECTED
    local got; got=$(cat "$1/$2" 2>/dev/null)
    [[ $got == "$3" ]] || why+=("$2='$got', expected '$3'")
}

check_message() {   # EXPECTED_FILE GOT_FILE: exact bytes
    [[ -f $1 ]] || return   # reference run already reported as failed
    [[ -f $2 ]] || { why+=("entry has no MESSAGE"); return; }
    cmp -s "$1" "$2" && return
    why+=("MESSAGE differs ($(wc -c <"$1") bytes expected, $(wc -c <"$2") got; diff of cat -A, < expected, > got):")
    mapfile -t -O "${#why[@]}" why < <(diff <(cat -A "$1") <(cat -A "$2") | head -20)
}

case_journal() {   # NAME BINARY IDENT E_FLAG ARGS...: journald is running
    local name=$1 bin=$2 ident=$3 eflag=$4; shift 4
    local dir="$WORK/case$((PASSED + FAILED + 1))" why=()
    mkdir -p "$dir/ref" "$dir/run" "$dir/got"
    run_prog "$dir/ref" "${REF_BIN:-$bin}" "$@"   # same arguments without the E flag
    [[ $RC -eq 0 ]] || why+=("reference run '$*' exited $RC")
    python3 "$HELPER" expected "${CASE_TITLE:-$TITLE}" "$dir/ref/out" "$dir/expected" 2>"$dir/py.err" ||
        why+=("$(cat "$dir/py.err")")

    send_barrier "$name: before"
    run_prog "$dir/run" "$bin" "$@" "$eflag"
    send_barrier "$name: after"
    check_run "$dir/run" 0
    [[ -s $dir/run/err ]] && why+=("stderr not empty: $(head -c 200 "$dir/run/err" | cat -A)")

    if ! read_new_entries "$dir/got" "$name: before" "$name: after"; then
        why+=("could not read the journal back")
    elif [[ $(cat "$dir/got/count") != 1 ]]; then
        why+=("$(cat "$dir/got/count") new journal entries, expected exactly 1")
    else
        check_field "$dir/got" PRIORITY 6
        check_field "$dir/got" SYSLOG_IDENTIFIER "$ident"
        check_message "$dir/expected" "$dir/got/MESSAGE"
    fi
    report "$name" "${why[@]}"
}

case_no_journal() {   # NAME SOCKET(none|stale|full|refused) WORDS [RUNNER...]: journald is stopped here
    local name=$1 stale=$2 words=$3 runner=("${@:4}")
    local dir="$WORK/case$((PASSED + FAILED + 1))" why=() err listener=''
    mkdir -p "$dir/journal"
    chmod 0755 "$dir"
    umount /run/systemd/journal 2>/dev/null   # drop the previous case's dir
    mount --bind "$dir/journal" /run/systemd/journal || { report "$name" "cannot mount"; return; }
    if [[ $stale == stale || $stale == refused ]]; then
        python3 "$HELPER" stale /run/systemd/journal/socket ||
            { report "$name" "cannot create the stale socket"; return; }
        [[ $stale == stale ]] || chmod 0600 /run/systemd/journal/socket
    elif [[ $stale == full ]]; then
        python3 "$HELPER" full /run/systemd/journal/socket "$RUN_LIMIT" >"$dir/full" &
        listener=$!
        timeout 10 bash -c 'until [[ -s $0 ]]; do sleep 0.1; done' "$dir/full" ||
            { kill "$listener"; report "$name" "cannot fill the journal socket"; return; }
    fi
    run_prog "$dir" "${runner[@]}" "$BIN" /I:V /E
    [[ -n $listener ]] && kill "$listener" && wait "$listener" 2>/dev/null
    check_run "$dir" 1
    err=$(cat "$dir/err")   # drops the final newline
    [[ -s $dir/err && $(tail -c 1 "$dir/err") == "" && $(wc -l <"$dir/err") -eq 1 ]] ||
        why+=("stderr is not exactly one line: $(head -c 300 "$dir/err" | cat -A | tr '\n' ' ')")
    [[ $err == "$NAME: run-time error:"* ]] || why+=("stderr does not start with '$NAME: run-time error:'")
    [[ $err == *"writing to the system journal failed"*"$words"* ]] ||
        why+=("stderr does not say 'writing to the system journal failed ... $words': $err")
    report "$name" "${why[@]}"
}

# ------------------------------------------------------------- main parts
inside_namespace() {   # runs as PID 1 of a private mount + PID namespace
    BIN=$1 WORK=$2 JOURNALD=$3 WINDOWED=${4:-} HELPER="$WORK/helper.py" JOURNALD_PID=
    unset DISPLAY WAYLAND_DISPLAY
    NAME=$(basename -- "$BIN"); NAME=${NAME%.*}
    trap stop_journald EXIT
    trap 'exit 143' INT TERM
    setup_mounts || { log "ERROR: cannot set up private mounts"; exit 3; }
    start_journald || exit 3
    mkdir -p "$WORK/bin" && cp -- "$BIN" "$WORK/bin/SysProbe" || exit 3

    case_journal "1 '/I:V /E' sends the report" "$BIN" "$NAME" /E /I:V
    case_journal "2 '/i:pi /e' lower case" "$BIN" "$NAME" /e /i:pi
    case_journal "3 renamed copy SysProbe '/I:V /E'" "$WORK/bin/SysProbe" SysProbe /E /I:V
    if [[ -n $WINDOWED ]]; then
        REF_BIN=$BIN CASE_TITLE="Brenvik - Pavik system info 1.04.0112" \
            case_journal "3w windowed '/I:PI /E' without a display" "$WINDOWED" Orbelle /E /I:PI
    fi
    stop_journald
    case_no_journal "4 no journal socket" none "systemd-journald is not running"
    case_no_journal "5 stale journal socket" stale "systemd-journald is not running"
    case_no_journal "6 a journal that reads nothing: the wait is bounded" full "took no entry"
    case_no_journal "7 a journal that reads nothing, SIGALRM blocked by the caller: the wait is bounded" \
        full "took no entry" python3 -c 'import os, signal, sys
signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGALRM]); os.execvp(sys.argv[1], sys.argv[1:])'
    case_no_journal "8 a journal socket that refuses the user (uid 65534): permission denied" refused \
        "permission denied" setpriv --reuid=65534 --regid=65534 --clear-groups --
    echo "$PASSED $FAILED" >"$WORK/counts"
}

setup_error() { log "ERROR: $*"; echo "0 passed, 0 failed"; exit 2; }

main() {
    local bin=${1:-} windowed=${2:-} missing=() tool journald='' rc passed failed
    for tool in unshare journalctl logger python3 timeout setpriv; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    for tool in /lib/systemd/systemd-journald /usr/lib/systemd/systemd-journald; do
        [[ -x $tool ]] && { journald=$tool; break; }
    done
    [[ -n $journald ]] || missing+=(systemd-journald)
    ((${#missing[@]} == 0)) || setup_error "required tools not found: ${missing[*]}"
    [[ -n $bin && -x $bin ]] || setup_error "program under test not given or not executable: '$bin'"
    [[ $(id -u) -eq 0 ]] || setup_error "must run as root (mount namespace and bind mounts)"

    WORK=$(mktemp -d "${TMPDIR:-/tmp}/orbelle-journal.XXXXXX") || setup_error "mktemp failed"
    trap 'rm -rf -- "$WORK"' EXIT
    write_helper "$WORK/helper.py"
    # PID namespace + --kill-child: when its first process dies, the kernel
    # kills everything left in it (journald included).
    timeout -k 5 "$TOTAL_LIMIT" unshare --mount --propagation private \
        --pid --fork --kill-child --mount-proc \
        bash "$(readlink -f -- "$0")" --in-namespace \
        "$(readlink -f -- "$bin")" "$WORK" "$journald" ${windowed:+"$(readlink -f -- "$windowed")"} &
    NS_PID=$!
    trap 'kill -TERM "$NS_PID" 2>/dev/null; wait "$NS_PID"; exit 143' INT TERM
    wait "$NS_PID"
    rc=$?
    [[ -s $WORK/counts ]] || setup_error "the namespace part did not complete (status $rc)"
    read -r passed failed <"$WORK/counts"
    echo "$passed passed, $failed failed"
    ((rc == 0 && failed == 0))
}

if [[ ${1:-} == --in-namespace ]]; then
    shift
    inside_namespace "$@"
else
    main "$@"
fi
