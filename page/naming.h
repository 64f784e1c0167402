// Page file names: the subject cleaned of the characters a file name cannot hold, or the page
// counter; the cut of over-long paths; and the names given in one run, which no two articles
// share.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/flat_index.h"
#include "support/file_handling.h"

namespace lorva {

// The subject without "\", "/", "?", "*", ":", '"', "<", ">", "|", and with every control
// character (C0, DEL, C1) as a blank; when nothing but blanks is left, "NULL_" & the next
// pseudo-random fraction & ".htm". Not trimmed.
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
                     std::int32_t counter);

// destination & "/" & name, cut to its first 245 characters & ".htm" when 250 characters or
// longer; the file name part is also kept within the file system's 255-byte limit (cut on a
// character boundary). The cut never reaches into the destination: when not one character of
// the name would be left, the name stays whole, so that the page lies in the destination.
std::string PagePath(const std::string& destination, const std::string& name);

// The page names given in one run. Names compare without regard to letter case, since an archive
// is often copied where "AB.htm" and "ab.htm" are one file; "index.htm" belongs to the table of
// contents from the start.
class PageNames {
 public:
  PageNames();

  // `path` (a page path as PagePath formed it) when its name is free in this run; otherwise the
  // same with " (2)", " (3)", ... before ".htm", the smallest that is free, the name part before
  // it cut so that the path stays within 249 characters and the name within 255 bytes. The
  // result is taken from then on.
  std::string Reserve(const std::string& path);
  // What Reserve would give now, without taking it.
  std::string Peek(const std::string& path) const;

 private:
  // The free path for `path`, the number it carries (1: none) and its name with letter case
  // folded.
  std::string Free(const std::string& path, int& number, std::string& folded) const;

  bool Taken(const std::string& folded) const;

  std::vector<std::string> taken_;                // names, letter case folded
  FlatIndex takenIndex_;                          // of taken_
  std::unordered_map<std::string, int> nextTry_;  // by folded name: the first number to try
};

}  // namespace lorva
