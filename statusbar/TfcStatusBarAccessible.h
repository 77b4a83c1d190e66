#pragma once
// Accessibility of the status bar: the bar is a status-bar object with one static-text child per
// panel, whose name is what the panel shows.

#include <QAccessibleWidget>

namespace tindrel {

class TfcStatusBar;
class TfcStatusPanel;

class TfcStatusBarAccessible : public QAccessibleWidget {
 public:
  explicit TfcStatusBarAccessible(TfcStatusBar* bar);

  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QString text(QAccessible::Text t) const override;

  // Installs the factory that gives every TfcStatusBar this interface (once per process).
  static void InstallFactory();
  // The interface of a panel, created at first use and deleted with the panel.
  static QAccessibleInterface* PanelInterface(TfcStatusPanel* panel);

 private:
  TfcStatusBar* Bar() const;
};

}  // namespace tindrel
