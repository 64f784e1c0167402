#include "platform/mailstore/store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <span>
#include <system_error>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "base/text_rules.h"
#include "platform/mailstore/compressed_rtf.h"
#include "platform/mailstore/eml.h"
#include "platform/mailstore/folder_ini.h"
#include "platform/mailstore/msg_reader.h"
#include "platform/mailstore/rtf_html.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialogs.h"

namespace lorva::mailstore {
namespace fs = std::filesystem;
using outlook::ItemClass;

namespace {

constexpr char kFolderIni[] = "folder.ini";
constexpr char kDrafts[] = "Drafts";

std::error_code LastError() {
  return std::error_code(errno, std::generic_category());
}

std::string ReadTextFile(const fs::path& path) {
  return std::string(ReadWholeFile(path.string()).view());
}

void WriteFileBytes(const fs::path& path, const void* data, std::size_t size) {
  const std::string_view bytes(static_cast<const char*>(data), size);
  if (const std::error_code code = WriteWholeFile(path.string(), bytes)) {
    throw ErrorFromSystem(code, path.string());
  }
}

// An item file: a regular file named "*.msg" (letters in either case), or a link to one.
bool IsItemFile(const std::string& directory, std::string_view name, FolderEntryType type) {
  if (name.size() < 4 || !EqualIgnoringAsciiCase(name.substr(name.size() - 4), ".msg")) {
    return false;
  }
  if (type != FolderEntryType::kLink) return type == FolderEntryType::kFile;
  std::error_code ignored;
  return fs::is_regular_file(fs::path(directory) / name, ignored);
}

// The names of the sub-directories (or item files) of `directory`, in byte order. Symbolic links
// to folders are not taken, so a link loop cannot make the folder walk endless.
std::vector<std::string> ListNames(const fs::path& directory, bool folders) {
  std::vector<std::string> names;
  const std::string path = directory.string();
  const std::error_code code = ListFolder(path, [&](std::string_view name, FolderEntryType type) {
    if (folders ? type == FolderEntryType::kFolder : IsItemFile(path, name, type)) {
      names.emplace_back(name);
    }
  });
  if (code) throw ErrorFromSystem(code, path);
  std::sort(names.begin(), names.end());
  return names;
}

// ---------------------------------------------------------------------------------------------
// Items

// Runs `read`; a failure becomes lorva::Error saying that `what` ("The item \"KB1.msg\"")
// cannot be read, and why.
template <class What, class Read>
auto Reading(const What& what, const Read& read) {
  try {
    return read();
  } catch (const Error& error) {
    throw Error(error.number(), what() + " cannot be read: " + error.description());
  } catch (const std::exception& error) {
    throw Error(errnum::kBadFileFormat, what() + " cannot be read: " + std::string(error.what()));
  }
}

std::string TheItem(const std::string& fileName) {
  return "The item \"" + fileName + "\"";
}

// An item's file: its bytes, read once, and the message parsed from them as far as MsgReader
// parses on opening. The item, its user properties and its attachments share it; what else they
// need they read from it when asked.
class ItemFile {
 public:
  // Throws lorva::Error for bytes that are not a readable message.
  ItemFile(FileBytes bytes, std::string fileName)
      : bytes_(std::move(bytes)), reader_(bytes_.span()), fileName_(std::move(fileName)) {}

  const MsgReader& reader() const { return reader_; }

  // Runs `read`, which reads `part` of the item ("HTML body"); a failure becomes lorva::Error
  // naming the part and the item's file.
  template <class Read>
  auto ReadingPart(const std::string& part, Read&& read) const {
    return Reading([&] { return "The " + part + " of the item \"" + fileName_ + "\""; }, read);
  }

 private:
  FileBytes bytes_;  // reader_ reads from them
  MsgReader reader_;
  std::string fileName_;
};

class StoreUserProperty : public outlook::UserProperty {
 public:
  explicit StoreUserProperty(outlook::Value value) : value_(std::move(value)) {}
  outlook::Value GetValue() override { return value_; }

 private:
  outlook::Value value_;
};

class StoreUserProperties : public outlook::UserPropertyCollection {
 public:
  explicit StoreUserProperties(std::shared_ptr<const ItemFile> file) : file_(std::move(file)) {}
  std::shared_ptr<outlook::UserProperty> Find(const std::string& name) override {
    for (const MsgUserProperty& property : file_->reader().UserProperties()) {
      if (property.name == name || EqualIgnoringCase(property.name, name)) {
        return std::make_shared<StoreUserProperty>(property.value);
      }
    }
    return nullptr;
  }

