// Opens archives in headless Chromium and checks what a reader sees: the grouped table of
// contents folding on clicks and keys (collapsible, initially collapsed or open), the plain
// grouped and flat tables of contents staying open, links opening article pages styled by
// style.css, and no script error on the way.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

import {
  articlesOf, buildStore, categories, generateArchive, programTools, typesOf,
} from './program_archive.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const sourceDir = path.resolve(here, '..', '..');
const artifactsDir = path.join(here, 'artifacts');
const chromiumPath = process.env.LORVA_CHROMIUM || '/usr/bin/chromium';
const skip = !fs.existsSync(chromiumPath) && `no browser at ${chromiumPath}`;

const LAYOUTS = {
  collapsed: { grouped: true, collapsible: true, initCollapsed: true },
  open: { grouped: true, collapsible: true, initCollapsed: false },
  plain: { grouped: true, collapsible: false, initCollapsed: false },
  flat: { grouped: false, collapsible: false, initCollapsed: false },
};

let workDir;
let context;
const archives = {};

before(async () => {
  if (skip) return;
  workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lorva-browser-'));
  fs.mkdirSync(artifactsDir, { recursive: true });
  // The program writes the archives (run by hand: from the build folder build/).
  const tools = programTools(process.env.LORVA_BINARY_DIR || path.join(sourceDir, 'build'));
  const store = buildStore(tools, workDir);
  for (const [name, layout] of Object.entries(LAYOUTS)) {
    archives[name] = path.join(workDir, name);
    generateArchive(tools, store, archives[name], layout, path.join(workDir, 'settings'));
  }
  context = await chromium.launchPersistentContext(path.join(workDir, 'profile'), {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 800, height: 600 },
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
});

after(async () => {
  if (context) await context.close();
  if (workDir) fs.rmSync(workDir, { recursive: true, force: true });
});

// A new tab that records every script error, console error and failed load.
async function openReader(name, { userAgent, shotPrefix = name } = {}) {
  const page = await context.newPage();
  if (userAgent) {
    const cdp = await context.newCDPSession(page);
    await cdp.send('Emulation.setUserAgentOverride', { userAgent });
  }
  const problems = { scriptErrors: [], failedLoads: [] };
  page.on('pageerror', (error) => problems.scriptErrors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() !== 'error') return;
    if (message.text().startsWith('Failed to load resource')) return;  // seen as requestfailed
    problems.scriptErrors.push(message.text());
  });
  page.on('requestfailed', (request) => problems.failedLoads.push(request.url()));
  let shot = 0;
  const snap = (step) =>
    page.screenshot({
      path: path.join(artifactsDir, `${shotPrefix}-${String(++shot).padStart(2, '0')}-${step}.png`),
      fullPage: true,
    });
  await page.goto(pathToFileURL(path.join(archives[name], 'index.htm')).href);
  await page.waitForLoadState('load');
  return { page, problems, snap };
}

// What the reader sees of the grouped table of contents: for every category, type and page
// entry, whether it is on screen.
function seen(page) {
  return page.evaluate(() => {
    const visible = (el) => el.checkVisibility();
    const result = {};
    const top = document.querySelector('body > ul');
    for (const category of top.querySelectorAll(':scope > li')) {
      const name = category.querySelector(':scope > p > b').textContent;
      result[name] = visible(category.querySelector(':scope > p'));
      for (const type of category.querySelectorAll(':scope > ul > li')) {
        const typeName = name + ' / ' + type.querySelector(':scope > p > b').textContent;
        result[typeName] = visible(type.querySelector(':scope > p'));
        for (const link of type.querySelectorAll(':scope > ul > li a')) {
          result[typeName + ' / ' + link.textContent] = visible(link);
        }
      }
    }
    return result;
  });
}

// What the reader should see when the categories and "category / type" pairs in `open` are
// unfolded (everything else folded).
function expected(open) {
  const result = {};
  for (const category of categories()) {
    result[category] = true;
    for (const type of typesOf(category)) {
      const typeName = category + ' / ' + type;
      result[typeName] = open.has(category);
      for (const a of articlesOf(category, type)) {
        result[typeName + ' / ' + a.subject] = open.has(category) && open.has(typeName);
      }
    }
  }
  return result;
}

