// The page in a real browser: what it downloads is smi2txt's bytes, for every real subtitle in
// every format; it names files as smi2txt does, zips several, refuses what smi2txt refuses,
// shows a subtitle's markup as text, speaks Korean to a Korean browser, sends nothing, and
// converts a 50 MB subtitle without a long task on its main thread.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { basename, join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';

import {
    AwaitConversion, ChooseFiles, ClosePage, DropFiles, LaunchBrowser, MakeTemporaryFolder, OpenPage,
    ReadStatus, RunAxe, Save, SETTINGS, SetControls, fflate,
} from './browser.mjs';

const CORPUS_FILES = readdirSync(SETTINGS.corpus)
                         .filter((name) => /\.(smi|sami)$/.test(name))
                         .sort()
                         .map((name) => join(SETTINGS.corpus, name));
const CORPUS = (name) => join(SETTINGS.corpus, name);
const TINY_BILINGUAL = CORPUS('bi_krcc_encc_two_p_per_sync_quoted_tiny.smi');
const NOT_SAMI = CORPUS('trap_srt_content_with_smi_extension_ko.smi');

/* RunSmi2txt
 *     smi2txt's files for these inputs and options, written by -d into a folder of their own:
 *     a map from each file's name to its bytes. */
function RunSmi2txt(inputs, options)
{
    const folder = MakeTemporaryFolder('smi2txt');
    try {
        execFileSync(SETTINGS.smi2txt, [...options, '-d', folder, ...inputs],
                     {stdio: ['ignore', 'ignore', 'ignore'], timeout: 60000});
    } catch (error) {
        if (error.status !== 1) // 1: some input failed, the others are written
            throw error;
    }
    return new Map(readdirSync(folder).map((name) => [name, readFileSync(join(folder, name))]));
}

/* Smi2txtOptions
 *     The command-line options that ask for what the controls ask for. */
function Smi2txtOptions({format = 'txt', className = '', utf8 = true, styles = true, merge = false})
{
    const options = ['--format', format];
    if (merge)
        options.push('--merge-classes');
    else if (format === 'txt' || format === 'sync')
        options.push(utf8 ? '-u' : '--keep-encoding');
    if (className)
        options.push('--class', className);
    if (!styles)
        options.push('--no-styles');
    return options;
}

/* Unzip
 *     A zip's entries as a map from name to bytes. */
function Unzip(bytes)
{
    const entries = fflate.unzipSync(new Uint8Array(bytes));
    return new Map(Object.entries(entries).map(([name, data]) => [name, Buffer.from(data)]));
}

/* AssertSameFiles
 *     The same names, and under each name the same bytes. */
function AssertSameFiles(actual, expected)
{
    assert.deepEqual([...actual.keys()].sort(), [...expected.keys()].sort());
    for (const [name, bytes] of expected)
        assert.ok(actual.get(name).equals(bytes), `${name} differs from smi2txt's`);
}

let browser;
before(async () => {
    browser = await LaunchBrowser();
});
after(async () => {
    await browser?.close();
});

// Every real subtitle chosen at once: each choice gives one zip, which must hold smi2txt's
// files, named as smi2txt names them.
const CORPUS_CASES = [
    {name: 'Save as UTF-8', format: 'txt'},
    {name: 'Save in the subtitle encoding', format: 'txt', utf8: false},
    {name: 'Sync Save as UTF-8', format: 'sync'},
    {name: 'Sync Save in the subtitle encoding', format: 'sync', utf8: false},
    {name: 'SubRip', format: 'srt'},
    {name: 'WebVTT', format: 'vtt'},
    {name: 'table', format: 'tsv'},
    {name: 'JSON Lines', format: 'json'},
    {name: 'SubRip of class ENCC', format: 'srt', className: 'ENCC'},
    {name: 'WebVTT without styles', format: 'vtt', styles: false},
];

describe('every real subtitle in every format gives smi2txt\'s files', {timeout: 300000}, () => {
    let session;
    before(async () => {
        session = await OpenPage(browser);
        await ChooseFiles(session.page, CORPUS_FILES);
    });
    after(async () => {
        await ClosePage(session);
    });
    for (const row of CORPUS_CASES) {
        test(row.name, {timeout: 120000}, async () => {
            await SetControls(session.page, row);
            const download = await Save(session);
            assert.equal(download?.name, 'velmora.zip');
            AssertSameFiles(Unzip(download.bytes), RunSmi2txt(CORPUS_FILES, Smi2txtOptions(row)));
        });
    }
    test('no request but the page itself', () => {
        const page_url = pathToFileURL(SETTINGS.page).href;
        // blob: and data: URLs are the page's own text (the worker, its modules, downloads).
        const others = session.requests.filter((url) => url !== page_url && !/^(blob|data):/.test(url));
        assert.deepEqual(others, []);
        assert.deepEqual(session.errors, []);
    });
});

