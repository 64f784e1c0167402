// Writing .msg files. Strings are stored as UTF-16 (001F). The HTML body is stored as binary
// (0102) UTF-8 bytes with PR_INTERNET_CPID 65001, as Outlook itself stores HTML bodies.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/mailstore/cfb.h"
#include "platform/mailstore/code_page.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/msg_properties.h"
#include "support/error.h"

namespace lorva::mailstore {
namespace {

using msg::Tag;

constexpr std::uint32_t kReadableWritable = 0x00000006;

void Append32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Append64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

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
    Append32(entries_, Tag(id, type));
    Append32(entries_, kReadableWritable);
    Append64(entries_, value);
  }
  void Int32(std::uint16_t id, std::int32_t value) {
    Fixed(id, msg::kTypeInt32, static_cast<std::uint32_t>(value));
  }
  void Boolean(std::uint16_t id, bool value) { Fixed(id, msg::kTypeBoolean, value ? 1 : 0); }

  void Binary(std::uint16_t id, std::vector<std::uint8_t> data) {
    const std::uint32_t tag = Tag(id, msg::kTypeBinary);
    Append32(entries_, tag);
    Append32(entries_, kReadableWritable);
    Append64(entries_, data.size());
    writer_.AddStream(storage_, SubstgName(tag), std::move(data));
  }
  // A UTF-16 string. Empty strings are left out: Outlook refuses zero-length string streams.
  void Text(std::uint16_t id, std::string_view utf8) {
    if (utf8.empty()) return;
    std::vector<std::uint8_t> data;
    AppendUtf16Le(utf8, data);
    const std::uint32_t tag = Tag(id, msg::kTypeUnicode);
    Append32(entries_, tag);
    Append32(entries_, kReadableWritable);
    Append64(entries_, data.size() + 2);
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

// Writes the user properties as string-named properties in PS_PUBLIC_STRINGS: their values
// into `props`, their names into the name-to-id map.
void WriteUserProperties(const std::vector<MsgUserProperty>& properties, CfbWriter& writer,
                         PropertyWriter& props) {
  std::vector<std::uint8_t> entryStream, stringStream;
  std::map<std::uint32_t, std::vector<std::uint8_t>> hashStreams;
  std::uint32_t index = 0;
  for (const MsgUserProperty& property : properties) {
    const outlook::Value& value = property.value;
    if (value.IsEmpty() ||
        (value.kind() == outlook::Value::Kind::kText && value.AsText().empty())) {
      continue;  // an empty value reads as a missing property
    }
    if (index > 0x7FFE) {
      throw Error(errnum::kInvalidProcedureCall, "Too many user properties for one item");
    }
    const auto id = static_cast<std::uint16_t>(msg::kFirstNamedId + index);
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
      case outlook::Value::Kind::kDouble: {
        const double number = value.AsNumber();
        std::uint64_t bits;
        std::memcpy(&bits, &number, 8);
        props.Fixed(id, msg::kTypeDouble, bits);
        break;
      }
      case outlook::Value::Kind::kDate:
        props.Fixed(id, msg::kTypeFileTime, msg::OleDaysToFileTime(value.AsDate().days));
        break;
      case outlook::Value::Kind::kBoolean:
        props.Boolean(id, value.AsBoolean());
        break;
      case outlook::Value::Kind::kEmpty:
        break;
    }

    std::vector<std::uint8_t> name;
    AppendUtf16Le(property.name, name);
    const auto offset = static_cast<std::uint32_t>(stringStream.size());
    Append32(stringStream, static_cast<std::uint32_t>(name.size()));
    stringStream.insert(stringStream.end(), name.begin(), name.end());
    while (stringStream.size() % 4 != 0) stringStream.push_back(0);

    const std::uint32_t info = (index << 16) | (msg::kPublicStringsIndex << 1) | 1;
    Append32(entryStream, offset);
    Append32(entryStream, info);
    const std::uint32_t crc = msg::NameCrc32(name);
    const std::uint32_t streamId = 0x1000 + ((crc ^ ((msg::kPublicStringsIndex << 1) | 1)) % 0x1F);
    auto& hash = hashStreams[streamId];
    Append32(hash, crc);
    Append32(hash, info);
    ++index;
  }

  const std::uint32_t map = writer.AddStorage(CfbWriter::kRoot, msg::kNameIdStorage);
  writer.AddStream(map, msg::kGuidStream, {});
  writer.AddStream(map, msg::kEntryStream, std::move(entryStream));
  writer.AddStream(map, msg::kStringStream, std::move(stringStream));
  for (auto& [streamId, data] : hashStreams) {
    writer.AddStream(map, SubstgName(Tag(static_cast<std::uint16_t>(streamId), msg::kTypeBinary)),
                     std::move(data));
  }
}

void WriteAttachment(const MsgAttachment& attachment, std::uint32_t number, CfbWriter& writer) {
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
  props.Binary(msg::kAttachData, attachment.data);
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
  const std::int32_t nativeBody = content.htmlBody ? 3 : content.compressedRtf ? 2 : 1;
  props.Int32(msg::kNativeBody, nativeBody);
  WriteUserProperties(content.userProperties, writer, props);

  const auto count = static_cast<std::uint32_t>(content.attachments.size());
  for (std::uint32_t i = 0; i < count; ++i) WriteAttachment(content.attachments[i], i, writer);

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
