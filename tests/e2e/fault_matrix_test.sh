#!/usr/bin/env bash
# Fault matrix of the console program: what it does when the world around it
# goes wrong.
#   a. the report file cannot be written (unwritable directory, a directory or
#      a symlink at its name, a full disk, a file-size limit);
#   b. /proc/meminfo and os-release are unreadable, empty or garbled;
#   c. hostile argument texts (1 MiB, invalid UTF-8, control characters,
#      only blanks);
#   d. copies renamed to names holding "%00" and "%01";
#   e. standard output closed, full, or a pipe without a reader;
#   f. the report file's protection, signals and name, no /proc, a long path,
#      too little memory, a case-insensitive file system, the dynamic loader;
#   g. what a 32-bit build may get wrong: the clock after 2038, inode numbers
#      beyond 32 bits (with ORBELLE_EMULATOR set, say "qemu-i386-static -L
#      /usr/i686-linux-gnu", only these run, against a program of another
#      architecture).
# Every case checks the exit status, stdout, stderr and the files left behind.
#   usage: bash tests/e2e/fault_matrix_test.sh /path/to/OrbelleC      (as root)
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
# ----------------------------------------------- a. the report file
case_unwritable_dir() {
    new_case
    chmod 0755 "$DIR/cwd" && cp -- "$WORK/old" "$DIR/cwd/$REPORT"
    run "$DIR" "${NOBODY[@]}" "$BIN_COPY" /I:V /F:U
    expect_status 1; expect_no_out; expect_error_line
    expect_same "$DIR/cwd/$REPORT" "$WORK/old" "the previous report"
    expect_entries "$DIR/cwd" "$REPORT"
    report "a1 directory not writable (uid 65534), '/I:V /F:U'" "${why[@]}"
}

case_name_is_directory() {
    new_case
    mkdir -p "$DIR/cwd/$REPORT" && cp -- "$WORK/old" "$DIR/cwd/$REPORT/inside"
    run "$DIR" "$BIN" /I /F
    expect_status 1; expect_no_out; expect_error_line
    [[ -d $DIR/cwd/$REPORT && ! -L $DIR/cwd/$REPORT ]] || why+=("$REPORT is no longer a directory")
    expect_entries "$DIR/cwd/$REPORT" inside
    expect_same "$DIR/cwd/$REPORT/inside" "$WORK/old" "the file inside the directory"
    expect_entries "$DIR/cwd" "$REPORT"
    report "a2 report name is a directory, '/I /F'" "${why[@]}"
}

case_name_is_symlink() {   # KIND: file | dangling
    new_case
    mkdir -p "$DIR/elsewhere"
    local target=$DIR/elsewhere/precious.txt
    [[ $1 == file ]] && cp -- "$WORK/old" "$target"
    ln -s -- "$target" "$DIR/cwd/$REPORT"
    run "$DIR" "$BIN" /I:V /F
    expect_status 0; expect_no_out; expect_no_err
    if [[ $1 == file ]]; then
        expect_same "$target" "$WORK/old" "the symlink's target"
        expect_entries "$DIR/elsewhere" precious.txt
    else
        expect_entries "$DIR/elsewhere"
    fi
    [[ -L $DIR/cwd/$REPORT ]] && why+=("$REPORT is still a symlink")
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    expect_entries "$DIR/cwd" "$REPORT"
    if [[ $1 == file ]]; then
        report "a3 report name is a symlink to a file elsewhere, '/I:V /F'" "${why[@]}"
    else
        report "a4 report name is a dangling symlink (target not created), '/I:V /F'" "${why[@]}"
    fi
}

case_disk_full() {
    new_case
    cp -- "$WORK/old" "$DIR/old"
    run "$DIR" unshare --mount --propagation private bash "$SELF" --disk-full "$DIR" "$BIN" /I /F:U
    if ((RC == 125)); then
        why+=("$(excerpt "$DIR/err" 300)")
    else
        expect_status 1; expect_no_out; expect_error_line
        expect_same "$DIR/snap/$REPORT" "$WORK/old" "the previous report"
        expect_entries "$DIR/snap" "$REPORT" filler
    fi
    report "a5 disk full (64 KiB tmpfs, no free block), '/I /F:U'" "${why[@]}"
}

case_file_size_limit() {   # the write stops half-way: EFBIG after 1 KiB
    new_case
    cp -- "$WORK/old" "$DIR/cwd/$REPORT"
    run "$DIR" bash -c 'trap - XFSZ; ulimit -f 1 && exec "$@"' limit "$BIN" /I /F:U
    expect_status 1; expect_no_out; expect_error_line
    expect_same "$DIR/cwd/$REPORT" "$WORK/old" "the previous report"
    expect_entries "$DIR/cwd" "$REPORT"
    report "a6 file size limit 1 KiB (SIGXFSZ at its default), '/I /F:U' stops half-way" "${why[@]}"
}

# ----------------------------------------------- b. /proc/meminfo, os-release
meminfo_run() {   # FILE [AS_NOBODY] ARGS...: runs with FILE over /proc/meminfo
    local file=$1 prefix=(); shift
    if [[ $1 == nobody ]]; then prefix=("${NOBODY[@]}"); shift; fi
    run "$DIR" unshare --mount --propagation private bash "$SELF" --bind "$file" /proc/meminfo -- \
        "${prefix[@]}" "$BIN_COPY" "$@"
}

