// tindrel-table's command line: help for every command, the version, and the exit statuses
// (0 done, 1 a problem found, 2 bad usage).

#include <gtest/gtest.h>

#include <regex>

#include "tests/tools/ToolTestSupport.h"

namespace tindrel::test {
namespace {

const char* const kCommands[] = {"create", "check",  "dump",    "reindex", "pack",   "index",   "adopt",
                                 "export", "import", "deleted", "recall",  "backup", "restore"};

// Help is printed, never acted on: the arguments around it are not looked at.
TEST(CommandLine, EveryCommandHasHelpAndHelpDoesNothingElse) {
  TempDir dir;
  for (const char* command : kCommands) {
    const std::vector<std::vector<std::string>> asks = {
        {command, "--help"}, {command, dir / "Tindrel.dbf", "-h"}, {"help", command}, {command, dir.Path(), "--help"}};
    std::string first;
    for (const auto& args : asks) {
      SCOPED_TRACE(args[0] + " " + args[1]);
      const ProcessResult r = RunTool(args);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out.rfind(std::string("usage: tindrel-table ") + command + " ", 0), 0u) << r.out;
      EXPECT_GT(r.out.size(), 120u) << "the help says what the command does";
      EXPECT_EQ(r.err, "");
      if (first.empty()) first = r.out;
      EXPECT_EQ(r.out, first) << "every way of asking gives the same help";
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "asking for help made nothing";

  for (const char* ask : {"--help", "-h", "help"}) {
    const ProcessResult r = RunTool({ask});
    EXPECT_EQ(r.status, 0) << ask;
    for (const char* command : kCommands) EXPECT_NE(r.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    EXPECT_NE(r.out.find("Exit status: 0 done, 1 a problem found, 2 bad usage."), std::string::npos);
  }
}

TEST(CommandLine, VersionIsPrintedWithStatusZero) {
  const ProcessResult r = RunTool({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("tindrel-table [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
}

TEST(CommandLine, BadUsageOfTheMendingCommandsGivesStatusTwo) {
  TempDir dir;
  const std::string table = dir / "n.dbf";
  const std::vector<std::vector<std::string>> cases = {
      {"index"}, {"index", table, table}, {"index", "--dry-run", table}, {"adopt"},
      {"adopt", table, table}, {"adopt", table, "--force"}, {"help", "frobnicate"}, {"--versions"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += " " + a;
    const ProcessResult r = RunTool(args);
    EXPECT_EQ(r.status, 2) << shown << "\n" << r.err;
    EXPECT_NE(r.err.find("usage: tindrel-table"), std::string::npos) << shown;
    EXPECT_EQ(r.out, "") << shown;
  }
}

}  // namespace
}  // namespace tindrel::test
