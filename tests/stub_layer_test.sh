#!/usr/bin/env bash
# The stub layers a port starts from still build: OrbelleC configured and
# built on each (stub: standard C++ only; posix-stub: support/posix/ with the
# stubs of what a POSIX system writes for itself, in place of linux/), and
# run, ends with exit status 1 and one line that names the first operation a
# port must write.
#   usage: stub_layer_test.sh SOURCE-DIR BUILD-DIR GENERATOR CXX-COMPILER
set -uo pipefail
SOURCE=$1 BUILD=$2 GENERATOR=$3 CXX=$4
fail() { echo "FAIL: $*"; exit 1; }

for layer in stub posix-stub; do
    build=$BUILD/$layer missing=kxRegisterAppPath
    [ "$layer" = stub ] || missing=posix_detail::RunningImagePath
    mkdir -p "$build"
    cmake -S "$SOURCE" -B "$build" -G "$GENERATOR" -DCMAKE_CXX_COMPILER="$CXX" -DORBELLE_OS_LAYER="$layer" \
          -DORBELLE_WINDOWED=OFF -DBUILD_TESTING=OFF -DORBELLE_WERROR=ON \
          >"$build.log" 2>&1 || { cat "$build.log"; fail "configuring on the $layer layer"; }
    cmake --build "$build" --target OrbelleC >"$build.log" 2>&1 ||
        { cat "$build.log"; fail "building OrbelleC on the $layer layer"; }

    "$build/OrbelleC" /I >"$build/out" 2>"$build/err"
    status=$?
    expected="Orbelle: run-time error: finding the program's own file failed (status -38: \
$missing is not written for this system yet (stub layer))"
    [ $status -eq 1 ] || fail "$layer: exit status $status, not 1"
    [ ! -s "$build/out" ] || fail "$layer: standard output: $(cat "$build/out")"
    [ "$(cat "$build/err")" = "$expected" ] || fail "$layer: standard error: $(cat "$build/err")"
    [ "$(wc -l <"$build/err")" -eq 1 ] || fail "$layer: not one line on standard error"
done
echo "PASS: OrbelleC builds on both stub layers and says which operation is missing"
