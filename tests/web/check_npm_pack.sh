#!/usr/bin/env bash
# The package as npm packs it installs into an empty folder, with no network, and converts the
# bundled example as smi2txt does.
# Usage: check_npm_pack.sh NPM_DIR SMI2TXT EXAMPLE
set -euo pipefail
npm_dir=$1 smi2txt=$2 example=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-pack-XXXXXX")
trap 'rm -rf "$work"' EXIT
# npm keeps its cache and logs in the test's folder too.
export npm_config_cache=$work/cache npm_config_update_notifier=false
(cd "$npm_dir" && npm pack --quiet --pack-destination "$work" >/dev/null)
mkdir "$work/user"
cd "$work/user"
npm init -y >/dev/null
npm install --offline --no-audit --no-fund --silent "$work"/velmora-*.tgz
cat >convert.mjs <<'SCRIPT'
import { readFileSync } from 'node:fs';
import { convert } from 'velmora';
const result = convert(readFileSync(process.argv[2]), { format: 'sync' });
if (!result.ok) throw new Error(result.error);
process.stdout.write(result.bytes);
SCRIPT
node convert.mjs "$example" >package.txt
LC_ALL=C "$smi2txt" --sync --keep-encoding "$example" >smi2txt.txt
cmp package.txt smi2txt.txt
echo "npm pack: the installed package converts $(basename "$example") as smi2txt does"
