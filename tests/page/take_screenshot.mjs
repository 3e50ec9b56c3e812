// The pictures of the page: a Korean browser, a Korean subtitle converted to SubRip, on a wide
// screen or, given a width under 600 px, on a phone.
//
//   node tests/page/take_screenshot.mjs docs/velmora-page.png         (with the tests' environment)
//   node tests/page/take_screenshot.mjs docs/velmora-page-phone.png 390
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';

import { ChooseFiles, ClosePage, LaunchBrowser, MakeTemporaryFolder, OpenPage, SetControls } from './browser.mjs';

const [output, width_text = '860'] = process.argv.slice(2);
const width = Number(width_text);
if (!output || !(width >= 320)) {
    console.error('usage: node take_screenshot.mjs OUTPUT.png [WIDTH]');
    process.exit(2);
}

// Our own lines, the Korean of examples/sample.smi.
const SUBTITLE = `<SAMI>
<HEAD><TITLE>항구 거리의 긴 밤</TITLE></HEAD>
<BODY>
<SYNC Start=1500><P Class=KRCC>
폭풍은 어두워지기 전에 들이닥쳤다.
<SYNC Start=4200><P Class=KRCC>&nbsp;
<SYNC Start=5100><P Class=KRCC>
무슨 일이 있어도<br>
<i>등불을 끄지 마.</i>
<SYNC Start=9000><P Class=KRCC>
배들이 우리만 믿고 있어.
<SYNC Start=12500><P Class=KRCC>
<font color="#ffcc00">새벽까지</font> 버티면 돼.
</BODY>
</SAMI>
`;

const folder = MakeTemporaryFolder('screenshot');
const subtitle = join(folder, '항구의 밤.smi');
writeFileSync(subtitle, SUBTITLE);
const browser = await LaunchBrowser();
try {
    const phone = width < 600;
    const session = await OpenPage(browser, ['ko-KR', 'ko'], {
        viewport: phone ? {width, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 2}
                        : {width, height: 1020, deviceScaleFactor: 1}});
    await ChooseFiles(session.page, [subtitle]);
    await SetControls(session.page, {format: 'srt'});
    await session.page.screenshot({path: output, fullPage: true});
    await ClosePage(session);
} finally {
    await browser.close();
}
