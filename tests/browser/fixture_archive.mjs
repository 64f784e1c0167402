// Writes a small archive folder the way the program lays one out: index.htm (flat or grouped,
// plain or collapsible), one page per article, style.css, Images/bulletredsmall.gif and, for
// collapsible outlines, outline.js. Used while the batch mode cannot yet write the archive.
import fs from 'node:fs';
import path from 'node:path';

const CRLF = '\r\n';

// The knowledge base the archives are made of: categories and types in list order, articles
// with the page number each gets.
export const ARTICLES = [
  { page: '1001.htm', category: 'Hardware', type: 'Printer', subject: 'Paper jam in tray 2' },
  { page: '1002.htm', category: 'Hardware', type: 'Network', subject: 'Cable unplugged' },
  { page: '1003.htm', category: 'Software', type: 'Network', subject: 'VPN drops after an hour' },
  { page: '1004.htm', category: 'Hardware', type: 'Printer', subject: 'Printer offline' },
  { page: '1005.htm', category: 'Software', type: 'Mail', subject: 'Mailbox full' },
];

const bySubject = (a, b) => a.subject.toLowerCase().localeCompare(b.subject.toLowerCase());

export function categories() {
  return [...new Set(ARTICLES.map((a) => a.category))].sort();
}

export function typesOf(category) {
  return [...new Set(ARTICLES.filter((a) => a.category === category).map((a) => a.type))].sort();
}

export function articlesOf(category, type) {
  return ARTICLES.filter((a) => a.category === category && a.type === type).sort(bySubject);
}

const PLAIN_HEAD =
  '<html><head><title>Table of Contents</title>' +
  '<LINK REL="STYLESHEET" HREF="style.css" TYPE="text/css" />' +
  '</head><body><h1>Table of Contents</h1></p>';

const SCRIPT_BLOCK =
  '<script language="JavaScript" fptype="dynamicoutline">' + CRLF +
  '<!--' + CRLF +
  'function dynOutline() {}' + CRLF +
  '//-->' + CRLF +
  '</script>' + CRLF + CRLF +
  '<script language="JavaScript1.2" fptype="dynamicoutline" src="outline.js">' + CRLF +
  '</script>' + CRLF + CRLF +
  '<script language="JavaScript1.2" fptype="dynamicoutline" for="document" ' +
  'event="onreadystatechange()">' + CRLF +
  '<!--' + CRLF +
  'initOutline()' + CRLF +
  '//-->' + CRLF +
  '</script>';

const COLLAPSIBLE_HEAD =
  '<html><head><title>Table of Contents</title>' +
  '<LINK REL="STYLESHEET" HREF="style.css" TYPE="text/css" />' + CRLF +
  SCRIPT_BLOCK +
  '</head>' + CRLF +
  '<body onclick="dynOutline()" language="Javascript1.2"><h1>Table of Contents</h1></p>';

const CLOSING = '</ul><br></body></html>';

function flatIndex() {
  let text = PLAIN_HEAD + '<ul>';
  for (const a of [...ARTICLES].sort(bySubject)) {
    text += "<li><a href='" + a.page + "'>" + a.subject + '</a></li>';
  }
  return text + CLOSING;
}

function groupedIndex({ collapsible, initCollapsed }) {
  const item = collapsible ? '<li STYLE="cursor:hand"><p class="LiStyle">'
                           : '<li><p class="LiStyle">';
  let text = collapsible ? COLLAPSIBLE_HEAD : PLAIN_HEAD;
  if (!collapsible) text += '<ul>';
  else text += initCollapsed ? '<ul dynamicoutline initcollapsed>' : '<ul dynamicoutline>';
  for (const category of categories()) {
    text += item + '<b>' + category + '</b></p><ul>';
    for (const type of typesOf(category)) {
      text += item + '<b>' + type + '</b></p><ul>';
      for (const a of articlesOf(category, type)) {
        text += item + "<a href='" + a.page + "'>" + a.subject + '</a></p></li>';
      }
      text += '</ul></li>';
    }
    text += '</ul></li><br>';
  }
  return text + CLOSING;
}

// An article page as the page writer composes it from a typical HTML body.
function articlePage(a) {
  const link = '<LINK REL="STYLESHEET" HREF="style.css" TYPE="text/css" />';
  const toc = "<a href='index.htm'><b>Table of Contents (index)</b></a>";
  const header =
    '<h1>' + a.subject + '</h1>' + toc +
    '<hr><b>Problem Type     : </b>' + a.type + '<br>' +
    '<b>Problem Category : </b>' + a.category + '<br><hr><br>';
  const body =
    '<html><head><title>' + a.subject + '</title>' + link + '</head><body>' + header +
    '<p>Steps for ' + a.subject + ':</p><ul><li>Check the device</li><li>Restart it</li></ul>' +
    '</body></html>';
  return body + '<hr>' + toc;
}

// A stand-in style sheet with the rules the reader relies on, used only when resources/ has
// none yet.
const FALLBACK_STYLE = [
  '', 'a {text-decoration: none}', '',
  'ul', '{', "list-style-image: url('images/bulletredsmall.gif');", 'list-style-type: circle', '}',
  '.LiStyle', '{', 'line-height: 150%;', '}',
  'h1', '{', 'font-family: Verdana;', 'color:Black;', 'font-weight:bold;', 'font-style:italic;',
  'font-size: 10pt;', 'text-align:left', '}',
  'BODY', '{', 'font-family: Verdana;', 'text-align:left;', 'font-size: 8.5pt', '}',
].join(CRLF);

// An 8 by 8 red square (GIF89a), used only when resources/ has no bullet image yet.
const FALLBACK_BULLET = Buffer.from(
  'R0lGODlhCAAIAIAAAP8AAP///ywAAAAACAAIAAACJQQIECBAgAABAgQIECBAgAABAgQIECBAgAABAgQI' +
  'ECBAgAABAgUAOw==',
  'base64');

function resource(resourcesDir, name, fallback) {
  const file = path.join(resourcesDir, name);
  return fs.existsSync(file) ? fs.readFileSync(file) : fallback;
}

// Writes the archive of `layout` ({grouped, collapsible, initCollapsed}) into `dir`.
export function writeFixtureArchive(dir, layout, resourcesDir) {
  fs.mkdirSync(path.join(dir, 'Images'), { recursive: true });
  const index = layout.grouped ? groupedIndex(layout) : flatIndex();
  fs.writeFileSync(path.join(dir, 'index.htm'), Buffer.from(index, 'latin1'));
  for (const a of ARTICLES) {
    fs.writeFileSync(path.join(dir, a.page), Buffer.from(articlePage(a), 'latin1'));
  }
  fs.writeFileSync(path.join(dir, 'style.css'),
                   resource(resourcesDir, 'style.css', FALLBACK_STYLE));
  fs.writeFileSync(path.join(dir, 'Images', 'bulletredsmall.gif'),
                   resource(resourcesDir, 'bulletredsmall.gif', FALLBACK_BULLET));
  if (layout.grouped && layout.collapsible) {
    fs.copyFileSync(path.join(resourcesDir, 'outline.js'), path.join(dir, 'outline.js'));
  }
}
