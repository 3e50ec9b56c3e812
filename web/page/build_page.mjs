// Puts the page together into one file: its styles, its script, the worker's script and the two
// modules the worker imports (the package, with its WebAssembly inside, and fflate), with a
// Content-Security-Policy that names the inline script and style by their hashes.
//
//   node build_page.mjs PACKAGE.mjs FFLATE.js VERSION OUTPUT.html
import { createHash } from 'node:crypto';
import { readFileSync, renameSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const [packagePath, fflatePath, version, outputPath] = process.argv.slice(2);
if (!outputPath) {
    console.error('usage: node build_page.mjs PACKAGE.mjs FFLATE.js VERSION OUTPUT.html');
    process.exit(2);
}
const here = dirname(fileURLToPath(import.meta.url));

function ReadSource(name)
{
    return readFileSync(join(here, name), 'utf8');
}

// A hash source of CSP: the exact text between the element's tags.
function HashSource(text)
{
    return "'sha256-" + createHash('sha256').update(text, 'utf8').digest('base64') + "'";
}

// Text that goes between <script> tags unescaped must not end the element early.
function CheckScriptText(name, text)
{
    if (/<\/script|<!--/i.test(text))
        throw new Error(name + ' holds "</script" or "<!--": it cannot be inlined as it is');
    return text;
}

// Modules go in as base64: the worker imports them as data: URLs, the one kind of module URL a
// page opened from disk may import (Chromium refuses blob: modules under file://).
function ModuleBase64(path)
{
    return readFileSync(path).toString('base64');
}

// Whose code the page carries, with each one's licence as its own LICENSE file words it.
function Notice(name, version, licence_path)
{
    const licence = readFileSync(licence_path, 'utf8').trim().replace(/--/g, '- -');
    return `${name} ${version}\n\n${licence}`;
}
const fflateFolder = join(dirname(fflatePath), '..');
const fflateVersion = JSON.parse(readFileSync(join(fflateFolder, 'package.json'), 'utf8')).version;
const notices = [
    Notice('Velmora', version, join(here, '..', '..', 'LICENSE')),
    Notice('fflate', fflateVersion, join(fflateFolder, 'LICENSE')),
    Notice('uchardet', "0.0.7, built unchanged from the sources of Debian's package uchardet " +
           '(0.0.7-1); MPL 1.1, or the GPL 2 or later, or the LGPL 2.1 or later',
           join(dirname(packagePath), 'LICENSE-uchardet')),
].join('\n\n');

const style = ReadSource('page.css');
const script = CheckScriptText('page.js', ReadSource('page.js'));
const worker = CheckScriptText('worker.js', ReadSource('worker.js'));

// No connection of any kind: default-src 'none' covers fetch, images, fonts, frames and media;
// the worker is made from the page's own text (blob:), the modules it imports are data: URLs,
// and compiling the WebAssembly needs 'wasm-unsafe-eval'.
const policy = [
    "default-src 'none'",
    `script-src ${HashSource(script)} data: 'wasm-unsafe-eval'`,
    'worker-src blob:',
    `style-src ${HashSource(style)}`,
    "connect-src 'none'",
    "img-src 'none'",
    "base-uri 'none'",
    "form-action 'none'",
].join('; ');

const page = ReadSource('velmora.html')
    .split('{{POLICY}}').join(policy)
    .split('{{VERSION}}').join(version)
    .replace('{{NOTICES}}', () => notices)
    .replace('{{STYLE}}', () => style)
    .replace('{{SCRIPT}}', () => script)
    .replace('{{WORKER}}', () => worker)
    .replace('{{PACKAGE}}', () => ModuleBase64(packagePath))
    .replace('{{FFLATE}}', () => ModuleBase64(fflatePath));

// Written beside and moved over, so a failed build leaves no half page behind.
writeFileSync(outputPath + '.part', page);
renameSync(outputPath + '.part', outputPath);
