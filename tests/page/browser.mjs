// Drives the page in Debian's chromium, headless, as a user would: files chosen through #files,
// choices made in the controls, Save pressed and the download caught where the browser puts it.
import { mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

// What the tests need, from the environment scripts/test.sh and CMake give them.
export const SETTINGS = {
    page: process.env.VELMORA_PAGE,
    smi2txt: process.env.VELMORA_SMI2TXT,
    make_sami: process.env.VELMORA_MAKE_SAMI,
    corpus: process.env.VELMORA_CORPUS,
    modules: process.env.VELMORA_PAGE_MODULES, // the folder that holds puppeteer-core and fflate
};

const require = createRequire(join(SETTINGS.modules, 'index.js'));
const puppeteer = require('puppeteer-core');
export const fflate = require('fflate');

/* MakeTemporaryFolder
 *     A folder of the test's own, under the system's temporary folder. */
export function MakeTemporaryFolder(name)
{
    const folder = mkdtempSync(join(tmpdir(), `velmora-page-${name}-`));
    temporary_folders.push(folder);
    return folder;
}

// Every folder made is removed when the tests end, however they end.
const temporary_folders = [];
process.on('exit', () => {
    for (const folder of temporary_folders)
        rmSync(folder, {recursive: true, force: true});
});

/* LaunchBrowser
 *     Debian's chromium, headless, with a fresh profile and nothing of its own that goes out
 *     (on a closed network its background connections would retry and slow every test). */
export async function LaunchBrowser(extra_args = [])
{
    return puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        headless: true,
        protocolTimeout: 60000,
        args: [
            '--no-sandbox', // the tests run as root
            '--disable-gpu',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            '--no-first-run',
            '--no-default-browser-check',
            `--user-data-dir=${MakeTemporaryFolder('profile')}`,
            ...extra_args,
        ],
    });
}

/* OpenPage
 *     The page opened from disk in a context of its own, the browser's languages set as asked,
 *     every request it makes logged, and its downloads caught; a screen and a colour scheme
 *     as asked, and its policy bypassed for a script of the tests' own (axe-core). */
export async function OpenPage(browser, languages = ['en-US', 'en'],
                               {viewport = {width: 900, height: 900}, scheme = 'light', bypass_csp = false} = {})
{
    const context = await browser.createBrowserContext();
    const page = await context.newPage();
    await page.setViewport(viewport);
    await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]);
    await page.setBypassCSP(bypass_csp);
    const session = {page, context, requests: [], errors: []};
    page.on('request', (request) => session.requests.push(request.url()));
    page.on('pageerror', (error) => session.errors.push(String(error)));
    await page.evaluateOnNewDocument((list) => {
        Object.defineProperty(navigator, 'languages', {get: () => list});
        Object.defineProperty(navigator, 'language', {get: () => list[0]});
    }, languages);
    await page.goto(pathToFileURL(SETTINGS.page).href, {waitUntil: 'load'});
    return session;
}

/* ClosePage
 *     Ends the page's context and everything it holds. */
export async function ClosePage(session)
{
    await session.context.close();
}

/* CurrentJob
 *     The number of the page's latest conversion, as its status shows it. */
async function CurrentJob(page)
{
    return Number(await page.$eval('#status', (status) => status.dataset.job || '0'));
}

/* AwaitConversion
 *     Runs an action that converts again, and waits until that conversion is over. */
export async function AwaitConversion(page, action, timeout = 60000)
{
    const before = await CurrentJob(page);
    await action();
    await page.waitForFunction(
        (job) => {
            const status = document.getElementById('status');
            return Number(status.dataset.job) > job && status.dataset.state === 'done';
        },
        {timeout, polling: 50}, before);
}

/* ChooseFiles
 *     Chooses subtitles through #files and waits for their conversion and their classes. */
