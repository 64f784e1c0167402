#include "platform/mailstore/code_page.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "base/text_rules.h"
#include "base/utf8.h"

namespace lorva::mailstore {
namespace {

// The iconv name of a Windows code page.
std::string IconvName(std::uint32_t codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 1200:
      return "UTF-16LE";
    case 1201:
      return "UTF-16BE";
    case 12000:
      return "UTF-32LE";
    case 12001:
      return "UTF-32BE";
    case 65000:
      return "UTF-7";
    case 20127:
      return "ASCII";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 50220:
    case 50221:
    case 50222:
      return "ISO-2022-JP";
    case 50225:
      return "ISO-2022-KR";
    case 51932:
      return "EUC-JP";
    case 51936:
      return "GB2312";
    case 51949:
      return "EUC-KR";
    case 52936:
      return "HZ";
    case 54936:
      return "GB18030";
    case 936:
      return "GBK";
    case 950:
      return "BIG5-HKSCS";
    case 10000:
      return "MACINTOSH";
    case 10007:
      return "MAC-CYRILLIC";
    default:
      break;
  }
  if (codePage >= 28591 && codePage <= 28606) {
    return "ISO-8859-" + std::to_string(codePage - 28590);
  }
  if (codePage == 20932) return "EUC-JP";
  // 874, 932, 949, 1250-1258, 1361, the DOS code pages: iconv knows them by this name; for
  // others it finds no converter, and the text is read as windows-1252.
  return "CP" + std::to_string(codePage);
}

// Whether ASCII bytes read as themselves in the code page.
bool AsciiCompatible(std::uint32_t codePage) {
  switch (codePage) {
    case 1200:
    case 1201:
    case 12000:
    case 12001:
    case 65000:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 52936:
      return false;
    default:
      return true;
  }
}

// The character of byte `b` in windows-1252; U+FFFD for the five bytes it leaves undefined (the
// only ones that stand for C1 controls).
std::uint32_t Windows1252(std::uint8_t b) {
  const char32_t c = FromWindows1252(b);
  return c >= 0x80 && c <= 0x9F ? utf8::kReplacement : c;
}

// One converter per code page, opened once and shared (guarded: iconv_t is not thread-safe).
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& [page, cd] : converters_) {
      if (cd != kNoConverter) iconv_close(cd);
    }
  }

  // Converts with the code page's converter, appending to `out`; false when no converter exists
  // for it.
  bool Convert(std::uint32_t codePage, std::span<const std::uint8_t> bytes, std::string& out,
               Undecodable undecodable) {
    std::lock_guard lock(mutex_);
    auto it = converters_.find(codePage);
    if (it == converters_.end()) {
      iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
      it = converters_.emplace(codePage, cd).first;
    }
    iconv_t cd = it->second;
    if (cd == kNoConverter) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char buffer[4096];
    // Hands out what the converter holds back (1255 and 1258 wait for combining marks) and any
    // shift state's end.
    auto drain = [&] {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
      out.append(buffer, outPtr);
    };
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, outPtr);
      if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
      // EILSEQ, or EINVAL (cut short): the first byte does not decode.
      drain();
      const std::uint32_t shown = undecodable == Undecodable::kAsWindows1252
                                      ? Windows1252(static_cast<std::uint8_t>(*in))
                                      : 0xFFFD;
      utf8::Append(out, shown);
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    drain();
    return true;
  }

 private:
  static inline const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

  std::mutex mutex_;
  std::map<std::uint32_t, iconv_t> converters_;
};

ConverterCache& Converters() {
  static ConverterCache cache;
  return cache;
}

}  // namespace

void AppendDecoded(std::string& out, std::span<const std::uint8_t> bytes, std::uint32_t codePage,
                   Undecodable undecodable) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (AsciiCompatible(codePage) && IsAscii(text)) {
    out.append(text);
    return;
  }
  if (codePage == 1200) {
    AppendUtf16LeAsUtf8(out, bytes);
    return;
  }
  out.reserve(out.size() + bytes.size() + bytes.size() / 2);
  if (Converters().Convert(codePage, bytes, out, undecodable)) return;
  Converters().Convert(kCodePageWindows1252, bytes, out, undecodable);
}

