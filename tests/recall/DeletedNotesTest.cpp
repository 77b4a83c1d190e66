// The deleted subtrees of a note table and their recall, on real note tables: deleted as the
// tree deletes (the deepest notes first), listed, recalled, reopened and checked.

#include "recall/DeletedNotes.h"

#include <gtest/gtest.h>

#include <tuple>

#include "store/engine/Cursor.h"
#include "store/engine/Table.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/engine/TempFolder.h"
#include "tools/NoteTable.h"

namespace tindrel::recall {
namespace {

using engine::Table;

// Home (1) holds Kitchen (2) and Garden (3); Garden holds Roses (4), which holds Red (5) and
// White (6); Attic (7) is at the top level. Records in ID order.
std::vector<tools::Note> Garden() {
  return {{1, 0, "Home", "the house"},       {2, 1, "Kitchen", "pots"},
          {3, 1, "Garden", "soil\r\nand sun"}, {4, 3, "Roses", std::string(3000, 'r')},
          {5, 4, "Red", "red one"},          {6, 4, "White", ""},
          {7, 0, "Attic", "boxes"}};
}

class DeletedNotesTest : public ::testing::Test {
 protected:
  void Make(const std::vector<tools::Note>& notes) {
    tools::CreateNoteTable(dir_.Path(), notes);
    Reopen();
  }
  void Reopen() {
    table_.reset();
    table_ = Table::Open(tools::NoteTablePath(dir_.Path()));
  }
  // Deletes the notes as the tree does: the given records, in this order.
  void Delete(std::initializer_list<uint32_t> recnos) {
    for (uint32_t recno : recnos) table_->Delete(recno);
  }
  std::string Field(uint32_t recno, const char* name) const {
    return table_->GetText(table_->ReadRecord(recno), table_->FieldIndex(name));
  }
  // The live records in the order of the ID tag, each as "ID:Parent:Text".
  std::vector<std::string> ByIdTag() const {
    auto cursor = table_->OpenCursor();
    cursor->SetOrder(0);
    std::vector<std::string> seen;
    engine::Record r;
    while (cursor->Next(r) == engine::ResultCode::Ok)
      seen.push_back(Field(r.recno, "ID") + ":" + Field(r.recno, "Parent") + ":" + Field(r.recno, "Text"));
    return seen;
  }
  std::vector<std::string> Titles(const DeletedSubtree& subtree) const {
    std::vector<std::string> titles;
    for (const DeletedNote& note : subtree.notes)
      titles.push_back(std::string(static_cast<size_t>(note.depth) * 2, ' ') + note.title);
    return titles;
  }
  void ExpectClean() const {
    const auto problems = table_->Check();
    EXPECT_TRUE(problems.empty()) << problems.front();
  }

