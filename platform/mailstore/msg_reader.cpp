// Reading .msg files: the property layer over a compound file.
#include "platform/mailstore/msg_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "base/bytes.h"
#include "base/error.h"
#include "base/text_rules.h"
#include "platform/mailstore/cfb.h"
#include "platform/mailstore/code_page.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/msg_properties.h"

namespace lorva::mailstore {

const std::string& MsgAttachment::ShownName() const {
  if (!displayName.empty()) return displayName;
  if (!longFileName.empty()) return longFileName;
  return shortFileName;
}

namespace {

using msg::Tag;

[[noreturn]] void Bad(const std::string& what) {
  throw Error(errnum::kBadFileFormat, "Malformed Outlook item: " + what);
}

// The properties of one object (message, attachment): the fixed-size values from its property
// stream and the streams holding its variable-size values.
class PropertyBag {
 public:
  PropertyBag(const CfbReader& cfb, std::uint32_t storage, std::uint32_t headerSize) : cfb_(cfb) {
    std::uint32_t position = 0;  // among the storage's children
    streams_.reserve(cfb.entry(storage).children.size());
    for (std::uint32_t child : cfb.entry(storage).children) {
      const auto& e = cfb.entry(child);
      std::uint32_t tag = 0;
      if (StartsWithIgnoringAsciiCase(e.name, msg::kSubstgPrefix) &&
          msg::ParseHex8(std::string_view(e.name).substr(sizeof msg::kSubstgPrefix - 1), tag)) {
        streams_.push_back({tag, position, child});
      } else if (cfb.IsStream(child) &&
                 StartsWithIgnoringAsciiCase(e.name, msg::kPropertiesStream) &&
                 e.name.size() == sizeof msg::kPropertiesStream - 1) {
        properties_ = cfb.Stream(child, propertyScratch_);
        if (properties_.size() < headerSize) {
          Bad("property stream shorter than its header (" + std::to_string(properties_.size()) +
              " bytes)");
        }
        // Whole 16-byte entries; some writers leave a few bytes after the last one.
        properties_ = properties_.subspan(headerSize, (properties_.size() - headerSize) / 16 * 16);
      }
      ++position;
    }
    // Sorted for lookups in logarithmic time (a hostile file may hold very many of both); the
    // first of equal tags wins: ties go by position.
    std::sort(streams_.begin(), streams_.end(), [](const StreamAt& a, const StreamAt& b) {
      return a.tag < b.tag || (a.tag == b.tag && a.position < b.position);
    });
    index_.reserve(properties_.size() / 16);
    for (size_t i = 0; i + 16 <= properties_.size(); i += 16) {
      index_.emplace_back(ReadLe32(properties_.data() + i), static_cast<std::uint32_t>(i));
    }
    std::sort(index_.begin(), index_.end());  // tag, then offset
  }

  PropertyBag(const PropertyBag&) = delete;  // properties_ may point into propertyScratch_
  PropertyBag& operator=(const PropertyBag&) = delete;

  // The 8-byte value slot of a fixed-size property, or null.
  const std::uint8_t* Fixed(std::uint32_t tag) const {
    const auto it = std::lower_bound(index_.begin(), index_.end(), tag,
                                     [](const auto& e, std::uint32_t t) { return e.first < t; });
    if (it == index_.end() || it->first != tag) return nullptr;
    return properties_.data() + it->second + 8;
  }
  // The type the property stream gives property `id`, or 0.
  std::uint16_t TypeOf(std::uint16_t id) const {
    const std::uint32_t low = static_cast<std::uint32_t>(id) << 16;
    const auto it = std::lower_bound(index_.begin(), index_.end(), low,
                                     [](const auto& e, std::uint32_t t) { return e.first < t; });
    if (it == index_.end() || (it->first >> 16) != id) return 0;
    return static_cast<std::uint16_t>(it->first & 0xFFFF);
  }