// One subtitle: one file, named as smi2txt names it, with smi2txt's bytes.
const SINGLE_CASES = [
    {name: 'CP949 Save keeps CP949', file: 'ko_breaking_bad_s01e01_cp949_double_body.smi', format: 'txt', utf8: false,
     output: 'ko_breaking_bad_s01e01_cp949_double_body.txt'},
    {name: 'UTF-16 Sync Save keeps UTF-16', file: 'ko_kamisama_e01_utf16le_bom_crlf.smi', format: 'sync', utf8: false,
     output: 'ko_kamisama_e01_utf16le_bom_crlf.txt'},
    {name: 'a class of a bilingual subtitle', file: 'bi_krcc_encc_two_p_per_sync_quoted_tiny.smi', format: 'srt',
     className: 'ENCC', output: 'bi_krcc_encc_two_p_per_sync_quoted_tiny.encc.srt'},
    {name: 'all together: a bilingual film merged', file: 'bi_krcc_encc_transformers2009_full_film_sequential_blocks.smi',
     format: 'srt', merge: true, output: 'bi_krcc_encc_transformers2009_full_film_sequential_blocks.srt'},
    {name: 'all together in Sync Save is UTF-8', file: 'bi_encc_krcc_twinkle_tabs_closed_tags_crlf.smi', format: 'sync',
     utf8: false, merge: true, output: 'bi_encc_krcc_twinkle_tabs_closed_tags_crlf.txt'},
];

describe('one subtitle gives one file', {timeout: 180000}, () => {
    for (const row of SINGLE_CASES) {
        test(row.name, {timeout: 60000}, async () => {
            const session = await OpenPage(browser);
            try {
                await ChooseFiles(session.page, [CORPUS(row.file)]);
                await SetControls(session.page, row);
                const download = await Save(session);
                const expected = RunSmi2txt([CORPUS(row.file)], Smi2txtOptions(row));
                assert.equal(download?.name, row.output);
                AssertSameFiles(new Map([[download.name, download.bytes]]), expected);
            } finally {
                await ClosePage(session);
            }
        });
    }
});

