#!/usr/bin/env bash
# What a user installs: the install tree, the manual pages, the Debian
# packages, the Windows ZIP and the MSIs.
#   usage: packages_test.sh install|manuals BUILD-DIR
#          packages_test.sh debian BUILD-DIR
#          packages_test.sh zip BUILD-DIR WIN64-BUILD WIN32-BUILD
#          packages_test.sh msi BUILD-DIR WIN64-BUILD WIN32-BUILD WINE-PREFIX (64-bit, started) x64|x86
#          packages_test.sh signing BUILD-DIR
# shellcheck source-path=SCRIPTDIR
set -u
mode=${1:?} BUILD=${2:?}
PACKAGES=$BUILD/packages
VERSION=1.4.0.112
ABOUT=$'Brenvik - Pavik system info (console) 1.04.0112\nCopyright (C) 2026 Brenvik - Pavik'
# shellcheck source=../e2e/report.sh
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
# The Debian packages keep the units where Debian 12 has systemd's own.
DEB_CONSOLE_FILES=$(sort <<<"${CONSOLE_FILES//usr\/lib\/systemd\//lib/systemd/}")

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
)" "SourceInitiated ForwardedEvents Application Application \
*[System[Provider[@Name='OrbelleC' or @Name='Orbelle'] and (EventID=1)]]"
    ;;
debian)
    console=$PACKAGES/orbelle-console_${VERSION}_amd64.deb
    desktop=$PACKAGES/orbelle-desktop_${VERSION}_amd64.deb
    changes=$BUILD/debian/orbelle_${VERSION}_amd64.changes
    cross=("$PACKAGES/orbelle-console_${VERSION}_arm64.deb" "$PACKAGES/orbelle-console_${VERSION}_i386.deb")
    for file in "$console" "$desktop" "${cross[@]}" "$PACKAGES/orbelle_$VERSION.dsc" "$changes"; do
        [ -f "$file" ] || { report "package" "$file is missing: run make package"; finish; }
    done
    contents() { dpkg-deb --contents "$1" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort; }
    for deb in "${cross[@]}"; do
        arch=$(basename "$deb" .deb) arch=${arch##*_}
        check "orbelle-console for $arch: Architecture" "$(dpkg-deb -f "$deb" Architecture)" "$arch"
        check "orbelle-console for $arch: contents" "$(contents "$deb")" "$DEB_CONSOLE_FILES"
        check "orbelle-console for $arch: Depends" "$(dpkg-deb -f "$deb" Depends)" "libsystemd0, libc6 (>= 2.35)"
    done
    check "orbelle-console contents" "$(contents "$console")" "$DEB_CONSOLE_FILES"
    check "orbelle-desktop contents" "$(contents "$desktop")" "$DESKTOP_FILES"
    console_depends=$(dpkg-deb -f "$console" Depends)
    desktop_depends=$(dpkg-deb -f "$desktop" Depends)
    if grep -qi qt <<<"$console_depends"; then report "console depends" "Qt: $console_depends"
    else report "console package does not depend on Qt"; fi
    if grep -q libqt6widgets6 <<<"$desktop_depends"; then report "desktop package depends on Qt Widgets"
    else report "desktop depends" "$desktop_depends"; fi
    check "copyright: the MIT (Expat) licence" "$(dpkg-deb --fsys-tarfile "$console" |
        tar -xOf - ./usr/share/doc/orbelle-console/copyright | grep '^License:' | sort -u)" "License: Expat"
    # Every tag, the experimental and pedantic ones too, on the source package
    # and every binary one: none (an override would be in debian/).
    lintian -I -E --pedantic "$changes" "${cross[@]}" 2>&1 | grep -v 'root privileges' >"$TMP/lintian"
    check "lintian -I -E --pedantic: the source package and the .debs of three architectures" \
        "$(head -n 20 "$TMP/lintian")" ""
    # Installed for real, then taken away again unless it was there before.
    was_installed=$(dpkg-query -W -f='${Status}\n' orbelle-console orbelle-desktop 2>/dev/null | grep -c 'ok installed')
    if dpkg -i "$console" "$desktop" >"$TMP/dpkg.log" 2>&1; then
        report "dpkg -i"
        run_installed /usr/bin dpkg
        check "manual page found by man" "$(man -w OrbelleC 2>&1)" "/usr/share/man/man1/OrbelleC.1.gz"
        units=(/lib/systemd/system/orbelle-report.service /lib/systemd/system/orbelle-report.timer)
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
    autopkgtest "$changes" -- null >"$TMP/autopkgtest.log" 2>&1
    if grep -q -x 'report-matches-machine *PASS' "$TMP/autopkgtest.log"; then
        report "autopkgtest: the installed OrbelleC against the machine"
    else report "autopkgtest" "$(tail -n 20 "$TMP/autopkgtest.log")"; fi
    if [ "$was_installed" -eq 0 ]; then
        dpkg -r orbelle-desktop orbelle-console >"$TMP/dpkg-r.log" 2>&1 ||
            report "dpkg -r" "$(tail -n 5 "$TMP/dpkg-r.log")"
        dpkg --purge orbelle-desktop orbelle-console >/dev/null 2>&1
    else
        finish
    fi
    # The maintainer scripts as on a machine whose systemd runs: each dpkg in a
    # mount namespace of its own with /run/systemd/system, where systemctl is a
    # stand-in that writes down what it is asked and answers is-enabled from
    # the links, for deb-systemd-invoke; a container's policy-rc.d allows all,
    # as a machine without one. deb-systemd-helper makes and removes the links.
    cat >"$TMP/systemctl" <<EOF
