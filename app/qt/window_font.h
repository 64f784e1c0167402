// The window's font: Tahoma 8.25 pt, the face the window's layout was made for. Debian's
// fonts-wine ships a Tahoma-compatible face, in a folder fontconfig does not scan, so it is added
// from its file; without that package the window falls back to DejaVu Sans.
#pragma once

#include <QFont>

namespace lorva {

enum class WindowFontChoice {
  kNamed,     // the Tahoma-compatible face when installed, else the fallback
  kFallback,  // DejaVu Sans
};

// The window's font, 8.25 pt. Precondition: a QGuiApplication exists.
QFont WindowFont(WindowFontChoice choice);

// Whether the Tahoma-compatible face is installed.
bool NamedFontInstalled();

}  // namespace lorva
