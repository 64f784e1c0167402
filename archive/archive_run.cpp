#include "archive/archive_run.h"

#include <charconv>
#include <limits>
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
#include "page/sorted_dictionary.h"
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

// The first number as Visual Basic converts digits to a 16-bit integer: blanks around it and a
// sign are allowed; nothing when it is not a whole number in range.
std::optional<std::int16_t> ParseFirstNumber(const std::string& text) {
  const std::string trimmed = TrimBlanks(text);
  if (trimmed.empty()) return std::nullopt;
  const char* begin = trimmed.data();
  const char* end = begin + trimmed.size();
  if (*begin == '+') ++begin;
  std::int16_t value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

bool HasContentIdReference(const std::string& body) {
  for (std::size_t i = 0; i + 4 <= body.size(); ++i) {
    if ((body[i] == 'c' || body[i] == 'C') && (body[i + 1] == 'i' || body[i + 1] == 'I') &&
        (body[i + 2] == 'd' || body[i + 2] == 'D') && body[i + 3] == ':') {
      return true;
    }
  }
  return false;
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

std::string UnreadableItemsMessage(const std::vector<std::string>& reasons) {
  constexpr std::size_t kListed = 10;
  if (reasons.empty()) return "";
  std::string text =
      reasons.size() == 1
          ? std::string("1 item could not be read and was not archived:")
          : std::to_string(reasons.size()) + " items could not be read and were not archived:";
  text += "\r\n";
  for (std::size_t i = 0; i < reasons.size() && i < kListed; ++i) {
    text += "\r\n" + reasons[i];
  }
  if (reasons.size() > kListed) {
    text += "\r\n... and " + std::to_string(reasons.size() - kListed) + " more.";
  }
  return text;
}

// Marks a run as working for its whole length, and restores the window however it ends.
class ArchiveRunner::Scope {
 public:
  explicit Scope(ArchiveRunner& runner) : r_(runner) {
    r_.running_ = true;
    r_.limitReached_ = false;
    r_.counterPassed_ = false;
    r_.summary_ = RunSummary{};
  }
  ~Scope() {
    r_.running_ = false;
    r_.RestoreWindow();
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  ArchiveRunner& r_;
};

ArchiveRunner::ArchiveRunner(RunWindow& window, RunServices deps) : w_(window), d_(deps) {}

void ArchiveRunner::cmdGenerate_Click() {
  if (w_.cmdGenerate.Caption() == "Generate") {
    if (running_) return;  // a cancelled run is still finishing: no second run inside it
    w_.cmdGenerate.SetCaption("Cancel..");
    if (w_.optGroup.IsSelected(0)) {
      subGenerateArticlesOutline();
    } else {
      subGenerateArticlesNormal();
    }
  } else {
    w_.bCancel = true;
    w_.cmdGenerate.SetCaption("Generate");
  }
}

void ArchiveRunner::RestoreWindow() {
  w_.MousePointer = ui::MousePointer::kDefault;
  w_.pb.SetVisible(false);
  w_.cmdGenerate.SetCaption("Generate");
}

void ArchiveRunner::ReportTrap(const Error& error, std::int16_t line, const char* routine,
                               bool show287) {
  summary_.outcome = RunSummary::Outcome::kTrapped;
  if (show287 && error.number() == errnum::kItemAccessRefused) {
    d_.dialogs.MsgBox(
        "You need to enable the application to access the KB item to continue.\r\nPlease try "
        "again!",
        kOkOnly, kAppTitle);
    return;
  }
  d_.services.reporter.subErrorHandler(error.description(), error.number(), line, routine);
}

std::shared_ptr<outlook::OutlookItem> ArchiveRunner::ReadItem(outlook::ItemCollection& items,
                                                              int position) {
  try {
    return items.Item(position);
  } catch (const Error& e) {
    summary_.unreadable.push_back(e.description());
  } catch (const std::exception& e) {
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

bool ArchiveRunner::Start(std::string& destination) {
  // One text for the check and for the run: the destination with blanks around it removed.
  const std::string typed = TrimBlanks(w_.txtDestination.Text());
  if (typed.empty() || !d_.services.Fs().FolderExists(typed)) {
    w_.cmdGenerate.SetCaption("Generate");
    d_.dialogs.MsgBox("Please specify a valid folder path to place the files!",
                      kOkOnly | kInformation, kAppTitle);
    summary_.outcome = RunSummary::Outcome::kRefused;
    return false;
  }
  if (!d_.connection.objKBFolder) d_.connection.CheckKnowledgeBaseFolder(d_.form);
  w_.bCancel = false;
  destination = fncStripTrailingSlash(typed);
  summary_.destination = destination;
  // Nothing outside the destination is written: a folder of it that leads elsewhere is refused.
  if (const std::optional<FolderLink> link = LinkedFolderIn(destination)) {
    d_.dialogs.MsgBox(LinkedFolderMessage(link->path, link->target), kOkOnly | kExclamation,
                      kAppTitle);
    summary_.outcome = RunSummary::Outcome::kRefused;
    return false;
  }
  RecoverInterruptedRun(destination);
  names_ = PageNames();
  return true;
}

bool ArchiveRunner::ReadFirstNumber(std::int32_t& counter) {
  const std::string text = w_.txtNumbering.Text();
  auto number = ParseFirstNumber(text);
  if (!number) {
    d_.dialogs.MsgBox(FirstNumberMessage(text), kOkOnly | kExclamation, kAppTitle);
    summary_.outcome = RunSummary::Outcome::kRefused;
    return false;
  }
  counter = *number;
  return true;
}

void ArchiveRunner::RaiseCounter(std::int32_t& counter) {
  if (counter == std::numeric_limits<std::int32_t>::max()) {
    counterPassed_ = true;
    return;
  }
  ++counter;
}

bool ArchiveRunner::CounterExhaustedFor(const cArticle& article) const {
  if (!counterPassed_) return false;
  return w_.optNaming.IsSelected(1) || w_.chkAttachments.Ticked() ||
         HasContentIdReference(article.Body);
}

bool ArchiveRunner::NameAndSkip(cArticle& article, const std::string& destination,
                                std::int32_t counter, bool duplicate) {
  std::string name;
  SkipOnFailure(
      [&] { name = PageName(d_.services, w_.optNaming.IsSelected(0), article.Subject, counter); });
  SkipOnFailure([&] {
    // No two articles share a page in one run; a duplicate, which gets none, takes no name.
    const std::string path = PagePath(destination, name);
    article.strWebPagePath = duplicate ? names_.Peek(path) : names_.Reserve(path);
  });
  bool skipped = false;
  SkipOnFailure([&] {
    skipped = d_.services.Fs().FileExists(article.strWebPagePath) && !w_.chkOverwrite.Ticked();
  });
  if (skipped) ++summary_.skipped;
  return skipped;
}

void ArchiveRunner::RichTextAndAttachments(outlook::OutlookItem& item, cArticle& article,
                                           const std::string& destination, std::int32_t counter,
                                           bool skipped, bool deleteTarget) {
  const std::string number = std::to_string(counter);
  const std::string target = destination + "/" + number + ".htm";
  // A skipped item whose existing page has the conversion target's name: converting would write
  // over that page and the attachment export would remove it. The earlier page is kept.
  if (skipped && target == article.strWebPagePath) return;
  if (!GenuineRichText(item)) {  // the body stays the item's HTML body, no rich-text copy
    SkipOnFailure(
        [&] { article.Attachments = d_.route.SaveAttachments(item, destination, counter); });
    return;
  }

  FileSystemObject* fs = d_.services.fs.get();
  const std::string images = destination + "/Images";
  SkipOnFailure([&] {
    if (!d_.services.Fs().FolderExists(images)) {
      d_.services.reporter.subLogStep("Creating the folder " + images);
      d_.services.Fs().CreateFolder(images);
    }
  });
  const std::string rtf = images + "/" + number + ".rtf";
  SkipOnFailure([&] { item.SaveAs(rtf, 1); });
  bool converted = false;
  SkipOnFailure([&] { converted = d_.route.ConvertRTF2HTML(rtf, target); });
  bool exists = false;
  SkipOnFailure([&] { exists = fs && fs->FileExists(target); });
  if (converted && exists) {
    SkipOnFailure(
        [&] { article.Body = d_.route.FilteredWordHTML(d_.files.fncReadTextFile(target)); });
    if (deleteTarget) SkipOnFailure([&] { d_.services.Fs().DeleteFile(target, false); });
  }
  SkipOnFailure(
      [&] { article.Attachments = d_.route.SaveAttachments(item, destination, counter); });
}

void ArchiveRunner::Collect(ArticleDictionary& dic, std::shared_ptr<cArticle> article, bool skipped,
                            outlook::OutlookItem* item, const std::string& destination,
                            std::int32_t counter) {
  if (skipped) return;
  SkipOnFailure([&] {
    if (dic.Exists(article->Subject)) {
      ++summary_.duplicates;
      return;
    }
    if (item) {
      SkipOnFailure([&] {
        article->Body = d_.route.ExportInlineImages(*item, article->Body, destination, counter);
      });
    }
    dic.Add(article->Subject, article);
  });
}

void ArchiveRunner::WriteEntries(std::unique_ptr<ArticleDictionary>& dic, TextStream* toc,
                                 bool grouped, bool collapsible) {
  if (!dic) return;
  if (dic->Count() > 1) {
    SkipOnFailure([&] { dic = fncSortDictionary(d_.services, *dic, 1, false); });
  }
  for (const std::shared_ptr<cArticle>& article : dic->Items()) {
    const std::string target = UrlEncodeFileName(fncGetFileName(article->strWebPagePath));
    const std::string subject = HtmlEscape(article->Subject);
    std::string entry;
    if (grouped) {
      entry = std::string(collapsible ? kEntryOpenCollapsible : kEntryOpenPlain) + target + "'>" +
              subject + "</a></p></li>";
    } else {
      entry = "<li><a href='" + target + "'>" + subject + "</a></li>";
    }
    WriteIndex(toc, entry);
    article->TOClink = w_.chkExtractIndexPage.Ticked()
                           ? "<a href='index.htm'><b>Table of Contents (index)</b></a>"
                           : "";
    SkipOnFailure([&] {
      subWriteHTML(d_.services, article->strWebPagePath, *article,
                   w_.chkOverwrite.Ticked() ? 1 : 0);
    });
    ++summary_.pagesWritten;
    // The page is written: its text is no longer needed.
    std::string().swap(article->Body);
  }
  dic->RemoveAll();
  dic.reset();
}

void ArchiveRunner::Finish(std::unique_ptr<TextStream>& toc, const std::string& destination,
                           unsigned char collapsible, std::int16_t line, const char* routine) {
  SkipOnFailure([&] { subExtractFilesFromResource(d_.services, destination, collapsible); });
  SkipOnFailure([&] { d_.route.QuitWord(); });
  WriteIndex(toc.get(), kIndexClosing);
  if (toc) {
    // The new index.htm takes the place of the earlier one only when all of it was written;
    // otherwise the earlier one stays whole, and the loss is reported.
    d_.services.reporter.subLogStep("Writing file to " + destination + "/index.htm");
    try {
      toc->Close();
    } catch (const Error& e) {
      toc.reset();
      ReportTrap(e, line, routine, false);
    }
  }
  toc.reset();
  if (limitReached_) {
    summary_.outcome = RunSummary::Outcome::kLimitReached;
    d_.dialogs.MsgBox(kCounterLimitMessage, kOkOnly | kExclamation, kAppTitle);
  }
}

bool ArchiveRunner::OpenIndex(const std::string& destination, unsigned char outline,
                              std::int16_t firstLine, std::int16_t& line,
                              std::shared_ptr<outlook::ItemCollection>& items, int& count,
                              std::int32_t& counter, std::unique_ptr<TextStream>& toc) {
  line = firstLine;
  items = d_.connection.objKBFolder->Items();
  count = items->Count();
  if (count < 1) {
    summary_.outcome = RunSummary::Outcome::kCompleted;
    return false;
  }
  line = static_cast<std::int16_t>(firstLine + 2);
  if (!ReadFirstNumber(counter)) return false;  // refused before anything is written
  line = static_cast<std::int16_t>(firstLine + 1);
  toc = fncWriteTOC(d_.services, destination + "/index.htm", outline);
  return true;
}

void ArchiveRunner::subGenerateArticlesNormal() {
  Scope scope(*this);
  std::int16_t line = 0;
  std::string destination;
  std::unique_ptr<TextStream> toc;
  std::unique_ptr<ArticleDictionary> dic;
  std::shared_ptr<outlook::ItemCollection> items;
  int count = 0;
  std::int32_t counter = 0;
  try {
    line = 1;
    if (!Start(destination)) return;
    if (!OpenIndex(destination, 0, 5, line, items, count, counter, toc)) return;
    line = 8;
    w_.pb.SetVisible(true);
    w_.pb.SetMax(count);
    w_.pb.SetValue(0);
    w_.MousePointer = ui::MousePointer::kHourglass;
    line = 9;
    if (!toc) throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
    toc->Write("<ul>");
    line = 10;
    dic = fncCreateDic(d_.services);
    if (!dic) throw Error(errnum::kObjectNotSet, "Object variable or With block variable not set");
  } catch (const Error& e) {
    ReportTrap(e, line, kNormalLabel, true);
    return;
  } catch (const std::exception& e) {
    ReportTrap(Error(51, e.what()), line, kNormalLabel, true);
    return;
  }

  ErrorReporter& reporter = d_.services.reporter;
  bool cancelled = false;
  int taken = 0;
  for (int i = 1; i <= count; ++i) {
    d_.pump.DoEvents();
    if (w_.bCancel) {
      cancelled = true;
      break;
    }
    std::shared_ptr<outlook::OutlookItem> item = ReadItem(*items, i);
    if (!item) continue;  // nothing, or an item that cannot be read (noted for the summary)
    RaiseCounter(counter);
    ++taken;
    SkipOnFailure([&] { w_.pb.SetValue(taken); });

    auto article = std::make_shared<cArticle>();
    SkipOnFailure([&] { article->Subject = TrimBlanks(BlankControlCharacters(item->Subject())); });
    article->ProblemType = outlook::PropertyText(reporter, item.get(), "Problem Type");
    article->ProblemCategory = outlook::PropertyText(reporter, item.get(), "Problem Category");
    SkipOnFailure([&] { article->Body = item->HTMLBody(); });
    if (CounterExhaustedFor(*article)) {
      limitReached_ = true;
      break;
    }
    ++summary_.itemsTakenUp;
    const bool duplicate =
        ValueOrNothing([&] { return dic->Exists(article->Subject); }).value_or(false);
    const bool skipped = NameAndSkip(*article, destination, counter, duplicate);
    if (w_.chkAttachments.Ticked()) {
      RichTextAndAttachments(*item, *article, destination, counter, skipped, false);
    }
    Collect(*dic, article, skipped, item.get(), destination, counter);
  }

  WriteEntries(dic, toc.get(), false, false);
  Finish(toc, destination, 0, 15, kNormalLabel);
  if (summary_.outcome == RunSummary::Outcome::kNone) {
    summary_.outcome =
        cancelled ? RunSummary::Outcome::kCancelled : RunSummary::Outcome::kCompleted;
  }
  if (w_.chkRun.Ticked() && w_.chkExtractIndexPage.Ticked() && d_.shell) {
    try {
      d_.shell->Open(destination + "/index.htm");
    } catch (const Error& e) {
      ReportTrap(e, 15, kNormalLabel, true);
    }
  }
}

void ArchiveRunner::subGenerateArticlesOutline() {
  Scope scope(*this);
  std::int16_t line = 0;
  std::string destination;
  std::unique_ptr<TextStream> toc;
  std::shared_ptr<outlook::ItemCollection> items;
  int count = 0;
  std::int32_t counter = 0;
  unsigned char collapsible = 0;
  try {
    line = 1;
    if (!Start(destination)) return;
    line = 2;
    collapsible = static_cast<unsigned char>(w_.chkCollapse.Value());
    if (!OpenIndex(destination, collapsible, 3, line, items, count, counter, toc)) return;
    line = 6;
    w_.pb.SetMax(w_.lstProblemCategory.ListCount());
    w_.pb.SetVisible(true);
    w_.MousePointer = ui::MousePointer::kHourglass;
    line = 7;
    if (w_.lstProblemCategory.ListCount() == 0) {
      summary_.outcome = RunSummary::Outcome::kCompleted;
      return;  // index.htm holds only its head
    }
  } catch (const Error& e) {
    ReportTrap(e, line, kOutlineLabel, false);
    return;
  } catch (const std::exception& e) {
    ReportTrap(Error(51, e.what()), line, kOutlineLabel, false);
    return;
  }

  // Each item's class-independent texts, read once for the whole run: the passes over the
  // folder (one per ticked pair) compare these instead of reading every item again.
  struct CachedItem {
    bool present = false;
    std::string type, category, lowerType, lowerCategory, subject, body;
  };
  std::vector<CachedItem> cache;
  bool cached = false;
  auto buildCache = [&] {
    ErrorReporter& reporter = d_.services.reporter;
    cache.resize(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
      std::shared_ptr<outlook::OutlookItem> item = ReadItem(*items, i);
      if (!item) continue;
      CachedItem& c = cache[static_cast<std::size_t>(i - 1)];
      c.present = true;
      c.type = outlook::PropertyText(reporter, item.get(), "Problem Type");
      c.category = outlook::PropertyText(reporter, item.get(), "Problem Category");
      c.lowerType = LowerCase(c.type);
      c.lowerCategory = LowerCase(c.category);
      // Only an item with both texts can match a list entry (entries are never empty).
      if (c.type.empty() || c.category.empty()) continue;
      SkipOnFailure([&] { c.subject = item->Subject(); });
      SkipOnFailure([&] { c.body = item->HTMLBody(); });
    }
  };
  auto fetch = [&](int position) -> std::shared_ptr<outlook::OutlookItem> {
    auto fetched = ValueOrNothing([&] { return items->Item(position); });
    return fetched ? *fetched : nullptr;
  };

  const std::string headingOpen = collapsible ? kHeadingOpenCollapsible : kHeadingOpenPlain;
  bool cancelled = false;
  bool stop = false;  // the page counter reached its limit
  const int categories = w_.lstProblemCategory.ListCount();
  for (int c = 0; c < categories && !stop; ++c) {
    d_.pump.DoEvents();
    SkipOnFailure([&] { w_.pb.SetValue(c + 1); });
    std::string opening;
    if (c == 0) {
      if (collapsible) {
        opening = w_.chkCollapseInitially.Ticked() ? "<ul dynamicoutline initcollapsed>"
                                                   : "<ul dynamicoutline>";
      } else {
        opening = "<ul>";
      }
    }
    if (!opening.empty()) WriteIndex(toc.get(), opening);
    if (w_.bCancel) {
      cancelled = true;
      break;
    }
    bool categoryTicked = false;
    std::string categoryText;
    SkipOnFailure([&] {
      categoryTicked = w_.lstProblemCategory.Selected(c);
      categoryText = w_.lstProblemCategory.List(c);
    });
    if (!categoryTicked) continue;
    const std::string categoryHeading = headingOpen + HtmlEscape(categoryText) + "</b></p><ul>";
    const std::string lowerCategory = LowerCase(categoryText);
    bool categoryPending = true;

    const int types = w_.lstProblemType.ListCount();
    for (int t = 0; t < types; ++t) {
      bool typeTicked = false;
      std::string typeText;
      SkipOnFailure([&] {
        typeTicked = w_.lstProblemType.Selected(t);
        typeText = w_.lstProblemType.List(t);
      });
      if (!typeTicked) continue;
      d_.pump.DoEvents();
      if (w_.bCancel) {
        cancelled = true;
        break;
      }
      const std::string typeHeading = headingOpen + HtmlEscape(typeText) + "</b></p><ul>";
      const std::string lowerType = LowerCase(typeText);
      bool typePending = true;
      std::unique_ptr<ArticleDictionary> dic;
      SkipOnFailure([&] { dic = fncCreateDic(d_.services); });
      if (!cached) {
        buildCache();
        cached = true;
      }

      for (int i = 1; i <= count; ++i) {
        CachedItem& entry = cache[static_cast<std::size_t>(i - 1)];
        if (!entry.present) continue;
        RaiseCounter(counter);
        if (entry.lowerCategory != lowerCategory || entry.lowerType != lowerType) continue;
        auto article = std::make_shared<cArticle>();
        article->ProblemType = entry.type;
        article->ProblemCategory = entry.category;
        article->Subject = TrimBlanks(BlankControlCharacters(entry.subject));
        article->Body = std::move(entry.body);  // an item matches one pair at most
        if (CounterExhaustedFor(*article)) {
          limitReached_ = true;
          stop = true;
          break;
        }
        ++summary_.itemsTakenUp;
        const bool duplicate =
            dic && ValueOrNothing([&] { return dic->Exists(article->Subject); }).value_or(false);
        const bool skipped = NameAndSkip(*article, destination, counter, duplicate);
        if (categoryPending) {
          WriteIndex(toc.get(), categoryHeading);
          categoryPending = false;
        }
        if (typePending) {
          WriteIndex(toc.get(), typeHeading);
          typePending = false;
        }
        std::shared_ptr<outlook::OutlookItem> item;
        if (w_.chkAttachments.Ticked()) {
          item = fetch(i);
          if (item) RichTextAndAttachments(*item, *article, destination, counter, skipped, true);
        }
        if (!item && !skipped && HasContentIdReference(article->Body)) item = fetch(i);
        if (dic) Collect(*dic, article, skipped, item.get(), destination, counter);
      }

      WriteEntries(dic, toc.get(), true, collapsible != 0);
      if (!typePending) WriteIndex(toc.get(), "</ul></li>");
      if (stop) break;
    }
    if (!categoryPending) WriteIndex(toc.get(), "</ul></li><br>");
  }

  Finish(toc, destination, collapsible, 9, kOutlineLabel);
  if (summary_.outcome == RunSummary::Outcome::kNone) {
    summary_.outcome =
        cancelled ? RunSummary::Outcome::kCancelled : RunSummary::Outcome::kCompleted;
  }
  if (w_.chkRun.Ticked() && w_.chkExtractIndexPage.Ticked() && d_.shell) {
    try {
      d_.shell->Open(destination + "/index.htm");
    } catch (const Error& e) {
      ReportTrap(e, 9, kOutlineLabel, false);
    }
  }
}

}  // namespace lorva
