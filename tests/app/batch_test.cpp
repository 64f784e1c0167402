#include "app/batch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/archive_run.h"
#include "base/error.h"
#include "page/office_route.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/mailstore/msg_content.h"
#include "support_code/fake_outlook.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  return testing::TempFolder::Read(path.string());
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

mailstore::MsgContent Post(const std::string& subject, const std::string& category,
                           const std::string& type) {
  mailstore::MsgContent content;
  content.messageClass = "IPM.Post";
  content.subject = subject;
  content.htmlBody = "<html><body><p>" + subject + "</p></body></html>";
  if (!category.empty()) {
    content.userProperties.push_back({"Problem Category", outlook::Value::Text(category)});
  }
  if (!type.empty()) content.userProperties.push_back({"Problem Type", outlook::Value::Text(type)});
  return content;
}

void WriteItem(const fs::path& path, const mailstore::MsgContent& content) {
  const std::vector<std::uint8_t> bytes = mailstore::WriteMsg(content);
  Write(path, std::string(bytes.begin(), bytes.end()));
}

const std::string kPlainHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />"
    "</head><body><h1>Table of Contents</h1></p>";

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Write(store.path() / "Knowledge Base" / "folder.ini",
          "[Folder]\nWebViewURL=http://intranet/kb/OLorva.htm\n");
    WriteItem(store.path() / "Knowledge Base" / "0001.msg",
              Post("Printer jams", "Hardware", "FAQ"));
    WriteItem(store.path() / "Knowledge Base" / "0002.msg", Post("Café menu", "Kitchen", "FAQ"));
    WriteItem(store.path() / "Knowledge Base" / "0003.msg", Post("VPN setup", "Network", "How-to"));
    fs::create_directories(store.path() / "Inbox");
  }
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

