#include "page/page_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

const std::string kLink = "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />";
const std::string kToc = "<a href='index.htm'><b>Table of Contents (index)</b></a>";
const std::string kAttachments = "<ul><li>notes.txt</li></ul>";
// The article header for the record below.
const std::string kHeader =
    "<h1>Printer jams</h1><a href='index.htm'><b>Table of Contents (index)</b></a>"
    "<hr><b>Problem Type     : </b>Hardware<br><b>Problem Category : </b>Printers<br><hr><br>";

cArticle MakeArticle(const std::string& body) {
  cArticle article;
  article.Subject = "Printer jams";
  article.ProblemType = "Hardware";
  article.ProblemCategory = "Printers";
  article.Body = body;
  article.Attachments = kAttachments;
  article.TOClink = kToc;
  return article;
}

TEST(ComposePageTest, PatchesTitleLinkAndHeaderIntoTheBody) {
  const struct {
    const char* what;
    std::string body, expected;  // the page without the attachments and the back link
  } cases[] = {
      {"typical body",
       "<html><head><title>Jams</title></head><body><p>Open the tray.</p></body></html>",
       "<html><head><title>Jams</title>" + kLink + "</head><body>" + kHeader +
           "<p>Open the tray.</p></body></html>"},
      {"empty upper-case title", "<HTML><HEAD><TITLE></TITLE></HEAD><BODY>x</BODY></HTML>",
       "<HTML><HEAD><TITLE>Printer jams</TITLE>" + kLink + "</HEAD><BODY>" + kHeader +
           "x</BODY></HTML>"},
      {"no title end tag", "<body>x</body>", kLink + "<body>" + kHeader + "x</body>"},
      {"body tag with attributes and no title", "<html><body lang=EN-US>x</body></html>",
       kHeader + kLink + "<html><body lang=EN-US>x</body></html>"},
      {"two body tags", "<title>t</title><body>a<body>b",
       "<title>t</title>" + kLink + "<body>" + kHeader + "a<body>" + kHeader + "b"},
      {"lower-case title wins over upper-case", "<TITLE></TITLE><title>x</title><BODY>",
       "<TITLE>Printer jams</TITLE><title>x</title>" + kLink + "<BODY>" + kHeader},
      {"lone &#65535; removed, other references stay", "<body>a&#65535;b&#233;&#65535;</body>",
       kLink + "<body>" + kHeader + "ab&#233;</body>"},
      // An empty title element is filled whatever its letter case; the tags keep theirs, and
      // the style-sheet link still follows only an exact "</title>" or "</TITLE>".
      {"empty mixed-case title", "<Title></tITLE><body>",
       kLink + "<Title>Printer jams</tITLE><body>" + kHeader},
      {"a blank is no empty title", "<title> </title><body>",
       "<title> </title>" + kLink + "<body>" + kHeader},
      {"tags at the ends of sixteen-byte blocks", std::string(15, 'x') + "<title>t</title>x<body>z",
       std::string(15, 'x') + "<title>t</title>" + kLink + "x<body>" + kHeader + "z"},
      {"tags at the ends of thirty-two-byte blocks",
       std::string(31, 'x') + "<title>t</title>x<body>z",
       std::string(31, 'x') + "<title>t</title>" + kLink + "x<body>" + kHeader + "z"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ": " + c.body);
    cArticle article = MakeArticle(c.body);
    EXPECT_EQ(ComposePage(article), c.expected + kAttachments + "<hr>" + kToc);
  }
}

long FilesIn(const std::filesystem::path& folder) {
  return std::distance(std::filesystem::directory_iterator(folder), {});
}

