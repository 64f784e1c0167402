// The program with its window: the Qt application, the main window's view over the window model,
// and the Qt dialogs and event pump.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/program.h"
#include "app/qt/window_font.h"

class QWidget;

namespace lorva {

struct WindowOptions {
  std::optional<std::string> store;   // the mail store's root (default: ResolveStoreRoot)
  std::optional<std::string> folder;  // the folder to show (default: the store's current one)
  WindowFontChoice font = WindowFontChoice::kNamed;
  // Called once the window is on the screen (the screenshot tool); empty for the program.
  std::function<void(QWidget& window)> whenShown;
};

// Opens the window on the mail store and runs until the program ends; returns the exit status.
int RunWindowApplication(int argc, char** argv, const WindowOptions& options,
                         const RouteFactory& makeRoute);

}  // namespace lorva
