#pragma once
// What a person can do when the note table does not open: the table tool's command that would
// mend the failure (a starter table where there is none, an index on ID where it is missing or
// damaged), ready to be typed in a terminal. Failures that the tool cannot mend (the table in
// use, a damaged table or memo file) have none.

#include <QString>

#include <exception>

namespace tindrel {

// One sentence naming the command, or "" when no command mends `error`. `programFolder` holds
// the table and the table tool, and ends in "/".
QString TableRemedy(const std::exception& error, const QString& programFolder);

}  // namespace tindrel
