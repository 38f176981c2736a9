// page_test.js: opens evtable's published pages in headless Chromium with
// the shipped style sheet and checks what readers get: no serious or
// critical accessibility violation in either colour scheme on a desktop and
// a phone, status marks that read well (signs on a page in another language
// than English), readable text and no sideways scrolling on the phone,
// weekday names on the phone that match their columns in both week starts,
// a right-to-left page whose weeks run from the right, and a printout of one
// landscape page per month with no week row split.
//
//   node page_test.js CHROMIUM WORK DEMO.html:MONTHS [BUSY.html ...]
//
// A page given with :MONTHS must print on exactly that many A4 landscape
// pages. Prints every failure and exits 1 when there is any.
'use strict';

const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

const AXE_SOURCE = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

const VIEWPORTS = [
    {name: 'desktop', width: 1366, height: 900, isMobile: false, hasTouch: false},
    {name: 'phone', width: 390, height: 844, isMobile: true, hasTouch: true},
];
const SCHEMES = ['light', 'dark'];
const SMALLEST_TEXT_PX = 12;
const REPORTED_IMPACTS = new Set(['serious', 'critical']);

// Chromium must not reach out to the network (there is none here), and CI
// runs as root, which the sandbox refuses.
const CHROMIUM_FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                        '--disable-background-networking', '--disable-component-update',
                        '--disable-sync', '--force-color-profile=srgb'];

function describe_violation(violation)
{
    const targets = violation.nodes.slice(0, 5).map((node) => {
        const detail = node.any.concat(node.all, node.none).map((check) => check.message)
                           .filter((message) => message)[0] || '';
        return `      ${node.target.join(' ')}${detail ? ': ' + detail : ''}`;
    });
    const more = violation.nodes.length > 5 ? [`      ... ${violation.nodes.length - 5} more`] : [];
    return [`    ${violation.id} (${violation.impact}, ${violation.nodes.length} nodes): ${violation.help}`]
        .concat(targets, more).join('\n');
}

async function check_accessibility(page, where, failures)
{
    const result = await page.evaluate(async () => {
        // Only WCAG rules and best practices that axe reports by default.
        return await axe.run(document, {resultTypes: ['violations']});
    });
    const serious = result.violations.filter((v) => REPORTED_IMPACTS.has(v.impact));
    if (serious.length > 0)
        failures.push(`${where}: accessibility violations\n` +
                      serious.map(describe_violation).join('\n'));
}

// Every visible piece of text on the phone, generated text included, is at
// least 12 CSS pixels, and nothing makes the page wider than the screen.
async function check_phone_reading(page, viewport, where, failures)
{
    const found = await page.evaluate((smallest, screen_width) => {
        const problems = [];
        const describe = (element) => {
            let name = element.tagName.toLowerCase();
            if (element.id)
                name += '#' + element.id;
            if (element.className)
                name += '.' + String(element.className).trim().split(/\s+/).join('.');
            return name;
        };
        const visible = (element) => element.getClientRects().length > 0 &&
                                     getComputedStyle(element).visibility !== 'hidden';
        for (const element of document.body.querySelectorAll('*')) {
            if (!visible(element))
                continue;
            const own_text = Array.from(element.childNodes)
                .some((node) => node.nodeType === Node.TEXT_NODE && node.data.trim() !== '');
            const size = parseFloat(getComputedStyle(element).fontSize);
            if (own_text && size < smallest)
                problems.push(`${describe(element)} "${element.textContent.trim().slice(0, 30)}" ` +
                              `is set in ${size}px`);
            for (const pseudo of ['::before', '::after']) {
                const style = getComputedStyle(element, pseudo);
                if (style.content === 'none' || style.content === 'normal' || style.content === '""' ||
                    style.display === 'none')
                    continue;
                if (parseFloat(style.fontSize) < smallest)
                    problems.push(`${describe(element)}${pseudo} ${style.content} is set in ` +
                                  `${style.fontSize}`);
            }
        }
        // Without a viewport line a phone lays the page out at a desktop's
        // width and shrinks it: every size above then looks far smaller.
        if (window.innerWidth > screen_width)
            problems.push(`the page is laid out ${window.innerWidth}px wide and shrunk to fit ` +
                          `a ${screen_width}px screen`);
        const width = document.documentElement.scrollWidth;
        if (width > window.innerWidth)
            problems.push(`the page is ${width}px wide on a ${window.innerWidth}px screen`);
        return problems;
    }, SMALLEST_TEXT_PX, viewport.width);
    // One line per kind of problem is enough to find its rule.
    const unique = Array.from(new Set(found));
    if (unique.length > 0)
        failures.push(`${where}: hard to read\n` +
                      unique.slice(0, 20).map((line) => '    ' + line).join('\n') +
                      (unique.length > 20 ? `\n    ... ${unique.length - 20} more` : ''));
}