#!/bin/sh
echo "\$*" >>"$TMP/systemctl.log"
for unit; do :; done
case " \$* " in
*" is-enabled "*) [ -L "/etc/systemd/system/timers.target.wants/\$unit" ] && echo enabled && exit 0
                  echo disabled; exit 1 ;;
*" is-active "*) exit 3 ;;
esac
EOF
    chmod +x "$TMP/systemctl"
    with_systemd() {
        # shellcheck disable=SC2016 # expanded by the inner shell
        unshare -m sh -c 'mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/system &&
            mount --bind "$0" /usr/bin/systemctl && { [ ! -e "$1" ] || mount --bind /bin/true "$1"; } &&
            shift && exec "$@"' "$TMP/systemctl" /usr/sbin/policy-rc.d "$@"
    }
    wants="timers.target.wants/orbelle-report.timer -> /lib/systemd/system/orbelle-report.timer"
    stop="stop orbelle-report.service orbelle-report.timer" reload="--system daemon-reload"
    restart="--quiet --system restart orbelle-report.timer"
    # step LABEL LINKS CALLS COMMAND...: after COMMAND, the links to the timer
    # under /etc/systemd/system, and what systemctl was asked, but its queries
    step() {
        local label=$1 links=$2 calls=$3
        shift 3
        : >"$TMP/systemctl.log"
        with_systemd "$@" >"$TMP/step.log" 2>&1 || report "$label" "$* failed: $(tail -n 5 "$TMP/step.log")"
        check "$label: links; systemctl asked to" "$(find /etc/systemd/system -name 'orbelle-report.*' \
            -printf '%P -> %l\n' | sort; grep -v -E ' is-(enabled|active) ' "$TMP/systemctl.log")" \
            "$(printf '%s\n' "$links" "$calls" | grep .)"
    }
    # An older build: this one under an older version. $VERSION as CPack
    # built it: no maintainer scripts, the units in /usr/lib.
    old=1.4.0.111
    { dpkg-deb -R "$console" "$TMP/old" && dpkg-deb -R "$console" "$TMP/cpack"; } || finish
    sed -i "s/^Version: .*/Version: $old/" "$TMP/old/DEBIAN/control"
    rm -f "$TMP/cpack/DEBIAN/"{preinst,postinst,prerm,postrm} && mkdir "$TMP/cpack/usr/lib" &&
        mv "$TMP/cpack/lib/systemd" "$TMP/cpack/usr/lib/" && rmdir "$TMP/cpack/lib" &&
        sed -i 's| lib/systemd| usr/lib/systemd|' "$TMP/cpack/DEBIAN/md5sums"
    { dpkg-deb -b "$TMP/old" "$TMP/old.deb" && dpkg-deb -b "$TMP/cpack" "$TMP/cpack.deb"; } >/dev/null || finish
    step "install $old" "" "$reload" dpkg -i "$TMP/old.deb"
    enable() { systemctl --root=/ enable orbelle-report.timer >/dev/null 2>&1; }   # the admin's
    enable && step "systemctl enable" "$wants" "" true
    step "upgrade to $VERSION: the timer stays enabled, restarted" "$wants" \
        "$reload"$'\n'"$restart" dpkg -i "$console"
    step "dpkg -r: the timer stopped, its link kept with the configuration" "$wants" "$stop"$'\n'"$reload" \
        dpkg -r orbelle-console
    step "dpkg --purge: no link left" "" daemon-reload dpkg --purge orbelle-console
    step "install $VERSION as CPack built it" "" "" dpkg -i "$TMP/cpack.deb"
    enable
    step "over it, this $VERSION: the admin's link kept" "$wants" "$reload"$'\n'"$restart" dpkg -i "$console"
    check "the units where the package says, and there" "$(dpkg -L orbelle-console | grep '\.timer$'
        grep -c '^OnCalendar=daily$' /lib/systemd/system/orbelle-report.timer)" \
        "/lib/systemd/system/orbelle-report.timer
