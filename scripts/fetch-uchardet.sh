#!/usr/bin/env bash
# Unpacks the sources of uchardet 0.0.7, from Debian's source package, into build/uchardet for
# the WebAssembly build, which links its own copy of the library smi2txt loads. The machine's
# apt configuration, lists and caches are left as they are: the source lines are made from its
# own package lines in a list of this script's own, read with lists and a cache of its own.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
VERSION=0.0.7
DEST=$ROOT/build/uchardet
[ -f "$DEST/uchardet-$VERSION/src/uchardet.h" ] && exit 0

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/lists/partial" "$WORK/cache/archives/partial"
shopt -s nullglob
sources=(/etc/apt/sources.list.d/*.sources)
if [ ${#sources[@]} -gt 0 ]; then
  LIST=$WORK/source.sources
  sed -e 's/^Types:.*/Types: deb-src/' "${sources[@]}" >"$LIST"
else
  LIST=$WORK/source.list
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -n 's/^deb\(\s\)/deb-src\1/p' >"$LIST"
fi
APT=(apt-get -q -o "Dir::Etc::sourcelist=$LIST" -o Dir::Etc::sourceparts=-
  -o "Dir::State::Lists=$WORK/lists" -o "Dir::Cache=$WORK/cache" -o APT::Sandbox::User=root)
"${APT[@]}" update >/dev/null
(cd "$WORK" && "${APT[@]}" source --download-only uchardet >/dev/null)
dsc=("$WORK"/uchardet_"$VERSION"-*.dsc)
if [ ${#dsc[@]} -ne 1 ]; then
  echo "fetch-uchardet.sh: Debian's source package is not uchardet $VERSION" >&2
  exit 1
fi
dpkg-source --no-check -x "${dsc[0]}" "$WORK/uchardet-$VERSION" >/dev/null
mkdir -p "$DEST"
rm -rf "$DEST/uchardet-$VERSION"
mv "$WORK/uchardet-$VERSION" "$DEST/"
echo "uchardet $VERSION: $DEST/uchardet-$VERSION"
