# Fault matrix, group d. Copies renamed to names holding "%00" and "%01".
# Sourced by ../fault_matrix_test.sh, whose helpers it uses.

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

run_group() {
    case_renamed 'a%00b'
    case_renamed '%01'
    case_renamed 'p%00q.r%01'
}
