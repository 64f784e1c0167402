// "--list-items": how a user (and the checks) see what the archive will see in a store folder.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace lorva {

// Runs `lorva-archive --list-items [--store DIR] [--folder PATH]`. `args` are the arguments after
// the program name (a leading "--list-items" is skipped). Prints the folder's items in folder
// order, one line each, fields separated by tabs: position from 1, message class, subject,
// "Problem Category", "Problem Type" (empty when missing), attachment count, and the attachments'
// display names joined with "|". An item that cannot be read prints its position, "unreadable"
// and the reason, and the listing goes on. Control characters inside a field (tabs and line
// breaks among them) print as blanks. The folder is the store's current folder unless --folder
// names one. Returns 0; the batch mode's statuses otherwise (the reason goes to `err`):
// kBatchUsageError for wrong arguments, kBatchNotFound when the store or the folder cannot be
// found or read.
int ListItemsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace lorva
