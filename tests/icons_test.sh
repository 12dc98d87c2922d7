#!/usr/bin/env bash
# The committed icon files hold the images the resources need: per file, each
# image's format, size and colour depth in bits, as ImageMagick's identify
# reads them, in the file's order.
#   usage: bash tests/icons_test.sh RESOURCES-DIR
set -u
source "$(dirname "${BASH_SOURCE[0]}")/e2e/report.sh"
RESOURCES=${1:?RESOURCES-DIR}

if ! command -v identify >/dev/null; then
    report "identify" "ImageMagick's identify is not installed"
else
    while read -r file expected; do
        got=$(identify -format '%m %wx%h:%z ' "$RESOURCES/$file" 2>&1)
        got=${got% }
        if [[ $got == "$expected" ]]; then report "$file"
        else report "$file" "got:      $got" "expected: $expected"; fi
    done <<'TABLE'
A_MAIN_0000.ico ICO 48x48:4 ICO 32x32:4 ICO 16x16:4
A_MAIN_0001.ico ICO 48x48:8 ICO 32x32:8 ICO 16x16:8
A_MAIN_0002.ico ICO 48x48:4 ICO 32x32:4 ICO 16x16:4
ICON_1.ico ICO 32x32:1 ICO 32x32:4 ICO 16x16:4
orbelle-16.png PNG 16x16:8
orbelle-32.png PNG 32x32:8
orbelle-48.png PNG 48x48:8
TABLE
fi
echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
