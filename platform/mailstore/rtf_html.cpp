#include "platform/mailstore/rtf_html.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "base/text_rules.h"
#include "base/utf8.h"
#include "platform/mailstore/code_page.h"

namespace lorva::mailstore {
namespace {

// ---------------------------------------------------------------------------------------------
// Text in code pages.

// The Windows code page of a font's \fcharset; `ansiCodePage` (the document's \ansicpg) for the
// default and unknown sets.
int CodePageForCharset(int charset, int ansiCodePage) {
  switch (charset) {
    case 0:  // ANSI: Western; in a UTF-8 document (\ansicpg65001) its bytes are UTF-8
      return ansiCodePage == 65001 ? 65001 : 1252;
    case 2:  // symbol fonts: their bytes are taken as Western text
      return 1252;
    case 77:
      return 10000;
    case 128:
      return 932;  // Shift-JIS
    case 129:
      return 949;  // Korean (Wansung)
    case 130:
      return 1361;  // Korean (Johab)
    case 134:
      return 936;  // Simplified Chinese (GBK)
    case 136:
      return 950;  // Traditional Chinese (Big5)
    case 161:
      return 1253;  // Greek
    case 162:
      return 1254;  // Turkish
    case 163:
      return 1258;  // Vietnamese
    case 177:
      return 1255;  // Hebrew
    case 178:
      return 1256;  // Arabic
    case 186:
      return 1257;  // Baltic
    case 204:
      return 1251;  // Cyrillic
    case 222:
      return 874;  // Thai
    case 238:
      return 1250;  // Central European
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return ansiCodePage;
  }
}

// ---------------------------------------------------------------------------------------------
// Tokens of rich text.

struct Token {
  enum Kind { kEnd, kGroupStart, kGroupEnd, kWord, kSymbol, kHex, kText };
  Kind kind = kEnd;
  std::string_view word;  // kWord: the control word's letters
  bool hasParam = false;  // kWord
  std::int32_t param = 0;
  unsigned char byte = 0;  // kSymbol: the character after the backslash; kHex, kText: the byte
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  Token Next() {
    Token t;
    if (pos_ >= text_.size()) return t;
    const char c = text_[pos_++];
    if (c == '{') {
      t.kind = Token::kGroupStart;
    } else if (c == '}') {
      t.kind = Token::kGroupEnd;
    } else if (c != '\\') {
      t.kind = Token::kText;
      t.byte = static_cast<unsigned char>(c);
    } else if (pos_ >= text_.size()) {
      t.kind = Token::kEnd;
    } else if (IsLetter(text_[pos_])) {
      ReadWord(t);
    } else if (text_[pos_] == '\'') {
      ++pos_;
      const int high = pos_ < text_.size() ? HexValue(text_[pos_]) : -1;
      const int low = pos_ + 1 < text_.size() ? HexValue(text_[pos_ + 1]) : -1;
      if (high >= 0 && low >= 0) {
        t.kind = Token::kHex;
        t.byte = static_cast<unsigned char>(high << 4 | low);
        pos_ += 2;
      } else {
        t.kind = Token::kSymbol;  // a broken escape: ignored
        t.byte = '\'';
      }
    } else {
      t.kind = Token::kSymbol;
      t.byte = static_cast<unsigned char>(text_[pos_++]);
    }
    return t;
  }

  // Passes over `count` raw bytes (the data of \binN).
  void Skip(std::int32_t count) {
    if (count <= 0) return;
    pos_ += std::min<std::size_t>(static_cast<std::size_t>(count), text_.size() - pos_);
  }