 private:
  std::shared_ptr<const ItemFile> file_;
};

std::string AttachmentPart(std::size_t index) {
  return "attachment " + std::to_string(index + 1);
}

class StoreAttachment : public outlook::Attachment {
 public:
  StoreAttachment(std::shared_ptr<const ItemFile> file, std::size_t index, MsgAttachment properties)
      : file_(std::move(file)), index_(index), properties_(std::move(properties)) {}
  std::string DisplayName() override { return properties_.ShownName(); }
  // Writes the content straight from the item's file where it lies there whole.
  void SaveAsFile(const std::string& path) override {
    std::vector<std::uint8_t> scratch;
    const std::span<const std::uint8_t> content = file_->ReadingPart(
        AttachmentPart(index_), [&] { return file_->reader().AttachmentContent(index_, scratch); });
    WriteFileBytes(path, content.data(), content.size());
  }
  std::string ContentId() override { return properties_.contentId; }
  bool Hidden() override { return properties_.hidden; }

 private:
  std::shared_ptr<const ItemFile> file_;
  std::size_t index_;
  MsgAttachment properties_;  // without the content
};

class StoreAttachments : public outlook::AttachmentCollection {
 public:
  explicit StoreAttachments(std::shared_ptr<const ItemFile> file) : file_(std::move(file)) {}
  int Count() override { return static_cast<int>(file_->reader().AttachmentCount()); }
  std::shared_ptr<outlook::Attachment> Item(int index) override {
    if (index < 1 || index > Count()) {
      throw Error(errnum::kSubscriptOutOfRange, "Array index out of bounds");
    }
    const auto at = static_cast<std::size_t>(index - 1);
    MsgAttachment properties =
        file_->ReadingPart(AttachmentPart(at), [&] { return file_->reader().Attachment(at); });
    return std::make_shared<StoreAttachment>(file_, at, std::move(properties));
  }

 private:
  std::shared_ptr<const ItemFile> file_;
};

// An item over its file. Class, subject and user properties were read on opening; the bodies
// and attachments are read when a member asks for them, and a damaged one throws from that
// member.
class StoreItem : public outlook::OutlookItem {
 public:
  explicit StoreItem(std::shared_ptr<const ItemFile> file) : file_(std::move(file)) {}

  ItemClass Class() override { return ClassOfMessage(reader().MessageClass()); }
  std::string MessageClass() override { return reader().MessageClass(); }
  std::string Subject() override { return reader().Subject(); }

  // The HTML body; else the HTML that the rich text encapsulates; else the plain-text body as
  // HTML; else the text of the rich text as HTML.
  std::string HTMLBody() override {
    const MsgReader& message = reader();
    if (message.HasHtmlBody()) {
      return file_->ReadingPart("HTML body", [&] { return message.HtmlBody().value_or(""); });
    }
    if (message.HasRichText()) {
      const std::string* rtf = nullptr;
      try {
        rtf = &RichText();
      } catch (const Error&) {
        // A damaged rich-text body does not hide an intact plain-text one.
        if (message.HasPlainBody()) return PlainTextToHtml(PlainBody());
        throw;
      }
      if (std::optional<std::string> html = ExtractHtmlFromRtf(*rtf)) return *std::move(html);
      if (message.HasPlainBody()) return PlainTextToHtml(PlainBody());
      return PlainTextToHtml(ExtractTextFromRtf(*rtf));
    }
    if (message.HasPlainBody()) return PlainTextToHtml(PlainBody());
    return "";
  }

  // Rich text is genuine unless it wraps the HTML body, or wraps a plain-text body while the
  // item holds HTML of its own, or the item says it was written in HTML and holds that HTML (its
  // rich text then is a copy made from it). An item without rich text has the body it holds.
  outlook::OlBodyFormat BodyFormat() override {
    using outlook::OlBodyFormat;
    constexpr std::int32_t kNativeHtml = 3;
    const MsgReader& message = reader();
    const bool hasHtml = message.HasHtmlBody();
    const OlBodyFormat held = hasHtml ? OlBodyFormat::kHtml : OlBodyFormat::kPlain;
    if (!message.HasRichText()) return held;
    const std::string* rtf = nullptr;
    try {
      rtf = &RichText();
    } catch (const Error&) {
      return held;
    }
    if (IsRtfFromHtml(*rtf)) return OlBodyFormat::kHtml;
    if (hasHtml && (IsRtfFromText(*rtf) || message.NativeBody() == kNativeHtml)) {
      return OlBodyFormat::kHtml;
    }
    return OlBodyFormat::kRichText;
  }

