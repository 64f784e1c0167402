// Feeds arbitrary bytes to the .msg reader: it must throw lorva::Error or succeed, never crash.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/error.h"
#include "platform/mailstore/msg_content.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const auto content = lorva::mailstore::ReadMsg(std::span<const std::uint8_t>(data, size));
    for (const auto& a : content.attachments) {
      if (a.method == 5 && !a.data.empty()) {
        try {
          lorva::mailstore::ReadMsg(a.data);
        } catch (const lorva::Error&) {
        }
      }
    }
  } catch (const lorva::Error&) {
  }
  return 0;
}
