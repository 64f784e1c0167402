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

// A read-only index is replaced, leaving no other file; where no index can be made the failure
// is reported and nothing returned.
TEST(FncWriteTocTest, ReplacesAReadOnlyIndexOrReportsWhyNot) {
  testing::TempFolder folder;
  testing::TestServices test;
  test.MakeReportsReturn();
  const std::string path = folder.Write("index.htm", "old index, read-only");
  ::chmod(path.c_str(), 0444);
  auto stream = fncWriteTOC(test.services, path, 0);
  ASSERT_NE(stream, nullptr);
  stream->Write("<ul></ul><br></body></html>");
  stream->Close();
  EXPECT_EQ(testing::TempFolder::Read(path), kPlainHead + "<ul></ul><br></body></html>");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
  EXPECT_FALSE(test.reporter.ReportShown());

  EXPECT_EQ(fncWriteTOC(test.services, folder / "missing/index.htm", 0), nullptr);
  EXPECT_NE(test.LastErrorDialog().find("Sub routine : fncWriteTOC \r\n"), std::string::npos);
}

// Subjects are listed once whatever their letter case, with room made beforehand or not, and as
// the table grows past its first size.
TEST(TocEntriesTest, ListsEachSubjectWhateverItsCaseAcrossGrowth) {
  for (const std::size_t reserved : {0, 1000}) {
    TocEntries entries;
    if (reserved != 0) entries.Reserve(reserved);
    for (int n = 0; n < 300; ++n) {
      const std::string subject = "Printer " + std::to_string(n);
      ASSERT_FALSE(entries.Lists(TocEntries::Key(subject))) << subject;
      entries.Add(TocEntries::Key(subject), subject, std::to_string(n) + ".htm");
    }
    for (int n = 0; n < 300; ++n) {
      EXPECT_TRUE(entries.Lists(TocEntries::Key("printer " + std::to_string(n)))) << n;
    }
    EXPECT_FALSE(entries.Lists(TocEntries::Key("Printer 300")));
  }
}

}  // namespace
}  // namespace lorva
