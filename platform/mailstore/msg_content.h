// What the program reads from and writes to an Outlook .msg file: the message's class, subject,
// bodies, user properties and attachments. Parsers take bytes, not paths.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/outlook/value.h"

namespace lorva::mailstore {

struct MsgAttachment {
  std::string displayName;    // PR_DISPLAY_NAME, decoded to UTF-8
  std::string longFileName;   // PR_ATTACH_LONG_FILENAME
  std::string shortFileName;  // PR_ATTACH_FILENAME
  std::string mimeType;       // PR_ATTACH_MIME_TAG
  std::string contentId;      // PR_ATTACH_CONTENT_ID
  bool hidden = false;        // PR_ATTACHMENT_HIDDEN
  std::int32_t method = 1;    // PR_ATTACH_METHOD: 1 by value, 5 embedded message, 6 OLE
  // The content: the bytes of a by-value attachment; for an embedded message, a complete
  // stand-alone .msg file holding that message.
  std::vector<std::uint8_t> data;

  // The name shown to the user: display name, else long file name, else short file name.
  const std::string& ShownName() const;
};

// A string-named property in PS_PUBLIC_STRINGS (an Outlook user field such as
// "Problem Category").
struct MsgUserProperty {
  std::string name;
  outlook::Value value;
};

struct MsgContent {
  std::string messageClass;                                // "IPM.Post", "IPM.Note", ...
  std::string subject;                                     // UTF-8
  std::optional<std::string> htmlBody;                     // PR_HTML, decoded to UTF-8
  std::optional<std::string> plainBody;                    // PR_BODY, UTF-8
  std::optional<std::vector<std::uint8_t>> compressedRtf;  // PR_RTF_COMPRESSED, as stored
  // PR_NATIVE_BODY_INFO, the body the item was written in: 1 plain text, 2 rich text, 3 HTML;
  // 0 when the item does not say. WriteMsg writes it as given, or for 0 the body the content
  // holds: 3 with an HTML body, else 2 with rich text, else 1.
  std::int32_t nativeBody = 0;
  std::vector<MsgUserProperty> userProperties;
  std::vector<MsgAttachment> attachments;
};

// Parses a .msg file whole, every part read through MsgReader (msg_reader.h), which reads a part
// only when asked for it. Every input is untrusted: a malformed file throws lorva::Error (number
// errnum::kBadFileFormat) with a description that says what is wrong; it never crashes, hangs or
// allocates beyond a small multiple of the input's size.
MsgContent ReadMsg(std::span<const std::uint8_t> bytes);

// Writes a valid .msg file (Compound File Binary version 3, Unicode strings) holding `content`,
// with the user properties as named properties in PS_PUBLIC_STRINGS.
std::vector<std::uint8_t> WriteMsg(const MsgContent& content);

}  // namespace lorva::mailstore
