// An in-memory mail application for tests: folders of items (subject, HTML body, user properties,
// attachments), explorers, a folder picker answering from a queue, mail items recording what was
// put in them, a launcher, and an event pump running scripted actions on chosen yields.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/outlook/object_model.h"
#include "platform/ui/dialogs.h"

namespace lorva::testing {

class FakeAttachment : public outlook::Attachment {
 public:
  std::string DisplayName() override { return name; }
  // Writes the bytes at `path` (throws when `fail` or `damaged`).
  void SaveAsFile(const std::string& path) override;
  std::string ContentId() override { return contentId; }
  bool Hidden() override { return hidden; }

  std::string name, bytes, contentId;
  bool hidden = false;
  bool fail = false;     // the destination refuses the file
  bool damaged = false;  // the item's file holds the attachment damaged
};

class FakeItem : public outlook::OutlookItem {
 public:
  outlook::ItemClass itemClass = outlook::ItemClass::kPost;
  std::string subject;
  std::string htmlBody;
  std::string rtf;                                   // what SaveAs writes ("{\rtf1 SUBJECT}" if "")
  std::map<std::string, outlook::Value> properties;  // user properties by name
  std::vector<std::shared_ptr<FakeAttachment>> attachments;
  bool failProperties = false;  // UserProperties throws
  bool failBody = false;        // HTMLBody throws, as for a damaged body
  outlook::OlBodyFormat bodyFormat = outlook::OlBodyFormat::kRichText;
  int saveAsCalls = 0;

  // A post item; its body is a page showing the subject unless `body` is given.
  static std::shared_ptr<FakeItem> Post(const std::string& subject, const std::string& category,
                                        const std::string& type, const std::string& body = "");
  FakeAttachment& Attach(const std::string& name, const std::string& bytes = "data",
                         const std::string& contentId = "", bool hidden = false);

  outlook::ItemClass Class() override { return itemClass; }
  std::string MessageClass() override { return "IPM.Post"; }
  std::string Subject() override { return subject; }
  std::string HTMLBody() override;
  outlook::OlBodyFormat BodyFormat() override { return bodyFormat; }
  void SaveAs(const std::string& path, int format) override;
  std::shared_ptr<outlook::UserPropertyCollection> UserProperties() override;
  std::shared_ptr<outlook::AttachmentCollection> Attachments() override;
};

class FakeFolder : public outlook::Folder {
 public:
  FakeFolder(std::string name, std::string url) : name_(std::move(name)), url_(std::move(url)) {}

  // Items in folder order; a null entry is an item that is nothing; an entry listed in
  // `unreadable` throws when fetched.
  std::vector<std::shared_ptr<outlook::OutlookItem>> items;
  std::vector<int> unreadable;  // positions from 1
  int fetches = 0;              // Item() calls
  bool failWebViewURL = false;
  int failItemsWith = 0;  // Items() throws this error number when not 0

  std::string Name() override { return name_; }
  std::string FolderPath() override { return name_; }
  std::string WebViewURL() override;
  std::shared_ptr<outlook::ItemCollection> Items() override;

 private:
  std::string name_;
  std::string url_;
};

class FakeApplication;

class FakeExplorer : public outlook::Explorer {
 public:
  FakeExplorer(FakeApplication& app, std::shared_ptr<outlook::Folder> folder)
      : app_(app), folder_(std::move(folder)) {}
  std::shared_ptr<outlook::Folder> CurrentFolder() override { return folder_; }
  void Display() override;
  void Activate() override { Display(); }

 private:
  FakeApplication& app_;
  std::shared_ptr<outlook::Folder> folder_;
};

// What was put into the mail items the application created.
struct SentMail {
  std::string to, subject, body;
  bool saved = false, displayed = false;
};

class FakeApplication : public outlook::Application,
                        public std::enable_shared_from_this<FakeApplication> {
 public:
  std::string version = "11.0.8312";
  bool versionFails = false;  // Version throws
  // Answers of the folder picker in order; nothing (or none left) = closed without a choice.
  std::deque<std::shared_ptr<outlook::Folder>> picks;
  int pickerShown = 0;
  std::vector<std::shared_ptr<FakeExplorer>> explorers;
  std::shared_ptr<FakeExplorer> active;
  SentMail mail;  // of the mail items created
  std::vector<int> createdKinds;
  bool failMailSave = false;

  // Opens an explorer window on `folder` and brings it to the front.
  std::shared_ptr<FakeExplorer> OpenExplorer(std::shared_ptr<outlook::Folder> folder);

  std::string Version() override;
  std::shared_ptr<outlook::NameSpace> GetNamespace(const std::string& type) override;
  std::shared_ptr<outlook::Explorer> ActiveExplorer() override { return active; }
  std::shared_ptr<outlook::ExplorerCollection> Explorers() override;
  std::string ActiveWindowCaption() override { return "Outlook"; }
  std::shared_ptr<outlook::Assistant> Assistant() override;  // throws: there is none
  std::shared_ptr<outlook::MailItem> CreateItem(int kind) override;
};

// Hands the application out under the identifiers in `running` (GetRunning) and `creatable`
// (Create; "" is the class identifier), recording every attempt.
class FakeLauncher : public outlook::ApplicationLauncher {
 public:
  std::shared_ptr<FakeApplication> app;
  std::vector<std::string> running{"Outlook.Application"};
  std::vector<std::string> creatable;
  std::vector<std::string> attempts;  // "running:ID" or "create:ID"

  std::shared_ptr<outlook::Application> GetRunning(const std::string& progId) override;
  std::shared_ptr<outlook::Application> Create(const std::string& progId) override;
};

// The event pump of a test: counts the yields and runs the action queued for a yield number.
class ScriptedPump : public platform::EventPump {
 public:
  int yields = 0;
  std::map<int, std::function<void()>> actions;  // by yield number, from 1
  void DoEvents() override {
    ++yields;
    auto it = actions.find(yields);
    if (it != actions.end()) it->second();
  }
};

// A knowledge-base folder's home page address.
inline constexpr const char* kKbHomePage = "http://intranet/kb/OLorva.htm";

}  // namespace lorva::testing