// The article's own texts are shown as written (escaped, the unusable reference dropped); the
// body is markup and stays; an empty back link leaves nothing between heading and rule. The page
// is written as ASCII with character references, over an existing page (read-only or not) only
// with overwrite 1, and nothing but the page is left.
TEST(SubWriteHtmlTest, WritesTheTextsEscapedAsAsciiAndReplacesOnlyWithOverwrite) {
  testing::TempFolder folder;
  testing::TestServices test;
  const std::string path = folder.Write("page.htm", "earlier page");
  cArticle article;
  article.Subject = "Use <b> & \"quotes\" 'here'&#65535; \xD0\x9F";  // П
  article.ProblemType = "A<B \xCE\xA5";                              // Υ
  article.ProblemCategory = "R&D \xE5\x8D\xB0";                      // 印
  article.Body = "<TITLE></TITLE><BODY><p>a &amp; <i>b</i> caf\xC3\xA9 \xF0\x9F\x96\xA8</p>";
  article.Attachments = "<li>&#65535;f</li>";
  for (const int overwrite : {0, 2}) {
    subWriteHTML(test.services, path, article, overwrite);
    EXPECT_EQ(testing::TempFolder::Read(path), "earlier page") << overwrite;
  }
  ::chmod(path.c_str(), 0444);
  subWriteHTML(test.services, path, article, 1);
  const std::string subject = "Use &lt;b&gt; &amp; &quot;quotes&quot; &#39;here&#39; &#1055;";
  EXPECT_EQ(testing::TempFolder::Read(path),
            "<TITLE>" + subject + "</TITLE>" + kLink + "<BODY><h1>" + subject +
                "</h1><hr><b>Problem Type     : </b>A&lt;B &#933;<br><b>Problem Category : "
                "</b>R&amp;D &#21360;<br><hr><br><p>a &amp; <i>b</i> caf&#233; &#128424;</p>"
                "<li>f</li><hr>");
  EXPECT_EQ(FilesIn(folder.path()), 1);
  EXPECT_TRUE(test.dialogs.shown().empty());
}

// A file service whose streams write half the text and then fail with error `number`.
struct FailingWrites : FileSystemObject {
  struct Stream : TextStream {
    std::unique_ptr<TextStream> inner;
    int number = 0;
    void Write(const std::string& text) override {
      inner->Write(text.substr(0, text.size() / 2));
      throw Error(number, "Disk full");
    }
    bool AtEndOfStream() override { return true; }
    std::string ReadAll() override { return ""; }
    void Close() override { inner->Close(); }
  };
  std::unique_ptr<TextStream> CreateReplacingTextFile(const std::string& path) override {
    auto stream = std::make_unique<Stream>();
    stream->inner = FileSystemObject::CreateReplacingTextFile(path);
    stream->number = number;
    return stream;
  }
  int number = 0;
};

// A write that fails keeps what stood at the page and leaves no temporary file; error 5 is passed
// over without a report, any other is reported. Error 0: a folder stands at the page.
TEST(SubWriteHtmlTest, FailedWriteKeepsTheEarlierPage) {
  testing::TempFolder folder;
  const std::string path = folder / "page.htm";
  const struct {
    int number;
    std::string report;
  } cases[] = {{61, "Disk full\r\n#61\r\n\r\nSub routine : subWriteHTML \r\n"},
               {5, ""},
               {0, "Permission denied: " + path + "\r\n#70\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    testing::TestServices test;  // a report that returns does so once in a program
    test.MakeReportsReturn();
    if (c.number == 0) {
      std::filesystem::remove(path);
      std::filesystem::create_directory(path);
      test.services.fs = std::make_shared<FileSystemObject>();
    } else {
      folder.Write("page.htm", "earlier good page");
      auto failing = std::make_shared<FailingWrites>();
      failing->number = c.number;
      test.services.fs = failing;
    }
    cArticle article = MakeArticle("<body>new");
    subWriteHTML(test.services, path, article, 1);
    EXPECT_EQ(std::filesystem::is_directory(path) ? "folder" : testing::TempFolder::Read(path),
              c.number == 0 ? "folder" : "earlier good page");
    EXPECT_EQ(c.report.empty() ? test.dialogs.shown().empty()
                               : test.LastErrorDialog().find(c.report) != std::string::npos,
              true)
        << test.LastErrorDialog();
    EXPECT_EQ(FilesIn(folder.path()), 1);
  }
}

}  // namespace
}  // namespace lorva
