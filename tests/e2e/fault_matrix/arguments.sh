# Fault matrix, group c. Hostile argument texts: 1 MiB, invalid UTF-8, control characters, only blanks.
# Sourced by ../fault_matrix_test.sh, whose helpers it uses.

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

run_group() {
    case_args_huge
    args_variants_case "c4 invalid UTF-8 (bytes FF FE, trailing FF, overlong '/', surrogate): usage" usage \
        $'\xff\xfe\xc3(' $'/I:V\xff' $'\xc0\xafI:V' $'/I:V \xed\xa0\x80'
    args_variants_case "c5 embedded control characters: usage" usage \
        $'/I\x01' $'\x1b[2J' $'/I:V\x01/F' $'/I:V /F\x7f' $'\x1b]0;x\x07/I'
    args_variants_case "c6 only tabs: the full report" full $'\t\t' $'\t'
    args_case "c7 only blanks (one argument of blanks): the full report" full '    '
    args_case "c8 only blanks (two empty arguments): the full report" full '' ''
}
