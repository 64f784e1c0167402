// The batch mode against hostile destinations and large knowledge bases: links in the
// destination, a full disk, a run killed half-way, and a grouped run whose page numbers pass the
// first number's range many times over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch.h"
#include "archive/archive_run.h"
#include "page/office_route.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/mailstore/msg_content.h"
#include "support/error.h"
#include "support_code/temp_folder.h"

extern char** environ;

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

mailstore::MsgContent Post(const std::string& subject, const std::string& category,
                           const std::string& type, const std::string& body) {
  mailstore::MsgContent content;
  content.messageClass = "IPM.Post";
  content.subject = subject;
  content.htmlBody = "<html><body><p>" + body + "</p></body></html>";
  content.userProperties = {{"Problem Category", outlook::Value::Text(category)},
                            {"Problem Type", outlook::Value::Text(type)}};
  return content;
}

// A mail store whose folder "Knowledge Base" holds `items` in this order.
void WriteStore(const fs::path& root, const std::vector<mailstore::MsgContent>& items) {
  const fs::path folder = root / "Knowledge Base";
  fs::create_directories(folder);
  std::ofstream(folder / "folder.ini") << "[Folder]\nWebViewURL=http://intranet/kb/OLorva.htm\n";
  char name[32];
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::vector<std::uint8_t> bytes = mailstore::WriteMsg(items[i]);
    std::snprintf(name, sizeof name, "%05zu.msg", i);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
}

std::vector<std::string> Settings(const fs::path& destination,
                                  const std::vector<std::string>& more) {
  std::vector<std::string> args = {"--set", "DestinationFolder=" + destination.string()};
  for (const std::string& setting : more) {
    args.push_back("--set");
    args.push_back(setting);
  }
  return args;
}

std::vector<std::string> TemporaryFilesIn(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".lorva-") || name.find(".kept-") != std::string::npos) {
      found.push_back(name);
    }
  }
  return found;
}

// A message as the batch mode prints it: lines end in a line feed alone.
std::string AsPrinted(std::string text) {
  std::erase(text, '\r');
  return text;
}

std::size_t EntriesIn(const std::string& index) {
  std::size_t count = 0;
  for (std::size_t at = index.find("<a href='"); at != std::string::npos;
       at = index.find("<a href='", at + 1)) {
    ++count;
  }
  return count;
}

// The large knowledge base: 2,000 articles, 20 in each of 10 categories x 10 types, in folder
// order by pair. Built once for the tests that need it.
class LargeKnowledgeBase : public ::testing::Test {
 protected:
  static constexpr int kArticles = 2000;
  static void SetUpTestSuite() {
    store_ = new TempFolder();
    std::vector<mailstore::MsgContent> items;
    char subject[32];
    for (int i = 0; i < kArticles; ++i) {
      std::snprintf(subject, sizeof subject, "Article %04d", i);
      items.push_back(Post(subject, "Category " + std::to_string(i / 200),
                           "Type " + std::to_string(i / 20 % 10), subject));
    }
    WriteStore(store_->path(), items);
  }
  static void TearDownTestSuite() {
    delete store_;
    store_ = nullptr;
  }

  int Run(const fs::path& destination, const std::vector<std::string>& more) {
    std::vector<std::string> args = {"--generate", "--store=" + store_->str(),
                                     "--folder=Knowledge Base"};
    for (const std::string& arg : Settings(destination, more)) args.push_back(arg);
    out.str("");
    err.str("");
    return BatchCommand(args, out, err);
  }

  static TempFolder* store_;
  TempFolder output;
  std::ostringstream out, err;
};
TempFolder* LargeKnowledgeBase::store_ = nullptr;

// Every article of every pair visited in every pass raises the counter: 100 passes over 2,000
// items take it from 1000 to 201000, far past the first number's range.
TEST_F(LargeKnowledgeBase, GroupedNumberedRunOverAHundredPairsCompletes) {
  ASSERT_EQ(Run(output.path(), {"iNamingScheme=1", "chkAttachments=0", "RunTOC=0"}), 0)
      << err.str();
  EXPECT_NE(out.str().find("2000 articles written, 0 skipped, 0 duplicates"), std::string::npos)
      << out.str();
  EXPECT_EQ(EntriesIn(TempFolder::Read(output / "index.htm")), 2000u);
  // Article i matches pass i / 20 only: its number is 1000 + (i / 20) * 2000 + i + 1.
  for (const int i : {0, 19, 20, 1000, 1999}) {
    const std::string page = std::to_string(1000 + (i / 20) * 2000 + i + 1) + ".htm";
    char subject[32];
    std::snprintf(subject, sizeof subject, "Article %04d", i);
    EXPECT_NE(TempFolder::Read(output / page).find(std::string("<h1>") + subject + "</h1>"),
              std::string::npos)
        << page;
  }
  EXPECT_TRUE(TemporaryFilesIn(output.path()).empty());
}

