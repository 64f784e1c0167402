#include "platform/mailstore/store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "base/error.h"
#include "platform/mailstore/compressed_rtf.h"
#include "platform/mailstore/eml.h"
#include "platform/mailstore/folder_ini.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/rtf_html.h"
#include "platform/outlook/object_model.h"
#include "platform/ui/dialogs.h"
#include "support_code/recording_shell.h"

namespace lorva::mailstore {
namespace {

namespace fs = std::filesystem;
using outlook::ItemClass;
using outlook::Value;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "lorva-store-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Answers the folder picker with queued paths and records what it was shown.
class PickerDialogs : public platform::Dialogs {
 public:
  int MsgBox(const std::string&, int, const std::string&) override { return platform::msgbox::kOk; }
  std::string BrowseForFolder(const std::string&, const std::string&) override { return ""; }
  std::string PickMailFolder(const std::vector<std::string>& folderPaths,
                             const std::string& currentPath) override {
    shownPaths = folderPaths;
    shownCurrent = currentPath;
    return answer;
  }
  std::string answer;
  std::vector<std::string> shownPaths;
  std::string shownCurrent;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void WriteItem(const fs::path& path, const MsgContent& content) {
  const std::vector<std::uint8_t> bytes = WriteMsg(content);
  WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

MsgContent Post(const std::string& subject) {
  MsgContent content;
  content.messageClass = "IPM.Post";
  content.subject = subject;
  content.htmlBody = "<p>" + subject + "</p>";
  return content;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

class MailStoreTest : public ::testing::Test {
 protected:
  fs::path Folder(const std::string& path) {
    fs::create_directories(dir_.path() / path);
    return dir_.path() / path;
  }
  std::shared_ptr<MailStore> Open() { return MailStore::Open(dir_.path(), dialogs_, shell_); }

  TempDir dir_;
  std::shared_ptr<PickerDialogs> dialogs_ = std::make_shared<PickerDialogs>();
  std::shared_ptr<testing::RecordingShell> shell_ = std::make_shared<testing::RecordingShell>();
};

// ---------------------------------------------------------------------------------------------
// Folders

TEST_F(MailStoreTest, FolderPathsListParentsBeforeChildrenInByteOrder) {
  Folder("b");
  Folder("a/z");
  Folder("a/B");
  Folder("Z");
  WriteFile(dir_.path() / "a" / "not-a-folder.msg", "");
  EXPECT_EQ(Open()->FolderPaths(), (std::vector<std::string>{"Z", "a", "a/B", "a/z", "b"}));
}

TEST_F(MailStoreTest, FolderThatCannotBeListedIsShownWithoutSubFolders) {
  Folder("Locked/Inner");
  Folder("Open");
  fs::permissions(dir_.path() / "Locked", fs::perms::none);
  if (::access((dir_.path() / "Locked").c_str(), R_OK) == 0) {
    fs::permissions(dir_.path() / "Locked", fs::perms::owner_all);
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  const std::vector<std::string> paths = Open()->FolderPaths();
  fs::permissions(dir_.path() / "Locked", fs::perms::owner_all);
  EXPECT_EQ(paths, (std::vector<std::string>{"Locked", "Open"}));
}

TEST_F(MailStoreTest, FoldersAreFoundByPathOnlyInsideTheStore) {
  Folder("Knowledge Base/Archive");
  std::shared_ptr<MailStore> store = Open();
  std::shared_ptr<outlook::Folder> folder = store->GetFolder("Knowledge Base/Archive");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->Name(), "Archive");
  EXPECT_EQ(folder->FolderPath(), "Knowledge Base/Archive");
  for (const std::string path : {"", "Missing", "Knowledge Base/", "/Knowledge Base", "..",
                                 "Knowledge Base/..", "Knowledge Base//Archive", "."}) {
    SCOPED_TRACE("path: \"" + path + "\"");
    EXPECT_EQ(store->GetFolder(path), nullptr);
  }
}

TEST_F(MailStoreTest, OpeningAMissingStoreFails) {
  try {
    MailStore::Open(dir_.path() / "nowhere");
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPathNotFound);
  }
}

TEST_F(MailStoreTest, WebViewUrlComesFromFolderIni) {
  WriteFile(Folder("KB") / "folder.ini",
            "[Folder]\r\nWebViewURL=http://intranet/kb/OLorva.htm\r\n");
  WriteFile(Folder("NoKey") / "folder.ini", "[Folder]\nOther=1\n");
  Folder("NoFile");
  std::shared_ptr<MailStore> store = Open();
  EXPECT_EQ(store->GetFolder("KB")->WebViewURL(), "http://intranet/kb/OLorva.htm");
  EXPECT_EQ(store->GetFolder("NoKey")->WebViewURL(), "");
  EXPECT_EQ(store->GetFolder("NoFile")->WebViewURL(), "");
}

TEST(IniValueTest, ReadsTheKeyOfTheSection) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"[Folder]\nWebViewURL=a/OLorva.htm\n", "a/OLorva.htm"},
      {"\xEF\xBB\xBF[Folder]\r\nWebViewURL=bom\r\n", "bom"},
      {"[folder]\nwebviewurl = case \n", "case"},
      {"[ Folder ]\nWebViewURL=\"  quoted  \"\n", "  quoted  "},
      {"; comment\n[Folder]\n# WebViewURL=no\nWebViewURL=yes\n", "yes"},
      {"[Other]\nWebViewURL=other\n[Folder]\n", ""},
      {"WebViewURL=outside\n[Folder]\n", ""},
      {"[Folder]\nWebViewURL=first\nWebViewURL=second\n", "first"},
      {"[Folder]\nWebViewURL=a=b\n", "a=b"},
      {"[Folder\nWebViewURL=broken section\n", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("ini: " + c.text);
    EXPECT_EQ(FolderWebViewUrl(c.text), c.expected);
  }
}

// ---------------------------------------------------------------------------------------------
// Items

TEST_F(MailStoreTest, ItemsAreTheMsgFilesInByteOrderOfNames) {
  const fs::path kb = Folder("KB");
  WriteItem(kb / "b.msg", Post("second"));
  WriteItem(kb / "B.msg", Post("first"));
  WriteItem(kb / "c.MSG", Post("third"));
  WriteFile(kb / "notes.txt", "not an item");
  WriteFile(kb / "folder.ini", "[Folder]\n");
  fs::create_directories(kb / "sub.msg");
  std::shared_ptr<outlook::ItemCollection> items = Open()->GetFolder("KB")->Items();
  ASSERT_EQ(items->Count(), 3);
  EXPECT_EQ(items->Item(1)->Subject(), "first");
  EXPECT_EQ(items->Item(2)->Subject(), "second");
  EXPECT_EQ(items->Item(3)->Subject(), "third");
  for (const int index : {0, 4}) {
    try {
      items->Item(index);
      FAIL() << "no error for index " << index;
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kSubscriptOutOfRange);
    }
  }
}

TEST(ClassOfMessageTest, MessageClassDecidesTheKind) {
  const std::pair<std::string, ItemClass> cases[] = {
      {"IPM.Post", ItemClass::kPost},
      {"ipm.post", ItemClass::kPost},
      {"IPM.Post.KnowledgeBase", ItemClass::kPost},
      {"IPM.Postal", ItemClass::kOther},
      {"IPM.Note", ItemClass::kMail},
      {"IPM.Note.SMIME.MultipartSigned", ItemClass::kMail},
      {"IPM.StickyNote", ItemClass::kOther},
      {"IPM.Appointment", ItemClass::kOther},
      {"", ItemClass::kOther},
  };
  for (const auto& [messageClass, expected] : cases) {
    SCOPED_TRACE("class: " + messageClass);
    EXPECT_EQ(ClassOfMessage(messageClass), expected);
  }
}

TEST_F(MailStoreTest, OnlyPostItemsCanBeTakenAsPostItems) {
  const fs::path kb = Folder("KB");
  MsgContent mail = Post("mail");
  mail.messageClass = "IPM.Note";
  WriteItem(kb / "1.msg", Post("post"));
  WriteItem(kb / "2.msg", mail);
  std::shared_ptr<outlook::ItemCollection> items = Open()->GetFolder("KB")->Items();
  EXPECT_EQ(outlook::AsPostItem(items->Item(1))->Subject(), "post");
  std::shared_ptr<outlook::OutlookItem> item = items->Item(2);
  EXPECT_EQ(item->Class(), ItemClass::kMail);
  EXPECT_EQ(item->MessageClass(), "IPM.Note");
  try {
    outlook::AsPostItem(item);
    FAIL() << "a mail item was taken as a post item";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kTypeMismatch);
  }
}

