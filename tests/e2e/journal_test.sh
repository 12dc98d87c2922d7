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
import os, pickle, re, socket, sys, time

def parse_export(data):
    """Parse `journalctl -o export` (including its binary-safe fields): each
    entry maps a field name to the list of its values, in order."""
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
            cur.setdefault(key.decode(), []).append(val)
            i = nl + 1
        else:  # name LF, 64-bit little-endian size, data, LF
            n = int.from_bytes(data[nl + 1:nl + 9], "little")
            cur.setdefault(line.decode(), []).append(data[nl + 9:nl + 9 + n])
            i = nl + 9 + n + 1
    return entries + ([cur] if cur else [])

def first(entry, name):
    return entry.get(name, [None])[0]

# --- The report's fields, checked against this machine and the entry's text.
MESSAGE_ID = b"703b1144aadb45e18a2c29115422acd3"
KINDS = {"/I": "all", "/I:A": "all", "/I:V": "version", "/I:MS": "memory-stat",
         "/I:MI": "memory-info", "/I:PI": "processor-info", "/I:LI": "light-info",
         "/I:LI2": "light-info-2"}
# Field: the text's label (the first that the entry's text holds).
FACTS = {
    "ORBELLE_MEMORY_LOAD_PERCENT": ["Memory load:"],
    "ORBELLE_MEMORY_AVAILABLE_PHYSICAL_BYTES": ["Available physical:", "RAM free:"],
    "ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES": ["Total physical:", "RAM total:"],
    "ORBELLE_MEMORY_AVAILABLE_PAGE_FILE_BYTES": ["Available page file:"],
    "ORBELLE_MEMORY_TOTAL_PAGE_FILE_BYTES": ["Total page file:", "Swap total:"],
    "ORBELLE_MEMORY_AVAILABLE_VIRTUAL_BYTES": ["Available virtual:"],
    "ORBELLE_MEMORY_TOTAL_VIRTUAL_BYTES": ["Total virtual:"],
    "ORBELLE_MEMORY_USED_PAGE_FILE_BYTES": ["Swap used:"],
    "ORBELLE_PAGE_SIZE_BYTES": ["Page size:"],
    "ORBELLE_ALLOCATION_GRANULARITY_BYTES": ["Allocation granularity:"],
    "ORBELLE_MINIMUM_APPLICATION_ADDRESS": ["Minimum application address:"],
    "ORBELLE_MAXIMUM_APPLICATION_ADDRESS": ["Maximum application address:"],
    "ORBELLE_PROCESSOR_ARCHITECTURE": [], "ORBELLE_PROCESSOR_LEVEL": [],
    "ORBELLE_PROCESSOR_REVISION": [],
    "ORBELLE_PROCESSOR_COUNT": ["Number of processors:"],
    "ORBELLE_PROCESSOR_ACTIVE_MASK": [],
    "ORBELLE_OS_BITNESS": [], "ORBELLE_OS_NAME": []}
STAT = ["ORBELLE_MEMORY_LOAD_PERCENT", "ORBELLE_MEMORY_AVAILABLE_PHYSICAL_BYTES",
        "ORBELLE_MEMORY_TOTAL_PHYSICAL_BYTES", "ORBELLE_MEMORY_AVAILABLE_PAGE_FILE_BYTES",
        "ORBELLE_MEMORY_TOTAL_PAGE_FILE_BYTES", "ORBELLE_MEMORY_AVAILABLE_VIRTUAL_BYTES",
        "ORBELLE_MEMORY_TOTAL_VIRTUAL_BYTES"]
LAYOUT = ["ORBELLE_PAGE_SIZE_BYTES", "ORBELLE_ALLOCATION_GRANULARITY_BYTES",
          "ORBELLE_MINIMUM_APPLICATION_ADDRESS", "ORBELLE_MAXIMUM_APPLICATION_ADDRESS"]
