// The archive runs started by "Generate": the flat run (every item, one bulleted list ordered by
// subject) and the grouped outline run (the ticked categories and types, grouped headings,
// optionally a collapsible outline), and the button's handler that starts a run or cancels it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/run_window.h"
#include "outlook/connection.h"
#include "page/article.h"
#include "page/naming.h"
#include "page/rich_text_route.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialogs.h"
#include "support/file_handling.h"

namespace lorva {

// What a run works with besides the window.
struct RunServices {
  Services& services;
  FileHandling& files;
  outlook::Connection& connection;
  platform::Dialogs& dialogs;
  platform::EventPump& pump;
  RichTextRoute& route;
  platform::Shell* shell = nullptr;       // opens index.htm when done; nothing: never opened
  outlook::LoadedWindow* form = nullptr;  // the main window, for the folder picker
};

// How the last run went, for the batch mode's summary and exit status.
struct RunSummary {
  enum class Outcome {
    kNone,          // no run yet
    kCompleted,     // finished normally (possibly with nothing to do)
    kCancelled,     // "Cancel.." took effect; the run finished with what it had
    kRefused,       // refused before writing anything (destination, first number)
    kLimitReached,  // the page counter reached its limit; the run finished with what it had
    kTrapped,       // ended through the error trap
  };
  Outcome outcome = Outcome::kNone;
  int itemsTakenUp = 0;  // items whose page name was formed
  int pagesWritten = 0;  // records handed to the page writer (one index entry each)
  int skipped = 0;       // items whose page existed while overwriting was off
  int duplicates = 0;    // items dropped because their subject was taken already
  // Why each item that could not be read was passed over, in folder order: the description of
  // the error that reading it raised (the mail store's names the item's file).
  std::vector<std::string> unreadable;
  // Why each part of an item that could not be read (an attachment, an inline image) was left
  // out, in folder order; the item's page was written without it.
  std::vector<std::string> unreadableParts;
  std::string destination;
};

// The message that tells, once a run has ended, which items it could not read and which parts of
// archived items it left out (as in RunSummary::unreadable and unreadableParts); "" when there
// are none. Names the first ten of each.
std::string UnreadableItemsMessage(const RunSummary& run);
// The message shown when the first number is refused.
std::string FirstNumberMessage(const std::string& text);
// The message shown when the page counter reached its limit.
extern const char* const kCounterLimitMessage;
// The message shown when a folder the run writes into is a link leading out of the destination.
std::string LinkedFolderMessage(const std::string& folder, const std::string& target);

class TocEntries;

// Both runs write each article's page as soon as the item is read, and keep for index.htm only
// the subject and file name of each page written; index.htm is written at the end, in the order of
// the sorted article dictionary. Each item of the folder is read once per run.
class ArchiveRunner {
 public:
  ArchiveRunner(RunWindow& window, RunServices deps);

  // Starts a run (caption "Generate"), or asks the running one to stop (caption "Cancel..").
  // A press on "Generate" while a cancelled run is still finishing is refused.
  void cmdGenerate_Click();
  // The flat run.
  void subGenerateArticlesNormal();
  // The grouped outline run: one pass over the folder. An item at position i (from 1) of a folder
  // of n items whose category and type form the p-th ticked pair (from 0, every ticked type of
  // every ticked category in list order) is numbered first number + p * n + i, as if each pair
  // had a pass of its own over the folder; so an item that cannot be read uses up its number.
  void subGenerateArticlesOutline();

  bool Running() const { return running_; }
  const RunSummary& LastRun() const { return summary_; }

 private:
  class Scope;
  struct RunState;
  class TickedPairs;

  // The start shared by both runs: destination check, knowledge-base folder check, cancel flag,
  // destination path (the text checked), linked folders refused, what a killed run left behind
  // mended, no page name taken yet. False when the run ends here.
  bool Start(RunState& run);
  // The folder's items (none: the run is complete), the first number and a new index.htm
  // (`outline` 0: the plain head), the trap's line numbers counted from `firstLine`. False when
  // the run ends here.
  bool OpenIndex(RunState& run, unsigned char outline, std::int16_t firstLine);
  // The first number (a 16-bit number, as the box takes it) as the page counter's start; nothing
  // (after the message) when refused.
  bool ReadFirstNumber(std::int32_t& counter);
  // The item at `position`; nothing when it is nothing or cannot be read (noted in the summary).
  std::shared_ptr<outlook::OutlookItem> ReadItem(outlook::ItemCollection& items, int position);
  // Whether `article` needs a number of its own (numbered page, rich-text copy and attachments,
  // inline images): past the counter's limit it cannot be archived then, so that no two articles
  // share a name.
  bool NeedsNumber(const cArticle& article) const;
  // What the run does with an item it takes up: page name and skip test, the rich-text route and
  // attachments, and, unless skipped or its subject is listed already, the inline images, the
  // page written at once and its entry kept in `entries`.
  void ExportArticle(outlook::OutlookItem& item, cArticle& article, const RunState& run,
                     std::int32_t number, TocEntries& entries, bool deleteTarget);
  // Page name, path and skip test of `article`; true when the item is skipped. The name is one no
  // other article of the run has; a `duplicate` (its subject taken already) takes none.
  bool NameAndSkip(cArticle& article, const std::string& destination, std::int32_t number,
                   bool duplicate);
  // The rich-text route and attachment export of one item; why each attachment that could not
  // be read was left out is appended to `unreadable`.
  void RichTextAndAttachments(outlook::OutlookItem& item, cArticle& article,
                              const std::string& destination, std::int32_t number, bool skipped,
                              bool deleteTarget, std::vector<std::string>& unreadable);
  // The back link and the page.
  void WritePage(cArticle& article);
  // The entries of a flat index.htm.
  void WriteFlatEntries(TextStream* toc, const TocEntries& entries);
  // The list of a grouped index.htm: the opening, and per ticked category and type with a
  // matching item, the headings, the entries and the ends.
  void WriteGroupedList(TextStream* toc, TickedPairs& pairs, const std::string& opening,
                        bool collapsible);
  // Support files, word processor, closing of the index, and its opening when asked for. A
  // failure to put the index in place is reported through the trap with `line` and `routine`.
  void Finish(RunState& run, unsigned char collapsible, bool cancelled, std::int16_t line,
              const char* routine, bool show287);
  void RestoreWindow();
  void ReportTrap(const Error& error, std::int16_t line, const char* routine, bool show287);
  void WriteIndex(TextStream* toc, const std::string& text);

  RunWindow& window_;
  RunServices deps_;
  bool running_ = false;
  bool limitReached_ = false;
  PageNames names_;  // the page names taken in this run
  RunSummary summary_;
};

}  // namespace lorva
