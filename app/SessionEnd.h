#pragma once
// The ends of the program that do not come through the window's close box: a SIGTERM (the
// desktop closing the program, a shutdown), a SIGHUP or SIGINT, and the desktop session's own
// logout. Each keeps the person's work as a close does.
//
// - A termination signal closes the main window exactly as its close box would: the pending edit
//   is settled (stored when it was changed) and the settings are written.
// - The session manager's request to save (logout, shutdown) stores the pending edit and the
//   settings at once and leaves the window open, since the logout may still be cancelled.
// - When the application quits without the window's close having completed, the same is done
//   before the window goes.

#include <QObject>

#include <memory>

namespace tindrel {

class TMainForm;
class TerminationSignals;

class SessionEnd : public QObject {
 public:
  explicit SessionEnd(TMainForm& form);
  ~SessionEnd() override;

 private:
  TMainForm& form_;
  std::unique_ptr<TerminationSignals> signals_;
};

}  // namespace tindrel