CPU = ["ORBELLE_PROCESSOR_ARCHITECTURE", "ORBELLE_PROCESSOR_LEVEL", "ORBELLE_PROCESSOR_REVISION",
       "ORBELLE_PROCESSOR_COUNT", "ORBELLE_PROCESSOR_ACTIVE_MASK"]
NAME = ["ORBELLE_OS_BITNESS", "ORBELLE_OS_NAME"]
KIND_FIELDS = {"all": STAT + LAYOUT + CPU + NAME, "version": NAME, "memory-stat": STAT,
               "memory-info": LAYOUT, "processor-info": CPU,
               "light-info": STAT[1:3], "light-info-2": STAT[1:3] + [STAT[4]] +
               ["ORBELLE_MEMORY_USED_PAGE_FILE_BYTES"]}
UNITS = {"KB": 1 << 10, "MB": 1 << 20, "GB": 1 << 30, "TB": 1 << 40, "PB": 1 << 50, "EB": 1 << 60}

def os_name():
    pretty = ""
    for line in open("/etc/os-release", encoding="utf-8"):
        if line.startswith("PRETTY_NAME="):
            pretty = line[12:].strip().strip('"')
    u = os.uname()
    kernel = "%s %s %s" % (u.sysname, u.release, u.machine)
    return pretty + ", " + kernel if pretty else kernel

def online_mask():
    mask = 0
    for part in open("/sys/devices/system/cpu/online").read().strip().split(","):
        lo, _, hi = part.partition("-")
        for cpu in range(int(lo), int(hi or lo) + 1):
            mask |= 1 << cpu if cpu < 64 else 0
    return mask

def cpuinfo(key):
    for line in open("/proc/cpuinfo"):
        name, _, value = line.partition(":")
        if name.strip() == key:
            return int(value)
    return None

def shows(text, exact):
    """Whether a size text as the report writes it (three digits, cut off,
    not rounded) stands for exactly this many bytes."""
    number, unit = text.rsplit(" ", 1)
    if unit == "bytes":
        return int(number) == exact
    decimals = len(number.partition(".")[2])
    step = 10 ** -decimals
    value = exact / UNITS[unit]
    return float(number) <= value + 1e-9 and value < float(number) + step - 1e-9

