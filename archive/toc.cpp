#include "archive/toc.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "base/files.h"
#include "page/sorted_dictionary.h"

namespace lorva {
namespace {

const char kCrLf[] = "\r\n";
const char kHeadStart[] =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />";

}  // namespace

std::string PlainHead() {
  return std::string(kHeadStart) + "</head><body><h1>Table of Contents</h1></p>";
}

std::string fncOutlineScripts() {
  std::string s;
  s += "<script language=\"JavaScript\" fptype=\"dynamicoutline\">";
  s += kCrLf;
  s += "<!--";
  s += kCrLf;
  s += "function dynOutline() {}";
  s += kCrLf;
  s += "//-->";
  s += kCrLf;
  s += "</script>";
  s += kCrLf;
  s += kCrLf;
  s += "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" src=\"outline.js\">";
  s += kCrLf;
  s += "</script>";
  s += kCrLf;
  s += kCrLf;
  s += "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" for=\"document\" "
       "event=\"onreadystatechange()\">";
  s += kCrLf;
  s += "<!--";
  s += kCrLf;
  s += "initOutline()";
  s += kCrLf;
  s += "//-->";
  s += kCrLf;
  s += "</script>";
  return s;
}

std::string CollapsibleHead() {
  return std::string(kHeadStart) + kCrLf + fncOutlineScripts() + "</head>" + kCrLf +
         "<body onclick=\"dynOutline()\" language=\"Javascript1.2\"><h1>Table of "
         "Contents</h1></p>";
}

std::unique_ptr<TextStream> fncWriteTOC(Services& services, const std::string& path,
                                        unsigned char outline) {
  try {
    const std::string head = outline != 0 ? CollapsibleHead() : PlainHead();
    services.reporter.subLogStep("Writing file to " + path);
    // The index is put in place only when the run ends: a folder standing there is refused now,
    // before the run does its work.
    if (FolderStandsAt(path)) throw Error(errnum::kPermissionDenied, "Permission denied: " + path);
    std::unique_ptr<TextStream> stream = services.Fs().CreateReplacingTextFile(path);
    stream->Write(head);
    return stream;
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "fncWriteTOC");
  }
  return nullptr;
}

TocEntries::Entry::Entry(std::string_view subject, std::string_view fileName)
    : subjectLength_(static_cast<std::uint32_t>(subject.size())) {
  text_.reserve(subject.size() + fileName.size());
  text_.append(subject);
  text_.append(fileName);
}

std::string TocEntries::Key(std::string_view subject) {
  return KeyIgnoringCase(subject);
}

bool TocEntries::Lists(const std::string& key) const {
  return index_
      .Find(std::hash<std::string>{}(key),
            [&](std::uint32_t position) { return Key(entries_[position].subject()) == key; })
      .has_value();
}

void TocEntries::Add(const std::string& key, std::string_view subject, std::string_view fileName) {
  entries_.emplace_back(subject, fileName);
  index_.Add(std::hash<std::string>{}(key), static_cast<std::uint32_t>(entries_.size() - 1));
}

void TocEntries::Reserve(std::size_t count) {
  entries_.reserve(count);
  index_.Reserve(count);
}

std::vector<std::size_t> TocEntries::Order() const {
  std::vector<std::string_view> subjects;
  subjects.reserve(entries_.size());
  for (const Entry& entry : entries_) subjects.push_back(entry.subject());
  return SortOrder(subjects, false);
}

// Page paths use "/" as their separator; "\" is an ordinary character of a file name here, so
// only "/" splits.
std::string_view fncGetFileName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return path;
  return path.substr(slash + 1);
}

}  // namespace lorva
