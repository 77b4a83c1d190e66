#pragma once
// The commands of `tindrel-table`. Each takes the arguments after the command name and returns
// the exit status: 0 success, 1 a failure (engine errors are thrown as EngineError and printed
// by main as "tindrel-table: <message>"), 2 bad arguments (UsageError).

#include <stdexcept>
#include <string>
#include <vector>

namespace tindrel::tools {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;

int CreateCommand(const Args& args);
int CheckCommand(const Args& args);
int DumpCommand(const Args& args);
int ReindexCommand(const Args& args);
int PackCommand(const Args& args);
int ExportCommand(const Args& args);
int ImportCommand(const Args& args);

// Writes bytes to stdout as they are (values may hold NUL, CR and LF).
void WriteOut(const std::string& bytes);

}  // namespace tindrel::tools