 private:
  static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  void ReadWord(Token& t) {
    t.kind = Token::kWord;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && IsLetter(text_[pos_])) ++pos_;
    t.word = text_.substr(start, pos_ - start);
    bool negative = false;
    if (pos_ + 1 < text_.size() && text_[pos_] == '-' && IsDigit(text_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    if (pos_ < text_.size() && IsDigit(text_[pos_])) {
      t.hasParam = true;
      std::int64_t value = 0;
      while (pos_ < text_.size() && IsDigit(text_[pos_])) {
        value = std::min<std::int64_t>(value * 10 + (text_[pos_] - '0'), 0x7FFFFFFF);
        ++pos_;
      }
      t.param = static_cast<std::int32_t>(negative ? -value : value);
    }
    if (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;  // the delimiting space
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// What kind of rich text a document is, from its first tokens.
enum class RtfKind { kNotRtf, kPlain, kFromHtml, kFromText };

RtfKind Classify(std::string_view rtf) {
  Tokenizer tokens(rtf);
  Token t = tokens.Next();
  if (t.kind != Token::kGroupStart) return RtfKind::kNotRtf;
  t = tokens.Next();
  if (t.kind != Token::kWord || t.word != "rtf") return RtfKind::kNotRtf;
  for (int counted = 2; counted < 10;) {
    t = tokens.Next();
    if (t.kind == Token::kEnd) break;
    if (t.kind == Token::kText && (t.byte == ' ' || t.byte == '\r' || t.byte == '\n')) continue;
    ++counted;
    if (t.kind == Token::kWord && t.word == "fromhtml" && t.hasParam && t.param == 1) {
      return RtfKind::kFromHtml;
    }
    if (t.kind == Token::kWord && t.word == "fromtext") return RtfKind::kFromText;
  }
  return RtfKind::kPlain;
}

// ---------------------------------------------------------------------------------------------
// The reader: one pass over the tokens with an explicit stack of group states.

enum class Destination : std::uint8_t { kBody, kHtmlTag, kFontTable, kSkip };

struct GroupState {
  Destination destination = Destination::kBody;
  bool htmlRtf = false;    // inside \htmlrtf ... \htmlrtf0
  std::int32_t uc = 1;     // fallback characters after \uN
  std::int32_t font = -1;  // -1: the default font
};

struct Font {
  int charset = -1;
  int codePage = 0;
};

// Destinations whose content is not document text.
bool IsNonTextDestination(std::string_view word) {
  // clang-format off
  static constexpr std::array<std::string_view, 52> kWords = {
      "annotation", "atnauthor", "atnid", "author", "bkmkend", "bkmkstart", "buptim",
      "colorschememapping", "colortbl", "comment", "company", "creatim", "datastore", "doccomm",
      "docvar", "falt", "filetbl", "fldinst", "footer", "footerf", "footerl", "footerr",
      "footnote", "generator", "header", "headerf", "headerl", "headerr", "info", "keywords",
      "latentstyles", "listoverridetable", "listtable", "mmathPr", "nonshppict", "objdata",
      "object", "operator", "pgdsctbl", "pict", "printim", "revtbl", "revtim", "rsidtbl",
      "stylesheet", "subject", "template", "themedata", "title", "userprops", "xe", "xmlnstbl"};
  // clang-format on
  return std::find(kWords.begin(), kWords.end(), word) != kWords.end();
}

class RtfReader {
 public:
  enum class Mode { kHtml, kText };

  RtfReader(Mode mode, bool honourHtmlRtf) : mode_(mode), honourHtmlRtf_(honourHtmlRtf) {}

  std::string Read(std::string_view rtf) {
    Tokenizer tokens(rtf);
    bool started = false;
    bool groupJustOpened = false;
    bool ignorable = false;  // "{\*" seen: the next control word names an ignorable destination
    for (Token t = tokens.Next(); t.kind != Token::kEnd; t = tokens.Next()) {
      if (t.kind == Token::kGroupStart) {
        unicodeSkip_ = 0;
        if (!started) {
          started = true;
        } else if (stack_.size() < kMaxDepth) {
          stack_.push_back(state_);
        } else {
          ++overflow_;
        }
        groupJustOpened = true;
        ignorable = false;
        continue;
      }
      if (t.kind == Token::kGroupEnd) {
        unicodeSkip_ = 0;
        groupJustOpened = false;
        ignorable = false;
        if (overflow_ > 0) {
          --overflow_;
        } else if (stack_.empty()) {
          break;  // the document's closing brace
        } else {
          state_ = stack_.back();
          stack_.pop_back();
        }
        continue;
      }
      if (!started) continue;
      if (t.kind == Token::kWord && t.word == "bin") {
        tokens.Skip(t.hasParam ? t.param : 0);
        continue;
      }
      if (unicodeSkip_ > 0) {
        if (!(t.kind == Token::kText && (t.byte == '\r' || t.byte == '\n'))) --unicodeSkip_;
        continue;
      }
      if (t.kind == Token::kSymbol && t.byte == '*' && groupJustOpened) {
        ignorable = true;
        continue;
      }
      const bool wasJustOpened = groupJustOpened;
      groupJustOpened = false;
      if (t.kind == Token::kWord) {
        if (ignorable) {
          ignorable = false;
          const bool isHtmlTag = mode_ == Mode::kHtml && t.word == "htmltag";
          if (state_.destination != Destination::kSkip) {
            state_.destination = isHtmlTag ? Destination::kHtmlTag : Destination::kSkip;
          }
          continue;
        }
        Word(t, wasJustOpened);
        continue;
      }
      ignorable = false;
      if (state_.destination == Destination::kSkip ||
          state_.destination == Destination::kFontTable) {
        continue;
      }
      if (t.kind == Token::kHex) {
        EmitByte(t.byte);
      } else if (t.kind == Token::kText) {
        if (t.byte != '\r' && t.byte != '\n' && t.byte != 0) EmitByte(t.byte);
      } else if (t.kind == Token::kSymbol) {
        Symbol(t.byte);
      }
    }
    Flush();
    if (pendingHighSurrogate_ != 0) {
      utf8::Append(out_, 0xFFFD);
      pendingHighSurrogate_ = 0;
    }
    return std::move(out_);
  }

 private:
  static constexpr std::size_t kMaxDepth = 1024;

  bool Active() const {
    if (state_.destination == Destination::kSkip || state_.destination == Destination::kFontTable)
      return false;
    if (mode_ == Mode::kText && state_.destination == Destination::kHtmlTag) return false;
    if (honourHtmlRtf_ && state_.htmlRtf) return false;
    return true;
  }

  bool InHtmlTag() const { return state_.destination == Destination::kHtmlTag; }

  int CurrentCodePage() const {
    if (InHtmlTag()) return ansiCodePage_;  // tag content is in the document's code page
    const std::int32_t number = state_.font >= 0 ? state_.font : defaultFont_;
    auto found = fonts_.find(number);
    if (found == fonts_.end()) return ansiCodePage_;
    if (found->second.codePage > 0) return found->second.codePage;
    if (found->second.charset >= 0) {
      return CodePageForCharset(found->second.charset, ansiCodePage_);
    }
    return ansiCodePage_;
  }

  void Word(const Token& t, bool firstInGroup) {
    const std::string_view w = t.word;
    // Destinations (normally the group's first word).
    if (w == "fonttbl") {
      if (state_.destination != Destination::kSkip) state_.destination = Destination::kFontTable;
      return;
    }
    if (IsNonTextDestination(w) || (firstInGroup && (w == "htmltag" || w == "mhtmltag"))) {
      state_.destination = Destination::kSkip;
      return;
    }
    if (state_.destination == Destination::kSkip) return;

    // Document and group properties, whatever the destination.
    if (w == "ansicpg") {
      if (t.hasParam && t.param > 0) ansiCodePage_ = t.param;
      return;
    }
    if (w == "mac" || w == "pc" || w == "pca") {
      ansiCodePage_ = w == "mac" ? 10000 : w == "pc" ? 437 : 850;
      return;
    }
    if (w == "deff") {
      defaultFont_ = t.param;
      return;
    }
    if (w == "uc") {
      state_.uc = std::clamp<std::int32_t>(t.param, 0, 16);
      return;
    }
    if (w == "htmlrtf") {
      state_.htmlRtf = !t.hasParam || t.param != 0;
      return;
    }
    if (state_.destination == Destination::kFontTable) {
      if (w == "f") {
        definingFont_ = t.param;
        fonts_[definingFont_];
      } else if (w == "fcharset") {
        fonts_[definingFont_].charset = t.param;
      } else if (w == "cpg") {
        fonts_[definingFont_].codePage = t.param;
      }
      return;
    }
    if (w == "f") {
      state_.font = t.param;
      return;
    }
    if (w == "plain") {
      state_.font = -1;
      return;
    }
    if (w == "u") {
      Unicode(t.param);
      unicodeSkip_ = state_.uc;
      return;
    }
    if (!Active()) return;

    if (w == "par") {
      EmitAscii("\r\n");
    } else if (w == "tab") {
      EmitAscii("\t");
    } else if (w == "lquote") {
      EmitCodePoint(0x2018);
    } else if (w == "rquote") {
      EmitCodePoint(0x2019);
    } else if (w == "ldblquote") {
      EmitCodePoint(0x201C);
    } else if (w == "rdblquote") {
      EmitCodePoint(0x201D);
    } else if (w == "bullet") {
      EmitCodePoint(0x2022);
    } else if (w == "endash") {
      EmitCodePoint(0x2013);
    } else if (w == "emdash") {
      EmitCodePoint(0x2014);
    } else if (InHtmlTag()) {
      // Other control words inside tag content carry nothing.
    } else if (w == "line" ||
               (mode_ == Mode::kText && (w == "row" || w == "page" || w == "sect"))) {
      EmitAscii("\r\n");
    } else if (mode_ == Mode::kText && w == "cell") {
      EmitAscii("\t");
    } else if (mode_ == Mode::kText && (w == "emspace" || w == "enspace" || w == "qmspace")) {
      EmitAscii(" ");
    }
  }

  void Symbol(unsigned char c) {
    if (!Active()) return;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        EmitByte(c);
        break;
      case '~':
        EmitCodePoint(0x00A0);
        break;
      case '_':
        if (mode_ == Mode::kHtml) {
          EmitCodePoint(0x00AD);
        } else {
          EmitCodePoint(0x2011);
        }
        break;
      case '\r':
      case '\n':  // a backslash before a line end is a paragraph mark
        if (!InHtmlTag()) EmitAscii("\r\n");
        break;
      case '\t':
        EmitAscii("\t");
        break;
      default:
        break;  // \- optional hyphen, \| \: and the like
    }
  }

  void Unicode(std::int32_t value) {
    if (!Active()) return;
    std::uint32_t unit = static_cast<std::uint32_t>(value) & 0xFFFF;  // \u is signed 16-bit
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      Flush();
      if (pendingHighSurrogate_ != 0) utf8::Append(out_, 0xFFFD);
      pendingHighSurrogate_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      Flush();
      if (pendingHighSurrogate_ != 0) {
        utf8::Append(out_, 0x10000 + ((pendingHighSurrogate_ - 0xD800) << 10) + (unit - 0xDC00));
        pendingHighSurrogate_ = 0;
      } else {
        utf8::Append(out_, 0xFFFD);
      }
      return;
    }
    EmitCodePoint(unit);
  }

  void EmitByte(unsigned char byte) {
    if (!Active()) return;
    const int codePage = CurrentCodePage();
    if (!pending_.empty() && codePage != pendingCodePage_) Flush();
    if (pendingHighSurrogate_ != 0) {
      utf8::Append(out_, 0xFFFD);
      pendingHighSurrogate_ = 0;
    }
    pendingCodePage_ = codePage;
    pending_.push_back(static_cast<char>(byte));
  }

  void EmitCodePoint(std::uint32_t cp) {
    Flush();
    if (pendingHighSurrogate_ != 0) {
      utf8::Append(out_, 0xFFFD);
      pendingHighSurrogate_ = 0;
    }
    utf8::Append(out_, cp);
  }

  void EmitAscii(std::string_view text) {
    Flush();
    if (pendingHighSurrogate_ != 0) {
      utf8::Append(out_, 0xFFFD);
      pendingHighSurrogate_ = 0;
    }
    out_.append(text);
  }

  // Decodes the pending bytes. Writers put bytes of other code pages in a document (single
  // \'a0 no-break spaces in UTF-8 ones): a byte that does not decode is read as windows-1252.
  void Flush() {
    if (pending_.empty()) return;
    AppendDecoded(
        out_, std::span(reinterpret_cast<const std::uint8_t*>(pending_.data()), pending_.size()),
        static_cast<std::uint32_t>(pendingCodePage_), Undecodable::kAsWindows1252);
    pending_.clear();
  }

  Mode mode_;
  bool honourHtmlRtf_;
  GroupState state_;
  std::vector<GroupState> stack_;
  std::size_t overflow_ = 0;  // groups nested beyond kMaxDepth
  std::int32_t unicodeSkip_ = 0;
  std::uint32_t pendingHighSurrogate_ = 0;
  int ansiCodePage_ = 1252;
  std::int32_t defaultFont_ = 0;
  std::int32_t definingFont_ = 0;
  std::map<std::int32_t, Font> fonts_;
  std::string pending_;  // bytes in pendingCodePage_ not yet decoded
  int pendingCodePage_ = 1252;
  std::string out_;
};

// ---------------------------------------------------------------------------------------------
// Writing HTML as rich text.

void AppendUnicodeEscape(std::string& rtf, std::uint32_t cp) {
  auto unit = [&](std::uint32_t u) {
    const std::int32_t value =
        u > 0x7FFF ? static_cast<std::int32_t>(u) - 0x10000 : static_cast<std::int32_t>(u);
    rtf += "\\u" + std::to_string(value) + "?";
  };
  if (cp >= 0x10000) {
    unit(0xD800 + ((cp - 0x10000) >> 10));
    unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
  } else {
    unit(cp);
  }
}

// Writes `text` as rich-text characters: escapes for \ { }, \uN for non-ASCII, \'hh for control
// characters. Line ends are left to the caller.
void AppendEscaped(std::string& rtf, std::string_view text) {
  static const char* kHex = "0123456789abcdef";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::uint32_t cp = utf8::Next(text, pos);
    if (cp == '\\' || cp == '{' || cp == '}') {
      rtf += '\\';
      rtf += static_cast<char>(cp);
    } else if (cp == '\t') {
      rtf += "\\tab ";
    } else if (cp < 0x20 || cp == 0x7F) {
      rtf += "\\'";
      rtf += kHex[cp >> 4];
      rtf += kHex[cp & 0xF];
    } else if (cp < 0x80) {
      rtf += static_cast<char>(cp);
    } else {
      AppendUnicodeEscape(rtf, cp);
    }
  }
}

// Content of an htmltag group: escaped text with its line ends kept byte for byte.
void AppendTagContent(std::string& rtf, std::string_view content) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] != '\r' && content[i] != '\n') continue;
    AppendEscaped(rtf, content.substr(start, i - start));
    if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') {
      rtf += "\\par ";
      ++i;
    } else {
      rtf += content[i] == '\r' ? "\\'0d" : "\\'0a";
    }
    start = i + 1;
  }
  AppendEscaped(rtf, content.substr(start));
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Where `needle` first occurs in `text` from `from` on, ignoring ASCII letter case; text.size()
// when it does not.
std::size_t FindIgnoringCase(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty() || text.size() < needle.size()) return text.size();
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (StartsWithIgnoringAsciiCase(text.substr(i), needle)) return i;
  }
  return text.size();
}

