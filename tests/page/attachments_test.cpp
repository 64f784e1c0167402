// The attachment export of one article: names, numbering, the bitmap re-encoding, the list
// markup, and the mended cases (unsafe extensions, scripts, escaping, an earlier page at the
// conversion page's name, hidden inline images).
#include "page/attachments.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QImage>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/text_rules.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "support_code/fake_outlook.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

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

// The list the export gives for the files `files` (link target, shown name).
std::string List(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string list = "<p><b>Attachments:</b><ul>";
  for (const auto& [file, name] : files) {
    list += "<li><a href='1001_files/" + file + "'>" + name + "</a></li>";
  }
  return list + "</ul></p>";
}

class AttachmentExport : public ::testing::Test {
 protected:
  testing::FakeAttachment& Add(const std::string& name, const std::string& bytes = "data") {
    return item_.Attach(name, bytes);
  }
  std::string Export(bool removeConversionPage = true) {
    return fncSaveAttachements(test_.services, images_, item_, dir_.str(), 1001, unreadable_,
                               removeConversionPage);
  }
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / "1001_files")) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  testing::TestServices test_;
  TempFolder dir_;
  platform::QtImageConverter images_;
  testing::FakeItem item_;
  std::vector<std::string> unreadable_;
};

TEST_F(AttachmentExport, ExportsTheArticlesFilesAndListsThem) {
  Add("Screen.bmp", BitmapBytes(20, 10));
  Add("Photo.BMP", BitmapBytes(7, 5));
  Add("damaged.txt").damaged = true;  // left out, using no number, and named
  Add("TODO", "todo list");           // no ".": the whole name is the extension
  Add("Report.docx", "word document");
  Add("broken.bmp", "not a bitmap");  // deleted, and still linked as a JPEG
  const std::string page = dir_.Write("1001.htm", "the conversion page");
  ::chmod(page.c_str(), 0444);

  EXPECT_EQ(Export(), List({{"1001_1.jpg", "Screen.bmp"},
                            {"1001_2.jpg", "Photo.BMP"},
                            {"1001_3.todo", "TODO"},
                            {"1001_4.docx", "Report.docx"},
                            {"1001_5.jpg", "broken.bmp"}}));
  EXPECT_EQ(Files(),
            (std::set<std::string>{"1001_1.jpg", "1001_2.jpg", "1001_3.todo", "1001_4.docx"}))
      << "the saved bitmaps are gone, their JPEG forms stay, no temporary file is left";
  EXPECT_EQ(TempFolder::Read(dir_ / "1001_files/1001_4.docx"), "word document");
  const QImage photo(QString::fromStdString(dir_ / "1001_files/1001_2.jpg"), "JPEG");
  EXPECT_EQ(photo.size(), QSize(7, 5));
  EXPECT_EQ(unreadable_, std::vector<std::string>{"The attachment of damaged.txt is damaged"});
  EXPECT_FALSE(fs::exists(page)) << "the conversion page at the article's name is removed first";
  EXPECT_FALSE(test_.reporter.ReportShown());
}

TEST_F(AttachmentExport, DisplayNamesAreEscapedAndLinkTargetsEncoded) {
  Add("<b>'Q&A'\".txt");
  Add("hash.#1%");
  Add("Bild.\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F");  // "ÄÖÜß": four characters, eight bytes
  const std::string page = dir_.Write("1001.htm", "an earlier page, not the conversion's output");
  ::chmod(page.c_str(), 0444);
  EXPECT_EQ(Export(/*removeConversionPage=*/false),
            List({{"1001_1.txt", "&lt;b&gt;&#39;Q&amp;A&#39;&quot;.txt"},
                  {"1001_2.%231%25", "hash.#1%"},
                  {"1001_3.%C3%A4%C3%B6%C3%BC%C3%9F", "Bild.\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F"}}));
  EXPECT_EQ(Files(), (std::set<std::string>{"1001_1.txt", "1001_2.#1%",
                                            "1001_3.\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"}));
  EXPECT_TRUE(fs::exists(page));
}

// Extensions of more than four letters, empty, or not a plain name are not exported (and use no
// number); nothing exported gives no list and no folder.
TEST_F(AttachmentExport, ExtensionThatIsNotAPlainNameIsNotExported) {
  EXPECT_EQ(Export(), "");
  const std::string names[] = {"Page.shtml", "ends.", "LONGNAME", "evil.a/b",
                               "x.\\ab",     "c.a:b", "ctl.a\tb"};
  for (const std::string& name : names) Add(name);
  item_.Attach("image001.png", "png", "", /*hidden=*/true);  // an inline image of the body
  EXPECT_EQ(Export(), "");
  EXPECT_FALSE(fs::exists(dir_ / "1001_files"));
  Add("fine.txt");
  EXPECT_EQ(Export(), List({{"1001_1.txt", "fine.txt"}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1)
      << "nothing but the attachment folder is written";
}

TEST_F(AttachmentExport, ScriptsAWebServerWouldRunArePublishedAsText) {
  std::vector<std::pair<std::string, std::string>> expected;
  int k = 0;
  for (const std::string extension :
       {"php", "php3", "php4", "php5", "phtm", "asp", "cgi", "pl", "py", "jsp", "shtm", "PHP"}) {
    Add("script." + extension, "<?php echo 1; ?>");
    const std::string lower = AsciiLower(extension);
    expected.push_back(
        {"1001_" + std::to_string(++k) + "." + lower + ".txt", "script." + extension});
  }
  Add("page.html", "<html></html>");
  expected.push_back({"1001_13.html", "page.html"});
  EXPECT_EQ(Export(), List(expected));
  EXPECT_EQ(Files().size(), expected.size());
}

TEST_F(AttachmentExport, FailingSaveIsReported) {
  Add("a.txt");
  Add("b.txt").fail = true;
  EXPECT_THROW(Export(), ProgramEnded);
  const std::string dialog = test_.LastErrorDialog();
  EXPECT_NE(dialog.find("frmMain.fncSaveAttachements"), std::string::npos) << dialog;
  EXPECT_NE(dialog.find("Saving attachment to " + dir_ / "1001_files/1001_2.txt"),
            std::string::npos)
      << dialog;
}

}  // namespace
}  // namespace lorva
