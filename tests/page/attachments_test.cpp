// The attachment export of one article: names, numbering, the bitmap re-encoding, the list
// markup, the progress steps, and the mended cases (unsafe extensions, scripts, escaping,
// an earlier page at the conversion page's name, hidden inline images).
#include "page/attachments.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QImage>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "base/text_rules.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "support/file_system.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

// A bitmap file of the given size.
std::string BitmapBytes(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(qRgb(10, 120, 240));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes.toStdString();
}

struct Saved {
  std::string path;
  std::string step;  // the progress step current when the attachment was saved
};

class FakeAttachment : public outlook::Attachment {
 public:
  FakeAttachment(std::string name, std::string bytes, std::vector<Saved>& log,
                 ErrorReporter& reporter)
      : name_(std::move(name)), bytes_(std::move(bytes)), log_(log), reporter_(reporter) {}
  std::string DisplayName() override { return name_; }
  void SaveAsFile(const std::string& path) override {
    log_.push_back({path, reporter_.fncGetCurrentStep()});
    if (fail) throw Error(errnum::kPathFileAccessError, "Cannot save the attachment");
    if (damaged) throw Error(errnum::kBadFileFormat, "The attachment of " + name_ + " is damaged");
    std::ofstream(path, std::ios::binary) << bytes_;
  }
  std::string ContentId() override { return contentId; }
  bool Hidden() override { return hidden; }

  bool fail = false;     // the destination refuses the file
  bool damaged = false;  // the item's file holds the attachment damaged
  bool hidden = false;
  std::string contentId;

 private:
  std::string name_, bytes_;
  std::vector<Saved>& log_;
  ErrorReporter& reporter_;
};

class FakeAttachments : public outlook::AttachmentCollection {
 public:
  int Count() override { return static_cast<int>(items.size()); }
  std::shared_ptr<outlook::Attachment> Item(int index) override { return items.at(index - 1); }
  std::vector<std::shared_ptr<FakeAttachment>> items;
};

class FakeItem : public outlook::OutlookItem {
 public:
  outlook::ItemClass Class() override { return outlook::ItemClass::kPost; }
  std::string MessageClass() override { return "IPM.Post"; }
  std::string Subject() override { return "Article"; }
  std::string HTMLBody() override { return "<html></html>"; }
  void SaveAs(const std::string&, int) override {}
  std::shared_ptr<outlook::UserPropertyCollection> UserProperties() override { return nullptr; }
  std::shared_ptr<outlook::AttachmentCollection> Attachments() override { return attachments; }
  std::shared_ptr<FakeAttachments> attachments = std::make_shared<FakeAttachments>();
};

// The file service, recording the progress step current at each folder creation.
class RecordingFileSystem : public FileSystemObject {
 public:
  explicit RecordingFileSystem(ErrorReporter& reporter) : reporter_(reporter) {}
  void CreateFolder(const std::string& path) override {
    creationSteps.push_back(reporter_.fncGetCurrentStep());
    FileSystemObject::CreateFolder(path);
  }
  std::vector<std::string> creationSteps;

 private:
  ErrorReporter& reporter_;
};

class AttachmentExport : public ::testing::Test {
 protected:
  AttachmentExport() {
    fs_ = std::make_shared<RecordingFileSystem>(test_.reporter);
    test_.services.fs = fs_;
  }

  std::shared_ptr<FakeAttachment> Add(const std::string& name, const std::string& bytes = "data") {
    auto attachment = std::make_shared<FakeAttachment>(name, bytes, saved_, test_.reporter);
    item_.attachments->items.push_back(attachment);
    return attachment;
  }

  std::string Export(bool removeConversionPage = true) {
    return fncSaveAttachements(test_.services, images_, item_, dir_.str(), 1001, unreadable_,
                               removeConversionPage);
  }