TEST_F(MailStoreTest, UnreadableItemNamesTheFileAndLeavesTheOthersReadable) {
  const fs::path kb = Folder("KB");
  WriteItem(kb / "1.msg", Post("good"));
  WriteFile(kb / "2 broken.msg", "this is not a compound file at all");
  WriteItem(kb / "3.msg", Post("also good"));
  std::shared_ptr<outlook::ItemCollection> items = Open()->GetFolder("KB")->Items();
  try {
    items->Item(2);
    FAIL() << "a broken file was read";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kBadFileFormat);
    EXPECT_NE(error.description().find("\"2 broken.msg\""), std::string::npos)
        << error.description();
  }
  EXPECT_EQ(items->Item(3)->Subject(), "also good");
}

TEST(HtmlBodyTest, FallsBackFromHtmlToRichTextToPlainText) {
  const std::string html = "<html><body><p>Caf\xC3\xA9 &amp; more</p></body></html>";
  const std::string nativeRtf =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 Native text\\par}";
  struct Case {
    std::string name;
    MsgContent content;
    std::string expected;
  };
  std::vector<Case> cases;
  {
    MsgContent c;
    c.htmlBody = html;
    c.plainBody = "plain";
    c.compressedRtf = CompressRtf(EncapsulateHtmlInRtf("<p>from rtf</p>"));
    cases.push_back({"html body wins", c, html});
  }
  {
    MsgContent c;
    c.compressedRtf = CompressRtf(EncapsulateHtmlInRtf(html));
    c.plainBody = "plain";
    cases.push_back({"html encapsulated in rich text", c, html});
  }
  {
    MsgContent c;
    c.plainBody = "Line 1\r\nA < B & C";
    cases.push_back({"plain text only", c, PlainTextToHtml("Line 1\r\nA < B & C")});
  }
  {
    MsgContent c;
    c.compressedRtf = CompressRtf(nativeRtf);
    c.plainBody = "the plain copy";
    cases.push_back({"native rich text with plain copy", c, PlainTextToHtml("the plain copy")});
  }
  {
    MsgContent c;
    c.compressedRtf = CompressRtf(nativeRtf);
    cases.push_back({"native rich text only", c, PlainTextToHtml(ExtractTextFromRtf(nativeRtf))});
  }
  {
    MsgContent c;
    std::vector<std::uint8_t> damaged = CompressRtf(EncapsulateHtmlInRtf(html));
    damaged.back() ^= 0xFF;
    c.compressedRtf = damaged;
    c.plainBody = "still here";
    cases.push_back({"damaged rich text with plain copy", c, PlainTextToHtml("still here")});
  }
  cases.push_back({"no body at all", MsgContent{}, ""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MakeItem(c.content, "item.msg")->HTMLBody(), c.expected);
  }
  EXPECT_NE(PlainTextToHtml(ExtractTextFromRtf(nativeRtf)).find("Native text"), std::string::npos);
}