export async function ChooseFiles(page, paths, timeout = 60000)
{
    const input = await page.$('#files');
    await AwaitConversion(page, () => input.uploadFile(...paths), timeout);
    await page.waitForFunction(() => document.getElementById('class').dataset.state === 'done',
                               {timeout, polling: 50});
}

/* DropFiles
 *     Drags files from outside over the page and drops them there, and waits for their
 *     conversion and their classes; whether the page showed where to drop them is returned. */
export async function DropFiles(page, paths, x, y)
{
    const cdp = await page.createCDPSession();
    const data = {items: [], files: paths, dragOperationsMask: 1};
    await cdp.send('Input.dispatchDragEvent', {type: 'dragEnter', x, y, data});
    await cdp.send('Input.dispatchDragEvent', {type: 'dragOver', x, y, data});
    const shown = await page.$eval('#drop-cover', (cover) => !cover.hidden);
    await AwaitConversion(page, () => cdp.send('Input.dispatchDragEvent', {type: 'drop', x, y, data}));
    await page.waitForFunction(() => document.getElementById('class').dataset.state === 'done',
                               {timeout: 60000, polling: 50});
    await cdp.detach();
    return shown;
}

/* SetControls
 *     Sets the format, the class and the three boxes, each through its control, and waits for
 *     the conversion that follows. */
export async function SetControls(page, {format = 'txt', className = '', utf8 = true, styles = true,
                                         merge = false})
{
    const current = await page.evaluate(() => ({
        format: document.getElementById('format').value,
        className: document.getElementById('class').value,
        utf8: document.getElementById('utf8').checked,
        styles: document.getElementById('styles').checked,
        merge: document.getElementById('merge').checked,
    }));
    if (current.format !== format)
        await AwaitConversion(page, () => page.select('#format', format));
    if (current.className !== className)
        await AwaitConversion(page, () => page.select('#class', className));
    if (current.utf8 !== utf8)
        await AwaitConversion(page, () => page.click('#utf8'));
    if (current.styles !== styles)
        await AwaitConversion(page, () => page.click('#styles'));
    if (current.merge !== merge)
        await AwaitConversion(page, () => page.click('#merge'));
}

/* Save
 *     Presses Save and returns the downloaded file ({name, bytes}), or null when nothing was
 *     downloaded within wait_ms. */
export async function Save(session, wait_ms = 30000)
{
    const folder = MakeTemporaryFolder('download');
    // Downloads are the browser's business: its own session sets where they go and tells of them.
    const cdp = await session.page.browser().target().createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', {
        behavior: 'allow',
        downloadPath: folder,
        eventsEnabled: true,
        browserContextId: session.context.id,
    });
    const done = new Promise((resolve) => {
        const timer = setTimeout(() => resolve(null), wait_ms);
        cdp.on('Browser.downloadProgress', (event) => {
            if (event.state === 'completed' || event.state === 'canceled') {
                clearTimeout(timer);
                resolve(event.state);
            }
        });
    });
    await session.page.click('#save');
    const state = await done;
    await cdp.detach();
    if (state !== 'completed')
        return null;
    const names = readdirSync(folder);
    if (names.length !== 1)
        throw new Error(`one download expected, found ${names.join(', ')}`);
    return {name: names[0], bytes: readFileSync(join(folder, names[0]))};
}

/* RunAxe
 *     axe-core's default rules over the page (opened with bypass_csp): each violation and each
 *     item it could not decide, as "rule: element". */
export async function RunAxe(page)
{
    await page.addScriptTag({path: require.resolve('axe-core/axe.min.js')});
    return page.evaluate(async () => {
        const results = await window.axe.run();
        const list = (items) => items.flatMap((item) => item.nodes.map((node) => `${item.id}: ${node.target}`));
        return {violations: list(results.violations), incomplete: list(results.incomplete)};
    });
}

/* ReadStatus
 *     What #status says. */
export async function ReadStatus(page)
{
    return page.$eval('#status', (status) => status.textContent);
}
