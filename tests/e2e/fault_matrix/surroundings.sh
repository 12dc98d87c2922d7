# Fault matrix, group f. The report file's protection, signals and name, no /proc, a long path, too
# little memory, a case-insensitive file system, the dynamic loader.
# Sourced by ../fault_matrix_test.sh, whose helpers it uses.

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
    cp -- "$WORK/old" "$DIR/cwd/$REPORT" && chown 65534:65533 "$DIR/cwd/$REPORT" &&
        chmod 0564 "$DIR/cwd/$REPORT" && setfacl -m g::-,g:65532:rw -- "$DIR/cwd/$REPORT"
    getfacl -cnp -- "$DIR/cwd/$REPORT" >"$DIR/acl"
    run "$DIR" "$BIN" /I:V /F
    expect_status 0; expect_no_err
    [[ $(stat -c '%u:%g %a' -- "$DIR/cwd/$REPORT") == '65534:65533 564' ]] ||
        why+=("replaced report is $(stat -c '%u:%g %a' -- "$DIR/cwd/$REPORT"), expected 65534:65533 564")
    [[ $(getfacl -cnp -- "$DIR/cwd/$REPORT") == "$(<"$DIR/acl")" ]] ||
        why+=("its ACL is now $(getfacl -cnp -- "$DIR/cwd/$REPORT" | tr '\n' ' ')")
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    rm -f -- "$DIR/cwd/$REPORT"
    run "$DIR" bash -c 'umask 027 && exec "$@"' umask "$BIN" /I:V /F
    [[ $(stat -c %a -- "$DIR/cwd/$REPORT") == 640 ]] ||
        why+=("new report has mode $(stat -c %a -- "$DIR/cwd/$REPORT") under umask 027, expected 640")
    chmod 0751 "$DIR/cwd/$REPORT" && setfacl -d -m g:65532:rw -- "$DIR/cwd" && run "$DIR" "$BIN" /I:V /F
    [[ -z $(getfacl -csp -- "$DIR/cwd/$REPORT") && $(stat -c %a -- "$DIR/cwd/$REPORT") == 751 ]] ||
        why+=("a 0751 report without an ACL is $(stat -c %a -- "$DIR/cwd/$REPORT") or has one when replaced")
    expect_entries "$DIR/cwd" "$REPORT"
    report "f2 replaced report keeps owner, group, mode 0564 (executable by its owner, writable by its group) and \
ACL (by a named group, not its own), or mode 0751 and no ACL; a new one gets 0666 less the umask" "${why[@]}"
}

case_report_is_the_program() {
    local cut
    new_case
    local NAME=report
    cp -- "$BIN" "$DIR/cwd/report.TXT"
    run "$DIR" "$DIR/cwd/report.TXT" /I:V /F
    expect_status 1; expect_no_out; expect_error_line "this program's own file"
    cmp -s -- "$DIR/cwd/report.TXT" "$BIN" || why+=("the program was overwritten")
    expect_entries "$DIR/cwd" report.TXT
    # Not its own file: its bytes and one more, its bytes with the last one changed, and its very bytes on
    # another file system (a tmpfs).
    rm -- "$DIR/cwd/report.TXT"
    for cut in 0 1; do
        { head -c "$(($(stat -c %s -- "$BIN_COPY") - cut))" -- "$BIN_COPY"; printf '~'; } >"$DIR/cwd/$REPORT"
        run "$DIR" "$BIN_COPY" /I:V /F
        expect_status 0; expect_no_err; expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    done
    # shellcheck disable=SC2016 # expanded by the inner bash
    run "$DIR" unshare --mount --propagation private bash -c 'mount -t tmpfs orbelle "$PWD" && cd "$PWD" &&
        cp -- "$0" "${0##*/}.TXT" && exec "$0" /I:V /F' "$BIN_COPY"
    expect_status 0; expect_no_err
    report "f3 a copy named report.TXT with '/I:V /F' does not overwrite itself, but does a file that only begins \
with its bytes and a copy on another file system" "${why[@]}"
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
    # A FIFO in the program's place by the time it checks itself (a slow /proc/meminfo): no wait.
    mkdir -p "$DIR/swap" && cp -- "$BIN" "$DIR/swap/" && : >"$DIR/cwd/$REPORT"   # as empty as a FIFO
    (sleep 0.5 && rm -- "$DIR/swap/$NAME" && mkfifo -- "$DIR/swap/$NAME") &
    run "$DIR" strace -qq -o /dev/null -P /proc/meminfo -e trace=openat -e inject=openat:delay_enter=2000000 \
        "$loader" "$DIR/swap/$NAME" /I:V /F
    expect_status 0; expect_no_out; expect_no_err; [[ -p $DIR/swap/$NAME ]] || why+=("no FIFO swapped in")
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    expect_entries "$DIR/cwd" Probe.TXT "$REPORT"
    report "f10 through the dynamic loader: a copy named Probe.TXT does not overwrite itself; the program's own name \
names the usage and the report; a FIFO swapped in at its path is no wait" "${why[@]}"
}

