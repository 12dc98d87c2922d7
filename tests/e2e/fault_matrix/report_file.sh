# Fault matrix, group a. The report file cannot be written: a directory or a symlink at its name,
# a full disk, a file-size limit (an unwritable directory: files_test.cpp).
# Sourced by ../fault_matrix_test.sh, whose helpers it uses.

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

run_group() {
    case_name_is_directory
    case_name_is_symlink file
    case_name_is_symlink dangling
    case_disk_full
    case_file_size_limit
}
