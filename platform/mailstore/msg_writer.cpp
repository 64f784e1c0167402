// Writing .msg files. Strings are stored as UTF-16 (001F); empty strings are left out (Outlook
// refuses zero-length string streams), and so are user properties with empty values. The HTML
// body is stored as binary (0102) UTF-8 bytes with PR_INTERNET_CPID 65001, as Outlook itself
// stores HTML bodies. An attachment with method 5 whose data is a .msg file is stored as an
// embedded message storage, its named properties joining this file's name-to-id map; any other
// attachment data is stored as bytes.
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "base/bytes.h"
#include "base/error.h"
#include "base/steps.h"
#include "base/text_rules.h"
#include "platform/mailstore/cfb.h"
#include "platform/mailstore/code_page.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/msg_properties.h"

namespace lorva::mailstore {
namespace {

using msg::Tag;

constexpr std::uint32_t kReadableWritable = 0x00000006;

std::string SubstgName(std::uint32_t tag) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%08X", tag);
  return name;
}

// The properties of one object as they are written: the property stream and the value streams.
class PropertyWriter {
 public:
  PropertyWriter(CfbWriter& writer, std::uint32_t storage) : writer_(writer), storage_(storage) {}

  void Fixed(std::uint16_t id, std::uint16_t type, std::uint64_t value) {
    AppendLe32(entries_, Tag(id, type));
    AppendLe32(entries_, kReadableWritable);
    AppendLe64(entries_, value);
  }
  void Int32(std::uint16_t id, std::int32_t value) {
    Fixed(id, msg::kTypeInt32, static_cast<std::uint32_t>(value));
  }
  void Boolean(std::uint16_t id, bool value) { Fixed(id, msg::kTypeBoolean, value ? 1 : 0); }

  void Binary(std::uint16_t id, std::vector<std::uint8_t> data) {
    const std::uint32_t tag = Tag(id, msg::kTypeBinary);
    AppendLe32(entries_, tag);
    AppendLe32(entries_, kReadableWritable);
    AppendLe64(entries_, data.size());
    writer_.AddStream(storage_, SubstgName(tag), std::move(data));
  }
  // A UTF-16 string. Empty strings are left out: Outlook refuses zero-length string streams.
  void Text(std::uint16_t id, std::string_view utf8) {
    if (utf8.empty()) return;
    std::vector<std::uint8_t> data;
    AppendUtf16Le(utf8, data);
    const std::uint32_t tag = Tag(id, msg::kTypeUnicode);
    AppendLe32(entries_, tag);
    AppendLe32(entries_, kReadableWritable);
    AppendLe64(entries_, data.size() + 2);
    writer_.AddStream(storage_, SubstgName(tag), std::move(data));
  }

  // Writes the property stream after `header`.
  void Finish(std::vector<std::uint8_t> header) {
    header.insert(header.end(), entries_.begin(), entries_.end());
    writer_.AddStream(storage_, msg::kPropertiesStream, std::move(header));
  }

 private:
  CfbWriter& writer_;
  std::uint32_t storage_;
  std::vector<std::uint8_t> entries_;
};

// The name-to-id map being built: named properties get ids 0x8000 + their index.
class NameMap {
 public:
  // Adds a named property and returns its id. `guid` is the property set's GUID as on disk;
  // `name` the UTF-16LE name of a string-named property, else `number` its numeric name.
  // With `reuse`, a property already in the map keeps its id.
  std::uint16_t Add(const std::uint8_t* guid, bool stringNamed, std::uint32_t number,
                    std::span<const std::uint8_t> name, bool reuse) {
    const std::uint32_t guidIndex = GuidIndex(guid);
    std::string key(1, stringNamed ? 's' : 'n');
    key += std::to_string(guidIndex) + ":";
    if (stringNamed) {
      key.append(name.begin(), name.end());
    } else {
      key += std::to_string(number);
    }
    if (reuse) {
      if (auto it = known_.find(key); it != known_.end()) return it->second;
    }
    if (count_ > 0x7FFE) {
      throw Error(errnum::kInvalidProcedureCall, "Too many named properties for one item");
    }
    const std::uint32_t index = count_++;
    std::uint32_t first = number;
    std::uint32_t hashKey = number;
    if (stringNamed) {
      first = static_cast<std::uint32_t>(strings_.size());
      AppendLe32(strings_, static_cast<std::uint32_t>(name.size()));
      strings_.insert(strings_.end(), name.begin(), name.end());
      while (strings_.size() % 4 != 0) strings_.push_back(0);
      hashKey = Crc32(name);
    }
    const std::uint32_t kind = stringNamed ? 1 : 0;
    const std::uint32_t info = (index << 16) | (guidIndex << 1) | kind;
    AppendLe32(entries_, first);
    AppendLe32(entries_, info);
    const std::uint32_t streamId = 0x1000 + ((hashKey ^ ((guidIndex << 1) | kind)) % 0x1F);
    auto& hash = hashStreams_[streamId];
    AppendLe32(hash, hashKey);
    AppendLe32(hash, info);
    const auto id = static_cast<std::uint16_t>(msg::kFirstNamedId + index);
    known_.emplace(std::move(key), id);
    return id;
  }

