// The real Outlook-written files of tests/data/real: each reads as the README beside them says
// (class, subject, bodies, attachments), with no character lost to U+FFFD, and the store lists
// them all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

// One row of the README's table.
struct RealFile {
  const char* file;
  const char* messageClass;
  const char* subject;  // "(empty)" there
  const char* bodies;   // P plain text, H HTML, R rich text; "none"
  // "name (file|msg[+hidden][+cid])": a by-value file or an embedded message, marked hidden,
  // with a content id; "(no name)" for an attachment without one.
  std::vector<std::string> attachments;
};

void PrintTo(const RealFile& f, std::ostream* out) {
  *out << f.file;
}

// clang-format off
const RealFile kRealFiles[] = {
    {"hh_200_recipients.msg", "IPM.Note", "200 recipients", "PR", {}},
    {"hh_7_days__everyday.msg", "IPM.Appointment", "7 days, everyday", "PR", {}},
    {"hh_A_black_friday__w_tz_.msg", "IPM.Appointment", "A black friday", "PR", {}},
    {"hh_A_black_friday__wo_tz_.msg", "IPM.Appointment", "A black friday", "PR", {}},
    {"hh_A_daily_1.msg", "IPM.Appointment", "A daily 1", "PR", {}},
    {"hh_A_memo.msg", "IPM.StickyNote", "A memo.", "PR", {}},
    {"hh_A_monthly_1.msg", "IPM.Appointment", "A monthly 1", "PR", {}},
    {"hh_A_schedule.msg", "IPM.Appointment", "A schedule", "PR", {}},
    {"hh_A_weekly_1.msg", "IPM.Appointment", "A weekly 1", "PR", {}},
    {"hh_A_yearly_1.msg", "IPM.Appointment", "A yearly 1", "PR", {}},
    {"hh_Appointment_sample_EST.msg", "IPM.Appointment", "Appointment sample EST", "PR", {}},
    {"hh_Attach_sample_eml_received.msg", "IPM.Note", "Attach sample.eml", "PR", {"sample.eml (555 バイト) (msg)"}},
    {"hh_Attach_sample_eml_sent.msg", "IPM.Note", "Attach sample.eml", "PR", {"sample.eml (file)"}},
    {"hh_Friday_Lunch.msg", "IPM.Appointment", "Friday Lunch", "PR", {"無題 (msg+hidden)", "無題 (msg+hidden)"}},
    {"hh_Hello__CJK.msg", "IPM.Note", "Hello +CJK", "PR", {}},
    {"hh_Lanch_time__every_friday__in_2023_chgs1.msg", "IPM.Appointment", "Lanch time, every friday, in 2023", "PR", {"無題 (msg+hidden)"}},
    {"hh_Lanch_time__every_friday__in_2023_chgs2.msg", "IPM.Appointment", "Lanch time, every friday, in 2023", "PR", {"無題 (msg+hidden)"}},
    {"hh_Lanch_time__every_friday__in_2023_org.msg", "IPM.Appointment", "Lanch time, every friday, in 2023", "PR", {}},
    {"hh_Many_entities.msg", "IPM.Note", "Many entities", "PR", {"ワークフロー通知 (最終承認済み) (msg)", "ワークフロー通知 (最終承認済み) (msg)", "ワークフロー通知 (最終承認済み) (msg)", "ワークフロー通知 (承認依頼) (msg)", "ワークフロー通知 (差戻し) (msg)", "ワークフロー通知 (承認依頼) (msg)", "ワークフロー通知 (却下) (msg)", "ワークフロー通知 (最終承認済み) (msg)", "ワークフロー通知 (承認依頼) (msg)", "テストメール (msg)", "ワークフロー通知 (差し戻し) (msg)", "ワークフロー通知 (承認依頼) (msg)", "ワークフロー通知 (承認依頼) (msg)", "ワークフロー通知 (却下) (msg)", "ワークフロー通知 (差し戻し) (msg)", "ワークフロー通知 (却下) (msg)", "ワークフロー通知 (最終承認済み) (msg)", "ワークフロー通知 (承認依頼) (msg)", "テストメール (msg)", "テストメール (msg)", "テストメール (msg)", "テストメール (msg)"}},
    {"hh_Simple.msg", "IPM.Note", "Simple", "PR", {}},
    {"hh_Subject.msg", "IPM.Note", "Subject", "PR", {}},
    {"hh_attachAndInline.msg", "IPM.Note", "Attach and inline", "PR", {"attach.png (file)", "image001.png (file+hidden+cid)"}},
    {"hh_attachmentFiles.msg", "IPM.Note", "attachmentFiles", "PR", {"jpg.jpg (file)", "png.png (file)", "tif.tif (file)"}},
    {"hh_attachmentsOrder.msg", "IPM.Note", "Attachments order", "PR", {"A.docx (file)", "B.docx (file)", "C.docx (file)", "D.docx (file)"}},
    {"hh_contactAnsi.msg", "IPM.Contact", "コム ドット イグザンプル 殿", "PR", {}},
    {"hh_contactUnicode.msg", "IPM.Contact", "コム ドット イグザンプル 殿", "PR", {}},
    {"hh_htmlLink.msg", "IPM.Note", "htmlLink", "PR", {}},
    {"hh_htmlLink2.msg", "IPM.Note", "htmlLink2", "PR", {}},
    {"hh_longerFat.msg", "IPM.Note", "Has Has 64KB bin.msg", "PR", {"Has 64KB.bin (msg)"}},
    {"hh_msgInMsg.msg", "IPM.Note", "I have attachments!", "PR", {"Microsoft Outlook テスト メッセージ (msg)", "green.png (file)"}},
    {"hh_msgInMsgInMsg.msg", "IPM.Note", "I have sub attachments!", "PR", {"I have attachments! (msg)", "blue.png (file)"}},
    {"hh_newOutlook_Microsoft_Outlook_test.msg", "IPM.Note", "Microsoft Outlook テスト メッセージ", "H", {}},
    {"hh_nonUnicodeCP932.msg", "IPM.Note", "日本語 Non Unicode タイトル", "PR", {}},
    {"hh_nonUnicodeMail.msg", "IPM.Note", "Non Unicode mail subject", "PR", {}},
    {"hh_sent.msg", "IPM.Note", "Sent time", "PR", {}},
    {"hh_sent2.msg", "IPM.Note", "Sending test", "PR", {}},
    {"hh_test.msg", "IPM.Note", "asdf", "PR", {"5AAoPFgV-nJ965R7o-98C38840-4454-4750-9AEF-F53DB3E37548.jpg (file)"}},
    {"hh_test1.msg", "IPM.Note", "title", "PR", {}},
    {"hh_test2.msg", "IPM.Note", "", "PR", {"A.txt (file)"}},
    {"hh_unicode1.msg", "IPM.Note", "畑㵲応ｲ瑤㵨㠱", "PR", {}},
    {"hh_voteItems.msg", "IPM.Note", "3 vote items: はい;いいえ;たぶん", "PR", {}},
    {"hh_voteNo.msg", "IPM.Note", "いいえ: 3 vote items: はい;いいえ;たぶん", "none", {}},
    {"hh_voteYes.msg", "IPM.Note", "はい: 3 vote items: はい;いいえ;たぶん", "none", {}},
    {"poi_51873.msg", "IPM.Note", "Test with Olk10SideProps_ Chunk", "PR", {}},
    {"poi_53784_fails.msg", "IPM.Note", "Draft to La Tetra", "PHR", {}},
    {"poi_53784_succeeds.msg", "IPM.Note", "HAC Annual Report", "PHR", {}},
    {"poi_58214_extracted_attachment.msg", "IPM.Note", "Test mail attachment", "PR", {}},
    {"poi_58214_with_attachment.msg", "IPM.Note", "Master mail", "PR", {"Test mail attachment (msg)"}},
    {"poi_ASCII_CP1251_LCID1049.msg", "IPM.Note", "Subject автоматически Subject", "PH", {}},
    {"poi_ASCII_UTF-8_CP1252_LCID1031.msg", "IPM.Note", "Subject öäü Subject", "P", {}},
    {"poi_ASCII_UTF-8_CP1252_LCID1031_HTML.msg", "IPM.Note", "Subject öäü Subject", "PH", {}},
    {"poi_HTMLBodyBinary_CP1251.msg", "IPM.Note", "Subject öäü Subject", "H", {}},
    {"poi_HTMLBodyBinary_UTF-8.msg", "IPM.Note", "Subject öäü Subject", "H", {}},
    {"poi_attachment_msg_inlineImg.msg", "IPM.Note", "How to use and check database files from device", "PHR", {"image001.png (file+hidden+cid)", "image002.png (file+hidden+cid)", "image003.png (file+hidden+cid)", "image006.jpg (file+hidden+cid)"}},
    {"poi_attachment_msg_pdf.msg", "IPM.Note", "test email", "PR", {"Test Attachment (msg)", "smbprn.00009008.KdcPjl.pdf (file)"}},
    {"poi_attachment_test_msg.msg", "IPM.Note", "test pièce jointe 1", "PR", {"test-unicode.doc (file)", "pj1.txt (file)"}},
    {"poi_blank.msg", "IPM.Note", "", "none", {}},
    {"poi_bug66335.msg", "IPM.Note", "Deine Bestellbestätigung vom 13-09-2018", "PHR", {}},
    {"poi_chinese-traditional.msg", "IPM.Note", "Alfresco MSG format testing ( MSG 格式測試 )", "PHR", {}},
    {"poi_cyrillic_message.msg", "IPM.Note", "Автоматический ответ подсистемы обмена данными ФГУП \"Почта России\".", "PR", {}},
    {"poi_example_received_regular.msg", "IPM.Note", "This is a test message please ignore", "PR", {"alfresco.gif (file+cid)"}},
    {"poi_example_received_unicode.msg", "IPM.Note", "This is a test message please ignore", "PR", {"alfresco.gif (file+cid)"}},
    {"poi_example_sent_regular.msg", "IPM.Note", "This is a test message please ignore", "PR", {"alfresco.gif (file+cid)"}},
    {"poi_example_sent_unicode.msg", "IPM.Note", "This is a test message please ignore", "PR", {"alfresco.gif (file+cid)"}},
    {"poi_keywords.msg", "IPM.Note", "Test Keywords", "PR", {}},
    {"poi_logsat.com_signatures_valid.msg", "IPM.Note.SMIME.MultipartSigned", "test", "PR", {"(no name) (file)"}},
    {"poi_lots-of-recipients.msg", "IPM.Note", "Read Original Extract of Mr. Narayana Murthy's Speech during Mentor session", "P", {"Fwd: Read Original Extract of Mr. Narayana Murthy's Speech during Mentor session (file)"}},
    {"poi_message_1979.msg", "IPM.Note.EnterpriseVault.Shortcut", "Option 2 please", "PR", {}},
    {"poi_message_1980.msg", "IPM.Note.EnterpriseVault.Shortcut", "Option 2 please", "PR", {}},
    {"poi_message_1981.msg", "IPM.Note.EnterpriseVault.Shortcut", "Option 2 please", "PR", {}},
    {"poi_message_extra_hyphen_submission_chunk.msg", "IPM.Note", "Reseller Irradiant - MM Build", "PHR", {}},
    {"poi_message_normal_submission_chunk.msg", "IPM.Note", "Reseller Irradiant - MM Build", "PHR", {}},
    {"poi_msgClassAppointment.msg", "IPM.Appointment", "Quick brown fox", "PR", {}},
    {"poi_msgClassContact.msg", "IPM.Contact", "Quick Brown Fox Jr", "PR", {}},
    {"poi_msgClassPost.msg", "IPM.Post", "QuickBrownFox", "PR", {}},
    {"poi_msgClassStickyNote.msg", "IPM.StickyNote", "This is a note about the quick brown fox", "PR", {}},
    {"poi_msgClassTask.msg", "IPM.Task", "Must jump over the lazy dog", "PR", {}},
    {"poi_no_recipient_address.msg", "IPM.Note", "Welcome to Microsoft Office Outlook 2003", "PR", {"1.jpg (file)", "2.jpg (file)", "3.jpg (file)", "4.jpg (file)", "5.jpg (file)", "6.jpg (file)", "7.jpg (file)", "8.jpg (file)", "9.jpg (file)", "10.jpg (file)", "12.jpg (file)"}},
    {"poi_outlook_30_msg.msg", "IPM.Note", "IN-SPIRE servers going down for a bit, back up around 8am", "PHR", {}},
    {"poi_quick.msg", "IPM.Note", "Test the content transformer", "PR", {}},
    {"poi_simple_test_msg.msg", "IPM.Note", "test message", "P", {}},

};
// clang-format on

