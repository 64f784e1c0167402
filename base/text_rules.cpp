#include "base/text_rules.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "base/utf8.h"

namespace lorva {
namespace {

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  const std::size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string LowerCase(std::string_view text) {
  std::string out;
  if (IsAscii(text)) {
    out.assign(text);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  u.toLower(icu::Locale::getRoot());
  u.toUTF8String(out);
  return out;
}

std::string FoldCase(std::string_view text) {
  std::string out;
  if (IsAscii(text)) {  // ASCII folds to lower case
    out.assign(text);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())))
      .foldCase()
      .toUTF8String(out);
  return out;
}

bool IsControlCharacter(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

std::string BlankControlCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
      out += IsControlCharacter(lead) ? ' ' : static_cast<char>(lead);
      ++pos;
      continue;
    }
    char32_t cp = 0;
    const std::size_t length = utf8::DecodeAt(text, pos, cp);
    if (length == 0) {  // not UTF-8: left as it is
      out += static_cast<char>(lead);
      ++pos;
      continue;
    }
    if (IsControlCharacter(cp)) {
      out += ' ';
    } else {
      out.append(text, pos, length);
    }
    pos += length;
  }
  return out;
}

}  // namespace lorva
