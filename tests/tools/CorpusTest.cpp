// The table tool on the corpus of real tables written by other programs: `dump --csv` must give
// exactly the reference CSV of each table, and `check` must judge each production index on its
// merits rather than trust it.

#include <gtest/gtest.h>

#include "tests/tools/ToolTestSupport.h"

namespace tindrel::test {
namespace {

struct CorpusTable {
  const char* base;
  const char* encoding;
  // Rows of the reference CSV the engine is expected to give; -1: all of them.
  int rows = -1;
  // The header disagrees with the file, and dump says so on stderr.
  bool warns = false;
};

// The encodings are the ones the reference CSVs were made with: the declared code page where
// the language driver byte names one, otherwise the code page the text is in.
const CorpusTable kCorpus[] = {
    {"symlist", "ascii"},        {"changelog", "ascii"},   {"siprom", "latin-1"},
    {"baustein", "latin-1"},     {"test", "cp437"},        {"pyacfl", "ascii"},
    {"provincias_es", "cp1252"}, {"bik_swif", "cp866"},    {"czech", "cp1250"},
    {"xbtest", "ascii"},         {"dbase_83", "cp1252"},   {"dbase_8b", "ascii"},
    {"rooms", "ascii"},
    // The header counts one record and three complete ones follow it. The engine reads all
    // three (nothing a reader can see is hidden) and warns; check reports the disagreement.
    {"less_than_actual", "ascii", -1, true},
    {"xbtypes", "ascii"},
};

// The header row and the first `rows` records of a CSV whose rows end in CRLF (values with
// line breaks inside quotes are not split).
std::string FirstRows(const std::string& csv, int rows) {
  if (rows < 0) return csv;
  size_t at = 0;
  bool quoted = false;
  int seen = -1;  // the header row is not counted
  for (; at < csv.size() && seen < rows; ++at) {
    if (csv[at] == '"') quoted = !quoted;
    if (!quoted && csv[at] == '\n') ++seen;
  }
  return csv.substr(0, at);
}

class CorpusDump : public ::testing::TestWithParam<CorpusTable> {};

TEST_P(CorpusDump, CsvIsTheReferenceByteForByte) {
  const CorpusTable& t = GetParam();
  TempDir dir;
  const std::string table = CopyFixture(t.base, dir.Path());
  const ProcessResult r = RunTool({"dump", table, "--csv", "--encoding", t.encoding});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string expected =
      FirstRows(ReadFile(FixtureFile(std::string(t.base) + ".expected.csv")), t.rows);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(r.out, expected) << "stderr: " << r.err;
  if (t.warns) {
    EXPECT_NE(r.err.find("warning"), std::string::npos) << "the disagreement is reported";
  }
  // Reading must leave the files as they were.
  EXPECT_EQ(ReadFile(table), ReadFile(FixtureFile(std::string(t.base) + ".dbf")));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CorpusDump, ::testing::ValuesIn(kCorpus),
                         [](const auto& info) { return std::string(info.param.base); });

struct CheckCase {
  const char* base;
  bool consistent;
  const char* mentions;  // a text the output must hold
};

const CheckCase kChecks[] = {
    // __OPHIST has no keys although every record has a value, but its tag header holds the
    // FOR condition .FALSE. (at 762 in the header page): empty is the right content.
    {"symlist", true, "consistent (9 records, 0 deleted, 5 tags)"},
    // Equal keys stored in descending record order, a unique tag: a valid index.
    {"changelog", true, "consistent (3 records, 0 deleted, 6 tags)"},
    {"siprom", true, "consistent (2 records, 0 deleted, 2 tags)"},
    // The deleted record's keys were taken out when it was deleted; the engine keeps its own
    // tags the same way (a deleted record has no entries), so that is no problem.
    {"baustein", true, "consistent (11 records, 1 deleted, 2 tags)"},
    {"test", true, "consistent (3 records, 0 deleted, 2 tags)"},
    // The header says a production index exists, but there is none.
    {"czech", false, "czech.mdx"},
    {"rooms", false, "rooms.mdx"},
    {"pyacfl", true, "consistent (45 records, 30 deleted, 0 tags)"},
    {"dbase_83", true, "consistent (67 records, 0 deleted, 0 tags)"},
    {"less_than_actual", false, "counts 1 records"},
};

class CorpusCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CorpusCheck, JudgesTheIndexOnItsMerits) {
  const CheckCase& c = GetParam();
  TempDir dir;
  const std::string table = CopyFixture(c.base, dir.Path());
  const ProcessResult r = RunTool({"check", table});
  EXPECT_EQ(r.status, c.consistent ? 0 : 1) << r.out << r.err;
  EXPECT_NE(r.out.find(c.mentions), std::string::npos) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CorpusCheck, ::testing::ValuesIn(kChecks),
                         [](const auto& info) { return std::string(info.param.base); });

}  // namespace
}  // namespace tindrel::test
