#include "base/html_text.h"

#include <algorithm>
#include <cstring>

#include "base/text_rules.h"

namespace lorva {

std::string HtmlEscape(std::string_view input) {
  const std::string text = BlankControlCharacters(input);
  // One pass: find_first_of would search the five characters once for each byte of the text.
  const auto special = [](char c) {
    return c == '&' || c == '<' || c == '>' || c == '"' || c == '\'';
  };
  if (std::none_of(text.begin(), text.end(), special)) return text;
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
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

std::string UrlEncodeFileName(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                      (byte >= '0' && byte <= '9') ||
                      (byte != 0 && std::strchr("-_.~!$()*+,;=@", byte) != nullptr);
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::size_t FindContentIdReference(std::string_view html, std::size_t from) {
  // The colon is the rarest of the four characters in HTML: look for it, then at what precedes it.
  constexpr std::size_t kPrefix = 3;  // "cid"
  for (std::size_t colon = html.find(':', from + kPrefix); colon != std::string_view::npos;
       colon = html.find(':', colon + 1)) {
    if (StartsWithIgnoringAsciiCase(html.substr(colon - kPrefix), "cid")) return colon - kPrefix;
  }
  return std::string_view::npos;
}

}  // namespace lorva
