// The mail store: the stand-in for a running mail application, over a directory on disk.
//
// A store is a directory. Every sub-directory is a folder whose display name is the directory's
// name; a folder path is the display names from the store root joined with "/". A folder's
// optional "folder.ini" holds its home page address ([Folder] WebViewURL). A folder's items are
// its "*.msg" files in byte order of their names. Each time an item is asked for, its file is
// read whole (opened once) and parsed as far as its class, subject and user properties; its
// bodies and attachments are decoded from the bytes it keeps when a member asks for them.
// Nothing is cached beyond the item, so memory does not grow with the items enumerated.
//
// A small state file at the root (".lorva-state", lines "key=value") keeps the explorer's current
// folder and the number of open explorer windows between runs. New mail items are saved unsent
// as .eml files into the root's "Drafts" folder.
//
// The objects handed out implement the object model of platform/outlook/object_model.h; failures
// throw lorva::Error. A store is used from one thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/mailstore/msg_content.h"
#include "platform/outlook/object_model.h"

namespace lorva::platform {
class Dialogs;
class Shell;
}  // namespace lorva::platform

namespace lorva::mailstore {

// The name of the state file at a store's root.
inline constexpr char kStateFileName[] = ".lorva-state";

// The bundled sample store: in a development build this build's, else the one installed with the
// program (../share/lorva-archive/samples/store beside its folder).
std::filesystem::path SampleStoreRoot();

// The store to open: `storeOption` (the value of --store) when given, else `environmentValue`
// ($LORVA_STORE) when not empty, else the bundled sample store.
std::filesystem::path ResolveStoreRoot(const std::optional<std::string>& storeOption,
                                       const char* environmentValue);

// As above with the process's own $LORVA_STORE.
std::filesystem::path ResolveStoreRoot(const std::optional<std::string>& storeOption);

// The item kind of a message class: "IPM.Post" and its sub-classes post items, "IPM.Note" and its
// sub-classes ("IPM.Note.SMIME.MultipartSigned") mail items, others neither. Letter case is
// ignored, as the mail application does.
outlook::ItemClass ClassOfMessage(const std::string& messageClass);

// An item over a copy of `bytes`, the contents of a .msg file, read as the store's items are.
// `fileName` names the item in error messages. Bytes that are not a readable message throw
// lorva::Error ("The item "KB1.msg" cannot be read: ..."); a damaged body or attachment throws
// from the member that reads it ("The HTML body of the item "KB1.msg" cannot be read: ...").
std::shared_ptr<outlook::OutlookItem> MakeItem(std::span<const std::uint8_t> bytes,
                                               std::string fileName);

// An item holding `content`, written as a .msg file (WriteMsg) and read back as above.
std::shared_ptr<outlook::OutlookItem> MakeItem(const MsgContent& content, std::string fileName);

class MailStore : public std::enable_shared_from_this<MailStore> {
 public:
  // Opens the store at `root`, which must be an existing directory (else Error 76, path not
  // found). `dialogs` asks for PickFolder; `shell` opens saved mail items for Display. Either may
  // be null: the member that needs it then throws Error 91.
  static std::shared_ptr<MailStore> Open(const std::filesystem::path& root,
                                         std::shared_ptr<platform::Dialogs> dialogs = nullptr,
                                         std::shared_ptr<platform::Shell> shell = nullptr);

  const std::filesystem::path& root() const { return root_; }

  // Every folder's path, parents before their children, siblings in byte order of their names.
  // A folder whose directory cannot be listed is given without its sub-folders.
  std::vector<std::string> FolderPaths() const;

  // The folder at `path` ("Knowledge Base/Archive"), or nothing when there is none. Paths with
  // empty, "." or ".." components name no folder.
  std::shared_ptr<outlook::Folder> GetFolder(const std::string& path) const;

  // The folder `name` at the store root, created when missing.
  std::shared_ptr<outlook::Folder> GetOrCreateRootFolder(const std::string& name);

  // The explorer's current folder as kept in the state file ("" when none is kept), and setting
  // it (written to the state file at once).
  std::string CurrentFolderPath() const { return currentFolder_; }
  void SetCurrentFolderPath(const std::string& path);

  // The number of open explorer windows as kept in the state file.
  int ExplorerCount() const { return static_cast<int>(explorerFolders_.size()); }

  // The mail application over this store.
  std::shared_ptr<outlook::Application> Application();

  // Members used by the application objects.
  std::shared_ptr<platform::Dialogs> dialogs() const { return dialogs_; }
  std::shared_ptr<platform::Shell> shell() const { return shell_; }
  // The folder shown by explorer window `index` (0-based); "" when none.
  std::string ExplorerFolder(int index) const { return explorerFolders_.at(index); }
  // Opens a new explorer window on `folderPath`; returns its index.
  int AddExplorer(const std::string& folderPath);
  // The explorer window in front (0-based); -1 when none is open.
  int FrontExplorer() const { return front_; }
  // Brings explorer window `index` to the front: its folder becomes the current folder.
  void ActivateExplorer(int index);

 private:
  MailStore(std::filesystem::path root, std::shared_ptr<platform::Dialogs> dialogs,
            std::shared_ptr<platform::Shell> shell);
  void LoadState();
  void SaveState() const;

  std::filesystem::path root_;
  std::shared_ptr<platform::Dialogs> dialogs_;
  std::shared_ptr<platform::Shell> shell_;
  std::string currentFolder_;
  std::vector<std::string>
      explorerFolders_;  // one entry per open explorer window, in opening order
  int front_ = -1;
};

// Gives the store's application for the program identifier "Outlook.Application" (any letter
// case), whether asked for a running instance or a new one; a new instance by class identifier
// (an empty program identifier) is the same application. Other identifiers give nothing.
std::shared_ptr<outlook::ApplicationLauncher> MakeStoreLauncher(std::shared_ptr<MailStore> store);

}  // namespace lorva::mailstore
