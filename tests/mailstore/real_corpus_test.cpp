// The real Outlook-written files of tests/data/real: each reads as the README beside them says
// (class, subject, bodies, attachments), with no character lost to U+FFFD, and the store lists
// them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "mailstore/corpus.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"

namespace lorva::mailstore {
namespace {

using outlook::OlBodyFormat;
using testing::kRealCorpusDir;

// One row of the README's table: the file, its class, its subject ("(empty)" there), the bodies
// it holds (P plain text, H HTML, R rich text; "none"), and its attachments as
// "name (file|msg[+hidden][+cid])": a by-value file or an embedded message, marked hidden, with a
// content id; "(no name)" for an attachment without one.
struct RealFile {
  std::string file, messageClass, subject, bodies;
  std::vector<std::string> attachments;
};

void PrintTo(const RealFile& f, std::ostream* out) {
  *out << f.file;
}

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

std::vector<std::uint8_t> Load(const std::string& file) {
  std::vector<std::uint8_t> bytes = testing::LoadCorpusFile(kRealCorpusDir, file);
  if (bytes.empty()) throw Error(errnum::kFileNotFound, "cannot read " + file);
  return bytes;
}

MsgContent Read(const std::string& file) {
  return ReadMsg(Load(file));
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
// on their own, neither), and keeps the pictures its attachments are referenced as in its HTML.
TEST_P(RealCorpusTest, ReadsAsItsReadmeSays) {
  const RealFile& f = GetParam();
  MsgContent content;
  ASSERT_NO_THROW(content = Read(f.file));
  EXPECT_EQ(content.messageClass, f.messageClass);
  EXPECT_EQ(content.subject, f.subject);
  EXPECT_EQ(Bodies(content), f.bodies);
  std::vector<std::string> attachments;
  for (const MsgAttachment& a : content.attachments) attachments.push_back(Described(a));
  EXPECT_EQ(attachments, f.attachments);

  const auto item = MakeItem(Load(f.file), f.file);
  const std::string html = item->HTMLBody();
  for (const std::string& text : {content.subject, content.plainBody.value_or(""), html}) {
    EXPECT_FALSE(HasReplacementCharacter(text)) << text;
  }
  for (const MsgAttachment& a : content.attachments) {
    EXPECT_FALSE(HasReplacementCharacter(a.ShownName())) << a.ShownName();
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

// Only genuine rich text goes through the word processor: rich text that wraps the HTML (with
// its pictures) does not, nor does an item whose HTML is its own body.
TEST(RealCorpusTest, BodyFormatTellsGenuineRichText) {
  struct Case {
    const char* file;
    OlBodyFormat format;
  };
  const Case cases[] = {
      // Rich text wrapping the HTML, with inline pictures, in 932 and 1252.
      {"hh_attachAndInline.msg", OlBodyFormat::kHtml},
      {"poi_attachment_msg_inlineImg.msg", OlBodyFormat::kHtml},
      {"poi_example_sent_regular.msg", OlBodyFormat::kHtml},
      {"hh_nonUnicodeCP932.msg", OlBodyFormat::kHtml},
      // A UTF-8 wrapper carrying single \'a0 bytes.
      {"poi_message_1979.msg", OlBodyFormat::kHtml},
      // HTML alone.
      {"hh_newOutlook_Microsoft_Outlook_test.msg", OlBodyFormat::kHtml},
      {"poi_HTMLBodyBinary_CP1251.msg", OlBodyFormat::kHtml},
      // Rich text written as such; the HTML beside it says it was converted from it.
      {"poi_chinese-traditional.msg", OlBodyFormat::kRichText},
      {"poi_outlook_30_msg.msg", OlBodyFormat::kRichText},
      // Rich text the item names as its native body.
      {"hh_sent2.msg", OlBodyFormat::kRichText},
      // Rich text made from plain text, and no HTML.
      {"poi_cyrillic_message.msg", OlBodyFormat::kRichText},
      // Plain text alone, and no body at all.
      {"poi_lots-of-recipients.msg", OlBodyFormat::kPlain},
      {"hh_voteNo.msg", OlBodyFormat::kPlain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(MakeItem(Load(c.file), c.file)->BodyFormat(), c.format);
  }
}

}  // namespace
}  // namespace lorva::mailstore