  void Write(CfbWriter& writer) {
    const std::uint32_t map = writer.AddStorage(CfbWriter::kRoot, msg::kNameIdStorage);
    writer.AddStream(map, msg::kGuidStream, guids_);
    writer.AddStream(map, msg::kEntryStream, entries_);
    writer.AddStream(map, msg::kStringStream, strings_);
    for (auto& [streamId, data] : hashStreams_) {
      writer.AddStream(map, SubstgName(Tag(static_cast<std::uint16_t>(streamId), msg::kTypeBinary)),
                       std::move(data));
    }
  }

 private:
  std::uint32_t GuidIndex(const std::uint8_t* guid) {
    static constexpr std::uint8_t kPsMapi[16] = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    if (std::memcmp(guid, kPsMapi, 16) == 0) return 1;
    if (std::memcmp(guid, msg::kPublicStringsGuid, 16) == 0) return msg::kPublicStringsIndex;
    for (size_t i = 0; i + 16 <= guids_.size(); i += 16) {
      if (std::memcmp(guids_.data() + i, guid, 16) == 0)
        return static_cast<std::uint32_t>(3 + i / 16);
    }
    if (guids_.size() / 16 + 3 > 0x7FFF) {
      throw Error(errnum::kInvalidProcedureCall, "Too many property sets for one item");
    }
    guids_.insert(guids_.end(), guid, guid + 16);
    return static_cast<std::uint32_t>(3 + guids_.size() / 16 - 1);
  }

