#include "archive/archive_run.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "archive/toc.h"
#include "base/error.h"
#include "base/html_text.h"
#include "base/steps.h"
#include "base/text_rules.h"
#include "outlook/property_access.h"
#include "page/destination.h"
#include "page/naming.h"
#include "page/page_writer.h"
#include "page/support_files.h"

namespace lorva {

namespace {

using platform::msgbox::kExclamation;
using platform::msgbox::kInformation;
using platform::msgbox::kOkOnly;

constexpr const char* kNormalLabel = "subGenerateArticlesNormal";
constexpr const char* kOutlineLabel = "subGenerateArticlesOutline";
constexpr const char* kIndexClosing = "</ul><br></body></html>";
constexpr const char* kHeadingOpenCollapsible =
    "<li STYLE=\"cursor:hand\"><p class=\"LiStyle\"><b>";
constexpr const char* kHeadingOpenPlain = "<li><p class=\"LiStyle\"><b>";
constexpr const char* kEntryOpenCollapsible =
    "<li STYLE=\"cursor:hand\"><p class=\"LiStyle\"><a href='";
constexpr const char* kEntryOpenPlain = "<li><p class=\"LiStyle\"><a href='";
constexpr const char* kBackLink = "<a href='index.htm'><b>Table of Contents (index)</b></a>";
constexpr std::int64_t kHighestNumber = std::numeric_limits<std::int32_t>::max();

// The first number as Visual Basic converts digits to a 16-bit integer: blanks around it and a
// sign are allowed; nothing when it is not a whole number in range.
std::optional<std::int16_t> ParseFirstNumber(const std::string& text) {
  return ParseInteger16(TrimBlanks(text));
}

// Only genuine rich text goes to the word processor. Rich text that merely wraps the item's HTML
// body would come back as the wrapper's text alone, without the body's pictures: the item's own
// HTML body stands for the word processor's page then. An item that cannot tell is taken as
// genuine rich text.
bool GenuineRichText(outlook::OutlookItem& item) {
  const auto format = ValueOrNothing([&] { return item.BodyFormat(); });
  return !format || *format == outlook::OlBodyFormat::kRichText;
}

}  // namespace

const char* const kCounterLimitMessage =
    "The page counter has reached 2147483647, the highest page number: the remaining articles "
    "were not archived.\r\nPlease archive fewer categories and types at a time!";

std::string LinkedFolderMessage(const std::string& folder, const std::string& target) {
  return "The folder \"" + folder + "\" is a symbolic link to \"" + target +
         "\", not a folder of the destination: nothing is written through it.\r\nPlease replace "
         "the link by a folder, or remove it!";
}

std::string FirstNumberMessage(const std::string& text) {
  return "The first number \"" + text +
         "\" is not a whole number from -32768 to 32767.\r\nPlease enter a valid first number!";
}

namespace {

// `heading`, then the first ten of `reasons`, one a line.
std::string ListedReasons(std::string heading, const std::vector<std::string>& reasons) {
  constexpr std::size_t kListed = 10;
  heading += "\r\n";
  for (std::size_t i = 0; i < reasons.size() && i < kListed; ++i) {
    heading += "\r\n" + reasons[i];
  }
  if (reasons.size() > kListed) {
    heading += "\r\n... and " + std::to_string(reasons.size() - kListed) + " more.";
  }
  return heading;
}

}  // namespace

std::string UnreadableItemsMessage(const RunSummary& run) {
  std::string text;
  const std::size_t items = run.unreadable.size();
  if (items > 0) {
    text = ListedReasons(
        items == 1 ? std::string("1 item could not be read and was not archived:")
                   : std::to_string(items) + " items could not be read and were not archived:",
        run.unreadable);
  }
  const std::size_t parts = run.unreadableParts.size();
  if (parts > 0) {
    if (!text.empty()) text += "\r\n\r\n";
    text += ListedReasons(
        parts == 1 ? std::string("1 attachment could not be read; its article was archived "
                                 "without it:")
                   : std::to_string(parts) +
                         " attachments could not be read; their articles were archived without "
                         "them:",
        run.unreadableParts);
  }
  return text;
}

// What a run holds from its start to its end.
struct ArchiveRunner::RunState {
  std::string destination;  // the folder written into, without a trailing separator
  std::int16_t line = 0;    // the line the error trap names
  std::shared_ptr<outlook::ItemCollection> items;
  int count = 0;                    // the folder's items
  std::int32_t firstNumber = 0;     // the page counter's start
  std::unique_ptr<TextStream> toc;  // index.htm, open for appending; nothing when it failed
};

// The ticked categories and types of a grouped run, read from the lists at its start, and the
// index entries kept under each pair. Pair p is the p-th ticked type of the ticked categories
// in list order: category c (from 0 among the ticked ones) and type t give c * types + t.
class ArchiveRunner::TickedPairs {
 public:
  struct Pair {
    bool matched = false;  // an item was taken up under it, whether or not it got a page
    TocEntries entries;
  };

