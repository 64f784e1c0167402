// The Outlook-written files of tests/data/real and tests/data/msg: each reads as the README beside
// it says (class, subject, bodies, attachments), with no character lost to U+FFFD, and the store's
// item, which reads the file part by part, gives what the whole parse (ReadMsg) gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "platform/mailstore/compressed_rtf.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"
#include "support_code/temp_folder.h"

namespace lorva::mailstore {
namespace {

using lorva::testing::TempFolder;
using outlook::OlBodyFormat;
using Bytes = std::vector<std::uint8_t>;

const std::filesystem::path kCorpusDir = LORVA_CORPUS_DIR, kRealCorpusDir = LORVA_REAL_CORPUS_DIR;

Bytes Load(const std::filesystem::path& folder, const std::string& file) {
  const std::string bytes = TempFolder::Read((folder / file).string());
  if (bytes.empty()) throw Error(errnum::kFileNotFound, "cannot read " + file);
  return Bytes(bytes.begin(), bytes.end());
}

// The store's item made from `bytes` gives what the whole parse gives: class, subject, bodies
// (those of the whole parse's content written out again where the item has no HTML of its own)
// and attachments.
void ExpectItemAsWholeParse(const Bytes& bytes, const std::string& name) {
  const MsgContent whole = ReadMsg(bytes);
  const std::shared_ptr<outlook::OutlookItem> item = MakeItem(bytes, name);
  const std::shared_ptr<outlook::OutlookItem> rewritten = MakeItem(whole, "rewritten.msg");
  EXPECT_EQ(item->MessageClass(), whole.messageClass);
  EXPECT_EQ(item->Subject(), whole.subject);
  EXPECT_EQ(item->HTMLBody(), rewritten->HTMLBody());
  TempFolder temp;
  if (whole.compressedRtf) {
    item->SaveAs(temp / "copy.rtf", 1);
    EXPECT_EQ(TempFolder::Read(temp / "copy.rtf"), DecompressRtf(*whole.compressedRtf));
  }
  const auto attachments = item->Attachments();
  ASSERT_EQ(attachments->Count(), static_cast<int>(whole.attachments.size()));
  for (int k = 1; k <= attachments->Count(); ++k) {
    const MsgAttachment& expected = whole.attachments[static_cast<std::size_t>(k - 1)];
    SCOPED_TRACE("attachment " + std::to_string(k) + " (" + expected.ShownName() + ")");
    const auto attachment = attachments->Item(k);
    EXPECT_EQ(attachment->DisplayName(), expected.ShownName());
    EXPECT_EQ(attachment->ContentId(), expected.contentId);
    EXPECT_EQ(attachment->Hidden(), expected.hidden);
    const std::string path = temp / ("attachment" + std::to_string(k));
    attachment->SaveAsFile(path);
    const std::string saved = TempFolder::Read(path);
    EXPECT_EQ(Bytes(saved.begin(), saved.end()), expected.data);
  }
}

// One row of the README's table: the file, its class, its subject ("(empty)" there), the bodies
// it holds (P plain text, H HTML, R rich text; "none"), and its attachments as
// "name (file|msg[+hidden][+cid])": a by-value file or an embedded message, marked hidden, with a
// content id; "(no name)" for an attachment without one.
struct RealFile {
  std::string file, messageClass, subject, bodies;
  std::vector<std::string> attachments;
};

// The README's rows "| file | source | class | subject | N: attachment, ... | bodies; strings |".
std::vector<RealFile> ReadmeRows() {
  std::vector<RealFile> rows;
  std::ifstream in(kRealCorpusDir / "README.md");
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("| hh_") && !line.starts_with("| poi_")) continue;
    std::vector<std::string> cells;
    for (std::size_t at = 2, end; at < line.size(); at = end + 3) {
      end = std::min(line.find(" | ", at), line.size() - 2);
      cells.push_back(line.substr(at, end - at));
    }
    if (cells.size() != 6) throw Error(errnum::kBadFileFormat, "README row: " + line);
    RealFile row{cells[0],
                 cells[2],
                 cells[3] == "(empty)" ? "" : cells[3],
                 cells[5].substr(0, cells[5].find(';')),
                 {}};
    const std::size_t colon = cells[4].find(": ");
    for (std::size_t at = colon == std::string::npos ? cells[4].size() : colon + 2, end;
         at < cells[4].size(); at = end + 2) {
      end = cells[4].find("), ", at);
      end = end == std::string::npos ? cells[4].size() : end + 1;
      row.attachments.push_back(cells[4].substr(at, end - at));
    }
    rows.push_back(row);
  }
  return rows;
}

std::string Bodies(const MsgContent& c) {
  std::string bodies;
  if (c.plainBody) bodies += 'P';
  if (c.htmlBody) bodies += 'H';
  if (c.compressedRtf) bodies += 'R';
  return bodies.empty() ? "none" : bodies;
}

std::string Described(const MsgAttachment& a) {
  std::string kind = a.method == 5 ? "msg" : "file";
  if (a.hidden) kind += "+hidden";
  if (!a.contentId.empty()) kind += "+cid";
  return (a.ShownName().empty() ? "(no name)" : a.ShownName()) + " (" + kind + ")";
}

bool HasReplacementCharacter(std::string_view text) {
  return text.find("\uFFFD") != std::string_view::npos;
}

class RealCorpusTest : public ::testing::TestWithParam<RealFile> {};