  std::optional<std::uint32_t> StreamEntry(std::uint32_t tag) const {
    const auto it = std::lower_bound(streams_.begin(), streams_.end(), tag,
                                     [](const StreamAt& e, std::uint32_t t) { return e.tag < t; });
    if (it == streams_.end() || it->tag != tag) return std::nullopt;
    return it->entry;
  }

  // The bytes of the stream holding `tag`'s value, when there is one.
  std::optional<std::span<const std::uint8_t>> Bytes(std::uint32_t tag,
                                                     std::vector<std::uint8_t>& scratch) const {
    const auto id = StreamEntry(tag);
    if (!id || !cfb_.IsStream(*id)) return std::nullopt;
    return cfb_.Stream(*id, scratch);
  }

  std::optional<std::int32_t> Int32(std::uint16_t id) const {
    const std::uint8_t* v = Fixed(Tag(id, msg::kTypeInt32));
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(ReadLe32(v));
  }
  std::optional<bool> Boolean(std::uint16_t id) const {
    const std::uint8_t* v = Fixed(Tag(id, msg::kTypeBoolean));
    if (!v) return std::nullopt;
    return v[0] != 0 || v[1] != 0;
  }

  // A text property stored as UTF-16 (001F) or 8-bit text (001E) in `codePage`.
  std::optional<std::string> Text(std::uint16_t id, std::uint32_t codePage) const {
    std::vector<std::uint8_t> scratch;
    if (auto bytes = Bytes(Tag(id, msg::kTypeUnicode), scratch)) {
      size_t n = bytes->size() & ~size_t{1};
      while (n >= 2 && (*bytes)[n - 1] == 0 && (*bytes)[n - 2] == 0) n -= 2;
      return Utf16LeToUtf8(bytes->first(n));
    }
    if (auto bytes = Bytes(Tag(id, msg::kTypeString8), scratch)) {
      size_t n = bytes->size();
      while (n >= 1 && (*bytes)[n - 1] == 0) --n;
      return DecodeCodePage(bytes->first(n), codePage);
    }
    return std::nullopt;
  }

  // Whether a stream holds `tag`'s value; nothing is read.
  bool Has(std::uint32_t tag) const {
    const auto id = StreamEntry(tag);
    return id && cfb_.IsStream(*id);
  }