std::string DecodeCodePage(std::span<const std::uint8_t> bytes, std::uint32_t codePage,
                           Undecodable undecodable) {
  std::string out;
  AppendDecoded(out, bytes, codePage, undecodable);
  return out;
}

void AppendUtf16LeAsUtf8(std::string& out, std::span<const std::uint8_t> bytes) {
  const size_t units = bytes.size() / 2;
  // Names of streams and most texts are ASCII: narrowed as they are read, four units at a time
  // while they last.
  const size_t start = out.size();
  out.resize(start + units);
  char* const to = out.data() + start;
  size_t i = 0;
  for (; i + 4 <= units; i += 4) {
    const std::uint64_t four = ReadLe64(bytes.data() + 2 * i);
    if ((four & 0xFF80FF80FF80FF80u) != 0) break;
    for (int k = 0; k < 4; ++k) to[i + k] = static_cast<char>(four >> (16 * k));
  }
  for (; i < units && bytes[2 * i] < 0x80 && bytes[2 * i + 1] == 0; ++i) {
    to[i] = static_cast<char>(bytes[2 * i]);
  }
  out.resize(start + i);
  if (i == units) return;
  out.reserve(out.size() + (units - i) + (units - i) / 4);
  for (; i < units; ++i) {
    std::uint32_t u = ReadLe16(&bytes[2 * i]);
    if (u < 0x80) {
      out += static_cast<char>(u);
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < units) {
        const std::uint32_t low = ReadLe16(&bytes[2 * i + 2]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          utf8::Append(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
          ++i;
          continue;
        }
      }
      u = 0xFFFD;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    utf8::Append(out, u);
  }
}

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
  std::string out;
  AppendUtf16LeAsUtf8(out, bytes);
  return out;
}

namespace {

// Calls `emit` with each code point of `utf8`; bytes that are not UTF-8 give U+FFFD.
template <typename Emit>
void ForEachCodePoint(std::string_view utf8, Emit&& emit) {
  for (std::size_t pos = 0; pos < utf8.size();)
    emit(static_cast<std::uint32_t>(utf8::Next(utf8, pos)));
}

}  // namespace

void AppendUtf16Le(std::string_view utf8, std::vector<std::uint8_t>& out) {
  out.reserve(out.size() + utf8.size() * 2);
  auto unit = [&out](std::uint32_t u) { AppendLe16(out, static_cast<std::uint16_t>(u)); };
  ForEachCodePoint(utf8, [&](std::uint32_t cp) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp);
    }
  });
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  ForEachCodePoint(utf8, [&](std::uint32_t cp) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  });
  return out;
}

