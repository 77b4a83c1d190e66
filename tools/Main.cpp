// tindrel-table: the command-line companion of the note table.

#include <cstdio>
#include <cstring>
#include <iostream>

#include "store/engine/EngineError.h"
#include "tools/TableTool.h"

namespace {

const char kUsage[] =
    "usage: tindrel-table COMMAND ...\n"
    "  create FOLDER [--notes N] [--seed S]   a new note table FOLDER/Tindrel.dbf\n"
    "  create FOLDER --from FORMAT IN         a new note table holding the notes of IN\n"
    "  check TABLE                            validate table, memo file and index\n"
    "  dump TABLE [--csv] [--encoding NAME]   every live record in record order\n"
    "  reindex TABLE                          rebuild the production index\n"
    "  pack TABLE                             remove deleted records for good\n"
    "  export TABLE FORMAT OUT [--subtree ID] the notes (or one note and those below it) to OUT\n"
    "  import TABLE FORMAT IN [--under ID]    the notes of IN, at the top level or below a note\n"
    "FORMAT: markdown-folder, markdown-file, opml, csv, sql (export only)\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace tindrel::tools;
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  const Args args(argv + 2, argv + argc);
  try {
    if (command == "create") return CreateCommand(args);
    if (command == "check") return CheckCommand(args);
    if (command == "dump") return DumpCommand(args);
    if (command == "reindex") return ReindexCommand(args);
    if (command == "pack") return PackCommand(args);
    if (command == "export") return ExportCommand(args);
    if (command == "import") return ImportCommand(args);
    if (command == "--help" || command == "-h" || command == "help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    throw UsageError("unknown command '" + command + "'");
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tindrel-table: %s\n%s", e.what(), kUsage);
    return 2;
  } catch (const tindrel::engine::EngineError& e) {
    std::fprintf(stderr, "tindrel-table: %s\n", e.Message().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tindrel-table: %s\n", e.what());
    return 1;
  }
}