  std::uint32_t count_ = 0;
  std::vector<std::uint8_t> guids_, entries_, strings_;
  std::map<std::uint32_t, std::vector<std::uint8_t>> hashStreams_;
  std::map<std::string, std::uint16_t> known_;
};

// Writes the user properties as string-named properties in PS_PUBLIC_STRINGS: their values
// into `props`, their names into `names`.
void WriteUserProperties(const std::vector<MsgUserProperty>& properties, NameMap& names,
                         PropertyWriter& props) {
  for (const MsgUserProperty& property : properties) {
    const outlook::Value& value = property.value;
    if (value.IsEmpty() ||
        (value.kind() == outlook::Value::Kind::kText && value.AsText().empty())) {
      continue;  // an empty value reads as a missing property
    }
    std::vector<std::uint8_t> name;
    AppendUtf16Le(property.name, name);
    const std::uint16_t id = names.Add(msg::kPublicStringsGuid, true, 0, name, false);
    switch (value.kind()) {
      case outlook::Value::Kind::kText:
        props.Text(id, value.AsText());
        break;
      case outlook::Value::Kind::kInteger: {
        const long long number = std::strtoll(value.AsText().c_str(), nullptr, 10);
        if (number >= INT32_MIN && number <= INT32_MAX) {
          props.Int32(id, static_cast<std::int32_t>(number));
        } else {
          props.Fixed(id, msg::kTypeInt64, static_cast<std::uint64_t>(number));
        }
        break;
      }
      case outlook::Value::Kind::kDouble:
        props.Fixed(id, msg::kTypeDouble, std::bit_cast<std::uint64_t>(value.AsNumber()));
        break;
      case outlook::Value::Kind::kDate:
        props.Fixed(id, msg::kTypeFileTime, msg::OleDaysToFileTime(value.AsDate().days));
        break;
      case outlook::Value::Kind::kBoolean:
        props.Boolean(id, value.AsBoolean());
        break;
      case outlook::Value::Kind::kEmpty:
        break;
    }
  }
}

// Places the message held in the .msg file `file` into `target` as an embedded message: its
// named properties join `names` and get the ids the enclosing file gives them. Throws
// lorva::Error when `file` is not a .msg file.
void EmbedMessage(std::span<const std::uint8_t> file, CfbWriter& writer, std::uint32_t target,
                  NameMap& names) {
  const CfbReader cfb(file);
  if (!cfb.Find(CfbReader::kRootEntry, msg::kPropertiesStream)) {
    throw Error(errnum::kBadFileFormat, "Embedded message without a property stream");
  }
  // Its name map, translated into ours.
  std::map<std::uint16_t, std::uint16_t> idMap;
  if (auto map = cfb.Find(CfbReader::kRootEntry, msg::kNameIdStorage); map && cfb.IsStorage(*map)) {
    auto read = [&](const char* name) {
      const auto id = cfb.Find(*map, name);
      return id && cfb.IsStream(*id) ? cfb.ReadStream(*id) : std::vector<std::uint8_t>{};
    };
    const auto guids = read(msg::kGuidStream);
    const auto entries = read(msg::kEntryStream);
    const auto strings = read(msg::kStringStream);
    static constexpr std::uint8_t kPsMapi[16] = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    for (size_t i = 0; i + 8 <= entries.size(); i += 8) {
      const std::uint32_t first = ReadLe32(entries.data() + i);
      const std::uint32_t info = ReadLe32(entries.data() + i + 4);
      const bool stringNamed = info & 1;
      const std::uint32_t guidIndex = (info >> 1) & 0x7FFF;
      const std::uint32_t index = info >> 16;
      const std::uint8_t* guid = nullptr;
      if (guidIndex == 1) guid = kPsMapi;
      if (guidIndex == 2) guid = msg::kPublicStringsGuid;
      if (guidIndex >= 3 && (guidIndex - 3) * 16 + 16 <= guids.size()) {
        guid = guids.data() + (guidIndex - 3) * 16;
      }
      if (!guid || index > 0x7FFE) continue;
      std::span<const std::uint8_t> name;
      if (stringNamed) {
        if (first > strings.size() || strings.size() - first < 4) continue;
        const std::uint32_t length = ReadLe32(strings.data() + first);
        if (length > strings.size() - first - 4) continue;
        name = std::span<const std::uint8_t>(strings).subspan(first + 4, length);
      }
      idMap[static_cast<std::uint16_t>(msg::kFirstNamedId + index)] =
          names.Add(guid, stringNamed, first, name, true);
    }
  }
  // A tag with its named id translated; 0 when the name is unknown.
  auto translate = [&](std::uint32_t tag) -> std::uint32_t {
    const auto id = static_cast<std::uint16_t>(tag >> 16);
    if (id < msg::kFirstNamedId) return tag;
    const auto it = idMap.find(id);
    return it == idMap.end() ? 0 : Tag(it->second, static_cast<std::uint16_t>(tag & 0xFFFF));
  };

  // Copy the storages, translating property streams and value stream names. The message's
  // own property header shrinks from 32 to 24 bytes; attachments and recipients have 8,
  // messages embedded deeper 24.
  struct Work {
    std::uint32_t from, to, header;
    bool top;
  };
  std::vector<Work> work{{CfbReader::kRootEntry, target, msg::kTopHeader, true}};
  while (!work.empty()) {
    const Work w = work.back();
    work.pop_back();
    for (std::uint32_t child : cfb.entry(w.from).children) {
      const std::string_view name = cfb.entry(child).name;
      if (w.top && EqualIgnoringAsciiCase(name, msg::kNameIdStorage)) continue;
      std::string newName(name);
      std::uint32_t tag = 0;
      if (StartsWithIgnoringAsciiCase(name, msg::kSubstgPrefix) && name.size() >= 20) {
        if (msg::ParseHex8(name.substr(12, 8), tag)) {
          const std::uint32_t translated = translate(tag);
          if (translated == 0) continue;
          newName = SubstgName(translated) + std::string(name.substr(20));
        }
      }
      if (cfb.IsStorage(child)) {
        std::uint32_t header = 0;
        if (StartsWithIgnoringAsciiCase(name, msg::kAttachPrefix) ||
            StartsWithIgnoringAsciiCase(name, "__recip_version1.0_#")) {
          header = msg::kAttachmentHeader;
        } else if (tag == Tag(msg::kAttachData, msg::kTypeObject)) {
          header = msg::kEmbeddedHeader;
        }
        work.push_back({child, writer.AddStorage(w.to, newName), header, false});
        continue;
      }
      if (!cfb.IsStream(child)) continue;
      std::vector<std::uint8_t> data = cfb.ReadStream(child);
      if (w.header && EqualIgnoringAsciiCase(name, msg::kPropertiesStream)) {
        if (data.size() < w.header || (data.size() - w.header) % 16 != 0) {
          throw Error(errnum::kBadFileFormat, "Embedded message with a malformed property stream");
        }
        std::vector<std::uint8_t> out(data.begin(),
                                      data.begin() + (w.top ? msg::kEmbeddedHeader : w.header));
        for (size_t i = w.header; i + 16 <= data.size(); i += 16) {
          const std::uint32_t translated = translate(ReadLe32(data.data() + i));
          if (translated == 0) continue;
          AppendLe32(out, translated);
          out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i + 4),
                     data.begin() + static_cast<std::ptrdiff_t>(i + 16));
        }
        data = std::move(out);
      }
      writer.AddStream(w.to, newName, std::move(data));
    }
  }
}