// What the style sheet says of an event besides its text: a status mark
// after the summary with a space before it, a line through a cancelled
// event, and its own colours for a category that the sheet knows.
async function check_event_marks(page, where, failures)
{
    const found = await page.evaluate(() => {
        const problems = [];
        // A page in another language shows signs: ICU has no words for these.
        const english = !document.documentElement.lang ||
                        /^en(-|$)/i.test(document.documentElement.lang);
        const marks = english ? {TENTATIVE: '(tentative)', CANCELLED: '(cancelled)'}
                              : {TENTATIVE: '(?)', CANCELLED: '(\u2715)'};
        for (const [status, mark] of Object.entries(marks)) {
            for (const summary of document.querySelectorAll(`div.vevent.${status} span.summary`)) {
                const style = getComputedStyle(summary, '::after');
                const content = style.content;
                // A leading plain space is dropped at the start of an inline
                // block, unless white space is kept; a no-break space stays.
                const kept = style.display === 'inline' || /^(pre|break-spaces)/.test(style.whiteSpace)
                                 ? /^"[ \u00a0]/ : /^"\u00a0/;
                if (!kept.test(content) || !content.includes(mark))
                    problems.push(`${status} "${summary.textContent}" is marked ${content}`);
            }
        }
        for (const summary of document.querySelectorAll('div.vevent.CANCELLED span.summary')) {
            if (!getComputedStyle(summary).textDecorationLine.includes('line-through'))
                problems.push(`cancelled "${summary.textContent}" is not struck through`);
        }
        const plain_edge = getComputedStyle(document.documentElement).getPropertyValue('--event-edge');
        for (const block of document.querySelectorAll('div.vevent > div.Work')) {
            if (getComputedStyle(block).getPropertyValue('--event-edge') === plain_edge)
                problems.push(`the Work category of "${block.querySelector('span.summary').textContent}" ` +
                              'has no colour of its own');
        }
        return Array.from(new Set(problems));
    });
    if (found.length > 0)
        failures.push(`${where}: event marks\n` + found.map((line) => '    ' + line).join('\n'));
}

// On the phone each day names its weekday by its column: the name must be
// the short form of the column's heading, in both week starts and every
// language. A right-to-left page runs its columns from the right.
async function check_weekdays_and_direction(page, viewport, where, failures)
{
    const found = await page.evaluate((phone) => {
        const problems = [];
        const plain = (text) => text.replace(/^"|"$/g, '').replace(/\.$/, '').toLowerCase();
        for (const table of document.querySelectorAll('table')) {
            const headings = Array.from(table.querySelectorAll('thead th')).map((th) => th.textContent);
            if (!phone) {
                const cells = table.querySelectorAll('thead th');
                const first = cells[0].getBoundingClientRect().left;
                const last = cells[cells.length - 1].getBoundingClientRect().left;
                const rtl = getComputedStyle(table).direction === 'rtl';
                if (rtl !== (first > last))
                    problems.push(`${table.caption.textContent}: the first column is not at the ` +
                                  `${rtl ? 'right' : 'left'}`);
                continue;
            }
            for (const row of table.querySelectorAll('tbody tr')) {
                Array.from(row.children).forEach((cell, column) => {
                    const date = cell.querySelector('p.date');
                    if (!date || cell.getClientRects().length === 0)
                        return;
                    const label = plain(getComputedStyle(date, '::before').content);
                    if (!label || !headings[column].toLowerCase().startsWith(label))
                        problems.push(`${table.caption.textContent} ${date.textContent}: labelled ` +
                                      `"${label}" in the ${headings[column]} column`);
                });
            }
        }
        if (document.documentElement.lang && /^(ar|he|fa|ur)(-|$)/.test(document.documentElement.lang) &&
            document.documentElement.dir !== 'rtl')
            problems.push('a right-to-left language without dir="rtl"');
        return Array.from(new Set(problems));
    }, viewport.isMobile);
    if (found.length > 0)
        failures.push(`${where}: weekdays and direction\n` +
                      found.slice(0, 10).map((line) => '    ' + line).join('\n'));
}

// The printout's pages, counted in the PDF's page tree: every page object
// says /Type /Page, the tree's nodes /Type /Pages.
function count_pdf_pages(pdf)
{
    const text = pdf.toString('latin1');
    return (text.match(/\/Type\s*\/Page(?![A-Za-z])/g) || []).length;
}

// In print layout, at the printed page's width, every week row is kept whole
// by break-inside. On a page whose months must each fit a page, every row is
// also no taller than a page, so none is ever split and no day number is
// printed apart from its events; a busier week may grow past a page and
// then begins one.
async function check_print_layout(page, where, failures, page_box, must_fit)
{
    const found = await page.evaluate((page_height, must_fit) => {
        const problems = [];
        for (const row of document.querySelectorAll('tbody tr')) {
            const style = getComputedStyle(row);
            const height = row.getBoundingClientRect().height;
            const caption = row.closest('table').querySelector('caption').textContent;
            if (style.breakInside !== 'avoid' && style.pageBreakInside !== 'avoid')
                problems.push(`${caption}: a week row may be split across pages`);
            if (must_fit && height > page_height) {
                const first = row.querySelector('td:not(.skip) p.date');
                problems.push(`${caption}: the week of the ${first ? first.textContent : '?'}th ` +
                              `is ${Math.round(height)}px, taller than a page ` +
                              `(${Math.round(page_height)}px)`);
            }
        }
        // Today's mark is for the screen: a printout is read on other days.
        const today = document.getElementById('today');
        if (today && (getComputedStyle(today).boxShadow !== 'none' ||
                      getComputedStyle(today.querySelector('p.date')).backgroundColor !==
                          'rgba(0, 0, 0, 0)'))
            problems.push('the today mark is printed');
        return Array.from(new Set(problems));
    }, page_box.height, must_fit);
    if (found.length > 0)
        failures.push(`${where}: printout\n` + found.map((line) => '    ' + line).join('\n'));
}

