#include "app/qt/main_window_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <optional>

#include "app/appearance.h"
#include "app/qt/frame_box.h"
#include "base/error.h"

namespace lorva {
namespace {

// Captions keep "&&" for a shown "&"; Qt marks access keys the same way, so they stand as they
// are on buttons and boxes, and labels show them with the doubling undone.
QString Caption(const std::string& caption) {
  return QString::fromStdString(caption);
}
QString LabelText(const std::string& caption) {
  QString text = QString::fromStdString(caption);
  text.replace("&&", "&");
  return text;
}

// The code a key gives the key filter when it types a character (Backspace, Enter and Escape
// included); nothing for the keys that move, edit or make a shortcut (Tab, Delete, the arrows,
// Home, End, Ctrl+C...), which the box handles as every text box does. Decided by the key and its
// modifiers, not its text: X11 gives Tab the text "\t" and Delete "\x7f".
std::optional<int> TypedCharacter(const QKeyEvent& key) {
  if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
    return std::nullopt;
  }
  switch (key.key()) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    default:
      break;
  }
  const QString text = key.text();
  if (text.isEmpty() || !text.at(0).isPrint()) return std::nullopt;
  return static_cast<int>(text.at(0).unicode());
}

// Whether `widget` shows its whole caption when it is `size` large: the text within the part the
// style draws it in, a check box's or option button's mark within the control.
bool ShowsCaptionWhole(const QWidget& widget, QSize size) {
  if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
    if (label->wordWrap()) return label->heightForWidth(size.width()) <= size.height();
    const QSize need = label->sizeHint();
    return need.width() <= size.width() && need.height() <= size.height();
  }
  const auto* button = qobject_cast<const QAbstractButton*>(&widget);
  if (button == nullptr) return true;
  QStyleOptionButton option;
  option.initFrom(button);
  option.rect = QRect(QPoint(0, 0), size);
  option.text = button->text();
  const QStyle* style = button->style();
  const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
  QRect contents;
  if (qobject_cast<const QPushButton*>(button)) {
    contents = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  } else {
    const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
    contents = style->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, button);
    const QRect mark = style->subElementRect(
        radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, button);
    if (!option.rect.contains(mark)) return false;
  }
  return contents.width() >= text.width() && contents.height() >= text.height();
}

// Where `widget` may draw beyond its rectangle: to the right and downwards, up to its container's
// inner edge and short of its neighbours. A control that lies on another (the check box on a
// frame's title line) keeps its height, and its right end as far from that one's right edge as
// its left end is from the left edge.
QRect FreeArea(const QWidget& widget) {
  constexpr int kGap = 2;  // kept free between neighbours
  const QRect r = widget.geometry();
  const QWidget* parent = widget.parentWidget();
  QRect inner = parent->rect();
  if (const auto* frame = dynamic_cast<const FrameBox*>(parent)) {
    inner = frame->BorderRect().adjusted(kGap, kGap, -kGap, -kGap);
  }
  int right = inner.right();
  int bottom = inner.bottom();
  std::vector<QRect> neighbours;
  for (const QObject* child : parent->children()) {
    const auto* sibling = qobject_cast<const QWidget*>(child);
    if (sibling == nullptr || sibling == &widget || sibling->isWindow()) continue;
    const QRect g = sibling->geometry();
    if (g.contains(r)) {
      right = std::min(right, g.right() - (r.left() - g.left()));
      bottom = r.bottom();
    } else if (!g.intersects(r)) {
      neighbours.push_back(g);
    }
  }
  for (const QRect& g : neighbours) {
    if (g.left() > r.right() && g.top() <= r.bottom() && g.bottom() >= r.top()) {
      right = std::min(right, g.left() - kGap);
    }
  }
  for (const QRect& g : neighbours) {
    if (g.top() > r.bottom() && g.left() <= right && g.right() >= r.left()) {
      bottom = std::min(bottom, g.top() - kGap);
    }
  }
  return QRect(r.topLeft(), QPoint(std::max(right, r.right()), std::max(bottom, r.bottom())));
}

