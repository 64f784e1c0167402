// The table of contents page, index.htm: its two heads, the entries a run keeps for it, and the
// file-name part of a page path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/flat_index.h"
#include "support/file_handling.h"

namespace lorva {

// The plain head (flat runs, grouped runs without the collapsible outline).
std::string PlainHead();
// The collapsible head, with the script block of fncOutlineScripts.
std::string CollapsibleHead();
// The script block of the collapsible head.
std::string fncOutlineScripts();

// Starts a new index.htm for `path` holding the plain head (`outline` 0) or the collapsible
// head, and returns it open for appending. It takes the place of the file at `path` (read-only or
// not, or a link) only when the stream is closed after every write succeeded; until then, and
// when the run fails or is killed, `path` keeps the earlier index.htm whole. Records the step
// "Writing file to " & path. Failures go to the reporter with the label "fncWriteTOC"; then
// nothing is returned.
std::unique_ptr<TextStream> fncWriteTOC(Services& services, const std::string& path,
                                        unsigned char outline);

// The entries of one list of index.htm that a run keeps until it writes the list: per page
// written, its subject and the page's file name; nothing of the article itself.
class TocEntries {
 public:
  class Entry {
   public:
    Entry(std::string_view subject, std::string_view fileName);
    std::string_view subject() const { return std::string_view(text_).substr(0, subjectLength_); }
    std::string_view fileName() const { return std::string_view(text_).substr(subjectLength_); }

   private:
    std::string text_;  // the subject, then the file name: one allocation
    std::uint32_t subjectLength_;
  };

  // The form under which the list matches `subject`: letter case ignored, as the article
  // dictionary matches its keys.
  static std::string Key(std::string_view subject);
  // Whether a page of the subject whose Key is `key` is listed.
  bool Lists(const std::string& key) const;
  // Lists a page. Precondition: `key` is Key(subject) and !Lists(key).
  void Add(const std::string& key, std::string_view subject, std::string_view fileName);
  // Makes room for `count` entries at once.
  void Reserve(std::size_t count);
  // Hands each entry to `write`, in the order the sorted article dictionary gives their
  // subjects.
  template <typename Write>
  void InDictionaryOrder(Write&& write) const {
    for (const std::size_t position : Order()) write(entries_[position]);
  }

 private:
  std::vector<std::size_t> Order() const;

  std::vector<Entry> entries_;
  // The entries by the hash of their key. The keys are not kept: a key is compared with the Key
  // of the subjects of its hash, which is rarely more than one.
  FlatIndex index_;
};

// The text after the last "/" of `path`, or the whole of `path` when it has none: a view into
// `path`. Only "/" separates: "\" is an ordinary character of a file name here.
std::string_view fncGetFileName(std::string_view path);

}  // namespace lorva