# A byte size as printed ("384 MB", "7.99 EB", "512 bytes") in bytes, or "" .
size_bytes() {
    awk -v s="$1" 'BEGIN {
        n = split("bytes KB MB GB TB PB EB", u, " ")
        if (split(s, p, " ") != 2 || p[1] !~ /^[0-9]+(\.[0-9]+)?$/) exit
        for (i = 1; i <= n; i++) if (p[2] == u[i]) { printf "%.0f\n", p[1] * 1024 ^ (i - 1); exit }
    }'
}

value_of() {   # LABEL: the value after LABEL in DIR/out, CR dropped
    local line
    line=$(grep -a -m1 "^ *$1" "$DIR/out") || return 1
    line=${line%"$CR"}
    line=${line#*"$1"}
    echo "${line#"${line%%[! ]*}"}"
}

expect_not_larger() {   # SMALL_LABEL LARGE_LABEL: printed sizes, SMALL <= LARGE
    local a b x y
    a=$(value_of "$1") && b=$(value_of "$2") || { why+=("no '$1' or no '$2' line"); return; }
    x=$(size_bytes "$a"); y=$(size_bytes "$b")
    if [[ -z $x || -z $y ]]; then
        why+=("'$1 $a' or '$2 $b' is not a size")
    elif [[ $(awk -v x="$x" -v y="$y" 'BEGIN { print (x + 0 <= y + 0) }') != 1 ]]; then
        why+=("'$1 $a' is larger than '$2 $b'")
    fi
}

expect_no_placeholder() {
    grep -a -q '%[0-9][0-9]' "$DIR/out" && why+=("a placeholder is left: $(excerpt "$DIR/out" 300)")
}

meminfo_error_case() {   # LABEL FILE [nobody]
    local label=$1 file=$2; shift 2
    new_case
    meminfo_run "$file" "$@" /I:LI
    expect_status 1; expect_no_out; expect_error_line /proc/meminfo
    expect_entries "$DIR/cwd"
    report "$label" "${why[@]}"
}

meminfo_fallback_case() {   # LABEL FILE: the report still adds up
    local label=$1 file=$2 load
    new_case
    meminfo_run "$file" /I:LI
    expect_status 0; expect_no_err; expect_no_placeholder
    [[ $(value_of "RAM total:") == "768 MB" ]] || why+=("/I:LI RAM total is '$(value_of "RAM total:")', expected '768 MB'")
    expect_not_larger "RAM free:" "RAM total:"
    mv -- "$DIR/out" "$DIR/li.out"
    meminfo_run "$file" /I:MS
    expect_status 0; expect_no_err; expect_no_placeholder
    expect_not_larger "Available physical:" "Total physical:"
    expect_not_larger "Available page file:" "Total page file:"
    expect_not_larger "Available virtual:" "Total virtual:"
    load=$(value_of "Memory load:")
    [[ $load =~ ^[0-9]+%$ && ${load%\%} -le 100 ]] || why+=("/I:MS memory load is '$load'")
    expect_entries "$DIR/cwd"
    report "$label" "${why[@]}"
}

case_meminfo_control() {   # proves the crafted file is the one read
    new_case
    meminfo_run "$WORK/mem.good" /I:LI
    printf 'RAM free:  384 MB\nRAM total: 768 MB\n' >"$DIR/expected"
    expect_status 0; expect_no_err
    expect_out "$DIR/expected" "the report of the crafted file"
    report "b1 crafted /proc/meminfo is the one read (control), '/I:LI'" "${why[@]}"
}

osrel_run() {   # FILE [nobody]: /I:V with FILE over every os-release
    local file=$1 prefix=() binds=() t; shift
    [[ ${1:-} == nobody ]] && prefix=("${NOBODY[@]}")
    for t in "${OSREL_TARGETS[@]}"; do binds+=("$file" "$t"); done
    run "$DIR" unshare --mount --propagation private bash "$SELF" --bind "${binds[@]}" -- \
        "${prefix[@]}" "$BIN_COPY" /I:V
}

# First line "<pretty>, <uname>" (EXACT: PRETTY itself; MATCH: a glob the
# pretty part must match), control characters shown as '?', or, when
# ALONE_OK, the uname part alone (ALONE: only that); the rest of the /I:V
# report unchanged; no control byte anywhere.
expect_version() {   # EXACT|MATCH|ALONE PRETTY ALONE_OK(yes|no)
    local how=$1 pretty=$2 alone=$3 first rest ref_rest
    expect_status 0; expect_no_err
    IFS= read -r first <"$DIR/out"
    first=${first%"$CR"}
    rest=$(tail -n +2 -- "$DIR/out" | od -An -c); ref_rest=$(tail -n +2 -- "$WORK/ref/v.out" | od -An -c)
    [[ $rest == "$ref_rest" ]] || why+=("lines after the first differ from the normal /I:V: $(excerpt "$DIR/out" 400)")
    LC_ALL=C grep -a -q -P '[\x00-\x09\x0b\x0c\x0e-\x1f\x7f]|\xc2[\x80-\x9f]' "$DIR/out" &&
        why+=("a control character is on stdout: $(excerpt "$DIR/out" 300)")
    if [[ $first == "$UNAME" ]]; then
        [[ $alone == yes ]] || why+=("first line is the uname part alone, expected '$pretty, $UNAME'")
    elif [[ $how == ALONE ]]; then
        why+=("first line is not the uname part alone: $(cat -v <<<"$first" | head -c 300)")
    elif [[ $first == *", $UNAME" ]]; then
        local got=${first%", $UNAME"}
        if [[ $how == EXACT ]]; then
            [[ $got == "$pretty" ]] || why+=("name part is '$(cat -v <<<"$got")', expected '$pretty'")
        else
            # shellcheck disable=SC2053
            [[ $got == $pretty ]] || why+=("name part '$(cat -v <<<"$got" | head -c 200)' does not match '$pretty'")
        fi
    else
        why+=("first line is neither '<name>, $UNAME' nor '$UNAME': $(cat -v <<<"$first" | head -c 300)")
    fi
    expect_entries "$DIR/cwd"
}

case_cpu_online_fifo() {
    new_case
    run "$DIR" unshare --mount --propagation private bash "$SELF" \
        --bind "$WORK/fifo" /sys/devices/system/cpu/online -- "$BIN_COPY" /I:PI
    expect_status 1; expect_no_out; expect_fast; expect_error_line /sys/devices/system/cpu/online
    expect_entries "$DIR/cwd"
    report "b19 /sys/devices/system/cpu/online is a FIFO: '/I:PI' fails naming it, no wait" "${why[@]}"
}

case_no_sys() {
    new_case
    mkdir -p "$DIR/empty"
    run "$DIR" unshare --mount --propagation private bash "$SELF" --bind "$DIR/empty" /sys -- \
        taskset -c 0 "$BIN_COPY" /I:PI
    expect_status 0; expect_no_err
    grep -a -q '^Number of processors: *1$' -- "$DIR/out" ||
        why+=("not one processor: $(excerpt "$DIR/out" 300)")
    grep -a -q -E '^ +0{63}1$' -- "$DIR/out" || why+=("the mask is not processor 0 alone: $(excerpt "$DIR/out" 300)")
    expect_entries "$DIR/cwd"
    report "b20 without /sys, 'taskset -c 0' '/I:PI': the affinity mask, one processor" "${why[@]}"
}

case_osrel() {   # LABEL FILE EXACT|MATCH|ALONE PRETTY ALONE_OK [nobody]
    local label=$1 file=$2
    new_case
    osrel_run "$file" "${6:-}"
    expect_version "$3" "$4" "$5"
    report "$label" "${why[@]}"
}

case_osrel_etc_hidden() {   # no /etc/os-release at all: /usr/lib/os-release is read
    new_case
    mkdir -p "$DIR/etc"
    if [[ ! -e /usr/lib/os-release ]]; then
        report "b13 /etc without os-release: /usr/lib/os-release is read, '/I:V'" \
            "/usr/lib/os-release does not exist on this machine"
        return
    fi
    run "$DIR" unshare --mount --propagation private bash "$SELF" \
        --bind "$WORK/osrel.lib" /usr/lib/os-release "$DIR/etc" /etc -- "$BIN_COPY" /I:V
    expect_version EXACT "Orbelle Fallback OS 2" no
    report "b13 /etc without os-release: /usr/lib/os-release is read, '/I:V'" "${why[@]}"
}

# ----------------------------------------------- c. argument texts
args_case() {   # LABEL EXPECTED(usage|full|version) ARG...
    local label=$1 want=$2; shift 2
    new_case
    run "$DIR" "$BIN" "$@"
    expect_status 0; expect_no_err; expect_fast
    case $want in
        usage) expect_out "$WORK/ref/usage.out" "the usage" ;;
        version) expect_out "$WORK/ref/v.out" "the /I:V report" ;;
        full) expect_shape "$WORK/ref/full.out" "the full report" ;;
    esac
    expect_entries "$DIR/cwd"
    report "$label" "${why[@]}"
}

