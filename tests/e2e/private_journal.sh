# Sourced by the journal test and the benchmark: a real systemd-journald on
# private mounts, for a process already in its own mount namespace.
# Needs WORK (a scratch folder), JOURNALD (the daemon's path) and log().

setup_mounts() {   # private dirs over /run/systemd, /run/log, /var/log/journal
    local target src
    if [[ ! -d /run/systemd || ! -d /run/log ]]; then   # no mount points here:
        mount -t tmpfs -o mode=0755 orbelle-e2e /run &&  # hide /run instead
            mkdir -p /run/systemd /run/log || return 1
    fi
    for target in /run/systemd /run/log /var/log/journal; do
        [[ -d $target ]] || continue   # no /var/log/journal: fine, storage is volatile
        src="$WORK/mnt${target//\//-}"
        mkdir -p "$src" && mount --bind "$src" "$target" || return 1
    done
    mkdir -p /run/systemd/journal /run/systemd/journald.conf.d
    # Runtime journal only; no kernel log, no audit switching, no rate limit.
    printf '%s\n' '[Journal]' Storage=volatile ReadKMsg=no Audit= \
        ForwardToSyslog=no ForwardToKMsg=no ForwardToConsole=no ForwardToWall=no \
        RateLimitIntervalSec=0 RuntimeMaxUse=32M \
        >/run/systemd/journald.conf.d/zz-orbelle-e2e.conf
}

start_journald() {   # its own diagnostics go to a file, not to /dev/kmsg
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

stop_journald() {   # TERM, up to 5 s of grace, then KILL; always reaped
    [[ -n ${JOURNALD_PID:-} ]] || return 0
    local i
    kill "$JOURNALD_PID" 2>/dev/null
    for ((i = 0; i < 50; i++)); do
        kill -0 "$JOURNALD_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$JOURNALD_PID" 2>/dev/null
    wait "$JOURNALD_PID" 2>/dev/null
    JOURNALD_PID=
}
