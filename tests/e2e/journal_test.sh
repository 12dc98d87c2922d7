#!/usr/bin/env bash
# End-to-end test of the /E option: the report is sent to a real, private
# systemd-journald started in its own mount (and PID) namespace, so the
# host journal is never touched.
#   usage: bash tests/e2e/journal_test.sh /path/to/OrbelleC
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
import os, socket, sys

def parse_export(data):
    """Parse `journalctl -o export` (including its binary-safe fields)."""
    entries, cur, i = [], {}, 0
    while i < len(data):
        nl = data.find(b"\n", i)
        if nl < 0:
            break
        line = data[i:nl]
        if not line:
            if cur:
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
    if cur:
        entries.append(cur)
    return entries

cmd, args = sys.argv[1], sys.argv[2:]
if cmd == "expected":          # TITLE STDOUT_FILE OUT_FILE
    data = open(args[1], "rb").read()
    if not data.endswith(b"\r\n"):
        sys.exit("stdout of the reference run does not end with CR LF")
    body = data[:-2].replace(b"\r\n", b"\n")
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
    s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    s.bind(args[0])
    s.close()
    probe = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    try:
        probe.connect(args[0])
        sys.exit("socket is not stale: connect() succeeded")
    except ConnectionRefusedError:
        pass
PY
}

# ------------------------------------------------------ namespace: journald
setup_mounts() {   # private dirs over /run/systemd, /run/log, /var/log/journal
    local target src
    for target in /run/systemd /run/log /var/log/journal; do
        src="$WORK/mnt${target//\//-}"
        mkdir -p "$src"
        if [[ ! -d $target ]]; then
            [[ $target == /var/log/journal ]] && continue   # volatile storage only
            # no mount point on this host: hide /run behind a tmpfs instead
            mount -t tmpfs -o mode=0755 orbelle-e2e /run || return 1
            mkdir -p /run/systemd /run/log
        fi
        mount --bind "$src" "$target" || return 1
    done
    mkdir -p /run/systemd/journal /run/systemd/journald.conf.d
    # Runtime journal only, no kernel/audit side effects, no rate limiting.
    printf '%s\n' '[Journal]' Storage=volatile ReadKMsg=no Audit= \
        ForwardToSyslog=no ForwardToKMsg=no ForwardToConsole=no ForwardToWall=no \
        RateLimitIntervalSec=0 RuntimeMaxUse=32M \
        >/run/systemd/journald.conf.d/zz-orbelle-e2e.conf
}

start_journald() {
    # Its own diagnostics go to a file, not to /dev/kmsg.
    SYSTEMD_LOG_TARGET=console "$JOURNALD" >"$WORK/journald.log" 2>&1 &
    JOURNALD_PID=$!
    local i
    for ((i = 0; i < 50; i++)); do
        [[ -S /run/systemd/journal/socket ]] && return 0
        kill -0 "$JOURNALD_PID" 2>/dev/null || break
        sleep 0.1
    done
    log "ERROR: systemd-journald socket did not appear within 5 s; its log:"
    sed 's/^/    /' "$WORK/journald.log" >&2
    return 1
}

