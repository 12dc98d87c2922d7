#!/usr/bin/env bash
# What a user installs: the install tree, the manual pages, the Debian
# packages and the Windows ZIP.
#   usage: packages_test.sh install|manuals BUILD-DIR
#          packages_test.sh debian BUILD-DIR CROSS-BUILDS (build-cross/, for arm64 and i386)
#          packages_test.sh zip BUILD-DIR WIN64-BUILD WIN32-BUILD
#          packages_test.sh setup BUILD-DIR WIN64-BUILD WINE-PREFIX (64-bit, started)
set -u
mode=${1:?} BUILD=${2:?}
PACKAGES=$BUILD/packages
VERSION=1.4.0.112
ABOUT=$'Brenvik - Pavik system info (console) 1.04.0112\nCopyright (C) 2026 Brenvik - Pavik'
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/report.sh"
check() { if [ "$2" = "$3" ]; then report "$1"; else report "$1" "got:" "$2" "expected:" "$3"; fi; }
finish() { printf '%d passed, %d failed\n' "$PASSED" "$FAILED"; [ "$FAILED" -eq 0 ]; exit; }
TMP=$(mktemp -d /tmp/orbelle-packages.XXXXXX) || exit 1
trap 'rm -rf "$TMP"' EXIT

CONSOLE_FILES="usr/bin/OrbelleC
usr/lib/systemd/system/orbelle-report.service
usr/lib/systemd/system/orbelle-report.timer
usr/share/doc/orbelle-console/changelog.gz
usr/share/doc/orbelle-console/copyright
usr/share/man/man1/OrbelleC.1.gz"
DESKTOP_FILES="usr/bin/Orbelle
usr/share/applications/orbelle.desktop
usr/share/doc/orbelle-desktop/changelog.gz
usr/share/doc/orbelle-desktop/copyright
usr/share/icons/hicolor/128x128/apps/orbelle.png
usr/share/icons/hicolor/16x16/apps/orbelle.png
usr/share/icons/hicolor/32x32/apps/orbelle.png
usr/share/icons/hicolor/48x48/apps/orbelle.png
usr/share/man/man1/Orbelle.1.gz
usr/share/metainfo/example.brenvik_pavik.orbelle.metainfo.xml"

# run_installed BIN DIR: the installed programs, as a user runs them
run_installed() {
    local console=$1/OrbelleC windowed=$1/Orbelle label=$2
    check "$label: OrbelleC /A" "$(cd "$TMP" && "$console" /A)" "$ABOUT"
    check "$label: OrbelleC /I:V is the built program's report" \
        "$(cd "$TMP" && "$console" /I:V)" "$("$BUILD/OrbelleC" /I:V)"
    mkdir -p "$TMP/$label" && (cd "$TMP/$label" && env -u DISPLAY -u WAYLAND_DISPLAY "$windowed" /I:V /F)
    check "$label: Orbelle /I:V /F without a display" \
        "$(head -n 1 "$TMP/$label/Orbelle.TXT" 2>/dev/null)" $'Brenvik - Pavik system info 1.04.0112\r'
}

case $mode in
install)
    DESTDIR=$TMP/root cmake --install "$BUILD" --prefix /usr >"$TMP/install.log" 2>&1 ||
        { report "cmake --install" "$(tail -n 5 "$TMP/install.log")"; finish; }
    check "installed files" "$(cd "$TMP/root" && find . -type f | sed 's|^\./||' | sort)" \
        "$(printf '%s\n%s\n' "$CONSOLE_FILES" "$DESKTOP_FILES" | sort)"
    run_installed "$TMP/root/usr/bin" destdir
    check "desktop entry opens the full report" \
        "$(grep '^Exec=' "$TMP/root/usr/share/applications/orbelle.desktop")" "Exec=Orbelle /I"
    check "desktop-file-validate" \
        "$(desktop-file-validate "$TMP/root/usr/share/applications/orbelle.desktop" 2>&1)" ""
    check "appstreamcli validate: no error, no warning" "$(appstreamcli validate --no-net \
        "$TMP/root/usr/share/metainfo/example.brenvik_pavik.orbelle.metainfo.xml" 2>&1 |
        grep -E '^[EW]:')" ""
    for size in 16 32 48 128; do
        check "icon ${size}px" "$(identify -format '%m %w %h' \
            "$TMP/root/usr/share/icons/hicolor/${size}x${size}/apps/orbelle.png")" "PNG $size $size"
    done
    ;;
