// The route a run drives per article: conversion, attachment export, inline images and the end
// of the word processor; through the runs with a fake word processor.
#include "page/office_route.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "page/destination.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "support_code/fake_word.h"
#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

class OfficeRouteTest : public ProgramFixture {
 protected:
  OfficeRouteTest() { services.fs = std::make_shared<FileSystemObject>(); }
  WordCalls calls_;
  FakeWordFactory factory_{calls_};
  platform::QtImageConverter images_;
};

// An earlier page at the name of the conversion page (another article's, named by subject) stays
// in place while the converter works, and whole after the run; the article's body never comes
// from it. One word processor serves the run's articles and is quit at its end.
TEST_F(OfficeRouteTest, EarlierPageAtTheConversionPagesNameSurvives) {
  OfficeRoute route(services, factory_, images_);
  UseRoute(route);
  auto item = FakeItem::Post("Article", "Hardware", "FAQ", "<p>html body</p>");
  item->rtf = "{\\rtf1 new text}";
  item->Attach("a.txt", "text");
  Add(item);
  Add(FakeItem::Post("Second", "Hardware", "FAQ"))->rtf = "{\\rtf1 second}";
  Load();
  form->chkCollapse.SetValue(0);
  for (const bool grouped : {false, true}) {  // the grouped run deletes the conversion page
    SCOPED_TRACE(grouped ? "grouped run" : "flat run");
    const std::string page = folder.Write("1001.htm", "the page of an earlier run");
    calls_.watched = page;
    calls_.seen.clear();
    calls_.created = calls_.quits = 0;
    form->optGroup.Select(grouped ? 0 : 1);
    Generate();
    EXPECT_EQ(Read("1001.htm"), "the page of an earlier run");
    EXPECT_NE(Read("Article.htm").find("converted from {\\rtf1 new text}"), std::string::npos);
    EXPECT_EQ(calls_.seen, std::vector<std::string>(2, "the page of an earlier run"))
        << "the page stays in place while the converter works";
    EXPECT_EQ(calls_.created, 1);
    EXPECT_EQ(calls_.quits, 1);
    EXPECT_NE(Read("Second.htm").find("converted from {\\rtf1 second}"), std::string::npos);
    EXPECT_EQ(route.objWord(), nullptr);
    EXPECT_EQ(Entries(folder.path() / "Images"), std::set<std::string>{"bulletredsmall.gif"})
        << "no rich-text copy is left";
    EXPECT_EQ(Entries(folder.path()),
              (std::set<std::string>{"1001.htm", "1001_files", "Article.htm", "Images", "images",
                                     "index.htm", "Second.htm", "style.css"}))
        << "nothing set aside is left behind";
  }
}

// Only genuine rich text goes to the word processor, its page cut to the body; the other items
// keep their HTML bodies, whose inline images are still exported. Every item's attachments are
// listed, and an attachment both exports tried is told once.
TEST_F(OfficeRouteTest, RunsConvertOnlyGenuineRichTextAndTellADamagedPartOnce) {
  OfficeRoute route(services, factory_, images_);
  UseRoute(route);
  for (const char* subject : {"Rich", "Html"}) {  // only "Rich" is genuine rich text
    auto item = Add(FakeItem::Post(subject, "Hardware", "FAQ",
                                   subject + std::string("<img src=cid:good><img src=cid:bad>")));
    if (subject[0] == 'H') item->bodyFormat = outlook::OlBodyFormat::kHtml;
    item->rtf = "<div class=Section1><p class=MsoNormal>&nbsp;</p>rich text";
    item->Attach("a.txt", "text");
    item->Attach("good.png", "png", "good", true);
    item->Attach("bad.png", "png", "bad", false).damaged = true;
  }
  Load();
  form->chkCollapse.SetValue(0);
  for (const bool grouped : {false, true}) {
    SCOPED_TRACE(grouped ? "grouped run" : "flat run");
    form->optGroup.Select(grouped ? 0 : 1);
    Generate();
    for (const std::string subject : {"Rich", "Html"}) {
      const std::string page = Read(subject + ".htm");
      EXPECT_NE(
          page.find(subject == "Rich" ? "converted from \r\nrich text"
                                      : subject + "<img src=10"),  // the inline image exported
          std::string::npos)
          << page;
      EXPECT_NE(page.find("_1.txt'>a.txt</a></li></ul>"), std::string::npos) << page;
    }
    EXPECT_EQ(form->LastRun().unreadableParts,
              std::vector<std::string>{"The attachment of bad.png is damaged"});
  }
}

