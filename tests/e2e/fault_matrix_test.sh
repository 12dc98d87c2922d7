#!/usr/bin/env bash
# Fault matrix of the console program: what it does when the world around it
# goes wrong. Its groups, one file each in fault_matrix/ and one CTest test
# each (fault_matrix_<group>):
#   report_file      a. the report file cannot be written (and files_test.cpp);
#   system_files     b. /proc/meminfo, os-release and the processor list
#                       unreadable, empty, garbled or missing;
#   arguments        c. hostile argument texts;
#   renamed_copies   d. copies renamed to names holding "%00" and "%01";
#   standard_output  e. standard output closed, full, or a pipe without a reader;
#   surroundings     f. the report file's protection, signals and name, no
#                       /proc, a long path, too little memory, a
#                       case-insensitive file system, the dynamic loader;
#   32_bit           g. what a 32-bit build may get wrong (with ORBELLE_EMULATOR
#                       set, against a program of another architecture).
# Every case checks the exit status, stdout, stderr and the files left behind.
#   usage: bash tests/e2e/fault_matrix_test.sh /path/to/OrbelleC GROUP      (as root)
# Each file is crafted in a private temporary folder and bind-mounted over the
# real path inside `unshare --mount --propagation private` for that one command
# only (the small tmpfs of the full disk too), so the host's mounts are never
# touched; every run is bounded by `timeout`, and the folder is removed on exit.
set -u
set -f   # no pathname expansion: '/?' is an argument, not a pattern

RUN_LIMIT=10       # seconds for one run of the program (hard limit)
FAST_MS=3000       # argument texts must be handled within this many ms
NOBODY=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
CR=$'\r'
LF=$'\n'
CRLF=$'\r\n'

# --------------------------------------------------- inside a mount namespace
# Both run as the first process of `unshare --mount --propagation private`;
# their mounts vanish with it.