1"
    step "dpkg --purge with the timer enabled: stopped, no link left" "" "$stop"$'\n'"$reload"$'\n'daemon-reload \
        dpkg --purge orbelle-console
    ;;
zip)
    zip=$PACKAGES/Orbelle-$VERSION-windows.zip
    [ -f "$zip" ] || { report "zip" "$zip is missing: run make package"; finish; }
    check "zip contents" "$(unzip -Z1 "$zip" | grep -v '/$' | sort)" \
        "$(printf "Orbelle-$VERSION-windows/%s\n" LICENSE.TXT README.TXT orbelle-wef-subscription.xml \
            x64/Orbelle.exe x64/OrbelleC.exe x86/Orbelle.exe x86/OrbelleC.exe | sort)"
    unzip -q "$zip" -d "$TMP/zip"
    for text in README.TXT LICENSE.TXT orbelle-wef-subscription.xml; do
        file=$TMP/zip/Orbelle-$VERSION-windows/$text
        check "$text has CR LF line ends" "$(grep -c $'\r$' "$file")" "$(wc -l <"$file")"
    done
    check "LICENSE.TXT is LICENSE" "$(tr -d '\r' <"$TMP/zip/Orbelle-$VERSION-windows/LICENSE.TXT")" \
        "$(cat "$(dirname "$0")/../../LICENSE")"
    for arch in x64:${3:?WIN64-BUILD} x86:${4:?WIN32-BUILD}; do
        check "${arch%%:*} executables are the builds'" \
            "$(cd "$TMP/zip/Orbelle-$VERSION-windows/${arch%%:*}" && sha256sum OrbelleC.exe Orbelle.exe |
               awk '{print $1}')" \
            "$(cd "${arch#*:}" && sha256sum OrbelleC.exe Orbelle.exe | awk '{print $1}')"
    done
    ;;
msi)
    # The MSIs under Wine, the x64 one through an administrator's year: a
    # failed first install, an older build's package installed, this
    # build's over it with no property given, a second install elsewhere, a
    # downgrade, a reinstall, a repair, the removal, then PATH's edge cases
    # and an upgrade that turns both options off. The x86 package on its
    # own, where the kernel runs 32-bit programs (exit 77, skipped, where it
    # cannot).
    export WINEPREFIX=${5:?WINE-PREFIX} WINEDEBUG=-all
    msi_arch=${6:?x64|x86}
    if [ "$msi_arch" = x86 ]; then
        "$(dirname "$0")/../runs_32_bit_programs.sh" || exit
    fi
    win64=${3:?WIN64-BUILD} win32=${4:?WIN32-BUILD}
    # shellcheck source=msi.sh
    source "$(dirname "$0")/msi.sh"
    msi=$PACKAGES/Orbelle-$VERSION-x64.msi
    for arch in x64 x86; do
        [ -f "$PACKAGES/Orbelle-$VERSION-$arch.msi" ] ||
            { report "msi" "Orbelle-$VERSION-$arch.msi is missing: run make package"; finish; }
    done
    state=$(start_task_service) || { report "Wine's task scheduler service" "$state"; finish; }
    if [ "$msi_arch" = x86 ]; then
        x86=$(winpath "$PACKAGES/Orbelle-$VERSION-x86.msi")
        check "x86 MSI installs the x86 executables into Program Files (x86)" "$(msiexec /i "$x86" /qn
            cd "$WINEPREFIX/drive_c/Program Files (x86)/Orbelle" && sha256sum OrbelleC.exe Orbelle.exe)" \
            "0
