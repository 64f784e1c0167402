#include "app/qt/window_font.h"

#include <QFile>
#include <QFontDatabase>
#include <QString>

namespace lorva {
namespace {

// The regular face only: the package's bold face draws wide, thin strokes that hardly read as
// bold at this size, whereas the regular face emboldened (as Qt does when a family has no bold
// face) reads as Tahoma bold does.
constexpr const char* kNamedFontFile = "/usr/share/wine/fonts/tahoma.ttf";

// The family of the Tahoma-compatible face, added once; empty when it is not installed.
QString NamedFamily() {
  static const QString family = [] {
    if (!QFile::exists(kNamedFontFile)) return QString();
    const int id = QFontDatabase::addApplicationFont(kNamedFontFile);
    return id < 0 ? QString() : QFontDatabase::applicationFontFamilies(id).value(0);
  }();
  return family;
}

}  // namespace

QFont WindowFont(WindowFontChoice choice) {
  const QString named = choice == WindowFontChoice::kNamed ? NamedFamily() : QString();
  QFont font(named.isEmpty() ? QString("DejaVu Sans") : named);
  font.setPointSizeF(8.25);
  return font;
}

bool NamedFontInstalled() {
  return !NamedFamily().isEmpty();
}

}  // namespace lorva
