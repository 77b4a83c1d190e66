#include "exchange/Refusal.h"

#include "exchange/ExchangeError.h"

namespace tindrel::exchange {
namespace {

// A message box or a terminal shows this many; the count of the rest follows.
constexpr size_t kListedPlaces = 20;

}  // namespace

void Refusal::ThrowIfAny() const {
  if (lines_.empty()) return;
  std::string text = heading_;
  for (size_t i = 0; i < lines_.size() && i < kListedPlaces; ++i) text += "\n" + lines_[i];
  if (lines_.size() > kListedPlaces) text += "\n... and " + std::to_string(lines_.size() - kListedPlaces) + " more";
  throw ExchangeError(text);
}

}  // namespace tindrel::exchange
