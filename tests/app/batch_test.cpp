#include "app/batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "archive/archive_run.h"
#include "base/error.h"
#include "page/office_route.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/mailstore/msg_content.h"
#include "support_code/fake_word.h"
#include "support_code/index_heads.h"
#include "support_code/msg_files.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

using testing::kPlainHead;
using testing::PostContent;
using testing::WriteMsgFile;

std::string Read(const fs::path& path) {
  return testing::TempFolder::Read(path.string());
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::MakeKnowledgeBaseFolder(Kb());
    WriteMsgFile(Kb() / "0001.msg", PostContent("Printer jams", "Hardware", "FAQ"));
    WriteMsgFile(Kb() / "0002.msg", PostContent("Café menu", "Kitchen", "FAQ"));
    WriteMsgFile(Kb() / "0003.msg", PostContent("VPN setup", "Network", "How-to"));
    fs::create_directories(store.path() / "Inbox");
  }
  fs::path Kb() const { return store.path() / "Knowledge Base"; }
  int Run(std::vector<std::string> args, const BatchPlatform& platform = {}) {
    out.str("");
    err.str("");
    args.insert(args.begin(), "--generate");
    return BatchCommand(args, out, err, platform);
  }
  std::string StoreArg() const { return "--store=" + store.path().string(); }

  testing::TempFolder store;
  testing::TempFolder output;
  std::ostringstream out;
  std::ostringstream err;
};

// An unreadable item is named on standard error and counted; the others are written.
TEST_F(BatchTest, FlatRunOverAStoreWritesTheArchiveAndASummary) {
  store.Write("Knowledge Base/0002b.msg", "not a compound file");
  const int status = Run({StoreArg(), "--folder", "Knowledge Base", "--set",
                          "DestinationFolder=" + output.path().string(), "--set", "optGroup=1",
                          "--set", "iNamingScheme=1"});
  ASSERT_EQ(status, 0) << err.str();
  EXPECT_EQ(Read(output.path() / "index.htm"),
            kPlainHead + "<ul>" + "<li><a href='1002.htm'>Caf&#233; menu</a></li>" +
                "<li><a href='1001.htm'>Printer jams</a></li>" +
                "<li><a href='1003.htm'>VPN setup</a></li>" + "</ul><br></body></html>");
  EXPECT_TRUE(fs::exists(output.path() / "1003.htm"));
  EXPECT_NE(out.str().find("3 articles written, 0 skipped, 0 duplicates, 1 unreadable, "),
            std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().find('\n'), out.str().size() - 1) << "one line";
  EXPECT_TRUE(err.str().starts_with("lorva-archive: The item \"0002b.msg\" cannot be read: "))
      << err.str();
  EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << "one line: " << err.str();
}

TEST_F(BatchTest, UsageErrorsAndMissingStoresOrFoldersSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    std::string says;
    int status = kBatchUsageError;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "unknown argument \"--frobnicate\""},
      {{"--set", "Colour=red"}, "unknown option name \"Colour\""},
      {{"--set", "RunTOC=yes"}, "RunTOC must be 0, 1 or 2, not \"yes\""},
      {{"--set", "iNumbering=99999"}, "iNumbering must be a whole number"},
      {{"--store", "/nonexistent/store"}, "cannot open the mail store at", kBatchNotFound},
      {{"--folder", "Nowhere"}, "no folder \"Nowhere\" in the mail store", kBatchNotFound},
      {{"--folder", "Inbox", "--set", "DestinationFolder=/tmp"},
       "Failed to get Knowledge Base Folder!\nWould you like to select it now?",
       kBatchNotKnowledgeBase},
      {{"--folder", "Knowledge Base"},
       "Please specify a valid folder path to place the files!",
       kBatchFailed},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (args[0] != "--store") args.insert(args.begin(), StoreArg());
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(Run(args), c.status);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
  }
}

// Each row: a link in the destination before a numbered, collapsible run with attachments. A
// link to a file outside is replaced by the new file; a linked folder is refused and gets nothing.
TEST_F(BatchTest, NothingIsWrittenThroughALinkInTheDestination) {
  mailstore::MsgContent item = PostContent("Printer jams", "Hardware", "FAQ");
  item.attachments.resize(1);
  item.attachments[0].displayName = "notes.txt";
  item.attachments[0].data = {'n', 'e', 'w'};
  WriteMsgFile(Kb() / "0001.msg", item);
  testing::WordCalls noWord;
  noWord.failCreateWith = errnum::kCannotCreateObject;
  BatchPlatform platform;  // the route exports the attachments without a word processor
  platform.makeRoute = [&](Services& services) -> std::unique_ptr<RichTextRoute> {
    return std::make_unique<OfficeRoute>(services,
                                         std::make_unique<testing::FakeWordFactory>(noWord),
                                         std::make_unique<platform::QtImageConverter>());
  };
  for (const std::string name : {"style.css", "index.htm", "1001.htm", "Images/1001.rtf",
                                 "1001_files/1001_1.txt", "Images", "images", "1001_files"}) {
    SCOPED_TRACE(name);
    const bool folder = name.find('.') == std::string::npos;  // else a link to a file outside
    testing::TempFolder destination, outside;
    const std::string victim = outside.Write("victim", "outside");
    fs::create_directory(outside / "folder");
    const fs::path link = destination.path() / name;
    fs::create_directories(link.parent_path());
    fs::create_symlink(folder ? outside / "folder" : victim, link);

    const int status = Run({StoreArg(), "--folder=Knowledge Base", "--set=iNamingScheme=1",
                            "--set=DestinationFolder=" + destination.str()},
                           platform);

    EXPECT_EQ(Read(victim), "outside");
    EXPECT_TRUE(fs::is_empty(outside / "folder"));
    if (folder) {
      EXPECT_EQ(status, kBatchFailed);
      std::string message = LinkedFolderMessage(link.string(), outside / "folder");
      std::erase(message, '\r');  // as printed
      EXPECT_NE(err.str().find(message), std::string::npos) << err.str();
      EXPECT_FALSE(fs::exists(destination / "index.htm"));
    } else {
      EXPECT_EQ(status, 0) << err.str();
      EXPECT_FALSE(fs::is_symlink(link));
      EXPECT_EQ(Read(destination / "1001_files/1001_1.txt"), "new");
    }
  }
}

}  // namespace
}  // namespace lorva
