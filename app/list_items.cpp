#include "app/list_items.h"

#include "app/batch.h"

#include <memory>
#include <optional>

#include "base/error.h"
#include "base/text_rules.h"
#include "platform/mailstore/store.h"
#include "platform/outlook/object_model.h"

namespace lorva {
namespace {

constexpr char kUsage[] = "usage: lorva-archive --list-items [--store DIR] [--folder PATH]\n";

// A field on one line: tabs and line breaks would split the record, and no control character
// reaches the listing (each becomes a blank, as in the pages).
std::string Field(const std::string& text) {
  return BlankControlCharacters(text);
}

std::string PropertyText(outlook::OutlookItem& item, const std::string& name) {
  std::shared_ptr<outlook::UserProperty> property = item.UserProperties()->Find(name);
  return property ? property->GetValue().AsText() : "";
}

std::string ItemLine(outlook::OutlookItem& item) {
  std::string line = Field(item.MessageClass()) + "\t" + Field(item.Subject()) + "\t" +
                     Field(PropertyText(item, "Problem Category")) + "\t" +
                     Field(PropertyText(item, "Problem Type")) + "\t";
  std::shared_ptr<outlook::AttachmentCollection> attachments = item.Attachments();
  const int count = attachments->Count();
  line += std::to_string(count) + "\t";
  for (int i = 1; i <= count; ++i) {
    if (i > 1) line += "|";
    line += Field(attachments->Item(i)->DisplayName());
  }
  return line;
}

}  // namespace

int ListItemsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<std::string> storeOption;
  std::optional<std::string> folderOption;
  std::size_t i = (!args.empty() && args[0] == "--list-items") ? 1 : 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == "--store" || arg == "--folder") && i + 1 < args.size()) {
      (arg == "--store" ? storeOption : folderOption) = args[++i];
    } else if (arg.starts_with("--store=")) {
      storeOption = arg.substr(8);
    } else if (arg.starts_with("--folder=")) {
      folderOption = arg.substr(9);
    } else {
      err << "lorva-archive: unexpected argument \"" << arg << "\"\n" << kUsage;
      return kBatchUsageError;
    }
  }

  std::shared_ptr<mailstore::MailStore> store;
  const std::filesystem::path root = mailstore::ResolveStoreRoot(storeOption);
  try {
    store = mailstore::MailStore::Open(root);
  } catch (const Error&) {
    err << "lorva-archive: no mail store at \"" << root.string() << "\"\n";
    return kBatchNotFound;
  }
  const std::string folderPath = folderOption.value_or(store->CurrentFolderPath());
  std::shared_ptr<outlook::Folder> folder = store->GetFolder(folderPath);
  if (!folder) {
    if (folderPath.empty()) {
      err << "lorva-archive: the mail store at \"" << root.string()
          << "\" has no current folder; name one with --folder\n";
    } else {
      err << "lorva-archive: no folder \"" << folderPath << "\" in the mail store at \""
          << root.string() << "\"\n";
    }
    return kBatchNotFound;
  }

  std::shared_ptr<outlook::ItemCollection> items;
  try {
    items = folder->Items();
  } catch (const Error& error) {
    err << "lorva-archive: the folder \"" << folderPath
        << "\" cannot be read: " << error.description() << "\n";
    return kBatchNotFound;
  }
  const int count = items->Count();
  for (int position = 1; position <= count; ++position) {
    std::string line;
    try {
      std::shared_ptr<outlook::OutlookItem> item = items->Item(position);
      line = ItemLine(*item);
    } catch (const Error& error) {
      line = "unreadable\t" + Field(error.description());
    }
    out << position << "\t" << line << "\n";
  }
  out.flush();
  return 0;
}

}  // namespace lorva
