// Feeds arbitrary rich text to the HTML and text readers, and arbitrary text to the HTML
// encapsulation, whose result must give the HTML back whenever the text is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/error.h"
#include "platform/mailstore/rtf_html.h"

namespace {

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int length = b < 0x80             ? 1
                 : (b & 0xE0) == 0xC0 ? 2
                 : (b & 0xF0) == 0xE0 ? 3
                 : (b & 0xF8) == 0xF0 ? 4
                                      : 0;
    if (length == 0 || i + length > s.size()) return false;
    std::uint32_t cp = length == 1   ? b
                       : length == 2 ? (b & 0x1F)
                       : length == 3 ? (b & 0x0F)
                                     : (b & 0x07);
    for (int k = 1; k < length; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  try {
    (void)lorva::mailstore::ExtractHtmlFromRtf(input);
    (void)lorva::mailstore::ExtractTextFromRtf(input);
    (void)lorva::mailstore::IsRtfFromText(input);
  } catch (const lorva::Error&) {
  }
  if (IsValidUtf8(input)) {
    const auto html =
        lorva::mailstore::ExtractHtmlFromRtf(lorva::mailstore::EncapsulateHtmlInRtf(input));
    if (!html || *html != input) std::abort();
  }
  return 0;
}
