// Real tables written by other programs: every one opens, reads the records its reference CSV
// lists, and walks each index tag in the order its index file stores.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "store/engine/Cursor.h"
#include "store/engine/Table.h"
#include "tests/support/Fixtures.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::TempFolder;
using tindrel::testing::CopyFixture;
using tindrel::testing::FixtureFile;

struct Fixture {
  const char* base;
  uint32_t records;  // in the file, deleted included
  uint32_t live;
  int codePage;      // for the table's text
  bool indexMissing = false;
  const char* warning = nullptr;  // a part of a warning the open gives
};

const Fixture kFixtures[] = {
    {"symlist", 9, 9, 0},         {"changelog", 3, 3, 0},     {"siprom", 2, 2, 0},
    {"baustein", 11, 10, 0},      {"test", 3, 3, 437},        {"pyacfl", 45, 15, 0},
    {"provincias_es", 52, 52, 1252}, {"bik_swif", 369, 369, 866, false, "no end mark"},
    {"czech", 3, 3, 1250, true},  {"xbtest", 3, 2, 0},        {"dbase_83", 67, 67, 1252},
    {"dbase_8b", 10, 10, 0},      {"rooms", 42, 42, 0, true, "instead of 13"},
    {"less_than_actual", 3, 3, 0, false, "all are read"},     {"xbtypes", 4, 4, 0},
};

// Number of records in a CSV whose rows end in CRLF (line breaks inside quotes do not count).
uint32_t CsvRows(const std::string& csv) {
  uint32_t rows = 0;
  bool quoted = false;
  for (size_t i = 0; i < csv.size(); ++i) {
    if (csv[i] == '"') quoted = !quoted;
    if (!quoted && csv[i] == '\n') ++rows;
  }
  return rows - 1;  // the header row
}

// The entries of each tag, in index order, as the reference listing gives them.
std::map<std::string, std::vector<uint32_t>> ListedOrder(const std::string& path) {
  std::map<std::string, std::vector<uint32_t>> tags;
  std::ifstream in(path);
  std::string line, tag;
  bool entries = false;
  while (std::getline(in, line)) {
    if (line.rfind("[TAG ", 0) == 0) {
      tag = line.substr(5, line.find(']') - 5);
      tags[tag];
      entries = false;
    } else if (line.find("entries in index order") != std::string::npos) {
      entries = true;
    } else if (entries && line.find('|') != std::string::npos) {
      std::istringstream fields(line);
      uint32_t recno = 0;
      std::string bar, deleted;
      fields >> recno;
      std::string rest = line.substr(line.find('|') + 1);
      if (rest.substr(0, rest.find('|')).find_first_not_of(' ') == std::string::npos) tags[tag].push_back(recno);
    } else {
      entries = false;
    }
  }
  return tags;
}

class FixtureTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(FixtureTest, OpensAndReadsEveryRecord) {
  const Fixture& f = GetParam();
  OpenOptions options;
  options.defaultCodePage = f.codePage;
  options.tolerateBadIndex = f.indexMissing;
  // A private copy with its write bits taken off: the engine honours the bits (root included)
  // and opens the table read-only, whatever the permissions of the checkout.
  TempFolder dir;
  const std::string path = CopyFixture(f.base, dir.Path());
  tindrel::testing::MakeReadOnly(f.base, dir.Path());
  ASSERT_FALSE(tindrel::testing::HasWriteBits(path));
  auto t = Table::Open(path, options);
  EXPECT_TRUE(t->ReadOnly()) << "the copy's files have no write bits";
  EXPECT_EQ(t->RecordCount(), f.records);
  auto cursor = t->OpenCursor();
  EXPECT_EQ(cursor->RecordCount(), f.live);
  const std::string csv = TempFolder::Read(FixtureFile(std::string(f.base) + ".expected.csv"));
  EXPECT_EQ(CsvRows(csv), f.live);
  // Every value read is in the reference text (the CSV quotes some, so look for the text).
  Record r;
  while (cursor->Next(r) == ResultCode::Ok) {
    for (int i = 0; i < static_cast<int>(t->Fields().size()); ++i) {
      const FieldDesc& d = t->Fields()[i];
      if (d.type != 'C' && d.type != 'M') continue;
      std::string text = t->GetText(r, i);
      if (text.find('"') != std::string::npos || text.find('\0') != std::string::npos) continue;
      EXPECT_NE(csv.find(text), std::string::npos) << f.base << " record " << r.recno << " " << d.name;
    }
  }
  if (f.warning) {
    bool found = false;
    for (const auto& w : t->Warnings()) found = found || w.find(f.warning) != std::string::npos;
    EXPECT_TRUE(found) << f.base << ": no warning containing '" << f.warning << "'";
  }
  if (f.indexMissing) {
    EXPECT_EQ(t->Index(), nullptr);
    t.reset();
    options.tolerateBadIndex = false;
    try {
      Table::Open(path, options);
      FAIL() << "opened without its index";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), ResultCode::IndexFileMissing);
      EXPECT_NE(e.Message().find(std::string(f.base) + ".mdx"), std::string::npos) << e.Message();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) { return std::string(info.param.base); });

