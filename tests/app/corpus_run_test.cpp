// The batch mode over a store of real Outlook-written items (tests/data/real), with "Include
// Attachments" ticked (LibreOffice converts the genuine rich text) and unticked: no page carries
// U+FFFD or an empty title, and every inline image of a written page is saved beside it and
// linked from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "app/batch.h"
#include "base/steps.h"
#include "base/text_rules.h"
#include "page/office_route.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/mailstore/store.h"
#include "platform/word/libreoffice_word.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

TEST(CorpusRunTest, PagesShowEveryInlineImageAndNoReplacementCharacter) {
  const fs::path corpus = fs::path(LORVA_SOURCE_DIR) / "tests" / "data" / "real";
  if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  TempFolder store, scratch;
  fs::create_directories(store.path() / "KB");
  std::ofstream(store.path() / "KB" / "folder.ini") << "[Folder]\nWebViewURL=x/OLorva.htm\n";
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() == ".msg") {
      fs::copy_file(entry.path(), store.path() / "KB" / entry.path().filename());
    }
  }
  const BatchPlatform office{nullptr, [](Services& services) -> std::unique_ptr<RichTextRoute> {
                               return std::make_unique<OfficeRoute>(
                                   services, std::make_unique<platform::LibreOfficeWordFactory>(),
                                   std::make_unique<platform::QtImageConverter>());
                             }};
  auto items = mailstore::MailStore::Open(store.path())->GetFolder("KB")->Items();
  for (const char* attachments : {"1", "0"}) {
    SCOPED_TRACE(std::string("chkAttachments=") + attachments);
    TempFolder output;
    std::ostringstream out, err;
    ASSERT_EQ(BatchCommand({"--generate", "--store", store.str(), "--folder", "KB", "--set",
                            "optGroup=1", "--set", "iNamingScheme=1", "--set",
                            std::string("chkAttachments=") + attachments, "--set",
                            "DestinationFolder=" + output.str()},
                           out, err, office),
              0)
        << err.str();
    for (const auto& entry : fs::directory_iterator(output.path())) {
      if (entry.path().extension() != ".htm") continue;
      const std::string page = AsciiLower(TempFolder::Read(entry.path().string()));
      for (const char* bad : {"\xEF\xBF\xBD", "&#65533;", "&#xfffd;", "<title></title>"}) {
        EXPECT_EQ(page.find(bad), std::string::npos) << entry.path().filename() << ": " << bad;
      }
    }

    // The n-th readable item has the page 1000 + n, when its subject was not taken already. Each
    // attachment that its HTML body references by content id is a file the page links.
    const std::string index = TempFolder::Read(output / "index.htm");
    int readable = 0, images = 0;
    for (int i = 1; i <= items->Count(); ++i) {
      std::shared_ptr<outlook::OutlookItem> item;
      if (!SkipOnFailure([&] { item = items->Item(i); })) continue;
      const std::string n = std::to_string(1000 + ++readable);
      if (index.find("href='" + n + ".htm'") == std::string::npos) continue;
      SCOPED_TRACE(n + ".htm: " + item->Subject());
      const std::string page = TempFolder::Read(output / (n + ".htm"));
      std::set<std::string> linked;  // the bytes of the inline images the page links
      const std::string prefix = n + "_files/" + n + "_inline";
      for (auto at = page.find(prefix); at != std::string::npos; at = page.find(prefix, at + 1)) {
        linked.insert(
            TempFolder::Read(output / page.substr(at, page.find_first_of("\"' >", at) - at)));
      }
      const std::string body = AsciiLower(item->HTMLBody());
      auto parts = item->Attachments();
      for (int a = 1; a <= parts->Count(); ++a) {
        std::string id = AsciiLower(parts->Item(a)->ContentId());
        if (id.size() > 2 && id.front() == '<') id = id.substr(1, id.size() - 2);
        if (id.empty() || body.find("cid:" + id) == std::string::npos) continue;
        ++images;
        parts->Item(a)->SaveAsFile(scratch / "image");
        EXPECT_TRUE(linked.count(TempFolder::Read(scratch / "image"))) << "cid:" << id;
      }
    }
    EXPECT_GT(images, 0);
  }
}

}  // namespace
}  // namespace lorva
