// What a run needs of the rich-text route and the attachment export, behind one interface so
// the runs can be tested without a word processor: convert the item's rich-text copy into an
// HTML page, export the item's attachments, and end the word processor at the end of the run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/outlook/object_model.h"
#include "support/file_handling.h"

namespace lorva {

class RichTextRoute {
 public:
  virtual ~RichTextRoute() = default;
  // fncConvertRTF2HTML: true when the conversion steps ran; the rich-text file is deleted in
  // every case.
  virtual bool ConvertRTF2HTML(const std::string& rtfPath, const std::string& targetPath) = 0;
  // fncFilteredWordHTML: the converted page's text, as read from the conversion target, made
  // into the page body. The default leaves it unchanged (a route without a word processor never
  // reports a conversion).
  virtual std::string FilteredWordHTML(const std::string& html) { return html; }
  // fncSaveAttachements: the attachment list markup, "" when none was exported. Why each
  // attachment that the item holds damaged was left out is appended to `unreadable`.
  virtual std::string SaveAttachments(outlook::OutlookItem& item, const std::string& folder,
                                      std::int32_t count, std::vector<std::string>& unreadable) = 0;
  // Exports the inline images of the HTML `body` ("cid:" references to the item's own
  // attachments) beside the pages and rewrites the references in `body`; `body` stays as it is
  // when there are none, and when the export fails. Why each image that the item holds damaged
  // was left out is appended to `unreadable`.
  virtual void ExportInlineImages(outlook::OutlookItem& item, std::string& body,
                                  const std::string& folder, std::int32_t count,
                                  std::vector<std::string>& unreadable) = 0;
  // Quits the word processor held for the run (objWord), if any.
  virtual void QuitWord() = 0;
};

// The route when no word processor and no attachment export are available: the conversion
// deletes the rich-text file and reports false, no attachment is exported, bodies stay as they
// are.
class UnavailableRichTextRoute : public RichTextRoute {
 public:
  explicit UnavailableRichTextRoute(Services& services) : services_(services) {}
  bool ConvertRTF2HTML(const std::string& rtfPath, const std::string&) override {
    if (services_.fs && services_.fs->FileExists(rtfPath)) services_.fs->DeleteFile(rtfPath, false);
    return false;
  }
  std::string SaveAttachments(outlook::OutlookItem&, const std::string&, std::int32_t,
                              std::vector<std::string>&) override {
    return "";
  }
  void ExportInlineImages(outlook::OutlookItem&, std::string&, const std::string&, std::int32_t,
                          std::vector<std::string>&) override {}
  void QuitWord() override {}

 private:
  Services& services_;
};

}  // namespace lorva
