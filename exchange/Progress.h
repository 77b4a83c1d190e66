#pragma once
// Long work tells how far it has come: the stage ("Reading the notes", "Storing the notes"), the
// work done and the work in all. The receiver may throw to stop the work; an import stopped this
// way has changed nothing and an export has left no file behind.

#include <cstdint>
#include <functional>
#include <string_view>

namespace tindrel::exchange {

using Progress = std::function<void(std::string_view stage, uint64_t done, uint64_t total)>;

inline void Report(const Progress& progress, std::string_view stage, uint64_t done, uint64_t total) {
  if (progress) progress(stage, done, total);
}

}  // namespace tindrel::exchange
