// The route a run drives per article: conversion, attachment export, inline images and the end
// of the word processor; with a fake word processor, and once with the real LibreOffice.
#include "page/office_route.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "page/destination.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/word/libreoffice_word.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

// A word processor whose pages say which rich-text file they came from.
struct WordCalls {
  int created = 0;
  int quits = 0;
  bool missing = false;
  std::string watched;            // a file whose content each conversion notes
  std::vector<std::string> seen;  // what it held while the converter wrote
};

class FakeDocument : public platform::WordDocument {
 public:
  FakeDocument(std::string source, WordCalls& calls) : source_(std::move(source)), calls_(calls) {}
  void SaveAs(const std::string& path, int) override {
    if (!calls_.watched.empty()) calls_.seen.push_back(TempFolder::Read(calls_.watched));
    std::ofstream(path) << "converted from " << TempFolder::Read(source_);
  }
  void Close(int) override {}

 private:
  std::string source_;
  WordCalls& calls_;
};

class FakeWord : public platform::WordApplication {
 public:
  explicit FakeWord(WordCalls& calls) : calls_(calls) {}
  void SetVisible(bool) override {}
  std::shared_ptr<platform::WordDocument> Open(const std::string& path) override {
    return std::make_shared<FakeDocument>(path, calls_);
  }
  void Quit() override { ++calls_.quits; }

 private:
  WordCalls& calls_;
};

class FakeWordFactory : public platform::WordFactory {
 public:
  explicit FakeWordFactory(WordCalls& calls) : calls_(calls) {}
  std::shared_ptr<platform::WordApplication> Create() override {
    if (calls_.missing) throw Error(errnum::kCannotCreateObject, "cannot create object");
    ++calls_.created;
    return std::make_shared<FakeWord>(calls_);
  }

 private:
  WordCalls& calls_;
};

class FakeAttachment : public outlook::Attachment {
 public:
  FakeAttachment(std::string name, std::string bytes, std::string contentId, bool hidden)
      : name_(std::move(name)),
        bytes_(std::move(bytes)),
        contentId_(std::move(contentId)),
        hidden_(hidden) {}
  std::string DisplayName() override { return name_; }
  void SaveAsFile(const std::string& path) override {
    if (fail) throw Error(errnum::kPathFileAccessError, "cannot save");
    if (damaged) throw Error(errnum::kBadFileFormat, name_ + " is damaged");
    std::ofstream(path, std::ios::binary) << bytes_;
  }
  std::string ContentId() override { return contentId_; }
  bool Hidden() override { return hidden_; }
  bool fail = false;     // the destination refuses the file
  bool damaged = false;  // the item's file holds it damaged

 private:
  std::string name_, bytes_, contentId_;
  bool hidden_;
};

class FakeAttachments : public outlook::AttachmentCollection {
 public:
  int Count() override { return static_cast<int>(items.size()); }
  std::shared_ptr<outlook::Attachment> Item(int index) override { return items.at(index - 1); }
  std::vector<std::shared_ptr<FakeAttachment>> items;
};

class FakeItem : public outlook::OutlookItem {
 public:
  explicit FakeItem(std::string rtf = "{\\rtf1 body}") : rtf_(std::move(rtf)) {}
  outlook::ItemClass Class() override { return outlook::ItemClass::kPost; }
  std::string MessageClass() override { return "IPM.Post"; }
  std::string Subject() override { return "Article"; }
  std::string HTMLBody() override { return htmlBody; }
  void SaveAs(const std::string& path, int format) override {
    if (format != 1) throw Error(5, "format");
    std::ofstream(path, std::ios::binary) << rtf_;
  }
  std::shared_ptr<outlook::UserPropertyCollection> UserProperties() override { return nullptr; }
  std::shared_ptr<outlook::AttachmentCollection> Attachments() override { return attachments; }

  std::shared_ptr<FakeAttachment> Add(const std::string& name, const std::string& bytes,
                                      const std::string& contentId = "", bool hidden = false) {
    auto attachment = std::make_shared<FakeAttachment>(name, bytes, contentId, hidden);
    attachments->items.push_back(attachment);
    return attachment;
  }

  std::string htmlBody;
  std::shared_ptr<FakeAttachments> attachments = std::make_shared<FakeAttachments>();

 private:
  std::string rtf_;
};