  void SaveAs(const std::string& path, int format) override {
    if (format != 1) {
      throw Error(errnum::kInvalidProcedureCall,
                  "Invalid procedure call or argument: the item can only be saved as rich text "
                  "(format 1), not in format " +
                      std::to_string(format));
    }
    if (reader().HasRichText()) {
      const std::string& rtf = RichText();
      WriteFileBytes(path, rtf.data(), rtf.size());
    } else {
      const std::string rtf = EncapsulateHtmlInRtf(HTMLBody());
      WriteFileBytes(path, rtf.data(), rtf.size());
    }
  }

  std::shared_ptr<outlook::UserPropertyCollection> UserProperties() override {
    return std::make_shared<StoreUserProperties>(file_);
  }
  std::shared_ptr<outlook::AttachmentCollection> Attachments() override {
    return std::make_shared<StoreAttachments>(file_);
  }

 private:
  const MsgReader& reader() const { return file_->reader(); }

  std::string PlainBody() const {
    return file_->ReadingPart("plain-text body", [&] { return reader().PlainBody().value_or(""); });
  }

  // The item's rich text (which it must hold), decompressed once: the body format, the HTML body
  // and saving as rich text each need it. Throws lorva::Error naming the item when it is
  // damaged.
  const std::string& RichText() {
    if (!richText_) {
      richText_ = file_->ReadingPart("rich text", [&] {
        std::vector<std::uint8_t> scratch;
        return DecompressRtf(
            reader().CompressedRtf(scratch).value_or(std::span<const std::uint8_t>()));
      });
    }
    return *richText_;
  }

  std::shared_ptr<const ItemFile> file_;
  std::optional<std::string> richText_;
};

std::shared_ptr<outlook::OutlookItem> ItemOver(FileBytes bytes, std::string fileName) {
  return std::make_shared<StoreItem>(
      std::make_shared<const ItemFile>(std::move(bytes), std::move(fileName)));
}

class StoreItems : public outlook::ItemCollection {
 public:
  StoreItems(const fs::path& directory, std::vector<std::string> names)
      : folder_(directory.string() + "/"), names_(std::move(names)) {}
  int Count() override { return static_cast<int>(names_.size()); }
  // Reads the item's file (opened once, here) and parses what opening a message parses.
  std::shared_ptr<outlook::OutlookItem> Item(int index) override {
    if (index < 1 || index > Count()) {
      throw Error(errnum::kSubscriptOutOfRange, "Array index out of bounds");
    }
    const std::string& name = names_[static_cast<std::size_t>(index - 1)];
    return Reading([&] { return TheItem(name); },
                   [&] { return ItemOver(ReadWholeFile(folder_ + name), name); });
  }

 private:
  std::string folder_;  // the folder's path and a "/"
  std::vector<std::string> names_;
};

// ---------------------------------------------------------------------------------------------
// Folders

class StoreFolder : public outlook::Folder {
 public:
  StoreFolder(fs::path directory, std::string path)
      : directory_(std::move(directory)), path_(std::move(path)) {}
  std::string Name() override {
    const std::size_t slash = path_.rfind('/');
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
  }
  std::string FolderPath() override { return path_; }
  std::string WebViewURL() override {
    const fs::path ini = directory_ / kFolderIni;
    std::error_code code;
    if (!fs::is_regular_file(ini, code)) return "";
    return FolderWebViewUrl(ReadTextFile(ini));
  }
  std::shared_ptr<outlook::ItemCollection> Items() override {
    return std::make_shared<StoreItems>(directory_, ListNames(directory_, false));
  }

 private:
  fs::path directory_;
  std::string path_;
};

// ---------------------------------------------------------------------------------------------
// The application

class StoreExplorer : public outlook::Explorer {
 public:
  StoreExplorer(std::shared_ptr<MailStore> store, int index)
      : store_(std::move(store)), index_(index) {}
  std::shared_ptr<outlook::Folder> CurrentFolder() override {
    if (index_ >= store_->ExplorerCount()) return nullptr;
    return store_->GetFolder(store_->ExplorerFolder(index_));
  }
  void Display() override { Activate(); }
  void Activate() override {
    if (index_ >= store_->ExplorerCount()) {
      throw Error(errnum::kObjectNotSet, "The explorer window has been closed");
    }
    store_->ActivateExplorer(index_);
  }