void WriteAttachment(const MsgAttachment& attachment, std::uint32_t number, CfbWriter& writer,
                     NameMap& names) {
  char name[40];
  std::snprintf(name, sizeof name, "%s%08X", msg::kAttachPrefix, number);
  const std::uint32_t storage = writer.AddStorage(CfbWriter::kRoot, name);
  PropertyWriter props(writer, storage);
  props.Int32(msg::kAttachNumber, static_cast<std::int32_t>(number));
  props.Int32(msg::kAttachMethod, attachment.method);
  props.Text(msg::kDisplayName, attachment.displayName);
  props.Text(msg::kAttachLongFileName, attachment.longFileName);
  props.Text(msg::kAttachShortFileName, attachment.shortFileName);
  props.Text(msg::kAttachMimeTag, attachment.mimeType);
  props.Text(msg::kAttachContentId, attachment.contentId);
  if (attachment.hidden) props.Boolean(msg::kAttachmentHidden, true);
  bool embedded = false;
  if (attachment.method == msg::kAttachEmbeddedMessage) {
    // A .msg file becomes an embedded message storage; other bytes stay binary data.
    const std::uint32_t tag = Tag(msg::kAttachData, msg::kTypeObject);
    CfbWriter trial;
    NameMap trialNames = names;
    embedded = SkipOnFailure([&] {
      EmbedMessage(attachment.data, trial, trial.AddStorage(CfbWriter::kRoot, "m"), trialNames);
    });
    if (embedded) {
      EmbedMessage(attachment.data, writer, writer.AddStorage(storage, SubstgName(tag)), names);
      props.Fixed(msg::kAttachData, msg::kTypeObject, 0xFFFFFFFF);
    }
  }
  if (!embedded) props.Binary(msg::kAttachData, attachment.data);
  props.Finish(std::vector<std::uint8_t>(msg::kAttachmentHeader, 0));
}

}  // namespace

std::vector<std::uint8_t> WriteMsg(const MsgContent& content) {
  CfbWriter writer;
  PropertyWriter props(writer, CfbWriter::kRoot);
  props.Text(msg::kMessageClass, content.messageClass);
  props.Text(msg::kSubject, content.subject);
  props.Int32(msg::kStoreSupportMask, static_cast<std::int32_t>(msg::kStoreUnicodeOk));
  if (content.plainBody) props.Text(msg::kBody, *content.plainBody);
  if (content.htmlBody) {
    props.Binary(msg::kHtml,
                 std::vector<std::uint8_t>(content.htmlBody->begin(), content.htmlBody->end()));
    props.Int32(msg::kInternetCodePage, static_cast<std::int32_t>(kCodePageUtf8));
  }
  if (content.compressedRtf) props.Binary(msg::kRtfCompressed, *content.compressedRtf);
  const std::int32_t nativeBody = content.nativeBody != 0 ? content.nativeBody
                                  : content.htmlBody      ? 3
                                  : content.compressedRtf ? 2
                                                          : 1;
  props.Int32(msg::kNativeBody, nativeBody);
  NameMap names;
  WriteUserProperties(content.userProperties, names, props);

  const auto count = static_cast<std::uint32_t>(content.attachments.size());
  for (std::uint32_t i = 0; i < count; ++i) {
    WriteAttachment(content.attachments[i], i, writer, names);
  }
  names.Write(writer);

  std::vector<std::uint8_t> header(msg::kTopHeader, 0);
  auto put = [&header](size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put(8, 0);       // next recipient id
  put(12, count);  // next attachment id
  put(16, 0);      // recipients
  put(20, count);  // attachments
  props.Finish(std::move(header));
  return writer.Finish();
}

}  // namespace lorva::mailstore