$(cd "$win32" && sha256sum OrbelleC.exe Orbelle.exe)"
        check "x86 MSI: silent uninstall leaves none of it" "$(msiexec /x "$x86" /qn
            ls -d "$WINEPREFIX/drive_c/Program Files (x86)/Orbelle" 2>/dev/null; entries; links)" 0
        check "the x64 MSI over the x86 one, no property given: the task and PATH stay" \
            "$(msiexec /i "$x86" /qn ORBELLE_SCHEDULE=1 ORBELLE_ADD_TO_PATH=1
               state "$(msiexec /i "$(winpath "$msi")" /qn)"; msiexec /x "$(winpath "$msi")" /qn)" "0
status 0; entries $VERSION ; task yes; schedule 1; path 1; files 5
0"
        finish
    fi

    check "x64 MSI: per machine, x64, this version" "$({ msiinfo suminfo "$msi" | grep -E '^(Template|Subject):'
        msiinfo export "$msi" Property | grep -E '^(ALLUSERS|ProductVersion|UpgradeCode)'$'\t'; } |
        tr -d '\r')" "Subject: Orbelle $VERSION (x64)
Template: x64;1033
ALLUSERS	1
ProductVersion	$VERSION
UpgradeCode	{3C6E1A52-7F0B-4E4D-9B1D-5A2F0C8E7D41}"
    check "the older product's removal and the deferred actions run inside the transaction; 64-bit schtasks" \
        "$(msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | awk -F'\t' '
        $1 == "InstallInitialize" { first = $3 } $1 == "InstallFinalize" { last = $3 }
        $1 ~ /ReportTask$|^RemoveExistingProducts$/ { task[$1] = $3 }
        END { for (a in task) if (task[a] <= first || task[a] >= last) print a, task[a] }'
        msiinfo export "$msi" CustomAction | awk -F'\t' '$1 == "SetSchtasks" {print $4}')" \
        '[System64Folder]schtasks.exe'
    # (What a run stopped halfway left behind goes first.)
    msiexec /x "$(winpath "$msi")" /qn >/dev/null
    path_before=$(path_value)
    old=1.4.0.111
    cmake -DSETTINGS="$BUILD/windows-packages.cmake" -DOUT="$TMP/old" -DSTAGE="$TMP/old-stage" -DVERSION=$old \
        -DARCHES=x64 -DZIP=OFF -P "$(dirname "$0")/../../cmake/windows/package.cmake" >"$TMP/old.log" 2>&1 ||
        { report "older package" "$(tail -n 5 "$TMP/old.log")"; finish; }
    new=$(winpath "$msi") old_msi=$(winpath "$TMP/old/Orbelle-$old-x64.msi") log=$(winpath "$TMP/msi.log")
    # A task that cannot be registered (its folder taken by a file) fails
    # the install, which leaves nothing behind.
    tasks=$(dirname "$task")
    rm -rf "$tasks" && echo taken >"$tasks"
    status=$(msiexec /i "$new" /qn ORBELLE_SCHEDULE=1 ORBELLE_ADD_TO_PATH=1 /l*v "$log")
    check "a task that cannot be registered fails the install, which rolls back" "$([ "$status" != 0 ] &&
        echo failed; grep -a -c 'Action ended [0-9:]*: CreateReportTask. Return value [03]\.' "$TMP/msi.log"
        state "" | cut -d';' -f 2-; path_value; values "$settings")" "failed
1
 entries ; task no; schedule ; path ; files 0
$path_before"
    rm -f "$tasks"
    check "older build ($old) installs, with the task and PATH" \
        "$(state "$(msiexec /i "$old_msi" /qn ORBELLE_SCHEDULE=1 ORBELLE_ADD_TO_PATH=1)")" \
        "status 0; entries $old ; task yes; schedule 1; path 1; files 5"
    check "this build over it, no property given: the task and PATH stay" \
        "$(state "$(msiexec /i "$new" /qn /l*v "$log")"; path_value)" \
        "status 0; entries $VERSION ; task yes; schedule 1; path 1; files 5
