// Runs the outline script outside a browser, in surroundings that lack the standard DOM (no
// document at all, an old browser's document, odd version texts), where it must load and
// answer calls without throwing, and checks what it reads from the browser's version text.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import vm from 'node:vm';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const source = fs.readFileSync(path.resolve(here, '..', '..', 'resources', 'outline.js'), 'latin1');

function load(globals) {
  const context = vm.createContext(globals);
  vm.runInContext(source, context, { filename: 'outline.js' });
  return context;
}

function callEverything(page) {
  page.initOutline();
  page.dynOutline();
  page.dynOutline({ type: 'click' });
  page.dynOutline({ type: 'keydown', keyCode: 13 });
  assert.equal(page.getControlTag(null), null);
  assert.equal(page.dynOutlineEnabled(null), false);
  assert.equal(page.initCollapse(null), false);
  assert.equal(page.containedIn(null, null), false);
}

test('the script loads and stays quiet where there is no document or browser', () => {
  const page = load({});
  assert.equal(page.ie4, false);
  assert.equal(page.mac, -1);
  assert.equal(page.TRok, false);
  callEverything(page);
});

test('the script stays quiet in browsers without the standard DOM', async (t) => {
  const oldBrowsers = [
    { name: 'Internet Explorer 4', userAgent: 'Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)',
      document: { all: [], readyState: 'complete', body: {} },
      window: { event: { type: 'click', srcElement: { tagName: 'B' } } } },
    { name: 'Netscape 4', userAgent: 'Mozilla/4.7 [en] (WinNT; I)', document: { layers: [] },
      window: {} },
    { name: 'a browser without a version text', userAgent: undefined, document: {}, window: {} },
  ];
  for (const browser of oldBrowsers) {
    await t.test(browser.name, () => {
      const page = load({ navigator: { userAgent: browser.userAgent }, document: browser.document,
                          window: browser.window });
      callEverything(page);
    });
  }
});

test('the version text tells Internet Explorer 4 or later and the Macintosh', async (t) => {
  const cases = [
    ['Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)', true, false],
    ['Mozilla/4.0 (compatible; MSIE 3.02; Windows 95)', false, false],
    ['Mozilla/4.0 (compatible; MSIE 5.23; Mac_PowerPC)', true, false],
    ['Mozilla/4.0 (compatible; MSIE 5.0; Macintosh; I; PPC)', true, true],
    ['Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Trident/6.0)', true, false],
    ['Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0',
     false, false],
    ['Mozilla/5.0 (Macintosh; Intel Mac OS X 14_0) AppleWebKit/605.1.15 Safari/605.1.15', false,
     true],
  ];
  for (const [userAgent, ie4, mac] of cases) {
    await t.test(userAgent, () => {
      const page = load({ navigator: { userAgent } });
      assert.equal(page.ie4, ie4, 'ie4');
      assert.equal(page.mac > 0, mac, 'mac');
    });
  }
});
