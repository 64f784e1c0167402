#include "page/office_route.h"

#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/files.h"
#include "base/html_text.h"
#include "base/steps.h"
#include "base/text_rules.h"
#include "page/attachments.h"
#include "page/body_conversion.h"
#include "page/destination.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

bool SamePath(const std::string& a, const std::string& b) {
  return fs::path(a).lexically_normal() == fs::path(b).lexically_normal();
}

// A content id as references name it: without blanks around, without "<" ">", lower case.
std::string NormalContentId(std::string_view id) {
  while (!id.empty() && std::isspace(static_cast<unsigned char>(id.front()))) id.remove_prefix(1);
  while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back()))) id.remove_suffix(1);
  if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
  return AsciiLower(id);
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The extension an inline image is saved with: its own when it is a common picture type,
// "img" otherwise (browsers tell pictures by their content).
std::string ImageExtension(const std::string& displayName) {
  const std::size_t dot = displayName.rfind('.');
  const std::string extension =
      dot == std::string::npos ? "" : AsciiLower(displayName.substr(dot + 1));
  for (std::string_view known : {"png", "jpg", "jpeg", "gif", "bmp", "webp", "tif", "tiff"}) {
    if (extension == known) return extension;
  }
  return "img";
}

bool EndsReference(char c) {
  return c == '"' || c == '\'' || c == '<' || c == '>' || c == ')' ||
         std::isspace(static_cast<unsigned char>(c));
}

}  // namespace

OfficeRoute::OfficeRoute(Services& services, platform::WordFactory& factory,
                         platform::ImageConverter& images)
    : services_(services), factory_(factory), images_(images) {}

OfficeRoute::OfficeRoute(Services& services, std::unique_ptr<platform::WordFactory> factory,
                         std::unique_ptr<platform::ImageConverter> images)
    : OfficeRoute(services, *factory, *images) {
  ownedFactory_ = std::move(factory);
  ownedImages_ = std::move(images);
}

OfficeRoute::~OfficeRoute() {
  try {
    QuitWord();
  } catch (...) {
  }
}

void OfficeRoute::PutBackKeptPage() {
  if (keptAs_.empty()) return;
  std::error_code error;
  fs::rename(keptAs_, keptPage_, error);  // replaces a conversion page left there
  keptAs_.clear();
  keptPage_.clear();
}

bool OfficeRoute::ConvertRTF2HTML(const std::string& rtfPath, const std::string& targetPath) {
  PutBackKeptPage();
  conversionPage_.clear();

  std::error_code error;
  if (!fs::exists(fs::symlink_status(targetPath, error))) {
    const bool converted = fncConvertRTF2HTML(services_, factory_, objWord_, rtfPath, targetPath);
    if (converted) conversionPage_ = targetPath;
    return converted;
  }

  // A file stands at the conversion target: it stays in place while the converter writes a
  // temporary file beside it.
  const std::string converted = TemporaryPathBeside(targetPath);
  const bool ran = fncConvertRTF2HTML(services_, factory_, objWord_, rtfPath, converted);
  if (!ran || !fs::exists(fs::symlink_status(converted, error))) {
    fs::remove(converted, error);
    return false;  // the body keeps its HTML; the earlier file was never touched
  }
  // Only while the run reads the converted page is the earlier file set aside, under a name that
  // the next run recognises should this one be killed meanwhile.
  std::string kept = KeptPagePattern(targetPath);
  const int reserved = ::mkstemp(kept.data());
  if (reserved < 0) {
    fs::remove(converted, error);
    return false;
  }
  ::close(reserved);
  fs::rename(targetPath, kept, error);
  if (error) {
    fs::remove(kept, error);
    fs::remove(converted, error);
    return false;
  }
  fs::rename(converted, targetPath, error);
  if (error) {
    fs::rename(kept, targetPath, error);
    fs::remove(converted, error);
    return false;
  }
  keptPage_ = targetPath;
  keptAs_ = kept;
  conversionPage_ = targetPath;
  return true;
}

std::string OfficeRoute::FilteredWordHTML(const std::string& html) {
  return fncFilteredWordHTML(services_, html);
}

