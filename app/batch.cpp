#include "app/batch.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>

#include "app/frm_main.h"
#include "app/program.h"
#include "app/settings.h"
#include "base/error.h"
#include "base/text_rules.h"
#include "outlook/connection.h"
#include "page/rich_text_route.h"
#include "platform/mailstore/store.h"
#include "support/error_reporter.h"
#include "support/file_handling.h"

namespace lorva {

namespace {

constexpr const char* kProgram = "lorva-archive";

// Message boxes on standard error; every question is answered No.
class BatchDialogs : public platform::Dialogs {
 public:
  explicit BatchDialogs(std::ostream& err) : err_(err) {}

  int MsgBox(const std::string& prompt, int style, const std::string&) override {
    if (progressShown) {
      err_ << "\n";
      progressShown = false;
    }
    std::string text;
    for (std::size_t i = 0; i < prompt.size(); ++i) {
      if (prompt[i] == '\r' && i + 1 < prompt.size() && prompt[i + 1] == '\n') continue;
      text += prompt[i];
    }
    const bool question = (style & 7) == platform::msgbox::kYesNo;
    err_ << kProgram << ": " << text << (question ? " [answered No]" : "") << "\n";
    err_.flush();
    if (question) {
      answeredNo_ = true;
      return platform::msgbox::kNo;
    }
    return platform::msgbox::kOk;
  }
  std::string BrowseForFolder(const std::string&, const std::string&) override { return ""; }
  std::string PickMailFolder(const std::vector<std::string>&, const std::string&) override {
    return "";
  }

  bool AnsweredNo() const { return answeredNo_; }
  bool progressShown = false;

