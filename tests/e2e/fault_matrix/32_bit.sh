# Fault matrix, group g. What a 32-bit build may get wrong: the clock after 2038, inode numbers
# beyond 32 bits. With ORBELLE_EMULATOR set (say "qemu-i386-static -L
# /usr/i686-linux-gnu") they run against a program of another architecture.
# Sourced by ../fault_matrix_test.sh, whose helpers it uses.

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

run_group() {
    if [[ -n ${ORBELLE_SANITIZED:-} ]]; then
        echo "NOTE: g1 and g2 run on the normal build only: the sanitizer runtime takes no preload"
        return
    fi
    case_past_2038
    case_large_inode
}