// A4 landscape with the style sheet's 10 mm margins, in CSS pixels.
const MM = 96 / 25.4;
const A4_LANDSCAPE_BOX = {width: (297 - 20) * MM, height: (210 - 20) * MM};

async function check_print(browser, file, months, failures)
{
    const where = `${path.basename(path.dirname(file))}/${path.basename(file)} printed`;
    const page = await browser.newPage();
    await page.goto('file://' + file, {waitUntil: 'load'});
    const pdf = Buffer.from(await page.pdf({format: 'A4', landscape: true, preferCSSPageSize: false}));
    fs.writeFileSync(path.join(path.dirname(file), path.basename(file, '.html') + '.pdf'), pdf);
    const pages = count_pdf_pages(pdf);
    if (months !== null && pages !== months)
        failures.push(`${where}: ${months} months take ${pages} A4 landscape pages, not ${months}`);
    await page.emulateMediaType('print');
    await page.setViewport({width: Math.floor(A4_LANDSCAPE_BOX.width),
                            height: Math.floor(A4_LANDSCAPE_BOX.height)});
    await check_print_layout(page, where, failures, A4_LANDSCAPE_BOX, months !== null);
    await page.close();
    return pages;
}

// One load of the page per viewport: the colour schemes follow one another
// on it, each checked whole (the style sheet answers a change of scheme
// without a reload, and axe is added once).
async function check_screen(browser, file, viewport, failures)
{
    const page = await browser.newPage();
    await page.setViewport(viewport);
    await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: SCHEMES[0]}]);
    await page.goto('file://' + file, {waitUntil: 'load'});
    await page.addScriptTag({content: AXE_SOURCE});
    for (const scheme of SCHEMES) {
        const where = `${path.basename(path.dirname(file))}/${path.basename(file)} at ${viewport.width}x${viewport.height}, ${scheme}`;
        await page.emulateMediaFeatures([{name: 'prefers-color-scheme', value: scheme}]);
        const applied = await page.evaluate(
            (wanted) => matchMedia(`(prefers-color-scheme: ${wanted})`).matches, scheme);
        if (!applied) {
            failures.push(`${where}: the colour scheme did not apply`);
            continue;
        }
        await check_accessibility(page, where, failures);
        await check_event_marks(page, where, failures);
        await check_weekdays_and_direction(page, viewport, where, failures);
        if (viewport.isMobile)
            await check_phone_reading(page, viewport, where, failures);
    }
    await page.close();
}

// Runs the checks two at a time: the machine has two cores, and axe's
// contrast rule on a busy page is the long part.
async function run_in_pairs(tasks)
{
    let next = 0;
    const worker = async () => {
        while (next < tasks.length)
            await tasks[next++]();
    };
    await Promise.all([worker(), worker()]);
}

async function main()
{
    const [chromium, work, ...pages] = process.argv.slice(2);
    if (!chromium || !work || pages.length === 0) {
        console.error('usage: node page_test.js CHROMIUM WORK PAGE.html[:MONTHS]...');
        process.exit(2);
    }
    const profile = fs.mkdtempSync(path.join(work, 'profile-'));
    const browser = await puppeteer.launch({
        executablePath: chromium,
        headless: true,
        args: CHROMIUM_FLAGS.concat([`--user-data-dir=${profile}`]),
    });
    const failures = [];
    const tasks = [];
    for (const argument of pages) {
        const [file, months] = argument.split(':');
        const absolute = path.resolve(file);
        for (const viewport of VIEWPORTS)
            tasks.push(() => check_screen(browser, absolute, viewport, failures));
        tasks.push(async () => {
            const printed = await check_print(browser, absolute, months ? Number(months) : null,
                                              failures);
            console.log(`${path.basename(path.dirname(file))}/${path.basename(file)}: printed on ${printed} A4 landscape pages`);
        });
    }
    try {
        await run_in_pairs(tasks);
    } finally {
        await browser.close();
        fs.rmSync(profile, {recursive: true, force: true});
    }
    if (failures.length > 0) {
        console.error(failures.join('\n'));
        console.error(`${failures.length} failed checks`);
        process.exit(1);
    }
    console.log(`${pages.length * (VIEWPORTS.length * SCHEMES.length + 1)} checks passed`);
}

main().catch((error) => {
    console.error(error.stack || String(error));
    process.exit(1);
});