// The smallest size from `least` up to `most` (the lowest height first, then the narrowest width)
// at which `widget` shows its caption whole; nothing when even `most` is too small.
std::optional<QSize> LeastSizeShowingCaption(const QWidget& widget, QSize least, QSize most) {
  for (int height = least.height(); height <= most.height(); ++height) {
    if (!ShowsCaptionWhole(widget, QSize(most.width(), height))) continue;
    int low = least.width(), high = most.width();  // the narrowest width that shows it
    while (low < high) {
      const int mid = (low + high) / 2;
      if (ShowsCaptionWhole(widget, QSize(mid, height))) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    return QSize(low, height);
  }
  return std::nullopt;
}

}  // namespace

MainWindowView::MainWindowView(frmMain& form, double pixelsPerTwip, QImage background,
                               const QFont& font)
    : form_(form), scale_(pixelsPerTwip), background_(std::move(background)) {
  setFont(font);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(Pixels({0, 0, kClientWidthTwips, kClientHeightTwips}).size());
  Build();
  Refresh();
}

QRect MainWindowView::Pixels(const TwipRect& rect) const {
  return QRect(qRound(rect.left * scale_), qRound(rect.top * scale_), qRound(rect.width * scale_),
               qRound(rect.height * scale_));
}

QWidget* MainWindowView::Control(const std::string& name) const {
  const auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

void MainWindowView::Build() {
  // The widgets made, by their controls' names, as what they are.
  std::map<std::string, QLineEdit*> texts;
  std::map<std::string, QPushButton*> buttons;
  std::map<std::string, QCheckBox*> checks;
  std::map<std::string, QRadioButton*> options;
  std::map<std::string, QListWidget*> lists;
  std::map<std::string, QLabel*> labels;
  for (const ControlLayout& c : MainWindowLayout()) {
    QWidget* parent = c.container.empty() ? this : controls_.at(c.container);
    QWidget* widget = nullptr;
    QRect rect = Pixels(c.rect);
    switch (c.kind) {
      case ControlKind::kLabel: {
        auto* label = new QLabel(LabelText(c.caption), parent);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setAttribute(Qt::WA_TranslucentBackground);
        widget = labels[c.name] = label;
        break;
      }
      case ControlKind::kText:
        widget = texts[c.name] = new QLineEdit(parent);
        break;
      case ControlKind::kButton:
        widget = buttons[c.name] = new QPushButton(Caption(c.caption), parent);
        break;
      case ControlKind::kFrame: {
        auto* box = new FrameBox(Caption(c.caption), Pixels({120, 0, 0, 0}).left(), parent);
        box->setAutoFillBackground(true);
        widget = box;
        break;
      }
      case ControlKind::kPanel:
        widget = new QWidget(parent);
        break;
      case ControlKind::kOption: {
        auto* option = new QRadioButton(Caption(c.caption), parent);
        option->setAutoExclusive(false);  // the model decides which one is selected
        widget = options[c.name] = option;
        break;
      }
      case ControlKind::kCheck: {
        auto* check = new QCheckBox(Caption(c.caption), parent);
        check->setTristate(true);
        widget = checks[c.name] = check;
        break;
      }
      case ControlKind::kList:
        widget = lists[c.name] = new QListWidget(parent);
        break;
      case ControlKind::kProgress:
        pb_ = new QProgressBar(parent);
        pb_->setTextVisible(false);
        widget = pb_;
        break;
      case ControlKind::kLine: {
        auto* line = new QFrame(parent);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        rect.setHeight(2);
        widget = line;
        break;
      }
    }
    widget->setGeometry(rect);
    widget->setObjectName(QString::fromStdString(c.name));
    controls_[c.name] = widget;
  }

  txtDestination_ = {texts.at("txtDestination"), &form_.txtDestination};
  txtNumbering_ = {texts.at("txtNumbering"), &form_.txtNumbering};
  cmdGenerate_ = {buttons.at("cmdGenerate"), &form_.cmdGenerate};
  cmdExit_ = {buttons.at("cmdExit"), &form_.cmdExit};
  cmdBrowseDestination_ = {buttons.at("cmdBrowseDestination"), &form_.cmdBrowseDestination};
  lstProblemCategory_ = {lists.at("lstProblemCategory"), &form_.lstProblemCategory};
  lstProblemType_ = {lists.at("lstProblemType"), &form_.lstProblemType};
  checkBoxes_ = {{checks.at("chkExtractIndexPage"), &form_.chkExtractIndexPage},
                 {checks.at("chkCollapse"), &form_.chkCollapse},
                 {checks.at("chkCollapseInitially"), &form_.chkCollapseInitially},
                 {checks.at("chkAttachments"), &form_.chkAttachments},
                 {checks.at("chkOverwrite"), &form_.chkOverwrite},
                 {checks.at("chkRun"), &form_.chkRun},
                 {checks.at("chkSelectAllCategory"), &form_.chkSelectAllCategory},
                 {checks.at("chkSelectAllType"), &form_.chkSelectAllType}};
  optionButtons_ = {{options.at("optNaming0"), &form_.optNaming, 0},
                    {options.at("optNaming1"), &form_.optNaming, 1},
                    {options.at("optGroup0"), &form_.optGroup, 0},
                    {options.at("optGroup1"), &form_.optGroup, 1}};
  lblWebLink_ = labels.at("lblWebLink");

  // Labels in bold, and the web link.
  for (const char* name : {"Label4", "Label5"}) {
    QFont bold = labels.at(name)->font();
    bold.setBold(true);
    labels.at(name)->setFont(bold);
  }
  lblWebLink_->setText(QString::fromUtf8(LORVA_WEB_SITE));
  lblWebLink_->setWordWrap(false);
  QFont underlined = lblWebLink_->font();
  underlined.setUnderline(true);
  lblWebLink_->setFont(underlined);
  QPalette linkPalette = lblWebLink_->palette();
  linkPalette.setColor(QPalette::WindowText, palette().color(QPalette::Highlight));
  lblWebLink_->setPalette(linkPalette);
  lblWebLink_->setCursor(Qt::PointingHandCursor);
  lblWebLink_->installEventFilter(this);
  txtNumbering_.widget->setMaxLength(5);
  // The menu's and a drop's text would pass by the key filter.
  txtNumbering_.widget->setContextMenuPolicy(Qt::NoContextMenu);
  txtNumbering_.widget->setAcceptDrops(false);
  txtNumbering_.widget->installEventFilter(this);
  Connect();

  // Tab order.
  const char* order[] = {"txtDestination",
                         "cmdBrowseDestination",
                         "optNaming0",
                         "optNaming1",
                         "txtNumbering",
                         "chkExtractIndexPage",
                         "optGroup1",
                         "optGroup0",
                         "cmdExit",
                         "cmdGenerate",
                         "chkOverwrite",
                         "chkRun",
                         "chkAttachments",
                         "chkSelectAllType",
                         "chkSelectAllCategory",
                         "lstProblemCategory",
                         "lstProblemType",
                         "chkCollapse",
                         "chkCollapseInitially"};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
    setTabOrder(controls_.at(order[i]), controls_.at(order[i + 1]));
  }
  // The check box that covers the frame's title line hides the line behind its caption; the
  // other controls let their container's background show through.
  checks.at("chkExtractIndexPage")->raise();
  checks.at("chkExtractIndexPage")->setAutoFillBackground(true);
  FitCaptions();
}