std::string OfficeRoute::SaveAttachments(outlook::OutlookItem& item, const std::string& folder,
                                         std::int32_t count, std::vector<std::string>& unreadable) {
  const std::string page = folder + "/" + std::to_string(count) + ".htm";
  const bool ownPage = !conversionPage_.empty() && SamePath(conversionPage_, page);
  // A file set aside goes back first, in place of the converted page.
  const bool putBack = ownPage && !keptAs_.empty();
  conversionPage_.clear();
  PutBackKeptPage();
  return fncSaveAttachements(services_, images_, item, folder, count, unreadable,
                             ownPage && !putBack);
}

void OfficeRoute::ExportInlineImages(outlook::OutlookItem& item, std::string& body,
                                     const std::string& folder, std::int32_t count,
                                     std::vector<std::string>& unreadable) {
  if (FindContentIdReference(body) == std::string::npos) return;
  std::shared_ptr<outlook::AttachmentCollection> attachments = item.Attachments();
  if (!attachments) return;

  // Content id -> position in the collection.
  std::map<std::string, int> byContentId;
  const int total = attachments->Count();
  for (int index = 1; index <= total; ++index) {
    auto attachment = ValueOrNothing([&] { return attachments->Item(index); }).value_or(nullptr);
    if (!attachment) continue;
    const std::string id =
        NormalContentId(ValueOrNothing([&] { return attachment->ContentId(); }).value_or(""));
    if (!id.empty()) byContentId.emplace(id, index);
  }
  if (byContentId.empty()) return;

  const std::string n = std::to_string(count);
  const std::string filesFolder = folder + "/" + n + "_files";
  std::map<int, std::string> savedAs;  // position -> link target ("" when it could not be saved)
  int inline_ = 0;

  std::string out;
  std::size_t copied = 0;
  for (std::size_t at = FindContentIdReference(body); at != std::string::npos;
       at = FindContentIdReference(body, at + 4)) {
    if (at > 0 && (std::isalnum(static_cast<unsigned char>(body[at - 1])) || body[at - 1] == '_' ||
                   body[at - 1] == '-')) {
      continue;  // part of a longer word
    }
    std::size_t end = at + 4;
    while (end < body.size() && !EndsReference(body[end])) ++end;
    const std::string id =
        NormalContentId(PercentDecode(std::string_view(body).substr(at + 4, end - at - 4)));
    auto match = byContentId.find(id);
    if (id.empty() || match == byContentId.end()) continue;

    auto saved = savedAs.find(match->second);
    if (saved == savedAs.end()) {
      std::string link;
      SkipOnFailure([&] {
        auto attachment = attachments->Item(match->second);
        FileSystemObject& fs = services_.Fs();
        const std::string name = n + "_inline" + std::to_string(inline_ + 1) + "." +
                                 ImageExtension(attachment->DisplayName());
        if (!fs.FolderExists(filesFolder)) {
          services_.reporter.subLogStep("Creating the folder " + filesFolder);
          fs.CreateFolder(filesFolder);
        }
        const std::string target = filesFolder + "/" + name;
        services_.reporter.subLogStep("Saving attachment to " + target);
        if (!ReadPartOrNoteDamage(unreadable, [&] { SaveAttachmentAt(fs, *attachment, target); })) {
          return;  // the reference stays as it is
        }
        ++inline_;
        link = UrlEncodeFileName(n + "_files") + "/" + UrlEncodeFileName(name);
      });
      saved = savedAs.emplace(match->second, link).first;
    }
    if (saved->second.empty()) continue;
    out.append(body, copied, at - copied);
    out += saved->second;
    copied = end;
  }
  if (copied == 0) return;  // no reference rewritten
  out.append(body, copied, std::string::npos);
  body = std::move(out);
}

void OfficeRoute::QuitWord() {
  PutBackKeptPage();
  conversionPage_.clear();
  if (objWord_) {
    SkipOnFailure([&] { objWord_->Quit(); });
    objWord_.reset();
  }
}

}  // namespace lorva
