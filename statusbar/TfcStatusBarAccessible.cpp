#include "statusbar/TfcStatusBarAccessible.h"

#include "statusbar/TfcStatusBar.h"

#include <QPointer>
#include <QWindow>

namespace tindrel {

namespace {

class PanelAccessible : public QAccessibleInterface {
 public:
  PanelAccessible(TfcStatusBar* bar, TfcStatusPanel* panel) : bar_(bar), panel_(panel) {}

  // The panel deletes this interface when it goes, so `panel_` is valid while the bar is.
  bool isValid() const override { return bar_ != nullptr; }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(bar_.data()); }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text t) const override {
    if (!bar_) return QString();
    if (t == QAccessible::Name) return panel_->DisplayText();
    if (t == QAccessible::Description) return panel_->Hint();
    return QString();
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!bar_) return QRect();
    const int index = panel_->Index();
    const QRect local = bar_->PanelRect(index);
    return QRect(bar_->mapToGlobal(local.topLeft()), local.size());
  }
  QAccessible::Role role() const override { return QAccessible::StaticText; }
  QAccessible::State state() const override {
    QAccessible::State state;
    state.readOnly = true;
    state.disabled = !panel_->Enabled();
    state.invisible = !bar_ || !bar_->isVisible() || bar_->SimplePanel();
    return state;
  }

 private:
  QPointer<TfcStatusBar> bar_;
  TfcStatusPanel* panel_;
};

QAccessibleInterface* StatusBarFactory(const QString&, QObject* object) {
  if (auto* bar = qobject_cast<TfcStatusBar*>(object)) return new TfcStatusBarAccessible(bar);
  return nullptr;
}

}  // namespace

TfcStatusBarAccessible::TfcStatusBarAccessible(TfcStatusBar* bar)
    : QAccessibleWidget(bar, QAccessible::StatusBar) {}

TfcStatusBar* TfcStatusBarAccessible::Bar() const { return static_cast<TfcStatusBar*>(widget()); }

int TfcStatusBarAccessible::childCount() const {
  return Bar()->SimplePanel() ? 0 : Bar()->Panels().Count();
}

QAccessibleInterface* TfcStatusBarAccessible::child(int index) const {
  if (index < 0 || index >= childCount()) return nullptr;
  return PanelInterface(Bar()->Panels()[index]);
}

int TfcStatusBarAccessible::indexOfChild(const QAccessibleInterface* child) const {
  for (int i = 0; i < childCount(); ++i)
    if (TfcStatusPanel* panel = Bar()->Panels()[i];
        panel->accessible_id_ && QAccessible::accessibleInterface(panel->accessible_id_) == child)
      return i;
  return -1;
}

QAccessibleInterface* TfcStatusBarAccessible::childAt(int x, int y) const {
  TfcStatusPanel* panel = Bar()->PanelAt(Bar()->mapFromGlobal(QPoint(x, y)));
  return panel && !Bar()->SimplePanel() ? PanelInterface(panel) : nullptr;
}

QString TfcStatusBarAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name && Bar()->SimplePanel()) return Bar()->SimpleText();
  return QAccessibleWidget::text(t);
}

void TfcStatusBarAccessible::InstallFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(StatusBarFactory);
    return true;
  }();
  (void)installed;
}

QAccessibleInterface* TfcStatusBarAccessible::PanelInterface(TfcStatusPanel* panel) {
  if (panel->accessible_id_)
    if (QAccessibleInterface* existing = QAccessible::accessibleInterface(panel->accessible_id_)) return existing;
  auto* iface = new PanelAccessible(panel->StatusBar(), panel);
  panel->accessible_id_ = QAccessible::registerAccessibleInterface(iface);
  return iface;
}

}  // namespace tindrel