# --bind SRC DST [SRC DST]... -- CMD...: bind each SRC over DST, then exec CMD.
bind_and_exec() {
    while [[ $# -ge 2 && $1 != -- ]]; do
        mount --bind -- "$1" "$2" ||
            { echo "fault_matrix setup: mount --bind $1 $2 failed" >&2; exit 125; }
        shift 2
    done
    shift
    exec "$@"
}

# --disk-full DIR BIN ARGS...: a 64 KiB tmpfs on DIR/cwd holding DIR/old as
# the report and a filler taking every free block; runs BIN ARGS there, then
# copies what is left into DIR/snap.
disk_full_run() {
    local dir=$1 bin=$2 name free rc; shift 2
    name=$(basename -- "$bin"); name=${name%.*}
    mount -t tmpfs -o size=64k,mode=0755 orbelle-fault-matrix "$dir/cwd" &&
        cp -- "$dir/old" "$dir/cwd/$name.TXT" ||
        { echo "fault_matrix setup: cannot prepare the tmpfs" >&2; exit 125; }
    dd if=/dev/zero of="$dir/cwd/filler" bs=1024 2>/dev/null   # stops at ENOSPC
    free=$(stat -f -c %a -- "$dir/cwd")
    [[ $free == 0 && $(stat -c %s -- "$dir/cwd/filler") -gt 32768 ]] ||
        { echo "fault_matrix setup: tmpfs not full ($free blocks free)" >&2; exit 125; }
    (cd "$dir/cwd" && exec "$bin" "$@")
    rc=$?
    mkdir -p "$dir/snap" && cp -a -- "$dir/cwd/." "$dir/snap/"
    exit "$rc"
}

# --fat DIR BIN ARGS...: DIR/fat.img (FAT, through FUSE: a file system that
# gives each spelling of a name its own inode number) on DIR/cwd; BIN copied
# there as <name>.txt and run from there; what is left is copied to DIR/snap.
fat_run() {
    local dir=$1 bin=$2 name rc; shift 2
    name=$(basename -- "$bin"); name=${name%.*}
    fusefat -o rw+ "$dir/fat.img" "$dir/cwd" >/dev/null 2>&1 && cp -- "$bin" "$dir/cwd/$name.txt" ||
        { echo "fault_matrix setup: cannot mount the FAT image through FUSE" >&2; exit 125; }
    (cd "$dir/cwd" && exec "./$name.txt" "$@")
    rc=$?
    mkdir -p "$dir/snap" && cp -a -- "$dir/cwd/." "$dir/snap/"
    umount "$dir/cwd"
    exit "$rc"
}

# --xfs DIR BIN ARGS...: a sparse 2.2 TB XFS image, loop-mounted with
# inode64 on DIR/cwd; BIN ARGS run twice in its first directory whose inode
# number does not fit 32 bits; its inode numbers go to DIR/inodes and what is
# left to DIR/snap.
xfs_run() {
    local dir=$1 bin=$2 i big='' rc; shift 2
    truncate -s 2200G "$dir/xfs.img" && mkfs.xfs -q -f -i size=512 -l size=64m "$dir/xfs.img" &&
        mount -o loop,inode64 "$dir/xfs.img" "$dir/cwd" ||
        { echo "fault_matrix setup: cannot loop-mount an XFS image" >&2; exit 125; }
    for ((i = 0; i < 16; i++)); do
        mkdir "$dir/cwd/d$i" && (($(stat -c %i -- "$dir/cwd/d$i") > 4294967295)) && { big=$dir/cwd/d$i; break; }
    done
    [[ -n $big ]] || { umount "$dir/cwd"; echo "fault_matrix setup: no inode above 32 bits" >&2; exit 125; }
    (cd "$big" && "$bin" "$@" && exec "$bin" "$@")
    rc=$?
    find "$big" -mindepth 1 -printf '%i\n' >"$dir/inodes"
    mkdir -p "$dir/snap" && cp -a -- "$big/." "$dir/snap/"
    umount "$dir/cwd"
    exit "$rc"
}

# ------------------------------------------------------------------- running
CHILD='' RC=0 ELAPSED_MS=0 CASE_NO=0
source "$(dirname "$(readlink -f -- "${BASH_SOURCE[0]}")")/report.sh"

now_us() { local t=${EPOCHREALTIME/[.,]/}; echo "${t#0}"; }

# run DIR CMD...: runs CMD in DIR/cwd (created if missing) with stdout in
# DIR/out and stderr in DIR/err; sets RC and ELAPSED_MS. OUT_MODE (closed,
# full, gone) replaces the stdout file by a closed descriptor, /dev/full, or a
# pipe whose only reader has already been closed.
run() {
    local dir=$1 start; shift
    mkdir -p "$dir/cwd" && : >"$dir/out" && : >"$dir/err"
    start=$(now_us)
    (
        cd "$dir/cwd" || exit 126
        exec 2>"$dir/err"
        case ${OUT_MODE:-file} in
            file) exec >"$dir/out" ;;
            closed) exec >&- ;;
            full) exec >/dev/full ;;
            gone) rm -f -- "$dir/fifo" && mkfifo -- "$dir/fifo" || exit 126
                  exec 3<>"$dir/fifo"    # a reader, so that the next open does not block
                  exec >"$dir/fifo"
                  exec 3<&- ;;           # ... and now there is none
        esac
        exec timeout -k 2 "$RUN_LIMIT" "$@"
    ) &
    CHILD=$!
    { wait "$CHILD"; } 2>/dev/null   # a child ended by a signal is no news here
    RC=$?
    CHILD=
    ELAPSED_MS=$((($(now_us) - start) / 1000))
}

in_namespace() { unshare --mount --propagation private bash "$SELF" "$@"; }

excerpt() { head -c "${2:-240}" -- "$1" | cat -v | sed 's/\^M$//' | tr '\n' '|'; }

# ------------------------------------------------------------------ checking
# Each appends its complaints to the caller's `why`.
expect_status() {
    local extra=''
    ((RC == 124)) && extra=" (timed out after $RUN_LIMIT s)"
    ((RC > 128 && RC != 124)) && extra=" (killed by signal $((RC - 128)))"
    [[ $RC -eq $1 ]] || why+=("exit status $RC$extra, expected $1; stderr: $(excerpt "$DIR/err")")
}
expect_no_out() { [[ -s $DIR/out ]] && why+=("stdout not empty: $(excerpt "$DIR/out")"); }
expect_no_err() { [[ -s $DIR/err ]] && why+=("stderr not empty: $(excerpt "$DIR/err")"); }
expect_fast() { ((ELAPSED_MS <= FAST_MS)) || why+=("took $ELAPSED_MS ms, more than $FAST_MS ms"); }

expect_out() {   # FILE LABEL: stdout is exactly FILE
    cmp -s -- "$DIR/out" "$1" ||
        why+=("stdout is not $2: got $(excerpt "$DIR/out" 160), expected $(excerpt "$1" 160)")
}

