// The Qt view of the main window: every control at its place, mirroring the window model
// (frmMain) and forwarding the user's actions to it. The behaviour stays in the model.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/appearance.h"
#include "app/frm_main.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace lorva {

class MainWindowView : public QWidget {
 public:
  // `pixelsPerTwip` scales the layout (1/15 at 96 dpi); `font` is the window's (WindowFont).
  MainWindowView(frmMain& form, double pixelsPerTwip, QImage background, const QFont& font);

  // Shows the model's state: captions, values, ticks, enabled states, lists, progress, pointer.
  void Refresh();
  // Runs a handler of the model; when it ends the program, quits the application.
  void Call(const std::function<void()>& handler);
  // Set once the program has ended; the event pump then unwinds a run still working.
  bool Ended() const { return ended_; }
  int ExitCode() const { return exitCode_; }

  // Gives the opaque controls the background's colour under their centres.
  void MatchColours();

  // The control widget of that name (tests).
  QWidget* Control(const std::string& name) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QRect Pixels(const TwipRect& rect) const;
  void Build();
  // Lets each caption show whole in the font in use: a control grows to the right and downwards
  // into free space, and when that is not enough its font is made smaller by the least that does.
  void FitCaptions();
  void SyncList(QListWidget* widget, ui::CheckedListBox& list);
  // Connects the widgets to the model's controls and handlers.
  void Connect();

  // A widget with the model's control behind it.
  template <class Widget, class Model>
  struct Bound {
    Widget* widget = nullptr;
    Model* model = nullptr;
  };
  struct BoundOption {
    QRadioButton* widget = nullptr;
    ui::OptionGroup* group = nullptr;
    int index = 0;
  };

  frmMain& form_;
  double scale_;
  QImage background_;
  std::map<std::string, QWidget*> controls_;  // every widget, by its control's name
  // The widgets the view reads and writes, as what they are.
  Bound<QLineEdit, ui::TextBox> txtDestination_;
  Bound<QLineEdit, ui::TextBox> txtNumbering_;
  Bound<QPushButton, ui::Button> cmdGenerate_;
  Bound<QPushButton, ui::Button> cmdExit_;
  Bound<QPushButton, ui::Button> cmdBrowseDestination_;
  Bound<QListWidget, ui::CheckedListBox> lstProblemCategory_;
  Bound<QListWidget, ui::CheckedListBox> lstProblemType_;
  std::vector<Bound<QCheckBox, ui::CheckBox>> checkBoxes_;
  std::vector<BoundOption> optionButtons_;
  QProgressBar* pb_ = nullptr;
  QLabel* lblWebLink_ = nullptr;
  bool refreshing_ = false;
  bool ended_ = false;
  int exitCode_ = 0;
};

}  // namespace lorva