  std::vector<std::string> unreadable_;
  std::string FilesFolder() const { return dir_ / "1001_files"; }
  std::set<std::string> FilesInFolder() const {
    std::set<std::string> names;
    if (!fs::exists(FilesFolder())) return names;
    for (const auto& entry : fs::directory_iterator(FilesFolder())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
  std::set<std::string> EntriesOfDestination() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  testing::TestServices test_;
  std::shared_ptr<RecordingFileSystem> fs_;
  testing::TempFolder dir_;
  platform::QtImageConverter images_;
  FakeItem item_;
  std::vector<Saved> saved_;
};

TEST_F(AttachmentExport, ExportsTheArticlesFilesAndListsThem) {
  Add("Screen.bmp", BitmapBytes(20, 10));
  Add("Page.shtml");  // five-letter extension: skipped, k not advanced
  Add("draft.");      // ends in ".": empty extension, skipped
  Add("Photo.BMP", BitmapBytes(7, 5));
  Add("README");  // no ".": the whole name is the extension, six letters, skipped
  Add("TODO", "todo list");
  Add("Report.docx", "word document");

  const std::string list = Export();

  EXPECT_EQ(list,
            "<p><b>Attachments:</b><ul>"
            "<li><a href='1001_files/1001_1.jpg'>Screen.bmp</a></li>"
            "<li><a href='1001_files/1001_2.jpg'>Photo.BMP</a></li>"
            "<li><a href='1001_files/1001_3.todo'>TODO</a></li>"
            "<li><a href='1001_files/1001_4.docx'>Report.docx</a></li>"
            "</ul></p>");
  EXPECT_EQ(FilesInFolder(),
            (std::set<std::string>{"1001_1.jpg", "1001_2.jpg", "1001_3.todo", "1001_4.docx"}))
      << "the saved bitmaps are gone, their JPEG forms stay";
  EXPECT_EQ(testing::TempFolder::Read(dir_ / "1001_files/1001_3.todo"), "todo list");
  EXPECT_EQ(testing::TempFolder::Read(dir_ / "1001_files/1001_4.docx"), "word document");

  for (const auto& [name, width, height] :
       {std::tuple{"1001_1.jpg", 20, 10}, std::tuple{"1001_2.jpg", 7, 5}}) {
    SCOPED_TRACE(name);
    const QImage jpeg(QString::fromStdString(dir_ / ("1001_files/" + std::string(name))), "JPEG");
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_EQ(jpeg.width(), width);
    EXPECT_EQ(jpeg.height(), height);
  }

  // Each file is saved beside its place under a temporary name, its step (naming the bitmap's
  // name for a bitmap) recorded before.
  const std::string folder = FilesFolder();
  ASSERT_EQ(saved_.size(), 4u);
  const std::string expectedPaths[] = {folder + "/1001_1.bmp", folder + "/1001_2.bmp",
                                       folder + "/1001_3.todo", folder + "/1001_4.docx"};
  for (std::size_t i = 0; i < saved_.size(); ++i) {
    EXPECT_EQ(fs::path(saved_[i].path).parent_path(), folder);
    EXPECT_TRUE(TemporaryFileOwner(fs::path(saved_[i].path).filename().string())) << saved_[i].path;
    EXPECT_EQ(saved_[i].step, "Saving attachment to " + expectedPaths[i]);
  }
  EXPECT_EQ(fs_->creationSteps, std::vector<std::string>{"Creating the folder " + folder});
}

TEST_F(AttachmentExport, NothingExportedGivesEmptyTextAndNoFolder) {
  EXPECT_EQ(Export(), "");
  Add("notes.text1");
  Add("ends.");
  Add("LONGNAME");
  EXPECT_EQ(Export(), "");
  EXPECT_FALSE(fs::exists(FilesFolder()));
  EXPECT_TRUE(fs_->creationSteps.empty());
}

TEST_F(AttachmentExport, ExistingFolderIsUsedWithoutCreationStep) {
  fs::create_directory(FilesFolder());
  Add("a.txt");
  EXPECT_EQ(
      Export(),
      "<p><b>Attachments:</b><ul><li><a href='1001_files/1001_1.txt'>a.txt</a></li></ul></p>");
  EXPECT_TRUE(fs_->creationSteps.empty());
}

TEST_F(AttachmentExport, RemovesTheConversionPageFirstEvenWhenReadOnly) {
  const std::string page = dir_.Write("1001.htm", "conversion output");
  ::chmod(page.c_str(), 0444);
  EXPECT_EQ(Export(), "");
  EXPECT_FALSE(fs::exists(page));
}

TEST_F(AttachmentExport, KeepsAnEarlierPageThatIsNotTheConversionOutput) {
  const std::string page = dir_.Write("1001.htm", "earlier page");
  Add("a.txt");
  EXPECT_NE(Export(/*removeConversionPage=*/false), "");
  EXPECT_EQ(testing::TempFolder::Read(page), "earlier page");
}

TEST_F(AttachmentExport, BitmapThatCannotBeReadIsDeletedAndStillLinkedAsJpeg) {
  Add("broken.bmp", "not a bitmap");
  EXPECT_EQ(Export(),
            "<p><b>Attachments:</b><ul><li><a href='1001_files/1001_1.jpg'>broken.bmp</a></li>"
            "</ul></p>");
  EXPECT_TRUE(FilesInFolder().empty());
}

TEST_F(AttachmentExport, DisplayNamesAreEscapedAndLinkTargetsEncoded) {
  Add("<b>'Q&A'\".txt");
  Add("quote.a'b");
  Add("hash.#1%");
  EXPECT_EQ(Export(),
            "<p><b>Attachments:</b><ul>"
            "<li><a href='1001_files/1001_1.txt'>&lt;b&gt;&#39;Q&amp;A&#39;&quot;.txt</a></li>"
            "<li><a href='1001_files/1001_2.a%27b'>quote.a&#39;b</a></li>"
            "<li><a href='1001_files/1001_3.%231%25'>hash.#1%</a></li>"
            "</ul></p>");
  EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"1001_1.txt", "1001_2.a'b", "1001_3.#1%"}));
}

