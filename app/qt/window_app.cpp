#include "app/qt/window_app.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPixmap>
#include <QScreen>
#include <iostream>

#include "app/batch.h"
#include "app/program.h"
#include "app/qt/main_window_view.h"
#include "app/settings.h"
#include "base/error.h"
#include "platform/mailstore/store.h"
#include "platform/registry/hive.h"
#include "platform/shell/desktop_shell.h"
#include "platform/ui/qt/qt_dialogs.h"
#include "resources/embedded.h"

namespace lorva {
namespace {

// "Yield to the message loop": shows the model's state and handles pending events. When the
// program ended meanwhile (Exit or the close box during a run), unwinds the run.
class QtEventPump : public platform::EventPump {
 public:
  void SetView(MainWindowView* view) { view_ = view; }
  void DoEvents() override {
    if (view_) view_->Refresh();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (view_ && view_->Ended()) throw ProgramEnded{view_->ExitCode()};
  }

 private:
  MainWindowView* view_ = nullptr;
};

QImage EmbeddedImage(const char* name) {
  const auto bytes = resources::Find(name);
  QImage image;
  if (bytes) image.loadFromData(bytes->data(), static_cast<int>(bytes->size()), "PNG");
  return image;
}

}  // namespace

int RunWindowApplication(int argc, char** argv, const WindowOptions& options,
                         const RouteFactory& makeRoute) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("LorvaArchive");
  const QFont font = WindowFont(options.font);
  QApplication::setFont(font);
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(EmbeddedImage("ICON16.PNG")));
  icon.addPixmap(QPixmap::fromImage(EmbeddedImage("ICON48.PNG")));
  QApplication::setWindowIcon(icon);

  auto dialogs = std::make_shared<platform::QtDialogs>();
  auto shell = std::make_shared<platform::DesktopShell>();
  std::shared_ptr<mailstore::MailStore> mailStore;
  const auto root = mailstore::ResolveStoreRoot(options.store);
  try {
    mailStore = mailstore::MailStore::Open(root, dialogs, shell);
    if (options.folder && !ShowStoreFolder(*mailStore, *options.folder)) {
      std::cerr << "lorva-archive: no folder \"" << *options.folder << "\" in the mail store at \""
                << root.string() << "\"\n";
      return kBatchNotFound;
    }
  } catch (const Error& e) {
    std::cerr << "lorva-archive: cannot open the mail store at \"" << root.string()
              << "\": " << e.description() << "\n";
    return kBatchNotFound;
  }
  const auto launcher = mailstore::MakeStoreLauncher(mailStore);
  QtEventPump pump;
  // The options live in the user's registry hive; the view matches the colours once they are
  // restored.
  const std::unique_ptr<platform::RegistryHive> hive = platform::OpenUserHive();
  MainWindowView* shownView = nullptr;
  Program program(
      ProgramPlatform{*dialogs, pump, *shell, *launcher},
      [&](Services& services) {
        FormHooks hooks;
        hooks.restoreOptions = RestoreOptionsHook(*hive, services, [&shownView] {
          if (shownView) shownView->MatchColours();
        });
        hooks.saveOptions = SaveOptionsHook(*hive, services);
        return hooks;
      },
      makeRoute);
  frmMain& form = program.form();

  // The layout is in twips: 15 twips per pixel at 96 dpi, scaled with the screen's dpi.
  const double dpi = app.primaryScreen() ? app.primaryScreen()->logicalDotsPerInch() : 96.0;
  MainWindowView view(form, dpi / 96.0 / 15.0, EmbeddedImage("BACKGROUND.PNG"), font);
  shownView = &view;
  dialogs->SetParent(&view);
  if (const std::string problem = hive->Problem(); !problem.empty()) {
    dialogs->MsgBox(problem, platform::msgbox::kExclamation, kProductName);
  }
  pump.SetView(&view);
  view.Call([&form] { form.Form_Load(); });
  if (view.Ended()) return view.ExitCode();
  view.Refresh();
  // Centred on the screen.
  if (app.primaryScreen()) {
    view.move(app.primaryScreen()->availableGeometry().center() - view.rect().center());
  }
  view.show();
  if (options.whenShown) options.whenShown(view);
  return app.exec();
}

}  // namespace lorva