expect_error_line() {   # [SUBSTRING]: one line in the documented shape
    local f=$DIR/err line
    if [[ ! -s $f || $(wc -l <"$f") -ne 1 || -n $(tail -c 1 -- "$f") ]]; then
        why+=("stderr is not exactly one line: $(excerpt "$f" 400)")
        return
    fi
    IFS= read -r line <"$f"
    [[ $line == "$NAME: run-time error: "* && $line =~ \ failed\ \(status\ -?[0-9]+:\ .+\)$ ]] ||
        why+=("stderr is not '$NAME: run-time error: <operation> failed (status N: <detail>)': $line")
    [[ -z ${1:-} || $line == *"$1"* ]] || why+=("stderr does not name $1: $line")
}

expect_entries() {   # FOLDER NAME...: the folder holds exactly these entries
    local got want=''
    got=$(find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort | tr '\n' ' ')
    (($# > 1)) && want=$(printf '%s\n' "${@:2}" | LC_ALL=C sort | tr '\n' ' ')
    [[ $got == "$want" ]] || why+=("$1 holds [$got], expected [$want]")
}

expect_same() {   # GOT EXPECTED LABEL: byte-identical files
    if [[ -L $1 || ! -f $1 ]]; then
        why+=("$3 is no longer a regular file")
    elif ! cmp -s -- "$1" "$2"; then
        why+=("$3 changed: now $(excerpt "$1" 120)")
    fi
}

expect_report_file() {   # FILE SCREEN_OUTPUT: title line, date line, empty line, report
    local text body  # the file's lines end in CR LF, the screen's in LF
    if [[ -L $1 || ! -f $1 ]]; then why+=("$1 is not a regular file"); return; fi
    IFS= read -r -d '' text <"$1"
    IFS= read -r -d '' body <"$2"
    body=${body%"$LF"}
    [[ $text == "$TITLE$CRLF"* ]] || why+=("$(basename -- "$1") does not start with the title: $(excerpt "$1" 80)")
    [[ ${text#*"$CRLF$CRLF"} == "${body//"$LF"/"$CRLF"}" ]] ||
        why+=("$(basename -- "$1") does not hold the report: $(excerpt "$1" 300)")
}

# The screen report with the text after each line's first colon dropped: the
# same kind of report with other memory figures keeps this shape.
shape() { sed 's/:.*/:/' -- "$1"; }
expect_shape() {   # REFERENCE LABEL
    [[ $(shape "$DIR/out") == "$(shape "$1")" ]] ||
        why+=("stdout is not $2: got $(excerpt "$DIR/out" 160)")
}

new_case() {   # sets DIR (fresh) and clears why
    CASE_NO=$((CASE_NO + 1))
    DIR=$WORK/case$CASE_NO
    mkdir -p "$DIR/cwd"
    why=()
}

# ------------------------------------------------------------- crafted input
junk() {   # SEED COUNT: COUNT pseudo-random bytes (NULs included), reproducible
    local i parts=()
    RANDOM=$1
    for ((i = 0; i < $2; i++)); do printf -v 'parts[i]' '\\%03o' $((RANDOM & 255)); done
    local IFS=
    # shellcheck disable=SC2059 # the format is the bytes' escapes, made above
    printf "${parts[*]}"
}

meminfo() {   # MEMTOTAL MEMAVAILABLE|-: a plausible /proc/meminfo
    printf 'MemTotal:       %s kB\n' "$1"
    printf 'MemFree:          98304 kB\n'
    [[ $2 == - ]] || printf 'MemAvailable:   %s kB\n' "$2"
    printf '%-16s%8s kB\n' Buffers: 16384 Cached: 65536 SwapCached: 0 Active: 131072 \
        Inactive: 65536 SwapTotal: 262144 SwapFree: 196608 Dirty: 12 Shmem: 1024 \
        SReclaimable: 8192
}

# ===================================================================== cases
# ======================================================================= main
setup_failure() {   # REASON...: one failed case, then the summary
    report "setup" "$@"
    echo "$PASSED passed, $FAILED failed"
    exit 1
}

reference_runs() {   # the normal outputs the cases compare against
    mkdir -p "$WORK/ref"
    local what args
    for what in usage:/? v:/I:V full: about:/A; do
        args=${what#*:}
        DIR=$WORK/ref/${what%%:*}; why=()
        # shellcheck disable=SC2086 # the words are the arguments (set -f: '/?' is no pattern)
        run "$DIR" "$BIN" $args
        expect_status 0; expect_no_err
        [[ $(tail -c 1 -- "$DIR/out") == "" ]] && ! grep -qa "$CR" -- "$DIR/out" ||
            why+=("'$args' stdout does not end its lines in LF alone")
        ((${#why[@]} == 0)) || setup_failure "reference run '$args' failed:" "${why[@]}"
        cp -- "$DIR/out" "$WORK/ref/${what%%:*}.out"
    done
    IFS= read -r TITLE <"$WORK/ref/about.out"
    TITLE=${TITLE%"$CR"}
    local about; IFS= read -r -d '' about <"$WORK/ref/about.out"
    [[ $(head -c "${#about}" -- "$WORK/ref/usage.out") == "${about%"$LF"}"* ]] ||
        setup_failure "the usage does not start with the about text"
}

interrupted() {   # stop the running command (its timeout passes the signal on)
    [[ -n $CHILD ]] && kill -TERM "$CHILD" 2>/dev/null && wait "$CHILD"
    report "interrupted" "stopped by a signal after $CASE_NO case(s)"
    echo "$PASSED passed, $FAILED failed"
    exit 143
}

main() {
    BIN=${1:-}
    local group=${2:-} tool missing=()
    for tool in unshare mount setpriv timeout mkfifo env cmp dd stat find awk grep sed od uname strace python3 \
        taskset readelf fusefat mkfs.vfat mkfs.xfs truncate iconv localedef setfacl getfacl; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    ((${#missing[@]} == 0)) || setup_failure "required tools not found: ${missing[*]}"
    env --default-signal=PIPE true 2>/dev/null || setup_failure "env lacks --default-signal (coreutils >= 8.31 needed)"
    echo x | grep -q -P x 2>/dev/null || setup_failure "grep lacks -P (PCRE)"
    [[ -n $BIN && -f $BIN && -x $BIN ]] || setup_failure "program under test not given or not executable: '$BIN'"
    [[ $(id -u) -eq 0 ]] || setup_failure "must run as root (mount namespaces, bind mounts, setpriv)"

    BIN=$(readlink -f -- "$BIN")
    BIN_REAL=$BIN
    SELF=$(readlink -f -- "$0")
    [[ $group =~ ^[a-z0-9_]+$ && -f ${SELF%/*}/fault_matrix/$group.sh ]] ||
        setup_failure "no group '$group': one of $(cd "${SELF%/*}/fault_matrix" && echo *.sh | sed 's/\.sh//g')"
    # shellcheck source=/dev/null
    source "${SELF%/*}/fault_matrix/$group.sh"
    NAME=$(basename -- "$BIN"); NAME=${NAME%.*}
    # shellcheck disable=SC2034 # REPORT and UNAME: for the group's cases, sourced above
    REPORT=$NAME.TXT UNAME="$(uname -s) $(uname -r) $(uname -m)"
    export LC_ALL=C.UTF-8
    unset LANG LANGUAGE
    ulimit -c 0   # the signals that dump core leave no core file behind

    WORK=$(mktemp -d "${TMPDIR:-/tmp}/orbelle-faults.XXXXXX") || setup_failure "mktemp failed"
    # Every mount lives in a namespace that ends with its command, so removing
    # the folder is all the cleaning there is; a signal first stops the run.
    trap 'rm -rf -- "$WORK"' EXIT
    trap interrupted INT TERM
    chmod 0755 "$WORK"
    CASE_NO=0

    if [[ -n ${ORBELLE_EMULATOR:-} ]]; then   # a program of another architecture: its emulator runs it
        mkdir -p "$WORK/emulated" && BIN=$WORK/emulated/$(basename -- "$BIN_REAL") &&
            printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$ORBELLE_EMULATOR" "$BIN_REAL" >"$BIN" && chmod 0755 "$BIN" ||
            setup_failure "cannot write the emulator's wrapper"
    fi
    mkdir -p "$WORK/bin" && cp -- "$BIN" "$WORK/bin/" || setup_failure "cannot copy the program"
    BIN_COPY=$WORK/bin/$(basename -- "$BIN")   # reachable by uid 65534
    "${NOBODY[@]}" test -x "$BIN_COPY" ||
        setup_failure "uid 65534 cannot reach $BIN_COPY (is ${TMPDIR:-/tmp} searchable by others?)"
    printf 'previous report \xd0\xbe\xd1\x82\xd1\x87\xd1\x91\xd1\x82\r\n\xff\xfe\x00\x01 end\r\n' >"$WORK/old"
    reference_runs

    run_group

    echo "$PASSED passed, $FAILED failed"
    ((FAILED == 0))
}

case ${1:-} in
    --bind) shift; bind_and_exec "$@" ;;
    --disk-full) shift; disk_full_run "$@" ;;
    --fat) shift; fat_run "$@" ;;
    --xfs) shift; xfs_run "$@" ;;
    *) main "$@" ;;
esac