stop_journald() {
    [[ -n ${JOURNALD_PID:-} ]] || return 0
    kill "$JOURNALD_PID" 2>/dev/null
    local i
    for ((i = 0; i < 50; i++)); do
        kill -0 "$JOURNALD_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$JOURNALD_PID" 2>/dev/null
    wait "$JOURNALD_PID" 2>/dev/null
    JOURNALD_PID=
}

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
PASSED=0 FAILED=0
report() {   # NAME then reasons; no reason means PASS
    local name=$1; shift
    if (($# == 0)); then
        echo "PASS: $name"; PASSED=$((PASSED + 1))
    else
        echo "FAIL: $name"; printf '    %s\n' "$@"; FAILED=$((FAILED + 1))
    fi
}

run_prog() {   # DIR CMD...: run in the fresh DIR/cwd, output in DIR/out, DIR/err
    local dir=$1; shift
    mkdir -p "$dir/cwd"
    # In the background so that a TERM sent to this shell is handled at once.
    (cd "$dir/cwd" && exec timeout "$RUN_LIMIT" "$@" >"$dir/out" 2>"$dir/err") &
    wait $!
    RC=$?
    ((RC == 124)) && log "    timed out after $RUN_LIMIT s: $*"
}

case_journal() {   # NAME BINARY IDENT E_FLAG ARGS...
    local name=$1 bin=$2 ident=$3 eflag=$4; shift 4
    local dir="$WORK/case$((PASSED + FAILED + 1))" why=()
    mkdir -p "$dir/ref" "$dir/run" "$dir/got"
    run_prog "$dir/ref" "$bin" "$@"
    [[ $RC -eq 0 ]] || why+=("reference run '$*' exited $RC")
    python3 "$HELPER" expected "$TITLE" "$dir/ref/out" "$dir/expected" 2>"$dir/py.err" ||
        why+=("$(cat "$dir/py.err")")

    send_barrier "$name-before-$$"
    run_prog "$dir/run" "$bin" "$@" "$eflag"
    send_barrier "$name-after-$$"
    [[ $RC -eq 0 ]] || why+=("exit status $RC, expected 0")
    [[ -s $dir/run/out ]] && why+=("stdout not empty: $(head -c 200 "$dir/run/out")")
    [[ -s $dir/run/err ]] && why+=("stderr not empty: $(head -c 200 "$dir/run/err")")
    [[ -z $(ls -A "$dir/run/cwd") ]] || why+=("files created in cwd: $(ls -A "$dir/run/cwd" | tr '\n' ' ')")

    if read_new_entries "$dir/got" "$name-before-$$" "$name-after-$$"; then
        local count; count=$(cat "$dir/got/count")
        if [[ $count != 1 ]]; then
            why+=("$count new journal entries, expected exactly 1")
        else
            [[ $(cat "$dir/got/PRIORITY" 2>/dev/null) == 6 ]] ||
                why+=("PRIORITY='$(cat "$dir/got/PRIORITY" 2>/dev/null)', expected 6")
            [[ $(cat "$dir/got/SYSLOG_IDENTIFIER" 2>/dev/null) == "$ident" ]] ||
                why+=("SYSLOG_IDENTIFIER='$(cat "$dir/got/SYSLOG_IDENTIFIER" 2>/dev/null)', expected '$ident'")
            if [[ ! -f $dir/got/MESSAGE ]]; then
                why+=("entry has no MESSAGE")
            elif [[ -f $dir/expected ]] && ! cmp -s "$dir/expected" "$dir/got/MESSAGE"; then
                why+=("MESSAGE differs ($(wc -c <"$dir/expected") bytes expected, $(wc -c <"$dir/got/MESSAGE") got; < expected, > got, cat -A):")
                mapfile -t -O "${#why[@]}" why < <(diff <(cat -A "$dir/expected") <(cat -A "$dir/got/MESSAGE") | head -20)
            fi
        fi
    else
        why+=("could not read the journal back")
    fi
    report "$name" "${why[@]}"
}

case_no_journal() {   # NAME STALE(yes|no): journald is stopped here
    local name=$1 stale=$2
    local dir="$WORK/case$((PASSED + FAILED + 1))" why=() line
    mkdir -p "$dir/journal"
    umount /run/systemd/journal 2>/dev/null   # drop the previous case's dir
    mount --bind "$dir/journal" /run/systemd/journal || { report "$name" "cannot mount"; return; }
    if [[ $stale == yes ]]; then
        python3 "$HELPER" stale /run/systemd/journal/socket ||
            { report "$name" "cannot create the stale socket"; return; }
    fi
    run_prog "$dir" "$BIN" /I:V /E
    [[ $RC -eq 1 ]] || why+=("exit status $RC, expected 1")
    [[ -s $dir/out ]] && why+=("stdout not empty: $(head -c 200 "$dir/out")")
    [[ -z $(ls -A "$dir/cwd") ]] || why+=("files created in cwd: $(ls -A "$dir/cwd" | tr '\n' ' ')")
    line=$(head -n 1 "$dir/err" | tr -d '\r')
    [[ $(wc -l <"$dir/err") -eq 1 && $(tail -c 1 "$dir/err" | od -An -c) == *'\n'* ]] ||
        why+=("stderr is not exactly one line: $(head -c 300 "$dir/err" | cat -A | tr "\n" " ")")
    [[ $line == "$NAME: run-time error:"* ]] || why+=("stderr does not start with '$NAME: run-time error:': $line")
    [[ ${line,,} == *journal* ]] || why+=("stderr does not mention the journal: $line")
    report "$name" "${why[@]}"
}

# ------------------------------------------------------------- main parts
inside_namespace() {   # runs as PID 1 of a private mount + PID namespace
    BIN=$1 WORK=$2 JOURNALD=$3 HELPER="$WORK/helper.py" JOURNALD_PID=
    NAME=$(basename -- "$BIN"); NAME=${NAME%.*}
    trap stop_journald EXIT
    trap 'exit 143' INT TERM
    setup_mounts || { log "ERROR: cannot set up private mounts"; exit 3; }
    start_journald || exit 3
    mkdir -p "$WORK/bin" && cp -- "$BIN" "$WORK/bin/SysProbe" || exit 3

    case_journal "1 '/I:V /E' sends the report" "$BIN" "$NAME" /E /I:V
    case_journal "2 '/i:pi /e' lower case" "$BIN" "$NAME" /e /i:pi
    case_journal "3 renamed copy SysProbe '/I:V /E'" "$WORK/bin/SysProbe" SysProbe /E /I:V
    stop_journald
    case_no_journal "4 no journal socket" no
    case_no_journal "5 stale journal socket" yes
    echo "$PASSED $FAILED" >"$WORK/counts"
}

main() {
    local bin=${1:-} missing=() tool journald= rc work ns_pid
    for tool in unshare journalctl logger python3 timeout; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    for tool in /lib/systemd/systemd-journald /usr/lib/systemd/systemd-journald; do
        [[ -x $tool ]] && { journald=$tool; break; }
    done
    [[ -n $journald ]] || missing+=(systemd-journald)
    if ((${#missing[@]})); then
        log "ERROR: required tools not found: ${missing[*]}"
    elif [[ -z $bin || ! -x $bin ]]; then
        log "ERROR: program under test not given or not executable: '$bin'"
    elif [[ $(id -u) -ne 0 ]]; then
        log "ERROR: must run as root (mount namespace and bind mounts)"
    else
        work=$(mktemp -d "${TMPDIR:-/tmp}/orbelle-journal.XXXXXX") || exit 2
        trap 'rm -rf -- "$work"' EXIT
        write_helper "$work/helper.py"
        # PID namespace + --kill-child: when its first process dies, the
        # kernel kills everything left in it (journald included).
        timeout -k 5 "$TOTAL_LIMIT" unshare --mount --propagation private \
            --pid --fork --kill-child --mount-proc \
            bash "$(readlink -f -- "$0")" --in-namespace \
            "$(readlink -f -- "$bin")" "$work" "$journald" &
        ns_pid=$!
        trap 'kill -TERM "$ns_pid" 2>/dev/null; wait "$ns_pid"; exit 143' INT TERM
        wait "$ns_pid"
        rc=$?
        if [[ -s $work/counts ]]; then
            read -r passed failed <"$work/counts"
            echo "$passed passed, $failed failed"
            ((rc == 0 && failed == 0)) && exit 0
            exit 1
        fi
        log "ERROR: the namespace part did not complete (status $rc)"
    fi
    echo "0 passed, 0 failed"
    exit 2
}

if [[ ${1:-} == --in-namespace ]]; then
    shift
    inside_namespace "$@"
else
    main "$@"
fi
