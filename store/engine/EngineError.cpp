#include "store/engine/EngineError.h"

#include <algorithm>
#include <cstdio>

namespace tindrel::engine {

EngineError::EngineError(ResultCode code, std::string mainText, std::vector<std::string> context)
    : std::runtime_error(Compose(code, mainText, context)),
      code_(code),
      mainText_(std::move(mainText)),
      context_(std::move(context)) {}

std::string EngineError::Compose(ResultCode code, const std::string& main, const std::vector<std::string>& context) {
  std::vector<std::string> lines;
  if (!main.empty()) lines.push_back(main);
  for (const auto& line : context) {
    if (line.empty() || std::find(lines.begin(), lines.end(), line) != lines.end()) continue;
    lines.push_back(line);
  }
  if (lines.empty()) {
    char text[32];
    std::snprintf(text, sizeof text, "Engine error $%.4x", static_cast<unsigned>(code));
    return text;
  }
  std::string message = lines.front();
  for (size_t i = 1; i < lines.size(); ++i) message += "\n" + lines[i];
  return message;
}

}  // namespace tindrel::engine
