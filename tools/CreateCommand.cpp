// tindrel-table create FOLDER [--notes N] [--seed S] | [--from FORMAT IN]

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "store/engine/EngineError.h"
#include "tools/ExchangeArgs.h"
#include "tools/NoteTable.h"
#include "tools/OutlineNotes.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

namespace {

uint64_t ParseCount(const std::string& option, const std::string& text, uint64_t max) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value > max)
    throw UsageError(option + " needs a whole number from 0 to " + std::to_string(max) + ", not '" + text + "'");
  return value;
}

}  // namespace

int CreateCommand(const Args& args) {
  std::string folder;
  bool generate = false;
  uint64_t notes = 0;
  uint64_t seed = 1;
  std::string fromFormat, fromPath;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--from") {
      if (i + 2 >= args.size()) throw UsageError("--from needs a FORMAT and a file or folder IN");
      fromFormat = args[++i];
      fromPath = args[++i];
    } else if (a == "--notes" || a == "--seed") {
      if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
      if (a == "--notes") {
        // Ten-digit identifiers: the ID field holds up to 9,999,999,999; the record count of
        // the file is 32 bits. A billion notes is far past any use.
        notes = ParseCount(a, args[++i], 1000000000);
        generate = true;
      } else {
        seed = ParseCount(a, args[++i], UINT64_MAX);
      }
    } else if (!a.empty() && a[0] == '-') {
      throw UsageError("create: unknown option '" + a + "'");
    } else if (folder.empty()) {
      folder = a;
    } else {
      throw UsageError("create takes one FOLDER");
    }
  }
  if (folder.empty()) throw UsageError("create needs a FOLDER");
  if (generate && !fromFormat.empty()) throw UsageError("create takes either --notes or --from, not both");
  // The input is read and checked before anything is made: a refused import leaves no table.
  std::vector<std::string> notices;
  std::vector<Note> content;
  if (!fromFormat.empty()) {
    const exchange::Format format = ParseFormat(fromFormat, true);
    content = NotesForNewTable(exchange::ReadOutline(format, fromPath, StderrProgress()), notices);
  }

  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
    throw engine::EngineError(engine::ResultCode::IoError,
                              "cannot make the folder " + folder + ": " + std::strerror(errno));

  if (fromFormat.empty() && !generate) content = WelcomeNotes();
  // Generated notes are made one at a time as they are written: a million of them never sit in
  // memory together.
  const auto total = generate ? static_cast<uint32_t>(notes) : static_cast<uint32_t>(content.size());
  const bool chatty = total >= 20000;
  int shown = -1;
  const auto report = [&](uint32_t done, uint32_t of) {
    if (!chatty || of == 0) return;
    const int percent = static_cast<int>(uint64_t{done} * 100 / of) / 10 * 10;
    if (percent != shown) {
      shown = percent;
      std::fprintf(stderr, "Creating: %d%%\n", percent);
    }
  };
  if (generate) {
    RandomNoteSource source(total, seed);
    CreateNoteTable(folder, total, [&](Note& next) { return source.Next(next); }, report);
  } else {
    CreateNoteTable(folder, content, report);
  }
  if (fromFormat.empty()) {
    std::printf("%s: created with %u notes\n", NoteTablePath(folder).c_str(), total);
  } else {
    std::printf("%s: created with %zu notes from %s\n", NoteTablePath(folder).c_str(), content.size(),
                fromPath.c_str());
    PrintNotices(notices);
  }
  return 0;
}

}  // namespace tindrel::tools