// The character a few common references stand for, for the visible rendering; 0 for others.
std::uint32_t ReferencedCharacter(std::string_view reference) {
  const std::string name = AsciiLower(reference.substr(1, reference.size() - 2));
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "amp") return '&';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name == "nbsp") return 0xA0;
  if (name.size() >= 2 && name[0] == '#') {
    const bool hex = name[1] == 'x';
    const std::string digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 7) return 0;
    std::uint32_t value = 0;
    for (char c : digits) {
      const int d = hex ? HexValue(c) : c >= '0' && c <= '9' ? c - '0' : -1;
      if (d < 0) return 0;
      value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return value;
  }
  return 0;
}

class HtmlEncapsulator {
 public:
  std::string Write(std::string_view html) {
    hasHtmlElement_ = FindIgnoringCase(html, "<html", 0) < html.size();
    where_ = hasHtmlElement_ ? kOutHtml : kInBody;
    rtf_ =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl\r\n"
        "{\\f0\\fswiss\\fcharset0 Arial;}\r\n"
        "{\\f1\\fmodern\\fcharset0 Courier New;}\r\n"
        "{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
        "{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
        "{\\*\\htmltag64}\r\n"
        "\\uc1\\pard\\plain\\deftab360 \\f0\\fs20 ";
    std::size_t pos = 0;
    while (pos < html.size()) {
      if (!rawTextEnd_.empty()) {
        // Inside <style>, <script>, <title> or <textarea>: text up to the closing tag.
        const std::size_t end = FindIgnoringCase(html, rawTextEnd_, pos);
        if (end > pos) Tag(html.substr(pos, end - pos), kTypeText);
        rawTextEnd_.clear();
        pos = end;
        continue;
      }
      const char c = html[pos];
      if (c == '<' && pos + 1 < html.size() &&
          (IsAsciiLetter(html[pos + 1]) || html[pos + 1] == '/' || html[pos + 1] == '!' ||
           html[pos + 1] == '?')) {
        pos = Markup(html, pos);
      } else if (c == '&') {
        pos = Reference(html, pos);
      } else if (c == '\r' || c == '\n') {
        const std::size_t length =
            (c == '\r' && pos + 1 < html.size() && html[pos + 1] == '\n') ? 2 : 1;
        Tag(html.substr(pos, length), kTypeText);
        // A line end inside text shows as a space, as a browser shows it.
        if (where_ == kInBody && preformatted_ > 0) {
          rtf_ += "\\htmlrtf \\line \\htmlrtf0 ";  // preformatted text keeps its lines
        } else if (where_ == kInBody && textOnLine_) {
          rtf_ += "{\\htmlrtf  }";
        }
        textOnLine_ = false;
        pos += length;
      } else {
        std::size_t end = pos;
        while (end < html.size() && html[end] != '<' && html[end] != '&' && html[end] != '\r' &&
               html[end] != '\n') {
          ++end;
        }
        if (end == pos) end = pos + 1;  // a '<' that starts no markup
        Text(html.substr(pos, end - pos));
        pos = end;
      }
    }
    rtf_ += "}\r\n";
    return std::move(rtf_);
  }

