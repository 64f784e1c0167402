// The text rules every folder shares: trimming blanks; lower-casing, case folding and the text
// collation by the system's (Unicode's) rules for letters; the same for ASCII letters only, for
// names that formats define in ASCII; hexadecimal digits; and keeping control characters out of
// what the program writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorva {

// `text` without space characters at either end (only " ", as Visual Basic's Trim).
std::string TrimBlanks(std::string_view text);
// The whole number `text` holds in decimal digits, with a sign allowed in front, as Visual Basic
// converts it to a 16-bit integer; nothing when `text` holds anything else (blanks included) or
// the number is out of range.
std::optional<std::int16_t> ParseInteger16(std::string_view text);

// `text` lower-cased by Unicode's rules (UTF-8 in, UTF-8 out).
std::string LowerCase(std::string_view text);
// `text` with letter case folded by Unicode's full case folding, for comparing texts without
// regard to letter case (UTF-8 in, UTF-8 out).
std::string FoldCase(std::string_view text);
// Whether `a` and `b` are equal once case-folded (FoldCase). Two ASCII texts are compared
// without ICU; a text with other characters may fold to ASCII (the Kelvin sign to "k").
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// Compares texts by the system's text collation: Unicode's root collation at secondary strength,
// so that letter case is ignored and accents count ("e" < "é" < "f"). <0, 0 or >0. Throws
// lorva::Error when the collation is not available or cannot compare the texts.
int CompareTextIgnoringCase(std::string_view a, std::string_view b);
// Appends the collation key of `text` under that collation to `keys`: comparing two keys
// bytewise compares the texts. Throws as CompareTextIgnoringCase.
void AppendCollationKey(std::string_view text, std::string& keys);

// Whether every byte of `text` is ASCII (below 0x80). Eight bytes at a time.
bool IsAscii(std::string_view text);
// The character of `byte` in windows-1252, the 8-bit text of Western Windows systems. The five
// bytes it leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same
// value, as the system's conversion gives them.
char32_t FromWindows1252(unsigned char byte);
// `c` lower-cased when it is an ASCII capital letter, else as it is.
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
// `text` with its ASCII capital letters lower-cased; every other byte stays, so positions in the
// result are positions in `text`.
std::string AsciiLower(std::string_view text);
// Whether `a` and `b` are equal when ASCII letters are compared without regard to case (other
// bytes compared as they are).
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);
// Whether `text` starts with `prefix`, ASCII letters compared without regard to case.
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

// The value of the hexadecimal digit `c` ("0"-"9", "a"-"f", "A"-"F"), or -1 for any other byte.
int HexValue(char c);

// Whether `cp` is a control character: C0 (U+0000 to U+001F), DEL (U+007F) or C1 (U+0080 to
// U+009F). None of them may reach a file name, a page or a listing.
bool IsControlCharacter(char32_t cp);
// `text` with every control character replaced by a blank ("a\tb" gives "a b"). Bytes that are
// not UTF-8 are left as they are.
std::string BlankControlCharacters(std::string_view text);

}  // namespace lorva