manuals)
    for page in OrbelleC Orbelle; do
        file=$BUILD/generated/man/$page.1
        warnings=$(groff -ww -man -Tutf8 "$file" 2>&1 >/dev/null)
        check "$page.1: groff -ww gives no warning" "$warnings" ""
        rendered=$(MANWIDTH=80 man -l "$file" 2>"$TMP/man.err")
        check "$page.1: man -l renders it" "$(cat "$TMP/man.err")" ""
        missing=()
        for text in /I /I:A /I:V /I:MS /I:MI /I:PI /I:LI /I:LI2 /F /F:A /F:U /E /A /ABOUT '/?' \
                    /USAGE /HELP "$page.TXT" "journalctl -t $page" "EXIT STATUS" EXAMPLES MIT "dpkg -r" \
                    install_manifest.txt "CR LF" "LF" "Russian" "exit status 0" swap \
                    "MESSAGE_ID=703b1144aadb45e18a2c29115422acd3"; do
            grep -qF -- "$text" <<<"$rendered" || missing+=("$text")
        done
        check "$page.1: names every command, the file, the journal, exit statuses, examples" \
            "${missing[*]}" ""
    done
    missing=()   # the journal's fields and the daily report, in the console program's page
    for text in ORBELLE_REPORT_KIND ORBELLE_VERSION ORBELLE_MEMORY_LOAD_PERCENT \
                ORBELLE_MEMORY_{AVAILABLE,TOTAL}_{PHYSICAL,PAGE_FILE,VIRTUAL}_BYTES \
                ORBELLE_MEMORY_USED_PAGE_FILE_BYTES ORBELLE_PAGE_SIZE_BYTES \
                ORBELLE_ALLOCATION_GRANULARITY_BYTES ORBELLE_{MINIMUM,MAXIMUM}_APPLICATION_ADDRESS \
                ORBELLE_PROCESSOR_{ARCHITECTURE,LEVEL,REVISION,COUNT,ACTIVE_MASK} \
                ORBELLE_OS_BITNESS ORBELLE_OS_NAME orbelle-report.service \
                "systemctl enable --now orbelle-report.timer"; do
        grep -qF -- "$text" <<<"$(MANWIDTH=200 man -l "$BUILD/generated/man/OrbelleC.1" 2>/dev/null)" ||
            missing+=("$text")
    done
    check "OrbelleC.1: the table of the journal's fields and the daily report" "${missing[*]}" ""
    # The Windows Event Forwarding subscription shipped in the sources.
    check "orbelle-wef-subscription.xml: well-formed, a source-initiated query for event 1 of both programs" \
        "$(python3 - "$(dirname "$0")/../../cmake/windows/orbelle-wef-subscription.xml" 2>&1 <<'PY'
import sys, xml.etree.ElementTree as ET
ns = {"s": "http://schemas.microsoft.com/2006/03/windows/events/subscription"}
root = ET.parse(sys.argv[1]).getroot()
query = ET.fromstring(root.find("s:Query", ns).text.strip())
select = query.find("Query/Select")
print(root.find("s:SubscriptionType", ns).text, root.find("s:LogFile", ns).text,
      query.find("Query").get("Path"), select.get("Path"), select.text)
PY
)" "SourceInitiated ForwardedEvents Application Application *[System[Provider[@Name='OrbelleC' or @Name='Orbelle'] and (EventID=1)]]"
    ;;
