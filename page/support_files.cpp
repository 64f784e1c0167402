#include "page/support_files.h"

#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/error.h"
#include "resources/embedded.h"

namespace lorva {
namespace {

// Writes the embedded file `resource` to `path` as raw bytes, taking the place of what was there
// once complete.
void WriteResource(Services& services, const std::string& resource, const std::string& path) {
  const auto bytes = resources::Find(resource);
  if (!bytes) {
    throw Error(errnum::kResourceNotFound, "Resource with identifier '" + resource + "' not found");
  }
  services.reporter.subLogStep("Writing file to " + path);
  services.Fs().WriteFileReplacing(
      path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

}  // namespace

void subExtractFilesFromResource(Services& services, const std::string& strOutputPath,
                                 unsigned char iCollapse) {
  std::error_code ignored;
  try {
    WriteResource(services, "STYLE.CSS", strOutputPath + "/style.css");
    if (iCollapse == 1) WriteResource(services, "OUTLINE.JS", strOutputPath + "/outline.js");
    const std::string images = strOutputPath + "/Images";
    // The style sheet names the bullet as "images/bulletredsmall.gif". Where file names keep
    // their letter case (Linux, and the web servers the archive is published on), that is
    // another folder than "Images", so the bullet goes there as well.
    const std::string lowerImages = strOutputPath + "/images";
    if (!std::filesystem::exists(lowerImages, ignored) ||
        !std::filesystem::equivalent(images, lowerImages, ignored)) {
      if (!services.Fs().FolderExists(lowerImages)) {
        services.reporter.subLogStep("Creating the folder " + lowerImages);
        services.Fs().CreateFolder(lowerImages);
      }
      WriteResource(services, "BULLETREDSMALL.GIF", lowerImages + "/bulletredsmall.gif");
    }
    if (!services.Fs().FolderExists(images)) {
      services.reporter.subLogStep("Creating the folder " + images);
      services.Fs().CreateFolder(images);
    }
    WriteResource(services, "BULLETREDSMALL.GIF", images + "/bulletredsmall.gif");
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "subExtractFilesFromResource");
  }
}

}  // namespace lorva
