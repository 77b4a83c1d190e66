#pragma once
// What the export, import and create --from commands share: the format named on the command
// line, the summary with its notices, and progress on stderr for long work.

#include <string>
#include <vector>

#include "exchange/Exchange.h"
#include "tools/TableTool.h"

namespace tindrel::tools {

// The arguments of export and import: TABLE FORMAT PATH, and the note an --subtree or --under
// option names ("" when it is not given). UsageError for anything else.
struct NoteArgs {
  std::string table;
  std::string format;
  std::string path;
  std::string noteId;
};
NoteArgs ParseNoteArgs(const Args& args, const std::string& command, const std::string& option,
                       const std::string& pathName);

// The format of that name; UsageError naming the formats otherwise (only those that can be
// read when `forImport`).
exchange::Format ParseFormat(const std::string& name, bool forImport);

// The notices, one a line, indented under the summary line.
void PrintNotices(const std::vector<std::string>& notices);

// Prints "<stage>: NN%" on stderr at every tenth, for work of 20,000 steps or more.
exchange::Progress StderrProgress();

}  // namespace tindrel::tools