TEST(BodyFormatTest, OnlyGenuineRichTextIsRichText) {
  const std::string html = "<html><body><p>Text <img src=\"cid:a@b\"></p></body></html>";
  const auto wrappedHtml = CompressRtf(EncapsulateHtmlInRtf(html));
  const auto genuine = CompressRtf("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 Text\\par}");
  const auto fromText =
      CompressRtf("{\\rtf1\\ansi\\ansicpg1252\\fromtext \\deff0{\\fonttbl{\\f0 Arial;}}Text}");
  auto damaged = genuine;
  damaged.back() ^= 0xFF;
  struct Case {
    const char* what;
    std::optional<std::vector<std::uint8_t>> rtf;
    bool hasHtml;
    std::int32_t nativeBody;
    outlook::OlBodyFormat format;
  };
  using F = outlook::OlBodyFormat;
  const Case cases[] = {
      {"rich text wrapping the HTML", wrappedHtml, false, 0, F::kHtml},
      {"rich text wrapping the HTML, and the HTML", wrappedHtml, true, 0, F::kHtml},
      {"rich text wrapping the HTML, said to be native", wrappedHtml, false, 2, F::kHtml},
      {"genuine rich text", genuine, false, 0, F::kRichText},
      // (An item with both that does not say which is native is among the real files.)
      {"genuine rich text, native, and HTML made from it", genuine, true, 2, F::kRichText},
      {"HTML said to be native, and rich text made from it", genuine, true, 3, F::kHtml},
      {"HTML said to be native but missing", genuine, false, 3, F::kRichText},
      {"rich text made from plain text", fromText, false, 0, F::kRichText},
      {"rich text made from plain text, and HTML", fromText, true, 0, F::kHtml},
      {"damaged rich text and HTML", damaged, true, 0, F::kHtml},
      {"damaged rich text alone", damaged, false, 0, F::kPlain},
      {"HTML alone", std::nullopt, true, 0, F::kHtml},
      {"no body", std::nullopt, false, 0, F::kPlain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MsgContent content;
    content.compressedRtf = c.rtf;
    if (c.hasHtml) content.htmlBody = html;
    content.plainBody = "Text";
    content.nativeBody = c.nativeBody;
    const auto item = MakeItem(content, "item.msg");
    EXPECT_EQ(item->BodyFormat(), c.format);
    // The page of an item told as HTML shows its HTML, pictures and all.
    if (c.format == F::kHtml) {
      EXPECT_EQ(item->HTMLBody(), html);
    }
  }
}

TEST(HtmlBodyTest, DamagedRichTextAloneFailsNamingTheItem) {
  MsgContent content;
  std::vector<std::uint8_t> damaged = CompressRtf("{\\rtf1 text}");
  damaged.back() ^= 0xFF;
  content.compressedRtf = damaged;
  try {
    MakeItem(content, "KB0001.msg")->HTMLBody();
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kBadFileFormat);
    EXPECT_NE(error.description().find("KB0001.msg"), std::string::npos);
  }
}

