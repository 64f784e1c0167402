#include "platform/registry/reg_file.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "base/text_rules.h"
#include "base/utf8.h"

namespace lorva::platform {
namespace {

template <typename Item, typename Range>
Item* FindNamed(Range& items, std::string_view name) {
  for (auto& item : items) {
    if (SameRegName(item.name, name)) return &item;
  }
  return nullptr;
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool ParseHexNumber(std::string_view digits, std::uint32_t& number) {
  if (digits.empty() || digits.size() > 8) return false;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
  return error == std::errc() && end == digits.data() + digits.size();
}

// A comma-separated byte list ("01,ff,..."), possibly empty.
bool ParseHexBytes(std::string_view text, std::string& bytes) {
  text = TrimRight(TrimLeft(text));
  if (text.empty()) return true;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view token = TrimRight(TrimLeft(text.substr(0, comma)));
    std::uint32_t byte = 0;
    if (token.size() > 2 || !ParseHexNumber(token, byte)) return false;
    bytes.push_back(static_cast<char>(byte));
    if (comma == std::string_view::npos) return true;
    text = text.substr(comma + 1);
    // A trailing comma (before a continuation that never came) is tolerated.
    if (TrimLeft(text).empty()) return true;
  }
}

// Reads a quoted text at the start of `text` (which starts with '"'). On success `text` is left
// after the closing quote.
bool ParseQuoted(std::string_view& text, std::string& out) {
  size_t i = 1;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') {
      text.remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
      out.push_back(text[i + 1]);
      i += 2;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return false;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// True when a REG_SZ value's data can be written as "text": the text, then one terminating zero.
bool IsPlainText(std::string_view data) {
  if (data.empty() || data.back() != '\0') return false;
  const std::string_view text = data.substr(0, data.size() - 1);
  if (text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) return false;
  return IsValidUtf8(text);
}

void AppendHex(std::string& out, std::string_view prefix, std::string_view data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string line(prefix);
  for (size_t i = 0; i < data.size(); ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    line.push_back(kDigits[byte >> 4]);
    line.push_back(kDigits[byte & 0xF]);
    if (i + 1 < data.size()) {
      line.push_back(',');
      // Lines stay within 80 columns, as the registry editor writes them.
      if (line.size() > 75) {
        out += line;
        out += "\\\n";
        line = "  ";
      }
    }
  }
  out += line;
  out.push_back('\n');
}

void SerializeValue(std::string& out, const RegValue& value) {
  const std::string name = value.name.empty() ? "@" : Quote(value.name);
  if (value.type == 1 && IsPlainText(value.data)) {
    out += name + "=" + Quote(std::string_view(value.data).substr(0, value.data.size() - 1)) + "\n";
    return;
  }
  if (value.type == 4 && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) {
      number = (number << 8) | static_cast<unsigned char>(value.data[static_cast<size_t>(i)]);
    }
    char digits[9];
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int i = 7; i >= 0; --i) {
      digits[i] = kDigits[number & 0xF];
      number >>= 4;
    }
    digits[8] = '\0';
    out += name + "=dword:" + digits + "\n";
    return;
  }
  std::string prefix = name + "=hex";
  if (value.type != 3) {
    char digits[9];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value.type, 16);
    (void)error;
    prefix.append("(").append(digits, end).append(")");
  }
  prefix += ":";
  AppendHex(out, prefix, value.data);
}

void SerializeKey(std::string& out, const RegKey& key, const std::string& path, bool isRoot) {
  if (!isRoot || !key.values.empty()) {
    out += "[" + path + "]\n";
    for (const RegValue& value : key.values) SerializeValue(out, value);
    out += "\n";
  }
  for (const RegKey& subkey : key.subkeys) {
    SerializeKey(out, subkey, path + "\\" + subkey.name, false);
  }
}

class Parser {
 public:
  explicit Parser(std::string_view bytes) : rest_(bytes) {}

  RegParseResult Run() {
    if (!IsValidUtf8(rest_)) return Fail(0, "the file is not UTF-8 text");
    if (rest_.starts_with("\xEF\xBB\xBF")) rest_.remove_prefix(3);
    std::string_view line;
    if (!NextLine(line) || TrimRight(line) != kRegFileHeader) {
      return Fail(1, "the first line is not \"" + std::string(kRegFileHeader) + "\"");
    }
    RegKey root;
    root.name = std::string(kCurrentUserRoot);
    RegKey* current = nullptr;
    while (NextLine(line)) {
      const std::string_view trimmed = TrimLeft(line);
      if (TrimRight(trimmed).empty() || trimmed.front() == ';') continue;
      if (trimmed.front() == '[') {
        current = Section(root, TrimRight(trimmed));
        if (current == nullptr) return Fail(lineNumber_, problem_);
        continue;
      }
      if (trimmed.front() == '"' || trimmed.front() == '@') {
        if (current == nullptr) return Fail(lineNumber_, "a value before the first section");
        const size_t valueLine = lineNumber_;
        if (!Value(*current, trimmed)) return Fail(valueLine, problem_);
        continue;
      }
      return Fail(lineNumber_, "neither a section, a value nor a comment");
    }
    return RegParseResult{std::move(root), ""};
  }

 private:
  bool NextLine(std::string_view& line) {
    if (rest_.empty()) return false;
    const size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNumber_;
    return true;
  }

  RegParseResult Fail(size_t line, const std::string& what) {
    return RegParseResult{std::nullopt,
                          line == 0 ? what : "line " + std::to_string(line) + ": " + what};
  }