// Runs the program itself and kills it once it has written its first pages.
TEST_F(LargeKnowledgeBase, KilledRunLeavesTheEarlierIndexWholeAndTheNextRunCleansUp) {
  const fs::path program = fs::path(LORVA_BINARY_DIR) / "lorva-archive";
  if (!fs::exists(program)) GTEST_SKIP() << "no program at " << program;
  const std::string earlier = "<html><body>the earlier table of contents, whole</body></html>";
  std::ofstream(output / "index.htm") << earlier;
  TempFolder settings;

  std::vector<std::string> args = {program.string(), "--generate", "--store=" + store_->str(),
                                   "--folder=Knowledge Base"};
  for (const std::string& arg : Settings(output.path(), {"optGroup=1", "chkAttachments=0"})) {
    args.push_back(arg);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + settings.str(),
                                          "QT_QPA_PLATFORM=offscreen", "PATH=/usr/bin:/bin"};
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);

  // Pages are written in subject order once every item is read: the first one shows the run
  // is writing pages.
  const fs::path firstPage = output.path() / "Article 0000.htm";
  int status = 0;
  bool ended = false;
  while (!fs::exists(firstPage)) {
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;
      break;
    }
    ::usleep(100);
  }
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  if (!WIFSIGNALED(status)) GTEST_SKIP() << "the run ended before it could be killed";

  EXPECT_EQ(TempFolder::Read(output / "index.htm"), earlier);
  EXPECT_FALSE(TemporaryFilesIn(output.path()).empty()) << "killed while writing index.htm";

  ASSERT_EQ(Run(output.path(), {"optGroup=1", "chkAttachments=0", "RunTOC=0"}), 0) << err.str();
  EXPECT_EQ(TemporaryFilesIn(output.path()), std::vector<std::string>{});
  EXPECT_EQ(EntriesIn(TempFolder::Read(output / "index.htm")), 2000u);
}

class BatchDestinationTest : public ::testing::Test {
 protected:
  int Run(const fs::path& destination, const std::vector<std::string>& more,
          const BatchPlatform& platform = {}) {
    std::vector<std::string> args = {"--generate", "--store=" + store.str(),
                                     "--folder=Knowledge Base"};
    for (const std::string& arg : Settings(destination, more)) args.push_back(arg);
    out.str("");
    err.str("");
    return BatchCommand(args, out, err, platform);
  }

  TempFolder store;
  std::ostringstream out, err;
};

// A word processor that cannot be had: the route exports the attachments all the same.
class NoWordProcessor : public platform::WordFactory {
 public:
  std::shared_ptr<platform::WordApplication> Create() override {
    throw Error(errnum::kCannotCreateObject, "no word processor");
  }
};

// Each row: a link standing in the destination before a numbered, collapsible run with
// attachments. A link to a file is replaced by the new file; a linked folder is refused and
// gets nothing.
TEST_F(BatchDestinationTest, NothingIsWrittenThroughALinkInTheDestination) {
  mailstore::MsgContent item = Post("One", "Hardware", "FAQ", "first");
  mailstore::MsgAttachment notes;
  notes.displayName = "notes.txt";
  notes.data = {'n', 'e', 'w'};
  item.attachments = {notes};
  WriteStore(store.path(), {item});
  BatchPlatform platform;
  platform.makeRoute = [](Services& services) -> std::unique_ptr<RichTextRoute> {
    return std::make_unique<OfficeRoute>(services, std::make_unique<NoWordProcessor>(),
                                         std::make_unique<platform::QtImageConverter>());
  };

  struct Case {
    std::string link;
    bool folder;  // a link to a folder outside, else to a file outside
  };
  const Case cases[] = {
      {"style.css", false},
      {"outline.js", false},
      {"index.htm", false},
      {"1001.htm", false},
      {"Images/bulletredsmall.gif", false},
      {"images/bulletredsmall.gif", false},
      {"Images/1001.rtf", false},
      {"1001_files/1001_1.txt", false},
      {"Images", true},
      {"images", true},
      {"1001_files", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    TempFolder destination, outside;
    const std::string victim = outside.Write("victim", "outside");
    fs::create_directory(outside / "folder");
    const fs::path link = destination.path() / c.link;
    fs::create_directories(link.parent_path());
    fs::create_symlink(c.folder ? outside / "folder" : victim, link);

    const int status =
        Run(destination.path(), {"iNamingScheme=1", "RunTOC=0", "chkCollapse=1"}, platform);

    EXPECT_EQ(TempFolder::Read(victim), "outside");
    EXPECT_TRUE(fs::is_empty(outside / "folder"));
    if (c.folder) {
      EXPECT_EQ(status, kBatchFailed);
      EXPECT_NE(err.str().find(AsPrinted(LinkedFolderMessage(link.string(), outside / "folder"))),
                std::string::npos)
          << err.str();
      EXPECT_FALSE(fs::exists(destination / "index.htm"));
    } else {
      EXPECT_EQ(status, 0) << err.str();
      EXPECT_FALSE(fs::is_symlink(link));
      EXPECT_TRUE(fs::exists(destination / "1001_files/1001_1.txt"));
      EXPECT_EQ(TempFolder::Read(destination / "1001_files/1001_1.txt"), "new");
    }
  }
}

// The destination on a file system too small for the run: the run fails, says which file it
// was writing, and leaves the earlier index.htm whole and no temporary file behind.
TEST_F(BatchDestinationTest, FullDiskLeavesTheEarlierIndexWhole) {
  TempFolder mountPoint;
  if (::mount("tmpfs", mountPoint.str().c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                 << "); mounting needs root";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mountPoint.str()};

  const std::string earlier = "<html><body>the earlier table of contents, whole</body></html>";
  std::ofstream(mountPoint / "index.htm") << earlier;
  std::vector<mailstore::MsgContent> items;
  for (int i = 0; i < 20; ++i) {
    items.push_back(
        Post("Article " + std::to_string(i), "Hardware", "FAQ", std::string(8000, 'x')));
  }
  WriteStore(store.path(), items);

  EXPECT_EQ(Run(mountPoint.path(), {"optGroup=1", "chkAttachments=0", "RunTOC=0"}), kBatchFailed);
  EXPECT_EQ(TempFolder::Read(mountPoint / "index.htm"), earlier);
  EXPECT_EQ(TemporaryFilesIn(mountPoint.path()), std::vector<std::string>{});
  EXPECT_NE(err.str().find("This error has occured: :\nWriting file to " + mountPoint.str() +
                           "/Article "),
            std::string::npos)
      << err.str();
  EXPECT_NE(err.str().find("Sub routine : subWriteHTML"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace lorva