 private:
  std::shared_ptr<MailStore> store_;
  int index_;
};

class StoreExplorers : public outlook::ExplorerCollection {
 public:
  explicit StoreExplorers(std::shared_ptr<MailStore> store) : store_(std::move(store)) {}
  int Count() override { return store_->ExplorerCount(); }
  std::shared_ptr<outlook::Explorer> Item(int index) override {
    if (index < 1 || index > Count()) {
      throw Error(errnum::kSubscriptOutOfRange, "Array index out of bounds");
    }
    return std::make_shared<StoreExplorer>(store_, index - 1);
  }
  std::shared_ptr<outlook::Explorer> Add(const std::shared_ptr<outlook::Folder>& folder,
                                         int /*displayMode*/) override {
    if (!folder) throw Error(errnum::kObjectNotSet, "Object variable not set: no folder to show");
    return std::make_shared<StoreExplorer>(store_, store_->AddExplorer(folder->FolderPath()));
  }

 private:
  std::shared_ptr<MailStore> store_;
};

class StoreNameSpace : public outlook::NameSpace {
 public:
  explicit StoreNameSpace(std::shared_ptr<MailStore> store) : store_(std::move(store)) {}
  std::shared_ptr<outlook::Folder> GetDefaultFolder(int kind) override {
    switch (kind) {
      case 6:
        return store_->GetOrCreateRootFolder("Inbox");
      case 9:
        return store_->GetOrCreateRootFolder("Calendar");
      default:
        throw Error(errnum::kInvalidProcedureCall,
                    "Invalid procedure call or argument: the mail store has no default folder " +
                        std::to_string(kind));
    }
  }
  std::shared_ptr<outlook::Folder> PickFolder() override {
    if (!store_->dialogs()) {
      throw Error(errnum::kObjectNotSet, "Object variable not set: no folder picker");
    }
    const std::string chosen =
        store_->dialogs()->PickMailFolder(store_->FolderPaths(), store_->CurrentFolderPath());
    if (chosen.empty()) return nullptr;
    std::shared_ptr<outlook::Folder> folder = store_->GetFolder(chosen);
    if (folder) store_->SetCurrentFolderPath(chosen);
    return folder;
  }

 private:
  std::shared_ptr<MailStore> store_;
};

class StoreMailItem : public outlook::MailItem {
 public:
  explicit StoreMailItem(std::shared_ptr<MailStore> store) : store_(std::move(store)) {}
  void SetTo(const std::string& to) override { mail_.to = to; }
  void SetSubject(const std::string& subject) override { mail_.subject = subject; }
  void SetBody(const std::string& body) override { mail_.body = body; }

  void Save() override {
    const std::string message = FormatUnsentMail(mail_);
    if (path_.empty()) path_ = CreateDraftFile();
    WriteFileBytes(path_, message.data(), message.size());
  }

  void Display() override {
    if (!store_->shell()) throw Error(errnum::kObjectNotSet, "Object variable not set: no shell");
    Save();
    store_->shell()->Open(path_.string());
  }

 private:
  // A new, empty file in the Drafts folder, named after the time of saving.
  fs::path CreateDraftFile() {
    store_->GetOrCreateRootFolder(kDrafts);
    const fs::path drafts = store_->root() / kDrafts;
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    for (int n = 1;; ++n) {
      // Appended piece by piece: GCC 12 warns (-Wrestrict) falsely on "-" + std::to_string(n).
      std::string name = std::string("draft-") + stamp;
      if (n > 1) name.append("-").append(std::to_string(n));
      name += ".eml";
      const fs::path candidate = drafts / name;
      const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd >= 0) {
        ::close(fd);
        return candidate;
      }
      if (errno != EEXIST || n > 1000) throw ErrorFromSystem(LastError(), candidate.string());
    }
  }

