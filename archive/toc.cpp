#include "archive/toc.h"

#include <exception>

#include "base/error.h"

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
    std::unique_ptr<TextStream> stream = services.Fs().CreateReplacingTextFile(path);
    stream->Write(head);
    return stream;
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "fncWriteTOC");
  }
  return nullptr;
}

// Page paths use "/" as their separator; "\" is an ordinary character of a file name here, so
// only "/" splits.
std::string fncGetFileName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  return path.substr(slash + 1);
}

}  // namespace lorva
