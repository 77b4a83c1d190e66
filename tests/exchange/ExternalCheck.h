#pragma once
// Other programs on the machine reading what the exchange formats wrote: xmllint and Python's XML
// parser, Python's SQLite, find. A test that needs one that is missing is skipped
// (scripts/setup.sh installs them).

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/Hex.h"
#include "tests/tools/RunProcess.h"

namespace tindrel::exchange::testing {

inline std::string Python() { return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3"; }

inline bool HasProgram(const std::string& name) {
  return test::RunProcess({"sh", "-c", "command -v " + name + " >/dev/null"}).status == 0;
}

// Runs a Python script with arguments.
inline test::ProcessResult RunPython(const std::string& script, const std::vector<std::string>& args = {}) {
  std::vector<std::string> argv = {Python(), "-c", script};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::RunProcess(argv);
}

using tindrel::testing::Hex;

}  // namespace tindrel::exchange::testing
