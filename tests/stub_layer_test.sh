#!/usr/bin/env bash
# The stub layer (support/stub/), which a port starts from, still builds:
# OrbelleC configured and built on it, and run, ends with exit status 1 and
# one line that names the first operation a port must write.
#   usage: stub_layer_test.sh SOURCE-DIR BUILD-DIR GENERATOR CXX-COMPILER
set -uo pipefail
SOURCE=$1 BUILD=$2 GENERATOR=$3 CXX=$4
fail() { echo "FAIL: $*"; exit 1; }

cmake -S "$SOURCE" -B "$BUILD" -G "$GENERATOR" -DCMAKE_CXX_COMPILER="$CXX" \
      -DORBELLE_OS_LAYER=stub -DORBELLE_WINDOWED=OFF -DBUILD_TESTING=OFF -DORBELLE_WERROR=ON \
      >"$BUILD.log" 2>&1 || { cat "$BUILD.log"; fail "configuring on the stub layer"; }
cmake --build "$BUILD" --target OrbelleC >"$BUILD.log" 2>&1 ||
    { cat "$BUILD.log"; fail "building OrbelleC on the stub layer"; }

"$BUILD/OrbelleC" /I >"$BUILD/out" 2>"$BUILD/err"
status=$?
expected="Orbelle: run-time error: finding the program's own file failed (status -38: \
kxRegisterAppPath is not written for this system yet (stub layer))"
[ $status -eq 1 ] || fail "exit status $status, not 1"
[ ! -s "$BUILD/out" ] || fail "standard output: $(cat "$BUILD/out")"
[ "$(cat "$BUILD/err")" = "$expected" ] || fail "standard error: $(cat "$BUILD/err")"
[ "$(wc -l <"$BUILD/err")" -eq 1 ] || fail "not one line on standard error"
echo "PASS: OrbelleC builds on the stub layer and says which operation is missing"
