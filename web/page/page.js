'use strict';
// The page's main thread: the controls, the texts of both languages, and the messages to and
// from the worker that converts. Nothing heavy runs here, so a large subtitle leaves the page
// responsive; every text from a subtitle is shown as text (textContent), never as markup.

// The texts, English and Korean; the Korean ones are the Windows program's voice.
const TEXTS = {
    en: {
        intro: 'Gets the text and the timed subtitles out of SAMI subtitles (.smi).',
        privacy: 'Your subtitles are converted on this computer: this page sends nothing ' +
                     'anywhere, makes no connection, and works offline, saved to disk.',
        step1: 'Open subtitles, or drop them anywhere on this page.',
        step2: 'Choose what to write, then Save.',
        filesLabel: 'Subtitles (.smi, .sami)',
        chosenMany: (count) => `${count.toLocaleString('en')} subtitles`,
        formatLabel: 'Write',
        formatTxt: 'Save: the text (.txt)',
        formatSync: 'Sync Save: a line per subtitle, with its time (.txt)',
        formatSrt: 'SubRip (.srt)',
        formatVtt: 'WebVTT (.vtt)',
        formatTsv: 'Table: start, end, class, text (.tsv)',
        formatJson: 'JSON Lines (.jsonl)',
        classLabel: 'Language',
        allClasses: 'All',
        utf8Label: "UTF-8 text (unchecked, Save and Sync Save keep the subtitle's encoding)",
        stylesLabel: 'Keep italics, bold, underline and colour (SubRip, WebVTT)',
        mergeLabel: 'All together: every language in one subtitle',
        save: 'Save',
        progressLabel: 'Progress',
        previewHeading: 'Preview: the first 30 lines',
        dropHere: 'Drop the subtitles here',
        language: '한국어',
        chooseFirst: 'Open a subtitle first.',
        converting: 'Converting…',
        cannotStart: 'The converter could not start: ',
        cannotRead: 'cannot read the file',
        noSync: 'no SYNC tag: not a SAMI subtitle',
        noClass: (name, classes) => `no paragraph of class ${name} (${classes})`,
        tooLong: 'a subtitle holds more than 64 KiB of text',
        failed: (error) => error,
        cues: (count) => `${count.toLocaleString('en')} ${count === 1 ? 'cue' : 'cues'}`,
        lines: (count) => `${count.toLocaleString('en')} ${count === 1 ? 'line' : 'lines'}`,
        rows: (count) => `${count.toLocaleString('en')} ${count === 1 ? 'row' : 'rows'}`,
        invalid: (count, encoding) =>
            `${count.toLocaleString('en')} ${count === 1 ? 'byte is' : 'bytes are'} not valid ` +
            `${encoding}; each sequence written as U+FFFD`,
        nothingToSave: 'Nothing to save: no subtitle was converted.',
    },
    ko: {
        intro: '자막(smi)에서 자막내용만 추출하는 프로그램입니다',
        privacy: '자막은 이 컴퓨터 안에서만 변환됩니다. 이 페이지는 아무것도 보내지 않고 어디에도 ' +
                     '연결하지 않으며, 디스크에 저장해 두면 인터넷 없이도 작동합니다.',
        step1: '자막 파일을 Open 한다 (또는 이 페이지에 끌어다 놓는다)',
        step2: '형식을 고르고 Save 한다',
        filesLabel: '자막 파일 (*.smi;*.sami)',
        chosenMany: (count) => `자막 파일 ${count.toLocaleString('ko')}개`,
        formatLabel: '형식',
        formatTxt: 'Save: 자막내용 (.txt)',
        formatSync: 'Sync Save: 시간과 자막 한 줄씩 (.txt)',
        formatSrt: 'SubRip (.srt)',
        formatVtt: 'WebVTT (.vtt)',
        formatTsv: '표: 시작, 끝, 클래스, 자막 (.tsv)',
        formatJson: 'JSON Lines (.jsonl)',
        classLabel: '언어',
        allClasses: '모두',
        utf8Label: 'UTF-8 텍스트 (끄면 Save와 Sync Save는 자막 파일의 인코딩 그대로)',
        stylesLabel: '기울임, 굵게, 밑줄, 색 유지 (SubRip, WebVTT)',
        mergeLabel: '모두 함께: 모든 언어를 한 자막에',
        save: 'Save',
        progressLabel: '진행',
        previewHeading: '미리 보기: 처음 30줄',
        dropHere: '여기에 자막 파일을 놓으세요',
        language: 'English',
        chooseFirst: '먼저 자막 파일을 Open 하세요',
        converting: '변환하는 중…',
        cannotStart: '변환기를 시작할 수 없습니다: ',
        cannotRead: '자막 파일을 열 수 없습니다',
        noSync: '이 파일에는 자막(SYNC)이 없습니다',
        noClass: (name, classes) =>
            `${name} 클래스의 자막이 없습니다 (` +
            (classes === 'no classes' ? '클래스 없음' : classes.replace(/^classes: /, '클래스: ')) + ')',
        tooLong: '자막 하나의 내용이 64 KiB를 넘습니다',
        failed: (error) => '변환에 실패했습니다: ' + error,
        cues: (count) => `자막 ${count.toLocaleString('ko')}개`,
        lines: (count) => `${count.toLocaleString('ko')}줄`,
        rows: (count) => `${count.toLocaleString('ko')}행`,
        invalid: (count, encoding) =>
            `${encoding}에 맞지 않는 ${count.toLocaleString('ko')}바이트를 U+FFFD로 썼습니다`,
        nothingToSave: '저장할 것이 없습니다: 변환된 자막이 없습니다',
    },
};

