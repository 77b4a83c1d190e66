#include "statusbar/TfcStatusBar.h"

#include "platform/Errors.h"
#include "statusbar/TfcStatusBarAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStatusTipEvent>
#include <QStyle>
#include <qdrawutil.h>

#include <algorithm>

namespace tindrel {

namespace {

std::vector<TfcStatusBar*>& Bars() {
  static std::vector<TfcStatusBar*> bars;
  return bars;
}

QString& CurrentHint() {
  static QString hint;
  return hint;
}

TfcStatusPanelStyle StyleOf(LockKey key) {
  switch (key) {
    case LockKey::CapsLock: return psCapsLock;
    case LockKey::NumLock: return psNumLock;
    case LockKey::ScrollLock: return psScrollLock;
    case LockKey::Insert: return psOverWrite;
  }
  return psCapsLock;
}

std::optional<LockKey> KeyOf(TfcStatusPanelStyle style) {
  switch (style) {
    case psCapsLock: return LockKey::CapsLock;
    case psNumLock: return LockKey::NumLock;
    case psScrollLock: return LockKey::ScrollLock;
    case psOverWrite: return LockKey::Insert;
    default: return std::nullopt;
  }
}

bool IsDateTimeStyle(TfcStatusPanelStyle style) {
  return style == psDateTime || style == psDate || style == psTime;
}

bool IsPercent(const QString& width) { return width.endsWith(QLatin1Char('%')); }

// The application-wide key watch: every press and release of a lock key repaints the matching
// panels of every bar at once; status tips become the application's hint.
class KeyboardStateHook : public QObject {
 public:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    RunGuarded([&] {
      const QEvent::Type type = event->type();
      if (type == QEvent::StatusTip) {
        TfcStatusBar::SetApplicationHint(static_cast<QStatusTipEvent*>(event)->tip());
        return;
      }
      if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !receiver->isWidgetType()) return;
      auto* key_event = static_cast<QKeyEvent*>(event);
      const auto key = LockKeyFromQtKey(key_event->key());
      if (!key) return;
      // An event nobody takes is offered to the parents in turn: count it once.
      if (event == last_event_ && type == last_type_ && last_receiver_) {
        for (QObject* up = last_receiver_->parent(); up; up = up->parent())
          if (up == receiver) {
            last_receiver_ = receiver;
            return;
          }
      }
      last_event_ = event;
      last_type_ = type;
      last_receiver_ = receiver;
      Platform::Instance().Keyboard().NoteKeyEvent(*key, type == QEvent::KeyPress, key_event->isAutoRepeat());
      TfcStatusBar::RepaintKeyboardPanels(*key);
    });
    return false;
  }

 private:
  const QEvent* last_event_ = nullptr;
  QEvent::Type last_type_ = QEvent::None;
  QPointer<QObject> last_receiver_;
};

