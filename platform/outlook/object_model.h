// The mail application's object model, as far as the program uses it: abstract interfaces with
// the members and results the callers rely on. The mail store (platform/mailstore) implements
// them over a directory of .msg files; tests implement them in memory.
//
// Conventions: an object that is "nothing" is a null shared_ptr; collections count from 1; a
// failing member throws lorva::Error. Text is UTF-8.
#pragma once

#include <memory>
#include <string>

#include "platform/outlook/value.h"

namespace lorva::outlook {

class Folder;

// Item kinds the program tells apart (Outlook's OlObjectClass values).
enum class ItemClass { kMail = 43, kPost = 45, kOther = 0 };

// The format an item's body was written in (Outlook's OlBodyFormat values).
enum class OlBodyFormat { kUnspecified = 0, kPlain = 1, kHtml = 2, kRichText = 3 };

class UserProperty {
 public:
  virtual ~UserProperty() = default;
  virtual Value GetValue() = 0;
};

class UserPropertyCollection {
 public:
  virtual ~UserPropertyCollection() = default;
  // The property of that name, letter case ignored; nothing when the item has none.
  virtual std::shared_ptr<UserProperty> Find(const std::string& name) = 0;
};

class Attachment {
 public:
  virtual ~Attachment() = default;
  virtual std::string DisplayName() = 0;
  // Writes the attachment's content to `path` (an embedded message as a .msg file).
  virtual void SaveAsFile(const std::string& path) = 0;
  // The content id that "cid:" references in the item's HTML body name; "" when none.
  virtual std::string ContentId() { return ""; }
  // Whether the attachment is hidden from the attachment list (an inline image of the body).
  virtual bool Hidden() { return false; }
};

class AttachmentCollection {
 public:
  virtual ~AttachmentCollection() = default;
  virtual int Count() = 0;
  virtual std::shared_ptr<Attachment> Item(int index) = 0;  // 1 to Count()
};

// A generic item: every member the runs reach by name. Post items and mail items alike.
class OutlookItem {
 public:
  virtual ~OutlookItem() = default;
  virtual ItemClass Class() = 0;
  virtual std::string MessageClass() = 0;  // "IPM.Post", "IPM.Note", ...
  virtual std::string Subject() = 0;
  virtual std::string HTMLBody() = 0;
  // Writes a copy of the item to `path`; `format` 1 is rich text (RTF). Other formats throw.
  virtual void SaveAs(const std::string& path, int format) = 0;
  // The format the body was written in. kHtml when the item's rich text only wraps its HTML
  // body; kRichText only for genuine rich text, whose HTMLBody is a lesser rendering of it. The
  // default suits an item that knows nothing better: its rich text is taken as genuine.
  virtual OlBodyFormat BodyFormat() { return OlBodyFormat::kRichText; }
  virtual std::shared_ptr<UserPropertyCollection> UserProperties() = 0;
  virtual std::shared_ptr<AttachmentCollection> Attachments() = 0;
};

// Takes `item` as a post item, as a typed Outlook variable would: throws Error 13 (type
// mismatch) for an item of another class. Nothing stays nothing.
std::shared_ptr<OutlookItem> AsPostItem(const std::shared_ptr<OutlookItem>& item);

class ItemCollection {
 public:
  virtual ~ItemCollection() = default;
  virtual int Count() = 0;
  // The item at `index` (1 to Count()) in folder order. An item that cannot be read throws.
  virtual std::shared_ptr<OutlookItem> Item(int index) = 0;
};

class Folder {
 public:
  virtual ~Folder() = default;
  virtual std::string Name() = 0;
  virtual std::string FolderPath() = 0;  // display names from the store root joined with "/"
  virtual std::string WebViewURL() = 0;  // the folder home page; "" when none
  virtual std::shared_ptr<ItemCollection> Items() = 0;
};

class Explorer {
 public:
  virtual ~Explorer() = default;
  virtual std::shared_ptr<Folder> CurrentFolder() = 0;
  virtual void Display() = 0;
  virtual void Activate() = 0;
};

class ExplorerCollection {
 public:
  virtual ~ExplorerCollection() = default;
  virtual int Count() = 0;
  virtual std::shared_ptr<Explorer> Item(int index) = 0;  // 1 to Count()
  virtual std::shared_ptr<Explorer> Add(const std::shared_ptr<Folder>& folder, int displayMode) = 0;
};

class NameSpace {
 public:
  virtual ~NameSpace() = default;
  // 6 the Inbox, 9 the Calendar.
  virtual std::shared_ptr<Folder> GetDefaultFolder(int kind) = 0;
  // Lets the user pick a folder; nothing when the picker was closed without a choice.
  virtual std::shared_ptr<Folder> PickFolder() = 0;
};

class Assistant {
 public:
  virtual ~Assistant() = default;
  virtual void SetVisible(bool visible) = 0;
  // Shows an alert balloon; returns the button pressed (6 Yes, 7 No, 1 OK).
  virtual int DoAlert(const std::string& title, const std::string& text, int buttons, int icon,
                      int defaultButton, int cancelBehaviour, bool systemModal) = 0;
};

class MailItem {
 public:
  virtual ~MailItem() = default;
  virtual void SetTo(const std::string& to) = 0;
  virtual void SetSubject(const std::string& subject) = 0;
  virtual void SetBody(const std::string& body) = 0;
  virtual void Save() = 0;     // stores the message unsent
  virtual void Display() = 0;  // shows it for sending
};

class Application {
 public:
  virtual ~Application() = default;
  virtual std::string Version() = 0;  // dotted text, major version first
  virtual std::shared_ptr<NameSpace> GetNamespace(const std::string& type) = 0;  // "MAPI"
  virtual std::shared_ptr<Explorer> ActiveExplorer() = 0;  // nothing when no explorer is open
  virtual std::shared_ptr<ExplorerCollection> Explorers() = 0;
  virtual std::string ActiveWindowCaption() = 0;  // ActiveWindow.Caption; throws when none
  virtual std::shared_ptr<outlook::Assistant> Assistant() = 0;  // throws when there is none
  virtual std::shared_ptr<MailItem> CreateItem(int kind) = 0;   // 0: a new mail item
};

// How the program reaches the mail application (attach to a running one or start one). The
// connection (subStartOutlook) tries these in its fixed order.
class ApplicationLauncher {
 public:
  virtual ~ApplicationLauncher() = default;
  // The running instance registered under `progId`, or nothing.
  virtual std::shared_ptr<Application> GetRunning(const std::string& progId) = 0;
  // A new instance by class identifier (when `progId` is empty) or by program identifier, or
  // nothing when it cannot be created.
  virtual std::shared_ptr<Application> Create(const std::string& progId) = 0;
};

}  // namespace lorva::outlook
