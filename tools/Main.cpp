// tindrel-table: the command-line companion of the note table.
//
// Exit status: 0 when the command did what was asked (or found nothing wrong), 1 when it found
// a problem or an error stopped it, 2 when the command line is wrong.

#include <cstdio>
#include <cstring>
#include <iostream>

#include "store/engine/EngineError.h"
#include "tools/TableTool.h"

namespace {

using tindrel::tools::Args;

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* synopsis;  // the arguments, as the usage shows them
  const char* summary;   // one line for the usage
  const char* help;      // what --help adds
};

const Command kCommands[] = {
    {"create", tindrel::tools::CreateCommand, "FOLDER [--notes N] [--seed S] | [--from FORMAT IN]",
     "a new note table FOLDER/Tindrel.dbf",
     "Makes a new note table FOLDER/Tindrel.dbf with its memo file and index (the folder is made\n"
     "when it does not exist). It holds a few welcome notes, or N generated notes in a random tree,\n"
     "the same for the same seed S. Refuses, changing nothing, when any of the table's files exists.\n"
     "With --from FORMAT IN instead it holds the notes of IN, an exported file or folder (see\n"
     "`import`); what does not fit is changed as `import` changes it, and listed.\n"},
    {"check", tindrel::tools::CheckCommand, "TABLE", "validate table, memo file and index",
     "Reads the table, its memo file and its production index and checks them against each other.\n"
     "Exit status 0 when they are consistent, 1 when a problem is found (each one is printed).\n"},
    {"dump", tindrel::tools::DumpCommand, "TABLE [--csv] [--encoding NAME]", "every live record in record order",
     "Prints every record that is not marked deleted, in record order: one block per record, or\n"
     "with --csv one CSV row per record under a row of field names. --encoding NAME reads the text\n"
     "in that code page instead of the one the table names. A damaged memo is printed as far as it\n"
     "reads, with a warning.\n"},
    {"reindex", tindrel::tools::ReindexCommand, "TABLE", "rebuild the production index",
     "Rebuilds every tag of the table's production index from the records. A table without a\n"
     "production index gets one from `index`.\n"},
    {"pack", tindrel::tools::PackCommand, "TABLE", "remove deleted records for good",
     "Removes the records marked deleted for good, compacts the memo file and rebuilds the index.\n"
     "Record numbers change; the notes and their identifiers do not. The table as it was is kept\n"
     "first as a backup in the Backups folder beside it (see `backup`).\n"},
    {"index", tindrel::tools::IndexCommand, "TABLE", "give the table the index on ID the program needs",
     "Gives a table without a production index one with a tag on ID, and an index without such a\n"
     "tag the tag, keeping its other tags; a missing or damaged index file is replaced. One atomic\n"
     "change: a crash leaves the table as it was or mended, never half-changed. No record changes.\n"
     "Exit status 0 when the table has its tag on ID, 1 when it cannot have one (no usable ID field,\n"
     "files that cannot be written).\n"},
    {"adopt", tindrel::tools::AdoptCommand, "TABLE [--dry-run]", "tell whether a table can serve as a note table",
     "Reports whether a dBASE table written by another program can serve as a note table: the fields\n"
     "it found for ID, Parent, Text and MEMO (names without regard to case) with their types, and\n"
     "what is missing or of another type. Makes what is missing where that is sound, which is the\n"
     "index tag on ID (as `index` does; not with --dry-run). It never changes a record and never\n"
     "adds a field. Exit status 0 when the table can serve, 1 when something stops it.\n"},
    {"export", tindrel::tools::ExportCommand, "TABLE FORMAT OUT [--subtree ID]", "the notes to a file or folder",
     "Writes the notes, with their tree, to OUT in FORMAT: markdown-folder (a folder tree, one .md\n"
     "file per note, as Markdown note programs open a vault; OUT must be new or empty),\n"
     "markdown-file (one file, headings by depth), opml, csv (ID, Parent, Text, MEMO, Path) or sql\n"
     "(a script for SQLite and PostgreSQL). --subtree ID writes only that note and those below it.\n"
     "OUT appears whole or not at all; an existing file is refused.\n"},
    {"import", tindrel::tools::ImportCommand, "TABLE FORMAT IN [--under ID]", "the notes of a file or folder",
     "Reads the notes of IN (markdown-folder, markdown-file, opml or csv) into the table, at the top\n"
     "level or below the note ID, with new IDs, as one change: all of them arrive or none. A\n"
     "character the table's code page cannot hold refuses the import, listed by place; a title too\n"
     "long for its field or with a line break is cut at a word and kept whole as the memo's first\n"
     "line; CSV rows with a missing parent or in a loop of parents come in at the top level. Each\n"
     "such case is listed under the summary.\n"},
    {"deleted", tindrel::tools::DeletedCommand, "TABLE", "the deleted notes that can be recalled",
     "Lists the notes marked deleted, which stay in the table until `pack`: for each one its ID,\n"
     "Parent, title and memo length, grouped as the subtrees they were deleted in (a deleted note with\n"
     "the deleted notes below it), each with the place it was deleted from. The file does not record\n"
     "when a note was deleted: the subtree holding the note stored last comes first.\n"},
    {"recall", tindrel::tools::RecallCommand, "TABLE ID", "take a deleted note back, with its deleted notes below it",
     "Takes the deleted note ID back with the deleted notes below it, as one change: back below its\n"
     "parent when that note is live, at the top level otherwise. A note whose ID another note has\n"
     "taken meanwhile gets a new ID (the notes below it follow), and is listed. When several deleted\n"
     "notes have the ID, name one by its record number as #N (`deleted` and the error list them).\n"},
    {"backup", tindrel::tools::BackupCommand, "TABLE [FOLDER]", "a consistent copy of the table's files",
     "Copies the table, its memo file and its index into FOLDER (by default the folder Backups beside\n"
     "the table, made when missing) as TABLE-YYYY-MM-DD-HH-MM-SS.dbf, .dbt and .mdx, a table of its\n"
     "own. Changes the table was left with in its journal are completed first, and the table stays\n"
     "locked while it is copied. The copy appears whole or not at all.\n"},
    {"restore", tindrel::tools::RestoreCommand, "TABLE BACKUP", "replace the table by a backup",
     "Replaces the table's files by those of BACKUP (the backup's .dbf; a name alone is looked up in\n"
     "the Backups folder beside the table; without BACKUP the backups are listed). The backup must\n"
     "open and check clean. The table as it was (changes left in its journal completed) is kept\n"
     "first as a backup of its own. A crash at any moment leaves the table as it was or as the\n"
     "backup holds it, never a mix; the next open completes an interrupted restore.\n"},
};

