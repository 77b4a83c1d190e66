#include "platform/TerminationSignals.h"

#include "platform/Errors.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tindrel {

namespace {

// The write end of the live watcher's pipe, or -1; read by the handler, so lock-free.
std::atomic<int> g_write_fd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnTerminationSignal(int signal) {
  const int saved = errno;
  const int fd = g_write_fd.load();
  if (fd >= 0) {
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe drops the byte: the signals already waiting there end the program all the same.
    [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
  }
  errno = saved;
}

}  // namespace

const std::vector<int>& TerminationSignals::Watched() {
  static const std::vector<int> watched = {SIGTERM, SIGHUP, SIGINT};
  return watched;
}

TerminationSignals::TerminationSignals(std::function<void(int signal)> onSignal, QObject* parent)
    : QObject(parent), on_signal_(std::move(onSignal)) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;  // without a pipe the signals keep their defaults
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  g_write_fd.store(write_fd_);
  notifier_ = new QSocketNotifier(read_fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadPipe(); });

  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : Watched()) {
    struct sigaction before {};
    sigaction(signal, &action, &before);
    previous_.push_back(before);
  }
}

TerminationSignals::~TerminationSignals() {
  for (size_t i = 0; i < previous_.size(); ++i) sigaction(Watched()[i], &previous_[i], nullptr);
  if (g_write_fd.load() == write_fd_) g_write_fd.store(-1);
  delete notifier_;
  if (read_fd_ >= 0) ::close(read_fd_);
  if (write_fd_ >= 0) ::close(write_fd_);
}

void TerminationSignals::ReadPipe() {
  unsigned char numbers[64];
  for (;;) {
    const ssize_t n = ::read(read_fd_, numbers, sizeof numbers);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      std::function<void(int)> call = on_signal_;
      if (call) RunGuarded([&] { call(numbers[i]); });
    }
  }
}

}  // namespace tindrel