KeyboardStateHook*& Hook() {
  static KeyboardStateHook* hook = nullptr;
  return hook;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void TfcStatusBarText::Set(QString& field, const QString& text) {
  if (field == text) return;
  field = text;
  bar_->update();
}
void TfcStatusBarText::SetCapsLock(const QString& text) { Set(caps_lock_, text); }
void TfcStatusBarText::SetOverwrite(const QString& text) { Set(overwrite_, text); }
void TfcStatusBarText::SetNumLock(const QString& text) { Set(num_lock_, text); }
void TfcStatusBarText::SetScrollLock(const QString& text) { Set(scroll_lock_, text); }

// ---------------------------------------------------------------------------------------------

TfcStatusBar::TfcStatusBar(QWidget* parent) : QWidget(parent), panels_(this), status_bar_text_(this) {
  TfcStatusBarAccessible::InstallFactory();
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  resize(width(), kDefaultHeight);

  grip_ = new QSizeGrip(this);
  grip_->hide();

  ClockService& clock = Platform::Instance().Clock();
  date_time_timer_ = clock.CreateTimer([this] { RunGuarded([this] { DateTimeTick(); }); });
  hint_timer_ = clock.CreateTimer([this] { RunGuarded([this] { HintTick(); }); });
  rich_edit_timer_ = clock.CreateTimer([this] { RunGuarded([this] { RichEditTick(); }); });

  Bars().push_back(this);
  if (!Hook() && qApp) {
    Hook() = new KeyboardStateHook;
    qApp->installEventFilter(Hook());
  }
}

TfcStatusBar::~TfcStatusBar() {
  // Panels go before the widget, so their accessible interfaces go first.
  update_count_ = 1;
  panels_.Clear();
  date_time_timer_.reset();
  hint_timer_.reset();
  rich_edit_timer_.reset();
  auto& bars = Bars();
  bars.erase(std::remove(bars.begin(), bars.end(), this), bars.end());
  if (bars.empty() && Hook()) {
    if (qApp) qApp->removeEventFilter(Hook());
    delete Hook();
    Hook() = nullptr;
  }
}

const std::vector<TfcStatusBar*>& TfcStatusBar::AliveBars() { return Bars(); }

QString TfcStatusBar::ApplicationHint() { return CurrentHint(); }
void TfcStatusBar::SetApplicationHint(const QString& hint) { CurrentHint() = hint; }

void TfcStatusBar::SetSimplePanel(bool simple) {
  if (simple_panel_ == simple) return;
  simple_panel_ = simple;
  Relayout();
}

void TfcStatusBar::SetSimpleText(const QString& text) {
  if (simple_text_ == text) return;
  simple_text_ = text;
  if (simple_panel_) repaint();
}

void TfcStatusBar::SetSizeGrip(bool show) {
  size_grip_ = show;
  Relayout();
}

void TfcStatusBar::SetImages(QList<QPixmap> images) {
  images_ = std::move(images);
  update();
}

void TfcStatusBar::BeginUpdate() { ++update_count_; }

void TfcStatusBar::EndUpdate() {
  if (update_count_ > 0 && --update_count_ == 0) Relayout();
}

QSize TfcStatusBar::sizeHint() const { return QSize(200, kDefaultHeight); }
QSize TfcStatusBar::minimumSizeHint() const { return QSize(0, kDefaultHeight); }

bool TfcStatusBar::IsGripShown() const {
  if (!size_grip_) return false;
  const QWidget* top = window();
  return top->minimumSize() != top->maximumSize();
}

int TfcStatusBar::GripWidth() const {
  return std::min(23, style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this) + 1);
}

// ---------------------------------------------------------------------------------------------
// Layout

void TfcStatusBar::Relayout() {
  if (update_count_ > 0) return;
  const int bar_width = width();
  // Fixed panels first, each at most what is left; then every "%" panel takes its share of
  // what the fixed ones leave, all from the same remainder.
  qint64 fixed_sum = 0;
  for (int i = 0; i < panels_.Count(); ++i) {
    TfcStatusPanel* panel = panels_[i];
    if (IsPercent(panel->width_)) continue;
    const qint64 wanted = panel->width_.toLongLong();
    panel->pixel_width_ = static_cast<int>(std::min<qint64>(wanted, bar_width - fixed_sum));
    fixed_sum += panel->pixel_width_;
  }
  const qint64 left = bar_width - fixed_sum;
  for (int i = 0; i < panels_.Count(); ++i) {
    TfcStatusPanel* panel = panels_[i];
    if (!IsPercent(panel->width_)) continue;
    const qint64 percent = QStringView(panel->width_).chopped(1).toLongLong();
    panel->pixel_width_ = left > 0 ? static_cast<int>(std::min<qint64>(percent * left / 100, INT_MAX / 2)) : 0;
  }
  laid_out_ = true;
  last_size_ = size();
  PlaceGrip();
  PlaceControls();
  update();
}

QRect TfcStatusBar::PanelRect(int index) const {
  if (index < 0 || index >= panels_.Count()) return QRect();
  qint64 left = 0;
  for (int i = 0; i < index; ++i) left += panels_[i]->pixel_width_;
  left = std::min<qint64>(left, width());
  const qint64 right = index == panels_.Count() - 1
                           ? width()
                           : std::min<qint64>(left + panels_[index]->pixel_width_, width());
  return QRect(QPoint(static_cast<int>(left), 0), QPoint(static_cast<int>(right) - 1, height() - 1));
}

