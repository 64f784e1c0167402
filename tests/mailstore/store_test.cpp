#include "platform/mailstore/store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "base/error.h"
#include "platform/mailstore/compressed_rtf.h"
#include "platform/mailstore/eml.h"
#include "platform/mailstore/folder_ini.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/rtf_html.h"
#include "platform/outlook/object_model.h"
#include "support_code/msg_files.h"
#include "support_code/recording_shell.h"
#include "support_code/scripted_dialogs.h"
#include "support_code/temp_folder.h"

namespace lorva::mailstore {
namespace {

namespace fs = std::filesystem;
using outlook::ItemClass;
using outlook::Value;
using testing::PostContent;
using testing::TempFolder;
using testing::WriteMsgFile;

// The error number `call` raised; 0 when it raised none.
std::int32_t Raised(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

class MailStoreTest : public ::testing::Test {
 protected:
  fs::path Folder(const std::string& path) {
    fs::create_directories(dir_.path() / path);
    return dir_.path() / path;
  }
  std::shared_ptr<MailStore> Open() { return MailStore::Open(dir_.path(), dialogs_, shell_); }
  std::shared_ptr<outlook::ItemCollection> Items(const std::string& folder) {
    return Open()->GetFolder(folder)->Items();
  }

  TempFolder dir_;
  std::shared_ptr<testing::ScriptedDialogs> dialogs_ = std::make_shared<testing::ScriptedDialogs>();
  std::shared_ptr<testing::RecordingShell> shell_ = std::make_shared<testing::RecordingShell>();
};

TEST_F(MailStoreTest, FoldersAreListedInByteOrderAndFoundOnlyInsideTheStore) {
  for (const char* path : {"b", "a/z", "a/B", "Z"}) Folder(path);
  dir_.Write("a/not-a-folder.msg", "");
  std::shared_ptr<MailStore> store = Open();
  EXPECT_EQ(store->FolderPaths(), (std::vector<std::string>{"Z", "a", "a/B", "a/z", "b"}));
  EXPECT_EQ(store->GetFolder("a/z")->Name(), "z");
  EXPECT_EQ(store->GetFolder("a/z")->FolderPath(), "a/z");
  for (const std::string path : {"", "Missing", "a/", "/a", "..", "a/..", "a//z", "."}) {
    EXPECT_EQ(store->GetFolder(path), nullptr) << "path: \"" << path << "\"";
  }
  EXPECT_EQ(Raised([&] { MailStore::Open(dir_.path() / "nowhere"); }), errnum::kPathNotFound);
}

TEST(IniValueTest, ReadsTheKeyOfTheSection) {
  const std::pair<std::string, std::string> cases[] = {
      {"[folder]\nwebviewurl = case \n", "case"},
      {"; comment\n[Folder]\n# WebViewURL=no\nWebViewURL=yes\n", "yes"},
      {"[Other]\nWebViewURL=other\n[Folder]\n", ""},
      {"[Folder]\nWebViewURL=first\nWebViewURL=second\n", "first"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(FolderWebViewUrl(text), expected) << text;
}

// The items are the .msg files in byte order of their names, an unreadable one among them (that
// reading it fails naming the item is checked with the damaged parts); only post items are taken
// as post items. Attachments show the display name, else the long file name; an embedded message
// is saved as a .msg file.
TEST_F(MailStoreTest, ItemsAreTheMsgFilesInByteOrderOfNames) {
  const fs::path kb = Folder("KB");
  MsgContent mail = PostContent("mail"), first = PostContent("first");
  mail.messageClass = "IPM.Note";
  first.attachments.resize(3);
  std::vector<MsgAttachment>& a = first.attachments;
  a[0].displayName = "Shown.txt";
  a[0].longFileName = "long.txt";
  a[1].longFileName = "Network diagram.bmp";
  a[1].shortFileName = "NETWOR~1.BMP";
  a[2].method = 5;
  a[2].data = WriteMsg(PostContent("inner"));
  WriteMsgFile(kb / "b.msg", PostContent("second"));
  WriteMsgFile(kb / "B.msg", first);
  WriteMsgFile(kb / "c.MSG", mail);
  dir_.Write("KB/d broken.msg", "this is not a compound file at all");
  dir_.Write("KB/notes.txt", "not an item");
  fs::create_directories(kb / "sub.msg");
  std::shared_ptr<outlook::ItemCollection> items = Items("KB");
  ASSERT_EQ(items->Count(), 4);
  EXPECT_EQ(outlook::AsPostItem(items->Item(1))->Subject(), "first");
  EXPECT_EQ(items->Item(2)->Subject(), "second");
  EXPECT_EQ(items->Item(3)->Class(), ItemClass::kMail);
  EXPECT_EQ(Raised([&] { outlook::AsPostItem(items->Item(3)); }), errnum::kTypeMismatch);
  for (const int index : {0, 5}) {
    EXPECT_EQ(Raised([&] { items->Item(index); }), errnum::kSubscriptOutOfRange) << index;
  }

  const auto attachments = items->Item(1)->Attachments();
  ASSERT_EQ(attachments->Count(), 3);
  EXPECT_EQ(attachments->Item(1)->DisplayName(), "Shown.txt");
  EXPECT_EQ(attachments->Item(2)->DisplayName(), "Network diagram.bmp");
  attachments->Item(3)->SaveAsFile(dir_ / "3.msg");
  const std::string saved = TempFolder::Read(dir_ / "3.msg");
  EXPECT_EQ(ReadMsg(std::vector<std::uint8_t>(saved.begin(), saved.end())).subject, "inner");
}

// The HTML body; else the HTML that the rich text encapsulates; else the plain text as HTML;
// else the text of the rich text. Damaged rich text does not hide an intact plain text (alone it
// fails naming the item, as the damaged parts test checks). Only genuine rich text is told as rich
// text; an item told as HTML shows its HTML, pictures and all.
TEST(HtmlBodyTest, FallsBackFromHtmlToRichTextToPlainText) {
  const std::string html =
      "<html><body><p>Caf\xC3\xA9 &amp; <img src=\"cid:a@b\"></p></body></html>";
  const auto wrapped = CompressRtf(EncapsulateHtmlInRtf(html));
  const auto native =
      CompressRtf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 Native text\\par}");
  const auto fromText = CompressRtf("{\\rtf1\\ansi\\fromtext Text}");
  auto damaged = wrapped;
  damaged.back() ^= 0xFF;
  const std::optional<std::string> none;
  const std::optional<std::vector<std::uint8_t>> noRtf;
  using F = outlook::OlBodyFormat;
  const struct {
    const char* what;
    std::optional<std::string> html, plain;
    std::optional<std::vector<std::uint8_t>> rtf;
    std::int32_t nativeBody;
    std::string expected;
    F format;
  } cases[] = {
      {"html body wins", html, "plain", CompressRtf(EncapsulateHtmlInRtf("<p>rtf</p>")), 0, html,
       F::kHtml},
      {"html encapsulated in rich text", none, "plain", wrapped, 0, html, F::kHtml},
      {"plain text only", none, "A < B", noRtf, 0, PlainTextToHtml("A < B"), F::kPlain},
      {"native rich text with plain copy", none, "copy", native, 0, PlainTextToHtml("copy"),
       F::kRichText},
      {"native rich text only", none, none, native, 0, PlainTextToHtml("Native text\r\n"),
       F::kRichText},
      {"damaged rich text with plain copy", none, "here", damaged, 0, PlainTextToHtml("here"),
       F::kPlain},
      {"no body at all", none, none, noRtf, 0, "", F::kPlain},
      // (An item with both that does not say which is native is among the real files.)
      {"genuine rich text, native, and HTML made from it", html, "x", native, 2, html,
       F::kRichText},
      {"HTML said to be native, and rich text made from it", html, "x", native, 3, html, F::kHtml},
      {"rich text made from plain text, and HTML", html, "x", fromText, 0, html, F::kHtml},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MsgContent content;
    content.htmlBody = c.html;
    content.plainBody = c.plain;
    content.compressedRtf = c.rtf;
    content.nativeBody = c.nativeBody;
    const auto item = MakeItem(content, "item.msg");
    EXPECT_EQ(item->HTMLBody(), c.expected);
    EXPECT_EQ(item->BodyFormat(), c.format);
  }
}

TEST(UserPropertiesTest, LookupIgnoresLetterCase) {
  MsgContent content = PostContent("x", "Printers", "How-to");
  content.userProperties.push_back({"Gr\u00F6\u00DFe", Value::Integer(3)});
  const auto properties = MakeItem(content, "x.msg")->UserProperties();
  const std::pair<std::string, Value> cases[] = {
      {"problem category", Value::Text("Printers")},
      {"GR\u00D6SSE", Value::Integer(3)},
  };
  for (const auto& [name, expected] : cases) {
    const auto property = properties->Find(name);
    ASSERT_NE(property, nullptr) << name;
    EXPECT_EQ(property->GetValue(), expected) << name;
  }
  EXPECT_EQ(properties->Find("Problem"), nullptr);
}

// The store's application: default folders made when missing, the folder picker over the
// store's folders remembering the pick, explorers remembered from start to start.
TEST_F(MailStoreTest, TheApplicationOfTheStore) {
  for (const char* path : {"KB", "Inbox/Sub"}) Folder(path);
  std::shared_ptr<MailStore> store = Open();
  std::shared_ptr<outlook::Application> app = store->Application();
  const auto mapi = app->GetNamespace("MAPI");
  EXPECT_EQ(mapi->GetDefaultFolder(9)->FolderPath(), "Calendar");
  EXPECT_TRUE(fs::is_directory(dir_.path() / "Calendar"));

  store->SetCurrentFolderPath("KB");
  EXPECT_EQ(mapi->PickFolder(), nullptr);  // closed without a choice
  ASSERT_EQ(dialogs_->shown().size(), 1u);
  EXPECT_EQ(dialogs_->shown()[0].folderPaths,
            (std::vector<std::string>{"Calendar", "Inbox", "Inbox/Sub", "KB"}));
  EXPECT_EQ(dialogs_->shown()[0].startFolder, "KB");
  EXPECT_EQ(Open()->CurrentFolderPath(), "KB");
  dialogs_->QueuePick("Inbox/Sub");
  EXPECT_EQ(mapi->PickFolder()->FolderPath(), "Inbox/Sub");
  EXPECT_EQ(Open()->CurrentFolderPath(), "Inbox/Sub");

  app->Explorers()->Add(mapi->GetDefaultFolder(6), 0)->Activate();
  // A second window waits in the back until it is displayed.
  const auto second = app->Explorers()->Add(store->GetFolder("KB"), 0);
  EXPECT_EQ(app->ActiveExplorer()->CurrentFolder()->FolderPath(), "Inbox");
  second->Display();
  EXPECT_EQ(Open()->ExplorerCount(), 2);
  EXPECT_EQ(Open()->Application()->ActiveExplorer()->CurrentFolder()->FolderPath(), "KB");
  fs::remove(dir_.path() / "KB");  // a current folder that went missing is nothing
  EXPECT_EQ(Open()->Application()->ActiveExplorer()->CurrentFolder(), nullptr);

  EXPECT_EQ(MakeStoreLauncher(store)->GetRunning("Word.Application"), nullptr);
}

TEST_F(MailStoreTest, SavedMailItemIsAnUnsentEmlInDrafts) {
  std::shared_ptr<outlook::MailItem> mail = Open()->Application()->CreateItem(0);
  mail->SetTo("support@lorva.example");
  mail->SetSubject("Error report");
  mail->SetBody("Line one\nLine two");
  mail->Save();
  mail->Save();  // saving again replaces the same draft
  std::vector<fs::path> drafts;
  for (const auto& entry : fs::directory_iterator(dir_.path() / "Drafts")) {
    drafts.push_back(entry.path());
  }
  ASSERT_EQ(drafts.size(), 1u);
  EXPECT_EQ(drafts[0].extension(), ".eml");
  EXPECT_EQ(TempFolder::Read(drafts[0]),
            "X-Unsent: 1\r\nTo: support@lorva.example\r\nSubject: Error report\r\n"
            "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n\r\nLine one\r\nLine two\r\n");
  EXPECT_TRUE(shell_->opened.empty());
  mail->Display();
  EXPECT_EQ(shell_->opened, (std::vector<std::string>{drafts[0].string()}));
}

TEST(UnsentMailTest, HeadersCannotBeInjectedAndNonAsciiSubjectsAreEncoded) {
  const std::string eml = FormatUnsentMail(
      {"a@example.com\r\nBcc: evil@example.com", "R\xC3\xA9sum\xC3\xA9\nX: y", "x"});
  EXPECT_NE(eml.find("To: a@example.com Bcc: evil@example.com\r\n"), std::string::npos) << eml;
  EXPECT_NE(eml.find("Subject: =?UTF-8?B?UsOpc3Vtw6kgWDogeQ==?=\r\n"), std::string::npos) << eml;
}

TEST(UnsentMailTest, QuotedPrintableBody) {
  const std::pair<std::string, std::string> cases[] = {
      {"caf\xC3\xA9", "caf=C3=A9\r\n"},
      {"trailing blank \nnext", "trailing blank=20\r\nnext\r\n"},
      {"cr\rlf\ncrlf\r\nend", "cr\r\nlf\r\ncrlf\r\nend\r\n"},
      {std::string(80, 'x'), std::string(73, 'x') + "=\r\n" + std::string(7, 'x') + "\r\n"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(EncodeQuotedPrintable(text), expected) << text;
}

}  // namespace
}  // namespace lorva::mailstore