 private:
  enum Where { kOutHtml = 3, kInHtml = 2, kInHead = 1, kInBody = 0 };
  // Tag types of the tag parameter.
  static constexpr int kTypeText = 0x00, kTypeHtml = 0x10, kTypeHead = 0x20, kTypeBody = 0x30,
                       kTypeP = 0x40, kTypeStartP = 0x50, kTypeEndP = 0x60, kTypeBr = 0x70,
                       kTypePre = 0x80, kTypeFont = 0x90;

  void Tag(std::string_view content, int type) {
    rtf_ += "{\\*\\htmltag" + std::to_string(type | where_) + " ";
    AppendTagContent(rtf_, content);
    rtf_ += "}";
    if (content.find('\n') != std::string_view::npos) rtf_ += "\r\n";
  }

  void Text(std::string_view text) {
    // Text outside the head shows, as a browser shows it, even without a <body> tag.
    if (where_ != kInBody && where_ != kInHead &&
        text.find_first_not_of(" \t\f") != std::string_view::npos) {
      where_ = kInBody;
    }
    if (where_ != kInBody) {
      Tag(text, kTypeText);  // text outside the body is not shown
      return;
    }
    AppendEscaped(rtf_, text);
    textOnLine_ = true;
  }

  std::size_t Reference(std::string_view html, std::size_t pos) {
    std::size_t end = pos + 1;
    while (
        end < html.size() && end - pos < 40 &&
        (IsAsciiLetter(html[end]) || (html[end] >= '0' && html[end] <= '9') || html[end] == '#')) {
      ++end;
    }
    if (end >= html.size() || html[end] != ';' || end == pos + 1) {
      Text(html.substr(pos, 1));  // a bare ampersand
      return pos + 1;
    }
    const std::string_view reference = html.substr(pos, end + 1 - pos);
    Tag(reference, kTypeText);
    const std::uint32_t shown = ReferencedCharacter(reference);
    if (shown != 0 && where_ == kInBody) {
      rtf_ += "\\htmlrtf ";
      if (shown == 0xA0) {
        rtf_ += "\\~";
      } else {
        std::string utf8;
        utf8::Append(utf8, shown);
        AppendEscaped(rtf_, utf8);
      }
      rtf_ += "\\htmlrtf0 ";
      textOnLine_ = true;
    }
    return end + 1;
  }