// The encodings as smi2txt's messages write them; any other in capitals.
const ENCODING_NAMES = {
    'utf-8': 'UTF-8', 'utf-16le': 'UTF-16LE', 'utf-16be': 'UTF-16BE', 'cp949': 'CP949',
    'euc-kr': 'EUC-KR', 'windows-1252': 'Windows-1252', 'shift_jis': 'Shift_JIS',
};

// The page's one record: what is chosen, what the worker is doing, what it gave.
const page_state = {
    language: 'en',
    files: [],            // the File objects chosen, in order
    classes: [],          // {name, sample} over every chosen subtitle, in order of first appearance
    results: [],          // per file: {name, ok, error, encoding, invalidBytes, cues, blob}
    preview: '',
    job: 0,               // the conversion whose messages count; older ones are dropped
    worker: null,
    lister: null,         // the worker that lists the classes of the chosen files, while it does
    worker_failure: '',
    busy: false,          // a conversion or a zip is running in the worker
    save_wanted: false,   // Save was pressed while busy: download when it finishes
    done_bytes: 0,        // progress over every chosen file
    total_bytes: 0,
};

const controls = {
    files: document.getElementById('files'),
    open: document.getElementById('open'),
    chosen: document.getElementById('chosen'),
    format: document.getElementById('format'),
    class_menu: document.getElementById('class'),
    utf8: document.getElementById('utf8'),
    styles: document.getElementById('styles'),
    merge: document.getElementById('merge'),
    save: document.getElementById('save'),
    progress: document.getElementById('progress'),
    status: document.getElementById('status'),
    preview: document.getElementById('preview'),
    language: document.getElementById('language'),
    drop_cover: document.getElementById('drop-cover'),
};

/* ChooseLanguage
 *     Korean when the browser puts Korean first, English otherwise. */
function ChooseLanguage()
{
    const languages = navigator.languages && navigator.languages.length
                          ? navigator.languages
                          : [navigator.language || 'en'];
    return /^ko\b/i.test(languages[0]) ? 'ko' : 'en';
}

/* Text
 *     The current language's text of a key. */
function Text(key)
{
    return TEXTS[page_state.language][key];
}

/* ApplyLanguage
 *     Writes every labelled text in the language, and what the status says. */
function ApplyLanguage(language)
{
    page_state.language = language;
    document.documentElement.lang = language;
    for (const element of document.querySelectorAll('[data-text]'))
        element.textContent = Text(element.dataset.text);
    controls.language.textContent = Text('language');
    controls.language.lang = language === 'ko' ? 'en' : 'ko';
    ShowChosen();
    ShowStatus();
}