// The ANSI code pages of Windows locales (the NLS tables as MS-LCID names the locales): first
// the languages whose sub-languages differ in script, then by primary language.
std::optional<std::uint32_t> AnsiCodePageOfLocale(std::uint32_t lcid) {
  const std::uint32_t language = lcid & 0xFFFF;
  switch (language) {
    case 0x0004:  // zh-Hans
    case 0x0804:  // zh-CN
    case 0x1004:  // zh-SG
      return 936;
    case 0x0404:  // zh-TW
    case 0x0C04:  // zh-HK
    case 0x1404:  // zh-MO
    case 0x7C04:  // zh-Hant
      return 950;
    case 0x0C1A:  // sr-Cyrl-CS
    case 0x1C1A:  // sr-Cyrl-BA
    case 0x201A:  // bs-Cyrl-BA
    case 0x281A:  // sr-Cyrl-RS
    case 0x301A:  // sr-Cyrl-ME
    case 0x641A:  // bs-Cyrl
    case 0x6C1A:  // sr-Cyrl
    case 0x742C:  // az-Cyrl
    case 0x082C:  // az-Cyrl-AZ
    case 0x0843:  // uz-Cyrl-UZ
    case 0x7843:  // uz-Cyrl
      return 1251;
    case 0x0846:  // pa-Arab-PK
    case 0x0859:  // sd-Arab-PK
      return 1256;
    case 0x0850:  // mn-Mong-CN: Unicode only
    case 0x045D:  // iu-Cans-CA: Unicode only
      return std::nullopt;
    default:
      break;
  }
  switch (language & 0x3FF) {
    case 0x11:  // Japanese
      return 932;
    case 0x12:  // Korean
      return 949;
    case 0x04:  // Chinese (other sub-languages)
      return 936;
    case 0x1E:  // Thai
      return 874;
    case 0x05:  // Czech
    case 0x0E:  // Hungarian
    case 0x15:  // Polish
    case 0x18:  // Romanian
    case 0x1A:  // Croatian, Serbian and Bosnian in Latin script
    case 0x1B:  // Slovak
    case 0x1C:  // Albanian
    case 0x24:  // Slovenian
    case 0x42:  // Turkmen
      return 1250;
    case 0x02:  // Bulgarian
    case 0x19:  // Russian
    case 0x22:  // Ukrainian
    case 0x23:  // Belarusian
    case 0x28:  // Tajik
    case 0x2F:  // Macedonian
    case 0x3F:  // Kazakh
    case 0x40:  // Kyrgyz
    case 0x44:  // Tatar
    case 0x50:  // Mongolian (Cyrillic)
    case 0x6D:  // Bashkir
    case 0x85:  // Sakha
      return 1251;
    case 0x08:  // Greek
      return 1253;
    case 0x1F:  // Turkish
    case 0x2C:  // Azerbaijani (Latin)
    case 0x43:  // Uzbek (Latin)
      return 1254;
    case 0x0D:  // Hebrew
      return 1255;
    case 0x01:  // Arabic
    case 0x20:  // Urdu
    case 0x29:  // Persian
    case 0x80:  // Uyghur
    case 0x8C:  // Dari
    case 0x92:  // Central Kurdish
      return 1256;
    case 0x25:  // Estonian
    case 0x26:  // Latvian
    case 0x27:  // Lithuanian
      return 1257;
    case 0x2A:  // Vietnamese
      return 1258;
    case 0x03:  // Catalan
    case 0x06:  // Danish
    case 0x07:  // German
    case 0x09:  // English
    case 0x0A:  // Spanish
    case 0x0B:  // Finnish
    case 0x0C:  // French
    case 0x0F:  // Icelandic
    case 0x10:  // Italian
    case 0x13:  // Dutch
    case 0x14:  // Norwegian
    case 0x16:  // Portuguese
    case 0x17:  // Romansh
    case 0x1D:  // Swedish
    case 0x21:  // Indonesian
    case 0x2D:  // Basque
    case 0x2E:  // Sorbian
    case 0x32:  // Setswana
    case 0x34:  // isiXhosa
    case 0x35:  // isiZulu
    case 0x36:  // Afrikaans
    case 0x38:  // Faroese
    case 0x3B:  // Sami
    case 0x3C:  // Irish
    case 0x3E:  // Malay
    case 0x41:  // Kiswahili
    case 0x52:  // Welsh
    case 0x56:  // Galician
    case 0x5D:  // Inuktitut (Latin)
    case 0x62:  // Frisian
    case 0x6E:  // Luxembourgish
    case 0x7E:  // Breton
    case 0x83:  // Corsican
    case 0x84:  // Alsatian
    case 0x91:  // Scottish Gaelic
      return 1252;
    default:
      return std::nullopt;
  }
}

bool IsWindowsAnsiCodePage(std::uint32_t codePage) {
  return codePage == 874 || codePage == 932 || codePage == 936 || codePage == 949 ||
         codePage == 950 || (codePage >= 1250 && codePage <= 1258);
}

std::uint32_t EightBitCodePage(std::optional<std::int32_t> messageCodePage,
                               std::optional<std::int32_t> localeId,
                               std::optional<std::int32_t> internetCodePage) {
  // UTF-16 and UTF-32 are no code pages for 8-bit strings.
  const auto byteOriented = [](std::uint32_t page) {
    return page != 1200 && page != 1201 && page != 12000 && page != 12001;
  };
  if (messageCodePage && *messageCodePage > 0 &&
      byteOriented(static_cast<std::uint32_t>(*messageCodePage))) {
    return static_cast<std::uint32_t>(*messageCodePage);
  }
  if (localeId) {
    if (auto page = AnsiCodePageOfLocale(static_cast<std::uint32_t>(*localeId))) return *page;
  }
  if (internetCodePage && IsWindowsAnsiCodePage(static_cast<std::uint32_t>(*internetCodePage))) {
    return static_cast<std::uint32_t>(*internetCodePage);
  }
  return kCodePageWindows1252;
}

}  // namespace lorva::mailstore
