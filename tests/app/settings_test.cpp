#include "app/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "base/error.h"
#include "support/registry_store.h"
#include "support_code/fake_outlook.h"
#include "support_code/recording_shell.h"
#include "support_code/temp_folder.h"
#include "support_code/test_services.h"
#include "support_code/window_state.h"

namespace lorva {
namespace {

using testing::Options;
using testing::TempFolder;

const std::string kDefaults =
    "dest= naming=0 number=1000 toc=1 overwrite=1 run=1 group=0 attachments=1 collapse=1 "
    "initially=1 | enabled group0 group1 collapse initially";

class SettingsTest : public ::testing::Test {
 protected:
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
        FormServices{test.services, files, connection, test.dialogs, pump, route, nullptr});
  }
  // Options restored from `stored`; the report when one was made (its reporter returns). Without
  // a report the caption is set; reading an empty store creates nothing in it.
  std::string Restored(const std::map<std::string, std::string>& stored, std::string* report) {
    platform::MemoryRegistryHive hive;
    for (const auto& [name, text] : stored) subSaveSetting(hive, "Settings", name, text);
    testing::TestServices returning;
    returning.MakeReportsReturn();
    auto f = NewForm();
    subSetCaptions(f->window, hive, returning.services);
    *report = returning.reporter.ReportText();
    EXPECT_TRUE(!report->empty() || f->form.Caption == "2.1.362 (Lorva for Outlook)")
        << f->form.Caption;
    EXPECT_TRUE(!stored.empty() || hive.Root().subkeys.empty()) << "reading created nothing";
    return Options(f->form) + (f->colourMatches == 1 ? "" : " (colours not matched)");
  }

  testing::TestServices test;
  testing::RecordingShell shell;
  FileHandling files{test.services, shell, nullptr, nullptr};
  testing::FakeLauncher launcher;
  outlook::Connection connection{test.services, launcher, test.dialogs};
  testing::ScriptedPump pump;
  UnavailableRichTextRoute route{test.services};
  TempFolder folder;
};

TEST_F(SettingsTest, StoredOptionsAreRestoredWithTheirEnablingRules) {
  const std::string there = folder.str();
  const struct {
    std::map<std::string, std::string> stored;
    std::string options;
  } cases[] = {
      {{}, kDefaults},
      {{{"DestinationFolder", there}, {"iNamingScheme", "1"}, {"iNumbering", "abc"}},
       "dest=" + there +
           " naming=1 number=abc toc=1 overwrite=1 run=1 group=0 attachments=1 collapse=1 "
           "initially=1 | enabled group0 group1 collapse initially"},
      {{{"DestinationFolder", there + " "}}, kDefaults},  // a blank after it: not the folder
      {{{"GenerateTOC", "0"}},
       "dest= naming=0 number=1000 toc=0 overwrite=1 run=1 group=0 attachments=1 collapse=1 "
       "initially=1 | enabled collapse initially"},
      {{{"optGroup", "1"}, {"chkCollapse", "0"}},
       "dest= naming=0 number=1000 toc=1 overwrite=1 run=1 group=1 attachments=1 collapse=0 "
       "initially=1 | enabled group0 group1"},
      {{{"chkCollapse", "0"}, {"chkCollapseInitially", "1"}},
       "dest= naming=0 number=1000 toc=1 overwrite=1 run=1 group=0 attachments=1 collapse=0 "
       "initially=1 | enabled group0 group1 collapse"},
      // Numbers as Visual Basic reads them: blanks allowed, half rounds to even.
      {{{"RunTOC", " 0 "}, {"OverwriteFiles", "0.5"}},
       "dest= naming=0 number=1000 toc=1 overwrite=0 run=0 group=0 attachments=1 collapse=1 "
       "initially=1 | enabled group0 group1 collapse initially"},
  };
  for (const auto& c : cases) {
    std::string report;
    SCOPED_TRACE(::testing::PrintToString(c.stored));
    EXPECT_EQ(Restored(c.stored, &report), c.options);
    EXPECT_EQ(report, "");
  }
}

// A value that cannot be restored is reported with its number; the options before it are
// restored, those after keep their initial states, no rule runs and no colour is matched.
TEST_F(SettingsTest, ABadStoredValueStopsTheRestoreWithAReport) {
  const struct {
    std::map<std::string, std::string> stored;
    std::string number;
  } cases[] = {
      {{{"optGroup", "2"}}, "340"},         // no such option button
      {{{"chkAttachments", "3"}}, "380"},   // a check box takes 0 to 2
      {{{"iNamingScheme", "70000"}}, "6"},  // beyond a 16-bit integer
  };
  for (const auto& c : cases) {
    std::string report;
    Restored(c.stored, &report);
    EXPECT_NE(report.find("#" + c.number + "\r\n"), std::string::npos)
        << c.stored.begin()->first << ": " << report;
  }
  std::string report;
  EXPECT_EQ(Restored({{"iNamingScheme", "1"},
                      {"iNumbering", "42"},
                      {"GenerateTOC", "x"},
                      {"RunTOC", "0"},
                      {"optGroup", "1"}},
                     &report),
            "dest= naming=1 number=42 toc=1 overwrite=0 run=0 group=0 attachments=0 collapse=0 "
            "initially=0 | enabled group0 group1 collapse initially (colours not matched)");
  EXPECT_NE(report.find("Type mismatch\r\n#13\r\n\r\nSub routine : subSetCaptions \r\n"
                        "Error on line: 6"),
            std::string::npos)
      << report;
}

TEST_F(SettingsTest, SavedOptionsComeBackAndSavingTwiceEqualsSavingOnce) {
  auto saved = NewForm();
  RunWindow& w = saved->form;
  w.txtDestination.SetText(folder.str());
  w.optNaming.Select(1);
  w.txtNumbering.SetText("");
  w.chkExtractIndexPage.SetValue(0);
  w.chkRun.SetValue(0);
  w.optGroup.Select(1);
  w.chkCollapseInitially.SetValue(2);
  platform::FileRegistryHive hive(folder / "registry.reg");
  const auto save = SaveOptionsHook(hive, test.services);
  save(saved->form);  // "Exit" saves, and so does the closing it leads to
  const std::string once = TempFolder::Read(folder / "registry.reg");
  save(saved->form);
  EXPECT_EQ(TempFolder::Read(folder / "registry.reg"), once);
  auto restored = NewForm();
  RestoreOptionsHook(hive, test.services)(restored->form);
  EXPECT_EQ(Options(restored->form), Options(w));
}

// Exit saves twice (the button, then the closing it leads to). A settings file that cannot be
// used is never written; the user hears of it once: at the start, or at the first save that
// finds it.
TEST_F(SettingsTest, DamagedSettingsFileIsToldOnceAndNotSavedAtExit) {
  for (const bool damagedAtStart : {true, false}) {
    SCOPED_TRACE(damagedAtStart ? "damaged before the start" : "damaged while the program ran");
    const std::string path = folder / "registry.reg";
    std::filesystem::remove(path);
    if (damagedAtStart) folder.Write("registry.reg", "damaged\n");
    platform::FileRegistryHive file(path);
    const auto save = SaveOptionsHook(file, test.services);
    folder.Write("registry.reg", "damaged\n");
    auto f = NewForm();
    test.dialogs.Clear();
    save(f->form);
    save(f->form);
    EXPECT_EQ(test.dialogs.shown().size(), damagedAtStart ? 0u : 1u);
    EXPECT_FALSE(test.reporter.ReportShown()) << "no error report";
    EXPECT_EQ(TempFolder::Read(path), "damaged\n");
  }
}

}  // namespace
}  // namespace lorva
