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

TEST(MsgCorpusTest, JpegAttachmentKeepsItsBytes) {
  const MsgContent content = ReadMsg(LoadCorpusFile("plain_jpeg_attached.msg"));
  ASSERT_EQ(content.attachments.size(), 1u);
  const auto& data = content.attachments[0].data;
  ASSERT_GE(data.size(), 3u);
  EXPECT_EQ(data[0], 0xFF);
  EXPECT_EQ(data[1], 0xD8);
  EXPECT_EQ(data[2], 0xFF);
  EXPECT_EQ(content.attachments[0].ShownName(), "test.jpg");
}

TEST(MsgCorpusTest, TiffAttachmentsKeepTheirBytes) {
  const MsgContent content = ReadMsg(LoadCorpusFile("unicode.msg"));
  ASSERT_EQ(content.attachments.size(), 2u);
  for (const auto& a : content.attachments) {
    SCOPED_TRACE(a.displayName);
    ASSERT_GE(a.data.size(), 4u);
    const bool little = a.data[0] == 'I' && a.data[1] == 'I' && a.data[2] == 42 && a.data[3] == 0;
    const bool big = a.data[0] == 'M' && a.data[1] == 'M' && a.data[2] == 0 && a.data[3] == 42;
    EXPECT_TRUE(little || big);
  }
}

TEST(MsgCorpusTest, EightBitTextIsDecodedByItsCodePage) {
  const MsgContent content = ReadMsg(LoadCorpusFile("charset.msg"));
  ASSERT_TRUE(content.plainBody.has_value());
  // windows-1252 byte 0x85 is the horizontal ellipsis U+2026.
  EXPECT_EQ(content.plainBody->rfind("This email contains an email\u2026 Email-ception!!!", 0), 0u)
      << *content.plainBody;
  ASSERT_TRUE(content.htmlBody.has_value());
  EXPECT_NE(content.htmlBody->find("<html"), std::string::npos);
}

TEST(MsgCorpusTest, BodiesAreRead) {
  for (const char* file : {"plain_unsent.msg", "plain_uc_unsent.msg", "unicode.msg"}) {
    SCOPED_TRACE(file);
    const MsgContent content = ReadMsg(LoadCorpusFile(file));
    ASSERT_TRUE(content.plainBody.has_value());
    EXPECT_FALSE(content.plainBody->empty());
    ASSERT_TRUE(content.compressedRtf.has_value());
    EXPECT_GT(content.compressedRtf->size(), 16u);
  }
}

}  // namespace
}  // namespace lorva::mailstore
