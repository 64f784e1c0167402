#include "archive/toc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "support_code/index_heads.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"

namespace lorva {
namespace {

using testing::kCollapsibleHead;
using testing::kPlainHead;

TEST(TocHeadTest, PlainHeadIsOneLineCollapsibleHeadSixteen) {
  EXPECT_EQ(PlainHead(), kPlainHead);
  EXPECT_EQ(PlainHead().size(), 145u);
  EXPECT_EQ(CollapsibleHead(), kCollapsibleHead);
  EXPECT_EQ(CollapsibleHead().size(), 534u);
  EXPECT_EQ(std::count(kCollapsibleHead.begin(), kCollapsibleHead.end(), '\n') + 1, 16);
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

}  // namespace
}  // namespace lorva