  engine::testing::TempFolder dir_;
  std::unique_ptr<Table> table_;
};

TEST_F(DeletedNotesTest, ASubtreeOfThreeLevelsDeletedWithAllComesBackAsItWas) {
  Make(Garden());
  std::vector<engine::Record> before;
  for (uint32_t r = 1; r <= table_->RecordCount(); ++r) before.push_back(table_->ReadRecord(r));
  const auto keysBefore = ByIdTag();
  Delete({6, 5, 4, 3});

  const auto subtrees = ListDeletedSubtrees(*table_);
  ASSERT_EQ(subtrees.size(), 1u);
  EXPECT_EQ(Titles(subtrees[0]), (std::vector<std::string>{"Garden", "  Roses", "    Red", "    White"}));
  EXPECT_EQ(subtrees[0].formerPlace, std::vector<std::string>{"Home"});
  EXPECT_EQ(MemoFirstLine(*table_, subtrees[0].Top()), "soil");

  const RecallSummary summary = RecallSubtree(*table_, subtrees[0].Top().recno);
  EXPECT_EQ(summary.notes, 4u);
  EXPECT_EQ(summary.topId, "3");
  EXPECT_EQ(summary.place, std::vector<std::string>{"Home"});
  EXPECT_TRUE(summary.renumbered.empty());
  Reopen();
  for (uint32_t r = 1; r <= table_->RecordCount(); ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    const engine::Record now = table_->ReadRecord(r);
    EXPECT_EQ(now.bytes, before[r - 1].bytes);
    EXPECT_EQ(table_->ReadMemo(now, table_->FieldIndex("MEMO")),
              table_->ReadMemo(before[r - 1], table_->FieldIndex("MEMO")));
  }
  EXPECT_EQ(ByIdTag(), keysBefore);
  ExpectClean();
  EXPECT_TRUE(ListDeletedSubtrees(*table_).empty());
}

TEST_F(DeletedNotesTest, ANoteWhoseIdANewNoteTookComesBackWithAFreshOneAndItsChildrenFollow) {
  Make(Garden());
  Delete({6, 5, 4, 3});
  // Garden's 3 was free: a new note took it (with 7 still live the next ID would be 8, so the
  // new note is written as a person's import of ID 3 would be).
  engine::Record garage = table_->BlankRecord();
  table_->SetText(garage, table_->FieldIndex("ID"), "3");
  table_->SetText(garage, table_->FieldIndex("Text"), "Garage");
  table_->Append(garage);

  const RecallSummary summary = RecallSubtree(*table_, 3);
  ASSERT_EQ(summary.renumbered.size(), 1u);
  EXPECT_EQ(summary.renumbered[0].title, "Garden");
  EXPECT_EQ(summary.renumbered[0].oldId, "3");
  EXPECT_EQ(summary.renumbered[0].newId, "8");
  EXPECT_EQ(summary.topId, "8");
  Reopen();
  EXPECT_EQ(ByIdTag(), (std::vector<std::string>{"1::Home", "2:1:Kitchen", "3::Garage", "4:8:Roses", "5:4:Red",
                                                 "6:4:White", "7::Attic", "8:1:Garden"}));
  ExpectClean();
}

TEST_F(DeletedNotesTest, ANoteWhoseParentIsDeletedComesBackAtTheTopLevel) {
  Make(Garden());
  Delete({6, 5, 4});  // Roses with its notes
  Delete({3});        // and later Garden: the two read as one subtree
  auto subtrees = ListDeletedSubtrees(*table_);
  ASSERT_EQ(subtrees.size(), 1u);
  EXPECT_EQ(Titles(subtrees[0]), (std::vector<std::string>{"Garden", "  Roses", "    Red", "    White"}));

  const RecallSummary summary = RecallSubtree(*table_, 4);  // Roses alone, with its notes
  EXPECT_EQ(summary.notes, 3u);
  EXPECT_TRUE(summary.place.empty());
  EXPECT_EQ(ByIdTag(), (std::vector<std::string>{"1::Home", "2:1:Kitchen", "4::Roses", "5:4:Red", "6:4:White",
                                                 "7::Attic"}));
  subtrees = ListDeletedSubtrees(*table_);
  ASSERT_EQ(subtrees.size(), 1u);
  EXPECT_EQ(Titles(subtrees[0]), std::vector<std::string>{"Garden"});
  ExpectClean();
}

TEST_F(DeletedNotesTest, AfterPackNothingCanBeRecalled) {
  Make(Garden());
  Delete({6, 5, 4, 3});
  table_->Pack();
  EXPECT_TRUE(ListDeletedSubtrees(*table_).empty());
  EXPECT_TRUE(FindDeleted(*table_, "3").empty());
  try {
    RecallSubtree(*table_, 3);
    ADD_FAILURE() << "recalled after pack";
  } catch (const RecallError& e) {
    EXPECT_EQ(std::string(e.what()), "Record 3 of " + tools::NoteTablePath(dir_.Path()) +
                                         " holds no deleted note (a pack removes deleted notes for good); "
                                         "nothing was recalled");
  }
  EXPECT_EQ(ByIdTag(), (std::vector<std::string>{"1::Home", "2:1:Kitchen", "7::Attic"}));
}

TEST_F(DeletedNotesTest, TheSubtreesComeNewestFirstEachWithItsFormerPlace) {
  Make(Garden());
  Delete({2});        // Kitchen, below Home
  Delete({7});        // Attic, at the top level
  Delete({6, 5, 4});  // Roses, below Home / Garden
  const auto subtrees = ListDeletedSubtrees(*table_);
  ASSERT_EQ(subtrees.size(), 3u);
  const struct {
    std::string top;
    std::vector<std::string> place;
    size_t notes;
  } expected[] = {{"Attic", {}, 1}, {"Roses", {"Home", "Garden"}, 3}, {"Kitchen", {"Home"}, 1}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].top);
    EXPECT_EQ(subtrees[i].Top().title, expected[i].top);
    EXPECT_EQ(subtrees[i].formerPlace, expected[i].place);
    EXPECT_EQ(subtrees[i].notes.size(), expected[i].notes);
  }
  EXPECT_EQ(PlaceText(subtrees[1].formerPlace), "Home / Garden");
  EXPECT_EQ(MemoFirstLine(*table_, subtrees[2].Top()), "pots");
}