// What the page says and shows, in each language, for inputs that test its words.
describe('status, preview and class menu', {timeout: 180000}, () => {
    const markup = MakeTemporaryFolder('markup');
    const markup_file = join(markup, '<img src=x onerror=window.ran=3>.smi');
    writeFileSync(markup_file,
                  '<SAMI><BODY>\n<SYNC Start=0><P Class=KRCC>&lt;script&gt;window.ran = 1&lt;/script&gt;\n' +
                      '<SYNC Start=1000><P Class=KRCC>&lt;img src=x onerror="window.ran = 2"&gt;\n' +
                      '<SYNC Start=2000><P Class=&lt;b&gt;>&lt;b&gt;bold&lt;/b&gt;\n</BODY></SAMI>\n');
    const invalid_file = join(markup, 'invalid.smi');
    writeFileSync(invalid_file, Buffer.concat([
        Buffer.from('\ufeff<SYNC Start=0><P Class=KRCC>안녕 '), Buffer.from([0xff, 0xfe]), Buffer.from(' 하세요\n')]));
    const CASES = [
        {name: 'bytes not valid in the encoding, English', languages: ['en'], files: [invalid_file], format: 'sync',
         status: 'invalid.smi: UTF-8, 1 line, 2 bytes are not valid UTF-8; each sequence written as U+FFFD',
         preview: '00 :00 :00  안녕 \ufffd\ufffd 하세요', saves: true},
        {name: 'bytes not valid in the encoding, Korean', languages: ['ko'], files: [invalid_file], format: 'srt',
         status: 'invalid.smi: UTF-8, 자막 1개, UTF-8에 맞지 않는 2바이트를 U+FFFD로 썼습니다', saves: true},
        {name: 'a class one of two subtitles lacks, Korean', languages: ['ko'],
         files: [TINY_BILINGUAL, CORPUS('ko_small_class_kr_font_b.smi')], format: 'srt', className: 'ENCC',
         status: 'bi_krcc_encc_two_p_per_sync_quoted_tiny.smi: UTF-8, 자막 3개\n' +
                     'ko_small_class_kr_font_b.smi: ENCC 클래스의 자막이 없습니다 (클래스: KR)', saves: true},
        {name: 'no SYNC tag, English', languages: ['en-GB'], files: [NOT_SAMI], format: 'sync',
         status: 'trap_srt_content_with_smi_extension_ko.smi: no SYNC tag: not a SAMI subtitle',
         preview: '', saves: false},
        {name: 'no SYNC tag, Korean', languages: ['ko-KR', 'en'], files: [NOT_SAMI], format: 'srt',
         status: 'trap_srt_content_with_smi_extension_ko.smi: 이 파일에는 자막(SYNC)이 없습니다',
         preview: '', saves: false},
        {name: 'the classes as the Language menu shows them', languages: ['en'], files: [TINY_BILINGUAL],
         format: 'srt', status: 'bi_krcc_encc_two_p_per_sync_quoted_tiny.smi: UTF-8, 3 cues',
         classes: ['All', 'KRCC: 안녕하세요', 'ENCC: Hello'], saves: true,
         preview: '1\n00:00:00,000 --> 00:00:03,000\n안녕하세요\nHello\n\n2\n00:00:03,000 --> 00:00:06,000\n반갑습니다\n' +
                      'Nice to meet you\n\n3\n00:00:06,000 --> 00:00:10,000\n오늘 날씨가 좋네요\nThe weather is nice today\n'},
        {name: 'markup in a subtitle is shown as text and runs nothing', languages: ['en'], files: [markup_file],
         format: 'sync', status: '<img src=x onerror=window.ran=3>.smi: UTF-8, 3 lines', saves: true,
         preview: '00 :00 :00  <script>window.ran = 1</script>\n00 :00 :01  <img src=x onerror="window.ran = 2">\n' +
                      '00 :00 :02  <b>bold</b>'},
        {name: 'CP949 in the subtitle encoding, previewed as Hangul', languages: ['ko'],
         files: [CORPUS('ko_lotr_excerpt_euckr_comment_in_body.smi')], format: 'txt', utf8: false,
         status: 'ko_lotr_excerpt_euckr_comment_in_body.smi: CP949', saves: true, preview_has: '반지'},
    ];
    for (const row of CASES) {
        test(row.name, {timeout: 60000}, async () => {
            const session = await OpenPage(browser, row.languages);
            try {
                await ChooseFiles(session.page, row.files);
                await SetControls(session.page, row);
                assert.equal(await ReadStatus(session.page), row.status);
                const preview = await session.page.$eval('#preview', (element) => ({
                    text: element.textContent,
                    elements: element.querySelectorAll('*').length,
                }));
                if (row.preview !== undefined)
                    assert.equal(preview.text, row.preview);
                if (row.preview_has)
                    assert.ok(preview.text.includes(row.preview_has), preview.text);
                assert.equal(preview.elements, 0);
                if (row.classes) {
                    const labels = await session.page.$$eval('#class option', (options) =>
                        options.map((option) => option.textContent));
                    assert.deepEqual(labels, row.classes);
                }
                const download = await Save(session, row.saves ? 30000 : 1500);
                assert.equal(download !== null, row.saves);
                assert.equal(await session.page.evaluate(() => window.ran), undefined);
                assert.equal(await session.page.$$eval('img, iframe', (list) => list.length), 0);
                assert.deepEqual(session.errors, []);
            } finally {
                await ClosePage(session);
            }
        });
    }
});

