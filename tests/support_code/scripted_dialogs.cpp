#include "support_code/scripted_dialogs.h"

namespace lorva::testing {

int ScriptedDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
  shown_.push_back({prompt, style, title, "", {}, true});
  if (answers_.empty()) {
    if ((style & 7) != platform::msgbox::kYesNo) return platform::msgbox::kOk;
    return defaultYes_ ? platform::msgbox::kYes : platform::msgbox::kNo;
  }
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::string ScriptedDialogs::PickMailFolder(const std::vector<std::string>& folderPaths,
                                            const std::string& currentPath) {
  shown_.push_back({"", 0, "", currentPath, folderPaths, false});
  if (picks_.empty()) return "";
  std::string path = picks_.front();
  picks_.pop_front();
  return path;
}

std::vector<std::string> ScriptedDialogs::Messages() const {
  std::vector<std::string> texts;
  for (const Shown& shown : shown_) {
    if (shown.message) texts.push_back(shown.text);
  }
  return texts;
}

}  // namespace lorva::testing
