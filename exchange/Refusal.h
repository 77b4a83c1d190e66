#pragma once
// Collects every place where notes cannot be carried as they are, so that one error lists them
// all instead of stopping at the first; nothing is written or imported when there is any.

#include <string>
#include <vector>

namespace tindrel::exchange {

class Refusal {
 public:
  explicit Refusal(std::string heading) : heading_(std::move(heading)) {}
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  bool Empty() const { return lines_.empty(); }
  // ExchangeError: the heading, then one line per place (the first ones, and how many more).
  void ThrowIfAny() const;

 private:
  std::string heading_;
  std::vector<std::string> lines_;
};

}  // namespace tindrel::exchange
