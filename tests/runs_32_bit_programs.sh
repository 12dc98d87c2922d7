#!/usr/bin/env bash
# Whether this machine runs 32-bit x86 programs, which Wine's 32-bit half and
# the x86 Windows executables need. Some x86-64 kernels are built without that
# support; a test that needs it then skips instead of failing.
#   exit 0   it does
#   exit 77  the kernel cannot (one line on stdout says so)
#   exit 1   something else is wrong (the 32-bit loader is missing, say)
# A test that needs it runs it first and exits with its status when not 0.
set -u
export LC_ALL=C # the loader's error is matched in English
loader=/lib/ld-linux.so.2 # libc6-i386, which Wine's 32-bit half depends on
if [[ ! -e $loader ]]; then
    echo "$loader is missing: install the test packages (scripts/install-deps --test)" >&2
    exit 1
fi
error=$("$loader" --version 2>&1 >/dev/null) && exit 0
if [[ $error == *"Exec format error"* ]]; then
    echo "skipped: this kernel cannot run 32-bit programs (Exec format error)"
    exit 77
fi
echo "$loader --version failed: $error" >&2
exit 1