std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// What a run does per article with attachments included: save the rich-text copy, convert it,
// read the page when the conversion reports success and the page exists, export attachments.
struct ArticleResult {
  bool converted = false;
  std::string body;
  std::string attachments;
};

ArticleResult RunArticle(RichTextRoute& route, outlook::OutlookItem& item,
                         const std::string& destination, std::int32_t counter,
                         bool groupedRun = false) {
  ArticleResult result;
  result.body = item.HTMLBody();
  const std::string n = std::to_string(counter);
  if (!fs::exists(destination + "/Images")) fs::create_directory(destination + "/Images");
  const std::string rtf = destination + "/Images/" + n + ".rtf";
  const std::string target = destination + "/" + n + ".htm";
  item.SaveAs(rtf, 1);
  result.converted = route.ConvertRTF2HTML(rtf, target);
  if (result.converted && fs::exists(target)) {
    result.body = route.FilteredWordHTML(TempFolder::Read(target));
    if (groupedRun) fs::remove(target);
  }
  std::vector<std::string> unreadable;
  result.attachments = route.SaveAttachments(item, destination, counter, unreadable);
  return result;
}

class OfficeRouteTest : public ::testing::Test {
 protected:
  testing::TestServices test_;
  TempFolder dir_;
  WordCalls calls_;
  FakeWordFactory factory_{calls_};
  platform::QtImageConverter images_;
  std::vector<std::string> unreadable_;
};

TEST_F(OfficeRouteTest, OneWordProcessorServesTheRunAndIsQuitAtItsEnd) {
  OfficeRoute route(test_.services, factory_, images_);
  for (std::int32_t counter = 1001; counter <= 1003; ++counter) {
    FakeItem item("{\\rtf1 article " + std::to_string(counter) + "}");
    const ArticleResult result = RunArticle(route, item, dir_.str(), counter);
    EXPECT_TRUE(result.converted);
    EXPECT_EQ(result.body, "converted from {\\rtf1 article " + std::to_string(counter) + "}");
    EXPECT_FALSE(fs::exists(dir_ / (std::to_string(counter) + ".htm")))
        << "the conversion page is gone after the export";
    EXPECT_FALSE(fs::exists(dir_ / ("Images/" + std::to_string(counter) + ".rtf")));
  }
  EXPECT_EQ(calls_.created, 1);
  ASSERT_NE(route.objWord(), nullptr);
  route.QuitWord();
  EXPECT_EQ(calls_.quits, 1);
  EXPECT_EQ(route.objWord(), nullptr);
  route.QuitWord();
  EXPECT_EQ(calls_.quits, 1);
}

TEST_F(OfficeRouteTest, RouteOwningItsPartsQuitsTheWordProcessorWhenItGoes) {
  {
    OfficeRoute route(test_.services, std::make_unique<FakeWordFactory>(calls_),
                      std::make_unique<platform::QtImageConverter>());
    FakeItem item;
    item.Add("a.bmp", "not a bitmap");
    const ArticleResult result = RunArticle(route, item, dir_.str(), 5);
    EXPECT_TRUE(result.converted);
    EXPECT_EQ(result.attachments,
              "<p><b>Attachments:</b><ul><li><a href='5_files/5_1.jpg'>a.bmp</a></li></ul></p>");
  }
  EXPECT_EQ(calls_.created, 1);
  EXPECT_EQ(calls_.quits, 1);
}

TEST_F(OfficeRouteTest, EarlierPageAtTheConversionPagesNameSurvives) {
  struct Case {
    const char* name;
    bool wordMissing;
    bool groupedRun;
  };
  const Case cases[] = {{"flat run", false, false},
                        {"grouped run deleting the page itself", false, true},
                        {"no word processor", true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    calls_.missing = c.wordMissing;
    const std::string page = dir.Write("1001.htm", "the page of an earlier run");
    calls_.watched = page;
    calls_.seen.clear();
    OfficeRoute route(test_.services, factory_, images_);
    FakeItem item("{\\rtf1 new text}");
    item.htmlBody = "<p>html body</p>";
    item.Add("a.txt", "text");

    const ArticleResult result = RunArticle(route, item, dir.str(), 1001, c.groupedRun);

    EXPECT_EQ(result.converted, !c.wordMissing);
    EXPECT_EQ(result.body, c.wordMissing ? "<p>html body</p>" : "converted from {\\rtf1 new text}")
        << "the body never comes from the earlier page";
    EXPECT_EQ(TempFolder::Read(page), "the page of an earlier run");
    if (!c.wordMissing) {
      EXPECT_EQ(calls_.seen, std::vector<std::string>{"the page of an earlier run"})
          << "the page stays in place while the converter works";
    }
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"1001.htm", "1001_files", "Images"}))
        << "nothing set aside is left behind";
    EXPECT_TRUE(Entries(dir.path() / "Images").empty());
  }
}