TEST(SaveAsTest, WritesTheRichTextOrRichTextMadeFromTheHtml) {
  TempDir dir;
  const std::string rtf = "{\\rtf1\\ansi Some {\\b bold} text\\par}";
  MsgContent withRtf;
  withRtf.compressedRtf = CompressRtf(rtf);
  withRtf.htmlBody = "<p>ignored</p>";
  MakeItem(withRtf, "a.msg")->SaveAs((dir.path() / "a.rtf").string(), 1);
  EXPECT_EQ(ReadFile(dir.path() / "a.rtf"), rtf);

  MsgContent htmlOnly;
  htmlOnly.htmlBody = "<p>Only <b>HTML</b></p>";
  MakeItem(htmlOnly, "b.msg")->SaveAs((dir.path() / "b.rtf").string(), 1);
  EXPECT_EQ(ExtractHtmlFromRtf(ReadFile(dir.path() / "b.rtf")), "<p>Only <b>HTML</b></p>");

  MsgContent plainOnly;
  plainOnly.plainBody = "just text";
  MakeItem(plainOnly, "c.msg")->SaveAs((dir.path() / "c.rtf").string(), 1);
  EXPECT_EQ(ExtractHtmlFromRtf(ReadFile(dir.path() / "c.rtf")), PlainTextToHtml("just text"));
}

TEST(SaveAsTest, OtherFormatsAndUnwritablePathsFail) {
  TempDir dir;
  std::shared_ptr<outlook::OutlookItem> item = MakeItem(Post("x"), "x.msg");
  for (const int format : {0, 3, 5}) {
    try {
      item->SaveAs((dir.path() / "x.out").string(), format);
      FAIL() << "format " << format << " was accepted";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kInvalidProcedureCall);
    }
  }
  EXPECT_FALSE(fs::exists(dir.path() / "x.out"));
  EXPECT_THROW(item->SaveAs((dir.path() / "missing" / "x.rtf").string(), 1), Error);
}

