// Attachment export: each attachment of an article saved beside the pages under a generated
// name, bitmaps re-encoded as JPEG, and the list markup for the page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/imaging/image_converter.h"
#include "platform/outlook/object_model.h"
#include "support/file_handling.h"

namespace lorva {

// Saves the attachments of `item` into strFolder/N_files (N = iCount) and returns the list
// markup, or "" when none was exported. Failures go to the reporter with the label
// "frmMain.fncSaveAttachements"; then "" is returned.
//
// First removes the conversion page strFolder/N.htm, but only when `removeConversionPage`
// says that the file there is this run's own conversion output (an earlier page of that name
// is left alone). Hidden attachments (inline images of the body) are not listed; an extension
// that holds a character a file name cannot hold is not exported; one a web server would run
// gets ".txt" appended. Display names are escaped, link targets percent-encoded. Every file is
// saved under a temporary name and renamed into place, so a link standing at an attachment's
// name is replaced, never written through. An attachment that the item's file holds damaged is
// left out, the others still exported, and the reason appended to `unreadable`.
std::string fncSaveAttachements(Services& services, platform::ImageConverter& images,
                                outlook::OutlookItem& item, const std::string& strFolder,
                                std::int32_t iCount, std::vector<std::string>& unreadable,
                                bool removeConversionPage = true);

// Runs `read`, which reads a part of an item (an attachment) and saves it; true when it succeeded.
// A part that the item's file holds damaged (Error kBadFileFormat) is passed over: the error's
// description is appended to `unreadable` and false returned. Any other failure, the
// destination's, is passed on.
template <class Read>
bool ReadPartOrNoteDamage(std::vector<std::string>& unreadable, Read&& read) {
  try {
    read();
    return true;
  } catch (const Error& error) {
    if (error.number() != errnum::kBadFileFormat) throw;
    unreadable.push_back(error.description());
    return false;
  }
}

// Saves `attachment` at `target` by way of a temporary file beside it, renamed into place once
// saved: a link standing at `target` is replaced, never written through. On failure the
// temporary file is removed and the error passed on.
void SaveAttachmentAt(FileSystemObject& fs, outlook::Attachment& attachment,
                      const std::string& target);

// Re-encodes the bitmap at `source` as a JPEG at quality 90 at `target`; reports nothing.
void subConvertToJPEG(platform::ImageConverter& images, const std::string& source,
                      const std::string& target);

}  // namespace lorva