  RegKey* Section(RegKey& root, std::string_view text) {
    if (text.size() < 2 || text.back() != ']') {
      problem_ = "a section line must end with \"]\"";
      return nullptr;
    }
    std::string_view path = text.substr(1, text.size() - 2);
    if (path.starts_with("-")) {
      problem_ = "key deletions are not supported";
      return nullptr;
    }
    std::vector<std::string> names;
    while (true) {
      const size_t slash = path.find('\\');
      names.emplace_back(path.substr(0, slash));
      if (slash == std::string_view::npos) break;
      path.remove_prefix(slash + 1);
    }
    if (!SameRegName(names.front(), kCurrentUserRoot)) {
      problem_ = "only keys below " + std::string(kCurrentUserRoot) + " are supported";
      return nullptr;
    }
    names.erase(names.begin());
    for (const std::string& name : names) {
      if (name.empty()) {
        problem_ = "a key name is empty";
        return nullptr;
      }
    }
    bool created = false;
    return &root.FindOrCreate(names, created);
  }

  bool Value(RegKey& key, std::string_view text) {
    std::string name;
    if (text.front() == '@') {
      text.remove_prefix(1);
    } else if (!ParseQuoted(text, name)) {
      problem_ = "a value name is not closed by a quote";
      return false;
    }
    text = TrimLeft(text);
    if (!text.starts_with("=")) {
      problem_ = "\"=\" expected after the value name";
      return false;
    }
    text = TrimLeft(text.substr(1));
    if (text.starts_with("\"")) {
      std::string data;
      if (!ParseQuoted(text, data) || !TrimRight(text).empty()) {
        problem_ = "a text value is not closed by a quote";
        return false;
      }
      data.push_back('\0');
      key.SetValue(name, 1, std::move(data));
      return true;
    }
    if (text.starts_with("dword:")) {
      std::uint32_t number = 0;
      if (!ParseHexNumber(TrimRight(text.substr(6)), number)) {
        problem_ = "dword: needs 1 to 8 hexadecimal digits";
        return false;
      }
      std::string data;
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
      key.SetValue(name, 4, std::move(data));
      return true;
    }
    std::uint32_t type = 3;
    if (text.starts_with("hex(")) {
      const size_t close = text.find(')');
      if (close == std::string_view::npos || !ParseHexNumber(text.substr(4, close - 4), type)) {
        problem_ = "hex(T): needs a hexadecimal type";
        return false;
      }
      text.remove_prefix(close + 1);
    } else if (text.starts_with("hex")) {
      text.remove_prefix(3);
    } else {
      problem_ = text.starts_with("-") ? "value deletions are not supported" : "unknown value form";
      return false;
    }
    if (!text.starts_with(":")) {
      problem_ = "\":\" expected after hex";
      return false;
    }
    std::string list(TrimRight(text.substr(1)));
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      std::string_view next;
      if (!NextLine(next)) {
        problem_ = "the file ends inside a continued value";
        return false;
      }
      list += TrimRight(TrimLeft(next));
    }
    std::string data;
    if (!ParseHexBytes(list, data)) {
      problem_ = "hex data must be comma-separated two-digit bytes";
      return false;
    }
    key.SetValue(name, type, std::move(data));
    return true;
  }

  std::string_view rest_;
  size_t lineNumber_ = 0;
  std::string problem_;
};

}  // namespace

bool SameRegName(std::string_view a, std::string_view b) {
  return EqualIgnoringCase(a, b);
}

bool IsValidUtf8(std::string_view text) {
  return utf8::IsValid(text);
}

RegKey* RegKey::FindSubkey(std::string_view keyName) {
  return FindNamed<RegKey>(subkeys, keyName);
}
const RegKey* RegKey::FindSubkey(std::string_view keyName) const {
  return FindNamed<const RegKey>(subkeys, keyName);
}
RegValue* RegKey::FindValue(std::string_view valueName) {
  return FindNamed<RegValue>(values, valueName);
}
const RegValue* RegKey::FindValue(std::string_view valueName) const {
  return FindNamed<const RegValue>(values, valueName);
}

const RegKey* RegKey::Find(const std::vector<std::string>& path) const {
  const RegKey* key = this;
  for (const std::string& name : path) {
    key = key->FindSubkey(name);
    if (key == nullptr) return nullptr;
  }
  return key;
}

RegKey* RegKey::Find(const std::vector<std::string>& path) {
  return const_cast<RegKey*>(std::as_const(*this).Find(path));
}

RegKey& RegKey::FindOrCreate(const std::vector<std::string>& path, bool& created) {
  RegKey* key = this;
  for (const std::string& name : path) {
    RegKey* next = key->FindSubkey(name);
    if (next == nullptr) {
      key->subkeys.push_back(RegKey{name, {}, {}});
      next = &key->subkeys.back();
      created = true;
    }
    key = next;
  }
  return *key;
}

void RegKey::SetValue(std::string_view valueName, std::uint32_t type, std::string data) {
  if (RegValue* existing = FindValue(valueName)) {
    existing->type = type;
    existing->data = std::move(data);
    return;
  }
  values.push_back(RegValue{std::string(valueName), type, std::move(data)});
}

RegParseResult ParseRegFile(std::string_view bytes) {
  return Parser(bytes).Run();
}

std::string SerializeRegFile(const RegKey& root) {
  std::string out(kRegFileHeader);
  out += "\n\n";
  SerializeKey(out, root, std::string(kCurrentUserRoot), true);
  return out;
}

}  // namespace lorva::platform
