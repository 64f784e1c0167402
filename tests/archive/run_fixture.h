// A whole program for tests of the runs and the window: the in-memory mail application with a
// knowledge-base folder in front, scripted dialogs and pump, a recording shell, and the window
// model loaded over them, writing into a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/frm_main.h"
#include "base/error.h"
#include "outlook/connection.h"
#include "page/rich_text_route.h"
#include "support/error_reporter.h"
#include "support/file_handling.h"
#include "support_code/fake_outlook.h"
#include "support_code/recording_shell.h"
#include "support_code/scripted_dialogs.h"

namespace lorva::testing {

class ProgramFixture : public ::testing::Test {
 protected:
  ProgramFixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lorva-run-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir = pattern;
    app = std::make_shared<FakeApplication>();
    kb = std::make_shared<FakeFolder>("Knowledge Base", kKbHomePage);
    inbox = std::make_shared<FakeFolder>("Inbox", "");
    calendar = std::make_shared<FakeFolder>("Calendar", "");
    app->defaultFolders[6] = inbox;
    app->defaultFolders[9] = calendar;
    app->OpenExplorer(kb);
    launcher.app = app;
    connection = std::make_unique<outlook::Connection>(services, launcher, dialogs);
    form = std::make_unique<frmMain>(
        FormServices{services, files, *connection, dialogs, pump, route, &shell},
        FormHooks{{}, {}, {}, [this](frmMain&) { ++saves; }});
  }
  ~ProgramFixture() override {
    form.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // Loads the window and points the destination at the temporary folder.
  void Load() {
    form->Form_Load();
    form->txtDestination.SetText(dir.string());
  }
  std::shared_ptr<FakeItem> Add(const std::shared_ptr<FakeItem>& item) {
    kb->items.push_back(item);
    return item;
  }
  // Presses "Generate" and returns when the run has ended.
  void Generate() { form->cmdGenerate_Click(); }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir / name); }
  std::string Dest() const { return dir.string(); }

  std::filesystem::path dir;
  ScriptedDialogs dialogs;
  ScriptedPump pump;
  RecordingShell shell;
  FakeLauncher launcher;
  std::shared_ptr<FakeApplication> app;
  std::shared_ptr<FakeFolder> kb, inbox, calendar;
  std::unique_ptr<outlook::Connection> connection;
  ErrorReporter reporter{dialogs,
                         ErrorReporter::Hooks{[this]() -> std::shared_ptr<outlook::Application> {
                                                if (!connection->objOutlook) {
                                                  connection->subStartOutlook(6);
                                                }
                                                return connection->objOutlook;
                                              },
                                              [this] { connection->subEndProgram(); },
                                              [] { return std::string("Linux"); }}};
  Services services{reporter, nullptr};
  FileHandling files{services, shell, nullptr, [] {}};
  UnavailableRichTextRoute route{services};
  std::unique_ptr<frmMain> form;
  int saves = 0;
};

// The head of a flat index, as the table of contents writes it.
inline const std::string kPlainHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />"
    "</head><body><h1>Table of Contents</h1></p>";
inline const std::string kIndexClosing = "</ul><br></body></html>";

}  // namespace lorva::testing
