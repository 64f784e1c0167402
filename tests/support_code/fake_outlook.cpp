#include "fake_outlook.h"

#include <algorithm>
#include <fstream>

#include "base/error.h"
#include "base/text_rules.h"

namespace lorva::testing {

namespace {

// The `index`-th (from 1) of `list`, as the object model's collections hand them out.
template <typename T>
T At(const std::vector<T>& list, int index) {
  if (index < 1 || index > static_cast<int>(list.size())) {
    throw Error(errnum::kSubscriptOutOfRange, "Array index out of bounds");
  }
  return list[static_cast<std::size_t>(index - 1)];
}

bool Contains(const std::vector<std::string>& list, const std::string& id) {
  return std::find(list.begin(), list.end(), id) != list.end();
}

struct FakeProperty : outlook::UserProperty {
  explicit FakeProperty(outlook::Value value) : value(std::move(value)) {}
  outlook::Value GetValue() override { return value; }
  outlook::Value value;
};

struct FakeProperties : outlook::UserPropertyCollection {
  explicit FakeProperties(const std::map<std::string, outlook::Value>& properties)
      : properties(properties) {}
  std::shared_ptr<outlook::UserProperty> Find(const std::string& name) override {
    for (const auto& [key, value] : properties) {
      if (LowerCase(key) == LowerCase(name)) return std::make_shared<FakeProperty>(value);
    }
    return nullptr;
  }
  const std::map<std::string, outlook::Value>& properties;
};

struct FakeAttachments : outlook::AttachmentCollection {
  explicit FakeAttachments(FakeItem& item) : item(item) {}
  int Count() override { return static_cast<int>(item.attachments.size()); }
  std::shared_ptr<outlook::Attachment> Item(int index) override {
    return At(item.attachments, index);
  }
  FakeItem& item;
};

struct FakeItems : outlook::ItemCollection {
  explicit FakeItems(FakeFolder& folder) : folder(folder) {}
  int Count() override { return static_cast<int>(folder.items.size()); }
  std::shared_ptr<outlook::OutlookItem> Item(int index) override {
    ++folder.fetches;
    auto item = At(folder.items, index);
    if (std::count(folder.unreadable.begin(), folder.unreadable.end(), index)) {
      throw Error(errnum::kBadFileFormat, "The item cannot be read");
    }
    return item;
  }
  FakeFolder& folder;
};

struct FakeNameSpace : outlook::NameSpace {
  explicit FakeNameSpace(std::shared_ptr<FakeApplication> app) : app(std::move(app)) {}
  std::shared_ptr<outlook::Folder> GetDefaultFolder(int) override { return nullptr; }
  std::shared_ptr<outlook::Folder> PickFolder() override {
    ++app->pickerShown;
    if (app->picks.empty()) return nullptr;
    auto folder = app->picks.front();
    app->picks.pop_front();
    return folder;
  }
  std::shared_ptr<FakeApplication> app;
};

struct FakeExplorers : outlook::ExplorerCollection {
  explicit FakeExplorers(FakeApplication& app) : app(app) {}
  int Count() override { return static_cast<int>(app.explorers.size()); }
  std::shared_ptr<outlook::Explorer> Item(int index) override { return At(app.explorers, index); }
  std::shared_ptr<outlook::Explorer> Add(const std::shared_ptr<outlook::Folder>&, int) override {
    return nullptr;
  }
  FakeApplication& app;
};

struct FakeMailItem : outlook::MailItem {
  FakeMailItem(SentMail& mail, bool failSave) : mail(mail), failSave(failSave) {}
  void SetTo(const std::string& to) override { mail.to = to; }
  void SetSubject(const std::string& subject) override { mail.subject = subject; }
  void SetBody(const std::string& body) override { mail.body = body; }
  void Save() override {
    if (failSave) throw Error(-2147467259, "The store refused the item");
    mail.saved = true;
  }
  void Display() override { mail.displayed = true; }
  SentMail& mail;
  bool failSave;
};

}  // namespace

void FakeAttachment::SaveAsFile(const std::string& path) {
  if (fail) throw Error(errnum::kPathFileAccessError, "Cannot save the attachment");
  if (damaged) throw Error(errnum::kBadFileFormat, "The attachment of " + name + " is damaged");
  std::ofstream(path, std::ios::binary) << bytes;
}

std::shared_ptr<FakeItem> FakeItem::Post(const std::string& subject, const std::string& category,
                                         const std::string& type, const std::string& body) {
  auto item = std::make_shared<FakeItem>();
  item->subject = subject;
  item->htmlBody = body.empty() ? "<html><body><p>" + subject + "</p></body></html>" : body;
  if (!category.empty()) item->properties["Problem Category"] = outlook::Value::Text(category);
  if (!type.empty()) item->properties["Problem Type"] = outlook::Value::Text(type);
  return item;
}

FakeAttachment& FakeItem::Attach(const std::string& name, const std::string& bytes,
                                 const std::string& contentId, bool hidden) {
  auto& attachment = *attachments.emplace_back(std::make_shared<FakeAttachment>());
  attachment.name = name;
  attachment.bytes = bytes;
  attachment.contentId = contentId;
  attachment.hidden = hidden;
  return attachment;
}

void FakeItem::SaveAs(const std::string& path, int format) {
  ++saveAsCalls;
  if (format != 1) throw Error(errnum::kInvalidProcedureCall, "Invalid procedure call");
  std::ofstream out(path, std::ios::binary);
  if (!out) throw Error(errnum::kPathNotFound, "Path not found: " + path);
  out << (rtf.empty() ? "{\\rtf1 " + subject + "}" : rtf);
}

std::shared_ptr<outlook::UserPropertyCollection> FakeItem::UserProperties() {
  if (failProperties) throw Error(errnum::kNotSupported, "Object doesn't support this property");
  return std::make_shared<FakeProperties>(properties);
}

std::string FakeItem::HTMLBody() {
  if (failBody) throw Error(errnum::kBadFileFormat, "The HTML body of " + subject + " is damaged");
  return htmlBody;
}

std::shared_ptr<outlook::AttachmentCollection> FakeItem::Attachments() {
  return std::make_shared<FakeAttachments>(*this);
}

std::string FakeFolder::WebViewURL() {
  if (failWebViewURL) throw Error(errnum::kNotSupported, "The home page cannot be read");
  return url_;
}

std::shared_ptr<outlook::ItemCollection> FakeFolder::Items() {
  if (failItemsWith != 0) throw Error(failItemsWith, "The items cannot be read");
  return std::make_shared<FakeItems>(*this);
}

void FakeExplorer::Display() {
  for (const auto& explorer : app_.explorers) {
    if (explorer.get() == this) app_.active = explorer;
  }
}

std::shared_ptr<FakeExplorer> FakeApplication::OpenExplorer(
    std::shared_ptr<outlook::Folder> folder) {
  return active = explorers.emplace_back(std::make_shared<FakeExplorer>(*this, std::move(folder)));
}

std::string FakeApplication::Version() {
  if (versionFails) throw Error(-2147023174, "The RPC server is unavailable.");
  return version;
}

std::shared_ptr<outlook::NameSpace> FakeApplication::GetNamespace(const std::string& type) {
  if (type != "MAPI") throw Error(errnum::kInvalidProcedureCall, "Invalid procedure call");
  return std::make_shared<FakeNameSpace>(shared_from_this());
}

std::shared_ptr<outlook::ExplorerCollection> FakeApplication::Explorers() {
  return std::make_shared<FakeExplorers>(*this);
}

std::shared_ptr<outlook::Assistant> FakeApplication::Assistant() {
  throw Error(errnum::kNotSupported, "Object doesn't support this property or method");
}

std::shared_ptr<outlook::MailItem> FakeApplication::CreateItem(int kind) {
  createdKinds.push_back(kind);
  return std::make_shared<FakeMailItem>(mail, failMailSave);
}

std::shared_ptr<outlook::Application> FakeLauncher::GetRunning(const std::string& progId) {
  attempts.push_back("running:" + progId);
  return Contains(running, progId) ? app : nullptr;
}

std::shared_ptr<outlook::Application> FakeLauncher::Create(const std::string& progId) {
  attempts.push_back("create:" + progId);
  if (Contains(creatable, progId)) return app;
  throw Error(errnum::kCannotCreateObject, "ActiveX component can't create object");
}

}  // namespace lorva::testing
