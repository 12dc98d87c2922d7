# Fault matrix, group e. Standard output closed, full, or a pipe without a reader.
# Sourced by ../fault_matrix_test.sh, whose helpers it uses.

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

run_group() {
    case_stdout closed "e1 stdout closed: '/I', '/?' exit 0; '/I:V /F' writes the right file"
    case_stdout full "e2 stdout is /dev/full: '/I', '/?' fail with the error line"
    case_stdout gone "e3 stdout is a pipe whose reader has gone (SIGPIPE default): exit 0, no signal"
}
