#!/usr/bin/env bash
# End-to-end test of the /E option: the report is sent to a real, private
# systemd-journald started in its own mount (and PID) namespace, so the
# host journal is never touched.
#   usage: bash tests/e2e/journal_test.sh /path/to/OrbelleC /path/to/Orbelle|'' /path/to/print_report_commands
# The windowed program, when given, is checked without a display, against
# the console program's report; the fields, against the table of facts that the last prints.
set -u

TITLE="Brenvik - Pavik system info (console) 1.04.0112"
TOTAL_LIMIT=180     # seconds for the whole namespace part
RUN_LIMIT=15        # seconds for one run of the program
BARRIER_ID=orbelle-e2e-barrier
MESSAGE_ID=703b1144aadb45e18a2c29115422acd3   # of every report entry (OrbelleC(1))
SELF=$(readlink -f -- "${BASH_SOURCE[0]}")
HELPER=${SELF%/*}/journal_entries.py   # the exact-byte work

log() { printf '%s\n' "$*" >&2; }

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

# Inside a memory cgroup limited to 512 MiB: the total is the limit, and the
# entry says so and gives the machine's own total (checked against
# /proc/meminfo). The text, whose free memory moves, is checked by its
# figures only.
make_memory_cgroup() {   # NAME BYTES: a memory cgroup beside ours, limited to BYTES, in MEMCG
    local line controllers limit_file=memory.max
    MEMCG=''
    while IFS= read -r line; do   # the memory controller's v1 hierarchy, or else v2
        controllers=${line#*:}
        if [[ ,${controllers%%:*}, == *,memory,* ]]; then
            line=${line#*:*:}
            MEMCG=/sys/fs/cgroup/memory${line%/}/$1 limit_file=memory.limit_in_bytes
        fi
    done </proc/self/cgroup
    if [[ -z $MEMCG ]]; then
        echo +memory >/sys/fs/cgroup/cgroup.subtree_control
        MEMCG=/sys/fs/cgroup/$1
    fi
    mkdir "$MEMCG" && echo "$2" >"$MEMCG/$limit_file"
}

case_memory_cgroup() {   # NAME KIND
    local dir="$WORK/cgroup" why=() cgroup
    if ! { mkdir -p "$dir/got" && make_memory_cgroup "orbelle-journal-$$" $((512 << 20)); }; then
        report "$1" "cannot make a memory cgroup at $MEMCG"
        return
    fi
    cgroup=$MEMCG
    send_barrier "$1: before"
    # shellcheck disable=SC2016 # the inner shell joins the cgroup, then becomes the program
    run_prog "$dir" sh -c 'echo $$ >"$0/cgroup.procs" && exec "$@"' "$cgroup" "$BIN" "$2" /E
    send_barrier "$1: after"
    rmdir "$cgroup"
    check_run "$dir" 0
    if ! read_new_entries "$dir/got" "$1: before" "$1: after"; then
        why+=("could not read the journal back")
    elif [[ $(cat "$dir/got/count") != 1 ]]; then
        why+=("$(cat "$dir/got/count") new journal entries, expected exactly 1")
    else
        mapfile -t -O "${#why[@]}" why < <(CGROUP_LIMIT=$((512 << 20)) python3 "$HELPER" fields \
            "$dir/got/entry" "" "$2" 2>&1)
    fi
    report "$1" "${why[@]}"
}

# A system name that tries to end its field and add others: a line break
# and '=' in os-release's PRETTY_NAME, seen through a private mount. Its
# letter beyond ASCII (and below U+0100) reaches the field as UTF-8.
case_crafted_os_release() {   # NAME
    local dir="$WORK/os-release" u
    mkdir -p "$dir"
    printf '%s\n' 'NAME=Crafted' \
        'PRETTY_NAME="Crafted=OS é'$'\r''ORBELLE_OS_BITNESS=16' \
        'MESSAGE_ID=00000000000000000000000000000000' \
        'ORBELLE_PROCESSOR_COUNT=999"' >"$dir/os-release"
    mount --bind "$dir/os-release" /etc/os-release || { report "$1" "cannot mount os-release"; return; }
    u=$(uname -srm)
    # The reader takes the value's first line; a control character shows as '?'.
    OS_NAME="Crafted=OS é?ORBELLE_OS_BITNESS=16, $u" case_journal "$1" "$BIN" "$NAME" /E /I:V
    umount /etc/os-release
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
        # shellcheck disable=SC2016 # $0 is the inner shell's: the file named after the script
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

# --------------------------------------------------- collection: a fleet
# Several hosts, each its own UTS and mount namespace with its own hostname,
# machine ID and journald, report with /E; systemd-journal-upload sends each
# journal over HTTPS to nginx, which passes the uploads made with the fleet's
# certificates on to one systemd-journal-remote. Both are set up by the very
# blocks of docs/FLEET.md. All of it on the namespace's own loopback: host N
# speaks from and to 127.0.0.(N+1), so that nginx's log tells the hosts apart.
# One host's program runs in a memory cgroup of 2 GiB; one more host stands
# for a 32-bit machine: this kernel runs no 32-bit program, so its journal
# gets, written by hand, the entry that such a machine's OrbelleC sends.
FLEET_HOSTS=${ORBELLE_FLEET_HOSTS:-4}   # more for a measurement: ORBELLE_FLEET_HOSTS=16
FLEET_LIMITED=host-2 FLEET_LIMIT=$((2 << 30))
FLEET_32_BIT='host-i686'
# Hosts that must be refused, named after their certificate, and what nginx
# must give as the reason ($ssl_client_verify).
FLEET_REFUSED=(other-ca:"FAILED:unable to" none:NONE expired:expired revoked:revoked server-only:purpose)
FLEET_KINDS="/I:V /I:PI /I:MI /I:LI2 /I"
FLEET_STABLE="/I:V /I:PI /I:MI"   # kinds whose text stays the same from run to run
FLEET_PORT=19532
FLEET_DOC=${SELF%/tests/e2e/*}/docs/FLEET.md
LIBFAKETIME=$(echo /usr/lib/*/faketime/libfaketime.so.1)   # a clock FAKETIME away from the real one

