// Opens archives the program writes in headless Chromium and checks what a reader sees: the
// grouped table of contents folding on clicks and keys (collapsible, initially collapsed or
// open), the plain grouped and flat tables of contents staying open, links opening article pages
// styled by style.css, and no script error or failed load on the way.
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
  // Run by hand: from the build folder build/.
  const tools = programTools(process.env.LORVA_BINARY_DIR || path.join(here, '..', '..', 'build'));
  const store = buildStore(tools, workDir);
  for (const [name, layout] of Object.entries(LAYOUTS)) {
    archives[name] = path.join(workDir, name);
    generateArchive(tools, store, archives[name], layout, path.join(workDir, 'settings'));
  }
  context = await chromium.launchPersistentContext(path.join(workDir, 'profile'), {
    executablePath: chromiumPath,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  if (context) await context.close();
  if (workDir) fs.rmSync(workDir, { recursive: true, force: true });
});

// A new tab on the archive's index that records every script error and failed load.
async function openReader(name) {
  const page = await context.newPage();
  const problems = { scriptErrors: [], failedLoads: [] };
  page.on('pageerror', (error) => problems.scriptErrors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() === 'error' && !message.text().startsWith('Failed to load resource')) {
      problems.scriptErrors.push(message.text());
    }
  });
  page.on('requestfailed', (request) => problems.failedLoads.push(request.url()));
  await page.goto(pathToFileURL(path.join(archives[name], 'index.htm')).href);
  await page.waitForLoadState('load');
  return { page, problems };
}

// For every category, type and page entry of the grouped table of contents: whether it is seen.
function seen(page) {
  return page.evaluate(() => {
    const result = {};
    for (const category of document.querySelectorAll('body > ul > li')) {
      const name = category.querySelector(':scope > p > b').textContent;
      result[name] = category.querySelector(':scope > p').checkVisibility();
      for (const type of category.querySelectorAll(':scope > ul > li')) {
        const typeName = name + ' / ' + type.querySelector(':scope > p > b').textContent;
        result[typeName] = type.querySelector(':scope > p').checkVisibility();
        for (const link of type.querySelectorAll(':scope > ul > li a')) {
          result[typeName + ' / ' + link.textContent] = link.checkVisibility();
        }
      }
    }
    return result;
  });
}

// Checks what is seen when the categories and "category / type" pairs in `open` are unfolded.
async function expectSeen(page, open, step) {
  const expected = {};
  for (const category of categories()) {
    expected[category] = true;
    for (const type of typesOf(category)) {
      const typeName = category + ' / ' + type;
      expected[typeName] = open.has(category);
      for (const a of articlesOf(category, type)) {
        expected[typeName + ' / ' + a.subject] = open.has(category) && open.has(typeName);
      }
    }
  }
  assert.deepEqual(await seen(page), expected, `what the reader sees after: ${step}`);
}

function everything() {
  return new Set(categories().flatMap((c) => [c, ...typesOf(c).map((t) => c + ' / ' + t)]));
}

const heading = (page, category, type) =>
  page.locator(`xpath=/html/body/ul/li/p/b[normalize-space()="${category}"]` +
               (type ? `/../../ul/li/p/b[normalize-space()="${type}"]` : ''));
const expanded = (page, category, type) =>
  heading(page, category, type).evaluate((b) => b.parentElement.getAttribute('aria-expanded'));

// Checks that the bullet image the style sheet gives `selector` loads: 8 by 8 pixels.
async function checkBullet(page, selector) {
  const bullet = await page.evaluate(async (sel) => {
    const style = getComputedStyle(document.querySelector(sel)).listStyleImage;
    const match = /url\("?(.*?)"?\)/.exec(style);
    if (!match) return { url: style, loaded: false };
    const img = new Image();
    img.src = match[1];
    const loaded = await img.decode().then(() => img.naturalWidth === 8 && img.naturalHeight === 8,
                                           () => false);
    return { url: match[1], loaded };
  }, selector);
  assert.ok(bullet.url.endsWith('bulletredsmall.gif') && bullet.loaded, `bullet ${bullet.url}`);
}

// Follows the link of the first article, checks the page the reader gets, and comes back through
// its back link.
async function readArticle(page) {
  const [article] = articlesOf('Hardware', 'Network');
  await Promise.all([
    page.waitForURL((url) => !url.pathname.endsWith('/index.htm')),
    page.getByRole('link', { name: article.subject, exact: true }).click(),
  ]);
  const h1 = page.locator('h1');
  assert.equal(await h1.textContent(), article.subject);
  const look = await page.evaluate(() => ({
    heading: getComputedStyle(document.querySelector('h1')).font,
    text: document.body.innerText,
    size: getComputedStyle(document.body).fontSize,
    decoration: getComputedStyle(document.querySelector("a[href='index.htm']")).textDecorationLine,
  }));
  assert.match(look.heading, /^italic .*700 13\.3333px .*Verdana/, 'the heading from style.css');
  assert.equal(look.size, '11.3333px', 'the page text is 8.5pt');
  assert.match(look.text, new RegExp(`Problem Type\\s+: ${article.type}`));
  assert.match(look.text, new RegExp(`Problem Category : ${article.category}`));
  assert.equal(look.decoration, 'none', "links are not underlined: style.css's first rule applies");
  await checkBullet(page, 'li');
  await Promise.all([
    page.waitForURL((url) => url.pathname.endsWith('/index.htm')),
    page.getByRole('link', { name: 'Table of Contents (index)' }).last().click(),
  ]);
}