case_mode_not_kept() {
    new_case
    local call
    cp -- "$WORK/old" "$DIR/cwd/$REPORT" && chmod 0640 "$DIR/cwd/$REPORT" &&
        setfacl -m g:65532:r -- "$DIR/cwd/$REPORT"
    for call in fchmod:error=EPERM fchmod:retval=0 fsetxattr:error=EOPNOTSUPP lgetxattr:error=EIO; do
        run "$DIR" strace -qq -o /dev/null -e trace="${call%%:*}" -e inject="$call" "$BIN" /I:V /F
        expect_status 1; expect_no_out; expect_error_line "cannot be"
        expect_same "$DIR/cwd/$REPORT" "$WORK/old" "the previous report"
        [[ $(stat -c %a -- "$DIR/cwd/$REPORT") == 640 ]] ||
            why+=("the report's mode is now $(stat -c %a -- "$DIR/cwd/$REPORT")")
        expect_entries "$DIR/cwd" "$REPORT"
    done
    report "f11 a file system that refuses chmod (EPERM), ignores it, or refuses ACLs: a 0640 report readable by a \
named group is not replaced by a more readable one" "${why[@]}"
}

case_error_text_in_cp1251() {
    local want
    new_case
    want=$(printf 'Отказано в доступе' | iconv -f UTF-8 -t CP1251)
    : >"$DIR/closed" && chmod 0000 "$DIR/closed"   # an error before any other text crosses the character set
    run "$DIR" unshare --mount --propagation private bash "$SELF" --bind "$DIR/closed" /proc/meminfo -- \
        env LOCPATH="$WORK/locales" LC_ALL=ru_RU.CP1251 "${NOBODY[@]}" "$BIN_COPY" /I:V
    expect_status 1; expect_no_out
    [[ $(wc -l <"$DIR/err") == 1 ]] || why+=("stderr is not one line: $(excerpt "$DIR/err")")
    LC_ALL=C grep -a -q -F -- "$want" "$DIR/err" ||
        why+=("stderr does not hold the system's words in CP1251: $(excerpt "$DIR/err" 300)")
    expect_entries "$DIR/cwd"
    report "f12 in ru_RU.CP1251 the system's words for the first error (/proc/meminfo unreadable) are the locale's \
own bytes, not '?'" "${why[@]}"
}

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
              'rename:error=EIO:signal=34 162' 'linkat:signal=64 192' 'rename:error=EIO:signal=TERM 1 TERM'; do
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
    at=$(grep -n -m1 O_TMPFILE "$DIR/trace" | cut -d: -f1)   # that openat's number: none without a name there
    rm -f -- "$DIR/cwd/$REPORT"
    run "$DIR" strace -qq -o "$DIR/trace" -e trace=openat -e inject=openat:error=EOPNOTSUPP:when="${at:-1}" \
        "$BIN" /I:V /F
    grep -q 'O_EXCL.*, 0600) = [0-9]' "$DIR/trace" || why+=("the named temporary file is not created 0600")
    expect_status 0; expect_no_err
    expect_report_file "$DIR/cwd/$REPORT" "$WORK/ref/v.out"
    [[ $(find "$DIR/cwd" -name '.orbelle-*.tmp' | wc -l) == 1 ]] ||
        why+=("expected only the killed run's temporary file: $(find "$DIR/cwd" -mindepth 1 -printf '%f ')")
    report "f4 every signal that ends the program (TERM, HUP, INT, QUIT, USR1, USR2, ALRM, XCPU, VTALRM, PROF, PWR, \
STKFLT, TRAP, SYS, SIGRTMIN, SIGRTMAX as it is named) while writing leaves no temporary file; an ignored TERM is no \
end; the named one is 0600; KILL's leftover blocks nothing" "${why[@]}"
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
    # shellcheck disable=SC2016 # expanded by the inner bash
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
        # shellcheck disable=SC2016 # expanded by the inner bash
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

run_group() {
    mkdir -p "$WORK/locales" && localedef -c -i ru_RU -f CP1251 "$WORK/locales/ru_RU.CP1251" 2>/dev/null
    [[ -f $WORK/locales/ru_RU.CP1251/LC_CTYPE ]] || setup_failure "localedef cannot make ru_RU.CP1251"

    case_read_only_report
    case_access_kept
    case_report_is_the_program
    case_names_are_bytes
    case_case_insensitive
    case_error_text_in_cp1251
    if [[ -n ${ORBELLE_SANITIZED:-} ]]; then
        echo "NOTE: f4, f6-f8, f10 and f11 run on the normal build only: the sanitizer runtime" \
            "needs no tracer, /proc, a short path, a large address space and its own loader"
    else
        case_signals
        case_no_proc
        case_long_path
        case_out_of_memory
        case_through_the_loader
        case_mode_not_kept
    fi
}
