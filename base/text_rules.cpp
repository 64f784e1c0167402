#include "base/text_rules.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "base/utf8.h"

namespace lorva {
namespace {

icu::StringPiece Piece(std::string_view text) {
  return icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size()));
}

// The text collation, one instance per thread (a collator is not shared between threads).
icu::Collator& TextCollator() {
  thread_local std::unique_ptr<icu::Collator> collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> made(
        icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !made) {
      throw Error(errnum::kCannotCreateObject, "The text collation is not available");
    }
    made->setStrength(icu::Collator::SECONDARY);
    return made;
  }();
  return *collator;
}

}  // namespace

bool IsAscii(std::string_view text) {
  const char* p = text.data();
  std::size_t n = text.size();
  std::uint64_t bits = 0;
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    bits |= word;
  }
  for (; n > 0; ++p, --n) bits |= static_cast<unsigned char>(*p);
  return (bits & 0x8080808080808080ull) == 0;
}

char32_t FromWindows1252(unsigned char byte) {
  static constexpr char32_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : byte;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  const std::size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::optional<std::int16_t> ParseInteger16(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  std::int16_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string LowerCase(std::string_view text) {
  if (IsAscii(text)) return AsciiLower(text);
  std::string out;
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(Piece(text));
  u.toLower(icu::Locale::getRoot());
  u.toUTF8String(out);
  return out;
}

std::string FoldCase(std::string_view text) {
  if (IsAscii(text)) return AsciiLower(text);  // ASCII folds to lower case
  std::string out;
  icu::UnicodeString::fromUTF8(Piece(text)).foldCase().toUTF8String(out);
  return out;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) return EqualIgnoringAsciiCase(a, b);
  return FoldCase(a) == FoldCase(b);
}

int CompareTextIgnoringCase(std::string_view a, std::string_view b) {
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result = TextCollator().compareUTF8(Piece(a), Piece(b), status);
  if (U_FAILURE(status)) throw Error(errnum::kInvalidProcedureCall, "Cannot collate text");
  return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

void AppendCollationKey(std::string_view text, std::string& keys) {
  icu::Collator& collator = TextCollator();
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(Piece(text));
  const std::size_t start = keys.size();
  std::size_t room = 2 * text.size() + 16;
  for (;;) {
    keys.resize(start + room);
    const std::int32_t length =
        collator.getSortKey(unicode, reinterpret_cast<std::uint8_t*>(keys.data() + start),
                            static_cast<std::int32_t>(room));
    if (length <= 0) throw Error(errnum::kInvalidProcedureCall, "Cannot collate text");
    if (static_cast<std::size_t>(length) <= room) {
      keys.resize(start + static_cast<std::size_t>(length));
      return;
    }
    room = static_cast<std::size_t>(length);
  }
}

bool IsControlCharacter(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

std::string BlankControlCharacters(std::string_view text) {
  // Only these bytes can begin a control character: the ASCII ones and the lead byte of
  // U+0080..U+009F. None of them continues a UTF-8 sequence, so the text before the first is
  // kept as it stands.
  const auto first = std::find_if(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || byte == 0xC2;
  });
  if (first == text.end()) return std::string(text);
  std::string out(text.begin(), first);
  out.reserve(text.size());
  for (std::size_t pos = out.size(); pos < text.size();) {
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
