// window_screenshot OUT.png [--fallback-font] [--store DIR] [--folder PATH]: opens the window as
// the program does and saves what the display shows of it, once it is drawn, then quits without
// storing the options. Run under a display (scripts/screenshot.sh starts Xvfb).
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <iostream>
#include <string>

#include "app/qt/window_app.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: window_screenshot OUT.png [--fallback-font] [--store DIR] "
                 "[--folder PATH]\n";
    return 64;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  lorva::WindowOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fallback-font") {
      options.font = lorva::WindowFontChoice::kFallback;
    } else if ((arg == "--store" || arg == "--folder") && i + 1 < argc) {
      (arg == "--store" ? options.store : options.folder) = argv[++i];
    } else {
      std::cerr << "window_screenshot: unknown argument \"" << arg << "\"\n";
      return 64;
    }
  }
  int status = 0;
  options.whenShown = [&out, &status](QWidget& window) {
    // Give the display time to map and draw the window.
    QTimer::singleShot(1000, &window, [&out, &status, &window] {
      const QPixmap picture = window.screen()->grabWindow(window.winId());
      if (picture.isNull() || !picture.save(out, "PNG")) {
        std::cerr << "window_screenshot: cannot save \"" << out.toStdString() << "\"\n";
        status = 1;
      }
      QApplication::exit(status);
    });
  };
  const int exitCode = lorva::RunWindowApplication(argc, argv, options, {});
  return status != 0 ? status : exitCode;
}