  explicit TickedPairs(RunWindow& window) {
    Read(window.lstProblemCategory, categories_);
    Read(window.lstProblemType, types_);
    pairs_.resize(categories_.size() * types_.size());
    for (std::size_t c = 0; c < categories_.size(); ++c) {
      for (std::size_t t = 0; t < types_.size(); ++t) {
        // The lists hold no two entries alike, so no two pairs share a key.
        byKey_.emplace(std::make_pair(LowerCase(categories_[c]), LowerCase(types_[t])),
                       static_cast<int>(c * types_.size() + t));
      }
    }
  }

  int Count() const { return static_cast<int>(pairs_.size()); }
  // The pair of an item with this category and type, compared lower-cased and untrimmed with
  // the list entries; nothing when no ticked pair matches.
  std::optional<int> Find(const std::string& category, const std::string& type) const {
    if (category.empty() || type.empty()) return std::nullopt;  // entries are never empty
    const auto found = byKey_.find(std::make_pair(LowerCase(category), LowerCase(type)));
    if (found == byKey_.end()) return std::nullopt;
    return found->second;
  }
  Pair& at(int pair) { return pairs_[static_cast<std::size_t>(pair)]; }
  const std::vector<std::string>& categories() const { return categories_; }
  const std::vector<std::string>& types() const { return types_; }

 private:
  static void Read(ui::CheckedListBox& list, std::vector<std::string>& ticked) {
    for (int i = 0; i < list.ListCount(); ++i) {
      SkipOnFailure([&] {
        if (list.Selected(i)) ticked.push_back(list.List(i));
      });
    }
  }

