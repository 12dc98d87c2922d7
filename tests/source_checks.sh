#!/usr/bin/env bash
# The sources pass their checkers: the C++ sources follow the committed
# .clang-format; every shell script, sourced parts too, passes shellcheck
# (with the committed .shellcheckrc).
#   usage: bash tests/source_checks.sh clang-format|shellcheck SOURCE-DIR
set -u
tool=${1:?clang-format or shellcheck}
cd "${2:?SOURCE-DIR}" || exit 1
command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
if [[ $tool == shellcheck ]]; then   # *.sh, and the files whose first line runs a shell
    mapfile -t files < <(find scripts tests .ci fuzz/run bench/run -type f \( -name '*.sh' -o -exec \
        awk 'NR == 1 { exit !/^#!.*[\/ ](ba)?sh$/ }' {} \; \) -print 2>/dev/null | LC_ALL=C sort)
    check=(shellcheck) fix="fix what shellcheck says above"
else
    check=(clang-format --dry-run --Werror) fix="run clang-format -i on the files above"
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        mapfile -t files < <(git ls-files '*.cpp' '*.h')
    else   # a source tree without git: the source folders
        mapfile -t files < <(find core console dialog support tests fuzz bench cmake \
            \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null)
    fi
fi
((${#files[@]} > 0)) || { echo "FAIL: no files for $tool found"; exit 1; }
"${check[@]}" "${files[@]}" || { echo "FAIL: $fix"; exit 1; }
echo "PASS: ${#files[@]} files pass $tool"