// A page set aside while the run reads the conversion goes back when the route goes, or, after a
// run killed meanwhile, when the next run starts.
TEST_F(OfficeRouteTest, PageSetAsideIsPutBackWhenTheRunEndsEarlyOrIsKilled) {
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "killed" : "ended early");
    const std::string page = folder.Write("1001.htm", "earlier");
    const std::string rtf = folder.Write("Images/1001.rtf", "{\\rtf1 x}");
    {
      OfficeRoute route(services, factory_, images_);
      ASSERT_TRUE(route.ConvertRTF2HTML(rtf, page));
      EXPECT_EQ(TempFolder::Read(page), "converted from {\\rtf1 x}");
      if (killed) {
        RecoverInterruptedRun(folder.str());
        EXPECT_EQ(TempFolder::Read(page), "earlier");
      }
    }
    EXPECT_EQ(TempFolder::Read(page), "earlier");
    EXPECT_EQ(Entries(folder.path()), (std::set<std::string>{"1001.htm", "Images"}));
  }
}

TEST_F(OfficeRouteTest, InlineImagesAreExportedAndTheirReferencesRewritten) {
  OfficeRoute route(services, factory_, images_);
  std::vector<std::string> unreadable;
  FakeItem item;
  item.Attach("image001.png", "png bytes", "<image001.png@01DA2B3C.4D5E6F70>", true);
  item.Attach("chart.gif", "gif bytes", "Chart-7", false);
  item.Attach("unused.jpg", "jpg bytes", "unused", true);
  item.Attach("report.pdf", "pdf bytes");
  item.Attach("shell.php", "<?php ?>", "x1", true);
  item.Attach("failing.png", "png", "bad", true).fail = true;
  item.Attach("damaged.png", "png", "dmg", true).damaged = true;
  const struct {
    std::int32_t count;
    std::string body, expected;
  } cases[] = {
      {1001,
       "<p><img src=\"cid:image001.png@01DA2B3C.4D5E6F70\" width=10>"
       "<IMG SRC='CID:IMAGE001.PNG@01DA2B3C.4D5E6F70'>"
       "<img src=cid:%3Cchart-7%3E alt=x><img src=\"cid:nobody@example\">"
       "<div style=\"background:url(cid:chart-7)\">acid:chart-7</div></p>",
       "<p><img src=\"1001_files/1001_inline1.png\" width=10>"
       "<IMG SRC='1001_files/1001_inline1.png'>"
       "<img src=1001_files/1001_inline2.gif alt=x><img src=\"cid:nobody@example\">"
       "<div style=\"background:url(1001_files/1001_inline2.gif)\">acid:chart-7</div></p>"},
      {7, "<img src=cid:x1>", "<img src=7_files/7_inline1.img>"},  // not an image: no kind
      {1001, "<p>no images</p>", "<p>no images</p>"},
      {1001, "<img src=\"cid:bad\">", "<img src=\"cid:bad\">"},  // cannot be saved: left as is
      {1001, "<img src=\"cid:dmg\">", "<img src=\"cid:dmg\">"},  // damaged: left as is, told
  };
  for (const auto& c : cases) {
    std::string body = c.body;
    route.ExportInlineImages(item, body, folder.str(), c.count, unreadable);
    EXPECT_EQ(body, c.expected) << c.body;
  }
  EXPECT_EQ(TempFolder::Read(folder / "1001_files/1001_inline1.png"), "png bytes");
  EXPECT_EQ(Entries(folder.path() / "1001_files"),
            (std::set<std::string>{"1001_inline1.png", "1001_inline2.gif"}));
  EXPECT_FALSE(reporter.ReportShown());
  // Only the damaged image is told: the other failure is the destination's.
  EXPECT_EQ(unreadable, std::vector<std::string>{"The attachment of damaged.png is damaged"});
}

}  // namespace
}  // namespace lorva::testing