debian)
    console=$PACKAGES/orbelle-console_${VERSION}_amd64.deb
    desktop=$PACKAGES/orbelle-desktop_${VERSION}_amd64.deb
    cross=()
    for arch in arm64 i386; do
        cross+=("${3:?CROSS-BUILDS}/$arch/packages/orbelle-console_${VERSION}_$arch.deb")
    done
    for deb in "$console" "$desktop" "${cross[@]}"; do
        [ -f "$deb" ] || { report "package" "$deb is missing: run make package"; finish; }
    done
    for deb in "${cross[@]}"; do
        arch=$(basename "$deb" .deb) arch=${arch##*_}
        check "orbelle-console for $arch: Architecture" "$(dpkg-deb -f "$deb" Architecture)" "$arch"
        check "orbelle-console for $arch: contents" "$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)" "$CONSOLE_FILES"
    done
    check "orbelle-console contents" "$(dpkg-deb --contents "$console" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)" "$CONSOLE_FILES"
    check "orbelle-desktop contents" "$(dpkg-deb --contents "$desktop" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort)" "$DESKTOP_FILES"
    console_depends=$(dpkg-deb -f "$console" Depends)
    desktop_depends=$(dpkg-deb -f "$desktop" Depends)
    if grep -qi qt <<<"$console_depends"; then report "console depends" "Qt: $console_depends"
    else report "console package does not depend on Qt"; fi
    if grep -q libqt6widgets6 <<<"$desktop_depends"; then report "desktop package depends on Qt Widgets"
    else report "desktop depends" "$desktop_depends"; fi
    check "copyright: the MIT (Expat) licence" "$(dpkg-deb --fsys-tarfile "$console" |
        tar -xOf - ./usr/share/doc/orbelle-console/copyright | grep '^License:' | sort -u)" "License: Expat"
    lintian -I -E --pedantic --fail-on error "$console" "$desktop" "${cross[@]}" >"$TMP/lintian" 2>&1
    status=$?
    if [ "$status" -eq 0 ] && ! grep -q '^E:' "$TMP/lintian"; then report "lintian: no error"
    else report "lintian" "$(grep -v 'root privileges' "$TMP/lintian" | head -n 20)"; fi
    # -E shows the experimental tags: binary-file-built-without-LFS-support is one.
    check "lintian: hardened and stripped binaries, 64-bit file offsets on 32-bit ones" \
        "$(grep -E 'hardening-|binary-has-unneeded-section|binary-file-built-without-LFS-support' "$TMP/lintian")" ""
    # Installed for real, then taken away again unless it was there before.
    was_installed=$(dpkg-query -W -f='${Status}\n' orbelle-console orbelle-desktop 2>/dev/null | grep -c 'ok installed')
    if dpkg -i "$console" "$desktop" >"$TMP/dpkg.log" 2>&1; then
        report "dpkg -i"
        run_installed /usr/bin dpkg
        check "manual page found by man" "$(man -w OrbelleC 2>&1)" "/usr/share/man/man1/OrbelleC.1.gz"
        units=(/usr/lib/systemd/system/orbelle-report.service /usr/lib/systemd/system/orbelle-report.timer)
        check "systemd-analyze verify: the report's service and timer" \
            "$(systemd-analyze verify "${units[@]}" 2>&1; echo "status $?")" "status 0"
        check "the report's timer is installed disabled" \
            "$(systemctl --root=/ is-enabled orbelle-report.timer 2>&1)" "disabled"
        exposure=$(systemd-analyze security --offline=true "${units[0]}" 2>&1 |
            sed -n 's/^→ Overall exposure level for orbelle-report.service: \([0-9.]*\).*/\1/p')
        check "the report's service is sandboxed: exposure at most 1.0 (got ${exposure:-none})" \
            "$(awk -v e="${exposure:-99}" 'BEGIN { print (e <= 1.0) ? "safe" : "exposed" }')" "safe"
    else
        report "dpkg -i" "$(tail -n 10 "$TMP/dpkg.log")"
    fi
    if [ "$was_installed" -eq 0 ]; then
        dpkg -r orbelle-desktop orbelle-console >"$TMP/dpkg-r.log" 2>&1 ||
            report "dpkg -r" "$(tail -n 5 "$TMP/dpkg-r.log")"
    fi
    ;;