void MainWindowView::Connect() {
  connect(txtDestination_.widget, &QLineEdit::textEdited, this,
          [this](const QString& text) { form_.txtDestination.SetText(text.toStdString()); });
  connect(txtNumbering_.widget, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (!refreshing_) form_.txtNumbering.SetText(text.toStdString());
  });
  auto button = [this](QPushButton* widget, std::function<void()> handler) {
    connect(widget, &QPushButton::clicked, this, [this, handler] { Call(handler); });
  };
  button(cmdGenerate_.widget, [this] { form_.cmdGenerate_Click(); });
  button(cmdExit_.widget, [this] { form_.cmdExit_Click(); });
  button(cmdBrowseDestination_.widget, [this] { form_.cmdBrowseDestination_Click(); });
  for (const BoundOption& option : optionButtons_) {
    connect(option.widget, &QRadioButton::clicked, this, [this, option] {
      if (!refreshing_) Call([option] { option.group->Select(option.index); });
    });
  }
  for (const Bound<QCheckBox, ui::CheckBox>& check : checkBoxes_) {
    connect(check.widget, &QCheckBox::clicked, this, [this, check] {
      if (refreshing_) return;
      // A click toggles between ticked and unticked; greyed is only ever set by the program.
      const int value = check.model->Value() == 1 ? 0 : 1;
      check.widget->setCheckState(value == 1 ? Qt::Checked : Qt::Unchecked);
      Call([check, value] { check.model->SetValue(value); });
    });
  }
  for (const Bound<QListWidget, ui::CheckedListBox>& list :
       {lstProblemCategory_, lstProblemType_}) {
    connect(list.widget, &QListWidget::itemChanged, this, [this, list](QListWidgetItem* item) {
      if (refreshing_) return;
      const int row = list.widget->row(item);
      if (row >= 0 && row < list.model->ListCount()) {
        list.model->SetSelected(row, item->checkState() == Qt::Checked);
      }
    });
  }
}