  std::shared_ptr<MailStore> store_;
  UnsentMail mail_;
  fs::path path_;
};

class StoreApplication : public outlook::Application {
 public:
  explicit StoreApplication(std::shared_ptr<MailStore> store) : store_(std::move(store)) {}
  std::string Version() override { return "16.0.0.0"; }
  std::shared_ptr<outlook::NameSpace> GetNamespace(const std::string& type) override {
    if (AsciiLower(type) != "mapi") {
      throw Error(errnum::kInvalidProcedureCall,
                  "Invalid procedure call or argument: no namespace \"" + type + "\"");
    }
    return std::make_shared<StoreNameSpace>(store_);
  }
  std::shared_ptr<outlook::Explorer> ActiveExplorer() override {
    if (store_->ExplorerCount() == 0) return nullptr;
    return std::make_shared<StoreExplorer>(store_, store_->FrontExplorer());
  }
  std::shared_ptr<outlook::ExplorerCollection> Explorers() override {
    return std::make_shared<StoreExplorers>(store_);
  }
  std::string ActiveWindowCaption() override {
    if (store_->ExplorerCount() == 0) {
      throw Error(errnum::kObjectNotSet, "Object variable not set: no window is open");
    }
    std::string folder = store_->CurrentFolderPath();
    folder = folder.substr(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/') + 1);
    return (folder.empty() ? std::string() : folder + " - ") + "Mail Store";
  }
  std::shared_ptr<outlook::Assistant> Assistant() override {
    throw Error(errnum::kNotSupported,
                "Object doesn't support this property or method: the mail store has no Office "
                "Assistant");
  }
  std::shared_ptr<outlook::MailItem> CreateItem(int kind) override {
    if (kind != 0) {
      throw Error(errnum::kInvalidProcedureCall,
                  "Invalid procedure call or argument: the mail store creates mail items (0) "
                  "only, not items of kind " +
                      std::to_string(kind));
    }
    return std::make_shared<StoreMailItem>(store_);
  }

 private:
  std::shared_ptr<MailStore> store_;
};

class StoreLauncher : public outlook::ApplicationLauncher {
 public:
  explicit StoreLauncher(std::shared_ptr<MailStore> store) : store_(std::move(store)) {}
  std::shared_ptr<outlook::Application> GetRunning(const std::string& progId) override {
    return IsOutlook(progId) ? store_->Application() : nullptr;
  }
  std::shared_ptr<outlook::Application> Create(const std::string& progId) override {
    return progId.empty() || IsOutlook(progId) ? store_->Application() : nullptr;
  }

