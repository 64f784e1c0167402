// lorva-archive: turns a knowledge base kept in a mail store into static web pages.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/list_items.h"
#include "page/office_route.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/registry/hive.h"
#include "platform/word/libreoffice_word.h"
#ifdef LORVA_GUI
#include "app/qt/window_app.h"
#endif

namespace {

// The rich-text route: LibreOffice for the bodies, Qt for the JPEG re-encoding.
std::unique_ptr<lorva::RichTextRoute> MakeOfficeRoute(lorva::Services& services) {
  return std::make_unique<lorva::OfficeRoute>(
      services, std::make_unique<lorva::platform::LibreOfficeWordFactory>(),
      std::make_unique<lorva::platform::QtImageConverter>());
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--help") {
    std::cout << lorva::BatchUsage();
    return 0;
  }
  if (!args.empty() && args[0] == "--list-items") {
    return lorva::ListItemsCommand(args, std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "--generate") {
    const std::unique_ptr<lorva::platform::RegistryHive> hive = lorva::platform::OpenUserHive();
    if (const std::string problem = hive->Problem(); !problem.empty()) {
      std::cerr << "lorva-archive: " << problem << "\n";
    }
    return lorva::BatchCommand(args, std::cout, std::cerr,
                               lorva::BatchPlatform{hive.get(), MakeOfficeRoute});
  }
#ifdef LORVA_GUI
  // The window: "lorva-archive [--store DIR] [--folder PATH]".
  lorva::WindowOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--store" || args[i] == "--folder") && i + 1 < args.size()) {
      (args[i] == "--store" ? options.store : options.folder) = args[i + 1];
      ++i;
    } else if (args[i] == "--help") {
      std::cout << lorva::BatchUsage();
      return 0;
    } else {
      std::cerr << "lorva-archive: unknown argument \"" << args[i] << "\"\n" << lorva::BatchUsage();
      return lorva::kBatchUsageError;
    }
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
      !std::getenv("QT_QPA_PLATFORM")) {
    std::cerr << "lorva-archive: no display to open the window on; use --generate for the batch "
                 "mode\n";
    return 1;
  }
  return lorva::RunWindowApplication(argc, argv, options, MakeOfficeRoute);
#else
  std::cerr << lorva::BatchUsage();
  return args.empty() ? 0 : lorva::kBatchUsageError;
#endif
}
