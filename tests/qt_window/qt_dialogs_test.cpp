#include "platform/ui/qt/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "qt_window/qt_app.h"

namespace lorva::testing {
namespace {

// Where each dialog opens: over the main window once it is shown, else in the middle of the
// screen (at start-up the window is not placed yet).
TEST(QtDialogsTest, DialogsOpenCentredOnTheShownWindowElseOnTheScreen) {
  ClearPendingExit();
  QWidget window;
  window.setGeometry(200, 40, 458, 513);  // off the screen's middle (800 x 600 offscreen)
  platform::QtDialogs dialogs(&window);
  const struct {
    const char* dialog;
    std::function<void()> open;
  } cases[] = {
      {"message box", [&] { dialogs.MsgBox("Text", platform::msgbox::kYesNo, "Title"); }},
      {"folder picker",
       [&] {
         dialogs.PickMailFolder({"Inbox", "Knowledge Base"}, "Inbox");
       }},
      {"folder browser", [&] { dialogs.BrowseForFolder("Pick a folder", "/"); }},
  };
  for (const bool shown : {false, true}) {
    window.setVisible(shown);
    const QPoint centre = shown ? window.geometry().center()
                                : QApplication::primaryScreen()->availableGeometry().center();
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.dialog) + (shown ? " over the shown window" : " at start-up"));
      QWidget* owner = &window;
      QRect where;
      QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        owner = dialog->parentWidget();
        where = dialog->frameGeometry();
        dialog->reject();
      });
      c.open();
      EXPECT_EQ(owner, shown ? &window : nullptr);
      EXPECT_LE((where.center() - centre).manhattanLength(), 2)
          << "opened at " << where.x() << ", " << where.y() << " (" << where.width() << " x "
          << where.height() << ")";
    }
  }
}

}  // namespace
}  // namespace lorva::testing
