# Fault matrix, group b. /proc/meminfo, os-release and the online processors unreadable, empty,
# garbled, a FIFO, or missing with /sys.
# Sourced by ../fault_matrix_test.sh, whose helpers it uses.

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

case_cpu_online() {   # each row FILE:COUNT, no COUNT for the error naming the file
    local row file count
    new_case
    for row in "fifo:" "0-2147483646:2147483647" "0-2147483647:" "0-4294967295:" "3,1,3,1:2"; do
        file=$DIR/online count=${row##*:}
        [[ $row == fifo:* ]] && file=$WORK/fifo || printf '%s\n' "${row%:*}" >"$file"
        run "$DIR" unshare --mount --propagation private bash "$SELF" \
            --bind "$file" /sys/devices/system/cpu/online -- "$BIN_COPY" /I:PI
        if [[ -n $count ]]; then
            expect_status 0; expect_no_err
            grep -a -q -E "^Number of processors: *$count\$" -- "$DIR/out" ||
                why+=("${row%:*}: not $count processors: $(excerpt "$DIR/out" 300)")
        else
            expect_status 1; expect_no_out; expect_fast; expect_error_line /sys/devices/system/cpu/online
        fi
    done
    grep -a -q -E '^ +0{60}1010$' -- "$DIR/out" ||
        why+=("3,1,3,1 (the last): the mask is not 1010: $(excerpt "$DIR/out" 300)")
    expect_entries "$DIR/cwd"
    report "b19 /sys/devices/system/cpu/online a FIFO (no wait), '3,1,3,1' (two CPUs), '0-2147483646' (the most a\
 count holds), '0-2147483647' and '0-4294967295' (more): '/I:PI' counts or fails naming it" "${why[@]}"
}

case_no_sys() {   # an empty /sys (ENOENT), and one whose devices is a file (ENOTDIR)
    local sys pin want last zeros
    new_case
    last=$(taskset -cp $$ | sed 's/.*[ ,-]//') zeros=$(printf '%063d' 0)   # the last CPU this test may use
    mkdir -p "$DIR/empty" "$DIR/flat" && : >"$DIR/flat/devices"
    for sys in empty flat; do   # flat: not pinned, as many as nproc counts in the same mask
        [[ $sys == empty ]] && pin=(taskset -c "$last") want=1 || pin=() want=$(nproc)
        run "$DIR" unshare --mount --propagation private bash "$SELF" --bind "$DIR/$sys" /sys -- \
            "${pin[@]}" "$BIN_COPY" /I:PI
        expect_status 0; expect_no_err
        grep -a -q "^Number of processors: *$want\$" -- "$DIR/out" ||
            why+=("$sys /sys: not $want processor(s): $(excerpt "$DIR/out" 300)")
        [[ $sys == flat ]] || ((last > 63)) || grep -a -q -E "^ +${zeros:0:63-last}1${zeros:0:last}\$" -- "$DIR/out" ||
            why+=("$sys /sys: the mask is not processor $last alone: $(excerpt "$DIR/out" 300)")
    done
    expect_entries "$DIR/cwd"
    report "b20 without /sys (or with /sys/devices a file), '/I:PI': the affinity mask (pinned to the last CPU: that \
one alone)" "${why[@]}"
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

run_group() {
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
    printf 'PRETTY_NAME="A\xef\xbf\xbeB\xef\xb7\x90C\xf0\x9f\xbf\xbfD\xef\xb7\xafE"\n' >"$WORK/osrel.nonchars"
    cp -- "$WORK/osrel.good" "$WORK/osrel.closed"; chmod 0000 "$WORK/osrel.closed"
    ((${#OSREL_TARGETS[@]} > 0)) || setup_failure "neither /etc/os-release nor /usr/lib/os-release exists to bind over"

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
    case_osrel "b22 PRETTY_NAME with U+FFFE, U+FDD0, U+1FFFF, U+FDEF: U+FFFD each, as the journal takes it" \
        "$WORK/osrel.nonchars" EXACT $'A\xef\xbf\xbdB\xef\xbf\xbdC\xef\xbf\xbdD\xef\xbf\xbdE' no
    case_osrel "b16 neither os-release readable (mode 0000, uid 65534): uname alone, '/I:V'" \
        "$WORK/osrel.closed" ALONE "" yes nobody
    case_cpu_online
    case_no_sys
}
