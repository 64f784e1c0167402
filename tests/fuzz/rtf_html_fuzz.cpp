// Feeds arbitrary rich text to the HTML and text readers, and arbitrary text to the HTML
// encapsulation, whose result must give the HTML back whenever the text is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/error.h"
#include "base/utf8.h"
#include "platform/mailstore/rtf_html.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  try {
    (void)lorva::mailstore::ExtractHtmlFromRtf(input);
    (void)lorva::mailstore::ExtractTextFromRtf(input);
    (void)lorva::mailstore::IsRtfFromText(input);
  } catch (const lorva::Error&) {
  }
  if (lorva::utf8::IsValid(input)) {
    const auto html =
        lorva::mailstore::ExtractHtmlFromRtf(lorva::mailstore::EncapsulateHtmlInRtf(input));
    if (!html || *html != input) std::abort();
  }
  return 0;
}