class IndexedFixtureTest : public ::testing::TestWithParam<const char*> {};

TEST_P(IndexedFixtureTest, WalksEveryTagInTheStoredOrder) {
  const std::string base = GetParam();
  const std::string keys = FixtureFile(base + ".mdx-keys.txt");
  TempFolder dir;
  auto t = Table::Open(CopyFixture(base, dir.Path()));
  ASSERT_NE(t->Index(), nullptr);
  auto listed = ListedOrder(keys);
  ASSERT_FALSE(listed.empty());
  auto cursor = t->OpenCursor();
  size_t walkedInAll = 0;
  for (const auto& [name, order] : listed) {
    int tag = t->Index()->FindTag(name);
    ASSERT_GE(tag, 0) << name;
    cursor->SetOrder(tag);
    cursor->MoveToBegin();
    std::vector<uint32_t> walked;
    Record r;
    while (cursor->Next(r) == ResultCode::Ok) walked.push_back(r.recno);
    std::vector<uint32_t> live;
    for (uint32_t recno : order)
      if (!t->ReadRecord(recno).IsDeleted()) live.push_back(recno);
    EXPECT_EQ(walked, live) << base << " tag " << name;
    walkedInAll += walked.size();
    // And backwards.
    std::vector<uint32_t> back;
    cursor->MoveToEnd();
    while (cursor->Prior(r) == ResultCode::Ok) back.insert(back.begin(), r.recno);
    EXPECT_EQ(back, live) << base << " tag " << name;
  }
  EXPECT_GT(walkedInAll, 0u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, IndexedFixtureTest,
                         ::testing::Values("symlist", "changelog", "siprom", "baustein", "test"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace tindrel::engine

namespace tindrel::engine {
namespace {

// A tag whose FOR condition is the literal .FALSE. (symlist's __OPHIST) is one the engine
// evaluates: it is kept empty on changes, and Check verifies it (an empty tag is then correct,
// an entry in it is a fault) instead of skipping it as beyond its reach.
TEST(IndexedFixtureTest, ATagWithTheForConditionFalseIsMaintainedAndChecked) {
  TempFolder dir;
  auto t = Table::Open(CopyFixture("symlist", dir.Path()));
  ASSERT_FALSE(t->ReadOnly());
  ASSERT_NE(t->Index(), nullptr);
  const int tag = t->Index()->FindTag("__OPHIST");
  ASSERT_GE(tag, 0);
  const TagInfo& info = t->Index()->Tags()[tag];
  EXPECT_EQ(info.forExpression, ".FALSE.");
  EXPECT_TRUE(info.maintainable) << info.notMaintainableWhy;
  EXPECT_EQ(t->Index()->EntryCount(tag), 0u);
  EXPECT_TRUE(t->Check().empty());

  const int id = t->Index()->FindTag("__ID");
  const size_t ids = t->Index()->EntryCount(id);
  Record r = t->ReadRecord(1);
  t->SetText(r, t->FieldIndex("_ID"), "99");
  t->SetText(r, t->FieldIndex("_OPHIST"), "DB 99");
  t->Append(r);
  EXPECT_EQ(t->Index()->EntryCount(tag), 0u) << "no record belongs in it";
  EXPECT_EQ(t->Index()->EntryCount(id), ids + 1);
  EXPECT_TRUE(t->Check().empty());
}

}  // namespace
}  // namespace tindrel::engine
