#include "app/qt/main_window_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "archive/run_fixture.h"

namespace lorva::testing {
namespace {

// One QApplication for the whole program, on the offscreen platform.
QApplication& App() {
  static int argc = 1;
  static char name[] = "test_qt_window";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class MainWindowViewTest : public ProgramFixture {
 protected:
  void SetUp() override {
    App();
    Add(FakeItem::Post("Printer jams", "Hardware", "FAQ"));
    Add(FakeItem::Post("VPN drops", "Network", "Troubleshooting"));
    Load();
    view = std::make_unique<MainWindowView>(*form, 1.0 / 15.0, QImage());
  }
  template <typename Widget>
  Widget* Get(const char* name) {
    return static_cast<Widget*>(view->Control(name));
  }
  void Type(QWidget* widget, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
  }
  std::unique_ptr<MainWindowView> view;
};

TEST_F(MainWindowViewTest, ShowsTheWindowModelsState) {
  EXPECT_EQ(view->windowTitle().toStdString(), "2.1.362 (Lorva for Outlook)");
  auto* categories = Get<QListWidget>("lstProblemCategory");
  ASSERT_EQ(categories->count(), 2);
  EXPECT_EQ(categories->item(0)->text().toStdString(), "Hardware");
  EXPECT_EQ(categories->item(1)->checkState(), Qt::Checked);
  EXPECT_TRUE(Get<QCheckBox>("chkCollapse")->isChecked());
  EXPECT_TRUE(Get<QRadioButton>("optGroup0")->isChecked());
  EXPECT_EQ(Get<QLineEdit>("txtNumbering")->text().toStdString(), "1000");
  EXPECT_TRUE(Get<QProgressBar>("pb")->isHidden()) << "the progress bar is hidden while idle";
}

TEST_F(MainWindowViewTest, ClicksReachTheModelAndItsRules) {
  Get<QRadioButton>("optGroup1")->click();
  EXPECT_TRUE(form->optGroup.IsSelected(1));
  EXPECT_FALSE(Get<QCheckBox>("chkCollapse")->isEnabled());
  Get<QCheckBox>("chkSelectAllType")->click();
  EXPECT_FALSE(form->lstProblemType.Selected(0)) << "unticking select-all unticks every type";
  EXPECT_EQ(Get<QListWidget>("lstProblemType")->item(0)->checkState(), Qt::Unchecked);
  Get<QListWidget>("lstProblemType")->item(1)->setCheckState(Qt::Checked);
  EXPECT_TRUE(form->lstProblemType.Selected(1));
}

TEST_F(MainWindowViewTest, GenerateReadsCancelWhileTheRunWorks) {
  std::string captionDuringRun;
  bool progressShown = false;
  pump.actions[1] = [&] {
    view->Refresh();
    captionDuringRun = Get<QPushButton>("cmdGenerate")->text().toStdString();
    progressShown = !Get<QProgressBar>("pb")->isHidden();
  };
  form->optGroup.Select(1);
  Get<QPushButton>("cmdGenerate")->click();
  EXPECT_EQ(captionDuringRun, "Cancel..");
  EXPECT_TRUE(progressShown);
  EXPECT_EQ(Get<QPushButton>("cmdGenerate")->text().toStdString(), "Generate");
  EXPECT_TRUE(Exists("index.htm"));
  EXPECT_TRUE(Exists("Printer jams.htm"));
}

TEST_F(MainWindowViewTest, NumberBoxDropsLettersAndTakesFiveCharacters) {
  auto* box = Get<QLineEdit>("txtNumbering");
  box->clear();
  Type(box, Qt::Key_1, "1");
  Type(box, Qt::Key_2, "2");
  Type(box, Qt::Key_A, "a");
  Type(box, Qt::Key_3, "3");
  EXPECT_EQ(box->text().toStdString(), "123");
  EXPECT_EQ(form->txtNumbering.Text(), "123");
  Type(box, Qt::Key_Backspace, "");
  EXPECT_EQ(box->text().toStdString(), "12");
  for (const char* digit : {"4", "5", "6", "7"}) Type(box, Qt::Key_4, digit);
  EXPECT_EQ(box->text().toStdString(), "12456");
}

TEST_F(MainWindowViewTest, ControlsStandWhereTheLayoutPutsThemAt96Dpi) {
  struct Case {
    const char* name;
    QRect pixels;  // twips / 15
  };
  const Case cases[] = {
      {"txtDestination", QRect(8, 72, 401, 25)},
      {"cmdBrowseDestination", QRect(416, 72, 33, 25)},
      {"fNaming", QRect(8, 104, 441, 49)},
      {"txtNumbering", QRect(336, 0, 65, 19)},
      {"chkExtractIndexPage", QRect(16, 160, 217, 17)},
      {"lstProblemType", QRect(224, 33, 209, 124)},
      {"cmdGenerate", QRect(264, 16, 89, 27)},
      {"pb", QRect(128, 48, 321, 17)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(view->Control(c.name)->geometry(), c.pixels);
  }
  EXPECT_EQ(view->size(), QSize(458, 513)) << "the client area is 6870 x 7695 twips";
}

}  // namespace
}  // namespace lorva::testing