${path_before/: /: $folder\\;}"
    check "installed files" "$(ls "$dir")" \
        "$(printf '%s\n' LICENSE.TXT Orbelle.exe OrbelleC.exe orbelle-report-task.xml orbelle-wef-subscription.xml)"
    check "x64 executables" "$(cd "$dir" && sha256sum OrbelleC.exe Orbelle.exe)" \
        "$(cd "$win64" && sha256sum OrbelleC.exe Orbelle.exe)"
    for text in LICENSE:LICENSE.TXT cmake/windows/orbelle-wef-subscription.xml:orbelle-wef-subscription.xml; do
        check "${text#*:} is ${text%:*} with CR LF" "$(cat "$dir/${text#*:}")" \
            "$(sed 's/$/\r/' "$(dirname "$0")/../../${text%:*}")"
    done
    key=$(entries | awk '{print $1}')
    check "Apps and Features entry" "$(values "$key" |
        grep -E '^(DisplayName|DisplayVersion|Publisher|InstallLocation|UninstallString|NoModify) ')" \
        "DisplayName    REG_SZ    Orbelle
DisplayVersion    REG_SZ    $VERSION
InstallLocation    REG_SZ    $folder\\
NoModify    REG_DWORD    0x1
Publisher    REG_SZ    Brenvik - Pavik
UninstallString    REG_EXPAND_SZ    MsiExec.exe /X${key##*\\}"
    for name in OrbelleC Orbelle; do
        check "event source $name" "$(values "$sources\\$name")" \
            "EventMessageFile    REG_EXPAND_SZ    $folder\\$name.exe
TypesSupported    REG_DWORD    0x7"
    done
    check "Start-menu shortcut runs Orbelle.exe /I" "$(links | wc -l; link=$(links)
        strings -n 2 "$link" | grep -x '[A-Z]:\\.*'; strings -n 2 -el "$link" | tail -n 1)" "1
$folder\\Orbelle.exe
/I"
    # Wine keeps no more of a task than its name: the definition is
    # checked as installed.
    check "the task is registered, from the installed definition, then pointed at the folder" \
        "$(grep -a -o -E 'Action ended [0-9:]+: (Create|Point)ReportTask\. Return value [0-9]+' "$TMP/msi.log" |
           cut -d' ' -f 4- | sort -u)" "CreateReportTask. Return value 1
PointReportTask. Return value 1"
    definition=$(iconv -f UTF-16 -t UTF-8 "$dir/orbelle-report-task.xml" | tr -d '\r')
    check "task definition: UTF-16 with a byte-order mark, well formed" \
        "$(head -c 2 "$dir/orbelle-report-task.xml" | xxd -p; python3 -c 'import sys, xml.dom.minidom
xml.dom.minidom.parseString(sys.stdin.read().encode("utf-16"))' <<<"$definition" 2>&1)" "fffe"
    check "task definition: daily, random delay, as SYSTEM, OrbelleC /I /E" "$(grep -o -E \
        '<(URI|DaysInterval|RandomDelay|UserId|Command|Arguments)>[^<]*' <<<"$definition")" '<URI>\Orbelle\Daily report
<RandomDelay>PT1H
<DaysInterval>1
<UserId>S-1-5-18
<Command>"%ProgramFiles%\Orbelle\OrbelleC.exe"
<Arguments>/I /E'
    check "the action is pointed at the installed OrbelleC.exe /I /E" \
        "$(msiinfo export "$msi" CustomAction | awk -F'\t' '$1 == "PointReportTask" {print $4}')" \
        '/change /tn "\Orbelle\Daily report" /tr "\"[INSTALLDIR]OrbelleC.exe\" /I /E"'
    mkdir "$TMP/run" || finish
    cd "$TMP/run" || finish
    check "installed OrbelleC /I:V" "$("$wine64" "$folder\\OrbelleC.exe" /I:V </dev/null | tail -n 1)" \
        $'Running 64-bit system\r'
    # An event-log entry's text (the report file without its date line), as
    # Event Viewer shows it: the message table gives back the text alone.
    "$wine64" "$folder\\OrbelleC.exe" /I /F:U </dev/null
    iconv -f UTF-16 -t UTF-8 OrbelleC.TXT | sed 2d | iconv -f UTF-8 -t UTF-16LE >entry
    for name in OrbelleC Orbelle; do
        "$wine64" "$win64/orbelle_format_message.exe" "$folder\\$name.exe" entry shown </dev/null
        check "$name's message table shows an entry's text exactly" "$(cmp entry shown 2>&1)" ""
    done
    cd "$TMP" || finish
    rm -rf "$WINEPREFIX/drive_c/Elsewhere"
    installed="status 0; entries $VERSION ; task yes; schedule 1; path 1; files 5"
    check "a second install into another folder goes where the first went" \
        "$(state "$(msiexec /i "$new" /qn "INSTALLDIR=C:\\Elsewhere\\")"
           [ -e "$WINEPREFIX/drive_c/Elsewhere" ] && echo Elsewhere)" "$installed"
    # Exit statuses are 1603 and the like: Unix keeps their low byte (67).
    refusal="A newer revision of Orbelle (${VERSION##*.}) is already installed: this package is older (${old##*.})."
    check "an older revision is refused, said in the log, with 1603" "$(state "$(msiexec /i "$old_msi" /qn /l*v "$log")"
        grep -a -q -F "$refusal" "$TMP/msi.log" && echo said)" "${installed/status 0/status 67}