void PrintUsage(FILE* out) {
  std::fputs("usage: tindrel-table COMMAND ...\n", out);
  for (const Command& c : kCommands) {
    const std::string call = std::string(c.name) + " " + c.synopsis;
    std::fprintf(out, "  %-40s %s\n", call.c_str(), c.summary);
  }
  std::fputs("  --version                                the version of the tool\n"
             "'tindrel-table COMMAND --help' tells more about a command.\n"
             "Exit status: 0 done, 1 a problem found, 2 bad usage.\n",
             out);
}

const Command* Find(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

bool AsksForHelp(const Args& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tindrel::tools;
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string name = argv[1];
  Args args(argv + 2, argv + argc);
  if (name == "--version") {
    std::printf("tindrel-table %s\n", TINDREL_VERSION);
    return 0;
  }
  if (name == "--help" || name == "-h" || (name == "help" && args.empty())) {
    PrintUsage(stdout);
    return 0;
  }
  const Command* command = Find(name == "help" ? args[0] : name);
  try {
    if (!command) throw UsageError("unknown command '" + (name == "help" ? args[0] : name) + "'");
    if (name == "help" || AsksForHelp(args)) {
      std::printf("usage: tindrel-table %s %s\n\n%s", command->name, command->synopsis, command->help);
      return 0;
    }
    return command->run(args);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "tindrel-table: %s\n", e.what());
    PrintUsage(stderr);
    return 2;
  } catch (const tindrel::engine::EngineError& e) {
    std::fprintf(stderr, "tindrel-table: %s\n", e.Message().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tindrel-table: %s\n", e.what());
    return 1;
  }
}
