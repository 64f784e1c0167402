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
#include "page/sorted_dictionary.h"
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
  std::string destination;
};

// The message that tells, once a run has ended, which items it could not read (`reasons` as in
// RunSummary::unreadable); "" when there are none. Names the first ten.
std::string UnreadableItemsMessage(const std::vector<std::string>& reasons);
// The message shown when the first number is refused.
std::string FirstNumberMessage(const std::string& text);
// The message shown when the page counter reached its limit.
extern const char* const kCounterLimitMessage;
// The message shown when a folder the run writes into is a link leading out of the destination.
std::string LinkedFolderMessage(const std::string& folder, const std::string& target);

class ArchiveRunner {
 public:
  ArchiveRunner(RunWindow& window, RunServices deps);

  // Starts a run (caption "Generate"), or asks the running one to stop (caption "Cancel..").
  // A press on "Generate" while a cancelled run is still finishing is refused.
  void cmdGenerate_Click();
  // The flat run.
  void subGenerateArticlesNormal();
  // The grouped outline run.
  void subGenerateArticlesOutline();

  bool Running() const { return running_; }
  const RunSummary& LastRun() const { return summary_; }

 private:
  class Scope;

  // The start shared by both runs: destination check, knowledge-base folder check, cancel flag,
  // destination path (the text checked), linked folders refused, what a killed run left behind
  // mended, no page name taken yet. False when the run ends here.
  bool Start(std::string& destination);
  // The folder's items (none: the run is complete), the first number and a new index.htm
  // (`outline` 0: the plain head), the trap's line numbers counted from `firstLine`. False when
  // the run ends here.
  bool OpenIndex(const std::string& destination, unsigned char outline, std::int16_t firstLine,
                 std::int16_t& line, std::shared_ptr<outlook::ItemCollection>& items, int& count,
                 std::int32_t& counter, std::unique_ptr<TextStream>& toc);
  // The first number (a 16-bit number, as the box takes it) as the page counter's start; nothing
  // (after the message) when refused.
  bool ReadFirstNumber(std::int32_t& counter);
  // Raises the 32-bit page counter. At its highest value it keeps it and notes that it has passed
  // its limit.
  void RaiseCounter(std::int32_t& counter);
  // Whether an article taken up after the counter passed its limit would need a number of its
  // own (numbered page, rich-text copy and attachments, inline images): the run must then stop,
  // so that no two articles share a name.
  bool CounterExhaustedFor(const cArticle& article) const;
  // Page name, path and skip test of `article` (steps g to i); true when the item is skipped.
  // The name is one no other article of the run has; a `duplicate` (its subject taken already)
  // takes none.
  bool NameAndSkip(cArticle& article, const std::string& destination, std::int32_t counter,
                   bool duplicate);
  // The rich-text route and attachment export of one item (step j).
  void RichTextAndAttachments(outlook::OutlookItem& item, cArticle& article,
                              const std::string& destination, std::int32_t counter, bool skipped,
                              bool deleteTarget);
  // Adds the record to the dictionary unless skipped or its subject is taken.
  void Collect(ArticleDictionary& dic, std::shared_ptr<cArticle> article, bool skipped,
               outlook::OutlookItem* item, const std::string& destination, std::int32_t counter);
  // Orders the dictionary and writes each entry and page (steps 12 and 13).
  void WriteEntries(std::unique_ptr<ArticleDictionary>& dic, TextStream* toc, bool grouped,
                    bool collapsible);
  // Support files, word processor, closing of the index (steps 14 and 15). A failure to put the
  // index in place is reported through the trap with `line` and `routine`.
  void Finish(std::unique_ptr<TextStream>& toc, const std::string& destination,
              unsigned char collapsible, std::int16_t line, const char* routine);
  void RestoreWindow();
  void ReportTrap(const Error& error, std::int16_t line, const char* routine, bool show287);
  void WriteIndex(TextStream* toc, const std::string& text);
  // The item at `position`; nothing when it is nothing or cannot be read (noted in the summary).
  std::shared_ptr<outlook::OutlookItem> ReadItem(outlook::ItemCollection& items, int position);

  RunWindow& w_;
  RunServices d_;
  bool running_ = false;
  bool limitReached_ = false;
  bool counterPassed_ = false;
  PageNames names_;  // the page names taken in this run
  RunSummary summary_;
};

}  // namespace lorva