TEST(UserPropertiesTest, LookupIgnoresLetterCase) {
  MsgContent content = Post("x");
  content.userProperties = {{"Problem Category", Value::Text("Printers")},
                            {"Problem Type", Value::Text("How-to")},
                            {"Gr\xC3\xB6\xC3\x9F"
                             "e",
                             Value::Integer(3)},
                            {"Reviewed", Value::Boolean(true)},
                            {"\xE2\x84\xAA"  // the Kelvin sign, folded to "k"
                             "elvin",
                             Value::Integer(4)}};
  std::shared_ptr<outlook::UserPropertyCollection> properties =
      MakeItem(content, "x.msg")->UserProperties();
  const std::pair<std::string, Value> cases[] = {
      {"Problem Category", Value::Text("Printers")},
      {"problem category", Value::Text("Printers")},
      {"PROBLEM TYPE", Value::Text("How-to")},
      {"GR\xC3\x96SSE", Value::Integer(3)},
      {"reviewed", Value::Boolean(true)},
      {"KELVIN", Value::Integer(4)},
  };
  for (const auto& [name, expected] : cases) {
    SCOPED_TRACE("name: " + name);
    std::shared_ptr<outlook::UserProperty> property = properties->Find(name);
    ASSERT_NE(property, nullptr);
    EXPECT_EQ(property->GetValue(), expected);
  }
  EXPECT_EQ(properties->Find("Problem"), nullptr);
  EXPECT_EQ(properties->Find("Problem Category "), nullptr);
}

TEST_F(MailStoreTest, AttachmentsShowTheirNamesAndSaveTheirData) {
  MsgContent content = Post("with attachments");
  MsgAttachment named;
  named.displayName = "Shown name.txt";
  named.longFileName = "long.txt";
  named.shortFileName = "SHORT.TXT";
  named.data = Bytes("one");
  MsgAttachment longOnly;
  longOnly.longFileName = "Network diagram.bmp";
  longOnly.shortFileName = "NETWOR~1.BMP";
  longOnly.data = Bytes("BM two");
  MsgAttachment shortOnly;
  shortOnly.shortFileName = "README";
  shortOnly.data = {};
  MsgAttachment inlineImage;
  inlineImage.longFileName = "logo.bmp";
  inlineImage.contentId = "logo@lorva.example";
  inlineImage.hidden = true;
  inlineImage.data = Bytes("BM three");
  content.attachments = {named, longOnly, shortOnly, inlineImage};
  WriteItem(Folder("KB") / "1.msg", content);

  std::shared_ptr<outlook::AttachmentCollection> attachments =
      Open()->GetFolder("KB")->Items()->Item(1)->Attachments();
  ASSERT_EQ(attachments->Count(), 4);
  EXPECT_EQ(attachments->Item(1)->DisplayName(), "Shown name.txt");
  EXPECT_EQ(attachments->Item(2)->DisplayName(), "Network diagram.bmp");
  EXPECT_EQ(attachments->Item(3)->DisplayName(), "README");
  EXPECT_EQ(attachments->Item(4)->ContentId(), "logo@lorva.example");
  EXPECT_TRUE(attachments->Item(4)->Hidden());
  EXPECT_FALSE(attachments->Item(1)->Hidden());
  const std::string expected[] = {"one", "BM two", "", "BM three"};
  for (int i = 1; i <= 4; ++i) {
    const fs::path target = dir_.path() / ("saved" + std::to_string(i));
    attachments->Item(i)->SaveAsFile(target.string());
    EXPECT_EQ(ReadFile(target), expected[i - 1]) << "attachment " << i;
  }
  EXPECT_THROW(attachments->Item(5), Error);
}

TEST_F(MailStoreTest, EmbeddedMessageIsSavedAsMsgFile) {
  MsgContent inner = Post("the forwarded article");
  MsgContent outer = Post("outer");
  MsgAttachment embedded;
  embedded.displayName = "The forwarded article";
  embedded.method = 5;
  embedded.data = WriteMsg(inner);
  outer.attachments = {embedded};
  WriteItem(Folder("KB") / "1.msg", outer);
  const fs::path target = dir_.path() / "embedded.msg";
  Open()->GetFolder("KB")->Items()->Item(1)->Attachments()->Item(1)->SaveAsFile(target.string());
  const std::string saved = ReadFile(target);
  EXPECT_EQ(ReadMsg(Bytes(saved)).subject, "the forwarded article");
}

// ---------------------------------------------------------------------------------------------
// The application

