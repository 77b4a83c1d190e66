#pragma once
// What the export, import and create --from commands share: the format named on the command
// line, the summary with its notices, and progress on stderr for long work.

#include <string>
#include <vector>

#include "exchange/Exchange.h"

namespace tindrel::tools {

// The format of that name; UsageError naming the formats otherwise (only those that can be
// read when `forImport`).
exchange::Format ParseFormat(const std::string& name, bool forImport);

// The notices, one a line, indented under the summary line.
void PrintNotices(const std::vector<std::string>& notices);

// Prints "<stage>: NN%" on stderr at every tenth, for work of 20,000 steps or more.
exchange::Progress StderrProgress();

}  // namespace tindrel::tools
