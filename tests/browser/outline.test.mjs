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
  ARTICLES, articlesOf, buildStore, bySubject, categories, generateArchive, typesOf,
} from './program_archive.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const chromiumPath = process.env.LORVA_CHROMIUM || '/usr/bin/chromium';
const skip = !fs.existsSync(chromiumPath) && `no browser at ${chromiumPath}`;

// Each layout: grouped, collapsible, initially collapsed.
const LAYOUTS = { collapsed: [1, 1, 1], open: [1, 1, 0], plain: [1, 0, 0], flat: [0, 0, 0] };

let workDir;
let context;
const archives = {};

before(async () => {
  if (skip) return;
  workDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lorva-browser-'));
  const bin = process.env.LORVA_BINARY_DIR || path.join(here, '../../build');  // run by hand
  const tools = { archiver: `${bin}/lorva-archive`, storeBuilder: `${bin}/build_sample_store` };
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

// Runs `check` on a new tab on the archive's index, then checks that no script error or failed
// load happened on the way.
async function withReader(name, check) {
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
  await check(page);
  assert.deepEqual(problems, { scriptErrors: [], failedLoads: [] }, 'no script error or failed load');
  await page.close();
}

// The entries of the grouped table of contents the reader sees: "Category", "Category / Type"
// and "Category / Type / Subject".
function seen(page) {
  return page.evaluate(() => {
    const names = [];
    const walk = (list, prefix) => {
      for (const li of list.querySelectorAll(':scope > li')) {
        const entry = li.querySelector(':scope > p > b, :scope a');
        if (entry.checkVisibility()) names.push(prefix + entry.textContent);
        const inner = li.querySelector(':scope > ul');
        if (inner) walk(inner, prefix + entry.textContent + ' / ');
      }
    };
    walk(document.querySelector('body > ul'), '');
    return names;
  });
}

// Checks what is seen when the categories and "category / type" pairs in `open` are unfolded.
async function expectSeen(page, open, step) {
  const expected = categories().flatMap((c) => [c, ...(!open.includes(c) ? [] : typesOf(c).flatMap(
    (t) => [`${c} / ${t}`, ...(!open.includes(`${c} / ${t}`) ? [] : articlesOf(c, t).map(
      (a) => `${c} / ${t} / ${a.subject}`))]))]);
  assert.deepEqual(await seen(page), expected, `what the reader sees after: ${step}`);
}

const everything = () => categories().flatMap((c) => [c, ...typesOf(c).map((t) => c + ' / ' + t)]);

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
// its back link; `seenBack` is what the table of contents shows then.
async function readArticle(page, seenBack) {
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
  if (seenBack) await expectSeen(page, seenBack, 'coming back to the table of contents');
}

// Clicks the headings named "Category" or "Category / Type" in turn.
async function click(page, ...names) {
  for (const name of names) await heading(page, ...name.split(' / ')).click();
}

test('a collapsed outline opens showing only the categories and unfolds on clicks', { skip },
     () => withReader('collapsed', async (page) => {
  await expectSeen(page, [], 'opening');
  assert.equal(await expanded(page, 'Hardware'), 'false');
  await click(page, 'Hardware');
  await expectSeen(page, ['Hardware'], 'a click on the category Hardware');
  assert.equal(await expanded(page, 'Hardware'), 'true');
  await click(page, 'Hardware / Printer');
  await expectSeen(page, ['Hardware', 'Hardware / Printer'], 'a click on Printer');
  await click(page, 'Hardware / Printer', 'Hardware / Network', 'Software');
  await expectSeen(page, ['Hardware', 'Hardware / Network', 'Software'],
                   'a second click on Printer, clicks on Hardware / Network and Software');
  await click(page, 'Hardware');
  await expectSeen(page, ['Software'], 'a second click on Hardware');
  await click(page, 'Hardware');
  await expectSeen(page, ['Hardware', 'Hardware / Network', 'Software'],
                   'a third click on Hardware (its types keep their state)');
  await checkBullet(page, 'body > ul > li');
  await readArticle(page, []);
}));

test('a collapsed outline folds from the keyboard', { skip }, () => withReader('collapsed',
                                                                                async (page) => {
  assert.equal(await page.getByRole('button').count(), categories().length,
               'only the visible headings are buttons');
  const focused = () => page.evaluate(() => document.activeElement.textContent);
  await page.keyboard.press('Tab');
  assert.equal(await focused(), 'Hardware', 'Tab reaches the first category');
  await page.keyboard.press('Enter');
  await page.keyboard.press('Tab');
  assert.equal(await focused(), 'Network', 'Tab goes on to the first type');
  await page.keyboard.press(' ');
  await expectSeen(page, ['Hardware', 'Hardware / Network'], 'Enter, Tab and Space');
  assert.equal(await page.evaluate(() => window.scrollY), 0, 'Space does not scroll the page');
  await page.keyboard.press('Shift+Tab');
  await page.keyboard.press('Enter');
  await expectSeen(page, [], 'Shift+Tab and Enter on Hardware');
}));

test('an outline that is not collapsed initially opens whole and still folds', { skip },
     () => withReader('open', async (page) => {
  await expectSeen(page, everything(), 'opening');
  await click(page, 'Software', 'Hardware / Printer');
  await expectSeen(page, everything().filter((n) => n !== 'Software' && n !== 'Hardware / Printer'),
                   'clicks on Software and Hardware / Printer');
  assert.equal(await expanded(page, 'Software'), 'false');
}));

test('plain grouped and flat tables of contents stay open and their links open the pages', { skip },
     async () => {
  for (const name of ['plain', 'flat']) {
    await withReader(name, async (page) => {
      if (name === 'plain') {
        await click(page, 'Hardware', 'Software / Mail');
        await expectSeen(page, everything(), 'clicks on headings');
        assert.equal(await page.getByRole('button').count(), 0, 'no heading is made a button');
      } else {
        const links = await page.locator('body > ul > li > a').evaluateAll((as) =>
          as.map((a) => a.checkVisibility() && a.textContent));
        assert.deepEqual(links, [...ARTICLES].sort(bySubject).map((a) => a.subject));
        await checkBullet(page, 'body > ul > li');
      }
      await readArticle(page);
    });
  }
});
