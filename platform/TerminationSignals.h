#pragma once
// The signals that ask the program to end (SIGTERM from the desktop, a logout or a shutdown;
// SIGHUP when its session hangs up; SIGINT from a terminal), turned into one call on the
// program's own thread.
//
// The signal handler does nothing but write the signal's number into a pipe (the one thing that
// is safe inside a handler); a socket notifier reads the pipe in the event loop and makes the
// call there. One watcher at a time; destroying it puts back the handlers it replaced.

#include <QObject>

#include <csignal>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace tindrel {

class TerminationSignals : public QObject {
 public:
  // `onSignal` runs in the event loop with the signal's number, once per signal received; it is
  // run through RunGuarded.
  explicit TerminationSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // The signals watched.
  static const std::vector<int>& Watched();
  // Whether the handlers are in place (the pipe could be made).
  bool Installed() const { return notifier_ != nullptr; }

 private:
  void ReadPipe();

  std::function<void(int)> on_signal_;
  int read_fd_ = -1;
  int write_fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  std::vector<struct sigaction> previous_;
};

}  // namespace tindrel
