#include "tools/ExchangeArgs.h"

#include <cstdio>
#include <memory>

namespace tindrel::tools {

NoteArgs ParseNoteArgs(const Args& args, const std::string& command, const std::string& option,
                       const std::string& pathName) {
  std::vector<std::string> positional;
  NoteArgs parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == option) {
      if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError(option + " needs the ID of a note");
      parsed.noteId = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      throw UsageError(command + ": unknown option '" + args[i] + "'");
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 3) throw UsageError(command + " takes TABLE FORMAT " + pathName);
  parsed.table = positional[0];
  parsed.format = positional[1];
  parsed.path = positional[2];
  return parsed;
}

exchange::Format ParseFormat(const std::string& name, bool forImport) {
  if (const auto format = exchange::FormatNamed(name); format && (!forImport || exchange::InfoOf(*format).importable))
    return *format;
  std::string names;
  for (const exchange::FormatInfo& info : exchange::AllFormats()) {
    if (forImport && !info.importable) continue;
    names += names.empty() ? "" : ", ";
    names += info.name;
  }
  throw UsageError("unknown format '" + name + "' (" + (forImport ? "it can be " : "") + names + ")");
}

void PrintNotices(const std::vector<std::string>& notices) {
  for (const std::string& notice : notices) std::printf("  %s\n", notice.c_str());
}

exchange::Progress StderrProgress() {
  auto shown = std::make_shared<std::pair<std::string, int>>();
  return [shown](std::string_view stage, uint64_t done, uint64_t total) {
    if (total < 20000) return;
    const int percent = static_cast<int>(done * 100 / total) / 10 * 10;
    if (shown->first == stage && shown->second == percent) return;
    *shown = {std::string(stage), percent};
    std::fprintf(stderr, "%.*s: %d%%\n", static_cast<int>(stage.size()), stage.data(), percent);
  };
}

}  // namespace tindrel::tools
