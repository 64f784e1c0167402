#include "app/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "registry/temp_folder.h"
#include "support/registry_store.h"
#include "support_code/fake_outlook.h"
#include "support_code/recording_shell.h"
#include "support_code/scripted_dialogs.h"

namespace lorva {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest()
      : reporter(dialogs, {}),
        services{reporter, std::make_shared<FileSystemObject>()},
        returningReporter(yesDialogs, ReturningHooks()),
        returningServices{returningReporter, services.fs},
        files(services, shell, nullptr, nullptr),
        connection(services, launcher, dialogs),
        route(services) {
    yesDialogs.SetDefaultYes(true);
  }

  // A reporter whose e-mail report (answered Yes) fails, so that it returns to the trap.
  static ErrorReporter::Hooks ReturningHooks() {
    ErrorReporter::Hooks hooks;
    hooks.attachOutlook = []() -> std::shared_ptr<outlook::Application> { return nullptr; };
    return hooks;
  }

  // The main window (not loaded), seen by the settings routines; counts the colour matchings.
  struct Form {
    explicit Form(FormServices formServices)
        : form(formServices), window(form, [this] { ++colourMatches; }) {}
    frmMain form;
    int colourMatches = 0;
    FormSettingsWindow window;
  };
  std::unique_ptr<Form> NewForm() {
    return std::make_unique<Form>(
        FormServices{services, files, connection, dialogs, pump, route, nullptr});
  }

  void Store(const std::map<std::string, std::string>& values) {
    for (const auto& [name, text] : values) subSaveSetting(hive, "Settings", name, text);
  }
  std::string Stored(const std::string& name) {
    return fncGetSetting(hive, "Settings", name, "<missing>");
  }

  lorva::testing::ScriptedDialogs dialogs;
  lorva::testing::ScriptedDialogs yesDialogs;
  ErrorReporter reporter;
  Services services;
  ErrorReporter returningReporter;
  Services returningServices;
  lorva::testing::RecordingShell shell;
  FileHandling files;
  lorva::testing::FakeLauncher launcher;
  outlook::Connection connection;
  lorva::testing::ScriptedPump pump;
  UnavailableRichTextRoute route;
  platform::MemoryRegistryHive hive;
  lorva::testing::TempFolder folder;
};

TEST_F(SettingsTest, FirstStartAppliesEveryDefault) {
  auto f = NewForm();
  subSetCaptions(f->window, hive, services);
  const RunWindow& w = f->form;
  EXPECT_EQ(w.Caption, "2.1.362 (Lorva for Outlook)");
  EXPECT_EQ(w.txtDestination.Text(), "");
  EXPECT_TRUE(w.optNaming.IsSelected(0));
  EXPECT_EQ(w.txtNumbering.Text(), "1000");
  EXPECT_EQ(w.chkExtractIndexPage.Value(), 1);
  EXPECT_EQ(w.chkOverwrite.Value(), 1);
  EXPECT_EQ(w.chkRun.Value(), 1);
  EXPECT_TRUE(w.optGroup.IsSelected(0));
  EXPECT_EQ(w.chkAttachments.Value(), 1);
  EXPECT_EQ(w.chkCollapse.Value(), 1);
  EXPECT_EQ(w.chkCollapseInitially.Value(), 1);
  EXPECT_TRUE(w.optGroup.Enabled(0) && w.optGroup.Enabled(1));
  EXPECT_TRUE(w.chkCollapse.Enabled());
  EXPECT_TRUE(w.chkCollapseInitially.Enabled());
  EXPECT_EQ(f->colourMatches, 1);
  EXPECT_TRUE(dialogs.shown().empty());
  EXPECT_TRUE(hive.Root().subkeys.empty());  // reading created nothing
}

