#include "page/attachments.h"

#include <array>
#include <exception>
#include <string_view>

#include "base/error.h"
#include "base/files.h"
#include "base/html_text.h"
#include "base/steps.h"
#include "base/text_rules.h"
#include "base/utf8.h"

namespace lorva {
namespace {

constexpr int kJpegQuality = 90;
constexpr std::size_t kMaxExtensionLength = 4;

// Extensions a web server runs as a program when the archive is published.
constexpr std::array<std::string_view, 11> kServerExecutable = {
    "php", "php3", "php4", "php5", "phtm", "asp", "cgi", "pl", "py", "jsp", "shtm"};

struct Extension {
  std::string text;        // lower case, UTF-8
  std::size_t length = 0;  // in characters (UTF-16 units)
};

// The text after the display name's last "." (the whole name when it has none), lower case.
Extension ExtensionOf(const std::string& displayName) {
  const std::size_t dot = displayName.rfind('.');
  const std::string after = dot == std::string::npos ? displayName : displayName.substr(dot + 1);
  Extension extension;
  extension.text = LowerCase(after);
  for (std::size_t pos = 0; pos < extension.text.size();) {
    extension.length += utf8::Next(extension.text, pos) > 0xFFFF ? 2 : 1;
  }
  return extension;
}

// Whether `extension` can be part of a file name in the attachment folder: no path separator,
// no character a file name cannot hold (Windows' reserved ones included, so that the archive
// can be copied there), no control character.
bool IsFileNameSafe(const std::string& extension) {
  for (unsigned char c : extension) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool IsServerExecutable(const std::string& extension) {
  for (std::string_view executable : kServerExecutable) {
    if (extension == executable) return true;
  }
  return false;
}

}  // namespace

void SaveAttachmentAt(FileSystemObject& fs, outlook::Attachment& attachment,
                      const std::string& target) {
  const std::string temporary = TemporaryPathBeside(target);
  try {
    attachment.SaveAsFile(temporary);
    fs.RenameFile(temporary, target);
  } catch (...) {
    SkipOnFailure([&] {
      if (fs.FileExists(temporary)) fs.DeleteFile(temporary, true);
    });
    throw;
  }
}

void subConvertToJPEG(platform::ImageConverter& images, const std::string& source,
                      const std::string& target) {
  SkipOnFailure([&] { images.ConvertToJpeg(source, target, kJpegQuality); });
}

std::string fncSaveAttachements(Services& services, platform::ImageConverter& images,
                                outlook::OutlookItem& item, const std::string& strFolder,
                                std::int32_t iCount, std::vector<std::string>& unreadable,
                                bool removeConversionPage) {
  try {
    FileSystemObject& fs = services.Fs();
    const std::string n = std::to_string(iCount);

    const std::string conversionPage = strFolder + "/" + n + ".htm";
    if (removeConversionPage && fs.FileExists(conversionPage)) fs.DeleteFile(conversionPage, true);

    std::string list = "<p><b>Attachments:</b><ul>";
    std::int16_t k = 0;
    bool exported = false;
    const std::string folder = strFolder + "/" + n + "_files";

    std::shared_ptr<outlook::AttachmentCollection> attachments = item.Attachments();
    const int count = attachments ? attachments->Count() : 0;
    for (int index = 1; index <= count; ++index) {
      std::shared_ptr<outlook::Attachment> attachment;
      if (!ReadPartOrNoteDamage(unreadable, [&] { attachment = attachments->Item(index); }))
        continue;
      if (!attachment) throw Error(errnum::kObjectNotSet, "Object variable not set");
      if (attachment->Hidden()) continue;  // an inline image of the body, shown there

      const std::string displayName = attachment->DisplayName();
      Extension extension = ExtensionOf(displayName);
      if (extension.text.empty() || extension.length > kMaxExtensionLength) continue;
      if (!IsFileNameSafe(extension.text)) continue;  // would name a file elsewhere, or none

      if (!fs.FolderExists(folder)) {
        services.reporter.subLogStep("Creating the folder " + folder);
        fs.CreateFolder(folder);
      }
      if (k == INT16_MAX) throw Error(errnum::kOverflow, "Overflow");
      ++k;

      const std::string stem = n + "_" + std::to_string(k) + ".";
      // A script a web server would run is published as plain text.
      const std::string savedName =
          stem + extension.text + (IsServerExecutable(extension.text) ? ".txt" : "");
      const std::string target = folder + "/" + savedName;
      services.reporter.subLogStep("Saving attachment to " + target);
      std::string linkedName = savedName;
      if (extension.text != "bmp") {
        if (!ReadPartOrNoteDamage(unreadable, [&] { SaveAttachmentAt(fs, *attachment, target); })) {
          --k;  // the number goes to the next attachment
          continue;
        }
      } else {
        // The bitmap is saved and re-encoded under temporary names; only the JPEG file takes its
        // place in the folder.
        linkedName = stem + "jpg";
        const std::string bitmap = TemporaryPathBeside(target);
        const std::string jpeg = TemporaryPathBeside(target);
        bool saved = false;
        try {
          saved = ReadPartOrNoteDamage(unreadable, [&] { attachment->SaveAsFile(bitmap); });
        } catch (...) {
          SkipOnFailure([&] { fs.DeleteFile(bitmap, true); });
          throw;
        }
        if (!saved) {
          SkipOnFailure([&] {
            if (fs.FileExists(bitmap)) fs.DeleteFile(bitmap, true);
          });
          --k;
          continue;
        }
        subConvertToJPEG(images, bitmap, jpeg);
        if (fs.FileExists(jpeg) &&
            !SkipOnFailure([&] { fs.RenameFile(jpeg, folder + "/" + linkedName); })) {
          SkipOnFailure([&] { fs.DeleteFile(jpeg, true); });
        }
        fs.DeleteFile(bitmap, false);
      }

      exported = true;
      list += "<li><a href='" + UrlEncodeFileName(n + "_files") + "/" +
              UrlEncodeFileName(linkedName) + "'>" + HtmlEscape(displayName) + "</a></li>";
    }
    list += "</ul></p>";
    return exported ? list : "";
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "frmMain.fncSaveAttachements");
  }
  return "";
}

}  // namespace lorva