describe('the page itself', {timeout: 120000}, () => {
    const LANGUAGE_CASES = [
        {languages: ['ko-KR', 'ko', 'en'], lang: 'ko', save: 'Save', format_label: '형식', switched: 'en'},
        {languages: ['en-US', 'ko'], lang: 'en', save: 'Save', format_label: 'Write', switched: 'ko'},
        {languages: ['fr-FR'], lang: 'en', save: 'Save', format_label: 'Write', switched: 'ko'},
    ];
    for (const row of LANGUAGE_CASES) {
        test(`speaks ${row.lang} to a browser of ${row.languages[0]}, and switches`, {timeout: 30000}, async () => {
            const session = await OpenPage(browser, row.languages);
            try {
                const read = () => session.page.evaluate(() => ({
                    lang: document.documentElement.lang,
                    format_label: document.querySelector('label[for=format]').textContent,
                    status: document.getElementById('status').textContent,
                }));
                const first = await read();
                assert.equal(first.lang, row.lang);
                assert.equal(first.format_label, row.format_label);
                await session.page.click('#language');
                assert.equal((await read()).lang, row.switched);
            } finally {
                await ClosePage(session);
            }
        });
    }

    test('Open opens the chooser, and files dropped anywhere on the page are chosen', {timeout: 30000}, async () => {
        const session = await OpenPage(browser);
        try {
            const [chooser] = await Promise.all([session.page.waitForFileChooser({timeout: 10000}),
                                                 session.page.click('#open')]);
            assert.equal(chooser.isMultiple(), true);
            await AwaitConversion(session.page, () => chooser.accept([TINY_BILINGUAL]));
            assert.equal(await ReadStatus(session.page), 'bi_krcc_encc_two_p_per_sync_quoted_tiny.smi: UTF-8');
            assert.equal(await session.page.$eval('#chosen', (chosen) => chosen.textContent),
                         'bi_krcc_encc_two_p_per_sync_quoted_tiny.smi');
            const dropped = [TINY_BILINGUAL, NOT_SAMI];
            assert.ok(await DropFiles(session.page, dropped, 450, 850), 'no sign of where to drop');
            assert.equal(await ReadStatus(session.page),
                         'bi_krcc_encc_two_p_per_sync_quoted_tiny.smi: UTF-8\n' +
                             'trap_srt_content_with_smi_extension_ko.smi: UTF-8');
            assert.equal(await session.page.$eval('#files', (input) => input.files.length), 2);
            assert.equal(await session.page.$eval('#drop-cover', (cover) => cover.hidden), true);
            assert.equal(await session.page.$eval('#chosen', (chosen) => chosen.textContent), '2 subtitles');
        } finally {
            await ClosePage(session);
        }
    });

    test('every control is labelled and reached by the keyboard', {timeout: 30000}, async () => {
        const session = await OpenPage(browser);
        try {
            const ids = ['language', 'open', 'format', 'class', 'utf8', 'styles', 'save', 'preview'];
            const reached = [];
            for (let count = 0; count < 20; count++) {
                await session.page.keyboard.press('Tab');
                reached.push(await session.page.evaluate(() => document.activeElement.id));
            }
            for (const id of ids)
                assert.ok(reached.includes(id), `${id} not reached by Tab: ${reached}`);
            const unlabelled = await session.page.evaluate((list) => list.filter((id) => {
                const element = document.getElementById(id);
                return !(element.labels?.length || element.getAttribute('aria-labelledby') || element.textContent.trim());
            }), [...ids, 'progress']);
            assert.deepEqual(unlabelled, []);
        } finally {
            await ClosePage(session);
        }
    });

    test('its policy refuses every connection', {timeout: 30000}, async () => {
        const session = await OpenPage(browser);
        try {
            const policy = await session.page.$eval('meta[http-equiv="Content-Security-Policy"]',
                                                    (meta) => meta.content);
            assert.match(policy, /default-src 'none'/);
            assert.match(policy, /connect-src 'none'/);
            const fetched = await session.page.evaluate(() =>
                fetch('http://127.0.0.1:9/upload', {method: 'POST', body: 'x'}).then(() => 'sent', () => 'refused'));
            assert.equal(fetched, 'refused');
            const page_url = pathToFileURL(SETTINGS.page).href;
            assert.deepEqual(session.requests.filter((url) => url !== page_url && !/^(blob|data):/.test(url)), []);
        } finally {
            await ClosePage(session);
        }
    });
});