def check_fields(kind, entry, os_expected):
    why = []
    for name, values in entry.items():
        if len(values) != 1 and not name.startswith("_"):
            why.append("%s appears %d times" % (name, len(values)))
    got = {k: v[0].decode("utf-8", "replace") for k, v in entry.items()}
    names = sorted(k for k in got if k.startswith("ORBELLE_"))
    expected = sorted(["ORBELLE_REPORT_KIND", "ORBELLE_VERSION"] + KIND_FIELDS[kind])
    if names != expected:
        why.append("fields %s, expected %s" % (names, expected))
    if first(entry, "MESSAGE_ID") != MESSAGE_ID:
        why.append("MESSAGE_ID=%r" % first(entry, "MESSAGE_ID"))
    if got.get("ORBELLE_REPORT_KIND") != kind:
        why.append("ORBELLE_REPORT_KIND=%r, expected %r" % (got.get("ORBELLE_REPORT_KIND"), kind))
    if got.get("ORBELLE_VERSION") != "1.4.0.112":
        why.append("ORBELLE_VERSION=%r" % got.get("ORBELLE_VERSION"))
    numbers = {}
    for name in names:
        if name not in ("ORBELLE_REPORT_KIND", "ORBELLE_VERSION", "ORBELLE_OS_NAME"):
            if re.fullmatch("0|[1-9][0-9]*", got[name]):
                numbers[name] = int(got[name])
            else:
                why.append("%s=%r is not a plain whole number" % (name, got[name]))
    lines = got.get("MESSAGE", "").split("\n")
    labelled = {}
    for line in lines:
        label, colon, value = line.strip().partition(":")
        if colon:
            labelled[label + ":"] = value.strip()
    page = os.sysconf("SC_PAGESIZE")
    u = os.uname()
    machine_facts = {
        "ORBELLE_PAGE_SIZE_BYTES": page, "ORBELLE_ALLOCATION_GRANULARITY_BYTES": page,
        "ORBELLE_MINIMUM_APPLICATION_ADDRESS":
            max(int(open("/proc/sys/vm/mmap_min_addr").read()), page),
        "ORBELLE_PROCESSOR_COUNT": os.sysconf("SC_NPROCESSORS_ONLN"),
        "ORBELLE_PROCESSOR_ACTIVE_MASK": online_mask(),
        "ORBELLE_OS_BITNESS": 64 if "64" in u.machine or u.machine == "s390x" else 32}
    if u.machine == "x86_64":   # AMD64; level and revision as cpuid gives them
        machine_facts.update({"ORBELLE_PROCESSOR_ARCHITECTURE": 9,
                              "ORBELLE_PROCESSOR_LEVEL": cpuinfo("cpu family"),
                              "ORBELLE_PROCESSOR_REVISION":
                                  cpuinfo("model") * 256 + cpuinfo("stepping")})
    for name, value in numbers.items():
        if name in machine_facts and value != machine_facts[name]:
            why.append("%s=%d, this machine has %d" % (name, value, machine_facts[name]))
        shown = [labelled[l] for l in FACTS[name] if l in labelled]
        if not FACTS[name]:
            continue
        if not shown:
            why.append("%s: the text has no %s line" % (name, FACTS[name]))
        elif name == "ORBELLE_MEMORY_LOAD_PERCENT":
            if shown[0] != "%d%%" % value:
                why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
        elif name.endswith("_ADDRESS"):
            if int(shown[0], 16) != value:
                why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
        elif name.endswith("_BYTES"):
            if not shows(shown[0], value):
                why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
        elif str(value) != shown[0]:
            why.append("%s=%d, the text shows %s" % (name, value, shown[0]))
    if "ORBELLE_PROCESSOR_ACTIVE_MASK" in numbers:
        bits = lines[-1].strip()
        if int(bits, 2) != numbers["ORBELLE_PROCESSOR_ACTIVE_MASK"]:
            why.append("ORBELLE_PROCESSOR_ACTIVE_MASK differs from the text's %s" % bits)
    if "ORBELLE_OS_NAME" in got:
        if got["ORBELLE_OS_NAME"] != os_expected:
            why.append("ORBELLE_OS_NAME=%r, expected %r" % (got["ORBELLE_OS_NAME"], os_expected))
        if os_expected not in lines:
            why.append("the text has no line %r" % os_expected)
    if "ORBELLE_OS_BITNESS" in numbers and \
            "Running %d-bit system" % numbers["ORBELLE_OS_BITNESS"] not in lines:
        why.append("the text does not say it runs a %d-bit system" % numbers["ORBELLE_OS_BITNESS"])
    return why

def kind_of(args):
    kind = "/I"
    for arg in args:
        if arg.upper().startswith("/I"):
            kind = arg.upper()
    return KINDS[kind]

cmd, args = sys.argv[1], sys.argv[2:]
if cmd == "expected":          # TITLE STDOUT_FILE OUT_FILE
    data = open(args[1], "rb").read()
    if not data.endswith(b"\n") or b"\r" in data:
        sys.exit("stdout of the reference run does not end its lines in LF alone")
    body = data[:-1]
    open(args[2], "wb").write(args[0].encode() + b"\n\n" + body)
elif cmd == "between":         # MARK_A MARK_B OUT_DIR  (export on stdin)
    entries = parse_export(sys.stdin.buffer.read())
    msgs = [first(e, "MESSAGE") for e in entries]
    a, b = args[0].encode(), args[1].encode()
    if b not in msgs:
        sys.exit(2)            # not written yet: caller polls again
    if a not in msgs:
        sys.exit("barrier %s missing from the journal" % args[0])
    new = [e for e in entries[msgs.index(a) + 1:msgs.index(b)]
           if first(e, "_TRANSPORT") not in (b"driver", b"kernel", b"audit")]
    print(len(new))
    for field in ("MESSAGE", "PRIORITY", "SYSLOG_IDENTIFIER") if len(new) == 1 else ():
        if field in new[0]:
            open(os.path.join(args[2], field), "wb").write(first(new[0], field))
    if len(new) == 1:
        pickle.dump(new[0], open(os.path.join(args[2], "entry"), "wb"))
