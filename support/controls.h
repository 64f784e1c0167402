// Plain models of the window's controls, with the Visual Basic behaviour the runs and the
// enabling rules rely on: a check box's value 0/1/2, option buttons that raise their click
// handler when selected, check-box lists kept sorted without regard to letter case, and the
// progress bar and mouse pointer a run drives. No window system: the Qt view mirrors these.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lorva::ui {

// A check box. Setting a value that differs from the current one raises the click handler, as a
// user's click does. Precondition of SetValue: 0 (unchecked), 1 (checked) or 2 (greyed); other
// values throw lorva::Error 380.
class CheckBox {
 public:
  explicit CheckBox(std::string caption = "", int value = 0)
      : caption_(std::move(caption)), value_(value) {}

  int Value() const { return value_; }
  void SetValue(int value);
  bool Ticked() const { return value_ == 1; }  // "ticked" means exactly 1
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  const std::string& Caption() const { return caption_; }

  std::function<void()> onClick;

 private:
  std::string caption_;
  int value_;
  bool enabled_ = true;
};

// A group of option buttons sharing one name (optGroup(0), optGroup(1)); exactly one is selected.
// Selecting a button that is not selected raises the click handler with its index.
class OptionGroup {
 public:
  explicit OptionGroup(std::vector<std::string> captions, int selected = 0);

  int Selected() const { return selected_; }
  bool IsSelected(int index) const { return selected_ == index; }
  // Precondition: 0 <= index < Count(); else throws lorva::Error 340 (element does not exist).
  void Select(int index);
  int Count() const { return static_cast<int>(captions_.size()); }
  bool Enabled(int index) const;
  void SetEnabled(int index, bool enabled);
  const std::string& Caption(int index) const;

  std::function<void(int)> onClick;

 private:
  void Check(int index) const;
  std::vector<std::string> captions_;
  std::vector<bool> enabled_;
  int selected_;
};

// A text box. MaxLength (0: none) limits what the user types (TypeKey), not text set by the
// program. onKeyPress sees each typed character code and sets it to 0 to drop the key.
class TextBox {
 public:
  explicit TextBox(std::string text = "", int maxLength = 0)
      : text_(std::move(text)), maxLength_(maxLength) {}

  const std::string& Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }
  int MaxLength() const { return maxLength_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  // A key typed by the user at the end of the text: runs onKeyPress, then applies the key
  // (Backspace, code 8, removes the last character; other codes below 32 do nothing).
  void TypeKey(int code);
  // Whether each character of `text` (UTF-8: a paste) would pass onKeyPress as a typed key.
  bool PassesKeyFilter(const std::string& text) const;

  std::function<void(int&)> onKeyPress;

 private:
  std::string text_;
  int maxLength_;
  bool enabled_ = true;
};

// A list with a check box per entry, sorted: each entry is put into its place when added, in
// ascending order by the text collation (CompareTextIgnoringCase: letter case ignored). Positions
// count from 0. An entry's tick is its selected state.
class CheckedListBox {
 public:
  // Adds `text` in its sorted place, unticked; returns its position.
  int AddItem(const std::string& text);
  int ListCount() const { return static_cast<int>(entries_.size()); }
  // Preconditions: 0 <= index < ListCount(); else throws lorva::Error 381.
  const std::string& List(int index) const;
  bool Selected(int index) const;
  void SetSelected(int index, bool selected);
  void Clear() { entries_.clear(); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

 private:
  void Check(int index) const;
  struct Entry {
    std::string text;
    bool selected = false;
  };
  std::vector<Entry> entries_;
  bool enabled_ = true;
};

class Button {
 public:
  explicit Button(std::string caption = "") : caption_(std::move(caption)) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

 private:
  std::string caption_;
  bool enabled_ = true;
};

// The common-controls progress bar. Value must lie within Min..Max (else lorva::Error 380).
class ProgressBar {
 public:
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Value() const { return value_; }
  bool Visible() const { return visible_; }
  void SetMax(int max);
  void SetValue(int value);
  void SetVisible(bool visible) { visible_ = visible; }

 private:
  int min_ = 0;
  int max_ = 100;
  int value_ = 0;
  bool visible_ = false;
};

// The window's mouse pointer (Visual Basic's values).
enum class MousePointer { kDefault = 0, kHourglass = 11 };

}  // namespace lorva::ui
