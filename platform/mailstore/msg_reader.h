// Reading a .msg file part by part. Opening one parses its compound-file directory, its
// top-level property stream, its class, subject and user properties (the name-to-id map); its
// bodies and attachments are read and decoded only when asked for, so that a caller that wants
// the user properties alone does no more. ReadMsg (msg_content.h) reads everything through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/mailstore/msg_content.h"

namespace lorva::mailstore {

class MsgReader {
 public:
  // Parses `bytes` as far as said above. The bytes must outlive the reader (bodies and
  // attachment contents are read from them later). The input is untrusted: a file that is not a
  // readable message (a malformed compound file, no or a short top-level property stream, a
  // malformed name-to-id map, a damaged class, subject or user property) throws lorva::Error
  // (errnum::kBadFileFormat) saying what is wrong.
  explicit MsgReader(std::span<const std::uint8_t> bytes);
  ~MsgReader();
  MsgReader(const MsgReader&) = delete;
  MsgReader& operator=(const MsgReader&) = delete;

  const std::string& MessageClass() const;
  const std::string& Subject() const;
  const std::vector<MsgUserProperty>& UserProperties() const;
  // PR_NATIVE_BODY_INFO; 0 when the item does not say.
  std::int32_t NativeBody() const;

  // Whether the item holds each body; nothing is read.
  bool HasHtmlBody() const;
  bool HasPlainBody() const;
  bool HasRichText() const;

  // The bodies, read and decoded to UTF-8 now; nothing when the item holds none. Every member
  // below throws lorva::Error (errnum::kBadFileFormat) when the part it reads is damaged.
  std::optional<std::string> HtmlBody() const;
  std::optional<std::string> PlainBody() const;
  // The compressed rich text as stored: a view into the file's bytes, or into `scratch` when
  // its sectors lie apart.
  std::optional<std::span<const std::uint8_t>> CompressedRtf(
      std::vector<std::uint8_t>& scratch) const;

  // The number of attachments, found from the directory alone.
  std::size_t AttachmentCount() const;
  // Attachment `index` (0-based, in the order of the attachments' numbers) without its content:
  // `data` stays empty. Precondition: index < AttachmentCount().
  MsgAttachment Attachment(std::size_t index) const;
  // The content of attachment `index`: the bytes of its data stream when it has one (a view
  // into the file's bytes where its sectors are consecutive, else gathered into `scratch`);
  // else, for an embedded message, a complete stand-alone .msg file built in `scratch`; else
  // nothing. Precondition: index < AttachmentCount().
  std::span<const std::uint8_t> AttachmentContent(std::size_t index,
                                                  std::vector<std::uint8_t>& scratch) const;

 private:
  struct State;
  std::unique_ptr<const State> state_;
};

}  // namespace lorva::mailstore
