// Property tags, property types and helpers shared by the .msg reader and writer.
#pragma once

#include <cstdint>
#include <string_view>

namespace lorva::mailstore::msg {

// Property types (the low 16 bits of a tag).
inline constexpr std::uint16_t kTypeInt16 = 0x0002;
inline constexpr std::uint16_t kTypeInt32 = 0x0003;
inline constexpr std::uint16_t kTypeFloat = 0x0004;
inline constexpr std::uint16_t kTypeDouble = 0x0005;
inline constexpr std::uint16_t kTypeCurrency = 0x0006;
inline constexpr std::uint16_t kTypeAppTime = 0x0007;
inline constexpr std::uint16_t kTypeBoolean = 0x000B;
inline constexpr std::uint16_t kTypeObject = 0x000D;
inline constexpr std::uint16_t kTypeInt64 = 0x0014;
inline constexpr std::uint16_t kTypeString8 = 0x001E;
inline constexpr std::uint16_t kTypeUnicode = 0x001F;
inline constexpr std::uint16_t kTypeFileTime = 0x0040;
inline constexpr std::uint16_t kTypeBinary = 0x0102;

// Property ids (the high 16 bits of a tag).
inline constexpr std::uint16_t kMessageClass = 0x001A;
inline constexpr std::uint16_t kSubject = 0x0037;
inline constexpr std::uint16_t kBody = 0x1000;
inline constexpr std::uint16_t kRtfCompressed = 0x1009;
inline constexpr std::uint16_t kHtml = 0x1013;
inline constexpr std::uint16_t kNativeBody = 0x1016;
inline constexpr std::uint16_t kStoreSupportMask = 0x340D;
inline constexpr std::uint16_t kInternetCodePage = 0x3FDE;
inline constexpr std::uint16_t kMessageLocaleId = 0x3FF1;
inline constexpr std::uint16_t kMessageCodePage = 0x3FFD;
inline constexpr std::uint16_t kAttachNumber = 0x0E21;
inline constexpr std::uint16_t kDisplayName = 0x3001;
inline constexpr std::uint16_t kAttachData = 0x3701;
inline constexpr std::uint16_t kAttachShortFileName = 0x3704;
inline constexpr std::uint16_t kAttachMethod = 0x3705;
inline constexpr std::uint16_t kAttachLongFileName = 0x3707;
inline constexpr std::uint16_t kAttachMimeTag = 0x370E;
inline constexpr std::uint16_t kAttachContentId = 0x3712;
inline constexpr std::uint16_t kAttachmentHidden = 0x7FFE;
inline constexpr std::uint16_t kFirstNamedId = 0x8000;

inline constexpr std::uint32_t kStoreUnicodeOk = 0x00040000;
inline constexpr std::int32_t kAttachByValue = 1;
inline constexpr std::int32_t kAttachEmbeddedMessage = 5;

// Storage and stream names.
inline constexpr char kPropertiesStream[] = "__properties_version1.0";
inline constexpr char kNameIdStorage[] = "__nameid_version1.0";
inline constexpr char kAttachPrefix[] = "__attach_version1.0_#";
inline constexpr char kSubstgPrefix[] = "__substg1.0_";
inline constexpr char kGuidStream[] = "__substg1.0_00020102";
inline constexpr char kEntryStream[] = "__substg1.0_00030102";
inline constexpr char kStringStream[] = "__substg1.0_00040102";

// Property stream header sizes.
inline constexpr std::uint32_t kTopHeader = 32;
inline constexpr std::uint32_t kEmbeddedHeader = 24;
inline constexpr std::uint32_t kAttachmentHeader = 8;

// The GUID index of PS_PUBLIC_STRINGS in the name-to-id map, and the GUID's bytes on disk.
inline constexpr std::uint32_t kPublicStringsIndex = 2;
inline constexpr std::uint8_t kPublicStringsGuid[16] = {
    0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

constexpr std::uint32_t Tag(std::uint16_t id, std::uint16_t type) {
  return (static_cast<std::uint32_t>(id) << 16) | type;
}

// The number written as exactly eight hexadecimal digits in `text` (the tag in a property
// stream's name, the number in an attachment storage's name). False for any other text.
bool ParseHex8(std::string_view text, std::uint32_t& out);

// FILETIME (100 ns ticks since 1601-01-01) to OLE automation days (since 1899-12-30) and back.
double FileTimeToOleDays(std::uint64_t fileTime);
std::uint64_t OleDaysToFileTime(double days);

}  // namespace lorva::mailstore::msg
