#!/usr/bin/env bash
# Checks what a user installs: the install prefix, the Debian package and what lintian finds in
# it, the manual page, the Windows release zip. Works only in a temporary folder under WORK,
# removed at the end.
# Usage: check_install.sh prefix|deb|lintian|manual|zip SOURCE_DIR BUILD_DIR VERSION WORK
set -euo pipefail
check=$1 source_dir=$2 build_dir=$3 version=$4
mkdir -p "$5"
work=$(mktemp -d "$5/$check.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "$check: $*" >&2
    exit 1
}

# The installed program reports the project's version and licence, and converts the example.
run_program() {
    [ "$("$1" --version)" = "smi2txt (Velmora) $version"$'\n''License: MIT' ] ||
        fail "$1 --version is wrong: $("$1" --version)"
    "$1" --sync "$source_dir/examples/sample.smi" -o "$work/sample.txt"
    grep -qx '00 :00 :01  The storm came in before dark\.' "$work/sample.txt" ||
        fail "$1 --sync gave: $(cat "$work/sample.txt")"
}

# man formats the page with every groff warning on; any message is a fault of the page.
lint_manual() {
    local messages
    messages=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings=w -E UTF-8 -l "$1" 2>&1 >/dev/null)
    [ -z "$messages" ] || fail "$1: $messages"
}

# Packs the .deb into the temporary folder; sets deb to its path.
make_package() {
    cpack --config "$build_dir/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
        fail "cpack failed: $(cat "$work/cpack.log")"
    deb=$work/smi2txt_${version}_$(dpkg --print-architecture).deb
}

case $check in
prefix)
    cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
    run_program "$work/prefix/bin/smi2txt"
    [ "$(MANPATH="$work/prefix/share/man" man -w smi2txt)" = \
        "$work/prefix/share/man/man1/smi2txt.1" ] || fail "man does not find the page"
    ;;
deb)
    make_package
    contents=$(dpkg-deb -c "$deb")
    for path in ./usr/bin/smi2txt ./usr/share/man/man1/smi2txt.1.gz \
        ./usr/share/doc/smi2txt/copyright ./usr/share/doc/smi2txt/changelog.gz; do
        grep -q " $path\$" <<<"$contents" || fail "$path is not in the package: $contents"
    done
    control=$(dpkg-deb -I "$deb" control)
    for field in 'Package: smi2txt' "Version: $version" 'Section: utils' \
        'Maintainer: Velmora project <[^ ]+@[^ ]+>' 'Depends: .*libc6.*' 'Depends: .*libuchardet0.*' 'Description: .+'; do
        grep -Eqx "$field" <<<"$control" || fail "no line '$field' in: $control"
    done
    dpkg-deb -x "$deb" "$work/root"
    run_program "$work/root/usr/bin/smi2txt"
    lint_manual "$work/root/usr/share/man/man1/smi2txt.1.gz"

    # The copyright file is LICENSE in Debian's form: the holder of its "Copyright (c)" line,
    # then its text indented by one space, empty lines as " .".
    doc=$work/root/usr/share/doc/smi2txt
    {
        printf '%s\n' 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
            'Upstream-Name: Velmora' '' 'Files: *'
        sed -n 's/^Copyright (c) /Copyright: /p' "$source_dir/LICENSE"
        echo 'License: MIT'
        sed '1,/^Copyright (c) /d' "$source_dir/LICENSE" | sed '1{/^$/d}; s/^$/./; s/^/ /'
    } >"$work/copyright"
    cmp -s "$work/copyright" "$doc/copyright" ||
        fail "copyright is not LICENSE in Debian's form: $(diff "$work/copyright" "$doc/copyright")"
    # The changelog is debian/changelog, packed the same way every time, at the top this version.
    gzip -9 -n -c "$source_dir/debian/changelog" | cmp -s - "$doc/changelog.gz" ||
        fail "changelog.gz is not debian/changelog packed with gzip -9 -n"
    [ "$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)" = "$version" ] ||
        fail "debian/changelog does not start with version $version"
    ;;
lintian)
    # No error, warning or information either: this lintian tells a missing hardening flag as
    # information. No configuration file is read, so that none can hide a tag.
    make_package
    TMPDIR=$work lintian --no-cfg --fail-on error,warning,info --tag-display-limit 0 --info \
        --display-info --pedantic --display-experimental "$deb" >"$work/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$work/lintian.log")"
    ;;
manual)
    page=$build_dir/cli/smi2txt.1
    lint_manual "$page"
    grep -q "^\.TH SMI2TXT 1 .* \"Velmora $version\"" "$page" ||
        fail "the page does not name version $version"
    ;;
zip)
    zip=$build_dir/velmora-$version-win32.zip
    names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    [ "$names" = "LICENSE.txt README.txt smi2txt.exe velmora.exe " ] || fail "$zip holds: $names"
    for pair in README.txt:shell/README.txt LICENSE.txt:LICENSE; do
        unzip -p "$zip" "${pair%%:*}" | cmp - "$source_dir/${pair#*:}" ||
            fail "$zip holds an old ${pair%%:*}"
    done
    [ "$(head -n 1 "$source_dir/shell/README.txt")" = "Velmora $version" ] ||
        fail "shell/README.txt does not start with \"Velmora $version\""
    ;;
*)
    fail "unknown check"
    ;;
esac
