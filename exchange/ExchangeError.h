#pragma once
// A failure of an export or an import: one text a person reads, naming the place (a file, a
// line) where it went wrong. An import that fails has changed nothing; an export that fails has
// left no file behind.

#include <stdexcept>

namespace tindrel::exchange {

class ExchangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tindrel::exchange
