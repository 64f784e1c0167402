// The text rules the knowledge-base access, the runs and the settings share: trimming blanks and
// lower-casing by the system's (Unicode's) rules for letters.
#pragma once

#include <string>
#include <string_view>

namespace lorva {

// `text` without space characters at either end (only " ", as Visual Basic's Trim).
std::string TrimBlanks(std::string_view text);
// `text` lower-cased by Unicode's rules (UTF-8 in, UTF-8 out).
std::string LowerCase(std::string_view text);

}  // namespace lorva