  std::vector<std::string> categories_;
  std::vector<std::string> types_;
  std::vector<Pair> pairs_;
  std::map<std::pair<std::string, std::string>, int> byKey_;
};

// Marks a run as working for its whole length, and restores the window however it ends.
class ArchiveRunner::Scope {
 public:
  explicit Scope(ArchiveRunner& runner) : runner_(runner) {
    runner_.running_ = true;
    runner_.limitReached_ = false;
    runner_.summary_ = RunSummary{};
  }
  ~Scope() {
    runner_.running_ = false;
    runner_.RestoreWindow();
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  ArchiveRunner& runner_;
};

ArchiveRunner::ArchiveRunner(RunWindow& window, RunServices deps) : window_(window), deps_(deps) {}

void ArchiveRunner::cmdGenerate_Click() {
  if (window_.cmdGenerate.Caption() == "Generate") {
    if (running_) return;  // a cancelled run is still finishing: no second run inside it
    window_.cmdGenerate.SetCaption("Cancel..");
    if (window_.optGroup.IsSelected(0)) {
      subGenerateArticlesOutline();
    } else {
      subGenerateArticlesNormal();
    }
  } else {
    window_.bCancel = true;
    window_.cmdGenerate.SetCaption("Generate");
  }
}

void ArchiveRunner::RestoreWindow() {
  window_.MousePointer = ui::MousePointer::kDefault;
  window_.pb.SetVisible(false);
  window_.cmdGenerate.SetCaption("Generate");
}

void ArchiveRunner::ReportTrap(const Error& error, std::int16_t line, const char* routine,
                               bool show287) {
  summary_.outcome = RunSummary::Outcome::kTrapped;
  if (show287 && error.number() == errnum::kItemAccessRefused) {
    deps_.dialogs.MsgBox(
        "You need to enable the application to access the KB item to continue.\r\nPlease try "
        "again!",
        kOkOnly, kAppTitle);
    return;
  }
  deps_.services.reporter.subErrorHandler(error.description(), error.number(), line, routine);
}

std::shared_ptr<outlook::OutlookItem> ArchiveRunner::ReadItem(outlook::ItemCollection& items,
                                                              int position) {
  try {
    return items.Item(position);
  } catch (const std::exception& e) {  // an Error's text is its description
    summary_.unreadable.push_back(e.what());
  }
  return nullptr;
}

void ArchiveRunner::WriteIndex(TextStream* toc, const std::string& text) {
  SkipOnFailure([&] {
    if (!toc) throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
    toc->Write(text);
  });
}

bool ArchiveRunner::Start(RunState& run) {
  // One text for the check and for the run: the destination with blanks around it removed.
  const std::string typed = TrimBlanks(window_.txtDestination.Text());
  if (typed.empty() || !deps_.services.Fs().FolderExists(typed)) {
    window_.cmdGenerate.SetCaption("Generate");
    deps_.dialogs.MsgBox("Please specify a valid folder path to place the files!",
                         kOkOnly | kInformation, kAppTitle);
    summary_.outcome = RunSummary::Outcome::kRefused;
    return false;
  }
  if (!deps_.connection.objKBFolder) deps_.connection.CheckKnowledgeBaseFolder(deps_.form);
  window_.bCancel = false;
  run.destination = fncStripTrailingSlash(typed);
  summary_.destination = run.destination;
  // Nothing outside the destination is written: a folder of it that leads elsewhere is refused.
  if (const std::optional<FolderLink> link = LinkedFolderIn(run.destination)) {
    deps_.dialogs.MsgBox(LinkedFolderMessage(link->path, link->target), kOkOnly | kExclamation,
                         kAppTitle);
    summary_.outcome = RunSummary::Outcome::kRefused;
    return false;
  }
  RecoverInterruptedRun(run.destination);
  names_ = PageNames();
  return true;
}

bool ArchiveRunner::OpenIndex(RunState& run, unsigned char outline, std::int16_t firstLine) {
  run.line = firstLine;
  run.items = deps_.connection.objKBFolder->Items();
  run.count = run.items->Count();
  if (run.count < 1) {
    summary_.outcome = RunSummary::Outcome::kCompleted;
    return false;
  }
  run.line = static_cast<std::int16_t>(firstLine + 2);
  if (!ReadFirstNumber(run.firstNumber)) return false;  // refused before anything is written
  run.line = static_cast<std::int16_t>(firstLine + 1);
  run.toc = fncWriteTOC(deps_.services, run.destination + "/index.htm", outline);
  return true;
}

bool ArchiveRunner::ReadFirstNumber(std::int32_t& counter) {
  const std::string text = window_.txtNumbering.Text();
  auto number = ParseFirstNumber(text);
  if (!number) {
    deps_.dialogs.MsgBox(FirstNumberMessage(text), kOkOnly | kExclamation, kAppTitle);
    summary_.outcome = RunSummary::Outcome::kRefused;
    return false;
  }
  counter = *number;
  return true;
}

bool ArchiveRunner::NeedsNumber(const cArticle& article) const {
  return window_.optNaming.IsSelected(1) || window_.chkAttachments.Ticked() ||
         FindContentIdReference(article.Body) != std::string::npos;
}

bool ArchiveRunner::NameAndSkip(cArticle& article, const std::string& destination,
                                std::int32_t number, bool duplicate) {
  std::string name;
  SkipOnFailure([&] {
    name = PageName(deps_.services, window_.optNaming.IsSelected(0), article.Subject, number);
  });
  SkipOnFailure([&] {
    // No two articles share a page in one run; a duplicate, which gets none, takes no name.
    const std::string path = PagePath(destination, name);
    article.strWebPagePath = duplicate ? names_.Peek(path) : names_.Reserve(path);
  });
  bool skipped = false;
  SkipOnFailure([&] {
    skipped =
        !window_.chkOverwrite.Ticked() && deps_.services.Fs().FileExists(article.strWebPagePath);
  });
  if (skipped) ++summary_.skipped;
  return skipped;
}

void ArchiveRunner::RichTextAndAttachments(outlook::OutlookItem& item, cArticle& article,
                                           const std::string& destination, std::int32_t number,
                                           bool skipped, bool deleteTarget,
                                           std::vector<std::string>& unreadable) {
  const std::string counter = std::to_string(number);
  const std::string target = destination + "/" + counter + ".htm";
  // A skipped item whose existing page has the conversion target's name: converting would write
  // over that page and the attachment export would remove it. The earlier page is kept.
  if (skipped && target == article.strWebPagePath) return;
  if (!GenuineRichText(item)) {  // the body stays the item's HTML body, no rich-text copy
    SkipOnFailure([&] {
      article.Attachments = deps_.route.SaveAttachments(item, destination, number, unreadable);
    });
    return;
  }

  FileSystemObject* fs = deps_.services.fs.get();
  const std::string images = destination + "/Images";
  SkipOnFailure([&] {
    if (!deps_.services.Fs().FolderExists(images)) {
      deps_.services.reporter.subLogStep("Creating the folder " + images);
      deps_.services.Fs().CreateFolder(images);
    }
  });
  const std::string rtf = images + "/" + counter + ".rtf";
  SkipOnFailure([&] { item.SaveAs(rtf, 1); });
  bool converted = false;
  SkipOnFailure([&] { converted = deps_.route.ConvertRTF2HTML(rtf, target); });
  bool exists = false;
  SkipOnFailure([&] { exists = fs && fs->FileExists(target); });
  if (converted && exists) {
    SkipOnFailure(
        [&] { article.Body = deps_.route.FilteredWordHTML(deps_.files.fncReadTextFile(target)); });
    if (deleteTarget) SkipOnFailure([&] { deps_.services.Fs().DeleteFile(target, false); });
  }
  SkipOnFailure([&] {
    article.Attachments = deps_.route.SaveAttachments(item, destination, number, unreadable);
  });
}

void ArchiveRunner::WritePage(cArticle& article) {
  article.TOClink = window_.chkExtractIndexPage.Ticked() ? kBackLink : "";
  SkipOnFailure([&] {
    subWriteHTML(deps_.services, article.strWebPagePath, article,
                 window_.chkOverwrite.Ticked() ? 1 : 0);
  });
  ++summary_.pagesWritten;
}

void ArchiveRunner::ExportArticle(outlook::OutlookItem& item, cArticle& article,
                                  const RunState& run, std::int32_t number, TocEntries& entries,
                                  bool deleteTarget) {
  std::string key;
  SkipOnFailure([&] { key = TocEntries::Key(article.Subject); });
  const bool duplicate = entries.Lists(key);
  const bool skipped = NameAndSkip(article, run.destination, number, duplicate);
  std::vector<std::string> unreadable;  // the item's attachments that could not be read
  if (window_.chkAttachments.Ticked()) {
    RichTextAndAttachments(item, article, run.destination, number, skipped, deleteTarget,
                           unreadable);
  }
  if (!skipped && duplicate) ++summary_.duplicates;
  if (!skipped && !duplicate) {
    SkipOnFailure([&] {
      deps_.route.ExportInlineImages(item, article.Body, run.destination, number, unreadable);
    });
    WritePage(article);
    SkipOnFailure(
        [&] { entries.Add(key, article.Subject, fncGetFileName(article.strWebPagePath)); });
  }
  // An attachment both listed and shown inline was tried twice; it is told once.
  for (std::string& reason : unreadable) {
    if (std::find(summary_.unreadableParts.begin(), summary_.unreadableParts.end(), reason) ==
        summary_.unreadableParts.end()) {
      summary_.unreadableParts.push_back(std::move(reason));
    }
  }
}

void ArchiveRunner::WriteFlatEntries(TextStream* toc, const TocEntries& entries) {
  std::string line;  // one buffer for all the lines
  entries.InDictionaryOrder([&](const TocEntries::Entry& entry) {
    line.assign("<li><a href='").append(UrlEncodeFileName(entry.fileName())).append("'>");
    line.append(HtmlEscape(entry.subject())).append("</a></li>");
    WriteIndex(toc, line);
  });
}

void ArchiveRunner::WriteGroupedList(TextStream* toc, TickedPairs& pairs,
                                     const std::string& opening, bool collapsible) {
  WriteIndex(toc, opening);
  const std::string headingOpen = collapsible ? kHeadingOpenCollapsible : kHeadingOpenPlain;
  const std::string entryOpen = collapsible ? kEntryOpenCollapsible : kEntryOpenPlain;
  const std::size_t types = pairs.types().size();
  std::string line;  // one buffer for all the entries' lines
  for (std::size_t c = 0; c < pairs.categories().size(); ++c) {
    bool categoryWritten = false;
    for (std::size_t t = 0; t < types; ++t) {
      TickedPairs::Pair& pair = pairs.at(static_cast<int>(c * types + t));
      if (!pair.matched) continue;
      if (!categoryWritten) {
        WriteIndex(toc, headingOpen + HtmlEscape(pairs.categories()[c]) + "</b></p><ul>");
        categoryWritten = true;
      }
      WriteIndex(toc, headingOpen + HtmlEscape(pairs.types()[t]) + "</b></p><ul>");
      pair.entries.InDictionaryOrder([&](const TocEntries::Entry& entry) {
        line.assign(entryOpen).append(UrlEncodeFileName(entry.fileName())).append("'>");
        line.append(HtmlEscape(entry.subject())).append("</a></p></li>");
        WriteIndex(toc, line);
      });
      WriteIndex(toc, "</ul></li>");
    }
    if (categoryWritten) WriteIndex(toc, "</ul></li><br>");
  }
}

void ArchiveRunner::Finish(RunState& run, unsigned char collapsible, bool cancelled,
                           std::int16_t line, const char* routine, bool show287) {
  SkipOnFailure([&] { subExtractFilesFromResource(deps_.services, run.destination, collapsible); });
  SkipOnFailure([&] { deps_.route.QuitWord(); });
  WriteIndex(run.toc.get(), kIndexClosing);
  if (run.toc) {
    // The new index.htm takes the place of the earlier one only when all of it was written;
    // otherwise the earlier one stays whole, and the loss is reported.
    deps_.services.reporter.subLogStep("Writing file to " + run.destination + "/index.htm");
    try {
      run.toc->Close();
    } catch (const Error& e) {
      run.toc.reset();
      ReportTrap(e, line, routine, false);
    }
  }
  run.toc.reset();
  if (limitReached_) {
    summary_.outcome = RunSummary::Outcome::kLimitReached;
    deps_.dialogs.MsgBox(kCounterLimitMessage, kOkOnly | kExclamation, kAppTitle);
  }
  if (summary_.outcome == RunSummary::Outcome::kNone) {
    summary_.outcome =
        cancelled ? RunSummary::Outcome::kCancelled : RunSummary::Outcome::kCompleted;
  }
  if (window_.chkRun.Ticked() && window_.chkExtractIndexPage.Ticked() && deps_.shell) {
    try {
      deps_.shell->Open(run.destination + "/index.htm");
    } catch (const Error& e) {
      ReportTrap(e, line, routine, show287);
    }
  }
}

namespace {

// The record of an item as far as the item gives it: subject, body, and type and category (read
// in that order) unless the caller has read them. False, with the reason appended to
// `unreadable`, when the body cannot be read: the item is not archived.
bool ReadArticle(ErrorReporter& reporter, outlook::OutlookItem& item, cArticle& article,
                 bool properties, std::vector<std::string>& unreadable) {
  SkipOnFailure([&] { article.Subject = TrimBlanks(BlankControlCharacters(item.Subject())); });
  if (properties) {
    article.ProblemType = outlook::PropertyText(reporter, &item, "Problem Type");
    article.ProblemCategory = outlook::PropertyText(reporter, &item, "Problem Category");
  }
  try {
    article.Body = item.HTMLBody();
  } catch (const std::exception& e) {  // an Error's text is its description
    unreadable.push_back(e.what());
    return false;
  }
  return true;
}

std::int32_t WithinLimit(std::int64_t number) {
  return static_cast<std::int32_t>(std::min(number, kHighestNumber));
}

}  // namespace

void ArchiveRunner::subGenerateArticlesNormal() {
  Scope scope(*this);
  RunState run;
  try {
    run.line = 1;
    if (!Start(run)) return;
    if (!OpenIndex(run, 0, 5)) return;
    run.line = 8;
    window_.pb.SetVisible(true);
    window_.pb.SetMax(run.count);
    window_.pb.SetValue(0);
    window_.MousePointer = ui::MousePointer::kHourglass;
    run.line = 9;
    if (!run.toc) {
      throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
    }
    run.toc->Write("<ul>");
  } catch (const std::exception& e) {
    ReportTrap(ErrorFromException(e), run.line, kNormalLabel, true);
    return;
  }

  TocEntries entries;
  SkipOnFailure([&] { entries.Reserve(static_cast<std::size_t>(run.count)); });
  std::int64_t counter = run.firstNumber;
  bool cancelled = false;
  int taken = 0;
  for (int position = 1; position <= run.count; ++position) {
    deps_.pump.DoEvents();
    if (window_.bCancel) {
      cancelled = true;
      break;
    }
    std::shared_ptr<outlook::OutlookItem> item = ReadItem(*run.items, position);
    if (!item) continue;  // nothing, or an item that cannot be read (noted for the summary)
    cArticle article;
    if (!ReadArticle(deps_.services.reporter, *item, article, true, summary_.unreadable)) continue;
    ++counter;
    ++taken;
    SkipOnFailure([&] { window_.pb.SetValue(taken); });

    if (counter > kHighestNumber && NeedsNumber(article)) {
      limitReached_ = true;
      break;
    }
    ++summary_.itemsTakenUp;
    ExportArticle(*item, article, run, WithinLimit(counter), entries, false);
  }

  WriteFlatEntries(run.toc.get(), entries);
  Finish(run, 0, cancelled, 15, kNormalLabel, true);
}

void ArchiveRunner::subGenerateArticlesOutline() {
  Scope scope(*this);
  RunState run;
  unsigned char collapsible = 0;
  try {
    run.line = 1;
    if (!Start(run)) return;
    run.line = 2;
    collapsible = static_cast<unsigned char>(window_.chkCollapse.Value());
    if (!OpenIndex(run, collapsible, 3)) return;
    run.line = 6;
    window_.pb.SetMax(run.count);
    window_.pb.SetValue(0);
    window_.pb.SetVisible(true);
    window_.MousePointer = ui::MousePointer::kHourglass;
    run.line = 7;
    if (window_.lstProblemCategory.ListCount() == 0) {
      summary_.outcome = RunSummary::Outcome::kCompleted;
      return;  // index.htm holds only its head
    }
  } catch (const std::exception& e) {
    ReportTrap(ErrorFromException(e), run.line, kOutlineLabel, false);
    return;
  }

  std::string opening = "<ul>";
  if (collapsible) {
    opening = window_.chkCollapseInitially.Ticked() ? "<ul dynamicoutline initcollapsed>"
                                                    : "<ul dynamicoutline>";
  }
  TickedPairs pairs(window_);
  bool cancelled = false;
  // Nothing is read when no pair is ticked.
  for (int position = 1; position <= run.count && pairs.Count() > 0; ++position) {
    deps_.pump.DoEvents();
    if (window_.bCancel) {
      cancelled = true;
      break;
    }
    SkipOnFailure([&] { window_.pb.SetValue(position); });
    std::shared_ptr<outlook::OutlookItem> item = ReadItem(*run.items, position);
    if (!item) continue;  // its number stays unused

    cArticle article;
    article.ProblemType =
        outlook::PropertyText(deps_.services.reporter, item.get(), "Problem Type");
    article.ProblemCategory =
        outlook::PropertyText(deps_.services.reporter, item.get(), "Problem Category");
    const std::optional<int> pair = pairs.Find(article.ProblemCategory, article.ProblemType);
    if (!pair) continue;
    const std::int64_t number =
        std::int64_t{run.firstNumber} + std::int64_t{*pair} * run.count + std::int64_t{position};
    if (!ReadArticle(deps_.services.reporter, *item, article, false, summary_.unreadable)) {
      continue;  // its number stays unused
    }
    if (number > kHighestNumber && NeedsNumber(article)) {
      limitReached_ = true;  // the numbers of other pairs may still be within the limit
      continue;
    }
    ++summary_.itemsTakenUp;
    pairs.at(*pair).matched = true;
    ExportArticle(*item, article, run, WithinLimit(number), pairs.at(*pair).entries, true);
  }

  WriteGroupedList(run.toc.get(), pairs, opening, collapsible != 0);
  Finish(run, collapsible, cancelled, 9, kOutlineLabel, false);
}

}  // namespace lorva
