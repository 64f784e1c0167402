// Has the program write the archives: builds a small mail store from readable sources with the
// store builder, then runs the batch mode over it with the options of each layout.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

// The knowledge base the archives are made of.
export const ARTICLES = [
  { category: 'Hardware', type: 'Printer', subject: 'Paper jam in tray 2' },
  { category: 'Hardware', type: 'Network', subject: 'Cable unplugged' },
  { category: 'Software', type: 'Network', subject: 'VPN drops after an hour' },
  { category: 'Hardware', type: 'Printer', subject: 'Printer offline' },
  { category: 'Software', type: 'Mail', subject: 'Mailbox full' },
];

// Categories and types in list order, and the articles of a pair in subject order.
const distinct = (list) => [...new Set(list)].sort();
export const categories = () => distinct(ARTICLES.map((a) => a.category));
export const typesOf = (category) =>
  distinct(ARTICLES.filter((a) => a.category === category).map((a) => a.type));
export const bySubject = (a, b) => a.subject.toLowerCase().localeCompare(b.subject.toLowerCase());
export const articlesOf = (category, type) =>
  ARTICLES.filter((a) => a.category === category && a.type === type).sort(bySubject);

// Writes the knowledge base of ARTICLES as store sources and builds the mail store from them.
export function buildStore(tools, workDir) {
  const sources = path.join(workDir, 'store-sources');
  const folder = path.join(sources, 'Knowledge Base');
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(path.join(sources, 'store.ini'), '[Store]\nCurrentFolder=Knowledge Base\n');
  fs.writeFileSync(path.join(folder, 'folder.ini'),
                   '[Folder]\nWebViewURL=http://intranet.example/kb/OLorva.htm\n');
  ARTICLES.forEach((a, i) => {
    const item = path.join(folder, `KB${1001 + i}`);
    fs.mkdirSync(item);
    fs.writeFileSync(path.join(item, 'article.properties'),
                     `subject = ${a.subject}\ncategory = ${a.category}\ntype = ${a.type}\n` +
                     'bodies = html\n');
    fs.writeFileSync(path.join(item, 'body.html'),
                     `<html>\n<head>\n<title>${a.subject}</title>\n</head>\n<body>\n` +
                     `<p>Steps for ${a.subject}:</p>\n<ul>\n<li>Check the device</li>\n` +
                     '<li>Restart it</li>\n</ul>\n</body>\n</html>\n');
  });
  const store = path.join(workDir, 'store');
  execFileSync(tools.storeBuilder, [sources, store], { stdio: 'pipe' });
  return store;
}

// Runs the batch mode over `store` into `dir`, grouped, collapsible and initially collapsed as
// the three flags (1 or 0) of `layout` say.
export function generateArchive(tools, store, dir, [grouped, collapsible, initially], settingsDir) {
  fs.mkdirSync(dir, { recursive: true });
  const settings = {
    DestinationFolder: dir, optGroup: 1 - grouped, chkCollapse: collapsible,
    chkCollapseInitially: initially, GenerateTOC: 1, OverwriteFiles: 1, RunTOC: 0, chkAttachments: 0,
  };
  const args = Object.entries(settings).flatMap(([name, value]) => ['--set', `${name}=${value}`]);
  execFileSync(tools.archiver, ['--generate', '--store', store, ...args], {
    stdio: 'pipe',
    env: { ...process.env, XDG_CONFIG_HOME: settingsDir, QT_QPA_PLATFORM: 'offscreen' },
  });
}