std::vector<std::uint8_t> Load(const char* file) {
  std::vector<std::uint8_t> bytes = testing::LoadCorpusFile(kRealCorpusDir, file);
  if (bytes.empty()) throw Error(errnum::kFileNotFound, std::string("cannot read ") + file);
  return bytes;
}

MsgContent Read(const char* file) {
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
}

TEST_P(RealCorpusTest, LosesNoCharacterToReplacement) {
  const RealFile& f = GetParam();
  const MsgContent content = Read(f.file);
  EXPECT_FALSE(HasReplacementCharacter(content.subject)) << content.subject;
  EXPECT_FALSE(HasReplacementCharacter(content.plainBody.value_or("")));
  for (const MsgAttachment& a : content.attachments) {
    EXPECT_FALSE(HasReplacementCharacter(a.ShownName())) << a.ShownName();
    if (a.method != 5) continue;
    // An embedded message reads on its own, its 8-bit strings in the right code page too.
    MsgContent embedded;
    ASSERT_NO_THROW(embedded = ReadMsg(a.data)) << a.ShownName();
    EXPECT_FALSE(HasReplacementCharacter(embedded.subject)) << embedded.subject;
  }
  const std::string html = MakeItem(Load(f.file), f.file)->HTMLBody();
  EXPECT_FALSE(HasReplacementCharacter(html)) << html;
}

