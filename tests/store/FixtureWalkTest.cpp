// Tables written by other programs, walked through the dataset: forwards and backwards the walk
// visits each live record once, in the same order, and every field reads without an error.
// (czech and rooms declare a production index that was not shipped; the engine refuses them.)

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Table.h"
#include "tests/support/Fixtures.h"

namespace tindrel {
namespace {

class FixtureWalk : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureWalk, VisitsEveryLiveRecordOnceInBothDirections) {
  QTemporaryDir dir;
  TTable table;
  table.SetTableName(QString::fromStdString(testing::CopyFixture(GetParam(), dir.path().toStdString())));
  ASSERT_NO_THROW(table.Open());
  std::vector<uint32_t> forward, backward;
  table.SuspendNotifications();
  for (table.First(); !table.Eof(); table.Next()) {
    forward.push_back(table.TakeBookmark().recno);
    for (const auto& field : table.Fields()) {
      EXPECT_NO_THROW(field->AsString()) << field->FieldName().toStdString();
      EXPECT_NO_THROW(field->IsNull()) << field->FieldName().toStdString();
    }
  }
  for (table.Last(); !table.BOF(); table.Prior()) backward.push_back(table.TakeBookmark().recno);
  table.ResumeNotifications();
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(forward, backward);
  EXPECT_EQ(forward.size(), table.RecordCount());
  std::vector<uint32_t> sorted = forward;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "a record was visited twice";
}

INSTANTIATE_TEST_SUITE_P(Corpus, FixtureWalk,
                         ::testing::Values("baustein", "bik_swif", "changelog", "dbase_83", "dbase_8b",
                                           "less_than_actual", "provincias_es", "pyacfl", "siprom", "symlist",
                                           "test", "xbtest", "xbtypes"));

}  // namespace
}  // namespace tindrel