zip)
    zip=$PACKAGES/Orbelle-$VERSION-windows.zip
    [ -f "$zip" ] || { report "zip" "$zip is missing: run make package"; finish; }
    check "zip contents" "$(unzip -Z1 "$zip" | grep -v '/$' | sort)" \
        "$(printf "Orbelle-$VERSION-windows/%s\n" LICENSE.TXT README.TXT x64/Orbelle.exe \
            x64/OrbelleC.exe x86/Orbelle.exe x86/OrbelleC.exe | sort)"
    unzip -q "$zip" -d "$TMP/zip"
    for text in README.TXT LICENSE.TXT; do
        file=$TMP/zip/Orbelle-$VERSION-windows/$text
        check "$text has CR LF line ends" "$(grep -c $'\r$' "$file")" "$(wc -l <"$file")"
    done
    check "LICENSE.TXT is LICENSE" "$(tr -d '\r' <"$TMP/zip/Orbelle-$VERSION-windows/LICENSE.TXT")" \
        "$(cat "$(dirname "$0")/../../LICENSE")"
    for arch in x64:${3:?WIN64-BUILD} x86:${4:?WIN32-BUILD}; do
        check "${arch%%:*} executables are the builds'" \
            "$(cd "$TMP/zip/Orbelle-$VERSION-windows/${arch%%:*}" && sha256sum OrbelleC.exe Orbelle.exe | awk '{print $1}')" \
            "$(cd "${arch#*:}" && sha256sum OrbelleC.exe Orbelle.exe | awk '{print $1}')"
    done
    ;;
setup)
    setup=$PACKAGES/Orbelle-$VERSION-setup.exe
    [ -f "$setup" ] || { report "setup" "$setup is missing: run make package"; finish; }
    export WINEPREFIX=${4:?WINE-PREFIX} WINEDEBUG=-all
    wine32=/usr/lib/wine/wine wine64=/usr/lib/wine/wine64 win64=${3:?WIN64-BUILD}
    folder='C:\Program Files\Orbelle' dir="$WINEPREFIX/drive_c/Program Files/Orbelle"
    link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orbelle.lnk"
    uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orbelle'
    sources='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application'
    query() { "$wine64" reg query "$1" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^    //p'; }
    check "setup version information" "$(strings -el "$setup" | grep -A1 -x -e FileDescription -e ProductVersion)" \
        "$(printf '%s\n' FileDescription "Orbelle $VERSION Setup" -- ProductVersion "$VERSION")"
    check "silent install" "$("$wine32" "$setup" /S </dev/null >/dev/null 2>&1; echo $?)" 0
    check "installed files" "$(ls "$dir")" "$(printf '%s\n' LICENSE.TXT Orbelle.exe OrbelleC.exe Uninstall.exe)"
    check "x64 executables on 64-bit Windows" "$(cd "$dir" && sha256sum OrbelleC.exe Orbelle.exe | awk '{print $1}')" \
        "$(cd "$win64" && sha256sum OrbelleC.exe Orbelle.exe | awk '{print $1}')"
    check "LICENSE.TXT is LICENSE with CR LF" "$(cat "$dir/LICENSE.TXT")" "$(sed 's/$/\r/' "$(dirname "$0")/../../LICENSE")"
    check "Start-menu shortcut runs Orbelle.exe /I" \
        "$(strings -n 2 "$link" | grep -x '.:.*'; strings -n 2 -el "$link" | tail -n 1)" "$folder\\Orbelle.exe
/I"
    check "Apps and Features entry" "$(query "$uninstall" | grep -v -e ^NoModify -e ^NoRepair -e ^InstallLocation)" \
        "DisplayIcon    REG_SZ    $folder\\Orbelle.exe,0
DisplayName    REG_SZ    Orbelle
DisplayVersion    REG_SZ    $VERSION
EstimatedSize    REG_DWORD    $(printf '0x%x' $(($(cat "$dir"/* | wc -c) / 1024)))
Publisher    REG_SZ    Brenvik - Pavik
QuietUninstallString    REG_SZ    \"$folder\\Uninstall.exe\" /S
UninstallString    REG_SZ    \"$folder\\Uninstall.exe\""
    for name in OrbelleC Orbelle; do
        check "event source $name" "$(query "$sources\\$name")" "EventMessageFile    REG_EXPAND_SZ    $folder\\$name.exe
TypesSupported    REG_DWORD    0x7"
    done
    mkdir "$TMP/run" && cd "$TMP/run" || finish
    check "installed OrbelleC /I:V" "$("$wine64" "$folder\\OrbelleC.exe" /I:V </dev/null | tail -n 1)" $'Running 64-bit system\r'
    "$wine64" "$folder\\OrbelleC.exe" /F </dev/null
    check "installed OrbelleC /F" "$(head -n 1 OrbelleC.TXT)" $'Brenvik - Pavik system info (console) 1.04.0112\r'
    # An event-log entry's text (the report file without its date line), as
    # Event Viewer shows it: the message table gives back the text alone.
    "$wine64" "$folder\\OrbelleC.exe" /I /F:U </dev/null
    iconv -f UTF-16 -t UTF-8 OrbelleC.TXT | sed 2d | iconv -f UTF-8 -t UTF-16LE >entry
    for name in OrbelleC Orbelle; do
        "$wine64" "$win64/orbelle_format_message.exe" "$folder\\$name.exe" entry shown </dev/null
        check "$name's message table shows an entry's text exactly" "$(cmp entry shown 2>&1)" ""
    done
    cd "$TMP" || finish
    check "silent uninstall" "$("$wine32" "$folder\\Uninstall.exe" /S </dev/null >/dev/null 2>&1; echo $?)" 0
    # It goes on from a copy of itself in TEMP; the folder goes last.
    for _ in $(seq 60); do [ -d "$dir" ] || break; sleep 1; done
    check "uninstall leaves none of it" "$(ls -d "$dir" "$link" 2>&1 | grep -v 'No such'
        for key in "$uninstall" "$sources\\OrbelleC" "$sources\\Orbelle"; do [ -z "$(query "$key")" ] || echo "$key"; done)" ""
    ;;
*) report usage "unknown mode $mode" ;;
esac
finish
