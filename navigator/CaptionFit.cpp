#include "navigator/CaptionFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>

#include <algorithm>
#include <vector>

#include "navigator/DialogButtons.h"

namespace tindrel {

namespace {

// The width of a caption as drawn: its mnemonic markers ("&") take no room.
int Advance(const QWidget& control, const QString& caption) {
  return control.fontMetrics().size(Qt::TextShowMnemonic, caption).width();
}

// The room a button's style leaves for its caption.
int CaptionRoom(const QAbstractButton& button) {
  if (auto* glyph = qobject_cast<const TwwGlyphButton*>(&button)) return glyph->CaptionRect().width();
  QStyleOptionButton option;
  option.initFrom(&button);
  option.text = button.text();
  option.icon = button.icon();
  option.iconSize = button.iconSize();
  QStyle::SubElement contents = QStyle::SE_PushButtonContents;
  if (qobject_cast<const QCheckBox*>(&button)) contents = QStyle::SE_CheckBoxContents;
  else if (qobject_cast<const QRadioButton*>(&button)) contents = QStyle::SE_RadioButtonContents;
  int room = button.style()->subElementRect(contents, &option, &button).width();
  if (contents == QStyle::SE_PushButtonContents && !button.icon().isNull()) room -= button.iconSize().width() + 4;
  return room;
}

bool RowsOverlap(const QWidget& a, const QWidget& b) {
  return a.y() < b.y() + b.height() && b.y() < a.y() + a.height();
}

// Whether `control` shows in `window`, or will when its page of a stack is brought up; a
// control kept out of sight beyond its parent's edges does not.
bool ShowsIn(const QWidget& control, const QWidget& window) {
  for (const QWidget* w = &control; w && w != &window; w = w->parentWidget()) {
    if (w->isWindow()) return false;
    const QWidget* parent = w->parentWidget();
    if (w->isHidden() && !qobject_cast<const QStackedWidget*>(parent)) return false;
    if (parent && !parent->rect().intersects(w->geometry())) return false;
  }
  return true;
}

void SetWidth(QWidget& control, int width) {
  if (control.minimumWidth() == control.maximumWidth()) {
    control.setFixedWidth(width);
  } else {
    control.setMaximumWidth(std::max(control.maximumWidth(), width));
    control.resize(width, control.height());
  }
}

}  // namespace

int CaptionShortfall(const QWidget& control) {
  if (auto* label = qobject_cast<const QLabel*>(&control)) {
    if (label->wordWrap() || label->textFormat() == Qt::RichText || label->text().isEmpty()) return 0;
    int widest = 0;
    // A label breaks its lines at carriage returns as well as at line feeds.
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    for (const QString& line : label->text().split(lineBreak)) widest = std::max(widest, Advance(*label, line));
    return widest - (label->contentsRect().width() - 2 * std::max(0, label->margin()));
  }
  if (auto* button = qobject_cast<const QAbstractButton*>(&control)) {
    if (button->text().isEmpty()) return 0;
    return Advance(*button, button->text()) - CaptionRoom(*button);
  }
  if (auto* group = qobject_cast<const QGroupBox*>(&control)) {
    if (group->title().isEmpty()) return 0;
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    // The style measures the title in the face it draws it with; the title keeps the margin on
    // its right that it has on its left.
    const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    return title.width() + 2 * std::max(0, title.left()) - group->width();
  }
  if (auto* tabs = qobject_cast<const QTabBar*>(&control)) {
    // The tabs stand side by side at the widths their captions need.
    return tabs->count() == 0 ? 0 : tabs->tabRect(tabs->count() - 1).right() + 1 - tabs->width();
  }
  if (auto* combo = qobject_cast<const QComboBox*>(&control)) {
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i) widest = std::max(widest, Advance(*combo, combo->itemText(i)));
    if (widest == 0) return 0;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    return widest - combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
  }
  return 0;
}

void WidenControl(QWidget& control, int extra) {
  if (extra <= 0) return;
  QWidget* parent = control.parentWidget();
  if (control.isWindow() || !parent) {
    SetWidth(control, control.width() + extra);
    return;
  }
  // The pages of a stack take the stack's size: it is the stack that must grow.
  if (auto* stack = qobject_cast<QStackedWidget*>(parent)) {
    WidenControl(*stack, extra);
    return;
  }
  int oldRightmost = control.x() + control.width();
  std::vector<QWidget*> moved;
  for (QObject* child : parent->children()) {
    auto* sibling = qobject_cast<QWidget*>(child);
    if (!sibling || sibling == &control || sibling->isWindow() || sibling->isHidden()) continue;
    if (sibling->x() > control.x() && RowsOverlap(*sibling, control)) {
      moved.push_back(sibling);
      oldRightmost = std::max(oldRightmost, sibling->x() + sibling->width());
    }
  }
  const int margin = std::max(0, parent->width() - oldRightmost);
  SetWidth(control, control.width() + extra);
  for (QWidget* sibling : moved) sibling->move(sibling->x() + extra, sibling->y());
  WidenControl(*parent, oldRightmost + extra + margin - parent->width());
}

void FitCaptions(QWidget& window) {
  for (QWidget* control : window.findChildren<QWidget*>())
    if (ShowsIn(*control, window)) WidenControl(*control, CaptionShortfall(*control));
}

}  // namespace tindrel