said"
    check "the same package again" "$(state "$(msiexec /i "$new" /qn)")" "$installed"
    rm "$dir/OrbelleC.exe"
    check "a repair (REINSTALL=ALL REINSTALLMODE=amus) restores a deleted file" \
        "$(state "$(msiexec /i "$new" /qn REINSTALL=ALL REINSTALLMODE=amus)"; cmp "$dir/OrbelleC.exe" \
           "$win64/OrbelleC.exe" 2>&1)" "$installed"
    check "silent uninstall leaves none of it, and PATH as it was" "$(msiexec /x "$new" /qn /l*v "$log"
        ls -d "$dir" 2>/dev/null; links; entries; [ -e "$task" ] && echo "$task"; path_value
        for key in "$sources\\OrbelleC" "$sources\\Orbelle" 'HKLM\Software\Brenvik - Pavik'; do
            "$wine64" reg query "$key" </dev/null >/dev/null 2>&1 && echo "$key"; done)" "0
$path_before"
    check "uninstall asks schtasks to delete the task, and goes on whatever it answers" \
        "$(grep -a -o -E 'Action (start [0-9:]+: DeleteReportTask|ended [0-9:]+: INSTALL)\.( Return value [0-9]+)?' \
           "$TMP/msi.log" | sed 's/ [0-9:]*:/:/' | sort -u)" "Action ended: INSTALL. Return value 1
Action start: DeleteReportTask."
    # PATH given back byte for byte: missing, ending with ";", long. The
    # folder goes in front while installed.
    long=$(printf 'C:\\Tools\\%04d;' $(seq 300))C:\\Last
    for value in - 'C:\A;C:\B;' "$long"; do
        if [ "$value" = - ]; then "$wine64" reg delete "$environment" /v PATH /f </dev/null >/dev/null 2>&1
        else set_path "$value"; fi
        before=$(path_value)
        check "PATH given back exactly: ${#value} characters (${value:0:10}...)" \
            "$(msiexec /i "$new" /qn ORBELLE_ADD_TO_PATH=1; path_value | grep -c -F ": $folder\\;"
               msiexec /x "$new" /qn; [ "$(path_value)" = "$before" ] && echo same)" "0
1
0
same"
    done
    set_path "${path_before#*: }"
    check "an upgrade with =0 turns both off" "$(msiexec /i "$old_msi" /qn ORBELLE_SCHEDULE=1 ORBELLE_ADD_TO_PATH=1
        state "$(msiexec /i "$new" /qn ORBELLE_SCHEDULE=0 ORBELLE_ADD_TO_PATH=0)"; path_value
        msiexec /x "$new" /qn)" "0
status 0; entries $VERSION ; task no; schedule 0; path 0; files 5
$path_before
0"
    # What a Group Policy transform does: both properties as rows of the
    # Property table (no Debian tool writes a transform itself).
    cp "$msi" "$TMP/policy.msi"
    for name in ORBELLE_SCHEDULE ORBELLE_ADD_TO_PATH; do
        msibuild "$TMP/policy.msi" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('$name', '1')"
    done
    check "both properties set in the package, as a transform sets them, with no command line" \
        "$(state "$(msiexec /i "$(winpath "$TMP/policy.msi")" /qn)"; msiexec /x "$new" /qn)" "$installed
0"
    ;;
