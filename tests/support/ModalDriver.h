#pragma once
// Driving modal windows in tests: `start` opens one (a menu item, a key) and returns only once it
// is closed; meanwhile every modal window that comes up is handed to `act`, once each. `act`
// returns whether it handled the window; a window it handled and left open is cancelled, so a
// session never hangs in it. Returns the number of windows handled.

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <set>

namespace tindrel::testing {

inline int DriveModals(const std::function<void()>& start, const std::function<bool(QWidget&)>& act) {
  int handled = 0;
  std::set<QWidget*> seen;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* window = QApplication::activeModalWidget();
    if (!window || !window->isVisible() || seen.count(window)) return;
    seen.insert(window);
    QPointer<QWidget> alive(window);
    if (!act(*window)) return;
    ++handled;
    if (alive && alive->isVisible())
      if (auto* dialog = qobject_cast<QDialog*>(alive.data())) dialog->reject();
  });
  driver.start(5);
  start();
  driver.stop();
  return handled;
}

}  // namespace tindrel::testing