TEST_F(MailStoreTest, ApplicationBasics) {
  std::shared_ptr<outlook::Application> app = Open()->Application();
  EXPECT_EQ(app->Version(), "16.0.0.0");
  EXPECT_NE(app->GetNamespace("MAPI"), nullptr);
  EXPECT_THROW(app->GetNamespace("Other"), Error);
  try {
    app->Assistant();
    FAIL() << "the store offered an assistant";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kNotSupported);
  }
  EXPECT_THROW(app->CreateItem(1), Error);
}

TEST_F(MailStoreTest, DefaultFoldersAreCreatedAtTheRootWhenMissing) {
  Folder("Inbox");
  std::shared_ptr<outlook::NameSpace> mapi = Open()->Application()->GetNamespace("MAPI");
  EXPECT_EQ(mapi->GetDefaultFolder(6)->FolderPath(), "Inbox");
  std::shared_ptr<outlook::Folder> calendar = mapi->GetDefaultFolder(9);
  EXPECT_EQ(calendar->FolderPath(), "Calendar");
  EXPECT_TRUE(fs::is_directory(dir_.path() / "Calendar"));
  EXPECT_EQ(calendar->Items()->Count(), 0);
  EXPECT_THROW(mapi->GetDefaultFolder(3), Error);
}

TEST_F(MailStoreTest, CancelledPickerGivesNothingAndKeepsTheCurrentFolder) {
  Folder("KB");
  Folder("Inbox/Sub");
  std::shared_ptr<MailStore> store = Open();
  store->SetCurrentFolderPath("KB");
  dialogs_->answer = "";
  EXPECT_EQ(store->Application()->GetNamespace("MAPI")->PickFolder(), nullptr);
  EXPECT_EQ(dialogs_->shownPaths, (std::vector<std::string>{"Inbox", "Inbox/Sub", "KB"}));
  EXPECT_EQ(dialogs_->shownCurrent, "KB");
  EXPECT_EQ(Open()->CurrentFolderPath(), "KB");
}

TEST_F(MailStoreTest, PickedFolderBecomesTheCurrentFolderForTheNextStart) {
  Folder("KB");
  Folder("Inbox/Sub");
  dialogs_->answer = "Inbox/Sub";
  std::shared_ptr<outlook::Folder> picked =
      Open()->Application()->GetNamespace("MAPI")->PickFolder();
  ASSERT_NE(picked, nullptr);
  EXPECT_EQ(picked->FolderPath(), "Inbox/Sub");
  EXPECT_EQ(Open()->CurrentFolderPath(), "Inbox/Sub");
}

TEST_F(MailStoreTest, StoreWithoutExplorersOpensOneOnTheAddedFolder) {
  Folder("KB");
  std::shared_ptr<outlook::Application> app = Open()->Application();
  EXPECT_EQ(app->ActiveExplorer(), nullptr);
  EXPECT_EQ(app->Explorers()->Count(), 0);
  EXPECT_THROW(app->ActiveWindowCaption(), Error);

  std::shared_ptr<outlook::Folder> inbox = app->GetNamespace("MAPI")->GetDefaultFolder(6);
  app->Explorers()->Add(inbox, 0);
  EXPECT_EQ(app->Explorers()->Count(), 1);
  app->Explorers()->Item(1)->Activate();
  ASSERT_NE(app->ActiveExplorer(), nullptr);
  EXPECT_EQ(app->ActiveExplorer()->CurrentFolder()->FolderPath(), "Inbox");
  EXPECT_NE(app->ActiveWindowCaption().find("Inbox"), std::string::npos);

  // A second window waits in the back until it is displayed.
  std::shared_ptr<outlook::Explorer> second = app->Explorers()->Add(Open()->GetFolder("KB"), 0);
  EXPECT_EQ(app->ActiveExplorer()->CurrentFolder()->FolderPath(), "Inbox");
  second->Display();
  EXPECT_EQ(app->ActiveExplorer()->CurrentFolder()->FolderPath(), "KB");

  std::shared_ptr<MailStore> reopened = Open();
  EXPECT_EQ(reopened->ExplorerCount(), 2);
  EXPECT_EQ(reopened->Application()->ActiveExplorer()->CurrentFolder()->FolderPath(), "KB");
}