 private:
  const CfbReader& cfb_;
  std::vector<std::uint8_t> propertyScratch_;
  std::span<const std::uint8_t> properties_;
  struct StreamAt {
    std::uint32_t tag;
    std::uint32_t position;  // among the storage's children
    std::uint32_t entry;
  };
  std::vector<StreamAt> streams_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> index_;  // tag, offset in properties_
};

// Copies storage `source` of `cfb` with everything below it into `writer` at `target`.
void CopyStorage(const CfbReader& cfb, std::uint32_t source, CfbWriter& writer,
                 std::uint32_t target) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> work{{source, target}};
  while (!work.empty()) {
    const auto [from, to] = work.back();
    work.pop_back();
    for (std::uint32_t child : cfb.entry(from).children) {
      const auto& e = cfb.entry(child);
      if (cfb.IsStorage(child)) {
        work.emplace_back(child, writer.AddStorage(to, e.name));
      } else if (cfb.IsStream(child)) {
        writer.AddStream(to, e.name, cfb.ReadStream(child));
      }
    }
  }
}

// The 8-byte value slot of `tag` among the whole 16-byte entries of `entries`, or null.
const std::uint8_t* FindEntry(std::span<const std::uint8_t> entries, std::uint32_t tag) {
  for (size_t i = 0; i + 16 <= entries.size(); i += 16) {
    if (ReadLe32(entries.data() + i) == tag) return entries.data() + i + 8;
  }
  return nullptr;
}

// A stand-alone .msg file holding the message embedded in storage `storage`: its streams and
// storages, a top-level property header, and the enclosing file's name-to-id map. An embedded
// message's 8-bit strings are in its enclosing message's code page unless it names one of its
// own (a message code page, or a locale we know the code page of): the stand-alone file is given
// `inheritedCodePage` as its message code page then.
std::vector<std::uint8_t> RebuildEmbeddedMessage(const CfbReader& cfb, std::uint32_t storage,
                                                 std::optional<std::uint32_t> nameMap,
                                                 std::uint32_t inheritedCodePage) {
  CfbWriter writer;
  bool hasNameMap = false;
  for (std::uint32_t child : cfb.entry(storage).children) {
    const auto& e = cfb.entry(child);
    if (cfb.IsStorage(child)) {
      if (StartsWithIgnoringAsciiCase(e.name, msg::kNameIdStorage) &&
          e.name.size() == sizeof msg::kNameIdStorage - 1) {
        hasNameMap = true;
      }
      CopyStorage(cfb, child, writer, writer.AddStorage(CfbWriter::kRoot, e.name));
    } else if (cfb.IsStream(child)) {
      std::vector<std::uint8_t> data = cfb.ReadStream(child);
      if (StartsWithIgnoringAsciiCase(e.name, msg::kPropertiesStream) &&
          e.name.size() == sizeof msg::kPropertiesStream - 1) {
        // An embedded message's header is 24 bytes, a file's 32. A stream shorter than its
        // header is copied as it is: the embedded message then fails on its own, not its parent.
        if (data.size() >= msg::kEmbeddedHeader) {
          const auto entries = std::span<const std::uint8_t>(data).subspan(msg::kEmbeddedHeader);
          const std::uint8_t* locale =
              FindEntry(entries, Tag(msg::kMessageLocaleId, msg::kTypeInt32));
          const bool ownCodePage =
              FindEntry(entries, Tag(msg::kMessageCodePage, msg::kTypeInt32)) != nullptr ||
              (locale != nullptr && AnsiCodePageOfLocale(ReadLe32(locale)).has_value());
          // Whole entries only, so that an added one lines up.
          data.resize(msg::kEmbeddedHeader + entries.size() / 16 * 16);
          data.insert(data.begin() + msg::kEmbeddedHeader, msg::kTopHeader - msg::kEmbeddedHeader,
                      0);
          if (!ownCodePage) {
            // The entry: tag, flags (readable), the 8-byte value.
            const std::uint32_t tag = Tag(msg::kMessageCodePage, msg::kTypeInt32);
            for (const std::uint32_t word : {tag, 2u, inheritedCodePage, 0u}) {
              for (int i = 0; i < 4; ++i)
                data.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
            }
          }
        }
      }
      writer.AddStream(CfbWriter::kRoot, e.name, std::move(data));
    }
  }
  if (!hasNameMap) {
    if (nameMap && cfb.IsStorage(*nameMap)) {
      CopyStorage(cfb, *nameMap, writer, writer.AddStorage(CfbWriter::kRoot, msg::kNameIdStorage));
    }
  }
  return writer.Finish();
}

// An attachment's properties, its content left out.
MsgAttachment AttachmentProperties(const PropertyBag& props, std::uint32_t codePage) {
  MsgAttachment a;
  a.displayName = props.Text(msg::kDisplayName, codePage).value_or("");
  a.longFileName = props.Text(msg::kAttachLongFileName, codePage).value_or("");
  a.shortFileName = props.Text(msg::kAttachShortFileName, codePage).value_or("");
  a.mimeType = props.Text(msg::kAttachMimeTag, codePage).value_or("");
  a.contentId = props.Text(msg::kAttachContentId, codePage).value_or("");
  a.hidden = props.Boolean(msg::kAttachmentHidden).value_or(false);
  a.method = props.Int32(msg::kAttachMethod).value_or(msg::kAttachByValue);
  return a;
}

// The user properties: string-named properties in PS_PUBLIC_STRINGS, named in the name-to-id
// map `map` (none: the item has no map).
void ReadUserProperties(const CfbReader& cfb, std::optional<std::uint32_t> map,
                        const PropertyBag& props, std::uint32_t codePage,
                        std::vector<MsgUserProperty>& out) {
  if (!map || !cfb.IsStorage(*map)) return;
  auto stream = [&](const char* name, std::vector<std::uint8_t>& scratch) {
    const auto id = cfb.Find(*map, name);
    if (!id || !cfb.IsStream(*id)) return std::span<const std::uint8_t>{};
    return cfb.Stream(*id, scratch);
  };
  std::vector<std::uint8_t> guidScratch, entryScratch, stringScratch;
  const auto guids = stream(msg::kGuidStream, guidScratch);
  const auto entries = stream(msg::kEntryStream, entryScratch);
  const auto strings = stream(msg::kStringStream, stringScratch);
  if (entries.size() % 8 != 0) Bad("name-to-id entry stream of wrong length");

  for (size_t i = 0; i < entries.size(); i += 8) {
    const std::uint32_t nameOrId = ReadLe32(entries.data() + i);
    const std::uint32_t info = ReadLe32(entries.data() + i + 4);
    const bool stringNamed = info & 1;
    const std::uint32_t guidIndex = (info >> 1) & 0x7FFF;
    const std::uint32_t propertyIndex = info >> 16;
    bool publicStrings = guidIndex == msg::kPublicStringsIndex;
    if (guidIndex >= 3) {
      const std::uint64_t offset = static_cast<std::uint64_t>(guidIndex - 3) * 16;
      if (offset + 16 > guids.size()) Bad("name-to-id map refers to a missing GUID");
      publicStrings = std::memcmp(guids.data() + offset, msg::kPublicStringsGuid, 16) == 0;
    }
    if (!stringNamed) continue;
    if (nameOrId > strings.size() || strings.size() - nameOrId < 4) {
      Bad("name-to-id map points outside its string stream");
    }
    const std::uint32_t length = ReadLe32(strings.data() + nameOrId);
    if (length > strings.size() - nameOrId - 4) {
      Bad("name-to-id map name runs outside its string stream");
    }
    if (!publicStrings || propertyIndex > 0x7FFE) continue;
    const auto id = static_cast<std::uint16_t>(msg::kFirstNamedId + propertyIndex);

    outlook::Value value;
    const std::uint16_t type = props.TypeOf(id);
    const std::uint8_t* fixed = type ? props.Fixed(Tag(id, type)) : nullptr;
    switch (type) {
      case msg::kTypeInt16:
        value = outlook::Value::Integer(static_cast<std::int16_t>(ReadLe16(fixed)));
        break;
      case msg::kTypeInt32:
        value = outlook::Value::Integer(static_cast<std::int32_t>(ReadLe32(fixed)));
        break;
      case msg::kTypeInt64:
        value = outlook::Value::Integer(static_cast<std::int64_t>(ReadLe64(fixed)));
        break;
      case msg::kTypeFloat:
        value = outlook::Value::Double(std::bit_cast<float>(ReadLe32(fixed)));
        break;
      case msg::kTypeDouble:
        value = outlook::Value::Double(std::bit_cast<double>(ReadLe64(fixed)));
        break;
      case msg::kTypeCurrency:
        value = outlook::Value::Double(
            static_cast<double>(static_cast<std::int64_t>(ReadLe64(fixed))) / 10000.0);
        break;
      case msg::kTypeAppTime:
        value = outlook::Value::Date(outlook::OleDate{std::bit_cast<double>(ReadLe64(fixed))});
        break;
      case msg::kTypeFileTime:
        value = outlook::Value::Date(outlook::OleDate{msg::FileTimeToOleDays(ReadLe64(fixed))});
        break;
      case msg::kTypeBoolean:
        value = outlook::Value::Boolean(fixed[0] != 0 || fixed[1] != 0);
        break;
      default:
        if (auto text = props.Text(id, codePage)) value = outlook::Value::Text(std::move(*text));
        break;
    }
    if (value.IsEmpty()) continue;
    MsgUserProperty property;
    property.name = Utf16LeToUtf8(strings.subspan(nameOrId + 4, length));
    property.value = std::move(value);
    out.push_back(std::move(property));
  }
}

// The root storage of a message, which must hold the top-level property stream.
const CfbReader& MessageRoot(const CfbReader& cfb) {
  const auto propertyStream = cfb.Find(CfbReader::kRootEntry, msg::kPropertiesStream);
  if (!propertyStream || !cfb.IsStream(*propertyStream)) {
    Bad("no property stream (not an Outlook item)");
  }
  return cfb;
}

}  // namespace

