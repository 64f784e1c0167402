// Text conversions for the .msg reader and writer: Windows code pages and UTF-16LE to UTF-8 and
// back. Every input is untrusted; malformed sequences become U+FFFD, never an error.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lorva::mailstore {

inline constexpr std::uint32_t kCodePageWindows1252 = 1252;
inline constexpr std::uint32_t kCodePageUtf8 = 65001;

// Decodes 8-bit text in Windows code page `codePage` (1252, 1251, 932, 65001, ...) to UTF-8.
// An unknown code page is read as windows-1252. Bytes the code page cannot map become U+FFFD.
std::string DecodeCodePage(std::span<const std::uint8_t> bytes, std::uint32_t codePage);

// Decodes UTF-16LE to UTF-8. An odd trailing byte is dropped; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);

// Appends `utf8` as UTF-16LE to `out`. Invalid UTF-8 becomes U+FFFD.
void AppendUtf16Le(std::string_view utf8, std::vector<std::uint8_t>& out);

// `utf8` as UTF-16 code units (invalid UTF-8 becomes U+FFFD).
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace lorva::mailstore