QRect TfcStatusBar::DrawRect(int index) const {
  QRect rect = PanelRect(index);
  if (index == panels_.Count() - 1 && IsGripShown()) rect.setRight(rect.right() - GripWidth());
  return rect;
}

TfcStatusPanel* TfcStatusBar::PanelAt(const QPoint& point) const {
  if (simple_panel_) return nullptr;
  for (int i = 0; i < panels_.Count(); ++i)
    if (PanelRect(i).contains(point)) return panels_[i];
  return nullptr;
}

void TfcStatusBar::PlaceGrip() {
  if (!IsGripShown()) {
    grip_->hide();
    return;
  }
  const int w = GripWidth();
  grip_->setGeometry(width() - w, 0, w, height());
  grip_->raise();
  grip_->show();
}

void TfcStatusBar::PlaceControls() {
  for (int i = 0; i < panels_.Count(); ++i) {
    TfcStatusPanel* panel = panels_[i];
    QWidget* control = panel->component_;
    if (!control || panel->style_ != psControl || control->parentWidget() != this) continue;
    if (simple_panel_) {
      control->hide();
      continue;
    }
    QRect rect = DrawRect(i).adjusted(1, 1, -1, -1).adjusted(panel->margin_, panel->margin_, -panel->margin_, -panel->margin_);
    if (!panel->text_.isEmpty()) {
      const int text_width = QFontMetrics(panel->font_).horizontalAdvance(panel->text_) + 4 + panel->indent_;
      if (panel->text_options_.Alignment == taLeftJustify) rect.setLeft(rect.left() + text_width);
      else if (panel->text_options_.Alignment == taRightJustify) rect.setRight(rect.right() - text_width);
    }
    control->setGeometry(rect);
    control->show();
  }
}

void TfcStatusBar::resizeEvent(QResizeEvent*) {
  RunGuarded([this] {
    Relayout();
    if (OnResize) OnResize(this);
  });
}

void TfcStatusBar::showEvent(QShowEvent*) {
  RunGuarded([this] {
    UpdateTimers();
    Relayout();
  });
}

bool TfcStatusBar::event(QEvent* event) {
  bool handled = false;
  RunGuarded([&] {
    if (event->type() == QEvent::ParentChange) Relayout();
    handled = QWidget::event(event);
  });
  return handled;
}

// ---------------------------------------------------------------------------------------------
// Timers and repaints

void TfcStatusBar::UpdateTimers() {
  if (!date_time_timer_) return;
  bool date_time = false, hint = false, rich_edit = false;
  for (int i = 0; i < panels_.Count(); ++i) {
    const TfcStatusPanelStyle style = panels_[i]->style_;
    date_time |= IsDateTimeStyle(style);
    hint |= style == psHint;
    rich_edit |= style == psRichEditStatus;
  }
  auto apply = [](PlatformTimer& timer, bool wanted, int interval) {
    if (wanted && !timer.IsActive()) timer.Start(interval);
    if (!wanted && timer.IsActive()) timer.Stop();
  };
  apply(*date_time_timer_, date_time, kDateTimeInterval);
  apply(*hint_timer_, hint, kHintInterval);
  apply(*rich_edit_timer_, rich_edit, kRichEditInterval);
}

void TfcStatusBar::DateTimeTick() {
  for (int i = 0; i < panels_.Count(); ++i)
    if (TfcStatusPanel* panel = panels_[i]; IsDateTimeStyle(panel->style_) && panel->DisplayText() != panel->drawn_text_)
      RepaintPanel(panel);
}

void TfcStatusBar::HintTick() {
  for (int i = 0; i < panels_.Count(); ++i)
    if (TfcStatusPanel* panel = panels_[i]; panel->style_ == psHint) panel->SetText(ApplicationHint());
}

void TfcStatusBar::RichEditTick() {
  for (int i = 0; i < panels_.Count(); ++i)
    if (TfcStatusPanel* panel = panels_[i]; panel->style_ == psRichEditStatus && panel->DisplayText() != panel->drawn_text_)
      RepaintPanel(panel);
}

void TfcStatusBar::RepaintPanel(TfcStatusPanel* panel) {
  const int index = panels_.IndexOf(panel);
  if (index < 0 || simple_panel_) return;
  if (isVisible()) repaint(PanelRect(index));
  else update(PanelRect(index));
}

