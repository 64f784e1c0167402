// A mail store folder's properties file ("folder.ini"): an INI text whose [Folder] section holds
// the folder's home page address under the key WebViewURL.
#pragma once

#include <string>
#include <string_view>

namespace lorva::mailstore {

// The value of `key` in `section` of the INI text `text` (UTF-8, an optional byte-order mark,
// any line endings). Section and key names compare without regard to ASCII letter case; blanks
// around names and values are dropped, and one pair of double quotes around a value is removed.
// Lines starting with ";" or "#" are comments. "" when the section or key is missing; the first
// occurrence wins.
std::string IniValue(std::string_view text, std::string_view section, std::string_view key);

// The home page address in a folder.ini text; "" when there is none.
inline std::string FolderWebViewUrl(std::string_view folderIniText) {
  return IniValue(folderIniText, "Folder", "WebViewURL");
}

}  // namespace lorva::mailstore