TEST_F(AttachmentExport, ExtensionThatIsNotAPlainNameIsNotExported) {
  const std::vector<std::string> names = {"evil.a/b",
                                          "a/b",
                                          "x.\\ab",
                                          "up../..",
                                          "..",
                                          "c.a:b",
                                          "q.a?",
                                          "s.a*",
                                          "p.a|b",
                                          "t.<ab",
                                          "u.a\"b",
                                          "ctl.a\tb",
                                          std::string("nul.a\0b", 7)};
  for (const std::string& name : names) Add(name);
  Add("fine.txt");
  const std::set<std::string> before = EntriesOfDestination();
  const std::set<std::string> parentBefore = [&] {
    std::set<std::string> entries;
    for (const auto& e : fs::directory_iterator(dir_.path().parent_path())) {
      entries.insert(e.path().filename().string());
    }
    return entries;
  }();

  EXPECT_EQ(Export(),
            "<p><b>Attachments:</b><ul><li><a href='1001_files/1001_1.txt'>fine.txt</a></li>"
            "</ul></p>");
  ASSERT_EQ(saved_.size(), 1u) << "only the plain name is saved";
  EXPECT_EQ(FilesInFolder(), std::set<std::string>{"1001_1.txt"});
  std::set<std::string> after = EntriesOfDestination();
  after.erase("1001_files");
  EXPECT_EQ(after, before);
  std::set<std::string> parentAfter;
  for (const auto& e : fs::directory_iterator(dir_.path().parent_path())) {
    parentAfter.insert(e.path().filename().string());
  }
  for (const std::string& entry : parentAfter) {
    EXPECT_TRUE(parentBefore.count(entry) || entry.rfind("lorva-", 0) == 0)
        << "written outside the destination: " << entry;
  }
}

