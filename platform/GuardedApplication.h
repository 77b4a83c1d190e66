#pragma once
// The application object with the last safety net: an exception that escapes an event handler
// despite RunGuarded is reported through the error handler instead of ending the program.

#include <QApplication>

namespace tindrel {

class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tindrel
