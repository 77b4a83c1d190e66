#pragma once
// A bevelled bar between a control on its left and the rest of the row. The person drags it to
// share the width: while the button is held a hatched bar follows the mouse, and the control
// takes its new width when the button is released. The width stays between MinSize and the width
// that leaves MinSize to the right of the bar; a drag to MinSize or less closes the control
// (width 0), and dragging the bar out again opens it.
//
// The control keeps a fixed width between drags, so resizing the window changes only the rest of
// the row.

#include <QFrame>
#include <QPointer>

namespace tindrel {

class TSplitter : public QFrame {
  Q_OBJECT

 public:
  explicit TSplitter(QWidget* parent = nullptr);

  QWidget* Control() const { return control_; }
  void SetControl(QWidget* control);
  int MinSize() const { return min_size_; }
  void SetMinSize(int pixels) { min_size_ = pixels; }

  // The control's width after a release that puts its right edge `requested` pixels from its
  // left edge, in a row where control and the rest share `available` pixels (the bar's own
  // width not counted).
  static int ResizedWidth(int requested, int available, int minSize);

  // Whether the hatched bar is showing (a drag is under way).
  bool Dragging() const { return drag_bar_ != nullptr; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The control's width for the bar's left edge at `x` in the parent's coordinates.
  int WidthAt(int x) const;
  int Available() const;
  void PlaceDragBar(int x);

  QPointer<QWidget> control_;
  QWidget* drag_bar_ = nullptr;
  int min_size_ = 30;
  int grab_offset_ = 0;  // where in the bar the mouse took hold of it
};

}  // namespace tindrel