TEST_F(OfficeRouteTest, PageSetAsideIsPutBackWhenTheRunEndsEarly) {
  const std::string page = dir_.Write("1001.htm", "earlier");
  fs::create_directory(dir_ / "Images");
  const std::string rtf = dir_.Write("Images/1001.rtf", "{\\rtf1 x}");
  {
    OfficeRoute route(test_.services, factory_, images_);
    EXPECT_TRUE(route.ConvertRTF2HTML(rtf, page));
    EXPECT_EQ(TempFolder::Read(page), "converted from {\\rtf1 x}");
  }  // no attachment export: the route's end puts the page back
  EXPECT_EQ(TempFolder::Read(page), "earlier");
  EXPECT_EQ(Entries(dir_.path()), (std::set<std::string>{"1001.htm", "Images"}));
}

TEST_F(OfficeRouteTest, PageSetAsideWhenTheRunIsKilledIsPutBackByTheNextRun) {
  const std::string page = dir_.Write("1001.htm", "earlier");
  fs::create_directory(dir_ / "Images");
  const std::string rtf = dir_.Write("Images/1001.rtf", "{\\rtf1 x}");
  OfficeRoute route(test_.services, factory_, images_);
  ASSERT_TRUE(route.ConvertRTF2HTML(rtf, page));
  // Killed here, while the run reads the converted page: the next run's start mends it.
  RecoverInterruptedRun(dir_.str());
  EXPECT_EQ(TempFolder::Read(page), "earlier");
  EXPECT_EQ(Entries(dir_.path()), (std::set<std::string>{"1001.htm", "Images"}));
}

TEST_F(OfficeRouteTest, InlineImagesAreExportedAndTheirReferencesRewritten) {
  OfficeRoute route(test_.services, factory_, images_);
  FakeItem item;
  item.Add("image001.png", "png bytes", "<image001.png@01DA2B3C.4D5E6F70>", /*hidden=*/true);
  item.Add("chart.gif", "gif bytes", "Chart-7", /*hidden=*/false);
  item.Add("unused.jpg", "jpg bytes", "unused", /*hidden=*/true);
  item.Add("report.pdf", "pdf bytes");
  const std::string body =
      "<p><img src=\"cid:image001.png@01DA2B3C.4D5E6F70\" width=10>"
      "<IMG SRC='CID:IMAGE001.PNG@01DA2B3C.4D5E6F70'>"
      "<img src=cid:%3Cchart-7%3E alt=x>"
      "<img src=\"cid:nobody@example\">"
      "<div style=\"background:url(cid:chart-7)\">acid:chart-7</div></p>";

  std::string rewritten = body;
  route.ExportInlineImages(item, rewritten, dir_.str(), 1001, unreadable_);

  EXPECT_EQ(rewritten,
            "<p><img src=\"1001_files/1001_inline1.png\" width=10>"
            "<IMG SRC='1001_files/1001_inline1.png'>"
            "<img src=1001_files/1001_inline2.gif alt=x>"
            "<img src=\"cid:nobody@example\">"
            "<div style=\"background:url(1001_files/1001_inline2.gif)\">acid:chart-7</div></p>");
  EXPECT_EQ(TempFolder::Read(dir_ / "1001_files/1001_inline1.png"), "png bytes");
  EXPECT_EQ(TempFolder::Read(dir_ / "1001_files/1001_inline2.gif"), "gif bytes");
  EXPECT_EQ(Entries(dir_ / "1001_files"),
            (std::set<std::string>{"1001_inline1.png", "1001_inline2.gif"}));

  // The attachment list leaves the hidden images out.
  EXPECT_EQ(route.SaveAttachments(item, dir_.str(), 1001, unreadable_),
            "<p><b>Attachments:</b><ul>"
            "<li><a href='1001_files/1001_1.gif'>chart.gif</a></li>"
            "<li><a href='1001_files/1001_2.pdf'>report.pdf</a></li></ul></p>");
}