make_certificates() {   # DIR ADDRESSES: the CAs, the server's certificate, one per host, the CRL
    local dir=$1 san=IP:127.0.0.1 i
    for ((i = 2; i <= $2 + 1; i++)); do san+=",IP:127.0.0.$i"; done
    key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "$@"; }
    sign() {   # NAME EXTENSIONS [CA [FAKETIME]]
        key -keyout "$dir/$1.key" -out "$dir/$1.csr" -subj "/CN=$1" &&
            LD_PRELOAD=${4:+$LIBFAKETIME} FAKETIME=${4:-} openssl x509 -req -in "$dir/$1.csr" -CA "$dir/${3:-ca}.pem" \
                -CAkey "$dir/${3:-ca}.key" -CAcreateserial -days 1 -out "$dir/$1.pem" -extfile <(echo "$2")
    }
    key -x509 -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 1 -subj "/CN=Orbelle test CA" &&
        key -x509 -keyout "$dir/other.key" -out "$dir/other.pem" -days 1 -subj "/CN=Another CA" &&
        sign central "subjectAltName=$san" || return 1
    for ((i = 1; i <= FLEET_HOSTS; i++)); do sign "host-$i" extendedKeyUsage=clientAuth || return 1; done
    sign "$FLEET_32_BIT" extendedKeyUsage=clientAuth || return 1
    sign refused-other-ca extendedKeyUsage=clientAuth other &&
        sign refused-expired extendedKeyUsage=clientAuth ca -3d &&
        sign refused-revoked extendedKeyUsage=clientAuth && sign refused-server-only extendedKeyUsage=serverAuth &&
        sign cut-short extendedKeyUsage=clientAuth &&
        (cd "$dir" && printf '%s\n' '[ca]' 'default_ca = fleet' '[fleet]' 'database = index.txt' \
            'certificate = ca.pem' 'private_key = ca.key' 'default_md = sha256' 'default_crl_days = 1' >ca.cnf &&
            touch index.txt && openssl ca -config ca.cnf -revoke refused-revoked.pem &&
            openssl ca -config ca.cnf -gencrl -out crl.pem)
} >/dev/null 2>&1

doc_block() {   # LANGUAGE: the first block of docs/FLEET.md fenced as ```LANGUAGE
    awk -v fence='```' '$0 == fence lang {on = 1; next} on && $0 == fence {exit} on' lang="$1" "$FLEET_DOC"
}

