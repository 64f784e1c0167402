// The batch mode: the archive run from the command line, without any window or display.
//
//   lorva-archive --generate [--store DIR] [--folder PATH] [--set NAME=VALUE]...
//
// Starts as the window's load does (stored-option defaults, the mail store attached, the
// knowledge-base folder check, both lists filled and ticked), applies each --set, presses
// "Generate", waits for the run and exits. Messages go to standard error; every question is
// answered No. Never opens index.htm and never stores the options. An item that cannot be read
// is named there and counted; it alone does not make the exit status other than 0.
//
// Exit status (the same for --list-items where it applies): 0 the run finished; 1 an error
// report, a refused, cancelled or incomplete run, or nothing to archive (the message says which);
// 2 the folder is not a knowledge-base folder (the question's text is printed); 64 a usage error;
// 66 the mail store or the folder named cannot be found or read.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/program.h"
#include "platform/outlook/object_model.h"
#include "platform/registry/hive.h"

namespace lorva {

inline constexpr int kBatchFailed = 1;
inline constexpr int kBatchNotKnowledgeBase = 2;
inline constexpr int kBatchUsageError = 64;
inline constexpr int kBatchNotFound = 66;

struct BatchOptions {
  std::optional<std::string> store;
  std::optional<std::string> folder;
  std::vector<std::pair<std::string, std::string>> settings;  // --set NAME=VALUE, in order
};

// Parses the arguments after the program name (starting with "--generate"). On a usage error
// returns nothing and sets `error` to what is wrong.
std::optional<BatchOptions> ParseBatchArguments(const std::vector<std::string>& args,
                                                std::string& error);

// Checks one --set: NAME is one of the ten stored option names, VALUE in that option's stored
// form. Returns "" when valid, else what is wrong.
std::string CheckSetting(const std::string& name, const std::string& value);

// What the batch works with beyond the mail store.
struct BatchPlatform {
  platform::RegistryHive* hive = nullptr;  // the stored options; nothing: the defaults
  RouteFactory makeRoute;                  // the rich-text route; empty: not available
};

// Runs the batch over the mail application that `launcher` reaches (the folder choice already
// made). `terminal`: print a progress line on `err` while the run works.
int RunBatch(const BatchOptions& options, outlook::ApplicationLauncher& launcher, std::ostream& out,
             std::ostream& err, bool terminal, const BatchPlatform& platform = {});

// `lorva-archive --generate ...`: opens the mail store (--store DIR, else $LORVA_STORE, else the
// bundled sample store), sets its current folder (--folder), and runs the batch.
int BatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const BatchPlatform& platform = {});

// The usage text.
std::string BatchUsage();

}  // namespace lorva