TEST_F(SettingsTest, RestoredOptionsAndTheirEnabledStates) {
  struct Case {
    const char* what;
    std::map<std::string, std::string> stored;
    std::function<void(const RunWindow&)> check;
  };
  const std::string existing = folder.path().string();
  const std::string deleted = (folder.path() / "deleted").string();
  const Case cases[] = {
      {"an existing destination",
       {{"DestinationFolder", existing}},
       [&](const RunWindow& w) { EXPECT_EQ(w.txtDestination.Text(), existing); }},
      {"a deleted destination",
       {{"DestinationFolder", deleted}},
       [](const RunWindow& w) { EXPECT_EQ(w.txtDestination.Text(), ""); }},
      {"a destination with a blank after it",
       {{"DestinationFolder", existing + " "}},
       [](const RunWindow& w) { EXPECT_EQ(w.txtDestination.Text(), ""); }},
      {"numbered pages",
       {{"iNamingScheme", "1"}},
       [](const RunWindow& w) { EXPECT_TRUE(w.optNaming.IsSelected(1)); }},
      {"a first number that is no number",
       {{"iNumbering", "abc"}},
       [](const RunWindow& w) { EXPECT_EQ(w.txtNumbering.Text(), "abc"); }},
      {"no table of contents",
       {{"GenerateTOC", "0"}},
       [](const RunWindow& w) {
         EXPECT_FALSE(w.optGroup.Enabled(0) || w.optGroup.Enabled(1));
         EXPECT_TRUE(w.chkCollapse.Enabled());
       }},
      {"no grouping with a collapsible outline",
       {{"optGroup", "1"}, {"chkCollapse", "1"}},
       [](const RunWindow& w) {
         EXPECT_TRUE(w.optGroup.IsSelected(1));
         EXPECT_EQ(w.chkCollapse.Value(), 1);
         EXPECT_FALSE(w.chkCollapse.Enabled());
         EXPECT_TRUE(w.chkCollapseInitially.Enabled());
       }},
      {"no grouping without an outline",
       {{"optGroup", "1"}, {"chkCollapse", "0"}},
       [](const RunWindow& w) {
         EXPECT_FALSE(w.chkCollapse.Enabled());
         EXPECT_FALSE(w.chkCollapseInitially.Enabled());
       }},
      {"grouping without an outline",
       {{"chkCollapse", "0"}, {"chkCollapseInitially", "1"}},
       [](const RunWindow& w) {
         EXPECT_TRUE(w.chkCollapse.Enabled());
         EXPECT_FALSE(w.chkCollapseInitially.Enabled());
         EXPECT_EQ(w.chkCollapseInitially.Value(), 1);
       }},
      {"numbers as Visual Basic reads them",
       {{"RunTOC", " 0 "}, {"OverwriteFiles", "0.5"}},
       [](const RunWindow& w) {
         EXPECT_EQ(w.chkRun.Value(), 0);
         EXPECT_EQ(w.chkOverwrite.Value(), 0);  // half rounds to even
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hive = platform::MemoryRegistryHive();
    Store(c.stored);
    auto f = NewForm();
    subSetCaptions(f->window, hive, services);
    c.check(f->form);
    EXPECT_TRUE(dialogs.shown().empty());
    if (c.stored.count("DestinationFolder") != 0) {
      EXPECT_EQ(Stored("DestinationFolder"), c.stored.at("DestinationFolder"));  // kept as stored
    }
  }
}

TEST_F(SettingsTest, ABadStoredValueStopsTheRestoreWithAReport) {
  Store({{"iNamingScheme", "1"},
         {"iNumbering", "42"},
         {"GenerateTOC", "x"},
         {"RunTOC", "0"},
         {"optGroup", "1"},
         {"chkAttachments", "0"}});
  auto f = NewForm();
  subSetCaptions(f->window, hive, returningServices);
  const RunWindow& w = f->form;
  // Restored before the failure.
  EXPECT_TRUE(w.optNaming.IsSelected(1));
  EXPECT_EQ(w.txtNumbering.Text(), "42");
  // Initial states from there on; no rule ran and colours were not matched.
  EXPECT_EQ(w.chkExtractIndexPage.Value(), 1);
  EXPECT_EQ(w.chkOverwrite.Value(), 0);
  EXPECT_EQ(w.chkRun.Value(), 0);
  EXPECT_TRUE(w.optGroup.IsSelected(0));
  EXPECT_EQ(w.chkAttachments.Value(), 0);
  EXPECT_EQ(w.chkCollapse.Value(), 0);
  EXPECT_EQ(w.chkCollapseInitially.Value(), 0);
  EXPECT_EQ(f->colourMatches, 0);
  ASSERT_EQ(yesDialogs.shown().size(), 1u);
  const std::string& report = returningReporter.ReportText();
  EXPECT_NE(report.find("Type mismatch\r\n#13"), std::string::npos) << report;
  EXPECT_NE(report.find("Sub routine : subSetCaptions "), std::string::npos) << report;
  EXPECT_NE(report.find("Error on line: 6"), std::string::npos) << report;

  // The reporter normally ends the program.
  EXPECT_THROW(subSetCaptions(NewForm()->window, hive, services), ProgramEnded);
}

TEST_F(SettingsTest, FailuresOfTheRestoreAreReportedWithTheirNumbers) {
  struct Case {
    std::map<std::string, std::string> stored;
    std::int32_t number;
  };
  const Case cases[] = {
      {{{"optGroup", "2"}}, 340},  // no such option button
      {{{"iNamingScheme", "-1"}}, 340},
      {{{"chkAttachments", "3"}}, 380},  // a check box takes 0 to 2
      {{{"RunTOC", "3"}}, 380},
      {{{"iNamingScheme", "70000"}}, 6},  // beyond a 16-bit integer
      {{{"chkCollapse", ""}}, 13},        // empty text is no number
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored.begin()->first + "=\"" + c.stored.begin()->second + "\"");
    hive = platform::MemoryRegistryHive();
    Store(c.stored);
    ErrorReporter caseReporter(yesDialogs, ReturningHooks());
    Services caseServices{caseReporter, services.fs};
    subSetCaptions(NewForm()->window, hive, caseServices);
    EXPECT_NE(caseReporter.ReportText().find("#" + std::to_string(c.number) + "\r\n"),
              std::string::npos)
        << caseReporter.ReportText();
  }
  // No file service: reported too.
  Services noFiles{returningReporter, nullptr};
  subSetCaptions(NewForm()->window, hive, noFiles);
  EXPECT_NE(returningReporter.ReportText().find("#91\r\n"), std::string::npos);
}

TEST_F(SettingsTest, SavedOptionsComeBack) {
  auto saved = NewForm();
  RunWindow& w = saved->form;
  w.txtDestination.SetText(folder.path().string());
  w.optNaming.Select(1);
  w.txtNumbering.SetText("");
  w.chkExtractIndexPage.SetValue(0);
  w.chkOverwrite.SetValue(1);
  w.chkRun.SetValue(0);
  w.optGroup.Select(1);
  w.chkAttachments.SetValue(1);
  w.chkCollapse.SetValue(1);
  w.chkCollapseInitially.SetValue(2);
  subSaveCaptions(saved->window, hive, services);

  const std::map<std::string, std::string> expected = {
      {"DestinationFolder", folder.path().string()},
      {"iNamingScheme", "1"},
      {"iNumbering", ""},
      {"GenerateTOC", "0"},
      {"OverwriteFiles", "1"},
      {"RunTOC", "0"},
      {"optGroup", "1"},
      {"chkAttachments", "1"},
      {"chkCollapse", "1"},
      {"chkCollapseInitially", "2"},
  };
  for (const auto& [name, text] : expected) EXPECT_EQ(Stored(name), text) << name;
  const platform::RegKey* key =
      hive.Root().Find({"Software", "Tessaly", "Outlook Lorva", "Settings"});
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->values.size(), expected.size());

  auto restored = NewForm();
  subSetCaptions(restored->window, hive, services);
  const RunWindow& r = restored->form;
  EXPECT_EQ(r.txtDestination.Text(), w.txtDestination.Text());
  EXPECT_TRUE(r.optNaming.IsSelected(1));
  EXPECT_EQ(r.txtNumbering.Text(), "");
  EXPECT_EQ(r.chkExtractIndexPage.Value(), 0);
  EXPECT_EQ(r.chkOverwrite.Value(), 1);
  EXPECT_EQ(r.chkRun.Value(), 0);
  EXPECT_TRUE(r.optGroup.IsSelected(1));
  EXPECT_EQ(r.chkAttachments.Value(), 1);
  EXPECT_EQ(r.chkCollapse.Value(), 1);
  EXPECT_EQ(r.chkCollapseInitially.Value(), 2);
}