TEST_P(RealCorpusTest, InlineImagesStayInTheHtmlBody) {
  const RealFile& f = GetParam();
  const MsgContent content = Read(f.file);
  const auto item = MakeItem(Load(f.file), f.file);
  for (const MsgAttachment& a : content.attachments) {
    if (a.contentId.empty()) continue;
    EXPECT_EQ(item->BodyFormat(), OlBodyFormat::kHtml);
    EXPECT_NE(item->HTMLBody().find("cid:" + a.contentId), std::string::npos) << a.contentId;
  }
}

INSTANTIATE_TEST_SUITE_P(Readme, RealCorpusTest, ::testing::ValuesIn(kRealFiles),
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

// What --list-items shows: the store over the test data lists every file of real/ as an item,
// in the order of their names.
TEST(RealCorpusTest, TheStoreListsEveryFile) {
  const auto store = MailStore::Open(kRealCorpusDir.parent_path());
  const auto folder = store->GetFolder(kRealCorpusDir.filename().string());
  ASSERT_NE(folder, nullptr);
  std::vector<const RealFile*> byName;
  for (const RealFile& f : kRealFiles) byName.push_back(&f);
  std::sort(byName.begin(), byName.end(), [](const RealFile* a, const RealFile* b) {
    return std::string_view(a->file) < std::string_view(b->file);
  });
  const auto items = folder->Items();
  ASSERT_EQ(items->Count(), static_cast<int>(byName.size()));
  for (int i = 1; i <= items->Count(); ++i) {
    const RealFile& f = *byName[static_cast<std::size_t>(i - 1)];
    SCOPED_TRACE(f.file);
    const auto item = items->Item(i);
    EXPECT_EQ(item->MessageClass(), f.messageClass);
    EXPECT_EQ(item->Subject(), f.subject);
    EXPECT_EQ(item->Attachments()->Count(), static_cast<int>(f.attachments.size()));
  }
}

}  // namespace
}  // namespace lorva::mailstore
