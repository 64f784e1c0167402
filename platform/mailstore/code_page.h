// Text conversions for the .msg reader and writer: Windows code pages and UTF-16LE to UTF-8 and
// back, and which code page a message's 8-bit strings are in. Every input is untrusted;
// malformed sequences become U+FFFD (or, where asked, windows-1252 characters), never an error.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lorva::mailstore {

inline constexpr std::uint32_t kCodePageWindows1252 = 1252;
inline constexpr std::uint32_t kCodePageUtf8 = 65001;

// What becomes of a byte that its code page cannot decode (a stray byte, a lead byte without
// its trail byte).
enum class Undecodable {
  kReplace,        // U+FFFD
  kAsWindows1252,  // the byte alone read as windows-1252; U+FFFD for the five it leaves undefined
};

// Decodes 8-bit text in Windows code page `codePage` (1252, 1251, 932, 65001, ...) to UTF-8.
// An unknown code page is read as windows-1252.
std::string DecodeCodePage(std::span<const std::uint8_t> bytes, std::uint32_t codePage,
                           Undecodable undecodable = Undecodable::kReplace);

// As DecodeCodePage, appending to `out`.
void AppendDecoded(std::string& out, std::span<const std::uint8_t> bytes, std::uint32_t codePage,
                   Undecodable undecodable);

// The Windows (ANSI) code page of locale `lcid` (1041 ja-JP: 932, 1049 ru-RU: 1251, ...), or
// nothing for a locale we do not know or whose language Windows writes in Unicode only.
std::optional<std::uint32_t> AnsiCodePageOfLocale(std::uint32_t lcid);

// Whether `codePage` is one of the Windows (ANSI) code pages: 874, 932, 936, 949, 950,
// 1250 to 1258.
bool IsWindowsAnsiCodePage(std::uint32_t codePage);

// The code page of a message's 8-bit strings, from its message code page (PR_MESSAGE_CODEPAGE),
// its locale (PR_MESSAGE_LOCALE_ID) and its internet code page (PR_INTERNET_CPID), any of them
// possibly missing: the message code page; else the ANSI code page of the locale; else the
// internet code page when it is a Windows ANSI code page; else windows-1252.
std::uint32_t EightBitCodePage(std::optional<std::int32_t> messageCodePage,
                               std::optional<std::int32_t> localeId,
                               std::optional<std::int32_t> internetCodePage);

// Decodes UTF-16LE to UTF-8. An odd trailing byte is dropped; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);
// Utf16LeToUtf8, appended to `out`.
void AppendUtf16LeAsUtf8(std::string& out, std::span<const std::uint8_t> bytes);

// Appends `utf8` as UTF-16LE to `out`. Invalid UTF-8 becomes U+FFFD.
void AppendUtf16Le(std::string_view utf8, std::vector<std::uint8_t>& out);

// `utf8` as UTF-16 code units (invalid UTF-8 becomes U+FFFD).
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace lorva::mailstore
