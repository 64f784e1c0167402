#include "platform/mailstore/eml.h"

#include <cstdint>

namespace lorva::mailstore {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Line breaks and other control characters would end the header line early; they become blanks.
std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
  }
  return line;
}

bool IsPrintableAscii(const std::string& text) {
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F) return false;
  }
  return true;
}

std::string Base64(const std::string& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n = (static_cast<unsigned char>(bytes[i]) << 16) |
                            (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                            static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i + 1 == bytes.size()) {
    const std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    const std::uint32_t n = (static_cast<unsigned char>(bytes[i]) << 16) |
                            (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

// The length of the UTF-8 sequence starting with `lead` (1 for a stray byte).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

std::string EncodeQuotedPrintable(const std::string& text) {
  std::string out;
  std::string line;  // the encoded current line
  const auto flushLine = [&](bool hardBreak) {
    // A blank or tab at the end of a line would be lost in transport: encode it.
    if (hardBreak && !line.empty() && (line.back() == ' ' || line.back() == '\t')) {
      const char last = line.back();
      line.pop_back();
      line += '=';
      line += kHex[(static_cast<unsigned char>(last) >> 4) & 15];
      line += kHex[static_cast<unsigned char>(last) & 15];
    }
    out += line;
    out += hardBreak ? "\r\n" : "=\r\n";
    line.clear();
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      flushLine(true);
      continue;
    }
    std::string piece;
    if ((c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t') {
      piece = static_cast<char>(c);
    } else {
      piece = {'=', kHex[c >> 4], kHex[c & 15]};
    }
    // Keep room for a soft break "=" (and an encoded trailing blank) within 76 characters.
    if (line.size() + piece.size() > 73) flushLine(false);
    line += piece;
  }
  if (!line.empty()) flushLine(true);
  return out;
}

std::string EncodeHeaderText(const std::string& text, std::size_t headerNameLength) {
  if (IsPrintableAscii(text)) return text;
  static constexpr std::string_view kPrefix = "=?UTF-8?B?";
  static constexpr std::string_view kSuffix = "?=";
  std::string out;
  std::string chunk;
  std::size_t firstLineUsed = headerNameLength;
  const auto encodedLength = [](std::size_t bytes) {
    return kPrefix.size() + (bytes + 2) / 3 * 4 + kSuffix.size();
  };
  const auto emit = [&]() {
    if (chunk.empty()) return;
    if (!out.empty()) out += "\r\n ";
    out += std::string(kPrefix) + Base64(chunk) + std::string(kSuffix);
    chunk.clear();
    firstLineUsed = 1;
  };
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = SequenceLength(static_cast<unsigned char>(text[i]));
    if (i + length > text.size()) length = 1;
    const std::size_t limit = 75 < 76 - firstLineUsed ? 75 : 76 - firstLineUsed;
    if (!chunk.empty() && encodedLength(chunk.size() + length) > limit) emit();
    chunk.append(text, i, length);
    i += length;
  }
  emit();
  return out;
}

std::string FormatUnsentMail(const UnsentMail& mail) {
  std::string message;
  message += "X-Unsent: 1\r\n";
  message += "To: " + OneLine(mail.to) + "\r\n";
  message += "Subject: " + EncodeHeaderText(OneLine(mail.subject), 9) + "\r\n";
  message += "MIME-Version: 1.0\r\n";
  message += "Content-Type: text/plain; charset=UTF-8\r\n";
  message += "Content-Transfer-Encoding: quoted-printable\r\n";
  message += "\r\n";
  message += EncodeQuotedPrintable(mail.body);
  return message;
}

}  // namespace lorva::mailstore
