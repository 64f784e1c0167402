#include "archive/toc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

const std::string kPlainHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />"
    "</head><body><h1>Table of Contents</h1></p>";

const std::string kCollapsibleHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />\r\n"
    "<script language=\"JavaScript\" fptype=\"dynamicoutline\">\r\n"
    "<!--\r\n"
    "function dynOutline() {}\r\n"
    "//-->\r\n"
    "</script>\r\n"
    "\r\n"
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" src=\"outline.js\">\r\n"
    "</script>\r\n"
    "\r\n"
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" for=\"document\" "
    "event=\"onreadystatechange()\">\r\n"
    "<!--\r\n"
    "initOutline()\r\n"
    "//-->\r\n"
    "</script></head>\r\n"
    "<body onclick=\"dynOutline()\" language=\"Javascript1.2\"><h1>Table of Contents</h1></p>";

TEST(TocHeadTest, PlainHeadIsOneLineOf145Characters) {
  EXPECT_EQ(PlainHead(), kPlainHead);
  EXPECT_EQ(PlainHead().size(), 145u);
  EXPECT_EQ(PlainHead().find_first_of("\r\n"), std::string::npos);
}

TEST(TocHeadTest, CollapsibleHeadIs534CharactersOn16Lines) {
  EXPECT_EQ(CollapsibleHead(), kCollapsibleHead);
  EXPECT_EQ(CollapsibleHead().size(), 534u);
  const std::string head = CollapsibleHead();
  EXPECT_EQ(std::count(head.begin(), head.end(), '\n') + 1, 16);
  EXPECT_EQ(fncOutlineScripts().substr(fncOutlineScripts().size() - 9), "</script>");
}

TEST(FncWriteTocTest, ReplacesAReadOnlyIndexAndReturnsTheOpenStream) {
  testing::TempFolder folder;
  testing::TestServices test;
  const std::string path = folder.Write("index.htm", "old index, read-only");
  ::chmod(path.c_str(), 0444);
  auto stream = fncWriteTOC(test.services, path, 0);
  ASSERT_NE(stream, nullptr);
  stream->Write("<ul></ul><br></body></html>");
  stream->Close();
  EXPECT_EQ(testing::TempFolder::Read(path), kPlainHead + "<ul></ul><br></body></html>");

  // Until its stream is closed, the new index takes nobody's place: a run that ends without
  // closing it leaves the earlier one whole.
  auto unfinished = fncWriteTOC(test.services, path, 0);
  ASSERT_NE(unfinished, nullptr);
  unfinished->Write("<ul><li>");
  unfinished.reset();
  EXPECT_EQ(testing::TempFolder::Read(path), kPlainHead + "<ul></ul><br></body></html>");

  auto collapsible = fncWriteTOC(test.services, path, 3);
  ASSERT_NE(collapsible, nullptr);
  collapsible->Close();
  EXPECT_EQ(testing::TempFolder::Read(path), kCollapsibleHead);
  EXPECT_EQ(test.reporter.fncGetCurrentStep(), "Writing file to " + path);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(FncWriteTocTest, FailureIsReportedAndGivesNothing) {
  testing::TempFolder folder;
  testing::TestServices test;
  test.MakeReportsReturn();
  EXPECT_EQ(fncWriteTOC(test.services, folder / "missing/index.htm", 0), nullptr);
  EXPECT_NE(test.LastErrorDialog().find("Sub routine : fncWriteTOC \r\n"), std::string::npos);
}

TEST(FncGetFileNameTest, TextAfterTheLastSeparator) {
  struct Case {
    std::string path, expected;
  };
  const Case cases[] = {
      {"/srv/kb/Printer jams.htm", "Printer jams.htm"},
      {"1000.htm", "1000.htm"},
      {"/srv/kb/", ""},
      {"", ""},
      {"/srv/kb/It's #1.htm", "It's #1.htm"},
      {"/srv/a\\b/c.htm", "c.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("path: " + c.path);
    EXPECT_EQ(fncGetFileName(c.path), c.expected);
  }
}

}  // namespace
}  // namespace lorva
