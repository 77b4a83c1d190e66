// Taking deleted records back: the deleted-only cursor that finds them, and Recall, which clears
// their marks and puts their keys back into every tag as one change; what it refuses.

#include <gtest/gtest.h>

#include "store/engine/Cursor.h"
#include "store/engine/Table.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::TempFolder;

// IDs 1..5 with memos, tags on ID and on TEXT; records 2 and 4 deleted.
class RecallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TableSpec spec;
    spec.fields = {{"ID", 'N', 6}, {"TEXT", 'C', 20}, {"MEMO", 'M', 10}};
    spec.tags = {{"ID", "ID"}, {"TEXT", "UPPER(TEXT)"}};
    std::vector<std::vector<std::string>> rows;
    for (int id = 1; id <= 5; ++id)
      rows.push_back({std::to_string(id), "note " + std::to_string(id), std::string(300 * id, char('a' + id))});
    tindrel::testing::WriteTable(dir_.File("t.dbf"), spec, rows);
    table_ = Table::Open(dir_.File("t.dbf"));
    table_->Delete(2);
    table_->Delete(4);
  }

  // The record numbers a cursor visits in `tag` order (-1: record order).
  std::vector<uint32_t> Visited(int tag, bool deletedOnly = false) {
    auto cursor = table_->OpenCursor();
    cursor->SetOrder(tag);
    cursor->SetDeletedOnly(deletedOnly);
    std::vector<uint32_t> seen;
    Record r;
    while (cursor->Next(r) == ResultCode::Ok) seen.push_back(r.recno);
    return seen;
  }

  TempFolder dir_;
  std::unique_ptr<Table> table_;
};

TEST_F(RecallTest, TheDeletedOnlyCursorVisitsTheDeletedRecordsInRecordOrder) {
  auto cursor = table_->OpenCursor();
  cursor->SetDeletedOnly(true);
  EXPECT_EQ(cursor->RecordCount(), 2u);
  EXPECT_EQ(Visited(-1, true), (std::vector<uint32_t>{2, 4}));
  EXPECT_EQ(cursor->SetToRecord(3), ResultCode::RecordNotFound) << "a live record is not among them";
  EXPECT_EQ(cursor->SetToRecord(4), ResultCode::Ok);
  Record back;
  EXPECT_EQ(cursor->Prior(back), ResultCode::Ok);
  EXPECT_EQ(back.recno, 2u);
  EXPECT_TRUE(back.IsDeleted());
  // The index holds no deleted record: a tag order cannot serve such a cursor.
  EXPECT_THROW(cursor->SetOrder(0), EngineError);
  cursor->SetDeletedOnly(false);
  cursor->SetOrder(0);
  EXPECT_THROW(cursor->SetDeletedOnly(true), EngineError);
  EXPECT_EQ(cursor->RecordCount(), 3u);
}

TEST_F(RecallTest, ARecalledRecordIsBackWithItsMemoAndItsKeysInEveryTag) {
  std::vector<Record> records{table_->ReadRecord(4), table_->ReadRecord(2)};
  table_->Recall(records);
  EXPECT_EQ(Visited(-1), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Visited(0), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Visited(1), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(table_->Check().empty()) << table_->Check().front();
  table_.reset();
  auto reopened = Table::Open(dir_.File("t.dbf"));
  const Record r = reopened->ReadRecord(4);
  EXPECT_FALSE(r.IsDeleted());
  EXPECT_EQ(reopened->GetText(r, 2), std::string(1200, 'e'));
  EXPECT_TRUE(reopened->Check().empty());
  auto cursor = reopened->OpenCursor();
  cursor->SetOrder(0);
  EXPECT_EQ(cursor->SeekKey({"2"}, true), ResultCode::Ok);
  EXPECT_EQ(cursor->CurrentRecno(), 2u);
}

TEST_F(RecallTest, ARecalledRecordTakesTheValuesItIsGiven) {
  std::vector<Record> records{table_->ReadRecord(2)};
  table_->SetText(records[0], 0, "77");
  table_->Recall(records);
  auto cursor = table_->OpenCursor();
  cursor->SetOrder(0);
  EXPECT_EQ(cursor->SeekKey({"2"}, true), ResultCode::KeyNotFound);
  ASSERT_EQ(cursor->SeekKey({"77"}, true), ResultCode::Ok);
  EXPECT_EQ(cursor->CurrentRecno(), 2u);
  EXPECT_EQ(Visited(0), (std::vector<uint32_t>{1, 3, 5, 2}));
  EXPECT_TRUE(table_->Check().empty());
}

TEST_F(RecallTest, ARecallThatCannotBeDoneChangesNothing) {
  auto beyond = table_->ReadRecord(5);
  beyond.recno = 9;
  const struct {
    const char* what;
    std::vector<Record> records;
    ResultCode code;
    std::string text;
  } cases[] = {
      {"a record pack removed", {table_->ReadRecord(2), beyond}, ResultCode::RecordNotFound,
       "Record 9 of " + dir_.File("t.dbf") +
           " does not exist (a pack removes deleted records for good); nothing was recalled"},
      {"a live record", {table_->ReadRecord(4), table_->ReadRecord(3)}, ResultCode::InvalidCall,
       "Record 3 of " + dir_.File("t.dbf") + " is not deleted; nothing was recalled"},
      {"a record named twice", {table_->ReadRecord(4), table_->ReadRecord(4)}, ResultCode::InvalidCall,
       "Record 4 of " + dir_.File("t.dbf") + " is named twice; nothing was recalled"},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.what);
    const uint64_t changes = table_->ChangeCount();
    try {
      table_->Recall(c.records);
      ADD_FAILURE() << "recalled";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), c.code);
      EXPECT_EQ(e.MainText(), c.text);
    }
    EXPECT_EQ(table_->ChangeCount(), changes);
    EXPECT_EQ(Visited(-1, true), (std::vector<uint32_t>{2, 4}));
    EXPECT_EQ(Visited(0), (std::vector<uint32_t>{1, 3, 5}));
  }
}

TEST_F(RecallTest, AReadOnlyTableRefusesARecall) {
  table_.reset();
  OpenOptions options;
  options.readOnly = true;
  auto readOnly = Table::Open(dir_.File("t.dbf"), options);
  std::vector<Record> records{readOnly->ReadRecord(2)};
  try {
    readOnly->Recall(records);
    ADD_FAILURE() << "recalled";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::ReadOnlyTable);
  }
  EXPECT_TRUE(readOnly->ReadRecord(2).IsDeleted());
}

}  // namespace
}  // namespace tindrel::engine
