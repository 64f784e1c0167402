// An unsent e-mail message as an Internet message file (.eml), the form in which the mail store
// keeps a new mail item: mail programs open such a file with "X-Unsent: 1" as a draft to send.
#pragma once

#include <string>

namespace lorva::mailstore {

struct UnsentMail {
  std::string to;       // the recipients' addresses as typed ("a@example.com; b@example.com")
  std::string subject;  // UTF-8
  std::string body;     // UTF-8 plain text, any line endings
};

// The message as .eml bytes: CRLF line endings; headers X-Unsent, To, Subject, MIME-Version,
// Content-Type (text/plain, UTF-8) and Content-Transfer-Encoding (quoted-printable), then the
// body. A subject beyond ASCII is written as RFC 2047 encoded words. Line breaks inside To or
// Subject become blanks, so they cannot add header lines.
std::string FormatUnsentMail(const UnsentMail& mail);

// Quoted-printable encoding (RFC 2045) of UTF-8 text: line breaks of any kind become CRLF,
// encoded lines are at most 76 characters long.
std::string EncodeQuotedPrintable(const std::string& text);

// An unstructured header value: unchanged when printable ASCII, else a sequence of RFC 2047
// "=?UTF-8?B?...?=" words, each at most 75 characters and cut between characters, joined by
// CRLF and a blank (folding). `headerNameLength` is the length of "Name: " before the value.
std::string EncodeHeaderText(const std::string& text, std::size_t headerNameLength);

}  // namespace lorva::mailstore
