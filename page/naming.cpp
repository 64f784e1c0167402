#include "page/naming.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "support/error.h"

namespace lorva {
namespace {

// The generator's state: a 24-bit linear congruential sequence from its fixed start value.
constexpr std::uint32_t kRandomStart = 0x50000;
std::uint32_t randomState = kRandomStart;

// `value` as the program shows a single-precision number: up to seven significant digits, no
// trailing zeros, "0" before the decimal point; very small values in exponent form
// ("5.960464E-08").
std::string FormatSingle(float value) {
  if (value == 0.0f) return "0";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.7G", static_cast<double>(value));
  return buffer;
}

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;  // a stray byte counts as one character
}

// The byte length of the first `count` characters of `text` (all of it when shorter).
std::size_t BytesOfCharacters(const std::string& text, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t n = 0; n < count && pos < text.size(); ++n) {
    pos += Utf8SequenceLength(static_cast<unsigned char>(text[pos]));
  }
  return pos < text.size() ? pos : text.size();
}

std::size_t CountCharacters(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); ++count) {
    pos += Utf8SequenceLength(static_cast<unsigned char>(text[pos]));
  }
  return count;
}

// `text` cut to at most `limit` bytes without splitting a character.
std::string CutToBytes(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t next = pos + Utf8SequenceLength(static_cast<unsigned char>(text[pos]));
    if (next > limit) break;
    pos = next;
  }
  return text.substr(0, pos);
}

// The longest name the file system takes for one file, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

}  // namespace

float RandomSequence::Next() {
  randomState = (randomState * 1140671485u + 12820163u) & 0xFFFFFFu;
  return static_cast<float>(randomState) / 16777216.0f;
}

void RandomSequence::Reset() {
  randomState = kRandomStart;
}

std::string fncStripInvalidCharacters(Services& services, const std::string& strText) {
  try {
    std::string text;
    text.reserve(strText.size());
    for (const char c : strText) {
      switch (c) {
        case '\\':
        case '/':
        case '?':
        case '*':
        case ':':
        case '"':
        case '<':
        case '>':
        case '|':
          break;
        default:
          text += c;
      }
    }
    if (text.find_first_not_of(' ') == std::string::npos) {
      return "NULL_" + FormatSingle(RandomSequence::Next()) + ".htm";
    }
    return text;
  } catch (const std::exception&) {
    services.reporter.Report(Error(errnum::kOutOfMemory, "Out of memory"),
                             "fncStripInvalidCharacters");
    return "";
  }
}

std::string PageName(Services& services, bool bySubject, const std::string& trimmedSubject,
                     std::int16_t counter) {
  if (bySubject) return fncStripInvalidCharacters(services, trimmedSubject) + ".htm";
  return std::to_string(counter) + ".htm";
}

std::string PagePath(const std::string& destination, const std::string& name) {
  std::string path = destination + "/" + name;
  if (CountCharacters(path) >= 250) path = path.substr(0, BytesOfCharacters(path, 245)) + ".htm";

  // The name part must also fit the file system's limit for one name.
  const std::size_t slash = path.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (path.size() - nameStart > kMaxNameBytes) {
    std::string fileName = path.substr(nameStart);
    const std::string extension = ".htm";
    if (fileName.size() >= extension.size() &&
        fileName.compare(fileName.size() - extension.size(), extension.size(), extension) == 0) {
      fileName = CutToBytes(fileName.substr(0, fileName.size() - extension.size()),
                            kMaxNameBytes - extension.size()) +
                 extension;
    } else {
      fileName = CutToBytes(fileName, kMaxNameBytes);
    }
    path = path.substr(0, nameStart) + fileName;
  }
  return path;
}

}  // namespace lorva
