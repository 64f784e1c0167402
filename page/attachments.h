// Attachment export: each attachment of an article saved beside the pages under a generated
// name, bitmaps re-encoded as JPEG, and the list markup for the page.
#pragma once

#include <cstdint>
#include <string>

#include "outlook/object_model.h"
#include "platform/imaging/image_converter.h"
#include "support/file_handling.h"

namespace lorva {

// Saves the attachments of `item` into strFolder/N_files (N = iCount) and returns the list
// markup, or "" when none was exported. Failures go to the reporter with the label
// "frmMain.fncSaveAttachements"; then "" is returned.
std::string fncSaveAttachements(Services& services, platform::ImageConverter& images,
                                outlook::OutlookItem& item, const std::string& strFolder,
                                std::int16_t iCount);

// Re-encodes the bitmap at `source` as a JPEG at quality 90 at `target`; reports nothing.
void subConvertToJPEG(platform::ImageConverter& images, const std::string& source,
                      const std::string& target);

}  // namespace lorva