 private:
  static bool IsOutlook(const std::string& progId) {
    const std::string lower = AsciiLower(progId);
    return lower == "outlook.application" || lower.starts_with("outlook.application.");
  }
  std::shared_ptr<MailStore> store_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

fs::path SampleStoreRoot() {
#ifdef LORVA_SAMPLE_STORE
  return fs::path(LORVA_SAMPLE_STORE);
#else
  return (fs::path(ProgramFolder()) / "../share/lorva-archive/samples/store").lexically_normal();
#endif
}

fs::path ResolveStoreRoot(const std::optional<std::string>& storeOption,
                          const char* environmentValue) {
  if (storeOption) return fs::path(*storeOption);
  if (environmentValue != nullptr && *environmentValue != '\0') return fs::path(environmentValue);
  return SampleStoreRoot();
}

fs::path ResolveStoreRoot(const std::optional<std::string>& storeOption) {
  return ResolveStoreRoot(storeOption, std::getenv("LORVA_STORE"));
}

ItemClass ClassOfMessage(const std::string& messageClass) {
  const std::string lower = AsciiLower(messageClass);
  const auto isClassOrSubclass = [&](std::string_view base) {
    return lower == base ||
           (lower.size() > base.size() && lower.starts_with(base) && lower[base.size()] == '.');
  };
  if (isClassOrSubclass("ipm.post")) return ItemClass::kPost;
  if (isClassOrSubclass("ipm.note")) return ItemClass::kMail;
  return ItemClass::kOther;
}

std::shared_ptr<outlook::OutlookItem> MakeItem(std::span<const std::uint8_t> bytes,
                                               std::string fileName) {
  return Reading([&] { return TheItem(fileName); },
                 [&] { return ItemOver(FileBytes::CopyOf(bytes), fileName); });
}

std::shared_ptr<outlook::OutlookItem> MakeItem(const MsgContent& content, std::string fileName) {
  return MakeItem(WriteMsg(content), std::move(fileName));
}

MailStore::MailStore(fs::path root, std::shared_ptr<platform::Dialogs> dialogs,
                     std::shared_ptr<platform::Shell> shell)
    : root_(std::move(root)), dialogs_(std::move(dialogs)), shell_(std::move(shell)) {}

std::shared_ptr<MailStore> MailStore::Open(const fs::path& root,
                                           std::shared_ptr<platform::Dialogs> dialogs,
                                           std::shared_ptr<platform::Shell> shell) {
  std::error_code code;
  if (!fs::is_directory(root, code)) {
    throw Error(errnum::kPathNotFound, "Path not found: no mail store at " + root.string());
  }
  std::shared_ptr<MailStore> store(new MailStore(root, std::move(dialogs), std::move(shell)));
  store->LoadState();
  return store;
}

std::vector<std::string> MailStore::FolderPaths() const {
  std::vector<std::string> paths;
  // Depth first; `pending` holds folders still to visit, the next one last.
  std::vector<std::string> pending;
  const auto push = [&](const std::string& parent) {
    std::vector<std::string> names;
    try {
      names = ListNames(parent.empty() ? root_ : root_ / parent, true);
    } catch (const Error&) {
      // A folder that cannot be listed is still shown; only the store root must be readable.
      if (parent.empty()) throw;
    }
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
      pending.push_back(parent.empty() ? *it : parent + "/" + *it);
    }
  };
  push("");
  while (!pending.empty()) {
    std::string path = std::move(pending.back());
    pending.pop_back();
    paths.push_back(path);
    push(path);
  }
  return paths;
}

std::shared_ptr<outlook::Folder> MailStore::GetFolder(const std::string& path) const {
  if (path.empty()) return nullptr;
  fs::path directory = root_;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = path.find('/', start);
    const std::string name = path.substr(start, slash == std::string::npos ? slash : slash - start);
    if (name.empty() || name == "." || name == "..") return nullptr;
    directory /= name;
    std::error_code code;
    if (fs::symlink_status(directory, code).type() != fs::file_type::directory) return nullptr;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return std::make_shared<StoreFolder>(directory, path);
}

std::shared_ptr<outlook::Folder> MailStore::GetOrCreateRootFolder(const std::string& name) {
  if (std::shared_ptr<outlook::Folder> folder = GetFolder(name)) return folder;
  std::error_code code;
  fs::create_directory(root_ / name, code);
  if (code) throw ErrorFromSystem(code, (root_ / name).string());
  std::shared_ptr<outlook::Folder> folder = GetFolder(name);
  if (!folder) throw Error(errnum::kPathNotFound, "Path not found: " + (root_ / name).string());
  return folder;
}

void MailStore::SetCurrentFolderPath(const std::string& path) {
  currentFolder_ = path;
  // The window in front now shows that folder.
  if (!explorerFolders_.empty()) explorerFolders_[static_cast<std::size_t>(front_)] = path;
  SaveState();
}

std::shared_ptr<outlook::Application> MailStore::Application() {
  return std::make_shared<StoreApplication>(shared_from_this());
}

int MailStore::AddExplorer(const std::string& folderPath) {
  explorerFolders_.push_back(folderPath);
  // A window opened when none was open is the one in front; otherwise it waits for Display.
  if (explorerFolders_.size() == 1) {
    front_ = 0;
    currentFolder_ = folderPath;
  }
  SaveState();
  return static_cast<int>(explorerFolders_.size()) - 1;
}

void MailStore::ActivateExplorer(int index) {
  currentFolder_ = explorerFolders_.at(static_cast<std::size_t>(index));
  front_ = index;
  SaveState();
}

void MailStore::LoadState() {
  const fs::path file = root_ / kStateFileName;
  std::error_code code;
  if (!fs::is_regular_file(file, code)) return;
  const std::string text = ReadTextFile(file);
  int explorers = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "CurrentFolder") {
      currentFolder_ = value;
    } else if (key == "Explorers") {
      explorers = std::clamp(std::atoi(value.c_str()), 0, 64);
    }
  }
  explorerFolders_.assign(static_cast<std::size_t>(explorers), currentFolder_);
  front_ = explorers - 1;
}

// The state is kept best effort: a store on read-only media still works, it just does not
// remember its state for the next start.
void MailStore::SaveState() const {
  const std::string text = "CurrentFolder=" + currentFolder_ + "\n" +
                           "Explorers=" + std::to_string(explorerFolders_.size()) + "\n";
  ReplaceFile((root_ / kStateFileName).string(), text);  // a failure leaves the old state
}

std::shared_ptr<outlook::ApplicationLauncher> MakeStoreLauncher(std::shared_ptr<MailStore> store) {
  return std::make_shared<StoreLauncher>(std::move(store));
}

}  // namespace lorva::mailstore
