#include "support_code/scripted_dialogs.h"

namespace lorva::testing {

int ScriptedDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
  Shown shown;
  shown.kind = Shown::Kind::kMessage;
  shown.text = prompt;
  shown.style = style;
  shown.title = title;
  shown_.push_back(shown);
  if (!answers_.empty()) {
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  const int buttons = style & 7;
  if (buttons == platform::msgbox::kYesNo) {
    return defaultYes_ ? platform::msgbox::kYes : platform::msgbox::kNo;
  }
  return platform::msgbox::kOk;
}

std::string ScriptedDialogs::BrowseForFolder(const std::string& title,
                                             const std::string& startFolder) {
  Shown shown;
  shown.kind = Shown::Kind::kBrowse;
  shown.text = title;
  shown.startFolder = startFolder;
  shown_.push_back(shown);
  if (browses_.empty()) return "";
  std::string folder = browses_.front();
  browses_.pop_front();
  return folder;
}

std::string ScriptedDialogs::PickMailFolder(const std::vector<std::string>& folderPaths,
                                            const std::string& currentPath) {
  Shown shown;
  shown.kind = Shown::Kind::kPick;
  shown.startFolder = currentPath;
  shown.folderPaths = folderPaths;
  shown_.push_back(shown);
  if (picks_.empty()) return "";
  std::string path = picks_.front();
  picks_.pop_front();
  return path;
}

std::vector<std::string> ScriptedDialogs::Messages() const {
  std::vector<std::string> texts;
  for (const Shown& shown : shown_) {
    if (shown.kind == Shown::Kind::kMessage) texts.push_back(shown.text);
  }
  return texts;
}

}  // namespace lorva::testing
