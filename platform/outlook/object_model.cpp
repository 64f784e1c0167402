#include "platform/outlook/object_model.h"

#include "base/error.h"

namespace lorva::outlook {

std::shared_ptr<OutlookItem> AsPostItem(const std::shared_ptr<OutlookItem>& item) {
  if (item && item->Class() != ItemClass::kPost) {
    throw Error(errnum::kTypeMismatch, "Type mismatch: the item is not a post item");
  }
  return item;
}

}  // namespace lorva::outlook
