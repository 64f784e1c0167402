// The rich-text route of the body: the word processor driven through its object model (a fake
// here), and the cut of the converted page's top part.
#include "page/body_conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "support/error_reporter.h"
#include "support/file_system.h"
#include "support_code/scripted_dialogs.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

// Records every call of the object model in order; the document's SaveAs writes a page.
struct WordLog {
  std::vector<std::string> calls;
  int created = 0;
  bool failOpen = false;
  bool failSave = false;
};

class FakeDocument : public platform::WordDocument {
 public:
  FakeDocument(WordLog& log, std::string source) : log_(log), source_(std::move(source)) {}
  void SaveAs(const std::string& path, int format) override {
    log_.calls.push_back("SaveAs " + path + " " + std::to_string(format));
    if (log_.failSave) throw Error(5, "save failed");
    std::ofstream(path) << "<html>converted " << fs::path(source_).filename().string() << "</html>";
  }
  void Close(int saveChanges) override {
    log_.calls.push_back("Close " + std::to_string(saveChanges));
  }

 private:
  WordLog& log_;
  std::string source_;
};

class FakeWord : public platform::WordApplication {
 public:
  explicit FakeWord(WordLog& log) : log_(log) {}
  void SetVisible(bool visible) override {
    log_.calls.push_back(std::string("Visible ") + (visible ? "true" : "false"));
  }
  std::shared_ptr<platform::WordDocument> Open(const std::string& path) override {
    log_.calls.push_back("Open " + path);
    if (log_.failOpen) throw Error(5, "open failed");
    return std::make_shared<FakeDocument>(log_, path);
  }
  void Quit() override { log_.calls.push_back("Quit"); }

 private:
  WordLog& log_;
};

class FakeWordFactory : public platform::WordFactory {
 public:
  explicit FakeWordFactory(WordLog& log) : log_(log) {}
  std::shared_ptr<platform::WordApplication> Create() override {
    if (failWith) throw Error(failWith, "ActiveX component can't create object");
    ++log_.created;
    return std::make_shared<FakeWord>(log_);
  }
  int failWith = 0;

 private:
  WordLog& log_;
};

class RichTextConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("lorva-conv-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "Images");
    rtf_ = (dir_ / "Images" / "1001.rtf").string();
    target_ = (dir_ / "1001.htm").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteRtf(const std::string& path) { std::ofstream(path) << "{\\rtf1 text}"; }

  testing::ScriptedDialogs dialogs_;
  ErrorReporter reporter_{dialogs_, {}};
  Services services_{reporter_, std::make_shared<FileSystemObject>()};
  WordLog log_;
  FakeWordFactory factory_{log_};
  std::shared_ptr<platform::WordApplication> objWord_;
  fs::path dir_;
  std::string rtf_, target_;
};

TEST_F(RichTextConversion, CreatesTheWordProcessorOnFirstUseAndReusesItForLaterArticles) {
  WriteRtf(rtf_);
  EXPECT_TRUE(fncConvertRTF2HTML(services_, factory_, objWord_, rtf_, target_));
  const std::string rtf2 = (dir_ / "Images" / "1002.rtf").string();
  const std::string target2 = (dir_ / "1002.htm").string();
  WriteRtf(rtf2);
  EXPECT_TRUE(fncConvertRTF2HTML(services_, factory_, objWord_, rtf2, target2));

  EXPECT_EQ(log_.created, 1);
  ASSERT_NE(objWord_, nullptr);
  const std::vector<std::string> expected = {
      "Visible false", "Open " + rtf_, "SaveAs " + target_ + " 10", "Close 0",
      "Visible false", "Open " + rtf2, "SaveAs " + target2 + " 10", "Close 0"};
  EXPECT_EQ(log_.calls, expected);
  EXPECT_TRUE(fs::exists(target_));
  EXPECT_TRUE(fs::exists(target2));
  EXPECT_FALSE(fs::exists(rtf_)) << "the rich-text copy is deleted after the conversion";
  EXPECT_FALSE(fs::exists(rtf2));
}

TEST_F(RichTextConversion, WithoutAWordProcessorTheRichTextFileIsDeletedAndFalseReturned) {
  for (int failure : {errnum::kCannotCreateObject, 5}) {
    SCOPED_TRACE("creation fails with error " + std::to_string(failure));
    factory_.failWith = failure;
    WriteRtf(rtf_);
    std::ofstream(target_) << "an earlier file of the target's name";
    EXPECT_FALSE(fncConvertRTF2HTML(services_, factory_, objWord_, rtf_, target_));
    EXPECT_EQ(objWord_, nullptr);
    EXPECT_FALSE(fs::exists(rtf_));
    EXPECT_TRUE(log_.calls.empty());
    EXPECT_FALSE(reporter_.ReportShown());
  }
}

