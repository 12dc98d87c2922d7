#!/usr/bin/env bash
# Valgrind memcheck over every command text the console program knows: the
# five about/usage texts and the 45 reports, as the tests' reference table
# lists them (print_report_commands). Each run has its own fresh current
# directory (so /F writes there) and LC_ALL=C.UTF-8; two run at a time.
#   usage: bash tests/e2e/memcheck_test.sh /path/to/OrbelleC /path/to/print_report_commands
# A run passes when memcheck reports no error and no definitely or indirectly
# lost block, the exit status is 0 (for /E also 1: no journal may be running,
# which must then be the one-line run-time error), and the command took its
# own path: about/usage/report text on stdout, or exactly the report file.
set -u
set -f   # no pathname expansion: '/?' is an argument, not a pattern

RUN_LIMIT=100      # seconds for one command under valgrind
TOTAL_LIMIT=280    # seconds for all of them
JOBS=2
# shellcheck disable=SC2054 # the commas belong to one option
VALGRIND_OPTIONS=(--tool=memcheck --error-exitcode=99 --leak-check=full
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
    --num-callers=30 --child-silent-after-fork=yes)

commands() {   # one command text a line, in a fixed order
    printf '%s\n' /A /ABOUT /? /USAGE /HELP
    "$REPORT_COMMANDS"
}

