// The registry tree of the current user's hive, and its text form: the ".reg" export syntax of
// the Windows registry editor.
//
// The text form, as read and written here:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Tessaly\Outlook Lorva\Settings]
//   "DestinationFolder"="/home/ann/kb"
//   "Path with \"quotes\""="C:\\Temp"
//   @="the key's default value"
//   "Count"=dword:0000000a
//   "Blob"=hex:01,02,ff
//   "Other"=hex(b):00,01,00,00,00,00,00,00
//
// - The file is UTF-8 (a leading byte-order mark is accepted); lines end with LF (CR LF is
//   accepted). Key names, value names and strings are UTF-8 text.
// - A section names a key below HKEY_CURRENT_USER by its path; the keys on the way exist too.
//   Sections may repeat; their values are merged, a later value replacing an earlier one.
// - "name"="text" is a REG_SZ value whose data are the text's bytes and a terminating zero;
//   only \\ and \" are escapes. dword:XXXXXXXX (up to 8 hex digits) is a REG_DWORD value, stored
//   little-endian. hex:.. is REG_BINARY and hex(T):.. a value of type T (hexadecimal), with
//   the data as comma-separated bytes; a line ending in "\" continues on the next line.
// - The data of hex(1) and hex(2) values are the bytes as stored (our stored text is UTF-8),
//   not the UTF-16 that the Windows editor writes there. A REG_SZ value that cannot be written
//   as quoted text (no terminating zero, an inner zero, a line break, bytes that are not UTF-8)
//   is written as hex(1).
// - Lines starting with ";" are comments. Deletions ("[-...]", "name"=-), other root keys and
//   anything else are errors: a file that does not parse is reported, never rewritten.
//
// Key and value names compare without regard to letter case (Unicode case folding); a name keeps
// the spelling it was created with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorva::platform {

struct RegValue {
  std::string name;  // "" is the key's default value ("@")
  std::uint32_t type = 0;
  std::string data;  // the value's bytes

  friend bool operator==(const RegValue&, const RegValue&) = default;
};

struct RegKey {
  std::string name;
  std::vector<RegValue> values;  // in the order they were first set
  std::vector<RegKey> subkeys;   // in the order they were created

  // The sub-key or value of that name (any letter case), or nullptr.
  RegKey* FindSubkey(std::string_view keyName);
  const RegKey* FindSubkey(std::string_view keyName) const;
  RegValue* FindValue(std::string_view valueName);
  const RegValue* FindValue(std::string_view valueName) const;
  // The key at `path` below this one (each element one key name), or nullptr.
  const RegKey* Find(const std::vector<std::string>& path) const;
  RegKey* Find(const std::vector<std::string>& path);
  // The key at `path`, creating the missing keys on the way. Sets `created` when any was made.
  RegKey& FindOrCreate(const std::vector<std::string>& path, bool& created);
  // Sets a value, replacing one of the same name (whose spelling is kept).
  void SetValue(std::string_view valueName, std::uint32_t type, std::string data);

  friend bool operator==(const RegKey&, const RegKey&) = default;
};

// True when the two names are equal without regard to letter case.
bool SameRegName(std::string_view a, std::string_view b);

// True when `text` is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// The root section's name.
inline constexpr std::string_view kCurrentUserRoot = "HKEY_CURRENT_USER";
// The first line of the text form.
inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegParseResult {
  std::optional<RegKey> root;  // the HKEY_CURRENT_USER key; nothing when the text is malformed
  std::string problem;         // when malformed: "line N: what is wrong"
};

// Reads the text form. Never throws on malformed input (the result says what is wrong).
RegParseResult ParseRegFile(std::string_view bytes);

// The text form of the tree below `root` (the HKEY_CURRENT_USER key): the header, then a section
// for every key below the root in creation order (the root's own only when it has values).
std::string SerializeRegFile(const RegKey& root);

}  // namespace lorva::platform