function everything() {
  const open = new Set(categories());
  for (const category of categories()) {
    for (const type of typesOf(category)) open.add(category + ' / ' + type);
  }
  return open;
}

async function expectSeen(page, open, step) {
  assert.deepEqual(await seen(page), expected(open), `what the reader sees after: ${step}`);
}

const categoryHeading = (page, category) =>
  page.locator(`xpath=/html/body/ul/li/p/b[normalize-space()="${category}"]`);
const typeHeading = (page, category, type) =>
  page.locator(
    `xpath=/html/body/ul/li[p/b[normalize-space()="${category}"]]` +
      `/ul/li/p/b[normalize-space()="${type}"]`);

// The heading the keyboard and screen readers use for a category or type.
async function headingState(page, locator) {
  return locator.evaluate((b) => {
    const p = b.parentElement;
    return {
      role: p.getAttribute('role'),
      tabIndex: p.tabIndex,
      expanded: p.getAttribute('aria-expanded'),
    };
  });
}

async function focusedText(page) {
  return page.evaluate(() => document.activeElement && document.activeElement.textContent);
}

// Checks that the bullet image the style sheet gives `selector` loads: 8 by 8 pixels.
async function checkBullet(t, page, selector) {
  await t.test(`the bullet image of ${selector} loads`, async () => {
    const bullet = await page.evaluate(async (sel) => {
      const match = /url\("?(.*?)"?\)/.exec(getComputedStyle(document.querySelector(sel)).listStyleImage);
      if (!match) return { url: null, loaded: false };
      const img = new Image();
      img.src = match[1];
      const loaded = await img.decode().then(() => img.naturalWidth === 8 && img.naturalHeight === 8,
                                             () => false);
      return { url: match[1], loaded };
    }, selector);
    assert.ok(bullet.url && bullet.url.endsWith('bulletredsmall.gif'), `bullet ${bullet.url}`);
    assert.ok(bullet.loaded, `the bullet image ${bullet.url} loads`);
  });
}

// Follows the link of `subject`, checks the article page the reader gets, and comes back
// through its back link.
async function readArticle(t, reader, article) {
  const { page, snap } = reader;
  await Promise.all([
    page.waitForURL((url) => !url.pathname.endsWith('/index.htm')),
    page.getByRole('link', { name: article.subject, exact: true }).click(),
  ]);
  assert.match(decodeURIComponent(page.url()), /\.htm$/);
  assert.notEqual(path.basename(page.url()), 'index.htm', 'the link left the table of contents');
  await snap('article');

  const h1 = page.locator('h1');
  assert.equal(await h1.textContent(), article.subject);
  assert.ok(await h1.isVisible());
  const heading = await h1.evaluate((el) => {
    const s = getComputedStyle(el);
    return { family: s.fontFamily, style: s.fontStyle, weight: s.fontWeight, size: s.fontSize };
  });
  assert.match(heading.family, /Verdana/, 'the heading is set in Verdana from style.css');
  assert.equal(heading.style, 'italic');
  assert.equal(heading.weight, '700');
  assert.equal(heading.size, '13.3333px', 'the heading is 10pt');
  const body = await page.evaluate(() => ({
    text: document.body.innerText,
    size: getComputedStyle(document.body).fontSize,
    decoration: getComputedStyle(document.querySelector("a[href='index.htm']")).textDecorationLine,
  }));
  assert.equal(body.size, '11.3333px', 'the page text is 8.5pt');
  assert.match(body.text, new RegExp(`Problem Type\\s+: ${article.type}`));
  assert.match(body.text, new RegExp(`Problem Category : ${article.category}`));
  assert.equal(body.decoration, 'none',
               "links are not underlined: style.css's first rule applies");
  const backLinks = page.getByRole('link', { name: 'Table of Contents (index)' });
  assert.ok((await backLinks.count()) >= 1, 'the page links back to the table of contents');
  if (await page.locator('li').count()) await checkBullet(t, page, 'li');

  await Promise.all([
    page.waitForURL((url) => url.pathname.endsWith('/index.htm')),
    backLinks.last().click(),
  ]);
  assert.equal(path.basename(page.url()), 'index.htm');
}

