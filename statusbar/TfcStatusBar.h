#pragma once
// The status bar: a row of panels at the foot of a window, each showing a text or a live value
// (keyboard locks, date and time, the user's name...), laid out and painted by the bar itself,
// with a size grip at the right end.
//
// Layout: fixed panels take their width (at most what is left of the bar), then each "%" panel
// takes its share of what the fixed panels leave; the last panel always reaches the right end.
// Every panel is laid out, however many there are.

#include "platform/Platform.h"
#include "statusbar/TfcStatusPanel.h"

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QSizeGrip;

namespace tindrel {

class TfcStatusBar;

// The texts of the keyboard-state panels. Changing one repaints the bar.
class TfcStatusBarText {
 public:
  explicit TfcStatusBarText(TfcStatusBar* bar) : bar_(bar) {}
  const QString& CapsLock() const { return caps_lock_; }
  const QString& Overwrite() const { return overwrite_; }
  const QString& NumLock() const { return num_lock_; }
  const QString& ScrollLock() const { return scroll_lock_; }
  void SetCapsLock(const QString& text);
  void SetOverwrite(const QString& text);
  void SetNumLock(const QString& text);
  void SetScrollLock(const QString& text);

 private:
  void Set(QString& field, const QString& text);
  TfcStatusBar* bar_;
  QString caps_lock_ = QStringLiteral("Caps");
  QString overwrite_ = QStringLiteral("Overwrite");
  QString num_lock_ = QStringLiteral("Num");
  QString scroll_lock_ = QStringLiteral("Scroll");
};

class TfcStatusBar : public QWidget {
  Q_OBJECT

 public:
  // The logical timers of the bar and their intervals.
  static constexpr int kDateTimeInterval = 1000;
  static constexpr int kHintInterval = 100;
  static constexpr int kRichEditInterval = 100;
  static constexpr int kDefaultHeight = 20;

  explicit TfcStatusBar(QWidget* parent = nullptr);
  ~TfcStatusBar() override;

  TfcStatusPanels& Panels() { return panels_; }
  const TfcStatusPanels& Panels() const { return panels_; }

  bool SimplePanel() const { return simple_panel_; }
  void SetSimplePanel(bool simple);
  const QString& SimpleText() const { return simple_text_; }
  void SetSimpleText(const QString& text);
  bool SizeGrip() const { return size_grip_; }
  void SetSizeGrip(bool show);
  TfcStatusBarText& StatusBarText() { return status_bar_text_; }
  const QList<QPixmap>& Images() const { return images_; }
  void SetImages(QList<QPixmap> images);

  // Panels made between these two calls are laid out once, at the end.
  void BeginUpdate();
  void EndUpdate();

  // The part a panel occupies (before the grip is taken off the last one), in bar coordinates.
  QRect PanelRect(int index) const;
  // Whether the grip is shown: wanted, and the window can be resized.
  bool IsGripShown() const;
  // The panel under a point of the bar, or none.
  TfcStatusPanel* PanelAt(const QPoint& point) const;

  // Every status bar alive, in creation order.
  static const std::vector<TfcStatusBar*>& AliveBars();
  // Repaints, on every status bar alive, the panels that show `key`.
  static void RepaintKeyboardPanels(LockKey key);
  // The application's current hint, shown by psHint panels: the status tip of the widget under
  // the mouse.
  static QString ApplicationHint();
  static void SetApplicationHint(const QString& hint);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  std::function<void(TfcStatusBar*, TfcStatusPanel*, const QRect&)> OnDrawPanel;
  std::function<void(TfcStatusBar*, TfcStatusPanel*, bool on, const QRect&, QString& text)> OnDrawKeyboardState;
  std::function<void(TfcStatusBar*)> OnClick;
  std::function<void(TfcStatusBar*)> OnDblClick;
  std::function<void(TfcStatusBar*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown;
  std::function<void(TfcStatusBar*, Qt::KeyboardModifiers, int x, int y)> OnMouseMove;
  std::function<void(TfcStatusBar*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseUp;
  std::function<void(TfcStatusBar*)> OnResize;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  friend class TfcStatusPanel;
  friend class TfcStatusPanels;
  friend class TfcStatusBarText;

  void Relayout();
  void PlaceControls();
  void PlaceGrip();
  void UpdateTimers();
  void RepaintPanel(TfcStatusPanel* panel);
  void RepaintStyles(std::initializer_list<TfcStatusPanelStyle> styles);
  void PanelTextChanged(TfcStatusPanel* panel);
  void PanelRemoved(TfcStatusPanel* panel);
  QRect DrawRect(int index) const;
  int GripWidth() const;
  void PaintPanel(QPainter& painter, int index);
  void PaintText(QPainter& painter, TfcStatusPanel* panel, QRect rect, QString text, bool enabled);
  void DateTimeTick();
  void HintTick();
  void RichEditTick();
  void NotifyAccessibleName(TfcStatusPanel* panel);

  TfcStatusPanels panels_;
  TfcStatusBarText status_bar_text_;
  bool simple_panel_ = false;
  QString simple_text_;
  bool size_grip_ = true;
  QList<QPixmap> images_;
  int update_count_ = 0;
  bool laid_out_ = false;
  QSize last_size_;
  QSizeGrip* grip_ = nullptr;
  TfcStatusPanel* press_panel_ = nullptr;

  std::unique_ptr<PlatformTimer> date_time_timer_;
  std::unique_ptr<PlatformTimer> hint_timer_;
  std::unique_ptr<PlatformTimer> rich_edit_timer_;
};

}  // namespace tindrel
