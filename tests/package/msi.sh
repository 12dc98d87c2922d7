# shellcheck shell=bash
# What the MSI tests read of a 64-bit Wine prefix ($WINEPREFIX), sourced by
# packages_test.sh, which uses every name set here.
# shellcheck disable=SC2034
wine64=/usr/lib/wine/wine64
folder='C:\Program Files\Orbelle' dir="$WINEPREFIX/drive_c/Program Files/Orbelle"
sources='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application'
environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
settings='HKLM\Software\Brenvik - Pavik\Orbelle'
task="$WINEPREFIX/drive_c/windows/system32/tasks/Orbelle/Daily report"

winpath() { printf 'Z:%s' "${1//\//\\}"; }
query() { "$wine64" reg query "$@" </dev/null 2>/dev/null | tr -d '\r'; }
values() { query "$1" | sed -n 's/^    //p'; }
# The system PATH as it is, byte for byte, and "none" when it is not there.
path_value() {
    local line
    line=$(query "$environment" /v PATH | grep '^    PATH    ') || { echo none; return; }
    sed "s/^    PATH    //; s/    /: /" <<<"$line"
}
set_path() { "$wine64" reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$1" /f </dev/null >/dev/null 2>&1; }
# Apps and Features: "<key> <DisplayVersion>" of each entry named Orbelle.
entries() {
    query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | awk '
        /^HKEY/ { key = $0 } /^    DisplayName    REG_SZ    Orbelle$/ { named[key] = 1 }
        /^    DisplayVersion / { version[key] = $3 }
        END { for (k in named) print k, version[k] }'
}
# Where the Start-menu shortcut lands: the common Programs folder on
# Windows; Wine's installer gives ProgramMenuFolder the user's.
links() { find "$WINEPREFIX/drive_c" -name Orbelle.lnk 2>/dev/null; }
msiexec() { "$wine64" msiexec "$@" </dev/null >/dev/null 2>&1; echo $?; }
# What an administrator looks at after each step: the exit status, the
# Apps and Features version, the task, the remembered properties, the
# folder's files.
state() {
    local remembered
    remembered=$(values "$settings")
    printf 'status %s; entries %s; task %s; schedule %s; path %s; files %s\n' "$1" \
        "$(entries | awk '{print $NF}' | tr '\n' ' ')" "$([ -f "$task" ] && echo yes || echo no)" \
        "$(awk '$1 == "Schedule" {print $3}' <<<"$remembered")" \
        "$(awk '$1 == "AddToPath" {print $3}' <<<"$remembered")" "$(find "$dir" -type f 2>/dev/null | wc -l)"
}
# The task service, which schtasks (and so the installer) needs. Wine's
# service manager reads its services once, when it starts: in a prefix
# made a moment ago that was before the task service was set up, so the
# prefix's server is started again first.
start_task_service() {
    local state
    "$(dirname "${BASH_SOURCE[0]}")/../wine/wine-prefix" start "$WINEPREFIX" >/dev/null ||
        { echo "wine-prefix start failed"; return 1; }
    "$wine64" sc start schedule </dev/null >/dev/null 2>&1
    for _ in $(seq 60); do
        state=$("$wine64" sc query schedule </dev/null 2>/dev/null | tr -d '\r')
        grep -q -E 'RUNNING|STOPPED' <<<"$state" && break
        sleep 1
    done
    grep -q RUNNING <<<"$state" || { echo "$state"; return 1; }
}