// On a phone and on a wide screen, in both languages and both colour schemes, before a file is
// chosen and after (one that converts, one that fails: the error's colour is checked too).
describe('the page on a phone', {timeout: 240000}, () => {
    const CASES = [
        {width: 320, languages: ['ko'], scheme: 'light', target: 44, word_break: 'keep-all'},
        {width: 320, languages: ['en'], scheme: 'dark', target: 44, word_break: 'normal'},
        {width: 390, languages: ['ko'], scheme: 'dark', target: 44, word_break: 'keep-all'},
        {width: 390, languages: ['en'], scheme: 'light', target: 44, word_break: 'normal'},
        {width: 1280, languages: ['en'], scheme: 'dark', target: 24, word_break: 'normal'},
        {width: 1280, languages: ['ko'], scheme: 'light', target: 24, word_break: 'keep-all'},
    ];
    // Each control as a thumb meets it: a check box with its words is one target.
    const TARGETS = ['#language', '#open', '#format', '#class', 'label:has(#utf8)', 'label:has(#styles)', '#save'];
    const Measure = (page) => page.evaluate((targets) => ({
        scroll_width: document.scrollingElement.scrollWidth,
        too_wide: Array.from(document.querySelectorAll('body *'))
                      .filter((element) => element.getBoundingClientRect().right > innerWidth + 0.5)
                      .map((element) => element.id || element.tagName),
        small: targets.map((selector) => [selector, document.querySelector(selector).getBoundingClientRect()])
                   .map(([selector, box]) => [selector, Math.floor(Math.min(box.width, box.height))]),
        word_break: getComputedStyle(document.querySelector('[data-text=intro]')).wordBreak,
    }), TARGETS);
    for (const row of CASES) {
        test(`${row.width} px, ${row.languages[0]}, ${row.scheme}`, {timeout: 60000}, async () => {
            const phone = row.width < 600;
            const session = await OpenPage(browser, row.languages, {
                viewport: {width: row.width, height: 844, isMobile: phone, hasTouch: phone,
                           deviceScaleFactor: phone ? 3 : 1},
                scheme: row.scheme, bypass_csp: true});
            try {
                for (const moment of ['before a file', 'after two files']) {
                    if (moment !== 'before a file') {
                        await SetControls(session.page, {format: 'srt'});
                        await ChooseFiles(session.page, [TINY_BILINGUAL, NOT_SAMI]);
                        assert.equal(await session.page.$$eval('#status .failed', (lines) => lines.length), 1);
                    }
                    const measured = await Measure(session.page);
                    assert.ok(measured.scroll_width <= row.width, `${moment}: scrolls to ${measured.scroll_width} px`);
                    assert.deepEqual(measured.too_wide, [], moment);
                    assert.deepEqual(measured.small.filter(([, size]) => size < row.target), [], moment);
                    assert.equal(measured.word_break, row.word_break);
                    assert.deepEqual(await RunAxe(session.page), {violations: [], incomplete: []}, moment);
                }
                assert.deepEqual(session.errors, []);
            } finally {
                await ClosePage(session);
            }
        });
    }
});

describe('large subtitles', {timeout: 300000}, () => {
    test('starts that go back after the first MiB of cues: read again, smi2txt\'s bytes', {timeout: 60000}, async () => {
        const folder = MakeTemporaryFolder('back');
        const halves = [1, 2].map((seed) => {
            const half = join(folder, `half${seed}.smi`);
            execFileSync(SETTINGS.make_sami, [String(3 * 1024 * 1024), half, String(seed)], {timeout: 60000});
            return readFileSync(half);
        });
        const back = join(folder, 'back.smi');
        writeFileSync(back, Buffer.concat(halves));
        const session = await OpenPage(browser);
        try {
            await SetControls(session.page, {format: 'srt'});
            await ChooseFiles(session.page, [back]);
            const download = await Save(session);
            assert.equal(download?.name, 'back.srt');
            assert.ok(download.bytes.equals(RunSmi2txt([back], Smi2txtOptions({format: 'srt'})).get('back.srt')),
                      'differs from smi2txt\'s');
        } finally {
            await ClosePage(session);
        }
    });


    test('converts with progress shown, no long task, smi2txt\'s bytes', {timeout: 200000}, async () => {
        const folder = MakeTemporaryFolder('large');
        const large = join(folder, 'large.smi');
        execFileSync(SETTINGS.make_sami, [String(50 * 1024 * 1024), large], {timeout: 60000});
        const session = await OpenPage(browser);
        try {
            await SetControls(session.page, {format: 'sync'});
            await session.page.evaluate(() => {
                window.long_tasks = [];
                window.progress_seen = [];
                new PerformanceObserver((list) => {
                    for (const entry of list.getEntries())
                        window.long_tasks.push(Math.round(entry.duration));
                }).observe({type: 'longtask'});
                const progress = document.getElementById('progress');
                const watch = () => {
                    window.progress_seen.push(progress.value);
                    requestAnimationFrame(watch);
                };
                requestAnimationFrame(watch);
            });
            await ChooseFiles(session.page, [large], 150000);
            const seen = await session.page.evaluate(() => ({
                long_tasks: window.long_tasks,
                partial: window.progress_seen.filter((value) => value > 0 && value < 1).length,
            }));
            assert.ok(seen.partial > 0, 'no progress shown between 0 and 1');
            assert.deepEqual(seen.long_tasks.filter((duration) => duration > 200), []);
            const download = await Save(session, 60000);
            assert.equal(download?.name, 'large.txt');
            const expected = RunSmi2txt([large], Smi2txtOptions({format: 'sync'}));
            assert.ok(download.bytes.equals(expected.get('large.txt')), 'differs from smi2txt\'s');
        } finally {
            await ClosePage(session);
        }
    });
});