// Each file reads as the README says, loses no character to U+FFFD (its embedded messages, read
// on their own, neither), keeps the pictures its attachments are referenced as in its HTML, and
// reads part by part as whole.
TEST_P(RealCorpusTest, ReadsAsItsReadmeSays) {
  const RealFile& f = GetParam();
  const Bytes bytes = Load(kRealCorpusDir, f.file);
  MsgContent content;
  ASSERT_NO_THROW(content = ReadMsg(bytes));
  EXPECT_EQ(content.messageClass, f.messageClass);
  EXPECT_EQ(content.subject, f.subject);
  EXPECT_EQ(Bodies(content), f.bodies);
  std::vector<std::string> attachments;
  for (const MsgAttachment& a : content.attachments) attachments.push_back(Described(a));
  EXPECT_EQ(attachments, f.attachments);

  const auto item = MakeItem(bytes, f.file);
  const std::string html = item->HTMLBody();
  // (The subject and the attachments' names are compared whole above.)
  for (const std::string& text : {content.plainBody.value_or(""), html}) {
    EXPECT_FALSE(HasReplacementCharacter(text)) << text;
  }
  for (const MsgAttachment& a : content.attachments) {
    if (a.method == 5) {
      MsgContent embedded;
      ASSERT_NO_THROW(embedded = ReadMsg(a.data)) << a.ShownName();
      EXPECT_FALSE(HasReplacementCharacter(embedded.subject)) << embedded.subject;
    }
    if (!a.contentId.empty()) {
      EXPECT_EQ(item->BodyFormat(), OlBodyFormat::kHtml);
      EXPECT_NE(html.find("cid:" + a.contentId), std::string::npos) << a.contentId;
    }
  }
  ExpectItemAsWholeParse(bytes, f.file);
}

INSTANTIATE_TEST_SUITE_P(Readme, RealCorpusTest, ::testing::ValuesIn(ReadmeRows()),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           name.resize(name.size() - 4);  // ".msg"
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// Only genuine rich text goes through the word processor: rich text that wraps the HTML does not
// (for the files with inline pictures that is checked above), nor does an item whose HTML is its
// own body.
TEST(RealCorpusTest, BodyFormatTellsGenuineRichText) {
  const std::pair<OlBodyFormat, std::vector<const char*>> cases[] = {
      // Rich text wrapping the HTML in 932; a UTF-8 wrapper carrying single \'a0 bytes; HTML alone.
      {OlBodyFormat::kHtml,
       {"hh_nonUnicodeCP932.msg", "poi_message_1979.msg",
        "hh_newOutlook_Microsoft_Outlook_test.msg"}},
      // Rich text written as such (the HTML beside it says it was converted from it), named as
      // the native body, or made from plain text with no HTML.
      {OlBodyFormat::kRichText,
       {"poi_chinese-traditional.msg", "poi_outlook_30_msg.msg", "hh_sent2.msg",
        "poi_cyrillic_message.msg"}},
      // Plain text alone (no body at all takes the same way).
      {OlBodyFormat::kPlain, {"poi_lots-of-recipients.msg"}},
  };
  for (const auto& [format, files] : cases) {
    for (const char* file : files) {
      EXPECT_EQ(MakeItem(Load(kRealCorpusDir, file), file)->BodyFormat(), format) << file;
    }
  }
}

// The files of tests/data/msg, as the README beside them says, read part by part as whole.
// Attachments keep their bytes (a JPEG), 8-bit text is read in its code page
// (windows-1252 0x85 is the ellipsis U+2026), and the bodies are there.
TEST(MsgCorpusTest, ReadsClassSubjectAttachmentsAndBodies) {
  const struct {
    const char *file, *messageClass, *subject;
    std::vector<std::string> attachments;
  } cases[] = {
      {"charset.msg", "IPM.Note", "PST Export - Embedded Email Test", {}},
      {"gpg_signed.msg", "IPM.Note.SMIME.MultipartSigned", "Test for MSGConvert", {""}},
      {"plain_jpeg_attached.msg", "IPM.Note", "test", {"test.jpg"}},
      {"plain_uc_unsent.msg", "IPM.Note", "Test for MSGConvert -- plain text", {}},
      {"plain_uc_wc_unsent.msg", "IPM.Note", "Test for MSGConvert -- plain text", {}},
      {"plain_unsent.msg", "IPM.Note", "Test for MSGConvert -- plain text", {}},
      {"strangeDate.msg", "IPM.Note", "MSG Test File", {}},
      {"unicode.msg",
       "IPM.Note",
       "Test for TIF files",
       {"import OleFileIO.tif", "raised value error.tif"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const Bytes bytes = Load(kCorpusDir, c.file);
    const MsgContent content = ReadMsg(bytes);
    EXPECT_EQ(content.messageClass, c.messageClass);
    EXPECT_EQ(content.subject, c.subject);
    std::vector<std::string> names;
    for (const auto& a : content.attachments) names.push_back(a.ShownName());
    EXPECT_EQ(names, c.attachments);
    ExpectItemAsWholeParse(bytes, c.file);
  }
  const MsgContent jpeg = ReadMsg(Load(kCorpusDir, "plain_jpeg_attached.msg"));
  EXPECT_EQ(std::string(jpeg.attachments.at(0).data.begin(), jpeg.attachments[0].data.begin() + 3),
            "\xFF\xD8\xFF");
  const MsgContent charset = ReadMsg(Load(kCorpusDir, "charset.msg"));
  EXPECT_TRUE(charset.plainBody.value_or("").starts_with(
      "This email contains an email\u2026 Email-ception!!!"));
  EXPECT_NE(charset.htmlBody.value_or("").find("<html"), std::string::npos);
}

}  // namespace
}  // namespace lorva::mailstore
