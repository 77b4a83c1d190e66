#pragma once
// The program's failures are exceptions rooted in std::runtime_error. A SilentAbort only stops
// the operation that raised it: the error handler never shows it.
//
// Every place where Qt calls into the program (event overrides, slots, timers, modal dialog
// handlers) runs its body through RunGuarded, so no exception ever unwinds through a Qt frame.

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace tindrel {

class SilentAbort : public std::runtime_error {
 public:
  explicit SilentAbort(const std::string& message = "Operation aborted") : std::runtime_error(message) {}
};

// An operation that the object's state or the arguments do not allow (for example a status
// panel width that is not a number).
class EInvalidOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The application's default error handler: shows the error to the person (the program installs
// the message-box one at start; tests install a recording one). SilentAbort never reaches it.
using ErrorHandler = std::function<void(const std::exception&)>;

void SetErrorHandler(ErrorHandler handler);
// Hands an exception to the installed handler (no handler: written to stderr).
void ReportException(const std::exception& error);
// Reports the exception currently being handled; call only inside a catch block.
void ReportCurrentException();

// Runs `body`; whatever it throws is reported (SilentAbort silently dropped). Returns whether the
// body completed without an exception.
template <typename Body>
bool RunGuarded(Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

}  // namespace tindrel
