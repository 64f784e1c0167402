#include "page/naming.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/text_rules.h"

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
// The longest page path kept whole, in characters, and the length a longer one is cut to before
// ".htm" is appended.
constexpr std::size_t kMaxPathCharacters = 249;
constexpr std::size_t kCutPathCharacters = 245;
constexpr char kExtension[] = ".htm";

bool EndsWithExtension(const std::string& name) {
  return name.size() >= 4 && name.compare(name.size() - 4, 4, kExtension) == 0;
}

// The file name part of `path`: what follows its last "/" (all of it when it has none).
std::string_view NameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Cuts the file name of `path`, which begins at `nameStart`, to the file system's limit for one
// name, ".htm" kept at its end.
void CutNameToLimit(std::string& path, std::size_t nameStart) {
  if (path.size() - nameStart <= kMaxNameBytes) return;
  const std::string name = path.substr(nameStart);
  path.resize(nameStart);
  if (EndsWithExtension(name)) {
    path += CutToBytes(name.substr(0, name.size() - 4), kMaxNameBytes - 4) + kExtension;
  } else {
    path += CutToBytes(name, kMaxNameBytes);
  }
}

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
    for (const char c : BlankControlCharacters(strText)) {
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
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "fncStripInvalidCharacters");
    return "";
  }
}

std::string PageName(Services& services, bool bySubject, const std::string& trimmedSubject,
                     std::int32_t counter) {
  if (bySubject) return fncStripInvalidCharacters(services, trimmedSubject) + ".htm";
  return std::to_string(counter) + ".htm";
}

std::string PagePath(const std::string& destination, const std::string& name) {
  const std::string folder = destination + "/";
  std::string path = folder + name;
  if (CountCharacters(path) > kMaxPathCharacters && CountCharacters(folder) < kCutPathCharacters) {
    path = path.substr(0, BytesOfCharacters(path, kCutPathCharacters)) + kExtension;
  }
  CutNameToLimit(path, folder.size());
  return path;
}

PageNames::PageNames() {
  taken_.push_back("index.htm");
  takenIndex_.Add(std::hash<std::string>{}(taken_.back()), 0);
}

bool PageNames::Taken(const std::string& folded) const {
  return takenIndex_
      .Find(std::hash<std::string>{}(folded),
            [&](std::uint32_t position) { return taken_[position] == folded; })
      .has_value();
}

std::string PageNames::Free(const std::string& path, int& number, std::string& folded) const {
  const std::string_view name = NameOf(path);
  number = 1;
  folded = FoldCase(name);
  if (!Taken(folded)) return path;
  const std::string_view folder = std::string_view(path).substr(0, path.size() - name.size());

  const bool extension = EndsWithExtension(std::string(name));
  const std::string stem(extension ? name.substr(0, name.size() - 4) : name);
  const std::string ending = extension ? kExtension : "";
  const auto next = nextTry_.find(folded);
  for (number = next == nextTry_.end() ? 2 : next->second;; ++number) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    std::string kept = stem;
    // The path's limit, as far as it can be kept without cutting into the destination or the
    // number.
    const std::size_t fixed =
        CountCharacters(std::string(folder)) + CountCharacters(suffix) + CountCharacters(ending);
    if (fixed < kMaxPathCharacters && fixed + CountCharacters(kept) > kMaxPathCharacters) {
      kept = kept.substr(0, BytesOfCharacters(kept, kMaxPathCharacters - fixed));
    }
    kept = CutToBytes(kept, kMaxNameBytes - suffix.size() - ending.size());
    const std::string candidate = kept + suffix + ending;
    std::string candidateFolded = FoldCase(candidate);
    if (!Taken(candidateFolded)) {
      folded = std::move(candidateFolded);
      return std::string(folder) + candidate;
    }
  }
}

std::string PageNames::Peek(const std::string& path) const {
  int number = 1;
  std::string folded;
  return Free(path, number, folded);
}

std::string PageNames::Reserve(const std::string& path) {
  int number = 1;
  std::string folded;
  std::string free = Free(path, number, folded);
  if (number > 1) nextTry_[FoldCase(NameOf(path))] = number + 1;
  takenIndex_.Add(std::hash<std::string>{}(folded), static_cast<std::uint32_t>(taken_.size()));
  taken_.push_back(std::move(folded));
  return free;
}

}  // namespace lorva