TEST_F(MailStoreTest, CurrentFolderThatWentMissingIsNothing) {
  Folder("Old");
  Open()->Application()->Explorers()->Add(Open()->GetFolder("Old"), 0);
  fs::remove(dir_.path() / "Old");
  std::shared_ptr<outlook::Explorer> explorer = Open()->Application()->ActiveExplorer();
  ASSERT_NE(explorer, nullptr);
  EXPECT_EQ(explorer->CurrentFolder(), nullptr);
}

TEST_F(MailStoreTest, LauncherGivesTheStoreForOutlookOnly) {
  std::shared_ptr<outlook::ApplicationLauncher> launcher = MakeStoreLauncher(Open());
  EXPECT_NE(launcher->GetRunning("Outlook.Application"), nullptr);
  EXPECT_NE(launcher->GetRunning("outlook.application"), nullptr);
  EXPECT_NE(launcher->Create(""), nullptr);
  EXPECT_NE(launcher->Create("Outlook.Application"), nullptr);
  EXPECT_EQ(launcher->GetRunning("Word.Application"), nullptr);
  EXPECT_EQ(launcher->Create("Word.Application"), nullptr);
}

TEST(ResolveStoreRootTest, OptionThenEnvironmentThenSample) {
  EXPECT_EQ(ResolveStoreRoot(std::string("/opt/store"), "/env/store"), fs::path("/opt/store"));
  EXPECT_EQ(ResolveStoreRoot(std::nullopt, "/env/store"), fs::path("/env/store"));
  EXPECT_EQ(ResolveStoreRoot(std::nullopt, ""), SampleStoreRoot());
  EXPECT_EQ(ResolveStoreRoot(std::nullopt, nullptr), SampleStoreRoot());
}

// ---------------------------------------------------------------------------------------------
// New mail items

TEST_F(MailStoreTest, SavedMailItemIsAnUnsentEmlInDrafts) {
  std::shared_ptr<MailStore> store = Open();
  std::shared_ptr<outlook::MailItem> mail = store->Application()->CreateItem(0);
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
  EXPECT_EQ(ReadFile(drafts[0]),
            "X-Unsent: 1\r\n"
            "To: support@lorva.example\r\n"
            "Subject: Error report\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "Line one\r\n"
            "Line two\r\n");
  EXPECT_TRUE(shell_->opened.empty());
  mail->Display();
  EXPECT_EQ(shell_->opened, (std::vector<std::string>{drafts[0].string()}));
}

TEST(UnsentMailTest, HeadersCannotBeInjectedAndNonAsciiSubjectsAreEncoded) {
  const std::string eml =
      FormatUnsentMail({"a@example.com\r\nBcc: evil@example.com", "R\xC3\xA9sum\xC3\xA9", "x"});
  EXPECT_NE(eml.find("To: a@example.com Bcc: evil@example.com\r\n"), std::string::npos) << eml;
  EXPECT_NE(eml.find("Subject: =?UTF-8?B?UsOpc3Vtw6k=?=\r\n"), std::string::npos) << eml;
}

std::string DecodeBase64(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    bits = (bits << 6) | static_cast<unsigned>(alphabet.find(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

TEST(UnsentMailTest, LongNonAsciiSubjectIsFoldedBetweenCharacters) {
  std::string subject;
  for (int i = 0; i < 40; ++i) subject += "\xC3\xA9";  // 40 times e acute
  const std::string header = EncodeHeaderText(subject, 9);
  std::string decoded;
  std::size_t lineStart = 0;
  int words = 0;
  while (lineStart < header.size()) {
    std::size_t end = header.find("\r\n", lineStart);
    if (end == std::string::npos) end = header.size();
    const std::string line = header.substr(lineStart, end - lineStart);
    EXPECT_LE(line.size() + (words == 0 ? 9 : 0), 76u) << line;
    const std::string word = line.substr(line.find("=?"));
    EXPECT_LE(word.size(), 75u) << line;
    ASSERT_TRUE(word.starts_with("=?UTF-8?B?") && word.ends_with("?=")) << line;
    const std::string part = DecodeBase64(word.substr(10, word.size() - 12));
    EXPECT_EQ(part.size() % 2, 0u) << "a character was cut: " << line;
    decoded += part;
    ++words;
    lineStart = end + 2;
  }
  EXPECT_GT(words, 1);
  EXPECT_EQ(decoded, subject);
}

TEST(UnsentMailTest, QuotedPrintableBody) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain\r\n"},
      {"a=b", "a=3Db\r\n"},
      {"caf\xC3\xA9", "caf=C3=A9\r\n"},
      {"trailing blank \nnext", "trailing blank=20\r\nnext\r\n"},
      {"cr\rlf\ncrlf\r\nend", "cr\r\nlf\r\ncrlf\r\nend\r\n"},
      {"", ""},
      {std::string(80, 'x'), std::string(73, 'x') + "=\r\n" + std::string(7, 'x') + "\r\n"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE("body: " + text);
    EXPECT_EQ(EncodeQuotedPrintable(text), expected);
  }
}

}  // namespace
}  // namespace lorva::mailstore