 private:
  std::ostream& err_;
  bool answeredNo_ = false;
};

// The yields of a run: a progress line on standard error when it is a terminal.
class BatchPump : public platform::EventPump {
 public:
  BatchPump(std::ostream& err, bool terminal, BatchDialogs& dialogs)
      : err_(err), terminal_(terminal), dialogs_(dialogs) {}
  void Watch(const RunWindow* window) { window_ = window; }
  void DoEvents() override {
    if (!terminal_ || !window_ || !window_->pb.Visible()) return;
    const auto now = std::chrono::steady_clock::now();
    if (dialogs_.progressShown && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    err_ << "\r" << kProgram << ": archiving " << window_->pb.Value() << " of " << window_->pb.Max()
         << "\x1b[K";
    err_.flush();
    dialogs_.progressShown = true;
  }
  void EndLine() {
    if (dialogs_.progressShown) {
      err_ << "\r\x1b[K";
      err_.flush();
      dialogs_.progressShown = false;
    }
  }

 private:
  std::ostream& err_;
  bool terminal_;
  BatchDialogs& dialogs_;
  const RunWindow* window_ = nullptr;
  std::chrono::steady_clock::time_point last_{};
};

// Batch mode opens nothing.
class NoShell : public platform::Shell {
 public:
  void Open(const std::string&) override {}
  void Start(const std::string&, const std::vector<std::string>&) override {}
};

const char* const kOptionNames[] = {"DestinationFolder", "iNamingScheme",
                                    "iNumbering",        "GenerateTOC",
                                    "OverwriteFiles",    "RunTOC",
                                    "optGroup",          "chkAttachments",
                                    "chkCollapse",       "chkCollapseInitially"};

// Applies a checked --set to the window as restoring the stored option does.
void ApplySetting(frmMain& form, const std::string& name, const std::string& value) {
  if (name == "DestinationFolder") {
    form.txtDestination.SetText(value);
  } else if (name == "iNumbering") {
    form.txtNumbering.SetText(value);
  } else {
    const int n = *ParseInteger16(value);
    if (name == "iNamingScheme") {
      form.optNaming.Select(n);
    } else if (name == "GenerateTOC") {
      form.chkExtractIndexPage.SetValue(n);
    } else if (name == "OverwriteFiles") {
      form.chkOverwrite.SetValue(n);
    } else if (name == "RunTOC") {
      form.chkRun.SetValue(n);
    } else if (name == "optGroup") {
      form.optGroup.Select(n);
      form.optGroup_Click(n);
    } else if (name == "chkAttachments") {
      form.chkAttachments.SetValue(n);
    } else if (name == "chkCollapse") {
      form.chkCollapse.SetValue(n);
      form.chkCollapse_Click();
    } else if (name == "chkCollapseInitially") {
      form.chkCollapseInitially.SetValue(n);
    }
  }
}

std::string Seconds(std::chrono::steady_clock::duration elapsed) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f s", std::chrono::duration<double>(elapsed).count());
  return buffer;
}

}  // namespace

std::string BatchUsage() {
  return "usage: lorva-archive --generate [--store DIR] [--folder PATH] [--set NAME=VALUE]...\n"
         "       lorva-archive --list-items [--store DIR] [--folder PATH]\n"
         "  --generate   archives the knowledge-base folder into web pages, without a window;\n"
         "               an item that cannot be read is named on standard error with the reason\n"
         "               and counted as unreadable (an attachment that cannot be read is\n"
         "               named too, its article written without it), and the exit status\n"
         "               stays 0 when every readable item was written\n"
         "  --store DIR  the mail store (default: $LORVA_STORE, else the bundled sample store)\n"
         "  --folder PATH  the folder to archive (default: the store's current folder)\n"
         "  --set NAME=VALUE  an option, as stored: DestinationFolder=DIR, iNamingScheme=0|1,\n"
         "               iNumbering=N, GenerateTOC, OverwriteFiles, RunTOC, chkAttachments,\n"
         "               chkCollapse, chkCollapseInitially=0|1, optGroup=0|1 (1: flat list)\n"
         "  --help       prints this text\n"
         "  Exit status: 0 done; 1 failed, refused, cancelled or incomplete (the message says\n"
         "               which); 2 not a knowledge-base folder; 64 usage error; 66 the mail store\n"
         "               or the folder cannot be found or read.\n";
}

std::string CheckSetting(const std::string& name, const std::string& value) {
  bool known = false;
  for (const char* option : kOptionNames) known = known || name == option;
  if (!known) {
    std::string names;
    for (const char* option : kOptionNames)
      names += std::string(names.empty() ? "" : ", ") + option;
    return "unknown option name \"" + name + "\" (one of " + names + ")";
  }
  if (name == "DestinationFolder") return "";
  const auto n = ParseInteger16(value);
  if (name == "iNumbering") {
    return n ? "" : "iNumbering must be a whole number from -32768 to 32767, not \"" + value + "\"";
  }
  if (name == "iNamingScheme" || name == "optGroup") {
    return n && (*n == 0 || *n == 1) ? "" : name + " must be 0 or 1, not \"" + value + "\"";
  }
  return n && *n >= 0 && *n <= 2 ? "" : name + " must be 0, 1 or 2, not \"" + value + "\"";
}

std::optional<BatchOptions> ParseBatchArguments(const std::vector<std::string>& args,
                                                std::string& error) {
  BatchOptions options;
  std::size_t i = 0;
  if (i < args.size() && args[i] == "--generate") ++i;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto valueOf = [&](const std::string& flag, std::string& value) -> bool {
      if (arg == flag) {
        if (i + 1 >= args.size()) {
          error = flag + " needs a value";
          return false;
        }
        value = args[++i];
        return true;
      }
      if (arg.starts_with(flag + "=")) {
        value = arg.substr(flag.size() + 1);
        return true;
      }
      return false;
    };
    std::string value;
    if (valueOf("--store", value)) {
      options.store = value;
    } else if (!error.empty()) {
      return std::nullopt;
    } else if (valueOf("--folder", value)) {
      options.folder = value;
    } else if (!error.empty()) {
      return std::nullopt;
    } else if (valueOf("--set", value)) {
      const std::size_t eq = value.find('=');
      if (eq == std::string::npos) {
        error = "--set needs NAME=VALUE, not \"" + value + "\"";
        return std::nullopt;
      }
      std::string name = value.substr(0, eq);
      std::string setting = value.substr(eq + 1);
      error = CheckSetting(name, setting);
      if (!error.empty()) return std::nullopt;
      options.settings.emplace_back(std::move(name), std::move(setting));
    } else if (!error.empty()) {
      return std::nullopt;
    } else {
      error = "unknown argument \"" + arg + "\"";
      return std::nullopt;
    }
  }
  return options;
}

