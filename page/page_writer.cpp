#include "page/page_writer.h"

#include <exception>
#include <memory>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "base/html_text.h"
#include "base/text_rules.h"

namespace lorva {
namespace {

const char kStyleSheetLink[] = "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />";
const char kUnusableReference[] = "&#65535;";
// The character U+FFFF in UTF-8: written out, it would become the reference above.
const char kUnusableCharacter[] = "\xEF\xBF\xBF";

// `text` with every occurrence of `from` replaced by `to`, searching from the start.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t found = text.find(from); found != std::string::npos;
       found = text.find(from, start)) {
    out.append(text, start, found - start);
    out += to;
    start = found + from.size();
  }
  if (start == 0) return text;
  out.append(text, start, std::string::npos);
  return out;
}

// `text` with `subject` put into every empty title element, whatever the tags' letter case
// (Word writes "<TITLE></TITLE>", LibreOffice "<title></title>"); the tags stay as written.
std::string FillEmptyTitles(const std::string& text, const std::string& subject) {
  constexpr std::string_view kEmptyTitle = "<title></title>";
  constexpr std::size_t kOpenLength = 7;  // "<title>"
  const std::string lower = AsciiLower(text);
  std::string out;
  std::size_t start = 0;
  for (std::size_t found = lower.find(kEmptyTitle); found != std::string::npos;
       found = lower.find(kEmptyTitle, start)) {
    out.append(text, start, found + kOpenLength - start);
    out += subject;
    start = found + kOpenLength;
  }
  if (start == 0) return text;
  out.append(text, start, std::string::npos);
  return out;
}

std::string RemoveUnusable(const std::string& text) {
  return ReplaceAll(ReplaceAll(text, kUnusableReference, ""), kUnusableCharacter, "");
}

// An article text put into markup: shown as written.
std::string MarkupText(const std::string& text) {
  return HtmlEscape(RemoveUnusable(text));
}

}  // namespace

std::string ComposePage(cArticle& article) {
  const std::string subject = MarkupText(article.Subject);
  const std::string header = "<h1>" + subject + "</h1>" + article.TOClink +
                             "<hr><b>Problem Type     : </b>" + MarkupText(article.ProblemType) +
                             "<br>" + "<b>Problem Category : </b>" +
                             MarkupText(article.ProblemCategory) + "<br><hr><br>";

  std::string body = FillEmptyTitles(article.Body, subject);

  if (body.find("</title>") != std::string::npos) {
    body = ReplaceAll(body, "</title>", std::string("</title>") + kStyleSheetLink);
  } else if (body.find("</TITLE>") != std::string::npos) {
    body = ReplaceAll(body, "</TITLE>", std::string("</TITLE>") + kStyleSheetLink);
  } else {
    body = kStyleSheetLink + body;
  }

  if (body.find("<body>") != std::string::npos) {
    body = ReplaceAll(body, "<body>", "<body>" + header);
  } else if (body.find("<BODY>") != std::string::npos) {
    body = ReplaceAll(body, "<BODY>", "<BODY>" + header);
  } else {
    body = header + body;
  }
  article.Body = body;

  return RemoveUnusable(body + article.Attachments + "<hr>" + article.TOClink);
}

void subWriteHTML(Services& services, const std::string& strPath, cArticle& article,
                  unsigned char overwrite) {
  bool complete = true;
  // Error 5 is passed over: the statement that raised it is skipped and the next one runs. A
  // page that missed a statement this way is not put in place.
  const auto step = [&complete](auto&& statement) {
    try {
      statement();
    } catch (const Error& e) {
      if (e.number() != errnum::kInvalidProcedureCall) throw;
      complete = false;
    }
  };
  try {
    std::string page;
    step([&] { page = ComposePage(article); });
    FileSystemObject& fs = services.Fs();
    if (fs.FileExists(strPath) && overwrite != 1) return;
    services.reporter.subLogStep("Writing file to " + strPath);
    // Written beside its place and put there once complete, replacing an earlier page (read-only
    // or not, or a link, which is not followed) in one step.
    std::unique_ptr<TextStream> stream;
    step([&] { stream = fs.CreateReplacingTextFile(strPath); });
    if (!stream) return;
    step([&] { stream->Write(page); });
    if (complete) stream->Close();
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "subWriteHTML");
  }
}

}  // namespace lorva