TEST_F(BatchTest, FlatRunOverAStoreWritesTheArchiveAndASummary) {
  const int status = Run({StoreArg(), "--folder", "Knowledge Base", "--set",
                          "DestinationFolder=" + output.path().string(), "--set", "optGroup=1",
                          "--set", "iNamingScheme=1"});
  ASSERT_EQ(status, 0) << err.str();
  EXPECT_EQ(Read(output.path() / "index.htm"),
            kPlainHead + "<ul>" + "<li><a href='1002.htm'>Caf&#233; menu</a></li>" +
                "<li><a href='1001.htm'>Printer jams</a></li>" +
                "<li><a href='1003.htm'>VPN setup</a></li>" + "</ul><br></body></html>");
  EXPECT_TRUE(fs::exists(output.path() / "1003.htm"));
  EXPECT_TRUE(fs::exists(output.path() / "style.css"));
  EXPECT_NE(out.str().find("3 articles written, 0 skipped"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find('\n'), out.str().size() - 1) << "one line";
}

TEST_F(BatchTest, UnreadableItemIsNamedOnStandardErrorAndCounted) {
  Write(store.path() / "Knowledge Base" / "0002b.msg", "not a compound file");
  const int status = Run({StoreArg(), "--folder", "Knowledge Base", "--set",
                          "DestinationFolder=" + output.path().string(), "--set", "optGroup=1"});
  EXPECT_EQ(status, 0) << "every readable item was written";
  const std::string said = err.str();
  EXPECT_NE(said.find("lorva-archive: The item \"0002b.msg\" cannot be read: "), std::string::npos)
      << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
  EXPECT_NE(out.str().find("3 articles written, 0 skipped, 0 duplicates, 1 unreadable, "),
            std::string::npos)
      << out.str();
}

TEST_F(BatchTest, GroupedRunWithoutTheCollapsibleOutline) {
  const int status =
      Run({StoreArg(), "--folder=Knowledge Base",
           "--set=DestinationFolder=" + output.path().string(), "--set", "chkCollapse=0"});
  ASSERT_EQ(status, 0) << err.str();
  const std::string index = Read(output.path() / "index.htm");
  EXPECT_EQ(index.substr(0, kPlainHead.size() + 4), kPlainHead + "<ul>");
  EXPECT_NE(index.find("<li><p class=\"LiStyle\"><b>Network</b></p><ul>"
                       "<li><p class=\"LiStyle\"><b>How-to</b></p><ul>"
                       "<li><p class=\"LiStyle\"><a href='VPN%20setup.htm'>VPN setup</a></p></li>"
                       "</ul></li></ul></li><br>"),
            std::string::npos)
      << index;
}

TEST_F(BatchTest, FolderThatIsNotAKnowledgeBaseEndsWithStatusTwo) {
  const int status = Run(
      {StoreArg(), "--folder", "Inbox", "--set", "DestinationFolder=" + output.path().string()});
  EXPECT_EQ(status, 2);
  EXPECT_NE(
      err.str().find("Failed to get Knowledge Base Folder!\nWould you like to select it now?"),
      std::string::npos)
      << err.str();
  EXPECT_FALSE(fs::exists(output.path() / "index.htm"));
}

TEST_F(BatchTest, MissingDestinationIsAFailureWithItsMessage) {
  EXPECT_EQ(Run({StoreArg(), "--folder", "Knowledge Base"}), 1);
  EXPECT_NE(err.str().find("Please specify a valid folder path to place the files!"),
            std::string::npos);
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
      {{"--set", "optGroup=2"}, "optGroup must be 0 or 1, not \"2\""},
      {{"--set", "chkRun=yes"}, "unknown option name \"chkRun\""},
      {{"--set", "RunTOC=yes"}, "RunTOC must be 0, 1 or 2, not \"yes\""},
      {{"--set", "iNumbering=99999"}, "iNumbering must be a whole number"},
      {{"--set", "GenerateTOC"}, "--set needs NAME=VALUE"},
      {{"--store"}, "--store needs a value"},
      {{"--store", "/nonexistent/store"}, "cannot open the mail store at", kBatchNotFound},
      {{"--folder", "Nowhere"}, "no folder \"Nowhere\" in the mail store", kBatchNotFound},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (args[0] != "--store") args.insert(args.begin(), StoreArg());
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    EXPECT_EQ(Run(args), c.status);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
  }
  EXPECT_NE(BatchUsage().find("66 the mail store"), std::string::npos) << "--help lists it";
}

TEST(BatchFakeTest, EmptyKnowledgeBaseHasNothingToArchive) {
  auto app = std::make_shared<testing::FakeApplication>();
  auto kb = std::make_shared<testing::FakeFolder>("KB", testing::kKbHomePage);
  app->OpenExplorer(kb);
  testing::FakeLauncher launcher;
  launcher.app = app;
  std::ostringstream out, err;
  EXPECT_EQ(RunBatch(BatchOptions{}, launcher, out, err, false), 1);
  EXPECT_NE(err.str().find("You don't have any KB articles to convert into webpages!"),
            std::string::npos);
}

TEST(BatchFakeTest, ErrorReportPrintsTheDialogTextAndExitsWithOne) {
  auto app = std::make_shared<testing::FakeApplication>();
  auto kb = std::make_shared<testing::FakeFolder>("KB", testing::kKbHomePage);
  kb->items.push_back(testing::FakeItem::Post("One", "", ""));
  app->OpenExplorer(kb);
  testing::FakeLauncher launcher;
  launcher.app = app;
  testing::TempFolder output;
  kb->failItemsWith = 0;
  BatchOptions options;
  options.settings = {{"DestinationFolder", output.path().string()}, {"optGroup", "1"}};
  // The index cannot be written: a folder stands where index.htm goes.
  fs::create_directories(output.path() / "index.htm");
  std::ostringstream out, err;
  EXPECT_EQ(RunBatch(options, launcher, out, err, false), 1);
  EXPECT_NE(err.str().find("There has been an error in this application."), std::string::npos)
      << err.str();
  EXPECT_NE(err.str().find("Sub routine : fncWriteTOC"), std::string::npos) << err.str();
}

