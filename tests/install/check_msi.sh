#!/usr/bin/env bash
# Checks the Windows installers: the tables of an MSI against what it must install, and, for
# the x64 one, a user's whole life with it under Wine in a prefix of its own: a silent install,
# a subtitle opened the way "Open with" opens it, the same package again, an upgrade, a refused
# downgrade, and an uninstall that leaves nothing behind. Works only in a temporary folder under
# WORK, removed at the end.
# Usage: check_msi.sh tables MSI ARCH VERSION BUILD_DIR SOURCE_DIR WORK
#        check_msi.sh wine MSI NEWER_MSI VERSION NEWER_VERSION BUILD_DIR SOURCE_DIR WORK
set -euo pipefail
check=$1
mkdir -p "${!#}"
work=$(mktemp -d "${!#}/msi-$check.XXXXXX")
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

cleanup() {
    # Only the Wine of this test's own prefix.
    if [ "${WINEPREFIX:-}" = "$work/prefix" ] && [ -d "$WINEPREFIX" ]; then
        timeout 30 "$WINESERVER" -k 2>/dev/null || true
        timeout 30 "$WINESERVER" -w 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "$check: $*" >&2
    exit 1
}

# What the package writes in the user's registry, as KEY|NAME|VALUE (an empty NAME is the key's
# default value; [INSTALLFOLDER] the installation folder with its final backslash; #1 a DWORD).
CLASSES='Software\Classes'
APP_PATHS='Software\Microsoft\Windows\CurrentVersion\App Paths'
RECORD='Software\Velmora\Installer'
PROGRAM='[INSTALLFOLDER]velmora.exe'
REGISTRY=(
    "$CLASSES\\Velmora.Subtitle||SAMI subtitle"
    "$CLASSES\\Velmora.Subtitle\\DefaultIcon||$PROGRAM,0"
    "$CLASSES\\Velmora.Subtitle\\shell\\open\\command||\"$PROGRAM\" \"%1\""
    "$CLASSES\\.smi\\OpenWithProgids|Velmora.Subtitle|"
    "$CLASSES\\.sami\\OpenWithProgids|Velmora.Subtitle|"
    "$CLASSES\\Applications\\velmora.exe|FriendlyAppName|Velmora"
    "$CLASSES\\Applications\\velmora.exe\\DefaultIcon||$PROGRAM,0"
    "$CLASSES\\Applications\\velmora.exe\\shell\\open\\command||\"$PROGRAM\" \"%1\""
    "$CLASSES\\Applications\\velmora.exe\\SupportedTypes|.smi|"
    "$CLASSES\\Applications\\velmora.exe\\SupportedTypes|.sami|"
    "$APP_PATHS\\velmora.exe||$PROGRAM"
    "$APP_PATHS\\velmora.exe|Path|[INSTALLFOLDER]"
    "$APP_PATHS\\smi2txt.exe||[INSTALLFOLDER]smi2txt.exe"
    "$APP_PATHS\\smi2txt.exe|Path|[INSTALLFOLDER]"
    "$RECORD|velmora.exe|#1"
    "$RECORD|smi2txt.exe|#1"
    "$RECORD|README.txt|#1"
    "$RECORD|LICENSE.txt|#1"
    "$RECORD|Programs|#1"
    "$RECORD|Shortcut|#1"
)
# The installed files and where each comes from, as NAME|SOURCE.
files() {
    printf '%s\n' "velmora.exe|$build_dir/shell/velmora.exe" \
        "smi2txt.exe|$build_dir/cli/smi2txt.exe" \
        "README.txt|$source_dir/shell/README.txt" "LICENSE.txt|$source_dir/LICENSE"
}

# The rows of one table of $msi, without its three heading lines.
table() {
    msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'
}

