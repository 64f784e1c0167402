// One QApplication for the whole test program, on the offscreen platform.
#pragma once

#include <QApplication>
#include <QTimer>

namespace lorva::testing {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "test_qt_window";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// Clears an exit asked for while no event loop ran (a test that pressed "Exit"): it would end
// the next modal dialog's loop at once.
inline void ClearPendingExit() {
  QTimer::singleShot(0, &App(), &QCoreApplication::quit);
  QApplication::exec();
}

}  // namespace lorva::testing
