// tindrel-table's deleted and recall commands on a real note table whose notes were deleted
// through the engine, as the program deletes them (the deepest notes first).

#include <gtest/gtest.h>

#include "store/engine/Table.h"
#include "tests/tools/ToolTestSupport.h"
#include "tools/NoteTable.h"

namespace tindrel::test {
namespace {

using engine::Table;

// Home (1) holds Garden (2), which holds Roses (3) with Red (4); Attic (5) at the top level.
class RecallTool : public ::testing::Test {
 protected:
  void SetUp() override {
    tools::CreateNoteTable(dir_.Path(), {{1, 0, "Home", "the house"},
                                         {2, 1, "Garden", "soil\nand sun"},
                                         {3, 2, "Roses", "ρόδα"},
                                         {4, 3, "Red", ""},
                                         {5, 0, "Attic", "boxes"}});
  }
  void Delete(std::initializer_list<uint32_t> recnos) {
    auto t = Table::Open(path_);
    for (uint32_t recno : recnos) t->Delete(recno);
  }
  // Appends a note with this ID at the top level, as a note that took a deleted note's ID.
  void AppendNote(const std::string& id, const std::string& title) {
    auto t = Table::Open(path_);
    engine::Record r = t->BlankRecord();
    t->SetText(r, t->FieldIndex("ID"), id);
    t->SetText(r, t->FieldIndex("Text"), title);
    t->Append(r);
  }

  TempDir dir_;
  const std::string path_ = dir_ / "Tindrel.dbf";
};

TEST_F(RecallTool, DeletedListsTheSubtreesAndRecallPutsOneBack) {
  Delete({4, 3, 2});
  Delete({5});
  ProcessResult r = RunTool({"deleted", path_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, path_ + ": 4 deleted notes in 2 subtrees, newest first\n"
                           "\n"
                           "1 note, deleted at the top level:\n"
                           "  ID 5, Parent (blank): \"Attic\", memo 5 characters\n"
                           "\n"
                           "3 notes, deleted below \"Home\":\n"
                           "  ID 2, Parent 1: \"Garden\", memo 12 characters\n"
                           "    ID 3, Parent 2: \"Roses\", memo 4 characters\n"
                           "      ID 4, Parent 3: \"Red\", memo 0 characters\n");

  r = RunTool({"recall", path_, "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, path_ + ": recalled 3 notes, \"Garden\" (ID 2) below \"Home\"\n");
  EXPECT_EQ(RunTool({"check", path_}).status, 0);
  r = RunTool({"dump", path_, "--csv"});
  EXPECT_EQ(r.out, "ID,PARENT,TEXT,MEMO\r\n1,,Home,the house\r\n2,1,Garden,\"soil\nand sun\"\r\n3,2,Roses,ρόδα\r\n4,3,Red,\r\n");
  r = RunTool({"deleted", path_});
  EXPECT_EQ(r.out.substr(r.out.find(':')), ": 1 deleted note in 1 subtree, newest first\n"
                                            "\n"
                                            "1 note, deleted at the top level:\n"
                                            "  ID 5, Parent (blank): \"Attic\", memo 5 characters\n");
}

TEST_F(RecallTool, ARecalledNoteWhoseIdIsTakenIsGivenANewOne) {
  Delete({4, 3});
  AppendNote("3", "Shed");
  const ProcessResult r = RunTool({"recall", path_, "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, path_ + ": recalled 2 notes, \"Roses\" (ID 6) below \"Home / Garden\"\n"
                           "  \"Roses\" has the new ID 6: another note has its ID 3 now\n");
  EXPECT_EQ(RunTool({"check", path_}).status, 0);
  EXPECT_EQ(RunTool({"dump", path_, "--csv"}).out,
            "ID,PARENT,TEXT,MEMO\r\n1,,Home,the house\r\n2,1,Garden,\"soil\nand sun\"\r\n6,2,Roses,ρόδα\r\n"
            "4,6,Red,\r\n5,,Attic,boxes\r\n3,,Shed,\r\n");
}

TEST_F(RecallTool, WhatCannotBeRecalledIsSaidWithStatusOne) {
  Delete({4});
  AppendNote("4", "Second red");
  Delete({6});  // two deleted notes now have the ID 4
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"recall", path_, "9"},
       "tindrel-table: " + path_ + ": no deleted note has the ID 9 (a pack removes deleted notes for good)\n"},
      {{"recall", path_, "1"},
       "tindrel-table: " + path_ + ": no deleted note has the ID 1 (a pack removes deleted notes for good)\n"},
      {{"recall", path_, "4"},
       "tindrel-table: " + path_ + ": 2 deleted notes have the ID 4, in the records #4, #6; name one by its record, "
       "as in: recall TABLE #6\n"},
      {{"recall", dir_ / "missing.dbf", "4"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[2]);
    const ProcessResult r = RunTool(c.args);
    EXPECT_EQ(r.status, 1);
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err);
    }
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  const ProcessResult byRecord = RunTool({"recall", path_, "#6"});
  EXPECT_EQ(byRecord.status, 0) << byRecord.err;
  EXPECT_EQ(byRecord.out, path_ + ": recalled 1 note, \"Second red\" (ID 4) at the top level\n");
}

TEST_F(RecallTool, AfterPackNothingCanBeRecalled) {
  Delete({4, 3});
  ASSERT_EQ(RunTool({"pack", path_}).status, 0);
  const ProcessResult r = RunTool({"deleted", path_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, path_ + ": nothing can be recalled: no deleted notes (a pack removes them for good)\n");
  EXPECT_EQ(RunTool({"recall", path_, "3"}).status, 1);
}

}  // namespace
}  // namespace tindrel::test
