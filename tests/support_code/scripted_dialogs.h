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
  // One dialog as it was shown.
  struct Shown {
    enum class Kind { kMessage, kBrowse, kPick };
    Kind kind = Kind::kMessage;
    std::string text;                      // the prompt, or the browse dialog's title
    int style = 0;                         // message box style
    std::string title;                     // message box title
    std::string startFolder;               // browse dialog's start folder, picker's current path
    std::vector<std::string> folderPaths;  // the picker's choices
  };

  // Queues the answer of the next message box (msgbox::kYes, kNo, kOk).
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  // Queues the folder the next browse dialog returns ("" for cancelled).
  void QueueBrowse(const std::string& folder) { browses_.push_back(folder); }
  // Queues the path the next folder picker returns ("" for closed without a choice).
  void QueuePick(const std::string& path) { picks_.push_back(path); }
  // The answer of a message box when the queue is empty: Yes for Yes/No boxes when
  // `defaultYes`, No otherwise; OK for the other boxes.
  void SetDefaultYes(bool defaultYes) { defaultYes_ = defaultYes; }

  int MsgBox(const std::string& prompt, int style, const std::string& title) override;
  std::string BrowseForFolder(const std::string& title, const std::string& startFolder) override;
  std::string PickMailFolder(const std::vector<std::string>& folderPaths,
                             const std::string& currentPath) override;

  const std::vector<Shown>& shown() const { return shown_; }
  // The texts of the message boxes shown, in order.
  std::vector<std::string> Messages() const;
  // Whether answers are still queued (a test can check that all were used).
  bool AnswersLeft() const { return !answers_.empty() || !browses_.empty() || !picks_.empty(); }
  void Clear() { shown_.clear(); }

 private:
  std::deque<int> answers_;
  std::deque<std::string> browses_;
  std::deque<std::string> picks_;
  std::vector<Shown> shown_;
  bool defaultYes_ = false;
};

}  // namespace lorva::testing