/* MakeWorker
 *     A worker made from the page's own text, handed the two modules it imports. */
function MakeWorker()
{
    const source = document.getElementById('worker-source').textContent;
    const url = URL.createObjectURL(new Blob([source], {type: 'text/javascript'}));
    const worker = new Worker(url);
    URL.revokeObjectURL(url);
    worker.postMessage({
        kind: 'start',
        package_url: ModuleUrl('package-module'),
        fflate_url: ModuleUrl('fflate-module'),
    });
    return worker;
}

/* StartWorker
 *     Starts the worker that converts and zips. */
function StartWorker()
{
    page_state.worker = MakeWorker();
    page_state.worker.onmessage = TakeWorkerMessage;
    page_state.worker.onerror = (event) => {
        event.preventDefault();
        FailWorker(event.message || 'error');
    };
}

/* ListClassesOfChosenFiles
 *     Lists the classes of the chosen files in a worker of its own, ended when it has, then
 *     goes on with next; a failure leaves the menu at All, and the conversion says what went
 *     wrong. Listing before converting keeps the two from holding memory at once. */
function ListClassesOfChosenFiles(next)
{
    StopLister();
    const lister = MakeWorker();
    page_state.lister = lister;
    controls.class_menu.dataset.state = 'listing';
    lister.onmessage = (event) => {
        if (page_state.lister !== lister)
            return;
        if (event.data.kind === 'classes') {
            page_state.classes = event.data.classes;
            FillClassMenu();
        }
        StopLister();
        next();
    };
    lister.onerror = (event) => {
        event.preventDefault();
        if (page_state.lister !== lister)
            return;
        StopLister();
        next();
    };
    lister.postMessage({kind: 'classes', job: 0, files: page_state.files});
}

/* StopLister
 *     Ends the worker that lists classes, and so gives back its memory. */
function StopLister()
{
    if (page_state.lister)
        page_state.lister.terminate();
    page_state.lister = null;
    controls.class_menu.dataset.state = 'done'; // for tests and assistive tools
}

/* ModuleUrl
 *     The data: URL of a module the page carries as base64. */
function ModuleUrl(id)
{
    return 'data:text/javascript;base64,' + document.getElementById(id).textContent.trim();
}

/* FailWorker
 *     The worker could not load its modules or died: say so; a later choice tries again. */
function FailWorker(message)
{
    page_state.worker_failure = message;
    page_state.busy = false;
    page_state.save_wanted = false;
    if (page_state.worker)
        page_state.worker.terminate();
    page_state.worker = null;
    ShowStatus();
}

/* RestartWorkerIfBusy
 *     A choice made while the worker works makes that work useless: end it and start anew. */
function RestartWorkerIfBusy()
{
    if (page_state.worker && !page_state.busy)
        return;
    if (page_state.worker)
        page_state.worker.terminate();
    page_state.worker_failure = '';
    StartWorker();
}

/* EnableMerge
 *     All together can be chosen for a subtitle of two or more classes, every language of it
 *     kept, in a format with times; its check stays as the user left it. */
function EnableMerge()
{
    controls.merge.disabled = page_state.classes.length < 2 || controls.class_menu.value !== '' ||
                              controls.format.value === 'txt';
}

/* ChosenOptions
 *     The package's options as the controls say; merged cues are UTF-8 in every format. */
function ChosenOptions()
{
    const merges = controls.merge.checked && !controls.merge.disabled;
    return {
        format: controls.format.value,
        className: controls.class_menu.value,
        utf8: controls.utf8.checked || merges,
        styles: controls.styles.checked,
        mergeClasses: merges,
    };
}

/* ConvertChosenFiles
 *     Converts every chosen subtitle with the chosen options. */
function ConvertChosenFiles()
{
    page_state.job++;
    page_state.results = [];
    page_state.preview = '';
    controls.preview.textContent = '';
    if (page_state.files.length === 0) {
        page_state.busy = false;
        ShowStatus();
        return;
    }
    RestartWorkerIfBusy();
    page_state.busy = true;
    page_state.done_bytes = 0;
    page_state.total_bytes = page_state.files.reduce((sum, file) => sum + file.size, 0);
    controls.progress.value = 0;
    page_state.worker.postMessage({
        kind: 'convert',
        job: page_state.job,
        files: page_state.files,
        options: ChosenOptions(),
    });
    ShowStatus();
}

