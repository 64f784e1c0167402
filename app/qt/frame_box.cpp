#include "app/qt/frame_box.h"

#include <qdrawutil.h>
#include <QPainter>
#include <QStyle>

namespace lorva {
namespace {

// The blank on either side of the title, where the border line stops.
constexpr int kTitleGap = 2;

}  // namespace

FrameBox::FrameBox(const QString& title, int titleLeft, QWidget* parent)
    : QGroupBox(title, parent), titleLeft_(titleLeft) {}

QRect FrameBox::TitleRect() const {
  if (title().isEmpty()) return {};
  const QSize text = fontMetrics().size(Qt::TextShowMnemonic, title());
  return QRect(titleLeft_, 0, text.width(), text.height());
}

QRect FrameBox::BorderRect() const {
  const int top = fontMetrics().height() / 2;
  return QRect(0, top, width(), height() - top);
}

void FrameBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The etched line: a shadow line with a light one inside it.
  qDrawShadeRect(&painter, BorderRect(), palette(), /*sunken=*/true, /*lineWidth=*/1);
  const QRect title = TitleRect();
  if (title.isEmpty()) return;
  painter.fillRect(title.adjusted(-kTitleGap, 0, kTitleGap, 0), palette().brush(backgroundRole()));
  style()->drawItemText(&painter, title, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                        palette(), isEnabled(), this->title(), foregroundRole());
}

}  // namespace lorva