elif cmd == "fields":          # ENTRY_FILE OS_NAME|"" PROGRAM_ARGS...: one reason a line
    why = check_fields(kind_of(args[2:]), pickle.load(open(args[0], "rb")), args[1] or os_name())
    for reason in why:
        print(reason)
    sys.exit(1 if why else 0)
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
        mapfile -t -O "${#why[@]}" why < <(python3 "$HELPER" fields "$dir/got/entry" \
            "${OS_NAME:-}" "$@" 2>&1)
    fi
    report "$name" "${why[@]}"
}

# A system name that tries to end its field and add others: a line break
# and '=' in os-release's PRETTY_NAME, seen through a private mount.
case_crafted_os_release() {   # NAME
    local dir="$WORK/os-release" u
    mkdir -p "$dir"
    printf '%s\n' 'NAME=Crafted' \
        'PRETTY_NAME="Crafted=OS'$'\r''ORBELLE_OS_BITNESS=16' \
        'MESSAGE_ID=00000000000000000000000000000000' \
        'ORBELLE_PROCESSOR_COUNT=999"' >"$dir/os-release"
    mount --bind "$dir/os-release" /etc/os-release || { report "$1" "cannot mount os-release"; return; }
    u=$(uname -srm)
    # The reader takes the value's first line; a control character shows as '?'.
    OS_NAME="Crafted=OS?ORBELLE_OS_BITNESS=16, $u" case_journal "$1" "$BIN" "$NAME" /E /I:V
    umount /etc/os-release
}

case_no_journal() {   # NAME SOCKET(none|stale|full) WORDS: journald is stopped here
    local name=$1 stale=$2 words=$3
    local dir="$WORK/case$((PASSED + FAILED + 1))" why=() err listener=''
    mkdir -p "$dir/journal"
    umount /run/systemd/journal 2>/dev/null   # drop the previous case's dir
    mount --bind "$dir/journal" /run/systemd/journal || { report "$name" "cannot mount"; return; }
    if [[ $stale == stale ]]; then
        python3 "$HELPER" stale /run/systemd/journal/socket ||
            { report "$name" "cannot create the stale socket"; return; }
    elif [[ $stale == full ]]; then
        python3 "$HELPER" full /run/systemd/journal/socket "$RUN_LIMIT" >"$dir/full" &
        listener=$!
        timeout 10 bash -c 'until [[ -s $0 ]]; do sleep 0.1; done' "$dir/full" ||
            { kill "$listener"; report "$name" "cannot fill the journal socket"; return; }
    fi
    run_prog "$dir" "$BIN" /I:V /E
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
    case_journal "3m '/I:MI /E' the memory layout" "$BIN" "$NAME" /E /I:MI
    case_crafted_os_release "3o an os-release name with a line break and '=' adds no field"
    if [[ -n $WINDOWED ]]; then
        REF_BIN=$BIN CASE_TITLE="Brenvik - Pavik system info 1.04.0112" \
            case_journal "3w windowed '/I:PI /E' without a display" "$WINDOWED" Orbelle /E /I:PI
    fi
    stop_journald
    case_no_journal "4 no journal socket" none "systemd-journald is not running"
    case_no_journal "5 stale journal socket" stale "systemd-journald is not running"
    case_no_journal "6 a journal that reads nothing: the wait is bounded" full "took no entry"
    echo "$PASSED $FAILED" >"$WORK/counts"
}

setup_error() { log "ERROR: $*"; echo "0 passed, 0 failed"; exit 2; }

main() {
    local bin=${1:-} windowed=${2:-} missing=() tool journald='' rc passed failed
    for tool in unshare journalctl logger python3 timeout; do
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
