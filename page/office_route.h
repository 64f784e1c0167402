// The rich-text route and attachment export of a run, for real: the word processor (objWord)
// created on the first conversion and kept until the run quits it, the attachment export with
// JPEG re-encoding, and the export of the body's inline images.
//
// An earlier file at a conversion target (another article's page, or this article's page from an
// earlier run) stays in place while the converter writes a temporary file beside it. Only while
// the run reads the converted page is the earlier file set aside under a hidden name
// (KeptPagePattern) and the converted page put in its place; the earlier file goes back before
// the attachments are exported, or at the latest when the route quits the word processor or
// goes, and a run killed meanwhile is mended by the next (RecoverInterruptedRun). Not
// thread-safe; one run at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "page/rich_text_route.h"
#include "platform/imaging/image_converter.h"
#include "platform/word/word.h"

namespace lorva {

class OfficeRoute : public RichTextRoute {
 public:
  // The three objects must outlive the route.
  OfficeRoute(Services& services, platform::WordFactory& factory, platform::ImageConverter& images);
  // The same, owning the factory and the converter (for wiring the program's parts).
  OfficeRoute(Services& services, std::unique_ptr<platform::WordFactory> factory,
              std::unique_ptr<platform::ImageConverter> images);
  // Quits a word processor still held and puts back a page still set aside.
  ~OfficeRoute() override;
  OfficeRoute(const OfficeRoute&) = delete;
  OfficeRoute& operator=(const OfficeRoute&) = delete;

  bool ConvertRTF2HTML(const std::string& rtfPath, const std::string& targetPath) override;
  std::string FilteredWordHTML(const std::string& html) override;
  std::string SaveAttachments(outlook::OutlookItem& item, const std::string& folder,
                              std::int32_t count, std::vector<std::string>& unreadable) override;
  // Each attachment that a "cid:" reference of `body` names by its content id (letter case
  // ignored, with or without "<>") is saved once as folder/N_files/N_inline<j>.<ext> and every
  // reference to it rewritten to "N_files/N_inline<j>.<ext>". A reference that names no
  // attachment, or whose attachment cannot be saved, stays as it is.
  void ExportInlineImages(outlook::OutlookItem& item, std::string& body, const std::string& folder,
                          std::int32_t count, std::vector<std::string>& unreadable) override;
  void QuitWord() override;

  // The word processor held for the run; nothing before the first conversion and after QuitWord.
  const std::shared_ptr<platform::WordApplication>& objWord() const { return objWord_; }

 private:
  void PutBackKeptPage();

  std::unique_ptr<platform::WordFactory> ownedFactory_;
  std::unique_ptr<platform::ImageConverter> ownedImages_;
  Services& services_;
  platform::WordFactory& factory_;
  platform::ImageConverter& images_;
  std::shared_ptr<platform::WordApplication> objWord_;
  std::string conversionPage_;  // the target of the last conversion that ran, until exported
  std::string keptPage_;        // where the file set aside belongs
  std::string keptAs_;          // where it waits meanwhile
};

}  // namespace lorva
