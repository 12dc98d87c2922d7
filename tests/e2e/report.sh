# Sourced by the end-to-end scripts: one PASS or FAIL line per case, counted.
PASSED=0 FAILED=0
report() {   # NAME then reasons; no reason means PASS
    local name=$1; shift
    if (($# == 0)); then
        echo "PASS: $name"; PASSED=$((PASSED + 1))
    else
        echo "FAIL: $name"; printf '    %s\n' "$@"; FAILED=$((FAILED + 1))
    fi
}