function assertNoProblems(problems) {
  assert.deepEqual(problems, { scriptErrors: [], failedLoads: [] }, 'no script error or failed load');
}

test('a collapsed outline opens showing only the categories and unfolds on clicks', { skip },
     async () => {
  const { page, problems } = await openReader('collapsed');
  await expectSeen(page, new Set(), 'opening');
  assert.equal(await expanded(page, 'Hardware'), 'false');
  await heading(page, 'Hardware').click();
  await expectSeen(page, new Set(['Hardware']), 'a click on the category Hardware');
  assert.equal(await expanded(page, 'Hardware'), 'true');
  await heading(page, 'Hardware', 'Printer').click();
  await expectSeen(page, new Set(['Hardware', 'Hardware / Printer']), 'a click on Printer');
  await heading(page, 'Hardware', 'Printer').click();
  await heading(page, 'Hardware', 'Network').click();
  await heading(page, 'Software').click();
  await expectSeen(page, new Set(['Hardware', 'Hardware / Network', 'Software']),
                   'a second click on Printer, clicks on Hardware / Network and Software');
  await heading(page, 'Hardware').click();
  await expectSeen(page, new Set(['Software']), 'a second click on Hardware');
  await heading(page, 'Hardware').click();
  await expectSeen(page, new Set(['Hardware', 'Hardware / Network', 'Software']),
                   'a third click on Hardware (its types keep their state)');
  await checkBullet(page, 'body > ul > li');
  await readArticle(page);
  await expectSeen(page, new Set(), 'coming back to the table of contents');
  assertNoProblems(problems);
  await page.close();
});

test('a collapsed outline folds from the keyboard', { skip }, async () => {
  const { page, problems } = await openReader('collapsed');
  assert.equal(await page.getByRole('button').count(), categories().length,
               'only the visible headings are buttons');
  const focused = () => page.evaluate(() => document.activeElement.textContent);
  await page.keyboard.press('Tab');
  assert.equal(await focused(), 'Hardware', 'Tab reaches the first category');
  await page.keyboard.press('Enter');
  await page.keyboard.press('Tab');
  assert.equal(await focused(), 'Network', 'Tab goes on to the first type');
  await page.keyboard.press(' ');
  await expectSeen(page, new Set(['Hardware', 'Hardware / Network']), 'Enter, Tab and Space');
  assert.equal(await page.evaluate(() => window.scrollY), 0, 'Space does not scroll the page');
  await page.keyboard.press('Shift+Tab');
  await page.keyboard.press('Enter');
  await expectSeen(page, new Set(), 'Shift+Tab and Enter on Hardware');
  assertNoProblems(problems);
  await page.close();
});

test('an outline that is not collapsed initially opens whole and still folds', { skip },
     async () => {
  const { page, problems } = await openReader('open');
  const all = everything();
  await expectSeen(page, all, 'opening');
  await heading(page, 'Software').click();
  await heading(page, 'Hardware', 'Printer').click();
  await expectSeen(page, new Set([...all].filter((n) => n !== 'Software' && n !== 'Hardware / Printer')),
                   'clicks on Software and Hardware / Printer');
  assert.equal(await expanded(page, 'Software'), 'false');
  await readArticle(page);
  await expectSeen(page, all, 'coming back to the table of contents');
  assertNoProblems(problems);
  await page.close();
});

test('plain grouped and flat tables of contents stay open and their links open the pages', { skip },
     async () => {
  for (const name of ['plain', 'flat']) {
    const { page, problems } = await openReader(name);
    assert.ok(!fs.existsSync(path.join(archives[name], 'outline.js')), 'no outline script');
    if (name === 'plain') {
      await heading(page, 'Hardware').click();
      await heading(page, 'Software', 'Mail').click();
      await expectSeen(page, everything(), 'clicks on headings');
      assert.equal(await page.getByRole('button').count(), 0, 'no heading is made a button');
    } else {
      const links = await page.locator('body > ul > li > a').evaluateAll((as) =>
        as.map((a) => a.checkVisibility() && a.textContent));
      const subjects = categories()
        .flatMap((c) => typesOf(c).flatMap((type) => articlesOf(c, type)))
        .map((a) => a.subject)
        .sort((a, b) => a.toLowerCase().localeCompare(b.toLowerCase()));
      assert.deepEqual(links, subjects);
      await checkBullet(page, 'body > ul > li');
    }
    await readArticle(page);
    assertNoProblems(problems);
    await page.close();
  }
});
