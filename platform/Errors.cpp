#include "platform/Errors.h"

#include <cstdio>

namespace tindrel {

namespace {
ErrorHandler& InstalledHandler() {
  static ErrorHandler handler;
  return handler;
}
}  // namespace

void SetErrorHandler(ErrorHandler handler) { InstalledHandler() = std::move(handler); }

void ReportException(const std::exception& error) {
  if (dynamic_cast<const SilentAbort*>(&error)) return;
  if (auto& handler = InstalledHandler()) {
    try {
      handler(error);
    } catch (...) {
      std::fprintf(stderr, "error handler failed while reporting: %s\n", error.what());
    }
    return;
  }
  std::fprintf(stderr, "%s\n", error.what());
}

void ReportCurrentException() {
  try {
    throw;
  } catch (const std::exception& error) {
    ReportException(error);
  } catch (...) {
    ReportException(std::runtime_error("Unknown error"));
  }
}

}  // namespace tindrel