// What opening a message parses, and what its later reads need.
struct MsgReader::State {
  explicit State(std::span<const std::uint8_t> bytes)
      : cfb(bytes), props(MessageRoot(cfb), CfbReader::kRootEntry, msg::kTopHeader) {}

  const CfbReader cfb;
  const PropertyBag props;  // the top-level properties
  std::uint32_t textCodePage = kCodePageWindows1252;
  std::uint32_t htmlCodePage = kCodePageWindows1252;
  std::optional<std::uint32_t> nameMap;
  std::vector<std::uint32_t> attachments;  // their storages, in the order of their numbers
  std::string messageClass;
  std::string subject;
  std::int32_t nativeBody = 0;
  std::vector<MsgUserProperty> userProperties;
};

MsgReader::MsgReader(std::span<const std::uint8_t> bytes) {
  auto state = std::make_unique<State>(bytes);
  const CfbReader& cfb = state->cfb;
  const PropertyBag& props = state->props;

  // 8-bit strings are in the code page the message names, else in the ANSI code page of its
  // locale. An HTML body keeps the code page it travelled in (its <meta> charset agrees).
  const auto internetCodePage = props.Int32(msg::kInternetCodePage);
  state->textCodePage = EightBitCodePage(props.Int32(msg::kMessageCodePage),
                                         props.Int32(msg::kMessageLocaleId), internetCodePage);
  state->htmlCodePage = internetCodePage && *internetCodePage > 0
                            ? static_cast<std::uint32_t>(*internetCodePage)
                            : state->textCodePage;

  state->messageClass = props.Text(msg::kMessageClass, state->textCodePage).value_or("");
  state->subject = props.Text(msg::kSubject, state->textCodePage).value_or("");
  state->nativeBody = props.Int32(msg::kNativeBody).value_or(0);
  state->nameMap = cfb.Find(CfbReader::kRootEntry, msg::kNameIdStorage);
  ReadUserProperties(cfb, state->nameMap, props, state->textCodePage, state->userProperties);

  std::vector<std::pair<std::uint32_t, std::uint32_t>> attachments;  // number, entry
  for (std::uint32_t child : cfb.entry(CfbReader::kRootEntry).children) {
    const auto& name = cfb.entry(child).name;
    std::uint32_t number = 0;
    if (cfb.IsStorage(child) && StartsWithIgnoringAsciiCase(name, msg::kAttachPrefix) &&
        msg::ParseHex8(std::string_view(name).substr(sizeof msg::kAttachPrefix - 1), number)) {
      attachments.emplace_back(number, child);
    }
  }
  std::sort(attachments.begin(), attachments.end());
  state->attachments.reserve(attachments.size());
  for (const auto& [number, entry] : attachments) state->attachments.push_back(entry);
  state_ = std::move(state);
}