/* ChooseFiles
 *     New subtitles: forget the old classes and results, and convert these. */
function ChooseFiles(file_list)
{
    page_state.files = Array.from(file_list);
    ShowChosen();
    page_state.classes = [];
    FillClassMenu();
    page_state.save_wanted = false;
    page_state.job++;
    page_state.results = [];
    controls.preview.textContent = '';
    if (page_state.files.length === 0) {
        StopLister();
        ConvertChosenFiles();
        return;
    }
    ListClassesOfChosenFiles(ConvertChosenFiles);
    ShowStatus();
}

/* ShowChosen
 *     Beside Open, what it opened: the one subtitle's name, or how many. */
function ShowChosen()
{
    const files = page_state.files;
    controls.chosen.textContent = files.length === 1 ? files[0].name
                                  : files.length > 1 ? Text('chosenMany')(files.length) : '';
}

/* FillClassMenu
 *     «All», then one item per class as the Windows program's Language menu shows it: the
 *     class, a colon and its first words. */
function FillClassMenu()
{
    const menu = controls.class_menu;
    const chosen = menu.value;
    while (menu.options.length > 1)
        menu.remove(1);
    for (const item of page_state.classes) {
        const label = item.sample ? `${item.name}: ${item.sample}` : item.name;
        menu.add(new Option(label, item.name));
    }
    menu.value = page_state.classes.some((item) => item.name === chosen) ? chosen : '';
    EnableMerge();
}

/* TakeWorkerMessage
 *     Dispatches on what the worker says; what belongs to an older job is dropped. */
function TakeWorkerMessage(event)
{
    const message = event.data;
    if (message.kind === 'failed') {
        FailWorker(message.error);
        return;
    }
    if (message.job !== page_state.job)
        return;
    switch (message.kind) {
    case 'progress':
        page_state.done_bytes = message.done_bytes;
        controls.progress.value =
            page_state.total_bytes ? page_state.done_bytes / page_state.total_bytes : 1;
        return;
    case 'result':
        page_state.results[message.index] = message.result;
        if (message.index === 0) {
            page_state.preview = message.preview;
            controls.preview.textContent = message.preview;
        }
        return;
    case 'finished':
        page_state.busy = false;
        controls.progress.value = 1;
        ShowStatus();
        if (page_state.save_wanted)
            Save();
        return;
    case 'zipped':
        page_state.busy = false;
        page_state.save_wanted = false; // a Save pressed while zipping gets this zip
        Download(message.blob, 'velmora.zip');
        ShowStatus();
        return;
    }
}

/* DescribeError
 *     smi2txt's reason, in the page's language where it is one the page knows. */
function DescribeError(error)
{
    if (error === 'cannot read the file')
        return Text('cannotRead');
    if (error === 'no SYNC tag: not a SAMI subtitle')
        return Text('noSync');
    if (error === 'a subtitle holds more than 64 KiB of text')
        return Text('tooLong');
    const no_class = /^no paragraph of class (.*) \((.*)\)$/.exec(error);
    if (no_class)
        return Text('noClass')(no_class[1], no_class[2]);
    return Text('failed')(error);
}

/* DescribeResult
 *     One subtitle's line of the status: the encoding found, the count of what was written,
 *     the bytes written as U+FFFD, or the error. */
function DescribeResult(result, format)
{
    if (!result.ok)
        return `${result.name}: ${DescribeError(result.error)}`;
    const encoding = ENCODING_NAMES[result.encoding] || result.encoding.toUpperCase();
    const parts = [encoding];
    if (format === 'sync')
        parts.push(Text('lines')(result.cues));
    else if (format === 'tsv' || format === 'json')
        parts.push(Text('rows')(result.cues));
    else if (format !== 'txt')
        parts.push(Text('cues')(result.cues));
    if (result.invalidBytes > 0)
        parts.push(Text('invalid')(result.invalidBytes, encoding));
    return `${result.name}: ${parts.join(', ')}`;
}

