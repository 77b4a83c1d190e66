// Cursors: record and tag order kept right through inserts, modifications and deletes; cracks;
// key search; the filter; the table-changed callback.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "store/engine/Cursor.h"
#include "store/engine/Table.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::TempFolder;

class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TableSpec spec;
    spec.fields = {{"ID", 'C', 8}, {"PARENT", 'C', 8}, {"TEXT", 'C', 30}, {"MEMO", 'M', 10}};
    spec.tags = {{"ID", "ID"}};
    Table::Create(dir_.File("notes.dbf"), spec);
    table_ = Table::Open(dir_.File("notes.dbf"));
  }

  uint32_t Add(const std::string& id, const std::string& text = "") {
    Record r = table_->BlankRecord();
    table_->SetText(r, 0, id);
    table_->SetText(r, 2, text.empty() ? "note " + id : text);
    return table_->Append(r);
  }

  std::vector<std::string> Walk(Cursor& c) {
    std::vector<std::string> ids;
    Record r;
    c.MoveToBegin();
    while (c.Next(r) == ResultCode::Ok) ids.push_back(table_->GetText(r, 0));
    return ids;
  }

  TempFolder dir_;
  std::unique_ptr<Table> table_;
};

TEST_F(CursorTest, TagOrderStaysSortedThroughInsertsModificationsAndDeletes) {
  std::vector<std::string> ids;
  for (int i = 0; i < 150; ++i) ids.push_back(std::to_string(100000 + (i * 7919) % 150));
  std::mt19937 random(7);
  std::shuffle(ids.begin(), ids.end(), random);
  for (const auto& id : ids) Add(id);
  auto cursor = table_->OpenCursor();
  cursor->SetOrder(table_->Index()->FindTag("ID"));
  std::vector<std::string> expected = ids;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Walk(*cursor), expected);

  for (uint32_t recno = 1; recno <= 150; recno += 3) table_->Delete(recno);
  for (uint32_t recno = 2; recno <= 150; recno += 5) {
    Record r = table_->ReadRecord(recno);
    if (r.IsDeleted()) continue;
    table_->SetText(r, 0, "X" + table_->GetText(r, 0).substr(1));
    table_->Modify(r);
  }
  expected.clear();
  for (uint32_t recno = 1; recno <= 150; ++recno) {
    Record r = table_->ReadRecord(recno);
    if (!r.IsDeleted()) expected.push_back(table_->GetText(r, 0));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Walk(*cursor), expected);
  EXPECT_EQ(cursor->RecordCount(), expected.size());
  EXPECT_TRUE(table_->Check().empty());

  table_->Pack();
  EXPECT_EQ(Walk(*cursor), expected);
  table_.reset();
  cursor.reset();
  table_ = Table::Open(dir_.File("notes.dbf"));
  EXPECT_TRUE(table_->Check().empty());
  auto reopened = table_->OpenCursor();
  reopened->SetOrder(0);
  EXPECT_EQ(Walk(*reopened), expected);
}

TEST_F(CursorTest, TheCursorFollowsItsRecordWhenTheIndexChangesUnderIt) {
  for (const char* id : {"10", "20", "30", "40"}) Add(id);
  auto cursor = table_->OpenCursor();
  cursor->SetOrder(0);
  Record r;
  ASSERT_EQ(cursor->SetToRecord(2), ResultCode::Ok);  // "20"
  // Its key changes to after "40": the cursor moves with it.
  Record changed = table_->ReadRecord(2);
  table_->SetText(changed, 0, "45");
  table_->Modify(changed);
  EXPECT_EQ(cursor->Next(r), ResultCode::EndOfRecords);
  ASSERT_EQ(cursor->SetToRecord(1), ResultCode::Ok);  // "10"
  Add("15");
  ASSERT_EQ(cursor->Next(r), ResultCode::Ok);
  EXPECT_EQ(table_->GetText(r, 0), "15");
  // The current record is deleted: the next read goes on from where it stood.
  table_->Delete(r.recno);
  EXPECT_EQ(cursor->Current(r), ResultCode::RecordNotFound);
  ASSERT_EQ(cursor->Next(r), ResultCode::Ok);
  EXPECT_EQ(table_->GetText(r, 0), "30");
  ASSERT_EQ(cursor->Prior(r), ResultCode::Ok);
  EXPECT_EQ(table_->GetText(r, 0), "10");
}

TEST_F(CursorTest, CracksAtBothEndsInBothOrders) {
  for (const char* id : {"b", "a", "c"}) Add(id);
  auto cursor = table_->OpenCursor();
  for (int order : {-1, 0}) {
    cursor->SetOrder(order);
    Record r;
    cursor->MoveToEnd();
    EXPECT_EQ(cursor->Next(r), ResultCode::EndOfRecords);
    EXPECT_EQ(cursor->CurrentRecno(), 0u);
    EXPECT_EQ(cursor->Current(r), ResultCode::RecordNotFound);
    ASSERT_EQ(cursor->Prior(r), ResultCode::Ok);
    EXPECT_EQ(table_->GetText(r, 0), "c");
    cursor->MoveToBegin();
    EXPECT_EQ(cursor->Prior(r), ResultCode::BeginOfRecords);
    ASSERT_EQ(cursor->Next(r), ResultCode::Ok);
    EXPECT_EQ(table_->GetText(r, 0), order < 0 ? "b" : "a");
    EXPECT_EQ(cursor->SetToRecord(9), ResultCode::RecordNotFound);
  }
}

