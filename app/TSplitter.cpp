#include "app/TSplitter.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tindrel {

namespace {

// The hatched bar that follows the mouse while the splitter is dragged.
class DragBar : public QWidget {
 public:
  explicit DragBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(QStringLiteral("Divider position"));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QBrush(palette().color(QPalette::WindowText), Qt::Dense4Pattern));
  }
};

}  // namespace

TSplitter::TSplitter(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setCursor(Qt::SplitHCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  setFixedWidth(3);
}

void TSplitter::SetControl(QWidget* control) { control_ = control; }

int TSplitter::ResizedWidth(int requested, int available, int minSize) {
  const int width = std::min(requested, available - minSize);
  return width <= minSize ? 0 : width;
}

int TSplitter::Available() const {
  if (!control_) return 0;
  // The control and everything right of the bar, up to the end of the row.
  return parentWidget()->width() - control_->x() - width();
}

int TSplitter::WidthAt(int x) const {
  if (!control_) return 0;
  return ResizedWidth(x - control_->x(), Available(), min_size_);
}

void TSplitter::PlaceDragBar(int x) {
  const int left = control_ ? control_->x() : 0;
  const int right = parentWidget()->width() - width();
  drag_bar_->setGeometry(std::clamp(x, left, std::max(left, right)), y(), width(), height());
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !control_ || !parentWidget()) return QFrame::mousePressEvent(event);
  grab_offset_ = event->position().toPoint().x();
  delete drag_bar_;
  drag_bar_ = new DragBar(parentWidget());
  PlaceDragBar(x());
  drag_bar_->show();
  drag_bar_->raise();
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (!drag_bar_) return QFrame::mouseMoveEvent(event);
  PlaceDragBar(mapToParent(event->position().toPoint()).x() - grab_offset_);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event) {
  if (!drag_bar_ || event->button() != Qt::LeftButton) return QFrame::mouseReleaseEvent(event);
  const int x = mapToParent(event->position().toPoint()).x() - grab_offset_;
  delete drag_bar_;
  drag_bar_ = nullptr;
  if (!control_) return;
  const int newWidth = WidthAt(x);
  control_->setFixedWidth(newWidth);
  control_->setVisible(newWidth > 0);
}

}  // namespace tindrel
