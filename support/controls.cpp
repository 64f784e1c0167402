#include "support/controls.h"

#include <algorithm>

#include "base/error.h"
#include "base/text_rules.h"
#include "base/utf8.h"

namespace lorva::ui {

void CheckBox::SetValue(int value) {
  if (value < 0 || value > 2) throw Error(errnum::kInvalidPropertyValue, "Invalid property value");
  if (value == value_) return;
  value_ = value;
  if (onClick) onClick();
}

OptionGroup::OptionGroup(std::vector<std::string> captions, int selected)
    : captions_(std::move(captions)), enabled_(captions_.size(), true), selected_(selected) {}

void OptionGroup::Check(int index) const {
  if (index < 0 || index >= Count())
    throw Error(errnum::kNoSuchControlElement, "Control array element does not exist");
}

void OptionGroup::Select(int index) {
  Check(index);
  if (index == selected_) return;
  selected_ = index;
  if (onClick) onClick(index);
}

bool OptionGroup::Enabled(int index) const {
  Check(index);
  return enabled_[index];
}

void OptionGroup::SetEnabled(int index, bool enabled) {
  Check(index);
  enabled_[index] = enabled;
}

const std::string& OptionGroup::Caption(int index) const {
  Check(index);
  return captions_[index];
}

void TextBox::TypeKey(int code) {
  if (!enabled_) return;
  if (onKeyPress) onKeyPress(code);
  if (code == 0) return;
  if (code == 8) {
    if (text_.empty()) return;
    // Remove the last character (a whole UTF-8 sequence).
    std::size_t end = text_.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80) --end;
    text_.erase(end);
    return;
  }
  if (code < 32 || code > 126) return;  // control keys and non-ASCII keys insert nothing here
  if (maxLength_ > 0 && static_cast<int>(text_.size()) >= maxLength_) return;
  text_.push_back(static_cast<char>(code));
}

bool TextBox::PassesKeyFilter(const std::string& text) const {
  if (!onKeyPress) return true;
  for (std::size_t pos = 0; pos < text.size();) {
    int code = static_cast<int>(utf8::Next(text, pos));
    onKeyPress(code);
    if (code == 0) return false;
  }
  return true;
}

void CheckedListBox::Check(int index) const {
  if (index < 0 || index >= ListCount())
    throw Error(errnum::kInvalidPropertyIndex, "Invalid property array index");
}

int CheckedListBox::AddItem(const std::string& text) {
  // After every entry that does not sort after the new one, so equal entries keep their order.
  auto it = std::upper_bound(
      entries_.begin(), entries_.end(), text,
      [](const std::string& t, const Entry& e) { return CompareTextIgnoringCase(t, e.text) < 0; });
  it = entries_.insert(it, Entry{text, false});
  return static_cast<int>(it - entries_.begin());
}

const std::string& CheckedListBox::List(int index) const {
  Check(index);
  return entries_[index].text;
}

bool CheckedListBox::Selected(int index) const {
  Check(index);
  return entries_[index].selected;
}

void CheckedListBox::SetSelected(int index, bool selected) {
  Check(index);
  entries_[index].selected = selected;
}

void ProgressBar::SetMax(int max) {
  if (max < min_) throw Error(errnum::kInvalidPropertyValue, "Invalid property value");
  max_ = max;
  if (value_ > max_) value_ = max_;
}

void ProgressBar::SetValue(int value) {
  if (value < min_ || value > max_)
    throw Error(errnum::kInvalidPropertyValue, "Invalid property value");
  value_ = value;
}

}  // namespace lorva::ui
