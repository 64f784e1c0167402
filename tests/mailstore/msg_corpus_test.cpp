// Reading .msg files that Outlook itself wrote.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "mailstore/corpus.h"
#include "platform/mailstore/msg_content.h"

namespace lorva::mailstore {
namespace {

std::vector<std::uint8_t> LoadCorpusFile(const std::string& name) {
  return testing::LoadCorpusFile(testing::kCorpusDir, name);
}

struct CorpusCase {
  const char* file;
  const char* messageClass;
  const char* subject;
  std::vector<std::string> attachmentNames;
};

class MsgCorpusTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(MsgCorpusTest, ReadsClassSubjectAndAttachmentNames) {
  const CorpusCase& c = GetParam();
  SCOPED_TRACE(c.file);
  const auto bytes = LoadCorpusFile(c.file);
  ASSERT_FALSE(bytes.empty());
  const MsgContent content = ReadMsg(bytes);
  EXPECT_EQ(content.messageClass, c.messageClass);
  EXPECT_EQ(content.subject, c.subject);
  std::vector<std::string> names;
  for (const auto& a : content.attachments) names.push_back(a.ShownName());
  EXPECT_EQ(names, c.attachmentNames);
}

INSTANTIATE_TEST_SUITE_P(
    OutlookWritten, MsgCorpusTest,
    ::testing::Values(
        CorpusCase{"charset.msg", "IPM.Note", "PST Export - Embedded Email Test", {}},
        CorpusCase{"gpg_signed.msg", "IPM.Note.SMIME.MultipartSigned", "Test for MSGConvert", {""}},
        CorpusCase{"plain_jpeg_attached.msg", "IPM.Note", "test", {"test.jpg"}},
        CorpusCase{"plain_uc_unsent.msg", "IPM.Note", "Test for MSGConvert -- plain text", {}},
        CorpusCase{"plain_uc_wc_unsent.msg", "IPM.Note", "Test for MSGConvert -- plain text", {}},
        CorpusCase{"plain_unsent.msg", "IPM.Note", "Test for MSGConvert -- plain text", {}},
        CorpusCase{"strangeDate.msg", "IPM.Note", "MSG Test File", {}},
        CorpusCase{"unicode.msg",
                   "IPM.Note",
                   "Test for TIF files",
                   {"import OleFileIO.tif", "raised value error.tif"}}),
    [](const auto& info) {
      std::string name = info.param.file;
      for (char& ch : name) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

// Attachments keep their bytes (a JPEG, two TIFFs), 8-bit text is read in its code page
// (windows-1252 0x85 is the ellipsis U+2026), and the bodies are there.
TEST(MsgCorpusTest, AttachmentsBytesAndBodies) {
  const MsgContent jpeg = ReadMsg(LoadCorpusFile("plain_jpeg_attached.msg"));
  ASSERT_EQ(jpeg.attachments.size(), 1u);
  EXPECT_EQ(std::string(jpeg.attachments[0].data.begin(), jpeg.attachments[0].data.begin() + 3),
            "\xFF\xD8\xFF");
  for (const auto& tiff : ReadMsg(LoadCorpusFile("unicode.msg")).attachments) {
    const std::string head(tiff.data.begin(), tiff.data.begin() + 4);
    EXPECT_TRUE(head == std::string("II*\0", 4) || head == std::string("MM\0*", 4)) << head;
  }
  const MsgContent charset = ReadMsg(LoadCorpusFile("charset.msg"));
  EXPECT_TRUE(charset.plainBody.value_or("").starts_with(
      "This email contains an email\u2026 Email-ception!!!"));
  EXPECT_NE(charset.htmlBody.value_or("").find("<html"), std::string::npos);
  for (const char* file : {"plain_unsent.msg", "plain_uc_unsent.msg", "unicode.msg"}) {
    const MsgContent content = ReadMsg(LoadCorpusFile(file));
    EXPECT_FALSE(content.plainBody.value_or("").empty()) << file;
    EXPECT_GT(content.compressedRtf.value_or(std::vector<std::uint8_t>{}).size(), 16u) << file;
  }
}

}  // namespace
}  // namespace lorva::mailstore
