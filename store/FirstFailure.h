#pragma once
// The steps of news that every receiver must get (a change of the dataset's state): a step that
// fails does not stop the ones after it, and the first failure is raised once all have run.

#include <exception>
#include <utility>

namespace tindrel {

class FirstFailure {
 public:
  template <typename Step>
  void Run(Step&& step) {
    try {
      std::forward<Step>(step)();
    } catch (...) {
      if (!failure_) failure_ = std::current_exception();
    }
  }
  // Raises the first failure, if any.
  void Raise() {
    if (!failure_) return;
    std::exception_ptr failure = std::move(failure_);
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }

 private:
  std::exception_ptr failure_;
};

}  // namespace tindrel