namespace lorva::mailstore {
namespace {

// The bundled sample store holds what the archive runs are meant to be tried on.
TEST(SampleStoreTest, HoldsTheKnowledgeBaseAndItsAwkwardCases) {
  const std::string sample = LORVA_BINARY_DIR "/samples/store";
  if (!std::filesystem::is_directory(sample)) GTEST_SKIP() << "the sample store is not built";
  std::shared_ptr<MailStore> store = MailStore::Open(sample);
  EXPECT_EQ(store->FolderPaths(),
            (std::vector<std::string>{"Calendar", "Empty Knowledge Base", "Inbox", "Knowledge Base",
                                      "Uncategorised Articles"}));
  EXPECT_EQ(store->CurrentFolderPath(), "Knowledge Base");
  for (const std::string path :
       {"Knowledge Base", "Empty Knowledge Base", "Uncategorised Articles"}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(store->GetFolder(path)->WebViewURL().ends_with("OLorva.htm"));
  }
  EXPECT_EQ(store->GetFolder("Inbox")->WebViewURL(), "");
  EXPECT_EQ(store->GetFolder("Empty Knowledge Base")->Items()->Count(), 0);

  std::shared_ptr<outlook::ItemCollection> items = store->GetFolder("Knowledge Base")->Items();
  std::set<std::string> categories;
  std::set<std::string> types;
  std::set<std::string> attachmentNames;
  std::size_t longestSubject = 0;
  int mailItems = 0;
  for (int i = 1; i <= items->Count(); ++i) {
    std::shared_ptr<outlook::OutlookItem> item = items->Item(i);
    SCOPED_TRACE(item->Subject());
    EXPECT_FALSE(item->HTMLBody().empty());
    longestSubject = std::max(longestSubject, item->Subject().size());
    if (item->Class() == ItemClass::kMail) ++mailItems;
    if (auto category = item->UserProperties()->Find("Problem Category")) {
      categories.insert(category->GetValue().AsText());
    }
    if (auto type = item->UserProperties()->Find("Problem Type")) {
      types.insert(type->GetValue().AsText());
    }
    for (int k = 1; k <= item->Attachments()->Count(); ++k) {
      attachmentNames.insert(item->Attachments()->Item(k)->DisplayName());
    }
  }
  EXPECT_GE(items->Count(), 30);
  EXPECT_EQ(mailItems, 1);
  EXPECT_GT(longestSubject, 250u);
  for (const std::string category : {"Hardware", "hardware", "Software", "SOFTWARE", "Network",
                                     "network", " Network ", "Accounts"}) {
    EXPECT_TRUE(categories.contains(category)) << "category \"" << category << "\"";
  }
  for (const std::string type : {"How-to", "Troubleshooting", "Known Issue", "Policy", "FAQ"}) {
    EXPECT_TRUE(types.contains(type)) << "type " << type;
  }
  for (const std::string name :
       {"VPN quick start.pdf", "printer-reset-steps.txt", "Display settings.bmp", "KEYBOARD.BMP",
        "TODO", "hosts", "VPN profile.", "Intranet home.mhtml", "computer-name.bmp"}) {
    EXPECT_TRUE(attachmentNames.contains(name)) << "attachment " << name;
  }
}

}  // namespace
}  // namespace lorva::mailstore