TEST_F(OfficeRouteTest, BodyWithoutMatchingReferencesIsUnchangedAndNothingIsWritten) {
  OfficeRoute route(test_.services, factory_, images_);
  FakeItem item;
  item.Add("image001.png", "png", "image001", true)->fail = true;
  item.Add("image002.png", "png", "image002", true)->damaged = true;
  const std::string bodies[] = {"<p>no images</p>", "<img src=\"cid:other\">",
                                "<img src=\"cid:image001\">", "<img src=\"cid:image002\">"};
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body);
    std::string kept = body;
    route.ExportInlineImages(item, kept, dir_.str(), 1001, unreadable_);
    EXPECT_EQ(kept, body);
  }
  EXPECT_FALSE(test_.reporter.ReportShown());
  // Only the damaged image is told: the other failure is the destination's.
  EXPECT_EQ(unreadable_, std::vector<std::string>{"image002.png is damaged"});
}

TEST_F(OfficeRouteTest, InlineImageOfAnUnknownKindGetsANeutralExtension) {
  OfficeRoute route(test_.services, factory_, images_);
  FakeItem item;
  item.Add("shell.php", "<?php ?>", "x1", true);
  item.Add("noextension", "bytes", "x2", true);
  std::string body = "<img src=cid:x1><img src=cid:x2>";
  route.ExportInlineImages(item, body, dir_.str(), 7, unreadable_);
  EXPECT_EQ(body, "<img src=7_files/7_inline1.img><img src=7_files/7_inline2.img>");
}

// With the real LibreOffice: a run of several articles starts it once, the pages come from the
// item's rich text, a picture of the rich text is written beside the page, and nothing of
// LibreOffice remains after the run.
TEST(OfficeRouteWithLibreOffice, RunStartsLibreOfficeOnceAndEndsIt) {
  const char* configured = std::getenv("LORVA_SOFFICE");
  if (platform::FindProgram(configured && *configured ? configured : "soffice").empty()) {
    GTEST_SKIP() << "LibreOffice is not installed";
  }
  testing::TestServices test;
  TempFolder dir;
  platform::QtImageConverter images;
  platform::LibreOfficeWordFactory factory;
  OfficeRoute route(test.services, factory, images);

  QImage picture(16, 16, QImage::Format_RGB32);
  picture.fill(qRgb(0, 128, 0));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  QByteArray bmp;
  QBuffer bmpBuffer(&bmp);
  bmpBuffer.open(QIODevice::WriteOnly);
  picture.save(&bmpBuffer, "BMP");

  pid_t group = 0;
  for (std::int32_t counter = 1; counter <= 3; ++counter) {
    SCOPED_TRACE(counter);
    FakeItem item("{\\rtf1\\ansi Article text " + std::to_string(counter) +
                  "\\par{\\pict\\pngblip\\picw16\\pich16 " + png.toHex().toStdString() + "}}");
    item.Add("shot.bmp", bmp.toStdString());
    item.Add("notes.txt", "notes");
    const ArticleResult result = RunArticle(route, item, dir.str(), counter);
    ASSERT_TRUE(result.converted);
    EXPECT_NE(result.body.find("Article text " + std::to_string(counter)), std::string::npos)
        << result.body;
    EXPECT_FALSE(fs::exists(dir / (std::to_string(counter) + ".htm")));
    EXPECT_EQ(result.attachments,
              "<p><b>Attachments:</b><ul><li><a href='" + std::to_string(counter) + "_files/" +
                  std::to_string(counter) + "_1.jpg'>shot.bmp</a></li>" + "<li><a href='" +
                  std::to_string(counter) + "_files/" + std::to_string(counter) +
                  "_2.txt'>notes.txt</a></li>" + "</ul></p>");
    auto* office = dynamic_cast<platform::LibreOfficeWord*>(route.objWord().get());
    ASSERT_NE(office, nullptr);
    if (counter == 1) group = office->ProcessGroup();
    EXPECT_EQ(office->ProcessGroup(), group);
  }
  EXPECT_EQ(factory.Created(), 1);
  route.QuitWord();
  EXPECT_TRUE(platform::LiveProcessesInGroup(group).empty());
}

}  // namespace
}  // namespace lorva
