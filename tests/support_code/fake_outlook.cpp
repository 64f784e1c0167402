#include "fake_outlook.h"

#include <algorithm>
#include <fstream>

#include "base/error.h"
#include "base/text_rules.h"

namespace lorva::testing {

namespace {

class FakeProperty : public outlook::UserProperty {
 public:
  explicit FakeProperty(outlook::Value value) : value_(std::move(value)) {}
  outlook::Value GetValue() override { return value_; }

 private:
  outlook::Value value_;
};

class FakeProperties : public outlook::UserPropertyCollection {
 public:
  explicit FakeProperties(const std::map<std::string, outlook::Value>& properties)
      : properties_(properties) {}
  std::shared_ptr<outlook::UserProperty> Find(const std::string& name) override {
    for (const auto& [key, value] : properties_) {
      if (LowerCase(key) == LowerCase(name)) {
        return std::make_shared<FakeProperty>(value);
      }
    }
    return nullptr;
  }

 private:
  const std::map<std::string, outlook::Value>& properties_;
};

class FakeAttachments : public outlook::AttachmentCollection {
 public:
  explicit FakeAttachments(FakeItem& item) : item_(item) {}
  int Count() override { return static_cast<int>(item_.attachments.size()); }
  std::shared_ptr<outlook::Attachment> Item(int index) override {
    if (index < 1 || index > Count()) {
      throw Error(errnum::kSubscriptOutOfRange, "Subscript out of range");
    }
    return item_.attachments[static_cast<std::size_t>(index - 1)];
  }

 private:
  FakeItem& item_;
};

class FakeItems : public outlook::ItemCollection {
 public:
  explicit FakeItems(FakeFolder& folder) : folder_(folder) {}
  int Count() override { return static_cast<int>(folder_.items.size()); }
  std::shared_ptr<outlook::OutlookItem> Item(int index) override {
    ++folder_.fetches;
    if (index < 1 || index > Count())
      throw Error(errnum::kSubscriptOutOfRange, "Array index out of bounds");
    if (std::find(folder_.unreadable.begin(), folder_.unreadable.end(), index) !=
        folder_.unreadable.end()) {
      throw Error(errnum::kBadFileFormat, "The item cannot be read");
    }
    return folder_.items[static_cast<std::size_t>(index - 1)];
  }

 private:
  FakeFolder& folder_;
};

class FakeNameSpace : public outlook::NameSpace {
 public:
  explicit FakeNameSpace(std::shared_ptr<FakeApplication> app) : app_(std::move(app)) {}
  std::shared_ptr<outlook::Folder> GetDefaultFolder(int kind) override {
    auto it = app_->defaultFolders.find(kind);
    if (it == app_->defaultFolders.end())
      throw Error(errnum::kObjectNotSet, "No such default folder");
    return it->second;
  }
  std::shared_ptr<outlook::Folder> PickFolder() override {
    ++app_->pickerShown;
    if (app_->picks.empty()) return nullptr;
    auto folder = app_->picks.front();
    app_->picks.pop_front();
    return folder;
  }

 private:
  std::shared_ptr<FakeApplication> app_;
};

class FakeExplorers : public outlook::ExplorerCollection {
 public:
  explicit FakeExplorers(FakeApplication& app) : app_(app) {}
  int Count() override { return static_cast<int>(app_.explorers.size()); }
  std::shared_ptr<outlook::Explorer> Item(int index) override {
    if (index < 1 || index > Count())
      throw Error(errnum::kSubscriptOutOfRange, "Array index out of bounds");
    return app_.explorers[static_cast<std::size_t>(index - 1)];
  }
  std::shared_ptr<outlook::Explorer> Add(const std::shared_ptr<outlook::Folder>& folder,
                                         int) override {
    auto explorer = std::make_shared<FakeExplorer>(app_, folder);
    app_.explorers.push_back(explorer);
    return explorer;
  }

 private:
  FakeApplication& app_;
};

class FakeMailItem : public outlook::MailItem {
 public:
  FakeMailItem(SentMail& mail, bool failSave) : mail_(mail), failSave_(failSave) {}
  void SetTo(const std::string& to) override { mail_.to = to; }
  void SetSubject(const std::string& subject) override { mail_.subject = subject; }
  void SetBody(const std::string& body) override { mail_.body = body; }
  void Save() override {
    if (failSave_) throw Error(-2147467259, "The store refused the item");
    mail_.saved = true;
  }
  void Display() override { mail_.displayed = true; }

 private:
  SentMail& mail_;
  bool failSave_;
};

}  // namespace

void FakeAttachment::SaveAsFile(const std::string& path) {
  if (onSave) onSave(path);
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
  attachments.push_back(std::make_shared<FakeAttachment>(name, bytes, contentId, hidden));
  return *attachments.back();
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
  app_.active = std::static_pointer_cast<FakeExplorer>(
      *std::find_if(app_.explorers.begin(), app_.explorers.end(),
                    [this](const auto& e) { return e.get() == this; }));
}

void FakeExplorer::Activate() {
  ++activations;
  Display();
}

std::shared_ptr<FakeExplorer> FakeApplication::OpenExplorer(
    std::shared_ptr<outlook::Folder> folder) {
  auto explorer = std::make_shared<FakeExplorer>(*this, std::move(folder));
  explorers.push_back(explorer);
  active = explorer;
  return explorer;
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
  if (std::find(running.begin(), running.end(), progId) != running.end()) return app;
  return nullptr;
}

std::shared_ptr<outlook::Application> FakeLauncher::Create(const std::string& progId) {
  attempts.push_back("create:" + progId);
  if (std::find(creatable.begin(), creatable.end(), progId) != creatable.end()) return app;
  throw Error(errnum::kCannotCreateObject, "ActiveX component can't create object");
}

}  // namespace lorva::testing