  std::size_t Markup(std::string_view html, std::size_t pos) {
    std::size_t end;
    if (html.substr(pos, 4) == "<!--") {
      end = html.find("-->", pos + 4);
      end = end == std::string_view::npos ? html.size() : end + 3;
      Tag(html.substr(pos, end - pos), kTypeText);
      return end;
    }
    // A tag: up to the '>' outside quoted attribute values.
    char quote = 0;
    end = pos + 1;
    for (; end < html.size(); ++end) {
      const char c = html[end];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        break;
      }
    }
    end = end < html.size() ? end + 1 : html.size();
    const std::string_view tag = html.substr(pos, end - pos);
    const bool closing = tag.size() > 1 && tag[1] == '/';
    std::size_t nameEnd = closing ? 2 : 1;
    while (nameEnd < tag.size() &&
           (IsAsciiLetter(tag[nameEnd]) || (tag[nameEnd] >= '0' && tag[nameEnd] <= '9') ||
            tag[nameEnd] == ':' || tag[nameEnd] == '-')) {
      ++nameEnd;
    }
    const std::string name = AsciiLower(tag.substr(closing ? 2 : 1, nameEnd - (closing ? 2 : 1)));

    int type = kTypeText;
    if (name == "html") {
      type = kTypeHtml;
      if (!closing && where_ == kOutHtml) where_ = kInHtml;
    } else if (name == "head") {
      type = kTypeHead;
      if (!closing) where_ = kInHead;
    } else if (name == "body") {
      type = kTypeBody;
    } else if (name == "p") {
      type = kTypeP;
    } else if (name == "br") {
      type = kTypeBr;
    } else if (name == "pre") {
      type = kTypePre;
    } else if (name == "font") {
      type = kTypeFont;
    } else if (IsBlock(name)) {
      type = closing ? kTypeEndP : kTypeStartP;
    }
    Tag(tag, type);

