// The window's appearance rules that need no window system: where a control samples the
// background picture for its colour, and the controls' layout in twips.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lorva {

// A rectangle in twips (1/1440 inch), relative to the control's container.
struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct PixelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The pixel under the centre of `rect` for a screen of `tx` x `ty` twips per pixel:
// Width / tx / 2 + Left / tx (likewise y), in floating point, rounded half to even.
// Precondition: tx > 0 and ty > 0.
PixelPoint SamplePoint(const TwipRect& rect, int tx, int ty);

// A colour as 0x00BBGGRR; nothing for the invalid colour (outside the picture).
using PixelReader = std::function<std::optional<std::uint32_t>(PixelPoint)>;

// subApplyBackColorToControl: the colour of the background under the control's centre, or
// `current` when the sample fails.
std::uint32_t SampledBackColor(const TwipRect& rect, int tx, int ty, const PixelReader& read,
                               std::uint32_t current);

// The kinds of control the main window is made of.
enum class ControlKind {
  kLabel,     // a caption (Label)
  kText,      // a text box (TextBox)
  kButton,    // a push button (CommandButton)
  kFrame,     // a titled frame around other controls (Frame)
  kPanel,     // a plain container (PictureBox)
  kOption,    // an option button (OptionButton)
  kCheck,     // a check box (CheckBox)
  kList,      // a list with a check box per entry (ListBox)
  kProgress,  // a progress bar
  kLine,      // a horizontal line (Line)
};

// One control of the main window: its name, kind, container (empty: the window), caption and
// position. The table the Qt view builds the window from.
struct ControlLayout {
  std::string name;
  ControlKind kind;
  std::string container;
  std::string caption;
  TwipRect rect;
};

// The window's controls in creation order (containers before what they hold).
const std::vector<ControlLayout>& MainWindowLayout();

// The client area of the main window in twips.
inline constexpr int kClientWidthTwips = 6870;
inline constexpr int kClientHeightTwips = 7695;

}  // namespace lorva
