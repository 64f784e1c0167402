// A frame (a titled group box) drawn as the window's layout means it: an etched border whose top
// line runs through the middle of the title, the title on the frame's own background, and the
// controls inside. Drawn alike under every widget style (Fusion's group box puts its title above
// a border drawn lower down, across the controls placed below the title).
#pragma once

#include <QGroupBox>

namespace lorva {

class FrameBox : public QGroupBox {
 public:
  // `titleLeft`: where the title starts, in pixels from the frame's left edge.
  FrameBox(const QString& title, int titleLeft, QWidget* parent);

  // The title's rectangle (empty without a title) and the border's, in the frame's coordinates.
  QRect TitleRect() const;
  QRect BorderRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int titleLeft_;
};

}  // namespace lorva