// What a run leaves beside its files when it is interrupted.
std::vector<std::string> LeftBehind(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".lorva-") || name.find(".kept-") != std::string::npos) {
      found.push_back(name);
    }
  }
  return found;
}

std::size_t LinksIn(const std::string& index) {
  std::size_t count = 0;
  for (std::size_t at = index.find("href="); at != std::string::npos;
       at = index.find("href=", at + 1)) {
    ++count;
  }
  return count;
}

const std::string kEarlierIndex = "<html><body>the earlier table of contents, whole</body></html>";

// A word processor that cannot be had: the route exports the attachments all the same.
class NoWordProcessor : public platform::WordFactory {
 public:
  std::shared_ptr<platform::WordApplication> Create() override {
    throw Error(errnum::kCannotCreateObject, "no word processor");
  }
};

// Each row: a link in the destination before a numbered, collapsible run with attachments. A
// link to a file outside is replaced by the new file; a linked folder is refused and gets nothing.
TEST_F(BatchTest, NothingIsWrittenThroughALinkInTheDestination) {
  mailstore::MsgContent item = Post("Printer jams", "Hardware", "FAQ");
  item.attachments.resize(1);
  item.attachments[0].displayName = "notes.txt";
  item.attachments[0].data = {'n', 'e', 'w'};
  WriteItem(store.path() / "Knowledge Base" / "0001.msg", item);
  BatchPlatform platform;
  platform.makeRoute = [](Services& services) -> std::unique_ptr<RichTextRoute> {
    return std::make_unique<OfficeRoute>(services, std::make_unique<NoWordProcessor>(),
                                         std::make_unique<platform::QtImageConverter>());
  };
  const struct {
    std::string link;
    bool folder;  // a link to a folder outside, else to a file outside
  } cases[] = {
      {"style.css", false},
      {"outline.js", false},
      {"index.htm", false},
      {"1001.htm", false},
      {"Images/bulletredsmall.gif", false},
      {"Images/1001.rtf", false},
      {"1001_files/1001_1.txt", false},
      {"Images", true},
      {"images", true},
      {"1001_files", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    testing::TempFolder destination, outside;
    const std::string victim = outside.Write("victim", "outside");
    fs::create_directory(outside / "folder");
    const fs::path link = destination.path() / c.link;
    fs::create_directories(link.parent_path());
    fs::create_symlink(c.folder ? outside / "folder" : victim, link);

    const int status = Run({StoreArg(), "--folder=Knowledge Base", "--set=iNamingScheme=1",
                            "--set=DestinationFolder=" + destination.str()},
                           platform);

    EXPECT_EQ(Read(victim), "outside");
    EXPECT_TRUE(fs::is_empty(outside / "folder"));
    if (c.folder) {
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

// The destination on a file system too small for the run: the run fails, says which file it
// was writing, and leaves the earlier index.htm whole and no temporary file behind.
TEST_F(BatchTest, FullDiskLeavesTheEarlierIndexWhole) {
  if (::mount("tmpfs", output.str().c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                 << "); mounting needs root";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{output.str()};
  Write(output.path() / "index.htm", kEarlierIndex);
  for (int i = 0; i < 20; ++i) {
    mailstore::MsgContent item = Post("Article " + std::to_string(i), "", "");
    item.htmlBody = std::string(8000, 'x');
    WriteItem(store.path() / "Knowledge Base" / ("1" + std::to_string(i) + ".msg"), item);
  }
  EXPECT_EQ(Run({StoreArg(), "--folder=Knowledge Base", "--set=optGroup=1",
                 "--set=DestinationFolder=" + output.str()}),
            kBatchFailed);
  EXPECT_EQ(Read(output.path() / "index.htm"), kEarlierIndex);
  EXPECT_EQ(LeftBehind(output.path()), std::vector<std::string>{});
  EXPECT_NE(err.str().find("This error has occured: :\nWriting file to " + output.str() + "/"),
            std::string::npos)
      << err.str();
}

// 2,000 articles, 20 in each of 10 categories x 10 types, in folder order by pair; built once.
class LargeKnowledgeBase : public BatchTest {
 protected:
  static void SetUpTestSuite() {
    large_ = new testing::TempFolder();
    Write(large_->path() / "Knowledge Base" / "folder.ini",
          "[Folder]\nWebViewURL=http://intranet/kb/OLorva.htm\n");
    for (int i = 0; i < 2000; ++i) {
      WriteItem(large_->path() / "Knowledge Base" / (Subject(i) + ".msg"),
                Post(Subject(i), "Category " + std::to_string(i / 200),
                     "Type " + std::to_string(i / 20 % 10)));
    }
  }
  static void TearDownTestSuite() { delete large_; }
  static std::string Subject(int i) {
    char subject[32];
    std::snprintf(subject, sizeof subject, "Article %04d", i);
    return subject;
  }
  std::vector<std::string> Arguments(const std::vector<std::string>& settings) const {
    std::vector<std::string> args = {"--store=" + large_->str(), "--folder=Knowledge Base",
                                     "--set=chkAttachments=0",
                                     "--set=DestinationFolder=" + output.str()};
    for (const std::string& setting : settings) args.push_back("--set=" + setting);
    return args;
  }
  static testing::TempFolder* large_;
};
testing::TempFolder* LargeKnowledgeBase::large_ = nullptr;

// Every item visited in every pass raises the counter: 100 passes over 2,000 items take it from
// 1000 to 201000, far past the first number's range.
TEST_F(LargeKnowledgeBase, GroupedNumberedRunOverAHundredPairsCompletes) {
  ASSERT_EQ(Run(Arguments({"iNamingScheme=1"})), 0) << err.str();
  EXPECT_NE(out.str().find("2000 articles written, 0 skipped"), std::string::npos) << out.str();
  EXPECT_EQ(LinksIn(Read(output.path() / "index.htm")), 2000u);
  // Article i matches pass i / 20 only: its number is 1000 + (i / 20) * 2000 + i + 1.
  for (const int i : {0, 19, 20, 1999}) {
    const std::string page = std::to_string(1000 + (i / 20) * 2000 + i + 1) + ".htm";
    EXPECT_NE(Read(output.path() / page).find("<h1>" + Subject(i) + "</h1>"), std::string::npos)
        << page;
  }
}

// Runs the program itself and kills it once it has written its first page.
TEST_F(LargeKnowledgeBase, KilledRunLeavesTheEarlierIndexWholeAndTheNextRunCleansUp) {
  std::string program = std::string(LORVA_BINARY_DIR) + "/lorva-archive";
  if (!fs::exists(program)) GTEST_SKIP() << "no program at " << program;
  Write(output.path() / "index.htm", kEarlierIndex);
  std::vector<std::string> args = Arguments({"optGroup=1"});
  args.insert(args.begin(), {program, "--generate"});
  std::string settings = "XDG_CONFIG_HOME=" + store.str();  // not the user's settings
  std::vector<char*> argv, envp = {settings.data(), nullptr};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  // Pages are written in subject order once every item is read.
  int status = 0;
  pid_t ended = 0;
  while (!fs::exists(output.path() / "Article 0000.htm") &&
         (ended = ::waitpid(pid, &status, WNOHANG)) == 0) {
    ::usleep(100);
  }
  if (ended != pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  if (!WIFSIGNALED(status)) GTEST_SKIP() << "the run ended before it could be killed";

  EXPECT_EQ(Read(output.path() / "index.htm"), kEarlierIndex);
  EXPECT_FALSE(LeftBehind(output.path()).empty()) << "killed while index.htm was written";
  ASSERT_EQ(Run(Arguments({"optGroup=1"})), 0) << err.str();
  EXPECT_EQ(LeftBehind(output.path()), std::vector<std::string>{});
  EXPECT_EQ(LinksIn(Read(output.path() / "index.htm")), 2000u);
}

}  // namespace
}  // namespace lorva