signing)
    # The Windows packages signed with a throwaway code-signing certificate
    # made here: every executable, in the ZIP and in the MSIs, and the MSIs.
    script=$(cd "$(dirname "$0")/../.." && pwd)/cmake/windows/package.cmake
    cd "$TMP" || finish
    openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
        -subj "/CN=Orbelle test signing" -addext "extendedKeyUsage=codeSigning" \
        -addext "keyUsage=digitalSignature" >openssl.log 2>&1 || { report "openssl req" "$(cat openssl.log)"; finish; }
    password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
    printf '%s' "$password" >password
    openssl pkcs12 -export -inkey key.pem -in cert.pem -out signing.p12 -passout file:password ||
        { report "openssl pkcs12" "failed"; finish; }
    # osslsigncode's command lines, which ps shows to any user, as it got them.
    mkdir bin && printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>%s/commands.log\nexec /usr/bin/osslsigncode "$@"\n' \
        "$TMP" >bin/osslsigncode && chmod +x bin/osslsigncode
    PATH=$TMP/bin:$PATH ORBELLE_SIGN_PKCS12=$TMP/signing.p12 ORBELLE_SIGN_PASSWORD_FILE=$TMP/password \
        cmake -DSETTINGS="$BUILD/windows-packages.cmake" -DOUT="$TMP/signed" -DSTAGE="$TMP/stage" \
        -P "$script" >sign.log 2>&1 || { report "packing signed" "$(tail -n 20 sign.log)"; finish; }
    check "osslsigncode signs 6 files, SHA-256, the password read from its file" \
        "$(grep -c -e '^sign -pkcs12 [^ ]*/signing.p12 -readpass [^ ]*/password -h sha256 ' commands.log)" 6
    check "the password is on no command line and in no log" "$(grep -l -F -- "$password" commands.log sign.log)" ""
    check "it says it signs, in one line" "$(grep -c -i 'signing the windows' sign.log)" 1
    unzip -q "signed/Orbelle-$VERSION-windows.zip" -d zip
    for arch in x64 x86; do
        msiextract -C "msi-$arch" "signed/Orbelle-$VERSION-$arch.msi" >/dev/null
    done
    signed=(zip/*/x64/OrbelleC.exe zip/*/x64/Orbelle.exe zip/*/x86/OrbelleC.exe zip/*/x86/Orbelle.exe)
    while IFS= read -r file; do signed+=("$file"); done < <(find msi-x64 msi-x86 -name '*.exe' | sort)
    signed+=(signed/*.msi)
    check "what is signed: 4 executables in the ZIP, 2 in each MSI, the 2 MSIs" "${#signed[@]}" 10
    for file in "${signed[@]}"; do
        verdict=$(osslsigncode verify -CAfile cert.pem -in "$file" 2>&1)
        check "${file#"$TMP/"}: a valid SHA-256 signature by the certificate" "$?
$(grep -E '^(Message digest algorithm *:|Signature verification:)|Subject: /CN=' <<<"$verdict" |
          sed 's/ *: /: /' | sort -u)" "0
		Subject: /CN=Orbelle test signing
Message digest algorithm: SHA256
Signature verification: ok"
    done
    for file in zip/*/x64/OrbelleC.exe "signed/Orbelle-$VERSION-x64.msi"; do
        cp "$file" changed
        size=$(stat -c %s changed) offset=$(( $(stat -c %s changed) / 2 ))
        byte=$(od -An -tu1 -j "$offset" -N1 changed | tr -d ' ')
        printf '%b' "\\0$(printf '%03o' $(( (byte + 1) % 256 )))" |
            dd of=changed bs=1 seek="$offset" conv=notrunc status=none
        osslsigncode verify -CAfile cert.pem -in changed >verify.log 2>&1
        check "${file##*/} with one byte changed fails verification" "$? $(stat -c %s changed)" "1 $size"
    done
    check "without a certificate: unsigned, said in one line" \
        "$(env -u ORBELLE_SIGN_PKCS12 -u ORBELLE_SIGN_PASSWORD_FILE \
        cmake -DSETTINGS="$BUILD/windows-packages.cmake" -DOUT="$TMP/unsigned" -DSTAGE="$TMP/stage-unsigned" \
        -DARCHES=x64 -P "$script" 2>&1
        osslsigncode verify -in "$TMP/unsigned/Orbelle-$VERSION-x64.msi" >/dev/null 2>&1 || echo not signed)" \
        "-- The Windows executables and installers are unsigned (no ORBELLE_SIGN_PKCS12 and ORBELLE_SIGN_PASSWORD_FILE)
not signed"
    ;;
*) report usage "unknown mode $mode" ;;
esac
finish