# The tables: the files, each registry value (every one in the user's hive, nothing more), the
# shortcut, the folders, the version, upgrades and downgrades, per user without elevation.
check_tables() {
    local rows expected row name source
    rows=$(table File | cut -f3,4 | sort)
    expected=$(files | while IFS='|' read -r name source; do
        printf '%s\t%s\n' "$name" "$(stat -c %s "$source")"
    done | sort)
    [ "$rows" = "$expected" ] || fail "$msi: files (name, size) are $rows, not $expected"

    rows=$(table Registry | cut -f2-5 | sort)
    expected=$(for row in "${REGISTRY[@]}"; do
        IFS='|' read -r key name value <<<"$row"
        printf '1\t%s\t%s\t%s\n' "$key" "$name" "$value"
    done | sort)
    [ "$rows" = "$expected" ] || fail "$msi: the registry rows differ: $(diff <(echo "$expected") <(echo "$rows"))"

    [ "$(table Shortcut | cut -f2,3,5,12)" = $'ProgramMenuFolder\tVelmora\t[INSTALLFOLDER]velmora.exe\tINSTALLFOLDER' ] ||
        fail "$msi: the shortcut is $(table Shortcut)"
    [ "$(table Directory | sort)" = "$(printf '%s\t%s\t%s\n' INSTALLFOLDER UserProgramsFolder Velmora \
        LocalAppDataFolder TARGETDIR . ProgramMenuFolder TARGETDIR . TARGETDIR '' SourceDir \
        UserProgramsFolder LocalAppDataFolder Programs | sort)" ] ||
        fail "$msi: the folders are $(table Directory)"
    # Both folders of the program go when they are empty at uninstall.
    [ "$(table RemoveFile | cut -f4,5 | sort)" = $'INSTALLFOLDER\t2\nUserProgramsFolder\t2' ] ||
        fail "$msi: the folders removed are $(table RemoveFile)"
    for property in "ProductName	Velmora" "ProductVersion	$version" "Manufacturer	Velmora project" \
        "ARPPRODUCTICON	velmora.ico"; do
        grep -qxF "$property" <<<"$(table Property)" || fail "$msi: no property $property"
    done
    grep -q '^ALLUSERS	' <<<"$(table Property)" && fail "$msi: ALLUSERS would install for all users"
    [ "$(table LaunchCondition)" = $'NOT WIX_DOWNGRADE_DETECTED\tA newer version of Velmora is already installed. To install this version, first uninstall Velmora in Settings > Apps > Installed apps.' ] ||
        fail "$msi: the downgrade is stopped by $(table LaunchCondition)"
    table Upgrade | cut -f2,3,5,7 | grep -qxF "	$version	1	WIX_UPGRADE_DETECTED" ||
        fail "$msi: older versions are not upgraded: $(table Upgrade)"
    # 64-bit components in the x64 package (256), every key path a registry value (4).
    local attributes=4 platform=Intel
    [ "$arch" = x64 ] && attributes=260 platform=x64
    [ "$(table Component | cut -f4 | sort -u)" = "$attributes" ] ||
        fail "$msi: component attributes $(table Component | cut -f1,4)"
    local summary
    summary=$(msiinfo suminfo "$msi")
    grep -qx "Template: $platform;1033" <<<"$summary" || fail "$msi: not for $arch: $summary"
    # Compressed (2), and no elevation (8).
    grep -qx 'Source: 10 (a)' <<<"$summary" || fail "$msi: not a per-user package: $summary"
}

# ---- under Wine ----

wine() {
    timeout 120 "$WINE" "$@"
}

# The value NAME (empty: the default) of KEY in HKCU, as `reg query` shows it; fails when absent.
reg_value() {
    local option=(/v "$2")
    [ -n "$2" ] || option=(/ve)
    wine reg query "HKCU\\$1" "${option[@]}" 2>/dev/null | tr -d '\r' |
        LC_ALL=C sed -n 's/^    .*    REG_[A-Z_]*    \{0,1\}//p' | head -n 1 | LC_ALL=C grep -a '' ||
        return 1
}

# The entries of "Installed apps" named Velmora, one "{PRODUCT CODE}" a line.
installed_entries() {
    wine uninstaller --list | tr -d '\r' | sed -n 's/|||Velmora$//p'
}

msiexec() {
    timeout 180 "$WINE" msiexec "$@"
    local status=$?
    timeout 60 "$WINESERVER" -w
    return $status
}

# Windows Installer's lists of products, left empty after the last uninstall, as user.reg
# writes them.
INSTALLER_LISTS='\[Software(\\\\Microsoft(\\\\Windows\\\\CurrentVersion)?)\\\\Installer(\\\\UserData\\\\[^\\]+)?\\\\(Features|Products|UpgradeCodes|Components)\]'

# The keys of the prefix's registry, without their times.
registry_keys() {
    timeout 60 "$WINESERVER" -w
    cat "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" | sed -n 's/^\(\[.*\]\) [0-9]*$/\1/p' | sort
}