void MainWindowView::FitCaptions() {
  constexpr double kSmallestPoints = 5.0;
  constexpr double kPointStep = 0.25;
  for (const ControlLayout& c : MainWindowLayout()) {
    QWidget* widget = controls_.at(c.name);
    const auto* label = qobject_cast<QLabel*>(widget);
    const auto* button = qobject_cast<QAbstractButton*>(widget);
    if ((label == nullptr || label->text().isEmpty()) &&
        (button == nullptr || button->text().isEmpty())) {
      continue;
    }
    const QSize least = widget->size();
    const QSize most = FreeArea(*widget).size();
    std::optional<QSize> size = LeastSizeShowingCaption(*widget, least, most);
    QFont font = widget->font();
    while (!size && font.pointSizeF() - kPointStep >= kSmallestPoints) {
      font.setPointSizeF(font.pointSizeF() - kPointStep);
      widget->setFont(font);
      size = LeastSizeShowingCaption(*widget, least, most);
    }
    if (size) widget->resize(*size);
  }
}

void MainWindowView::MatchColours() {
  // Each listed control takes the background's colour under its centre, in this order; the
  // others copy a sampled one.
  const int twipsPerPixel = qMax(1, qRound(1.0 / scale_));
  auto layoutOf = [](const std::string& name) {
    for (const ControlLayout& c : MainWindowLayout()) {
      if (c.name == name) return c.rect;
    }
    return TwipRect{};
  };
  const QImage picture =
      background_.isNull()
          ? QImage()
          : background_.scaled(Pixels({0, 0, kClientWidthTwips, kClientHeightTwips}).size());
  const PixelReader read = [&picture](PixelPoint p) -> std::optional<std::uint32_t> {
    if (picture.isNull() || !picture.valid(p.x, p.y)) return std::nullopt;
    const QRgb rgb = picture.pixel(p.x, p.y);
    return static_cast<std::uint32_t>(qRed(rgb) | qGreen(rgb) << 8 | qBlue(rgb) << 16);
  };
  std::map<std::string, QColor> colours;
  auto setColour = [this, &colours](const std::string& name, QColor colour) {
    colours[name] = colour;
    QWidget* widget = controls_.at(name);
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::Button, colour);
    widget->setPalette(p);
  };
  auto sample = [&](const std::string& name) {
    const QColor current = controls_.at(name)->palette().color(QPalette::Window);
    const std::uint32_t bgr =
        static_cast<std::uint32_t>(current.red() | current.green() << 8 | current.blue() << 16);
    const std::uint32_t got =
        SampledBackColor(layoutOf(name), twipsPerPixel, twipsPerPixel, read, bgr);
    setColour(name, QColor(got & 0xFF, (got >> 8) & 0xFF, (got >> 16) & 0xFF));
  };
  auto copy = [&](const std::string& from, std::initializer_list<const char*> to) {
    for (const char* name : to) setColour(name, colours.at(from));
  };
  sample("fTOC");
  copy("fTOC", {"pTOC", "optGroup0", "optGroup1"});
  sample("frameOtherSettings");
  sample("frameSelect");
  copy("frameOtherSettings", {"chkOverwrite", "chkRun", "chkAttachments"});
  copy("pTOC", {"chkCollapse", "chkCollapseInitially"});
  sample("frameBottom");
  copy("fTOC", {"chkExtractIndexPage"});
  sample("fNaming");
  copy("fNaming", {"pNaming", "optNaming0", "optNaming1"});
}

