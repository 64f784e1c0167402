#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

// A route whose "word processor" writes a page of its own at the conversion target, and which
// records what the runs ask of it.
class RecordingRoute : public RichTextRoute {
 public:
  bool ConvertRTF2HTML(const std::string& rtfPath, const std::string& targetPath) override {
    conversions.push_back(targetPath);
    rtfSeen = std::filesystem::exists(rtfPath);
    std::filesystem::remove(rtfPath);
    std::ofstream(targetPath) << "<html><body>converted " << conversions.size() << "</body></html>";
    return true;
  }
  std::string FilteredWordHTML(const std::string& html) override { return "[filtered]" + html; }
  std::string SaveAttachments(outlook::OutlookItem&, const std::string& folder, std::int32_t count,
                              std::vector<std::string>& unreadable) override {
    if (!damagedPart.empty()) unreadable.push_back(damagedPart);
    const std::string target = folder + "/" + std::to_string(count) + ".htm";
    targetAtExport.push_back(std::filesystem::exists(target));
    std::filesystem::remove(target);  // the export's first step removes the conversion target
    return "<p>attachments of " + std::to_string(count) + "</p>";
  }
  void ExportInlineImages(outlook::OutlookItem&, std::string& body, const std::string&,
                          std::int32_t count, std::vector<std::string>& unreadable) override {
    if (!damagedPart.empty()) unreadable.push_back(damagedPart);
    inlineCalls.push_back(count);
    inlineBodies.push_back(body);
  }
  void QuitWord() override { ++quits; }

  std::vector<std::string> conversions;
  std::vector<bool> targetAtExport;
  std::vector<int> inlineCalls;
  std::vector<std::string> inlineBodies;
  bool rtfSeen = false;
  int quits = 0;
  std::string damagedPart;  // told by both exports of every item when not empty
};

class RichTextRouteTest : public ProgramFixture {
 protected:
  RichTextRouteTest() {
    form = std::make_unique<frmMain>(
        FormServices{services, files, *connection, dialogs, pump, recording, &shell});
    Add(FakeItem::Post("Toner", "Hardware", "FAQ"));
    Add(FakeItem::Post("Driver", "Software", "FAQ"));
  }
  RecordingRoute recording;
};

// The flat run leaves the conversion target to the attachment export, which removes it; the
// grouped run deletes it first. Either takes the filtered converted body and quits once.
TEST_F(RichTextRouteTest, RunsTakeTheConvertedBodyAndLeaveTheTargetToTheExportOrNot) {
  Load();
  form->chkCollapse.SetValue(0);
  form->optNaming.Select(1);
  for (const bool grouped : {false, true}) {
    SCOPED_TRACE(grouped ? "grouped" : "flat");
    recording.conversions.clear();
    recording.targetAtExport.clear();
    recording.inlineCalls.clear();
    recording.quits = 0;
    form->optGroup.Select(grouped ? 0 : 1);
    Generate();
    EXPECT_TRUE(recording.rtfSeen);
    const int second = grouped ? 1004 : 1002;  // Driver: the second item, in the second pair
    EXPECT_EQ(recording.conversions,
              (std::vector<std::string>{Dest() + "/1001.htm",
                                        Dest() + "/" + std::to_string(second) + ".htm"}));
    EXPECT_EQ(recording.targetAtExport, (std::vector<bool>{!grouped, !grouped}));
    const std::string page = Read("1001.htm");
    EXPECT_NE(page.find("[filtered]<html><body>"), std::string::npos) << page;
    EXPECT_NE(page.find("converted 1"), std::string::npos);
    EXPECT_NE(page.find("<p>attachments of 1001</p>"), std::string::npos);
    EXPECT_EQ(recording.inlineCalls, (std::vector<int>{1001, second}));
    EXPECT_EQ(recording.quits, 1);
  }
}

// An attachment the item holds damaged is told once, though both exports tried it; the page is
// still written.
TEST_F(RichTextRouteTest, DamagedAttachmentIsToldOnceAndThePageWritten) {
  kb->items.resize(1);
  recording.damagedPart = "The attachment 1 of the item \"KB1.msg\" cannot be read";
  Load();
  form->optGroup.Select(1);
  Generate();
  EXPECT_TRUE(Exists("Toner.htm"));
  EXPECT_TRUE(form->LastRun().unreadable.empty());
  EXPECT_EQ(form->LastRun().unreadableParts, std::vector<std::string>{recording.damagedPart});
  ASSERT_EQ(dialogs.shown().size(), 1u);
  EXPECT_EQ(dialogs.shown()[0].text,
            "1 attachment could not be read; its article was archived without it:\r\n\r\n" +
                recording.damagedPart);
}

// Only genuine rich text goes to the word processor; every other item keeps its HTML body, which
// still reaches the inline-image export, and its attachments are still exported.
TEST_F(RichTextRouteTest, OnlyGenuineRichTextIsConvertedInBothRuns) {
  using outlook::OlBodyFormat;
  const std::pair<const char*, OlBodyFormat> cases[] = {
      {"Rich", OlBodyFormat::kRichText},
      {"Html", OlBodyFormat::kHtml},
      {"Plain", OlBodyFormat::kPlain},
      {"Unspecified", OlBodyFormat::kUnspecified}};
  kb->items.clear();
  for (const auto& [subject, format] : cases) {
    Add(FakeItem::Post(subject, "Hardware", "FAQ", std::string("<body>") + subject + " body"))
        ->bodyFormat = format;
  }
  Load();
  form->chkCollapse.SetValue(0);
  for (const bool grouped : {true, false}) {
    SCOPED_TRACE(grouped ? "grouped run" : "flat run");
    form->optGroup.Select(grouped ? 0 : 1);
    recording.conversions.clear();
    recording.inlineBodies.clear();
    Generate();
    EXPECT_EQ(recording.conversions.size(), 1u);
    for (const auto& [subject, format] : cases) {
      const bool converted = format == OlBodyFormat::kRichText;
      const std::string page = Read(std::string(subject) + ".htm");
      EXPECT_EQ(page.find("[filtered]") != std::string::npos, converted) << page;
      EXPECT_NE(page.find("<p>attachments of "), std::string::npos) << page;
      const std::string html = std::string("<body>") + subject + " body";
      EXPECT_EQ(std::count(recording.inlineBodies.begin(), recording.inlineBodies.end(), html),
                converted ? 0 : 1)
          << subject;
    }
  }
}

}  // namespace
}  // namespace lorva::testing