int RunBatch(const BatchOptions& options, outlook::ApplicationLauncher& launcher, std::ostream& out,
             std::ostream& err, bool terminal, const BatchPlatform& platform) {
  BatchDialogs dialogs(err);
  BatchPump pump(err, terminal, dialogs);
  NoShell shell;
  // The stored options are restored as at the window's start; they are never stored back.
  Program program(
      ProgramPlatform{dialogs, pump, shell, launcher, false},
      [&platform](Services& services) {
        FormHooks hooks;
        if (platform.hive) hooks.restoreOptions = RestoreOptionsHook(*platform.hive, services);
        hooks.runEnded = [](const RunSummary&) {};  // what could not be read is printed below
        return hooks;
      },
      platform.makeRoute);
  frmMain& form = program.form();
  ErrorReporter& reporter = program.reporter();
  pump.Watch(&form);

  const auto started = std::chrono::steady_clock::now();
  try {
    form.Form_Load();
    for (const auto& [name, value] : options.settings) ApplySetting(form, name, value);
    if (!form.cmdGenerate.Enabled()) {
      err << kProgram << ": nothing to archive: \"Generate\" is not available\n";
      return 1;
    }
    form.cmdGenerate_Click();
  } catch (const ProgramEnded&) {
    pump.EndLine();
    if (reporter.ReportShown()) return kBatchFailed;
    if (dialogs.AnsweredNo()) return kBatchNotKnowledgeBase;
    return kBatchFailed;
  }
  pump.EndLine();

  const RunSummary& run = form.LastRun();
  for (const std::string& reason : run.unreadable) err << kProgram << ": " << reason << "\n";
  for (const std::string& reason : run.unreadableParts) {
    err << kProgram << ": " << reason << "; its article was archived without it\n";
  }
  const std::string elapsed = Seconds(std::chrono::steady_clock::now() - started);
  switch (run.outcome) {
    case RunSummary::Outcome::kCompleted:
      out << kProgram << ": " << run.pagesWritten << " articles written, " << run.skipped
          << " skipped, " << run.duplicates << " duplicates, " << run.unreadable.size()
          << " unreadable, " << elapsed << ", index " << run.destination << "/index.htm\n";
      return 0;
    case RunSummary::Outcome::kLimitReached:
      err << kProgram << ": incomplete: " << run.pagesWritten << " articles written, "
          << run.skipped << " skipped, " << elapsed << "\n";
      return 1;
    case RunSummary::Outcome::kCancelled:
      err << kProgram << ": cancelled after " << run.pagesWritten << " articles\n";
      return 1;
    default:
      return 1;  // the message has been printed
  }
}

int BatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const BatchPlatform& platform) {
  std::string error;
  auto options = ParseBatchArguments(args, error);
  if (!options) {
    err << kProgram << ": " << error << "\n" << BatchUsage();
    return kBatchUsageError;
  }
  std::shared_ptr<mailstore::MailStore> store;
  const std::filesystem::path root = mailstore::ResolveStoreRoot(options->store);
  try {
    store = mailstore::MailStore::Open(root);
  } catch (const Error& e) {
    err << kProgram << ": cannot open the mail store at \"" << root.string()
        << "\": " << e.description() << "\n";
    return kBatchNotFound;
  }
  if (options->folder) {
    if (!ShowStoreFolder(*store, *options->folder)) {
      err << kProgram << ": no folder \"" << *options->folder << "\" in the mail store at \""
          << root.string() << "\"\n";
      return kBatchNotFound;
    }
  }
  auto launcher = mailstore::MakeStoreLauncher(store);
  return RunBatch(*options, *launcher, out, err, isatty(STDERR_FILENO) != 0, platform);
}

}  // namespace lorva
