// Page file names: the subject cleaned of the characters a file name cannot hold, or the page
// counter; and the cut of over-long paths.
#pragma once

#include <cstdint>
#include <string>

#include "support/file_handling.h"

namespace lorva {

// The subject without "\", "/", "?", "*", ":", '"', "<", ">", "|"; when nothing but blanks is
// left, "NULL_" & the next pseudo-random fraction & ".htm". Not trimmed.
std::string fncStripInvalidCharacters(Services& services, const std::string& strText);

// The program's unseeded pseudo-random generator (the same sequence after every start); the
// next fraction in [0, 1). Reset() starts the sequence again (tests).
class RandomSequence {
 public:
  static float Next();
  static void Reset();
};

// The page name: cleaned subject & ".htm" (subject naming) or counter & ".htm".
std::string PageName(Services& services, bool bySubject, const std::string& trimmedSubject,
                     std::int16_t counter);

// destination & "/" & name, cut to its first 245 characters & ".htm" when 250 characters or
// longer; the file name part is also kept within the file system's 255-byte limit (cut on a
// character boundary).
std::string PagePath(const std::string& destination, const std::string& name);

}  // namespace lorva
