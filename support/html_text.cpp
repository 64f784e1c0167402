#include "support/html_text.h"

#include <cstring>

namespace lorva {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string UrlEncodeFileName(std::string_view fileName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr const char* kSafe = "-._~!$()*+,;=@";
  std::string out;
  out.reserve(fileName.size());
  for (char c : fileName) {
    const auto b = static_cast<unsigned char>(c);
    const bool safe = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                      (b != 0 && std::strchr(kSafe, c) != nullptr);
    if (safe) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  return out;
}

}  // namespace lorva
