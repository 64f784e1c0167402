// A scripted stand-in for the program's dialogs: answers come from queues the test fills, and
// every dialog shown is recorded in order.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

namespace lorva::testing {

class ScriptedDialogs : public platform::Dialogs {
 public:
  // One dialog as it was shown: a message box (text, style, title) or the mail folder picker
  // (its choices, the current path as start folder).
  struct Shown {
    std::string text;
    int style = 0;
    std::string title, startFolder;
    std::vector<std::string> folderPaths;
    bool message = false;
  };

  // Queues the answer of the next message box (msgbox::kYes, kNo, kOk).
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  // Queues the path the next folder picker returns ("" for closed without a choice).
  void QueuePick(const std::string& path) { picks_.push_back(path); }
  // The answer of a message box when the queue is empty: Yes for Yes/No boxes when
  // `defaultYes`, No otherwise; OK for the other boxes.
  void SetDefaultYes(bool defaultYes) { defaultYes_ = defaultYes; }

  int MsgBox(const std::string& prompt, int style, const std::string& title) override;
  // The folder browser, cancelled unseen.
  std::string BrowseForFolder(const std::string&, const std::string&) override { return ""; }
  std::string PickMailFolder(const std::vector<std::string>& folderPaths,
                             const std::string& currentPath) override;

  const std::vector<Shown>& shown() const { return shown_; }
  // The texts of the message boxes shown, in order.
  std::vector<std::string> Messages() const;
  void Clear() { shown_.clear(); }

 private:
  std::deque<int> answers_;
  std::deque<std::string> picks_;
  std::vector<Shown> shown_;
  bool defaultYes_ = false;
};

}  // namespace lorva::testing