/* IsBusy
 *     Whether classes are being listed, or the worker converts or zips. */
function IsBusy()
{
    return page_state.busy || page_state.lister !== null;
}

/* ShowStatus
 *     Says what happened, one line per subtitle. */
function ShowStatus()
{
    let lines; // [text, failed]
    if (page_state.worker_failure)
        lines = [[Text('cannotStart') + page_state.worker_failure, true]];
    else if (page_state.files.length === 0)
        lines = [[Text('chooseFirst'), false]];
    else if (IsBusy() && page_state.results.length < page_state.files.length)
        lines = [[Text('converting'), false]];
    else
        lines = page_state.results.map((result) => [DescribeResult(result, controls.format.value), !result.ok]);
    // Each line its own element, so a failure stands out from the subtitles that converted.
    controls.status.replaceChildren();
    lines.forEach(([text, failed], index) => {
        if (index > 0)
            controls.status.append('\n');
        const line = document.createElement('span');
        line.textContent = text;
        line.className = failed ? 'failed' : '';
        controls.status.append(line);
    });
    // For tests and assistive tools: which conversion this is, and whether it is over.
    controls.status.dataset.job = String(page_state.job);
    controls.status.dataset.state = IsBusy() ? 'busy' : 'done';
}

/* Save
 *     Downloads the results: one subtitle's file as smi2txt names it, or a zip of several. */
function Save()
{
    if (page_state.files.length === 0) {
        ShowStatus();
        return;
    }
    if (IsBusy() || !page_state.worker) {
        page_state.save_wanted = true;
        if (!page_state.worker)
            ConvertChosenFiles();
        return;
    }
    page_state.save_wanted = false;
    const saved = page_state.results.filter((result) => result.ok);
    if (saved.length === 0)
        return;
    if (page_state.files.length === 1) {
        Download(saved[0].blob, saved[0].output_name);
        return;
    }
    page_state.busy = true;
    page_state.worker.postMessage({
        kind: 'zip',
        job: page_state.job,
        entries: saved.map((result) => ({name: result.output_name, blob: result.blob})),
    });
}

/* Download
 *     Hands a blob to the browser as a file of that name. */
function Download(blob, name)
{
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

/* HasFiles
 *     Whether a drag carries files (not text or a link). */
function HasFiles(event)
{
    return event.dataTransfer && Array.from(event.dataTransfer.types).includes('Files');
}

/* ListenToDrops
 *     The whole page takes dropped subtitles, and shows where while they are dragged over it. */
function ListenToDrops()
{
    document.addEventListener('dragover', (event) => {
        if (!HasFiles(event))
            return;
        event.preventDefault();
        event.dataTransfer.dropEffect = 'copy';
        controls.drop_cover.hidden = false;
    });
    document.addEventListener('dragleave', (event) => {
        if (event.relatedTarget === null)
            controls.drop_cover.hidden = true;
    });
    document.addEventListener('drop', (event) => {
        controls.drop_cover.hidden = true;
        if (!HasFiles(event))
            return;
        event.preventDefault();
        controls.files.files = event.dataTransfer.files;
        ChooseFiles(event.dataTransfer.files);
    });
}

/* ListenToControls
 *     Every choice converts again, so the preview and the status follow it. */
function ListenToControls()
{
    // The page's own Open, so its words are the page's in either language; the input it opens
    // stays hidden, and still holds what was dropped.
    controls.open.addEventListener('click', () => controls.files.click());
    controls.files.addEventListener('change', () => ChooseFiles(controls.files.files));
    for (const control of [controls.format, controls.class_menu, controls.utf8, controls.styles,
                           controls.merge])
        control.addEventListener('change', () => {
            EnableMerge();
            ConvertChosenFiles();
        });
    controls.save.addEventListener('click', Save);
    controls.language.addEventListener('click',
                                       () => ApplyLanguage(page_state.language === 'ko' ? 'en' : 'ko'));
}

ListenToControls();
ListenToDrops();
ApplyLanguage(ChooseLanguage());
StartWorker();