TEST_F(CursorTest, SetOrderKeepsTheCurrentRecord) {
  for (const char* id : {"c", "a", "b"}) Add(id);
  auto cursor = table_->OpenCursor();
  Record r;
  ASSERT_EQ(cursor->SetToRecord(3), ResultCode::Ok);  // "b"
  cursor->SetOrder(0);
  EXPECT_EQ(cursor->CurrentRecno(), 3u);
  ASSERT_EQ(cursor->Next(r), ResultCode::Ok);
  EXPECT_EQ(table_->GetText(r, 0), "c");
  cursor->SetOrder(-1);
  EXPECT_EQ(cursor->CurrentRecno(), 1u);
  ASSERT_EQ(cursor->Next(r), ResultCode::Ok);
  EXPECT_EQ(r.recno, 2u);
  EXPECT_THROW(cursor->SetOrder(5), EngineError);
}

TEST_F(CursorTest, SeekKeyExactAndNearest) {
  for (const char* id : {"30", "10", "20", "20"}) Add(id);
  auto cursor = table_->OpenCursor();
  EXPECT_THROW(cursor->SeekKey({"10"}, true), EngineError) << "record order has no key";
  cursor->SetOrder(0);
  ASSERT_EQ(cursor->SeekKey({"20"}, true), ResultCode::Ok);
  EXPECT_EQ(cursor->CurrentRecno(), 3u) << "the first of equal keys";
  EXPECT_EQ(cursor->SeekKey({"25"}, true), ResultCode::KeyNotFound);
  EXPECT_EQ(cursor->CurrentRecno(), 3u) << "a failed exact search leaves the cursor";
  ASSERT_EQ(cursor->SeekKey({"25"}, false), ResultCode::Ok);
  EXPECT_EQ(cursor->CurrentRecno(), 1u);
  EXPECT_EQ(cursor->SeekKey({"99"}, false), ResultCode::EndOfRecords);
  Record r;
  EXPECT_EQ(cursor->Next(r), ResultCode::EndOfRecords);
  // A filtered-out record is skipped by the search too.
  cursor->SetFilter([&](const Record& rec) { return rec.recno != 3; });
  ASSERT_EQ(cursor->SeekKey({"20"}, true), ResultCode::Ok);
  EXPECT_EQ(cursor->CurrentRecno(), 4u);
}

TEST_F(CursorTest, TheFilterAppliesToEveryRead) {
  for (int i = 1; i <= 10; ++i) Add(std::to_string(i), i % 2 ? "odd" : "even");
  auto cursor = table_->OpenCursor();
  const int text = table_->FieldIndex("text");
  ASSERT_EQ(text, 2);
  cursor->SetFilter([&](const Record& r) { return table_->GetText(r, text) == "even"; });
  for (int order : {-1, 0}) {
    cursor->SetOrder(order);
    EXPECT_EQ(cursor->RecordCount(), 5u);
    std::vector<uint32_t> seen;
    Record r;
    cursor->MoveToBegin();
    while (cursor->Next(r) == ResultCode::Ok) seen.push_back(r.recno);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<uint32_t>{2, 4, 6, 8, 10}));
    EXPECT_EQ(cursor->SetToRecord(3), ResultCode::RecordNotFound);
  }
  cursor->SetFilter({});
  EXPECT_EQ(cursor->RecordCount(), 10u);
}

TEST_F(CursorTest, TableChangedCallbacksArriveOncePerUnseenChange) {
  Add("1");
  auto mine = table_->OpenCursor();
  auto other = table_->OpenCursor();
  int mineCalls = 0, otherCalls = 0;
  mine->RegisterTableChanged([&] { ++mineCalls; });
  other->RegisterTableChanged([&] { ++otherCalls; });
  table_->CheckRefresh();
  EXPECT_EQ(mineCalls + otherCalls, 0) << "nothing changed since registration";
  Add("2");
  Add("3");
  table_->CheckRefresh();
  EXPECT_EQ(mineCalls, 1);
  EXPECT_EQ(otherCalls, 1);
  table_->CheckRefresh();
  EXPECT_EQ(mineCalls, 1);
  table_->Delete(1);
  EXPECT_EQ(other->ForceReread(), ResultCode::Ok);  // counts the change as seen
  table_->CheckRefresh();
  EXPECT_EQ(mineCalls, 2);
  EXPECT_EQ(otherCalls, 1);
  // A callback may close another cursor, which then gets nothing.
  mine->RegisterTableChanged([&] { ++mineCalls; other.reset(); });
  Add("4");
  table_->CheckRefresh();
  EXPECT_EQ(mineCalls, 3);
  EXPECT_EQ(otherCalls, 1);
}

TEST_F(CursorTest, ACursorOutlivingItsTableFailsCleanly) {
  Add("1");
  auto cursor = table_->OpenCursor();
  table_.reset();
  Record r;
  try {
    cursor->Next(r);
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::InvalidHandle);
  }
}

}  // namespace
}  // namespace tindrel::engine