TEST_F(DeletedNotesTest, TangledDeletedNotesAreEachListedOnceAndRecalledWithoutSharingAnId) {
  // Records 1 and 2 name each other as parent; record 4 took the ID 10 of record 1 and got a
  // child, record 5; then all four were deleted.
  Make({{10, 11, "Loop A", ""}, {11, 10, "Loop B", ""}, {20, 0, "Live", ""}});
  for (auto [id, parent, title] : {std::tuple{"10", "", "Twin"}, std::tuple{"12", "10", "Child"}}) {
    engine::Record r = table_->BlankRecord();
    table_->SetText(r, table_->FieldIndex("ID"), id);
    table_->SetText(r, table_->FieldIndex("Parent"), parent);
    table_->SetText(r, table_->FieldIndex("Text"), title);
    table_->Append(r);
  }
  Delete({5, 4, 1, 2});

  const auto subtrees = ListDeletedSubtrees(*table_);
  ASSERT_EQ(subtrees.size(), 2u);
  // The child hangs below the nearest ID 10 stored before it: the twin.
  EXPECT_EQ(Titles(subtrees[0]), (std::vector<std::string>{"Twin", "  Child"}));
  EXPECT_EQ(Titles(subtrees[1]), (std::vector<std::string>{"Loop A", "  Loop B"}));
  EXPECT_EQ(FindDeleted(*table_, "10"), (std::vector<uint32_t>{1, 4}));
  EXPECT_EQ(FindDeleted(*table_, "#4"), std::vector<uint32_t>{4});
  EXPECT_TRUE(FindDeleted(*table_, "#3").empty()) << "a live record";

  RecallSubtree(*table_, 4);
  const RecallSummary loop = RecallSubtree(*table_, 1);
  ASSERT_EQ(loop.renumbered.size(), 1u);
  EXPECT_EQ(loop.renumbered[0].oldId, "10");
  EXPECT_EQ(ByIdTag(), (std::vector<std::string>{"10::Twin", "11:21:Loop B", "12:10:Child", "20::Live",
                                                 "21::Loop A"}));
  ExpectClean();
}

TEST_F(DeletedNotesTest, AFreshIdTheIdFieldCannotHoldRefusesTheRecallAndChangesNothing) {
  // A one-character ID field holding 1 to 9; 9 is deleted and a new note takes its ID.
  std::vector<tindrel::testing::Note> notes;
  for (int id = 1; id <= 9; ++id) notes.push_back({std::to_string(id), "", "Note " + std::to_string(id)});
  tindrel::testing::NoteTableShape shape;
  shape.idWidth = 1;
  tindrel::testing::WriteNoteTable(dir_.Path(), notes, shape);
  Reopen();
  Delete({9});
  engine::Record taker = table_->BlankRecord();
  table_->SetText(taker, table_->FieldIndex("ID"), "9");
  table_->SetText(taker, table_->FieldIndex("Text"), "Taker");
  table_->Append(taker);
  const uint64_t changes = table_->ChangeCount();
  try {
    RecallSubtree(*table_, 9);
    ADD_FAILURE() << "recalled";
  } catch (const RecallError& e) {
    EXPECT_EQ(std::string(e.what()), "The ID 9 of \u201CNote 9\u201D is in use, and the ID field of " +
                                         tools::NoteTablePath(dir_.Path()) +
                                         " cannot hold the fresh ID 10; nothing was recalled");
  }
  EXPECT_EQ(table_->ChangeCount(), changes);
  EXPECT_TRUE(table_->ReadRecord(9).IsDeleted());
}

TEST_F(DeletedNotesTest, AReadOnlyTableIsRefusedWithItsReason) {
  Make(Garden());
  Delete({6});
  table_.reset();
  engine::OpenOptions options;
  options.readOnly = true;
  table_ = Table::Open(tools::NoteTablePath(dir_.Path()), options);
  EXPECT_EQ(ListDeletedSubtrees(*table_).size(), 1u) << "listing reads only";
  try {
    RecallSubtree(*table_, 6);
    ADD_FAILURE() << "recalled";
  } catch (const RecallError& e) {
    EXPECT_EQ(std::string(e.what()), table_->ReadOnlyReason() + "; nothing was recalled");
  }
}

}  // namespace
}  // namespace tindrel::recall
