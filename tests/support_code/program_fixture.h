// A whole program for tests of the runs and the window: the in-memory mail application with a
// knowledge-base folder in front, scripted dialogs and pump, a recording shell, and the window
// model loaded over them, writing into a fresh temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/frm_main.h"
#include "base/error.h"
#include "outlook/connection.h"
#include "page/rich_text_route.h"
#include "support/error_reporter.h"
#include "support/file_handling.h"
#include "support_code/fake_outlook.h"
#include "support_code/index_heads.h"
#include "support_code/recording_shell.h"
#include "support_code/scripted_dialogs.h"
#include "support_code/temp_folder.h"

namespace lorva::testing {

class ProgramFixture : public ::testing::Test {
 protected:
  ProgramFixture() {
    app = std::make_shared<FakeApplication>();
    kb = std::make_shared<FakeFolder>("Knowledge Base", kKbHomePage);
    inbox = std::make_shared<FakeFolder>("Inbox", "");
    calendar = std::make_shared<FakeFolder>("Calendar", "");
    app->OpenExplorer(kb);
    launcher.app = app;
    connection = std::make_unique<outlook::Connection>(services, launcher, dialogs);
    UseRoute(route);
  }
  ~ProgramFixture() override { form.reset(); }

  // (Re)builds the window, with `richText` as the runs' rich-text route.
  void UseRoute(RichTextRoute& richText) {
    form = std::make_unique<frmMain>(
        FormServices{services, files, *connection, dialogs, pump, richText, &shell},
        FormHooks{{}, {}, {}, [this](frmMain&) { ++saves; }});
  }
  // Loads the window and points the destination at the temporary folder.
  void Load() {
    form->Form_Load();
    form->txtDestination.SetText(Dest());
  }
  std::shared_ptr<FakeItem> Add(const std::shared_ptr<FakeItem>& item) {
    kb->items.push_back(item);
    return item;
  }
  // Presses "Generate" and returns when the run has ended.
  void Generate() { form->cmdGenerate_Click(); }
  std::string Read(const std::string& name) const { return TempFolder::Read(folder / name); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(folder / name); }
  std::string Dest() const { return folder.str(); }

  TempFolder folder;  // the destination
  ScriptedDialogs dialogs;
  ScriptedPump pump;
  RecordingShell shell;
  FakeLauncher launcher;
  std::shared_ptr<FakeApplication> app;
  std::shared_ptr<FakeFolder> kb, inbox, calendar;
  std::unique_ptr<outlook::Connection> connection;
  ErrorReporter reporter{dialogs, ErrorReporter::Hooks{[this] { return connection->objOutlook; },
                                                       [this] { connection->subEndProgram(); },
                                                       [] { return std::string("Linux"); }}};
  Services services{reporter, nullptr};
  FileHandling files{services, shell, nullptr, [] {}};
  UnavailableRichTextRoute route{services};
  std::unique_ptr<frmMain> form;
  int saves = 0;
};

}  // namespace lorva::testing
