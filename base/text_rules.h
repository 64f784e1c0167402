// The text rules the knowledge-base access, the runs and the settings share: trimming blanks,
// lower-casing and case folding by the system's (Unicode's) rules for letters, and keeping
// control characters out of what the program writes.
#pragma once

#include <string>
#include <string_view>

namespace lorva {

// `text` without space characters at either end (only " ", as Visual Basic's Trim).
std::string TrimBlanks(std::string_view text);
// `text` lower-cased by Unicode's rules (UTF-8 in, UTF-8 out).
std::string LowerCase(std::string_view text);
// `text` with letter case folded by Unicode's full case folding, for comparing texts without
// regard to letter case (UTF-8 in, UTF-8 out).
std::string FoldCase(std::string_view text);

// Whether `cp` is a control character: C0 (U+0000 to U+001F), DEL (U+007F) or C1 (U+0080 to
// U+009F). None of them may reach a file name, a page or a listing.
bool IsControlCharacter(char32_t cp);
// `text` with every control character replaced by a blank ("a\tb" gives "a b"). Bytes that are
// not UTF-8 are left as they are.
std::string BlankControlCharacters(std::string_view text);

}  // namespace lorva