void MainWindowView::SyncList(QListWidget* widget, ui::CheckedListBox& list) {
  if (widget->count() != list.ListCount()) {
    widget->clear();
    for (int i = 0; i < list.ListCount(); ++i) {
      auto* item = new QListWidgetItem(QString::fromStdString(list.List(i)), widget);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    }
  }
  for (int i = 0; i < list.ListCount(); ++i) {
    QListWidgetItem* item = widget->item(i);
    const QString text = QString::fromStdString(list.List(i));
    if (item->text() != text) item->setText(text);
    const Qt::CheckState state = list.Selected(i) ? Qt::Checked : Qt::Unchecked;
    if (item->checkState() != state) item->setCheckState(state);
  }
  widget->setEnabled(list.Enabled());
}

void MainWindowView::Refresh() {
  refreshing_ = true;
  setWindowTitle(QString::fromStdString(form_.Caption));
  for (const Bound<QLineEdit, ui::TextBox>& text : {txtDestination_, txtNumbering_}) {
    const QString value = QString::fromStdString(text.model->Text());
    if (text.widget->text() != value) text.widget->setText(value);
    text.widget->setEnabled(text.model->Enabled());
  }
  for (const Bound<QCheckBox, ui::CheckBox>& check : checkBoxes_) {
    const int value = check.model->Value();
    check.widget->setCheckState(value == 1   ? Qt::Checked
                                : value == 2 ? Qt::PartiallyChecked
                                             : Qt::Unchecked);
    check.widget->setEnabled(check.model->Enabled());
  }
  for (const BoundOption& option : optionButtons_) {
    option.widget->setChecked(option.group->IsSelected(option.index));
    option.widget->setEnabled(option.group->Enabled(option.index));
  }
  SyncList(lstProblemCategory_.widget, *lstProblemCategory_.model);
  SyncList(lstProblemType_.widget, *lstProblemType_.model);
  for (const Bound<QPushButton, ui::Button>& button :
       {cmdGenerate_, cmdExit_, cmdBrowseDestination_}) {
    button.widget->setText(QString::fromStdString(button.model->Caption()));
    button.widget->setEnabled(button.model->Enabled());
  }
  pb_->setRange(form_.pb.Min(), form_.pb.Max());
  pb_->setValue(form_.pb.Value());
  pb_->setVisible(form_.pb.Visible());
  if (form_.MousePointer == ui::MousePointer::kHourglass) {
    if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  }
  refreshing_ = false;
}

void MainWindowView::Call(const std::function<void()>& handler) {
  if (ended_) return;
  try {
    handler();
  } catch (const ProgramEnded& end) {
    ended_ = true;
    exitCode_ = end.exitCode;
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    hide();
    QApplication::exit(exitCode_);
    return;
  }
  Refresh();
}

void MainWindowView::paintEvent(QPaintEvent*) {
  if (background_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(rect(), background_);
}

void MainWindowView::closeEvent(QCloseEvent* event) {
  if (!ended_) Call([this] { form_.Form_Unload(); });
  event->accept();
}

bool MainWindowView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtNumbering_.widget) {
    // Typed characters pass the key filter; pasted text passes when each of its characters would.
    auto pastePasses = [this](QClipboard::Mode mode) {
      return form_.txtNumbering.PassesKeyFilter(
          QApplication::clipboard()->text(mode).toStdString());
    };
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->matches(QKeySequence::Paste)) return !pastePasses(QClipboard::Clipboard);
      std::optional<int> code = TypedCharacter(*key);
      if (!code) return false;  // moving, editing, shortcuts, Tab: as in every text box
      form_.txtNumbering_KeyPress(*code);
      return *code == 0;  // dropped
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
      return !pastePasses(QClipboard::Selection);
    }
  }
  if (watched == lblWebLink_ && event->type() == QEvent::MouseButtonRelease) {
    Call([this] { form_.lblWebLink_Click(); });
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace lorva