MsgReader::~MsgReader() = default;

const std::string& MsgReader::MessageClass() const {
  return state_->messageClass;
}
const std::string& MsgReader::Subject() const {
  return state_->subject;
}
const std::vector<MsgUserProperty>& MsgReader::UserProperties() const {
  return state_->userProperties;
}
std::int32_t MsgReader::NativeBody() const {
  return state_->nativeBody;
}

bool MsgReader::HasHtmlBody() const {
  const PropertyBag& props = state_->props;
  return props.Has(Tag(msg::kHtml, msg::kTypeBinary)) ||
         props.Has(Tag(msg::kHtml, msg::kTypeUnicode)) ||
         props.Has(Tag(msg::kHtml, msg::kTypeString8));
}
bool MsgReader::HasPlainBody() const {
  const PropertyBag& props = state_->props;
  return props.Has(Tag(msg::kBody, msg::kTypeUnicode)) ||
         props.Has(Tag(msg::kBody, msg::kTypeString8));
}
bool MsgReader::HasRichText() const {
  return state_->props.Has(Tag(msg::kRtfCompressed, msg::kTypeBinary));
}

std::optional<std::string> MsgReader::HtmlBody() const {
  const State& s = *state_;
  std::vector<std::uint8_t> scratch;
  if (auto html = s.props.Bytes(Tag(msg::kHtml, msg::kTypeBinary), scratch)) {
    size_t n = html->size();
    while (n > 0 && (*html)[n - 1] == 0) --n;
    return DecodeCodePage(html->first(n), s.htmlCodePage);
  }
  return s.props.Text(msg::kHtml, s.htmlCodePage);
}

