// UTF-8, the program's text encoding: appending a code point and reading one back. A leaf with
// no dependencies, used by every folder that converts text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lorva::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

// Appends `cp` in UTF-8. A surrogate or a value beyond U+10FFFF is written as U+FFFD.
void Append(std::string& out, char32_t cp);

// The length (1 to 4) of the well-formed UTF-8 sequence at `pos`, with its code point in `cp`;
// 0 when the bytes there are not one (truncated, overlong, a surrogate, beyond U+10FFFF).
// Precondition: pos < text.size().
std::size_t DecodeAt(std::string_view text, std::size_t pos, char32_t& cp);

// Reads the character at `pos` and moves past it; bytes that are not UTF-8 read as U+FFFD, one
// byte at a time. Precondition: pos < text.size().
char32_t Next(std::string_view text, std::size_t& pos);

// Whether all of `text` is well-formed UTF-8.
bool IsValid(std::string_view text);

}  // namespace lorva::utf8