# ------------------------------------------------------------ one command
# --one WORK INDEX: runs command INDEX and writes WORK/runINDEX/verdict:
# "PASS" or "FAIL" then one reason a line.
one_command() {
    local work=$1 index=$2 text dir args rc why=() name
    text=$(sed -n "$((index + 1))p" -- "$work/commands")
    dir=$work/run$index
    mkdir -p "$dir/cwd"
    read -r -a args <<<"$text"
    name=$(basename -- "$BIN"); name=${name%.*}
    (cd "$dir/cwd" && exec timeout --foreground -k 5 "$RUN_LIMIT" \
        valgrind "${VALGRIND_OPTIONS[@]}" --log-file="$dir/valgrind.log" \
        "$BIN" "${args[@]}" >"$dir/out" 2>"$dir/err")
    rc=$?

    # memcheck's own verdict
    local summary leaks
    summary=$(grep -a -m1 'ERROR SUMMARY:' "$dir/valgrind.log" 2>/dev/null | sed 's/^==[0-9]*== //')
    if [[ -z $summary ]]; then
        why+=("valgrind wrote no ERROR SUMMARY (exit status $rc): $(head -c 300 "$dir/valgrind.log" 2>/dev/null | tr '\n' '|')")
    elif [[ $summary != "ERROR SUMMARY: 0 errors"* ]]; then
        why+=("$summary")
    fi
    leaks=$(grep -a -E '(definitely|indirectly) lost: [1-9]' "$dir/valgrind.log" | sed 's/^==[0-9]*== *//' | tr '\n' ';')
    [[ -n $leaks ]] && why+=("leaks: $leaks")
    if ((${#why[@]} > 0)); then   # the first error reports, for the reader
        why+=("valgrind log (first 40 lines after the banner):")
        mapfile -t -O "${#why[@]}" why < <(grep -a -v -E '^==[0-9]+== (Memcheck|Copyright|Using Valgrind|Command|Parent PID|$)' \
            "$dir/valgrind.log" | sed 's/^==[0-9]*== /  /' | head -40)
    fi

    # the program's own result
    local is_e=no stdout_kind
    [[ $text == */E ]] && is_e=yes
    case $rc in
        0) [[ -s $dir/err ]] && why+=("stderr not empty: $(head -c 200 "$dir/err" | cat -v | tr '\n' '|')") ;;
        1) if [[ $is_e == no ]]; then
               why+=("exit status 1: $(head -c 200 "$dir/err" | cat -v | tr '\n' '|')")
           elif [[ $(wc -l <"$dir/err") -ne 1 || $(head -c 200 "$dir/err") != "$name: run-time error: "* ]]; then
               why+=("exit status 1 without the one-line run-time error: $(head -c 200 "$dir/err" | cat -v | tr '\n' '|')")
           fi ;;
        99) ;;   # memcheck found errors: reported above
        124) why+=("timed out after $RUN_LIMIT s") ;;
        *) why+=("exit status $rc$( ((rc > 128)) && echo " (signal $((rc - 128)))")") ;;
    esac
    local created
    created=$(find "$dir/cwd" -mindepth 1 -maxdepth 1 -printf '%f ')
    case $text in
        /A | /ABOUT) stdout_kind=about ;;
        '/?' | /USAGE | /HELP) stdout_kind=usage ;;
        */F | */F:A | */F:U) stdout_kind='file' ;;
        */E) stdout_kind=none ;;
        *) stdout_kind=report ;;
    esac
    if [[ $stdout_kind == file ]]; then
        [[ $created == "$name.TXT " && -s $dir/cwd/$name.TXT ]] ||
            why+=("current directory holds [$created], expected a non-empty $name.TXT alone")
    elif [[ -n $created ]]; then
        why+=("files left in the current directory: $created")
    fi
    if [[ $stdout_kind == file || $stdout_kind == none ]]; then
        [[ -s $dir/out ]] && why+=("stdout not empty: $(head -c 200 "$dir/out" | cat -v | tr '\n' '|')")
    elif [[ ! -s $dir/out || $(tail -c 1 "$dir/out" | od -An -tx1 | tr -d ' ') != 0a ]] ||
        grep -a -q $'\r' "$dir/out"; then
        why+=("stdout is empty or does not end its lines in LF alone")
    elif [[ $stdout_kind == usage ]]; then
        grep -a -q -F "${name}[.EXE] [[/I" "$dir/out" || why+=("stdout is not the usage")
    elif grep -a -q -F '[.EXE]' "$dir/out"; then
        why+=("stdout is the usage, expected the $stdout_kind text")
    elif [[ $stdout_kind == about && $(wc -l <"$dir/out") -ne 2 ]]; then
        why+=("stdout is not the two-line about text: $(head -c 200 "$dir/out" | cat -v | tr '\n' '|')")
    fi

    local label=${text:-(no argument)}
    ((rc == 1)) && [[ $is_e == yes ]] && label+=" (no journal: run-time error, exit 1)"
    { if ((${#why[@]} == 0)); then echo "PASS: $label"; else echo "FAIL: $label"; printf '    %s\n' "${why[@]}"; fi; } \
        >"$dir/verdict.tmp" && mv -- "$dir/verdict.tmp" "$dir/verdict"
}

# ------------------------------------------------------------------- main
XARGS_PID=''
source "$(dirname "$(readlink -f -- "${BASH_SOURCE[0]}")")/report.sh"

setup_failure() { report "setup" "$@"; echo "$PASSED passed, $FAILED failed"; exit 1; }

stop_jobs() {   # the xargs process group: xargs, its shells, timeouts, valgrinds
    [[ -n $XARGS_PID ]] || return 0
    kill -TERM -- "-$XARGS_PID" 2>/dev/null
    local i
    for ((i = 0; i < 50; i++)); do kill -0 -- "-$XARGS_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$XARGS_PID" 2>/dev/null
    wait "$XARGS_PID" 2>/dev/null
    XARGS_PID=
}

print_verdicts() {
    local i count
    count=$(wc -l <"$WORK/commands")
    for ((i = 0; i < count; i++)); do
        if [[ -s $WORK/run$i/verdict ]]; then
            if [[ $(head -n 1 "$WORK/run$i/verdict") == PASS:* ]]; then PASSED=$((PASSED + 1)); else FAILED=$((FAILED + 1)); fi
            cat -- "$WORK/run$i/verdict"
        else
            report "$(sed -n "$((i + 1))p" "$WORK/commands")" "no result: ${1:-the run did not finish}"
        fi
    done
}

main() {
    BIN=${1:-} REPORT_COMMANDS=${2:-}
    local tool missing=()
    for tool in valgrind timeout xargs setsid find sed grep od; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    ((${#missing[@]} == 0)) || setup_failure "required tools not found: ${missing[*]}"
    [[ -n $BIN && -f $BIN && -x $BIN ]] || setup_failure "program under test not given or not executable: '$BIN'"
    [[ -x $REPORT_COMMANDS ]] || setup_failure "print_report_commands not given or not executable: '$REPORT_COMMANDS'"
    BIN=$(readlink -f -- "$BIN")
    SELF=$(readlink -f -- "$0")
    export BIN RUN_LIMIT LC_ALL=C.UTF-8
    unset LANG LANGUAGE DEBUGINFOD_URLS

    WORK=$(mktemp -d "${TMPDIR:-/tmp}/orbelle-memcheck.XXXXXX") || setup_failure "mktemp failed"
    trap 'stop_jobs; rm -rf -- "$WORK"' EXIT
    trap 'stop_jobs; print_verdicts "interrupted"; report "interrupted" "stopped by a signal"; echo "$PASSED passed, $FAILED failed"; exit 143' INT TERM
    commands >"$WORK/commands"
    [[ $(wc -l <"$WORK/commands") -eq 50 ]] || setup_failure "the command list does not hold 50 texts"

    # setsid: xargs leads its own process group, so that everything below
    # it (shells, timeouts, valgrind) can be stopped by that group's id.
    seq 0 49 | setsid xargs -P "$JOBS" -n 1 bash "$SELF" --one "$WORK" &
    XARGS_PID=$!
    while kill -0 "$XARGS_PID" 2>/dev/null; do
        if ((SECONDS > TOTAL_LIMIT)); then
            stop_jobs
            print_verdicts "stopped after the $TOTAL_LIMIT s limit"
            echo "$PASSED passed, $FAILED failed"
            exit 1
        fi
        sleep 0.5
    done
    wait "$XARGS_PID"
    XARGS_PID=
    print_verdicts
    echo "$PASSED passed, $FAILED failed"
    ((FAILED == 0))
}

if [[ ${1:-} == --one ]]; then
    one_command "$2" "$3"
else
    main "$@"
fi