# Files, shortcut, registry and the "Installed apps" entry of the installed VERSION.
check_installed() {
    local version=$1 name source row key value
    files | while IFS='|' read -r name source; do
        cmp -s "$folder/$name" "$source" || fail "$folder/$name is not $source"
    done
    [ "$(ls "$folder" | tr '\n' ' ')" = "LICENSE.txt README.txt smi2txt.exe velmora.exe " ] ||
        fail "the folder holds $(ls "$folder")"
    [ -f "$shortcut" ] || fail "no shortcut $shortcut"
    # Its link names the program in full, in the ANSI part of the file.
    strings -a "$shortcut" | grep -qxiF "$folder_windows\\velmora.exe" ||
        fail "the shortcut does not start $folder_windows\\velmora.exe"
    for row in "${REGISTRY[@]}"; do
        IFS='|' read -r key name value <<<"$row"
        value=${value//\[INSTALLFOLDER\]/$folder_windows\\}
        [ "$value" = "#1" ] && value=0x1
        [ "$(reg_value "$key" "$name")" = "$value" ] ||
            fail "HKCU\\$key value '$name' is '$(reg_value "$key" "$name" || echo ABSENT)', not '$value'"
    done
    # Only listed among the programs: neither extension gets Velmora as its default.
    for extension in .smi .sami; do
        ! wine reg query "HKCU\\$CLASSES\\$extension" /ve 2>/dev/null | grep -aqi velmora ||
            fail "$extension got Velmora as its default program"
    done
    local entries
    entries=$(installed_entries)
    [ "$(wc -l <<<"$entries")" = 1 ] && [ -n "$entries" ] ||
        fail "Installed apps holds: $(wine uninstaller --list)"
    local uninstall="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$entries"
    for pair in "DisplayName|Velmora" "DisplayVersion|$version" "Publisher|Velmora project"; do
        [ "$(wine reg query "$uninstall" /v "${pair%%|*}" | tr -d '\r' |
            sed -n 's/^    .*    REG_SZ    //p')" = "${pair#*|}" ] ||
            fail "the entry's ${pair%%|*} is not ${pair#*|}"
    done
    # The entry's icon is the product icon Windows Installer keeps for the user.
    local icon
    icon=$(tr -d '\0' <"$WINEPREFIX/user.reg" | sed -n 's/^"ProductIcon"="\(.*\)"$/\1/p' |
        sed 's/\\\\/\\/g')
    [ -n "$icon" ] && cmp -s "$(winepath_unix "$icon")" "$build_dir/resources/icons/velmora_large.ico" ||
        fail "Installed apps shows no icon of Velmora ($icon)"
}

winepath_unix() {
    wine winepath -u "$1" 2>/dev/null | tr -d '\r'
}

# Starts the installed program with a subtitle by the command "Open with" runs, and waits for
# its window to name the subtitle.
open_with() {
    local command program subtitle
    command=$(reg_value "$CLASSES\\Applications\\velmora.exe\\shell\\open\\command" "")
    # The registered command is the program, quoted, and the file, quoted.
    [[ $command =~ ^\"([^\"]+)\"\ \"%1\"$ ]] || fail "the Open with command is $command"
    program=${BASH_REMATCH[1]}
    subtitle=$(wine winepath -w "$work/episode 1.smi" | tr -d '\r')
    # A Wine started before the display would keep the window off it.
    timeout 60 "$WINESERVER" -w
    timeout 120 xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
        "$1" "$2" "$3" >/dev/null 2>&1 &
        timeout 60 xdotool search --sync --name "^episode 1\.smi - Velmora$" >/dev/null
        status=$?
        timeout 30 "$4" -k
        exit $status' _ "$WINE" "$program" "$subtitle" "$WINESERVER" ||
        fail "no window \"episode 1.smi - Velmora\" appeared"
}

scenario() {
    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
    bash "$source_dir/scripts/prepare-wine.sh" "$WINEPREFIX" >"$work/prepare.log" 2>&1 ||
        fail "no Wine prefix: $(cat "$work/prepare.log")"
    local local_windows roaming before
    local_windows=$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')
    folder_windows="$local_windows\\Programs\\Velmora"
    folder=$(winepath_unix "$folder_windows")
    programs=$(dirname "$folder")
    roaming=$(winepath_unix "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")
    shortcut="$roaming/Microsoft/Windows/Start Menu/Programs/Velmora.lnk"
    [ ! -e "$programs" ] || fail "$programs is there before the install"
    cp "$source_dir/examples/sample.smi" "$work/episode 1.smi"
    before=$(registry_keys)

    msiexec /i "$msi" /qn || fail "the silent install of $msi failed"
    check_installed "$version"
    open_with
    msiexec /i "$msi" /qn || fail "installing $msi again failed"
    check_installed "$version"
    msiexec /i "$newer_msi" /qn || fail "the upgrade to $newer_msi failed"
    check_installed "$newer_version"
    ! msiexec /i "$msi" /qn || fail "$msi went over the newer $newer_msi"
    check_installed "$newer_version"

    msiexec /x "$newer_msi" /qn || fail "the silent uninstall failed"
    [ -z "$(installed_entries)" ] || fail "Installed apps still holds Velmora"
    [ ! -e "$programs" ] || fail "$programs is left: $(find "$programs")"
    [ ! -e "$shortcut" ] || fail "the shortcut is left"
    # Every key the packages made is gone but Windows Installer's own empty lists; no value
    # names Velmora; the user's subtitle stays as it was.
    local left
    left=$(comm -13 <(echo "$before") <(registry_keys) |
        grep -vxE "$INSTALLER_LISTS" || true)
    [ -z "$left" ] || fail "the uninstall left the keys $left"
    ! cat "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" | grep -i 'velmora' ||
        fail "the uninstall left values naming Velmora"
    cmp -s "$work/episode 1.smi" "$source_dir/examples/sample.smi" ||
        fail "the user's subtitle changed"
}

case $check in
tables)
    msi=$2 arch=$3 version=$4 build_dir=$5 source_dir=$6
    check_tables
    ;;
wine)
    msi=$2 newer_msi=$3 version=$4 newer_version=$5 build_dir=$6 source_dir=$7 arch=x64
    check_tables
    msi=$newer_msi version=$newer_version check_tables
    scenario
    ;;
*)
    fail "unknown check"
    ;;
esac
