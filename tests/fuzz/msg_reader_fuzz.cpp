// Feeds arbitrary bytes to the .msg reader, whole (ReadMsg) and part by part as the store's items
// read it: each must throw lorva::Error or succeed, never crash.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "base/error.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"

namespace {

void Try(const std::function<void()>& step) {
  try {
    step();
  } catch (const lorva::Error&) {
  }
}

// Every member of the item that reads without writing a file.
void ReadItem(const std::span<const std::uint8_t> bytes) {
  const auto item = lorva::mailstore::MakeItem(bytes, "fuzz.msg");
  Try([&] { item->Class(); });
  Try([&] { item->Subject(); });
  Try([&] { item->UserProperties()->Find("Problem Category"); });
  Try([&] { item->BodyFormat(); });
  Try([&] { item->HTMLBody(); });
  const auto attachments = item->Attachments();
  for (int k = 1; k <= attachments->Count(); ++k) {
    Try([&] { attachments->Item(k)->DisplayName(); });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    const auto content = lorva::mailstore::ReadMsg(bytes);
    for (const auto& a : content.attachments) {
      if (a.method == 5 && !a.data.empty()) Try([&] { lorva::mailstore::ReadMsg(a.data); });
    }
  } catch (const lorva::Error&) {
  }
  Try([&] { ReadItem(bytes); });
  return 0;
}