function assertNoScriptErrors(problems) {
  assert.deepEqual(problems.scriptErrors, [], 'no script error reaches the console');
}

function assertNoProblems(problems) {
  assertNoScriptErrors(problems);
  assert.deepEqual(problems.failedLoads, [], 'every file the pages use loads');
}

const [firstArticle] = articlesOf('Hardware', 'Network');

test('a collapsed outline opens showing only the categories and unfolds on clicks', { skip },
     async (t) => {
  const reader = await openReader('collapsed');
  const { page, problems, snap } = reader;
  await snap('opened');
  await expectSeen(page, new Set(), 'opening');
  for (const category of categories()) {
    assert.deepEqual(await headingState(page, categoryHeading(page, category)),
                     { role: 'button', tabIndex: 0, expanded: 'false' }, category);
  }

  await categoryHeading(page, 'Hardware').click();
  await snap('category-open');
  await expectSeen(page, new Set(['Hardware']), 'a click on the category Hardware');
  assert.equal((await headingState(page, categoryHeading(page, 'Hardware'))).expanded, 'true');

  await typeHeading(page, 'Hardware', 'Printer').click();
  await snap('type-open');
  await expectSeen(page, new Set(['Hardware', 'Hardware / Printer']), 'a click on Printer');
  const printer = typeHeading(page, 'Hardware', 'Printer');
  assert.equal((await headingState(page, printer)).expanded, 'true');

  await typeHeading(page, 'Hardware', 'Printer').click();
  await expectSeen(page, new Set(['Hardware']), 'a second click on the type Printer');
  assert.equal((await headingState(page, printer)).expanded, 'false');

  await typeHeading(page, 'Hardware', 'Network').click();
  await categoryHeading(page, 'Software').click();
  await snap('two-open');
  await expectSeen(page, new Set(['Hardware', 'Hardware / Network', 'Software']),
                   'clicks on Hardware / Network and Software');

  await categoryHeading(page, 'Hardware').click();
  await snap('category-closed');
  await expectSeen(page, new Set(['Software']), 'a second click on Hardware');
  await categoryHeading(page, 'Hardware').click();
  await expectSeen(page, new Set(['Hardware', 'Hardware / Network', 'Software']),
                   'a third click on Hardware (its types keep their state)');

  await checkBullet(t, page, 'body > ul > li');
  await readArticle(t, reader, firstArticle);
  await expectSeen(page, new Set(), 'coming back to the table of contents');

  assertNoProblems(problems);
  await page.close();
});

test('a collapsed outline folds from the keyboard and tells screen readers its state', { skip },
     async () => {
  const { page, problems, snap } = await openReader('collapsed');
  assert.equal(await page.getByRole('button').count(), categories().length,
               'only the visible headings are buttons');
  const hardware = page.getByRole('button', { name: 'Hardware', exact: true });
  assert.equal(await hardware.getAttribute('aria-expanded'), 'false');

  await page.keyboard.press('Tab');
  assert.equal(await focusedText(page), 'Hardware', 'Tab reaches the first category');
  await page.keyboard.press('Enter');
  await snap('keyboard-enter');
  await expectSeen(page, new Set(['Hardware']), 'Enter on Hardware');
  assert.equal(await hardware.getAttribute('aria-expanded'), 'true');

  await page.keyboard.press('Tab');
  assert.equal(await focusedText(page), 'Network', 'Tab goes on to the first type');
  await page.keyboard.press(' ');
  await snap('keyboard-space');
  await expectSeen(page, new Set(['Hardware', 'Hardware / Network']), 'Space on Network');
  assert.equal(await page.evaluate(() => window.scrollY), 0, 'Space does not scroll the page');

  await page.keyboard.press('Tab');
  assert.equal(await focusedText(page), firstArticle.subject, 'Tab goes on to the page entry');
  await page.keyboard.press('Shift+Tab');
  await page.keyboard.press(' ');
  await expectSeen(page, new Set(['Hardware']), 'Space again on Network');
  const network = page.getByRole('button', { name: 'Network', exact: true }).first();
  assert.equal(await network.getAttribute('aria-expanded'), 'false');

  await page.keyboard.press('Shift+Tab');
  assert.equal(await focusedText(page), 'Hardware');
  await page.keyboard.press('Enter');
  await expectSeen(page, new Set(), 'Enter again on Hardware');
  assert.equal(await hardware.getAttribute('aria-expanded'), 'false');

  assertNoScriptErrors(problems);
  await page.close();
});

