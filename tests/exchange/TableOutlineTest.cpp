// A table's notes as an outline: the tree's order (titles without regard to case, Greek
// included), every live note exactly once, loops of parent links entered with a notice, and one
// note's subtree.

#include <gtest/gtest.h>

#include "exchange/ExchangeError.h"
#include "exchange/TableOutline.h"
#include "store/engine/Table.h"
#include "tests/exchange/OutlineText.h"
#include "tests/support/engine/TempFolder.h"
#include "tools/NoteTable.h"

namespace tindrel::exchange {
namespace {

using namespace testing;
using engine::testing::TempFolder;

std::unique_ptr<engine::Table> MakeTable(const TempFolder& dir) {
  tools::CreateNoteTable(dir.Path(), {
                                         {1, 0, "beta", "b"},
                                         {2, 0, "Alpha", "a"},
                                         {3, 1, "Zeta", ""},
                                         {4, 1, "ωραίο", ""},
                                         {5, 1, "Ωμέγα", ""},
                                         {6, 1, "alpha", ""},
                                         {7, 1, "Άλφα", ""},
                                         {8, 99, "Orphan", ""},
                                         {9, 10, "Loop A", ""},
                                         {10, 9, "Loop B", ""},
                                         {11, 11, "Own parent", ""},
                                         {12, 0, "Twin", ""},
                                         {12, 0, "Twin two", ""},
                                         {13, 12, "Child of the twins", ""},
                                         {14, 2, "Deleted", "gone"},
                                     });
  auto table = engine::Table::Open(tools::NoteTablePath(dir.Path()));
  table->Delete(15);
  return table;
}

TEST(TableOutlineTest, NotesComeInTheTreesOrderEachLiveOneOnce) {
  TempFolder dir;
  const auto table = MakeTable(dir);
  const Outline outline = ReadTableOutline(*table);
  EXPECT_EQ(ShowOutline(outline),
            "Alpha | a\n"
            "beta | b\n"
            "  alpha | \n"
            "  Zeta | \n"
            "  Άλφα | \n"
            "  Ωμέγα | \n"
            "  ωραίο | \n"
            "Orphan | \n"
            "Twin | \n"
            "  Child of the twins | \n"
            "Twin two | \n"
            "Loop A | \n"
            "  Loop B | \n"
            "Own parent | \n");
  ASSERT_EQ(outline.notices.size(), 2u);
  EXPECT_EQ(outline.notices[0],
            "ID 9: the note \"Loop A\" is in a loop of parent links, which the tree cannot show; it is exported at the "
            "top level");
  EXPECT_EQ(outline.notes[1].id, "1");
  EXPECT_EQ(outline.notes[1].place, "ID 1");
}

TEST(TableOutlineTest, OneNotesSubtreeOrAnErrorForAnIdNoNoteHas) {
  TempFolder dir;
  const auto table = MakeTable(dir);
  EXPECT_EQ(ShowOutline(ReadTableOutline(*table, "12")), "Twin | \n  Child of the twins | \n");
  EXPECT_EQ(ShowOutline(ReadTableOutline(*table, "9")), "Loop A | \n  Loop B | \n");
  try {
    ReadTableOutline(*table, "404");
    FAIL() << "read";
  } catch (const ExchangeError& e) {
    EXPECT_EQ(std::string(e.what()), "No note has the ID 404");
  }
}

}  // namespace
}  // namespace tindrel::exchange