TEST_F(SettingsTest, SavingTwiceEqualsSavingOnce) {
  const std::filesystem::path path = folder.path() / "registry.reg";
  platform::FileRegistryHive file(path.string());
  // "Exit" saves, and so does the closing it leads to: the window's option hooks.
  auto f = NewForm();
  RestoreOptionsHook(file, services)(f->form);
  f->form.txtNumbering.SetText("2000");
  const auto save = SaveOptionsHook(file, services);
  save(f->form);
  const std::string once = lorva::testing::ReadBytes(path);
  save(f->form);
  EXPECT_EQ(lorva::testing::ReadBytes(path), once);
  EXPECT_NE(once.find("\"iNumbering\"=\"2000\"\n"), std::string::npos) << once;
}

TEST_F(SettingsTest, ASaveTheHiveRefusesIsReported) {
  const std::filesystem::path path = folder.path() / "registry.reg";
  const std::string damaged = "damaged\n";
  lorva::testing::WriteBytes(path, damaged);
  platform::FileRegistryHive file(path.string());
  auto f = NewForm();
  subSaveCaptions(f->window, file, returningServices);
  const std::string& report = returningReporter.ReportText();
  EXPECT_NE(report.find("Could not open/create registry section\r\n#" +
                        std::to_string(static_cast<std::int32_t>(0x800407D0u + 1015))),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("Sub routine : subSaveCaptions "), std::string::npos) << report;
  EXPECT_EQ(lorva::testing::ReadBytes(path), damaged);
  EXPECT_THROW(subSaveCaptions(f->window, file, services), ProgramEnded);
}

// Exit saves twice (the button, then the closing it leads to). A settings file that cannot be
// used is never written; the user hears of it once: at the start, or at the first save that
// finds it.
TEST_F(SettingsTest, DamagedSettingsFileIsToldOnceAndNotSavedAtExit) {
  for (const bool damagedAtStart : {true, false}) {
    SCOPED_TRACE(damagedAtStart ? "damaged before the start" : "damaged while the program ran");
    const std::filesystem::path path = folder.path() / "registry.reg";
    std::filesystem::remove(path);
    if (damagedAtStart) lorva::testing::WriteBytes(path, "damaged\n");
    platform::FileRegistryHive file(path.string());
    const auto save = SaveOptionsHook(file, services);
    lorva::testing::WriteBytes(path, "damaged\n");
    auto f = NewForm();
    const std::size_t shown = dialogs.shown().size();
    save(f->form);
    save(f->form);
    EXPECT_EQ(dialogs.shown().size() - shown, damagedAtStart ? 0u : 1u);
    EXPECT_FALSE(reporter.ReportShown()) << "no error report";
    EXPECT_EQ(lorva::testing::ReadBytes(path), "damaged\n");
  }
}

}  // namespace
}  // namespace lorva