    if (name == "head" && closing) where_ = kInHtml;
    if (name == "body" && !closing) where_ = kInBody;
    if (name == "body" && closing) where_ = kInHtml;
    if (name == "html" && closing) where_ = kOutHtml;
    if (!closing &&
        (name == "style" || name == "script" || name == "title" || name == "textarea")) {
      rawTextEnd_ = "</" + name;
    }
    if (where_ == kInBody) ShowTag(name, closing);
    return end;
  }

  // The rich-text rendering of a tag in the body, hidden from the HTML reader by \htmlrtf:
  // line breaks, bold, italic, underline, headings, monospaced text, list bullets and cells.
  void ShowTag(const std::string& name, bool closing) {
    std::string shown;
    if (!closing && textOnLine_ && (IsBlock(name) || name == "p" || name == "pre") && name != "hr")
      shown += "\\par ";
    // A block's end breaks the line only after text, so nested ends give one break.
    if (BreaksLine(name, closing) && (textOnLine_ || !closing)) shown += "\\par ";
    auto count = [&](int& depth, const char* on, const char* off) {
      if (!closing && depth++ == 0) shown += on;
      if (closing && depth > 0 && --depth == 0) shown += off;
    };
    if (name == "b" || name == "strong" || name == "th") count(bold_, "\\b ", "\\b0 ");
    if (name == "i" || name == "em" || name == "cite" || name == "var") {
      count(italic_, "\\i ", "\\i0 ");
    }
    if (name == "u" || name == "ins") count(underline_, "\\ul ", "\\ulnone ");
    if (name == "pre" || name == "code" || name == "tt" || name == "kbd" || name == "samp") {
      count(monospace_, "\\f1 ", "\\f0 ");
    }
    if (name == "pre") preformatted_ = closing ? std::max(0, preformatted_ - 1) : preformatted_ + 1;
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      static constexpr std::array<const char*, 6> kSizes = {"\\fs32 ", "\\fs28 ", "\\fs24 ",
                                                            "\\fs22 ", "\\fs20 ", "\\fs18 "};
      if (closing) {
        shown += bold_ > 0 ? "\\fs20 " : "\\b0\\fs20 ";
      } else {
        shown += std::string("\\b") + kSizes[name[1] - '1'];
      }
    }
    if (name == "li" && !closing) shown += "\\bullet\\tab ";
    if ((name == "td" || name == "th") && closing) shown += "\\tab ";
    if (shown.empty()) return;
    rtf_ += "\\htmlrtf " + shown + "\\htmlrtf0 ";
    if (shown.find("\\par ") != std::string::npos) textOnLine_ = false;
  }

  static bool IsBlock(const std::string& name) {
    static constexpr std::array<std::string_view, 20> kBlocks = {
        "div", "li", "ul", "ol", "dl",    "dt",         "dd", "h1",     "h2",      "h3",
        "h4",  "h5", "h6", "tr", "table", "blockquote", "hr", "center", "address", "section"};
    return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
  }

  // Where the shown rendering starts a new line.
  static bool BreaksLine(const std::string& name, bool closing) {
    if (name == "br" || name == "hr") return true;
    if (!closing) return false;
    return name == "p" || name == "pre" || name == "tr" || name == "table" ||
           (IsBlock(name) && name != "ul" && name != "ol" && name != "dl");
  }

  std::string rtf_;
  bool hasHtmlElement_ = false;
  int where_ = kInBody;
  std::string rawTextEnd_;
  bool textOnLine_ = false;  // the shown rendering has text since its last line break
  // How deep the body is inside tags shown as bold, italic, ... in the rich-text rendering.
  int bold_ = 0, italic_ = 0, underline_ = 0, monospace_ = 0, preformatted_ = 0;
};

}  // namespace