args_variants_case() {   # LABEL EXPECTED ARG...: one run per ARG, one verdict
    local label=$1 want=$2 arg i before; shift 2
    new_case
    for arg in "$@"; do
        rm -rf -- "$DIR/cwd" && mkdir -p "$DIR/cwd"
        before=${#why[@]}
        run "$DIR" "$BIN" "$arg"
        expect_status 0; expect_no_err; expect_fast
        case $want in
            usage) expect_out "$WORK/ref/usage.out" "the usage" ;;
            full) expect_shape "$WORK/ref/full.out" "the full report" ;;
        esac
        expect_entries "$DIR/cwd"
        for ((i = before; i < ${#why[@]}; i++)); do why[i]="$(printf '%q' "$arg"): ${why[i]}"; done
    done
    report "$label" "${why[@]}"
}

case_args_huge() {
    local chunk blanks args=() i
    chunk=$(printf '%65536s' '' | tr ' ' X)
    for ((i = 0; i < 16; i++)); do args+=("$chunk"); done
    args_case "c1 argument text 1 MiB long (16 arguments of 64 KiB): usage" usage "${args[@]}"

    blanks=$(printf '%65536s' '')
    args=()
    for ((i = 0; i < 8; i++)); do args+=("$blanks"); done
    args+=($'\t/i:v\t')
    for ((i = 0; i < 8; i++)); do args+=("$blanks"); done
    args_case "c2 '/i:v' inside 1 MiB of blanks: the /I:V report" version "${args[@]}"

    args=()
    for ((i = 0; i < 65536; i++)); do args+=(ABCDEFGHIJKLMNO); done
    args_case "c3 argument text 1 MiB long (65536 arguments): usage" usage "${args[@]}"
}

# ----------------------------------------------- d. renamed copies
case_renamed() {   # FILE_NAME
    local file=$1 base=${1%.*} usage text
    new_case
    mkdir -p "$DIR/bin" && cp -- "$BIN" "$DIR/bin/$file"
    IFS= read -r -d '' usage <"$WORK/ref/usage.out"
    printf '%s' "${usage//"$NAME"/"$base"}" >"$DIR/usage.expected"
    run "$DIR" "$DIR/bin/$file" /?
    expect_status 0; expect_no_err
    expect_out "$DIR/usage.expected" "the usage naming '$base'"
    text=$(sed -n 4p -- "$DIR/out")
    [[ $text == "${base}[.EXE] [[/I"* ]] || why+=("syntax line does not start with '${base}[.EXE]': $text")
    grep -a -q -F "\"$base.TXT\"" "$DIR/out" || why+=("usage does not hold \"$base.TXT\"")
    expect_entries "$DIR/cwd"
    run "$DIR" "$DIR/bin/$file" /I:V /F
    expect_status 0; expect_no_out; expect_no_err
    expect_entries "$DIR/cwd" "$base.TXT"
    [[ -f $DIR/cwd/$base.TXT ]] && expect_report_file "$DIR/cwd/$base.TXT" "$WORK/ref/v.out"
    report "d copy named '$file': usage names '$base', '/I:V /F' writes '$base.TXT'" "${why[@]}"
}

# ----------------------------------------------- e. standard output
case_stdout() {   # MODE LABEL
    local mode=$1 label=$2 args i before
    new_case
    for args in "/I" "/?"; do
        before=${#why[@]}
        OUT_MODE=$mode run "$DIR" env --default-signal=PIPE "$BIN" "$args"
        if [[ $mode == full ]]; then
            expect_status 1; expect_error_line "writing to standard output failed"
        else
            expect_status 0; expect_no_err
        fi
        for ((i = before; i < ${#why[@]}; i++)); do why[i]="'$args': ${why[i]}"; done
    done
    if [[ $mode == closed ]]; then   # the report file may now get descriptor 1
        before=${#why[@]}
        OUT_MODE=closed run "$DIR" env --default-signal=PIPE "$BIN" /I:V /F
        expect_status 0; expect_no_err
        expect_entries "$DIR/cwd" "$REPORT"
        expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
        if [[ -z ${ORBELLE_SANITIZED:-} ]]; then   # with 0, 1 and 2 closed, no file gets one
            OUT_MODE=closed run "$DIR" strace -f -qq -o "$DIR/trace" -e trace=execve,open,openat \
                bash -c 'exec <&- 2>&- "$@"' - "$BIN" /I:V /F
            awk -v bin="execve(\"$BIN\"" 'index($0, bin) { on = 1 } on && /= [012]$/ && !/execve/' "$DIR/trace" |
                grep -vE '"/dev/null"|ld\.so\.cache|\.so(\.[0-9]+)*"' >"$DIR/low" &&
                why+=("a file got a standard descriptor: $(head -c 300 -- "$DIR/low")")
        fi
        for ((i = before; i < ${#why[@]}; i++)); do why[i]="'/I:V /F': ${why[i]}"; done
    else
        expect_entries "$DIR/cwd"
    fi
    report "$label" "${why[@]}"
}

# ----------------------------------------------- f. the report file, more
case_read_only_report() {
    new_case
    cp -- "$WORK/old" "$DIR/cwd/$REPORT" && chmod 0444 "$DIR/cwd/$REPORT"
    run "$DIR" "$BIN" /I:V /F
    expect_status 1; expect_no_out
    expect_error_line "$(readlink -f -- "$DIR/cwd")/$REPORT: the file is read-only"
    expect_same "$DIR/cwd/$REPORT" "$WORK/old" "the read-only report"
    expect_entries "$DIR/cwd" "$REPORT"
    report "f1 read-only report (0444, run by root): not replaced, error naming its path" "${why[@]}"
}

case_access_kept() {
    new_case
    cp -- "$WORK/old" "$DIR/cwd/$REPORT" && chown 65534:65534 "$DIR/cwd/$REPORT" &&
        chmod 0464 "$DIR/cwd/$REPORT"
    run "$DIR" "$BIN" /I:V /F
    expect_status 0; expect_no_err
    [[ $(stat -c '%u:%g %a' -- "$DIR/cwd/$REPORT") == '65534:65534 464' ]] ||
        why+=("replaced report is $(stat -c '%u:%g %a' -- "$DIR/cwd/$REPORT"), expected 65534:65534 464")
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    rm -f -- "$DIR/cwd/$REPORT"
    run "$DIR" bash -c 'umask 027 && exec "$@"' umask "$BIN" /I:V /F
    [[ $(stat -c %a -- "$DIR/cwd/$REPORT") == 640 ]] ||
        why+=("new report has mode $(stat -c %a -- "$DIR/cwd/$REPORT") under umask 027, expected 640")
    expect_entries "$DIR/cwd" "$REPORT"
    report "f2 replaced report keeps owner, group and mode 0464 (writable by its group); a new one gets 0666 less the umask" "${why[@]}"
}

case_report_is_the_program() {
    new_case
    local NAME=report
    cp -- "$BIN" "$DIR/cwd/report.TXT"
    run "$DIR" "$DIR/cwd/report.TXT" /I:V /F
    expect_status 1; expect_no_out; expect_error_line "this program's own file"
    cmp -s -- "$DIR/cwd/report.TXT" "$BIN" || why+=("the program was overwritten")
    expect_entries "$DIR/cwd" report.TXT
    report "f3 a copy named report.TXT with '/I:V /F' does not overwrite itself" "${why[@]}"
}

case_case_insensitive() {
    new_case
    truncate -s 8M "$DIR/fat.img" && mkfs.vfat "$DIR/fat.img" >/dev/null
    run "$DIR" unshare --mount --propagation private bash "$SELF" --fat "$DIR" "$BIN" /I:V /F
    if ((RC == 125)); then
        why+=("$(excerpt "$DIR/err" 300)")
    else
        expect_status 1; expect_no_out; expect_error_line "this program's own file"
        cmp -s -- "$DIR/snap/$NAME.txt" "$BIN" || why+=("the program was overwritten")
        expect_entries "$DIR/snap" "$NAME.txt"
    fi
    report "f9 on FAT through FUSE (an inode number for each spelling) a copy named $NAME.txt with '/I:V /F' does not overwrite itself" "${why[@]}"
}

case_through_the_loader() {
    local loader
    new_case
    loader=$(readelf -l -- "$BIN" | sed -n 's/.*Requesting program interpreter: \(.*\)]$/\1/p')
    [[ -x $loader ]] || { report "f10 through the dynamic loader" "no interpreter found in $BIN"; return; }
    cp -- "$BIN" "$DIR/cwd/Probe.TXT"
    run "$DIR" "$loader" ./Probe.TXT /I:V /F
    expect_status 1; expect_no_out; NAME=Probe expect_error_line "this program's own file"
    cmp -s -- "$DIR/cwd/Probe.TXT" "$BIN" || why+=("the program was overwritten")
    run "$DIR" "$loader" "$BIN" /?
    expect_status 0; expect_no_err; expect_out "$WORK/ref/usage.out" "the usage naming $NAME"
    run "$DIR" "$loader" "$BIN" /I:V /F
    expect_status 0; expect_no_out; expect_no_err
    expect_entries "$DIR/cwd" Probe.TXT "$REPORT"
    report "f10 through the dynamic loader: a copy named Probe.TXT does not overwrite itself; the program's own name names the usage and the report" "${why[@]}"
}

case_mode_not_kept() {
    new_case
    cp -- "$WORK/old" "$DIR/cwd/$REPORT" && chmod 0640 "$DIR/cwd/$REPORT"
    run "$DIR" strace -qq -o /dev/null -e trace=fchmod -e inject=fchmod:error=EPERM "$BIN" /I:V /F
    expect_status 1; expect_no_out; expect_error_line "cannot be kept"
    expect_same "$DIR/cwd/$REPORT" "$WORK/old" "the previous report"
    [[ $(stat -c %a -- "$DIR/cwd/$REPORT") == 640 ]] || why+=("the report's mode is now $(stat -c %a -- "$DIR/cwd/$REPORT")")
    expect_entries "$DIR/cwd" "$REPORT"
    report "f11 a file system that refuses chmod (EPERM): a 0640 report is not replaced by a more readable one" "${why[@]}"
}

case_error_text_in_cp1251() {
    local want
    new_case
    chmod 0755 "$DIR/cwd"
    want=$(printf 'Отказано в доступе' | iconv -f UTF-8 -t CP1251)
    run "$DIR" env LOCPATH="$WORK/locales" LC_ALL=ru_RU.CP1251 "${NOBODY[@]}" "$BIN_COPY" /I:V /F
    expect_status 1; expect_no_out
    [[ $(wc -l <"$DIR/err") == 1 ]] || why+=("stderr is not one line: $(excerpt "$DIR/err")")
    LC_ALL=C grep -a -q -F -- "$want" "$DIR/err" ||
        why+=("stderr does not hold the system's words in CP1251: $(excerpt "$DIR/err" 300)")
    expect_entries "$DIR/cwd"
    report "f12 in ru_RU.CP1251 the system's words for an error are the locale's own bytes, not '?'" "${why[@]}"
}

# ----------------------------------------------- g. 32-bit programs
# Run natively, and against a 32-bit program under qemu (make cross).
case_past_2038() {
    local lib=${BIN_REAL%/*}/tests/liborbelle_clock_2040.so
    new_case
    if [[ ! -f $lib ]]; then
        report "g1 at 2040-02-29 the report file has its title and date lines" "no $lib beside the program"
        return
    fi
    local preload=LD_PRELOAD=$lib   # for an emulated program, through its emulator
    [[ -n ${ORBELLE_EMULATOR:-} ]] && preload=QEMU_SET_ENV=LD_PRELOAD=$lib
    run "$DIR" env TZ=UTC "$preload" "$BIN" /I:V /F
    expect_status 0; expect_no_out; expect_no_err
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    grep -a -q "^Сгенерировано 02/29/40 12:34:56" -- "$DIR/cwd/$REPORT" ||
        why+=("the date line is not 02/29/40 12:34:56: $(sed -n 2p -- "$DIR/cwd/$REPORT" | cat -v)")
    report "g1 at 2040-02-29 (a preloaded clock) the report file has its title and date lines" "${why[@]}"
}

case_large_inode() {
    local inode
    new_case
    run "$DIR" unshare --mount --propagation private bash "$SELF" --xfs "$DIR" "$BIN" /I:V /F
    if ((RC == 125)); then
        why+=("$(excerpt "$DIR/err" 300)")
    else
        expect_status 0; expect_no_out; expect_no_err
        expect_entries "$DIR/snap" "$REPORT"
        expect_report_file "$DIR/snap/$REPORT" "$WORK/ref/v.out"
        read -r inode <"$DIR/inodes"
        ((inode > 4294967295)) || why+=("the report's inode number $inode fits 32 bits")
    fi
    report "g2 a second '/I:V /F' in a directory of inode numbers beyond 32 bits (XFS, inode64)" "${why[@]}"
}

# strace stops the program at a system call of the report's writing with a
# signal (and, at the rename, makes the rename fail, as if the signal came
# just before it).
case_signals() {
    local at inject status ignore
    new_case
    cp -- "$WORK/old" "$DIR/cwd/$REPORT"
    for at in 'rename:error=EIO:signal=TERM 143' 'rename:error=EIO:signal=HUP 129' \
              'fsync:signal=INT 130' 'linkat:signal=TERM 143' 'rename:error=EIO:signal=QUIT 131' \
              'linkat:signal=USR1 138' 'rename:error=EIO:signal=USR2 140' \
              'rename:error=EIO:signal=ALRM 142' 'linkat:signal=XCPU 152' \
              'rename:error=EIO:signal=VTALRM 154' 'rename:error=EIO:signal=PROF 155' \
              'linkat:signal=PWR 158' 'rename:error=EIO:signal=STKFLT 144' \
              'rename:error=EIO:signal=TRAP 133' 'linkat:signal=SYS 159' \
              'rename:error=EIO:signal=34 162' 'rename:error=EIO:signal=TERM 1 TERM'; do
        # A signal its starter ignores stays ignored: the failed rename is then the error.
        read -r inject status ignore <<<"$at"
        run "$DIR" env ${ignore:+--ignore-signal="$ignore"} strace -qq -o /dev/null \
            -e trace="${inject%%:*}" -e inject="$inject" "$BIN" /I /F
        expect_status "$status"
        expect_same "$DIR/cwd/$REPORT" "$WORK/old" "the previous report after $inject"
        expect_entries "$DIR/cwd" "$REPORT"
    done
    run "$DIR" strace -qq -o /dev/null -e trace=rename -e inject=rename:error=EIO:signal=KILL "$BIN" /I /F
    expect_status 137
    run "$DIR" "$BIN" /I:V /F   # a killed run's leftover is no obstacle
    expect_status 0; expect_no_err
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    rm -f -- "$DIR/cwd/$REPORT"
    run "$DIR" strace -qq -o "$DIR/trace" -e trace=openat "$BIN" /I:V /F
    grep -q 'O_TMPFILE, 0600) = [0-9]' "$DIR/trace" ||
        why+=("the temporary file is not created 0600: $(grep -a O_TMPFILE "$DIR/trace" | head -c 300)")
    run "$DIR" strace -qq -o /dev/null -P "$(readlink -f -- "$DIR/cwd")" -e trace=openat \
        -e inject=openat:error=EOPNOTSUPP "$BIN" /I:V /F   # no nameless files here
    expect_status 0; expect_no_err
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    [[ $(find "$DIR/cwd" -name '.orbelle-*.tmp' | wc -l) == 1 ]] ||
        why+=("expected only the killed run's temporary file: $(ls -A "$DIR/cwd" | tr '\n' ' ')")
    report "f4 every signal that ends the program (TERM, HUP, INT, QUIT, USR1, USR2, ALRM, XCPU, VTALRM, PROF, PWR, STKFLT, TRAP, SYS, SIGRTMIN) while writing leaves no temporary file; an ignored TERM is no end; the named one is 0600; KILL's leftover blocks nothing" "${why[@]}"
}

case_names_are_bytes() {
    local file
    new_case
    mkdir -p "$DIR/bin"
    for file in 'Отчёт' 'Сводк' $'Orb\xff' $'Orb\xfe'; do
        cp -- "$BIN" "$DIR/bin/$file"
        run "$DIR" env -i "$DIR/bin/$file" /I:V /F
        expect_status 0; expect_no_err
    done
    run "$DIR" python3 -c 'import os, sys
fd = os.memfd_create("Orbm", 0); os.write(fd, open(sys.argv[1], "rb").read())
os.execv("/proc/self/fd/%d" % fd, ["x", "/I:V", "/F"])' "$BIN"
    expect_status 0; expect_no_err
    expect_entries "$DIR/cwd" 'Отчёт.TXT' 'Сводк.TXT' $'Orb\xff.TXT' $'Orb\xfe.TXT' 'memfd:Orbm.TXT'
    report "f5 in the C locale each name's own bytes name its report; a memfd's has no ' (deleted)'" "${why[@]}"
}

case_no_proc() {
    new_case
    mkdir -p "$DIR/empty"
    run "$DIR" unshare --mount --propagation private bash "$SELF" --bind "$DIR/empty" /proc -- "$BIN" /?
    expect_status 0; expect_no_err; expect_out "$WORK/ref/usage.out" "the usage"
    run "$DIR" unshare --mount --propagation private bash "$SELF" --bind "$DIR/empty" /proc -- "$BIN" /A
    expect_status 0; expect_no_err; expect_out "$WORK/ref/about.out" "the about text"
    report "f6 without /proc, '/?' and '/A' still work" "${why[@]}"
}

case_long_path() {
    local segment
    new_case
    segment=$(printf '%250s' '' | tr ' ' L)
    run "$DIR" bash -c 'for i in $(seq 20); do mkdir "$1" && cd "$1" || exit 125; done
        cp -- "$0" ./OrbelleC && exec env ./OrbelleC /I:V' "$BIN" "$segment"
    expect_status 0; expect_no_err; expect_out "$WORK/ref/v.out" "the /I:V report"
    report "f7 started from a path of over 5000 bytes, '/I:V' to the screen" "${why[@]}"
}

# Address-space limits around the smallest that lets the loader start: every
# run ends with the report, or with the one-line error, never by a signal.
case_out_of_memory() {
    local kb failed=0 line
    new_case
    for ((kb = 2500; kb <= 3200; kb += 8)); do
        run "$DIR" bash -c 'ulimit -v "$0" && exec "$@"' "$kb" "$BIN" /I /F:U
        IFS= read -r line <"$DIR/err"
        if ((RC == 1)); then
            failed=$((failed + 1)); expect_error_line
            [[ $line == *"allocating memory failed"* || $line == *"status -12"* ]] ||
                why+=("limit $kb KiB: $line")
        elif ((RC == 127)) && [[ $line == *"error while loading shared libraries"* || $line == *"cannot allocate TLS"* ]]; then
            : # the loader itself could not start the program
        elif ((RC != 0)); then
            why+=("limit $kb KiB: exit status $RC: $(excerpt "$DIR/err")")
        fi
    done
    ((failed > 0)) || why+=("no limit made the program itself run out of memory")
    expect_entries "$DIR/cwd" "$REPORT"
    report "f8 address space limited from 2500 to 3200 KiB: the report or the one-line error" "${why[@]}"
}

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
    local tool missing=()
    for tool in unshare mount setpriv timeout mkfifo env cmp dd stat find awk grep sed od uname strace python3 \
        taskset readelf fusefat mkfs.vfat mkfs.xfs truncate iconv localedef; do
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
    NAME=$(basename -- "$BIN"); NAME=${NAME%.*}
    REPORT=$NAME.TXT
    UNAME="$(uname -s) $(uname -r) $(uname -m)"
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
    if [[ -n ${ORBELLE_EMULATOR:-} ]]; then   # what a 32-bit build may get wrong
        case_past_2038
        case_large_inode
        echo "$PASSED passed, $FAILED failed"
        ((FAILED == 0))
        return
    fi
    mkdir -p "$WORK/locales" && localedef -c -i ru_RU -f CP1251 "$WORK/locales/ru_RU.CP1251" 2>/dev/null
    [[ -f $WORK/locales/ru_RU.CP1251/LC_CTYPE ]] || setup_failure "localedef cannot make ru_RU.CP1251"

    # Crafted files.
    meminfo 786432 393216 >"$WORK/mem.good"
    cp -- "$WORK/mem.good" "$WORK/mem.closed"; chmod 0000 "$WORK/mem.closed"
    mkfifo -- "$WORK/fifo"
    junk 7 4096 >"$WORK/mem.junk"
    meminfo lots 393216 >"$WORK/mem.letters"
    meminfo 786O32 393216 >"$WORK/mem.letter-o"
    meminfo 36028797018963968 393216 >"$WORK/mem.overflow"
    meminfo 786432 - >"$WORK/mem.no-available"
    meminfo 786432 4194304 >"$WORK/mem.available-too-large"
    OSREL_TARGETS=()
    for tool in /etc/os-release /usr/lib/os-release; do
        [[ -e $tool ]] && OSREL_TARGETS+=("$tool")
    done
    printf 'NAME=Probe\nPRETTY_NAME="Orbelle Probe OS 1"\nID=probe\n' >"$WORK/osrel.good"
    printf 'NAME=Fallback\nPRETTY_NAME="Orbelle Fallback OS 2"\n' >"$WORK/osrel.lib"
    printf 'ID=x\nPRETTY_NAME="A\033B\aC\tD\177E\xc2\x9bF"\n' >"$WORK/osrel.controls"
    printf 'NAME=x\nPRETTY_NAME="Evil\033[2J OS\nsecond\033]0;title\a line"\nID=x\n' >"$WORK/osrel.esc-newline"
    { junk 11 1500; printf '\nPRETTY_NAME="'; junk 12 200; printf '"\n'; junk 13 1500; } >"$WORK/osrel.junk"
    { printf 'PRETTY_NAME="Big OS"\n'; head -c 2097152 /dev/zero | tr '\0' '#'; printf '\n'; } >"$WORK/osrel.big"
    printf 'NAME=x\nPRETTY_NAME=""\n' >"$WORK/osrel.empty"
    cp -- "$WORK/osrel.good" "$WORK/osrel.closed"; chmod 0000 "$WORK/osrel.closed"
    ((${#OSREL_TARGETS[@]} > 0)) || setup_failure "neither /etc/os-release nor /usr/lib/os-release exists to bind over"

    # a. the report file
    case_unwritable_dir
    case_name_is_directory
    case_name_is_symlink file
    case_name_is_symlink dangling
    case_disk_full
    case_file_size_limit

    # b. /proc/meminfo and os-release
    case_meminfo_control
    meminfo_error_case "b2 /proc/meminfo unreadable (mode 0000, uid 65534): error naming it" \
        "$WORK/mem.closed" nobody
    meminfo_error_case "b3 /proc/meminfo empty (/dev/null): error naming it" /dev/null
    meminfo_error_case "b4 /proc/meminfo random bytes: error naming it" "$WORK/mem.junk"
    meminfo_error_case "b5 MemTotal 'lots kB': error naming /proc/meminfo" "$WORK/mem.letters"
    meminfo_error_case "b6 MemTotal '786O32 kB' (letter O): error naming /proc/meminfo" "$WORK/mem.letter-o"
    meminfo_error_case "b7 MemTotal of 2^55 kB (bytes overflow 64 bits): error naming /proc/meminfo" \
        "$WORK/mem.overflow"
    meminfo_fallback_case "b8 MemAvailable missing: '/I:LI' and '/I:MS' add up" "$WORK/mem.no-available"
    meminfo_fallback_case "b9 MemAvailable > MemTotal: '/I:LI' and '/I:MS' add up" "$WORK/mem.available-too-large"
    meminfo_error_case "b17 /proc/meminfo is a FIFO: error naming it, no wait" "$WORK/fifo"
    case_osrel "b10 crafted os-release is the one read (control), '/I:V'" \
        "$WORK/osrel.good" EXACT "Orbelle Probe OS 1" no
    case_osrel "b11 PRETTY_NAME with ESC, BEL, TAB, DEL, U+009B: shown as '?', '/I:V'" \
        "$WORK/osrel.controls" EXACT "A?B?C?D?E?F" no
    case_osrel "b12 PRETTY_NAME with ESC and newlines inside the quotes, '/I:V'" \
        "$WORK/osrel.esc-newline" MATCH "Evil?[2J OS*" yes
    case_osrel_etc_hidden
    case_osrel "b14 os-release binary junk, '/I:V'" "$WORK/osrel.junk" MATCH "*" yes
    case_osrel "b15 os-release of 2 MiB, '/I:V'" "$WORK/osrel.big" EXACT "Big OS" yes
    case_osrel "b18 os-release is a FIFO: uname alone, no wait" "$WORK/fifo" ALONE "" yes
    case_osrel "b21 PRETTY_NAME empty: uname alone, '/I:V'" "$WORK/osrel.empty" ALONE "" yes
    case_osrel "b16 neither os-release readable (mode 0000, uid 65534): uname alone, '/I:V'" \
        "$WORK/osrel.closed" ALONE "" yes nobody
    case_cpu_online_fifo
    case_no_sys

    # c. argument texts
    case_args_huge
    args_variants_case "c4 invalid UTF-8 (bytes FF FE, trailing FF, overlong '/', surrogate): usage" usage \
        $'\xff\xfe\xc3(' $'/I:V\xff' $'\xc0\xafI:V' $'/I:V \xed\xa0\x80'
    args_variants_case "c5 embedded control characters: usage" usage \
        $'/I\x01' $'\x1b[2J' $'/I:V\x01/F' $'/I:V /F\x7f' $'\x1b]0;x\x07/I'
    args_variants_case "c6 only tabs: the full report" full $'\t\t' $'\t'
    args_case "c7 only blanks (one argument of blanks): the full report" full '    '
    args_case "c8 only blanks (two empty arguments): the full report" full '' ''

    # d. renamed copies
    case_renamed 'a%00b'
    case_renamed '%01'
    case_renamed 'p%00q.r%01'

    # e. standard output
    case_stdout closed "e1 stdout closed: '/I', '/?' exit 0; '/I:V /F' writes the right file"
    case_stdout full "e2 stdout is /dev/full: '/I', '/?' fail with the error line"
    case_stdout gone "e3 stdout is a pipe whose reader has gone (SIGPIPE default): exit 0, no signal"

    # f. the report file, more; the process's surroundings
    case_read_only_report
    case_access_kept
    case_report_is_the_program
    case_names_are_bytes
    case_case_insensitive
    case_error_text_in_cp1251
    if [[ -n ${ORBELLE_SANITIZED:-} ]]; then
        echo "NOTE: f4, f6-f8, f10, f11, g1 and g2 run on the normal build only: the sanitizer runtime" \
            "needs no tracer, /proc, a short path, a large address space, no preload and its own loader"
    else
        case_signals
        case_no_proc
        case_long_path
        case_out_of_memory
        case_through_the_loader
        case_mode_not_kept
        case_past_2038
        case_large_inode
    fi

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