std::optional<std::string> MsgReader::PlainBody() const {
  return state_->props.Text(msg::kBody, state_->textCodePage);
}

std::optional<std::span<const std::uint8_t>> MsgReader::CompressedRtf(
    std::vector<std::uint8_t>& scratch) const {
  return state_->props.Bytes(Tag(msg::kRtfCompressed, msg::kTypeBinary), scratch);
}

std::size_t MsgReader::AttachmentCount() const {
  return state_->attachments.size();
}

MsgAttachment MsgReader::Attachment(std::size_t index) const {
  const State& s = *state_;
  const PropertyBag props(s.cfb, s.attachments.at(index), msg::kAttachmentHeader);
  return AttachmentProperties(props, s.textCodePage);
}

std::span<const std::uint8_t> MsgReader::AttachmentContent(
    std::size_t index, std::vector<std::uint8_t>& scratch) const {
  const State& s = *state_;
  const PropertyBag props(s.cfb, s.attachments.at(index), msg::kAttachmentHeader);
  if (auto data = props.Bytes(Tag(msg::kAttachData, msg::kTypeBinary), scratch)) return *data;
  const auto sub = props.StreamEntry(Tag(msg::kAttachData, msg::kTypeObject));
  if (sub && s.cfb.IsStorage(*sub) &&
      props.Int32(msg::kAttachMethod).value_or(msg::kAttachByValue) ==
          msg::kAttachEmbeddedMessage) {
    scratch = RebuildEmbeddedMessage(s.cfb, *sub, s.nameMap, s.textCodePage);
    return scratch;
  }
  return {};
}

namespace {

// `bytes` as a vector of their own: `scratch` itself when they are held there.
std::vector<std::uint8_t> Owned(std::span<const std::uint8_t> bytes,
                                std::vector<std::uint8_t>& scratch) {
  if (bytes.data() == scratch.data() && bytes.size() == scratch.size()) return std::move(scratch);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

MsgContent ReadMsg(std::span<const std::uint8_t> bytes) {
  const MsgReader reader(bytes);
  MsgContent content;
  content.messageClass = reader.MessageClass();
  content.subject = reader.Subject();
  content.plainBody = reader.PlainBody();
  content.htmlBody = reader.HtmlBody();
  {
    std::vector<std::uint8_t> scratch;
    if (auto rtf = reader.CompressedRtf(scratch)) content.compressedRtf = Owned(*rtf, scratch);
  }
  content.nativeBody = reader.NativeBody();
  content.userProperties = reader.UserProperties();
  content.attachments.reserve(reader.AttachmentCount());
  for (std::size_t i = 0; i < reader.AttachmentCount(); ++i) {
    MsgAttachment attachment = reader.Attachment(i);
    std::vector<std::uint8_t> scratch;
    attachment.data = Owned(reader.AttachmentContent(i, scratch), scratch);
    content.attachments.push_back(std::move(attachment));
  }
  return content;
}

}  // namespace lorva::mailstore
