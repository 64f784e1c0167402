#include "app/program.h"

namespace lorva {

Program::Program(ProgramPlatform platform, const HooksFactory& makeHooks,
                 const RouteFactory& makeRoute)
    : platform_(platform),
      reporter_(platform.dialogs,
                ErrorReporter::Hooks{[this]() -> std::shared_ptr<outlook::Application> {
                                       if (!connection_->objOutlook)
                                         connection_->subStartOutlook(6);
                                       return connection_->objOutlook;
                                     },
                                     [this] { connection_->subEndProgram(); }, LinuxOsName}),
      services_{reporter_, nullptr},
      files_(services_, platform.shell, nullptr, [] {}) {
  connection_ =
      std::make_unique<outlook::Connection>(services_, platform.launcher, platform.dialogs);
  route_ = makeRoute ? makeRoute(services_) : nullptr;
  if (!route_) route_ = std::make_unique<UnavailableRichTextRoute>(services_);
  form_ = std::make_unique<frmMain>(
      FormServices{services_, files_, *connection_, platform.dialogs, platform.pump, *route_,
                   platform.openIndexWhenDone ? &platform.shell : nullptr},
      makeHooks ? makeHooks(services_) : FormHooks{});
}

Program::~Program() = default;

bool ShowStoreFolder(mailstore::MailStore& store, const std::string& folderPath) {
  if (!store.GetFolder(folderPath)) return false;
  if (store.ExplorerCount() == 0) {
    store.ActivateExplorer(store.AddExplorer(folderPath));
  } else {
    store.SetCurrentFolderPath(folderPath);
  }
  return true;
}

}  // namespace lorva
