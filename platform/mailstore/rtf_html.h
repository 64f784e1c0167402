// Rich text and HTML: recovering the HTML that Outlook encapsulates in an item's rich-text body,
// the text of a plain rich-text body, and the reverse step of writing HTML as rich text.
// All text is UTF-8. The readers take untrusted input: they never crash, hang or recurse on
// hostile rich text (deep nesting, unbalanced braces, huge numbers).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorva::mailstore {

// When `rtf` is rich text that encapsulates an HTML body (`{\rtf1` with `\fromhtml1` among its
// first ten tokens), returns that HTML, decoded to UTF-8. Otherwise returns nothing.
// Kept: the content of {\*\htmltag} groups (bytes in the document's \ansicpg code page) and the
// text outside them except where \htmlrtf is on (bytes in the current font's \fcharset code
// page, \fcharset0 being Western except in a \ansicpg65001 document); \par gives CR LF, \uN a
// character (its \ucN fallback skipped). Bytes split into \'hh escapes join into characters of
// their code page; a byte that does not decode there is read as windows-1252 (Outlook puts single
// \'a0 no-break spaces into UTF-8 documents). Rewritten copies of tags in {\*\mhtmltag} groups
// are left out, as every destination the format does not name.
std::optional<std::string> ExtractHtmlFromRtf(std::string_view rtf);

// True when `rtf` is rich text that encapsulates an HTML body (what ExtractHtmlFromRtf reads),
// told from its first tokens only.
bool IsRtfFromHtml(std::string_view rtf);

// True when `rtf` is rich text that Outlook made from a plain-text body (`{\rtf1` with
// `\fromtext` among its first tokens).
bool IsRtfFromText(std::string_view rtf);

// The text content of ordinary rich text, in UTF-8: destinations such as the font table,
// pictures and fields' instructions are dropped, paragraphs and line breaks become CR LF.
// Input that is not rich text gives an empty string.
std::string ExtractTextFromRtf(std::string_view rtf);

// Rich text carrying `html` as Outlook encapsulates it: ExtractHtmlFromRtf gives back `html`
// byte for byte, and a word processor opening the rich text shows the HTML's text (markup and
// the head hidden, block ends and <br> as paragraph breaks).
// Precondition: `html` is UTF-8; a byte that is not part of valid UTF-8 comes back as U+FFFD.
std::string EncapsulateHtmlInRtf(std::string_view html);

// A minimal HTML document (UTF-8, no title) showing `text`: & < > " escaped, each line break
// (CR LF, LF or CR) kept after a <br>.
std::string PlainTextToHtml(std::string_view text);

}  // namespace lorva::mailstore
