#include "app/qt/main_window_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "app/appearance.h"
#include "app/qt/window_font.h"
#include "qt_window/qt_app.h"
#include "support_code/program_fixture.h"

namespace lorva::testing {
namespace {

class MainWindowViewTest : public ProgramFixture {
 protected:
  void SetUp() override {
    App();
    Add(FakeItem::Post("Printer jams", "Hardware", "FAQ"));
    Add(FakeItem::Post("VPN drops", "Network", "Troubleshooting"));
    Load();
    view = std::make_unique<MainWindowView>(*form, 1.0 / 15.0, QImage(),
                                            WindowFont(WindowFontChoice::kNamed));
  }
  template <typename Widget>
  Widget* Get(const char* name) {
    return static_cast<Widget*>(view->Control(name));
  }
  std::unique_ptr<MainWindowView> view;
};

TEST_F(MainWindowViewTest, ClicksReachTheModelAndItsRules) {
  EXPECT_EQ(Get<QListWidget>("lstProblemCategory")->item(1)->checkState(), Qt::Checked);
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
  EXPECT_TRUE(Exists("Printer jams.htm"));
}

// The pixels a control draws (alpha above 0) when it is `size` large, its background left out.
int InkedPixels(QWidget* widget, QSize size) {
  const QSize own = widget->size();
  const bool fills = widget->autoFillBackground();
  widget->setAutoFillBackground(false);
  widget->resize(size);
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  widget->resize(own);
  widget->setAutoFillBackground(fills);
  int inked = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) inked += qAlpha(image.pixel(x, y)) > 0;
  }
  return inked;
}

// In each font and widget style, a clipped caption draws less at its size than with room to
// spare (a label that wraps keeps its width, or its lines would change).
TEST_F(MainWindowViewTest, EveryCaptionShowsWholeInEitherFont) {
  ASSERT_TRUE(NamedFontInstalled()) << "the Tahoma-compatible face is missing: install fonts-wine";
  const QString styleBefore = QApplication::style()->name();
  for (const char* style : {"Fusion", "Windows"}) {
    for (WindowFontChoice font : {WindowFontChoice::kFallback, WindowFontChoice::kNamed}) {
      const bool named = font == WindowFontChoice::kNamed;
      SCOPED_TRACE(std::string(style) + (named ? ", Tahoma-compatible" : ", DejaVu Sans"));
      QApplication::setStyle(style);
      MainWindowView view(*form, 1.0 / 15.0, QImage(), WindowFont(font));
      for (const ControlLayout& c : MainWindowLayout()) {
        QWidget* widget = view.Control(c.name);
        auto* label = qobject_cast<QLabel*>(widget);
        auto* button = qobject_cast<QAbstractButton*>(widget);
        const QString caption = label ? label->text() : button ? button->text() : QString();
        if (caption.isEmpty()) continue;
        SCOPED_TRACE(c.name + ": " + caption.toStdString());
        const QSize size = widget->size();
        if (qobject_cast<QPushButton*>(widget)) {
          const QSize text = widget->fontMetrics().size(Qt::TextShowMnemonic, caption);
          EXPECT_LE(text.width() + 8, size.width());
          EXPECT_LE(text.height(), size.height());
          continue;
        }
        const bool wraps = label != nullptr && label->wordWrap();
        const int roomy = InkedPixels(widget, size + QSize(wraps ? 0 : 200, 40));
        EXPECT_GT(roomy, 0);
        EXPECT_EQ(InkedPixels(widget, size), roomy)
            << "drawn in " << size.width() << " x " << size.height() << " pixels";
      }
    }
  }
  QApplication::setStyle(styleBefore);
}

}  // namespace
}  // namespace lorva::testing
