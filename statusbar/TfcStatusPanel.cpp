#include "statusbar/TfcStatusPanel.h"

#include "platform/Errors.h"
#include "statusbar/TfcStatusBar.h"

#include <QLocale>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextEdit>

namespace tindrel {

namespace {

bool IsValidWidth(const QString& width) {
  QStringView digits(width);
  if (digits.endsWith(QLatin1Char('%'))) digits.chop(1);
  if (digits.isEmpty()) return false;
  for (QChar c : digits)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  bool fits = false;
  const int value = digits.toInt(&fits);
  return fits && value >= 0;
}

// The time in the locale's format, with seconds, since the panel is refreshed every second.
QString TimeText(const QLocale& locale, const QTime& time) {
  QString format = locale.timeFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1Char('s'))) format.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
  return locale.toString(time, format);
}

QString CaretPosition(QWidget* control) {
  QTextCursor cursor;
  if (auto* edit = qobject_cast<QTextEdit*>(control)) cursor = edit->textCursor();
  else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) cursor = plain->textCursor();
  else return QString();
  return QStringLiteral("Ln: %1, Col: %2").arg(cursor.blockNumber() + 1).arg(cursor.positionInBlock() + 1);
}

}  // namespace

TfcStatusPanel::TfcStatusPanel(TfcStatusBar* bar, QString name)
    : bar_(bar), name_(std::move(name)), color_(bar->palette().color(QPalette::Button)), font_(bar->font()) {}

TfcStatusPanel::~TfcStatusPanel() {
  if (accessible_id_ && QAccessible::accessibleInterface(accessible_id_))
    QAccessible::deleteAccessibleInterface(accessible_id_);
}

int TfcStatusPanel::Index() const { return bar_->Panels().IndexOf(this); }

void TfcStatusPanel::SetName(const QString& name) {
  if (TfcStatusPanel* other = bar_->Panels().FindPanel(name); other && other != this)
    throw EInvalidOperation(QStringLiteral("A panel named %1 already exists.").arg(name).toStdString());
  name_ = name;
}

void TfcStatusPanel::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  if (OnTextChanged) OnTextChanged(this, text_);
  bar_->PanelTextChanged(this);
}

void TfcStatusPanel::SetWidth(const QString& width) {
  if (!IsValidWidth(width))
    throw EInvalidOperation(
        "Width must be a valid, positive integer, or must be an integer followed by a \"%\" sign.");
  width_ = width;
  bar_->Relayout();
}

void TfcStatusPanel::SetStyle(TfcStatusPanelStyle style) {
  style_ = style;
  if (style_ == psControl && component_) SetComponent(component_);
  bar_->UpdateTimers();
  bar_->Relayout();
}

void TfcStatusPanel::SetBevel(TfcStatusPanelBevel bevel) {
  bevel_ = bevel;
  bar_->RepaintPanel(this);
}

void TfcStatusPanel::SetColor(const QColor& color) {
  color_ = color;
  bar_->RepaintPanel(this);
}

void TfcStatusPanel::SetEnabled(bool enabled) {
  enabled_ = enabled;
  bar_->RepaintPanel(this);
}

void TfcStatusPanel::SetFont(const QFont& font) {
  font_ = font;
  bar_->RepaintPanel(this);
}

void TfcStatusPanel::SetTextOptions(const TfcCaptionText& options) {
  text_options_ = options;
  bar_->Relayout();
}

void TfcStatusPanel::SetIndent(int indent) {
  indent_ = indent;
  bar_->RepaintPanel(this);
}

void TfcStatusPanel::SetMargin(int margin) {
  margin_ = margin;
  bar_->Relayout();
}

void TfcStatusPanel::SetImageIndex(int index) {
  image_index_ = index;
  bar_->RepaintPanel(this);
}

void TfcStatusPanel::SetComponent(QWidget* component) {
  // Only a psControl panel holds its control; a psRichEditStatus panel merely watches its own,
  // which stays where it is.
  if (component && style_ == psControl) {
    // One control sits in one panel: take it from any other panel of any bar.
    for (TfcStatusBar* bar : TfcStatusBar::AliveBars())
      for (int i = 0; i < bar->Panels().Count(); ++i)
        if (TfcStatusPanel* other = bar->Panels()[i]; other != this && other->component_ == component)
          other->component_ = nullptr;
    if (component->parentWidget() != bar_) component->setParent(bar_);
  }
  component_ = component;
  bar_->Relayout();
}

QString TfcStatusPanel::DisplayText() const {
  Platform& platform = Platform::Instance();
  const QLocale locale;
  switch (style_) {
    case psOverWrite: return bar_->StatusBarText().Overwrite();
    case psCapsLock: return bar_->StatusBarText().CapsLock();
    case psNumLock: return bar_->StatusBarText().NumLock();
    case psScrollLock: return bar_->StatusBarText().ScrollLock();
    case psDateTime: {
      const QDateTime now = platform.Clock().CurrentDateTime();
      return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') + TimeText(locale, now.time());
    }
    case psDate: return locale.toString(platform.Clock().CurrentDateTime().date(), QLocale::ShortFormat);
    case psTime: return TimeText(locale, platform.Clock().CurrentDateTime().time());
    case psRichEditStatus: return CaretPosition(component_);
    case psUserName: return platform.SystemInfo().UserName();
    case psComputerName: return platform.SystemInfo().ComputerName();
    case psTextOnly:
    case psControl:
    case psGlyph:
    case psHint: return text_;
  }
  return text_;
}

// ---------------------------------------------------------------------------------------------

TfcStatusPanel* TfcStatusPanels::Add() {
  int number = 0;
  while (FindPanel(QStringLiteral("Panel%1").arg(number))) ++number;
  items_.push_back(std::unique_ptr<TfcStatusPanel>(new TfcStatusPanel(bar_, QStringLiteral("Panel%1").arg(number))));
  bar_->Relayout();
  return items_.back().get();
}

int TfcStatusPanels::IndexOf(const TfcStatusPanel* panel) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == panel) return static_cast<int>(i);
  return -1;
}

TfcStatusPanel* TfcStatusPanels::FindPanel(const QString& name) const {
  for (const auto& item : items_)
    if (item->name_.compare(name, Qt::CaseInsensitive) == 0) return item.get();
  return nullptr;
}

void TfcStatusPanels::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  std::unique_ptr<TfcStatusPanel> removed = std::move(items_[static_cast<std::size_t>(index)]);
  items_.erase(items_.begin() + index);
  bar_->PanelRemoved(removed.get());
  removed.reset();
  bar_->UpdateTimers();
  bar_->Relayout();
}

void TfcStatusPanels::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

}  // namespace tindrel