test('an outline that is not collapsed initially opens whole and still folds', { skip },
     async (t) => {
  assert.ok(fs.existsSync(path.join(archives.open, 'outline.js')), 'the outline script is written');
  const reader = await openReader('open');
  const { page, problems, snap } = reader;
  await snap('opened');
  const all = everything();
  await expectSeen(page, all, 'opening');
  assert.equal((await headingState(page, categoryHeading(page, 'Software'))).expanded, 'true');

  await categoryHeading(page, 'Software').click();
  await snap('category-closed');
  const withoutSoftware = new Set([...all].filter((name) => name !== 'Software'));
  await expectSeen(page, withoutSoftware, 'a click on Software');
  assert.equal((await headingState(page, categoryHeading(page, 'Software'))).expanded, 'false');

  await typeHeading(page, 'Hardware', 'Printer').click();
  await snap('type-closed');
  withoutSoftware.delete('Hardware / Printer');
  await expectSeen(page, withoutSoftware, 'a click on Hardware / Printer');

  await readArticle(t, reader, firstArticle);
  await expectSeen(page, all, 'coming back to the table of contents');
  assertNoProblems(problems);
  await page.close();
});

test('plain grouped and flat tables of contents stay open and their links open the pages', { skip },
     async (t) => {
  const all = everything();
  for (const name of ['plain', 'flat']) {
    const reader = await openReader(name);
    const { page, problems, snap } = reader;
    assert.ok(!fs.existsSync(path.join(archives[name], 'outline.js')), 'no outline script');
    await snap('opened');
    if (name === 'plain') {
      await expectSeen(page, all, 'opening');
      await categoryHeading(page, 'Hardware').click();
      await typeHeading(page, 'Software', 'Mail').click();
      await expectSeen(page, all, 'clicks on headings');
      assert.equal(await page.getByRole('button').count(), 0, 'no heading is made a button');
    } else {
      const links = await page.locator('body > ul > li > a').evaluateAll((as) =>
        as.map((a) => ({ text: a.textContent, visible: a.checkVisibility() })));
      const subjects = categories()
        .flatMap((c) => typesOf(c).flatMap((type) => articlesOf(c, type)))
        .map((a) => a.subject)
        .sort((a, b) => a.toLowerCase().localeCompare(b.toLowerCase()));
      assert.deepEqual(links, subjects.map((text) => ({ text, visible: true })));
      await checkBullet(t, page, 'body > ul > li');
    }
    await readArticle(t, reader, firstArticle);
    assertNoProblems(problems);
    await page.close();
  }
});

test('the outline folds whatever the browser calls itself', { skip }, async (t) => {
  const browsers = [
    ['mac', 'Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0) AppleWebKit/605.1.15 Safari/605.1.15'],
    ['msie', 'Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)'],
  ];
  for (const [label, userAgent] of browsers) {
    await t.test(userAgent, async () => {
      const { page, problems, snap } =
        await openReader('collapsed', { userAgent, shotPrefix: `collapsed-${label}` });
      assert.equal(await page.evaluate(() => navigator.userAgent), userAgent);
      await expectSeen(page, new Set(), 'opening');
      await categoryHeading(page, 'Software').click();
      await typeHeading(page, 'Software', 'Mail').click();
      await snap('opened-mail');
      await expectSeen(page, new Set(['Software', 'Software / Mail']), 'clicks on Software, Mail');
      assertNoScriptErrors(problems);
      await page.close();
    });
  }
});
