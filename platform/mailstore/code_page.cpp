#include "platform/mailstore/code_page.h"

#include "support/utf8.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace lorva::mailstore {
namespace {

// The iconv name of a Windows code page, or empty when we know of none.
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
  if ((codePage >= 1250 && codePage <= 1258) || codePage == 874 || codePage == 932 ||
      codePage == 949 || codePage == 437 || (codePage >= 850 && codePage <= 869) ||
      codePage == 737 || codePage == 775) {
    return "CP" + std::to_string(codePage);
  }
  return "";
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

// One converter per code page, opened once and shared (guarded: iconv_t is not thread-safe).
class ConverterCache {
 public:
  ~ConverterCache() {
    for (auto& [page, cd] : converters_) {
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
  }

  // Converts with the code page's converter; false when no converter exists for it.
  bool Convert(std::uint32_t codePage, std::span<const std::uint8_t> bytes, std::string& out) {
    std::lock_guard lock(mutex_);
    auto it = converters_.find(codePage);
    if (it == converters_.end()) {
      const std::string name = IconvName(codePage);
      iconv_t cd = name.empty() ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-8", name.c_str());
      it = converters_.emplace(codePage, cd).first;
    }
    iconv_t cd = it->second;
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    size_t inLeft = bytes.size();
    char buffer[4096];
    while (true) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t result = iconv(cd, inLeft ? &in : nullptr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, outPtr);
      if (result != static_cast<size_t>(-1)) {
        if (inLeft == 0) break;
        continue;
      }
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (cut short): one byte that does not convert.
      if (inLeft == 0) break;
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state.
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, outPtr);
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<std::uint32_t, iconv_t> converters_;
};

bool IsAscii(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* p = bytes.data();
  size_t n = bytes.size();
  std::uint64_t bits = 0;
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    bits |= word;
  }
  for (; n > 0; ++p, --n) bits |= *p;
  return (bits & 0x8080808080808080ull) == 0;
}

ConverterCache& Converters() {
  static ConverterCache cache;
  return cache;
}

}  // namespace

std::string DecodeCodePage(std::span<const std::uint8_t> bytes, std::uint32_t codePage) {
  if (AsciiCompatible(codePage) && IsAscii(bytes)) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  std::string out;
  if (codePage == 1200) return Utf16LeToUtf8(bytes);
  out.reserve(bytes.size() + bytes.size() / 2);
  if (Converters().Convert(codePage, bytes, out)) return out;
  out.clear();
  Converters().Convert(kCodePageWindows1252, bytes, out);
  return out;
}

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
  std::string out;
  const size_t units = bytes.size() / 2;
  out.reserve(units + units / 4);
  for (size_t i = 0; i < units; ++i) {
    std::uint32_t u = bytes[2 * i] | (bytes[2 * i + 1] << 8);
    if (u < 0x80) {
      out += static_cast<char>(u);
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < units) {
        const std::uint32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
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
  auto unit = [&out](std::uint32_t u) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  };
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

}  // namespace lorva::mailstore