start_collector() {   # DIR: nginx and systemd-journal-remote as docs/FLEET.md sets them up
    local dir=$1 listen exec i
    doc_block nginx | sed "s|/etc/nginx/journal-collector/|$dir/certs/|; s|/var/log/nginx/|$dir/|" \
        >"$dir/collector.conf"
    mkdir -p "$dir/nginx"   # the scratch folder is root's alone, so its workers too run as root
    printf '%s\n' "daemon off; user root; pid $dir/nginx.pid; error_log $dir/nginx.log;" 'events {}' \
        "http { client_body_temp_path $dir/nginx/body; proxy_temp_path $dir/nginx/proxy;" \
        "fastcgi_temp_path $dir/nginx/fcgi; uwsgi_temp_path $dir/nginx/uwsgi; scgi_temp_path $dir/nginx/scgi;" \
        "include $dir/collector.conf; }" >"$dir/nginx.conf"
    nginx -e "$dir/nginx.log" -p "$dir/nginx" -c "$dir/nginx.conf" &
    NGINX_PID=$!
    listen=$(doc_block ini | sed -n 's/^ListenStream=\(..*\)/\1/p')
    read -ra exec < <(doc_block ini | sed -n "s|^ExecStart=/lib/systemd/systemd-journal-remote |$REMOTE |p" |
        sed "s|/var/log/journal/remote/|$dir/central/|")
    systemd-socket-activate -l "$listen" "${exec[@]}" >"$dir/remote.log" 2>&1 &
    REMOTE_PID=$!
    for ((i = 0; i < 50; i++)); do   # until nginx listens
        python3 -c 'import socket,sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' \
            "$FLEET_PORT" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

inside_host() {   # NAME ADDRESS BIN WORK JOURNALD CERTS UPLOAD: in its own UTS + mount namespace
    local host=$1 address=$2 certs=$6 upload=$7 kind i n rc credentials expected runner=()
    BIN=$3 WORK=$4 JOURNALD=$5 JOURNALD_PID=
    trap stop_journald EXIT
    fail() { log "$host: $*"; echo "$host: $*" >>"$WORK/errors"; exit 1; }
    hostname "$host" && setup_mounts || fail "cannot set up the host"
    od -An -tx1 -N16 /dev/urandom | tr -d ' \n' >"$WORK/machine-id" && echo >>"$WORK/machine-id"
    mount --bind "$WORK/machine-id" /etc/machine-id || fail "cannot mount a machine ID"
    if [[ $host == "host-$FLEET_HOSTS" ]]; then   # the last host's clock is three days behind
        LD_PRELOAD=$LIBFAKETIME FAKETIME=-3d FAKETIME_DONT_FAKE_MONOTONIC=1 start_journald
    else
        start_journald
    fi || fail "its journald did not start"
    expected=$(wc -w <<<"$FLEET_KINDS")
    if [[ $host == "$FLEET_32_BIT" ]]; then
        python3 "$HELPER" send-32-bit || fail "could not write the 32-bit machine's entry"
        expected=1
    elif [[ -n ${FLEET_CGROUP:-} ]]; then
        # shellcheck disable=SC2016 # the inner shell joins the cgroup, then becomes the program
        runner=(sh -c 'echo $$ >"$0/cgroup.procs" && exec "$@"' "$FLEET_CGROUP")
    fi
    for kind in $FLEET_KINDS; do
        [[ $host == "$FLEET_32_BIT" ]] && break
        (cd "$WORK" && timeout "$RUN_LIMIT" "${runner[@]}" "$BIN" "$kind" /E) || fail "OrbelleC $kind /E failed"
    done
    for kind in $FLEET_STABLE; do
        [[ $host == "$FLEET_32_BIT" ]] && break
        (cd "$WORK" && "$BIN" "$kind" >"screen${kind//[\/:]/_}") || fail "OrbelleC $kind failed"
    done
    for ((i = 0; i < 50; i++)); do   # until journald has written every entry
        n=$(journalctl -D /run/log/journal -o export MESSAGE_ID="$MESSAGE_ID" | grep -c '^MESSAGE_ID=')
        ((n == expected)) && break
        sleep 0.1
    done
    journalctl -D /run/log/journal -o export >"$WORK/local.export"
    if [[ $host == cut-short ]]; then   # its connection drops in the middle of its first report
        python3 "$HELPER" cut "$address" "$FLEET_PORT" "$certs" "$host" "$WORK/local.export" >"$WORK/sent" ||
            fail "could not send half an upload"
        return
    fi
    credentials=(--key="$certs/$host.key" --cert="$certs/$host.pem")
    [[ $host == refused-none ]] && credentials=(--key=- --cert=-)
    timeout 30 "$upload" --url="https://$address:$FLEET_PORT" "${credentials[@]}" --trust="$certs/ca.pem" \
        -D /run/log/journal --save-state="$WORK/state" --follow=no >"$WORK/upload.log" 2>&1
    rc=$?
    if [[ $host == host-* ]]; then
        ((rc == 0)) || fail "the upload failed: $(tail -n 3 "$WORK/upload.log")"
    elif ((rc != 1)); then   # 0: taken; 124: no answer
        fail "the upload ended with status $rc, expected 1 (refused): $(tail -n 3 "$WORK/upload.log")"
    fi
}

case_fleet() {   # NAME: journald is not needed here; each host has its own
    local name=$1 dir="$WORK/fleet" why=() i pid pids=() start end names=() verdicts=() good=() r
    local counts accepted refused cut reports entries copies cgroup
    for ((i = 1; i <= FLEET_HOSTS; i++)); do names+=("host-$i"); done
    names+=("$FLEET_32_BIT")
    for r in "${FLEET_REFUSED[@]}"; do names+=("refused-${r%%:*}"); done
    names+=(cut-short)
    mkdir -p "$dir/certs" "$dir/central"
    make_certificates "$dir/certs" "${#names[@]}" ||
        { report "$name" "openssl could not make the certificates"; return; }
    for ((i = 0; i < ${#names[@]}; i++)); do ip addr add "127.0.0.$((i + 2))/32" dev lo; done
    make_memory_cgroup "orbelle-fleet-$$" "$FLEET_LIMIT" || { report "$name" "cannot make a cgroup at $MEMCG"; return; }
    if ! start_collector "$dir"; then
        kill "$NGINX_PID" "$REMOTE_PID" 2>/dev/null
        rmdir "$MEMCG"
        report "$name" "nginx did not start: $(tail -n 3 "$dir/nginx.log")"
        return
    fi
    start=${EPOCHREALTIME/./}
    for ((i = 0; i < ${#names[@]}; i++)); do
        mkdir -p "$dir/${names[i]}"
        cgroup=''
        [[ ${names[i]} == "$FLEET_LIMITED" ]] && cgroup=$MEMCG && echo "$FLEET_LIMIT" >"$dir/${names[i]}/cgroup-limit"
        FLEET_CGROUP=$cgroup unshare --uts --mount --propagation private bash "$SELF" --in-host "${names[i]}" \
            "127.0.0.$((i + 2))" "$BIN" "$dir/${names[i]}" "$JOURNALD" "$dir/certs" "${REMOTE%-remote}-upload" &
        pids+=($!)
    done
    for pid in "${pids[@]:0:${#pids[@]} - 1}"; do wait "$pid"; done
    end=${EPOCHREALTIME/./}   # the last, cut-short, waits a second on purpose
    wait "${pids[-1]}"
    kill "$NGINX_PID" "$REMOTE_PID" && wait "$NGINX_PID" "$REMOTE_PID"
    rmdir "$MEMCG"
    cat "$dir"/*/errors >"$dir/errors" 2>/dev/null
    [[ -s $dir/errors ]] && mapfile -t -O "${#why[@]}" why <"$dir/errors"
    for ((i = 0; i < ${#names[@]}; i++)); do   # who must be taken, and who refused and why
        verdicts+=("${names[i]}" "127.0.0.$((i + 2))")
        if ((i <= FLEET_HOSTS)); then   # the numbered hosts and the 32-bit one
            verdicts+=(SUCCESS)
            ((i < FLEET_HOSTS)) && good+=("${names[i]}" "$dir/${names[i]}/local.export" "$dir/${names[i]}")
        else
            r=${FLEET_REFUSED[i - FLEET_HOSTS - 1]:-cut-short:cut}
            verdicts+=("${r#*:}")
        fi
    done
    counts=$(python3 "$HELPER" uploads "$dir/journal-uploads.log" "${verdicts[@]}" 2>"$dir/uploads.err")
    [[ -s $dir/uploads.err ]] && mapfile -t -O "${#why[@]}" why <"$dir/uploads.err"
    counts+=" $(python3 "$HELPER" collected "$TITLE" "$FLEET_KINDS" "$dir/central" "$FLEET_DOC" \
        cut-short "$dir/cut-short/sent" "$FLEET_32_BIT" "$dir/$FLEET_32_BIT/local.export" "${good[@]}" \
        2>"$dir/collected.err")"
    [[ -s $dir/collected.err ]] && mapfile -t -O "${#why[@]}" why <"$dir/collected.err"
    read -r accepted refused cut reports entries copies <<<"$counts"
    printf '    %s reports (%s entries, %s twice) from %d hosts in %d ms; uploads: %s taken, %s refused, %s cut off\n' \
        "${reports:-no}" "${entries:-?}" "${copies:-?}" $((FLEET_HOSTS + 1)) $(((end - start) / 1000)) \
        "${accepted:-?}" "${refused:-?}" "${cut:-?}"
    report "$name" "${why[@]}"
}

# ------------------------------------------------------------- main parts
inside_namespace() {   # runs as PID 1 of a private mount, PID and network namespace
    BIN=$1 WORK=$2 JOURNALD=$3 REMOTE=$4 WINDOWED=${5:-} JOURNALD_PID=
    unset DISPLAY WAYLAND_DISPLAY
    NAME=$(basename -- "$BIN"); NAME=${NAME%.*}
    trap stop_journald EXIT
    trap 'exit 143' INT TERM
    setup_mounts || { log "ERROR: cannot set up private mounts"; exit 3; }
    ip link set lo up || { log "ERROR: cannot bring up the loopback device"; exit 3; }
    start_journald || exit 3
    mkdir -p "$WORK/bin" && cp -- "$BIN" "$WORK/bin/SysProbe" || exit 3

    case_journal "1 '/I:V /E' sends the report" "$BIN" "$NAME" /E /I:V
    case_journal "2 '/i:pi /e' lower case" "$BIN" "$NAME" /e /i:pi
    case_journal "3 renamed copy SysProbe '/I:V /E'" "$WORK/bin/SysProbe" SysProbe /E /I:V
    case_journal "3m '/I:MI /E' the memory layout" "$BIN" "$NAME" /E /I:MI
    case_crafted_os_release "3o an os-release name with a line break and '=' adds no field"
    case_memory_cgroup "3c '/I:LI /E' under a 512 MiB memory cgroup: the limit's source and the machine's total" /I:LI
    if [[ -n $WINDOWED ]]; then
        REF_BIN=$BIN CASE_TITLE="Brenvik - Pavik system info 1.04.0112" \
            case_journal "3w windowed '/I:PI /E' without a display" "$WINDOWED" Orbelle /E /I:PI
    fi
    case_fleet "3f $FLEET_HOSTS hosts' reports and a 32-bit machine's collected through nginx, \
${#FLEET_REFUSED[@]} refused, 1 cut off"
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
    local bin=${1:-} windowed=${2:-} facts=${3:-} missing=() tool journald='' remote='' rc passed failed
    for tool in unshare journalctl logger python3 timeout ip openssl setpriv \
        nginx systemd-socket-activate jq; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    for tool in /lib/systemd/systemd-journald /usr/lib/systemd/systemd-journald; do
        [[ -x $tool ]] && { journald=$tool; break; }
    done
    [[ -n $journald ]] || missing+=(systemd-journald)
    for tool in /lib/systemd/systemd-journal-remote /usr/lib/systemd/systemd-journal-remote; do
        [[ -x $tool && -x ${tool%-remote}-upload ]] && { remote=$tool; break; }
    done
    [[ -n $remote ]] || missing+=("systemd-journal-remote and -upload (package systemd-journal-remote)")
    [[ -e $LIBFAKETIME ]] || missing+=(libfaketime)
    ((${#missing[@]} == 0)) || setup_error "required tools not found: ${missing[*]}"
    [[ -n $bin && -x $bin ]] || setup_error "program under test not given or not executable: '$bin'"
    [[ $(id -u) -eq 0 ]] || setup_error "must run as root (mount namespace and bind mounts)"

    WORK=$(mktemp -d "${TMPDIR:-/tmp}/orbelle-journal.XXXXXX") || setup_error "mktemp failed"
    [[ -n ${KEEP_WORK:-} ]] || trap 'rm -rf -- "$WORK"' EXIT
    "$facts" --facts >"$WORK/facts" || setup_error "cannot print the table of facts with '$facts'"
    export ORBELLE_FACTS=$WORK/facts
    # PID namespace + --kill-child: when its first process dies, the kernel
    # kills everything left in it (journald included). The network namespace
    # has its own loopback and nothing else.
    timeout -k 5 "$TOTAL_LIMIT" unshare --mount --propagation private \
        --pid --fork --kill-child --mount-proc --net \
        bash "$SELF" --in-namespace \
        "$(readlink -f -- "$bin")" "$WORK" "$journald" "$remote" \
        ${windowed:+"$(readlink -f -- "$windowed")"} &
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
elif [[ ${1:-} == --in-host ]]; then
    shift
    inside_host "$@"
else
    main "$@"
fi