TEST_F(RichTextConversion, MissingRichTextFileGivesFalseAndKeepsTheWordProcessor) {
  EXPECT_FALSE(fncConvertRTF2HTML(services_, factory_, objWord_, rtf_, target_));
  ASSERT_NE(objWord_, nullptr);
  EXPECT_EQ(log_.calls, std::vector<std::string>{"Visible false"});
  EXPECT_FALSE(fs::exists(target_));

  WriteRtf(rtf_);  // the same word processor serves the next article
  EXPECT_TRUE(fncConvertRTF2HTML(services_, factory_, objWord_, rtf_, target_));
  EXPECT_EQ(log_.created, 1);
}

TEST_F(RichTextConversion, FailingOpenOrSaveIsPassedOverAndTheStepsGoOn) {
  WriteRtf(rtf_);
  log_.failOpen = true;
  EXPECT_TRUE(fncConvertRTF2HTML(services_, factory_, objWord_, rtf_, target_));
  EXPECT_FALSE(fs::exists(rtf_));
  EXPECT_FALSE(fs::exists(target_));

  log_.failOpen = false;
  log_.failSave = true;
  log_.calls.clear();
  WriteRtf(rtf_);
  EXPECT_TRUE(fncConvertRTF2HTML(services_, factory_, objWord_, rtf_, target_));
  EXPECT_EQ(log_.calls.back(), "Close 0") << "the document is closed after a failed save";
  EXPECT_FALSE(fs::exists(rtf_));
  EXPECT_FALSE(fs::exists(target_));
  EXPECT_FALSE(reporter_.ReportShown());
}

// The cut of the converted page. Inputs and results are built from the marks the page is
// searched for: the section division in two spellings and four separator paragraphs.
TEST(FilteredWordHtml, CutsFromTheSectionDivisionThroughTheFirstSeparatorFound) {
  const std::string sep1 = "<p class=MsoNormal>&nbsp;</p>";
  const std::string sep2 =
      "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0in;margin-bottom:5.0pt;"
      "\r\nmargin-left:0in;text-autospace:none'>";
  const std::string sep3 =
      "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0cm;margin-bottom:5.0pt;"
      "\r\nmargin-left:0cm;text-autospace:none'>";
  const std::string sep4 = "<p class=MsoNormal style='text-autospace:none'>";
  const std::string div = "<div class=Section1>";
  const std::string DIV = "<DIV class=Section1>";
  const std::string head = "<html><head><style>p {}</style></head><body lang=EN-US>";

  struct Case {
    const char* name;
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"no division", head + "<p>text</p>" + sep1 + "</body>",
       head + "<p>text</p>" + sep1 + "</body>"},
      {"division in other letter cases",
       head + "<Div class=Section1>" + sep1 + "x" + "<div class=section1>",
       head + "<Div class=Section1>" + sep1 + "x" + "<div class=section1>"},
      {"division without separators", head + div + "<p class=MsoNormal>text</p></div>",
       head + div + "<p class=MsoNormal>text</p></div>"},
      {"first separator", head + div + sep1 + "<p>Body</p></div></body>",
       head + "\r\n<p>Body</p></div></body>"},
      {"upper-case division", head + DIV + sep1 + "Body</DIV>", head + "\r\nBody</DIV>"},
      {"second separator with its CR LF", head + div + sep2 + "Text</p></div>",
       head + "\r\nText</p></div>"},
      {"third separator", head + div + sep3 + "Text</p></div>", head + "\r\nText</p></div>"},
      {"fourth separator", head + div + sep4 + "Text</p></div>", head + "\r\nText</p></div>"},
      {"second separator with a bare LF is not found",
       head + div +
           "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0in;margin-bottom:5.0pt;\n"
           "margin-left:0in;text-autospace:none'>Text</p>",
       head + div +
           "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0in;margin-bottom:5.0pt;\n"
           "margin-left:0in;text-autospace:none'>Text</p>"},
      {"separator in other letter case is not found", head + div + "<P class=MsoNormal>&nbsp;</P>x",
       head + div + "<P class=MsoNormal>&nbsp;</P>x"},
      {"first form wins over an earlier later form", head + div + sep4 + "A" + sep1 + "B",
       head + "\r\nB"},
      {"lower-case division wins over an earlier upper-case one",
       "H" + DIV + "I" + div + sep1 + "J", "H" + DIV + "I" + "\r\nJ"},
      {"separator before the division repeats the text between them",
       "<head>" + sep1 + "between" + div + "after",
       "<head>" + sep1 + "between" + "\r\n" + "between" + div + "after"},
      {"empty text", "", ""},
  };
  testing::ScriptedDialogs dialogs;
  ErrorReporter reporter(dialogs, {});
  Services services{reporter, nullptr};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ": " + c.input);
    EXPECT_EQ(fncFilteredWordHTML(services, c.input), c.expected);
  }
  EXPECT_FALSE(reporter.ReportShown());
}

}  // namespace
}  // namespace lorva