void TfcStatusBar::RepaintStyles(std::initializer_list<TfcStatusPanelStyle> styles) {
  for (int i = 0; i < panels_.Count(); ++i)
    if (std::find(styles.begin(), styles.end(), panels_[i]->style_) != styles.end()) RepaintPanel(panels_[i]);
}

void TfcStatusBar::RepaintKeyboardPanels(LockKey key) {
  const std::vector<TfcStatusBar*> bars = Bars();
  for (TfcStatusBar* bar : bars) bar->RepaintStyles({StyleOf(key)});
}

void TfcStatusBar::PanelTextChanged(TfcStatusPanel* panel) {
  if (panel->style_ == psControl) PlaceControls();
  RepaintPanel(panel);
  NotifyAccessibleName(panel);
}

void TfcStatusBar::PanelRemoved(TfcStatusPanel* panel) {
  if (press_panel_ == panel) press_panel_ = nullptr;
}

void TfcStatusBar::NotifyAccessibleName(TfcStatusPanel* panel) {
  if (!QAccessible::isActive()) return;
  QAccessibleEvent event(this, QAccessible::NameChanged);
  event.setChild(panel->Index());
  QAccessible::updateAccessibility(&event);
}

// ---------------------------------------------------------------------------------------------
// Painting

void TfcStatusBar::paintEvent(QPaintEvent* event) {
  RunGuarded([&] {
    if (!laid_out_) Relayout();
    QPainter painter(this);
    if (simple_panel_ || panels_.Count() == 0) {
      QRect rect = this->rect();
      if (IsGripShown()) rect.setRight(rect.right() - GripWidth());
      painter.fillRect(this->rect(), palette().color(QPalette::Button));
      if (simple_panel_) {
        qDrawShadePanel(&painter, rect, palette(), true, 1);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect.adjusted(3, 1, -3, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, simple_text_);
      }
      return;
    }
    const QRect dirty = event->rect();
    if (IsGripShown())
      painter.fillRect(QRect(width() - GripWidth(), 0, GripWidth(), height()), palette().color(QPalette::Button));
    for (int i = 0; i < panels_.Count(); ++i)
      if (PanelRect(i).intersects(dirty)) PaintPanel(painter, i);
  });
}

void TfcStatusBar::PaintPanel(QPainter& painter, int index) {
  TfcStatusPanel* panel = panels_[index];
  const QRect part = DrawRect(index);
  if (part.width() <= 0 || part.height() <= 0) {
    panel->drawn_text_ = panel->DisplayText();
    if (OnDrawPanel) OnDrawPanel(this, panel, part);
    return;
  }
  painter.save();
  painter.setClipRect(part);
  painter.fillRect(part, palette().color(QPalette::Button));
  if (panel->bevel_ != pbNone) qDrawShadePanel(&painter, part, palette(), panel->bevel_ == pbLowered, 1);
  const QRect inner = panel->bevel_ != pbNone ? part.adjusted(1, 1, -1, -1) : part;
  if (panel->style_ != psControl) painter.fillRect(inner, panel->color_);

  QString text = panel->DisplayText();
  bool enabled = panel->enabled_;
  QRect text_rect = inner;
  if (const auto key = KeyOf(panel->style_)) {
    const KeyboardService& keyboard = Platform::Instance().Keyboard();
    const bool on = keyboard.IsToggled(*key) || keyboard.IsDown(*key);
    if (OnDrawKeyboardState) OnDrawKeyboardState(this, panel, on, inner, text);
    enabled = enabled && on;
  } else if (panel->style_ == psGlyph) {
    const int image = panel->image_index_;
    if (image >= 0 && image < images_.size()) {
      const QPixmap& pixmap = images_[image];
      const int x = inner.left() + panel->margin_;
      const int y = inner.top() + (inner.height() - pixmap.height()) / 2;
      painter.drawPixmap(x, y, pixmap);
      text_rect.setLeft(x + pixmap.width() + 5);
    }
  } else if (panel->style_ == psControl && panel->component_ &&
             panel->text_options_.Alignment == taRightJustify) {
    text_rect.setLeft(panel->component_->geometry().right() + 1);
  }

  if (panel->OnDrawText) {
    const QString before = text;
    panel->OnDrawText(panel, text, enabled);
    if (text != before && panel->OnTextChanged) panel->OnTextChanged(panel, text);
  }
  PaintText(painter, panel, text_rect, text, enabled);
  panel->drawn_text_ = text;
  painter.restore();
  if (OnDrawPanel) OnDrawPanel(this, panel, part);
}

