#!/usr/bin/env bash
# The C++ sources follow the committed .clang-format.
#   usage: bash tests/clang_format_test.sh SOURCE-DIR
set -u
cd "${1:?SOURCE-DIR}" || exit 1
command -v clang-format >/dev/null || { echo "FAIL: clang-format is not installed"; exit 1; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else   # a source tree without git: the source folders
    mapfile -t files < <(find core console dialog support tests fuzz bench cmake \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null)
fi
((${#files[@]} > 0)) || { echo "FAIL: no C++ sources found"; exit 1; }
clang-format --dry-run --Werror "${files[@]}" || { echo "FAIL: run clang-format -i on the files above"; exit 1; }
echo "PASS: ${#files[@]} files follow .clang-format"