std::optional<std::string> ExtractHtmlFromRtf(std::string_view rtf) {
  if (Classify(rtf) != RtfKind::kFromHtml) return std::nullopt;
  return RtfReader(RtfReader::Mode::kHtml, /*honourHtmlRtf=*/true).Read(rtf);
}

bool IsRtfFromHtml(std::string_view rtf) {
  return Classify(rtf) == RtfKind::kFromHtml;
}

bool IsRtfFromText(std::string_view rtf) {
  return Classify(rtf) == RtfKind::kFromText;
}

std::string ExtractTextFromRtf(std::string_view rtf) {
  const RtfKind kind = Classify(rtf);
  if (kind == RtfKind::kNotRtf) return {};
  // Rich text made from plain text marks what it added with \htmlrtf; ordinary rich text and
  // rich text made from HTML show those parts.
  return RtfReader(RtfReader::Mode::kText, /*honourHtmlRtf=*/kind == RtfKind::kFromText).Read(rtf);
}

std::string EncapsulateHtmlInRtf(std::string_view html) {
  return HtmlEncapsulator().Write(html);
}

std::string PlainTextToHtml(std::string_view text) {
  std::string html =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
      "</head><body>";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      case '\r':
        html += "<br>\r";
        if (i + 1 < text.size() && text[i + 1] == '\n') {
          html += '\n';
          ++i;
        }
        break;
      case '\n':
        html += "<br>\n";
        break;
      default:
        html += c;
    }
  }
  html += "</body></html>";
  return html;
}

}  // namespace lorva::mailstore