void TfcStatusBar::PaintText(QPainter& painter, TfcStatusPanel* panel, QRect rect, QString text, bool enabled) {
  if (text.isEmpty()) return;
  rect.adjust(2 + panel->indent_, 0, -2, 0);
  int flags = 0;
  switch (panel->text_options_.Alignment) {
    case taLeftJustify: flags |= Qt::AlignLeft; break;
    case taRightJustify: flags |= Qt::AlignRight; break;
    case taCenter: flags |= Qt::AlignHCenter; break;
  }
  switch (panel->text_options_.VAlignment) {
    case vaTop: flags |= Qt::AlignTop; break;
    case vaVCenter: flags |= Qt::AlignVCenter; break;
    case vaBottom: flags |= Qt::AlignBottom; break;
  }
  flags |= panel->text_options_.WordWrap ? Qt::TextWordWrap : Qt::TextSingleLine;
  painter.setFont(panel->font_);
  if (enabled) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect, flags, text);
    return;
  }
  // Embossed: the highlight one pixel right and down, then the shadow in place.
  painter.setPen(palette().color(QPalette::Light));
  painter.drawText(rect.translated(1, 1), flags, text);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawText(rect, flags, text);
}

// ---------------------------------------------------------------------------------------------
// Mouse: the panel under the mouse first, then the bar.

void TfcStatusBar::mousePressEvent(QMouseEvent* event) {
  RunGuarded([&] {
    const QPoint pos = event->position().toPoint();
    TfcStatusPanel* panel = PanelAt(pos);
    press_panel_ = panel;
    if (panel) {
      if (panel->OnMouseDown) panel->OnMouseDown(panel, event->button(), event->modifiers(), pos.x(), pos.y());
      if (event->button() == Qt::RightButton && panel->popup_menu_)
        panel->popup_menu_->popup(event->globalPosition().toPoint());
    }
    if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
  });
}

void TfcStatusBar::mouseReleaseEvent(QMouseEvent* event) {
  RunGuarded([&] {
    const QPoint pos = event->position().toPoint();
    TfcStatusPanel* panel = PanelAt(pos);
    if (panel && panel->OnMouseUp) panel->OnMouseUp(panel, event->button(), event->modifiers(), pos.x(), pos.y());
    if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y());
    if (event->button() == Qt::LeftButton && rect().contains(pos)) {
      if (panel && panel == press_panel_ && panel->OnClick) panel->OnClick(panel);
      if (OnClick) OnClick(this);
    }
    press_panel_ = nullptr;
  });
}

void TfcStatusBar::mouseDoubleClickEvent(QMouseEvent* event) {
  RunGuarded([&] {
    TfcStatusPanel* panel = PanelAt(event->position().toPoint());
    if (panel) {
      if (panel->OnDblClick) panel->OnDblClick(panel);
      if (const auto key = KeyOf(panel->style_)) {
        Platform::Instance().Keyboard().PressAndRelease(*key);
        RepaintKeyboardPanels(*key);
      }
    }
    if (OnDblClick) OnDblClick(this);
  });
}

void TfcStatusBar::mouseMoveEvent(QMouseEvent* event) {
  RunGuarded([&] {
    const QPoint pos = event->position().toPoint();
    TfcStatusPanel* panel = PanelAt(pos);
    if (panel && panel->OnMouseMove) panel->OnMouseMove(panel, event->modifiers(), pos.x(), pos.y());
    const QString hint = panel ? panel->hint_ : QString();
    if (toolTip() != hint) setToolTip(hint);
    if (OnMouseMove) OnMouseMove(this, event->modifiers(), pos.x(), pos.y());
  });
}

}  // namespace tindrel
