#include "app/settings.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "base/error.h"
#include "platform/outlook/value.h"
#include "support/error_reporter.h"
#include "support/registry_store.h"

namespace lorva {
namespace {

// Text to a 16-bit integer as Visual Basic's CInt reads it: blanks around the number are
// allowed, a fraction is rounded half to even. Throws Error 13 for text that is not a number and
// Error 6 for a number outside -32768..32767.
std::int16_t ToInteger(const std::string& text) {
  const outlook::Value value = outlook::Value::Text(text);
  if (!value.IsNumeric()) throw Error(errnum::kTypeMismatch, "Type mismatch");
  const double rounded = std::nearbyint(value.AsNumber());  // the default mode: half to even
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) throw Error(errnum::kOverflow, "Overflow");
  return static_cast<std::int16_t>(rounded);
}

std::string Get(platform::RegistryHive& hive, const char* name, const char* defaultText) {
  return fncGetSetting(hive, kSettingsSection, name, defaultText);
}

void Save(platform::RegistryHive& hive, const char* name, int number) {
  subSaveSetting(hive, kSettingsSection, name, std::to_string(number));
}

// The routine's error trap: hands the error to the reporter (which ends the program, or returns
// when it could not report). Ending the program is not an error and is not caught.
template <typename Body>
void WithTrap(ErrorReporter& reporter, const char* routine, Body&& body) {
  std::int16_t line = 0;
  try {
    body(line);
  } catch (const std::exception& e) {
    const Error error = ErrorFromException(e);
    reporter.subErrorHandler(error.description(), error.number(), line, routine);
  }
}

}  // namespace

void subSaveCaptions(SettingsWindow& window, platform::RegistryHive& hive, Services& services) {
  WithTrap(services.reporter, "subSaveCaptions", [&](std::int16_t& line) {
    RunWindow& w = window.State();
    line = 1;
    const int naming = w.optNaming.IsSelected(0) ? 0 : 1;
    const int grouping = w.optGroup.IsSelected(0) ? 0 : 1;
    line = 2;
    subSaveSetting(hive, kSettingsSection, "DestinationFolder", w.txtDestination.Text());
    line = 3;
    Save(hive, "iNamingScheme", naming);
    line = 4;
    subSaveSetting(hive, kSettingsSection, "iNumbering", w.txtNumbering.Text());
    line = 5;
    Save(hive, "GenerateTOC", w.chkExtractIndexPage.Value());
    Save(hive, "OverwriteFiles", w.chkOverwrite.Value());
    Save(hive, "RunTOC", w.chkRun.Value());
    line = 6;
    Save(hive, "optGroup", grouping);
    line = 7;
    Save(hive, "chkAttachments", w.chkAttachments.Value());
    Save(hive, "chkCollapse", w.chkCollapse.Value());
    Save(hive, "chkCollapseInitially", w.chkCollapseInitially.Value());
  });
}

void subSetCaptions(SettingsWindow& window, platform::RegistryHive& hive, Services& services) {
  WithTrap(services.reporter, "subSetCaptions", [&](std::int16_t& line) {
    RunWindow& w = window.State();
    line = 1;
    const std::string destination = Get(hive, "DestinationFolder", "");
    line = 2;
    w.Caption = fncGetVersion() + " (" + kProductName + ")";
    line = 3;
    w.txtDestination.SetText(services.Fs().FolderExists(destination) ? destination : "");
    line = 4;
    w.optNaming.Select(ToInteger(Get(hive, "iNamingScheme", "0")));
    line = 5;
    w.txtNumbering.SetText(Get(hive, "iNumbering", "1000"));
    line = 6;
    w.chkExtractIndexPage.SetValue(ToInteger(Get(hive, "GenerateTOC", "1")));
    w.chkOverwrite.SetValue(ToInteger(Get(hive, "OverwriteFiles", "1")));
    w.chkRun.SetValue(ToInteger(Get(hive, "RunTOC", "1")));
    line = 7;
    const std::int16_t grouping = ToInteger(Get(hive, "optGroup", "0"));
    w.optGroup.Select(grouping);
    window.optGroup_Click(grouping);
    line = 8;
    w.chkAttachments.SetValue(ToInteger(Get(hive, "chkAttachments", "1")));
    w.chkCollapse.SetValue(ToInteger(Get(hive, "chkCollapse", "1")));
    window.chkCollapse_Click();
    line = 9;
    w.chkCollapseInitially.SetValue(ToInteger(Get(hive, "chkCollapseInitially", "1")));
    line = 10;
    window.subMatchColours();
  });
}

std::function<void(frmMain&)> RestoreOptionsHook(platform::RegistryHive& hive, Services& services,
                                                 std::function<void()> matchColours) {
  return [&hive, &services, matchColours = std::move(matchColours)](frmMain& form) {
    FormSettingsWindow window(form, matchColours);
    subSetCaptions(window, hive, services);
  };
}

std::function<void(frmMain&)> SaveOptionsHook(platform::RegistryHive& hive, Services& services) {
  // A problem the hive has already at start-up is told then, by the program's start.
  const bool toldAtStart = !hive.Problem().empty();
  auto quiet = std::make_shared<bool>(false);
  return [&hive, &services, toldAtStart, quiet](frmMain& form) {
    if (*quiet) return;
    if (const std::string problem = hive.Problem(); !problem.empty()) {
      // Saving would fail on a settings file that is left alone: once the user has been told,
      // the options are not saved, quietly, until the program ends.
      *quiet = true;
      if (!toldAtStart) {
        services.reporter.dialogs().MsgBox(problem, platform::msgbox::kExclamation, kProductName);
      }
      return;
    }
    FormSettingsWindow window(form);
    subSaveCaptions(window, hive, services);
  };
}

}  // namespace lorva