TEST_F(AttachmentExport, ScriptsAWebServerWouldRunArePublishedAsText) {
  const std::vector<std::string> extensions = {"php", "php3", "php4", "php5", "phtm", "asp",
                                               "cgi", "pl",   "py",   "jsp",  "shtm", "PHP"};
  std::string expected = "<p><b>Attachments:</b><ul>";
  std::set<std::string> files;
  int k = 0;
  for (const std::string& extension : extensions) {
    Add("script." + extension, "<?php echo 1; ?>");
    ++k;
    const std::string lower = AsciiLower(extension);
    const std::string file = "1001_" + std::to_string(k) + "." + lower + ".txt";
    expected += "<li><a href='1001_files/" + file + "'>script." + extension + "</a></li>";
    files.insert(file);
  }
  Add("page.html", "<html></html>");
  expected += "<li><a href='1001_files/1001_13.html'>page.html</a></li></ul></p>";
  files.insert("1001_13.html");

  EXPECT_EQ(Export(), expected);
  EXPECT_EQ(FilesInFolder(), files);
}

TEST_F(AttachmentExport, HiddenInlineImagesAreNotListed) {
  Add("image001.png", "png")->hidden = true;
  Add("manual.pdf", "pdf");
  EXPECT_EQ(Export(),
            "<p><b>Attachments:</b><ul><li><a href='1001_files/1001_1.pdf'>manual.pdf</a></li>"
            "</ul></p>");
  EXPECT_EQ(FilesInFolder(), std::set<std::string>{"1001_1.pdf"});
}

TEST_F(AttachmentExport, ExtensionLengthCountsCharactersNotBytes) {
  Add("Bild.\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F");  // "ÄÖÜß": four characters, eight bytes
  EXPECT_EQ(Export(),
            "<p><b>Attachments:</b><ul><li><a href='1001_files/"
            "1001_1.%C3%A4%C3%B6%C3%BC%C3%9F'>Bild.\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F</a></li>"
            "</ul></p>");
}

TEST_F(AttachmentExport, FailingSaveIsReportedAndEndsTheProgram) {
  Add("a.txt");
  Add("b.txt")->fail = true;
  EXPECT_THROW(Export(), ProgramEnded);
  const std::string dialog = test_.LastErrorDialog();
  EXPECT_NE(dialog.find("frmMain.fncSaveAttachements"), std::string::npos) << dialog;
  EXPECT_NE(dialog.find("Saving attachment to " + FilesFolder() + "/1001_2.txt"), std::string::npos)
      << dialog;
}

TEST_F(AttachmentExport, DamagedAttachmentsAreLeftOutAndNamedWhileTheOthersAreExported) {
  Add("a.txt");
  Add("b.txt")->damaged = true;
  Add("c.bmp")->damaged = true;
  Add("d.pdf");
  EXPECT_EQ(Export(),
            "<p><b>Attachments:</b><ul><li><a href='1001_files/1001_1.txt'>a.txt</a></li>"
            "<li><a href='1001_files/1001_2.pdf'>d.pdf</a></li></ul></p>");
  EXPECT_EQ(FilesInFolder(), (std::set<std::string>{"1001_1.txt", "1001_2.pdf"}));
  EXPECT_EQ(unreadable_, (std::vector<std::string>{"The attachment of b.txt is damaged",
                                                   "The attachment of c.bmp is damaged"}));
  EXPECT_FALSE(test_.reporter.ReportShown());
}

TEST_F(AttachmentExport, WhenTheReporterReturnsTheResultIsEmptyAndSavedFilesStay) {
  test_.MakeReportsReturn();
  Add("a.txt");
  Add("b.txt")->fail = true;
  EXPECT_EQ(Export(), "");
  EXPECT_EQ(FilesInFolder(), std::set<std::string>{"1001_1.txt"});
}

}  // namespace
}  // namespace lorva
