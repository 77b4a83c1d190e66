// The dataset contract on a real note table: the order of hooks, state changes and
// notifications of every operation, position flags, errors, bookmarks, filtering and locating.

#include <algorithm>
#include <functional>

#include "StoreFixture.h"
#include "store/TBlobField.h"
#include "store/engine/EngineError.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/engine/NoteChanges.h"
#include "tests/support/engine/PowerLossFileSystem.h"

namespace tindrel::testing {
namespace {

const std::vector<Note> kThree = {{"1", "", "Alpha", "first"}, {"2", "1", "Beta", ""}, {"3", "1", "Gamma", ""}};

class DataSetTest : public ::testing::Test {
 protected:
  void OpenTable(const std::vector<Note>& notes, bool withIdTag = true, uint16_t textWidth = 40) {
    path = WriteNoteTable(dir, notes, withIdTag, textWidth);
    table = std::make_unique<TTable>();
    table->SetTableName(QString::fromStdString(path));
    table->SetIndexFieldNames("ID");
    table->SetFilterOptions(foCaseInsensitive);
    source.SetDataSet(table.get());
    link.SetDataSource(&source);
    table->Open();
    RecordHooks(*table, log);
    log.clear();
  }
  QString Text() { return table->FieldNamed("Text").AsString(); }

  QTemporaryDir dir;
  std::string path;
  std::unique_ptr<TTable> table;
  TDataSource source;
  Log log;
  RecordingLink link{log};
};

struct OrderCase {
  const char* name;
  std::vector<Note> notes;
  std::function<void(TTable&)> arrange;  // before the log starts
  std::function<void(TTable&)> act;
  Log expected;
  DataSetState stateAfter;
};

class OperationOrder : public DataSetTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(OperationOrder, SendsHooksAndNotificationsInContractOrder) {
  const OrderCase& c = GetParam();
  OpenTable(c.notes);
  if (c.arrange) c.arrange(*table);
  log.clear();
  c.act(*table);
  EXPECT_EQ(log, c.expected);
  EXPECT_EQ(table->State(), c.stateAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Contract, OperationOrder,
    ::testing::Values(
        OrderCase{"NextInside", kThree, nullptr, [](TTable& t) { EXPECT_EQ(t.Next(), 1); },
                  {"CheckBrowseMode", "BeforeScroll", "Scroll(1)", "AfterScroll"}, DataSetState::Browse},
        OrderCase{"NextOnLastScrollsByZero", kThree, [](TTable& t) { t.Next(); t.Next(); },
                  [](TTable& t) {
                    EXPECT_EQ(t.Next(), 0);
                    EXPECT_TRUE(t.Eof());
                  },
                  {"CheckBrowseMode", "BeforeScroll", "Scroll(0)", "AfterScroll"}, DataSetState::Browse},
        OrderCase{"SecondNextAtEofOnlyBeforeScroll", kThree, [](TTable& t) { t.Next(); t.Next(); t.Next(); },
                  [](TTable& t) { EXPECT_EQ(t.Next(), 0); }, {"CheckBrowseMode", "BeforeScroll"}, DataSetState::Browse},
        OrderCase{"First", kThree, [](TTable& t) { t.Last(); }, [](TTable& t) { t.First(); },
                  {"CheckBrowseMode", "BeforeScroll", "DataSetChange", "AfterScroll"}, DataSetState::Browse},
        OrderCase{"FirstOnEmpty", {}, nullptr,
                  [](TTable& t) {
                    t.First();
                    EXPECT_TRUE(t.BOF());
                    EXPECT_TRUE(t.Eof());
                  },
                  {"CheckBrowseMode", "BeforeScroll", "DataSetChange", "AfterScroll"}, DataSetState::Browse},
        OrderCase{"EditOnEmptyInserts", {}, nullptr, [](TTable& t) { t.Edit(); },
                  {"CheckBrowseMode", "BeforeInsert", "BeforeScroll", "EditingChange", "DataSetChange", "AfterInsert",
                   "AfterScroll"},
                  DataSetState::Inserting},
        OrderCase{"Edit", kThree, nullptr, [](TTable& t) { t.Edit(); },
                  {"CheckBrowseMode", "BeforeEdit", "EditingChange", "RecordChange(none)", "AfterEdit"},
                  DataSetState::Editing},
        OrderCase{"FieldWrite", kThree, [](TTable& t) { t.Edit(); },
                  [](TTable& t) { t.FieldNamed("Text").SetAsString("A2"); }, {"RecordChange(TEXT)"},
                  DataSetState::Editing},
        OrderCase{"Post", kThree, [](TTable& t) { t.Edit(); t.FieldNamed("Text").SetAsString("A2"); },
                  [](TTable& t) { t.Post(); },
                  {"UpdateData", "CheckBrowseMode", "BeforePost", "EditingChange", "DataSetChange", "AfterPost"},
                  DataSetState::Browse},
        OrderCase{"CancelEdit", kThree, [](TTable& t) { t.Edit(); }, [](TTable& t) { t.Cancel(); },
                  {"CheckBrowseMode", "BeforeCancel", "EditingChange", "DataSetChange", "AfterCancel"},
                  DataSetState::Browse},
        OrderCase{"Insert", kThree, nullptr, [](TTable& t) { t.Insert(); },
                  {"CheckBrowseMode", "BeforeInsert", "BeforeScroll", "EditingChange", "DataSetChange", "AfterInsert",
                   "AfterScroll"},
                  DataSetState::Inserting},
        OrderCase{"CancelInsert", kThree, [](TTable& t) { t.Append(); }, [](TTable& t) { t.Cancel(); },
                  {"CheckBrowseMode", "BeforeCancel", "BeforeScroll", "EditingChange", "DataSetChange", "AfterCancel",
                   "AfterScroll"},
                  DataSetState::Browse},
        OrderCase{"DeleteWhileInsertingCancels", kThree, [](TTable& t) { t.Append(); }, [](TTable& t) { t.Delete(); },
                  {"CheckBrowseMode", "BeforeCancel", "BeforeScroll", "EditingChange", "DataSetChange", "AfterCancel",
                   "AfterScroll"},
                  DataSetState::Browse},
        OrderCase{"Delete", kThree, nullptr, [](TTable& t) { t.Delete(); },
                  {"CheckBrowseMode", "BeforeDelete", "BeforeScroll", "DataSetChange", "AfterDelete", "AfterScroll"},
                  DataSetState::Browse},
        OrderCase{"Refresh", kThree, nullptr, [](TTable& t) { t.Refresh(); },
                  {"BeforeRefresh", "CheckBrowseMode", "DataSetChange", "AfterRefresh"}, DataSetState::Browse},
        OrderCase{"SettleUnmodifiedEditCancels", kThree, [](TTable& t) { t.Edit(); }, [](TTable& t) { t.SettleEdits(); },
                  {"CheckBrowseMode", "UpdateData", "CheckBrowseMode", "BeforeCancel", "EditingChange", "DataSetChange",
                   "AfterCancel"},
                  DataSetState::Browse},
        OrderCase{"LocateNotFoundSendsNothing", kThree, nullptr,
                  [](TTable& t) { EXPECT_FALSE(t.LocateByValues("ID", {"9"})); }, {"BeforeScroll", "CheckBrowseMode"},
                  DataSetState::Browse},
        OrderCase{"LocateFound", kThree, nullptr, [](TTable& t) { EXPECT_TRUE(t.LocateByValues("ID", {"3"})); },
                  {"BeforeScroll", "CheckBrowseMode", "DataSetChange", "AfterScroll"}, DataSetState::Browse},
        OrderCase{"SeekKeyNearestCallsNoScrollHooks", kThree, nullptr, [](TTable& t) { t.SeekKeyNearest({"2"}); },
                  {"CheckBrowseMode", "DataSetChange"}, DataSetState::Browse},
        OrderCase{"FilteredToSameValueStillMovesFirst", kThree, [](TTable& t) { t.Last(); },
                  [](TTable& t) {
                    t.SetFiltered(false);
                    EXPECT_EQ(t.FieldNamed("ID").AsString(), "1");
                  },
                  {"CheckBrowseMode", "CheckBrowseMode", "BeforeScroll", "DataSetChange", "AfterScroll"},
                  DataSetState::Browse},
        OrderCase{"CloseDiscardsPendingEdit", kThree, [](TTable& t) { t.Edit(); t.FieldNamed("Text").SetAsString("X"); },
                  [](TTable& t) { t.Close(); }, {"BeforeClose", "ActiveChange", "EditingChange", "AfterClose"},
                  DataSetState::Inactive}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

TEST_F(DataSetTest, OpenAnnouncesActiveAndLandsOnFirstRecordInIndexOrder) {
  OpenTable({{"2", "", "Two", ""}, {"10", "", "Ten", ""}, {"1", "", "One", ""}});
  table->Close();
  log.clear();
  table->Open();
  EXPECT_EQ(log, (Log{"BeforeOpen", "ActiveChange", "AfterOpen"}));
  EXPECT_EQ(table->State(), DataSetState::Browse);
  EXPECT_TRUE(table->BOF());
  EXPECT_FALSE(table->Eof());
  EXPECT_EQ(Ids(*table), (QStringList{"1", "10", "2"}));
}

TEST_F(DataSetTest, EmptyTableDeleteRaisesWithTheTablesName) {
  OpenTable({});
  table->First();
  EXPECT_EQ(ErrorOf([&] { table->Delete(); }), "Table: Cannot perform this operation on an empty dataset");
}

TEST_F(DataSetTest, ErrorTextsCarryTheComponentName) {
  OpenTable(kThree);
  EXPECT_EQ(ErrorOf([&] { table->Post(); }), "Table: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { table->FieldNamed("Nope"); }), "Table: Field 'Nope' not found");
  EXPECT_EQ(ErrorOf([&] { table->SetIndexFieldNames("Text"); }), "Table: No index for fields 'Text'");
  EXPECT_EQ(ErrorOf([&] { table->FieldNamed("Text").SetAsString("x"); }), "Table: Dataset not in edit or insert mode");
  table->Close();
  EXPECT_EQ(ErrorOf([&] { table->Next(); }), "Table: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { table->Edit(); }), "Table: Cannot perform this operation on a closed dataset");
}

TEST_F(DataSetTest, FieldsAreFoundWithoutRegardToCase) {
  OpenTable(kThree);
  EXPECT_EQ(&table->FieldNamed("parent"), &table->FieldNamed("PARENT"));
  EXPECT_EQ(table->FieldNamed("Text").AsString(), "Alpha");
  EXPECT_EQ(table->FindFieldNamed("Nope"), nullptr);
  EXPECT_EQ(table->FieldNamed("MEMO").DataType(), ftMemo);
  EXPECT_EQ(table->FieldNamed("Text").FieldNo(), 3);
  EXPECT_EQ(static_cast<TBlobField&>(table->FieldNamed("MEMO")).ReadFirstBytes(3), "fir");
}

TEST_F(DataSetTest, OpenWithoutAnIndexOnIdFailsAndStaysClosed) {
  path = WriteNoteTable(dir, kThree, /*withIdTag=*/false);
  TTable t;
  t.SetTableName(QString::fromStdString(path));
  t.SetIndexFieldNames("ID");
  EXPECT_EQ(ErrorOf([&] { t.Open(); }), "Table: No index for fields 'ID'");
  EXPECT_EQ(t.State(), DataSetState::Inactive);
}

TEST_F(DataSetTest, TenMovesUnderSuspensionGiveOneDataSetChange) {
  OpenTable({{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}});
  table->SuspendNotifications();
  table->SuspendNotifications();
  for (int i = 0; i < 5; ++i) table->Next();
  for (int i = 0; i < 5; ++i) table->Prior();
  table->ResumeNotifications();
  Log changes;
  for (const auto& entry : log)
    if (entry != "CheckBrowseMode" && entry != "BeforeScroll" && entry != "AfterScroll") changes.push_back(entry);
  EXPECT_TRUE(changes.empty());
  table->ResumeNotifications();
  changes.clear();
  for (const auto& entry : log)
    if (entry != "CheckBrowseMode" && entry != "BeforeScroll" && entry != "AfterScroll") changes.push_back(entry);
  EXPECT_EQ(changes, (Log{"DataSetChange"}));
}

TEST_F(DataSetTest, AMoveSettlesThePendingEditOfAControl) {
  OpenTable(kThree);
  table->Edit();
  link.pendingField = &table->FieldNamed("MEMO");
  link.pendingText = "typed into the memo";
  table->Next();
  EXPECT_EQ(table->State(), DataSetState::Browse);
  table->First();
  EXPECT_EQ(table->FieldNamed("MEMO").AsString(), "typed into the memo");
}

// Only a write that changes a value marks the record modified; settling an edit whose writes all
// gave back what was stored cancels it, and nothing is posted.
struct WriteCase {
  const char* name;
  const char* field;
  std::optional<QString> value;
  bool modifies;
};

class WritesWhileEditing : public DataSetTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WritesWhileEditing, MarkTheRecordModifiedOnlyWhenTheValueChanges) {
  const WriteCase& c = GetParam();
  OpenTable(kThree);  // note 1: Parent blank, Text "Alpha", MEMO "first"
  table->Edit();
  TField& field = table->FieldNamed(c.field);
  if (c.value) field.SetAsString(*c.value);
  else field.Clear();
  EXPECT_EQ(table->Modified(), c.modifies);
  log.clear();
  table->Next();
  const bool posted = std::find(log.begin(), log.end(), "BeforePost") != log.end();
  EXPECT_EQ(posted, c.modifies);
  EXPECT_EQ(std::find(log.begin(), log.end(), "BeforeCancel") != log.end(), !c.modifies);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WritesWhileEditing,
    ::testing::Values(WriteCase{"SameTitle", "Text", QString("Alpha"), false},
                      WriteCase{"SameMemo", "MEMO", QString("first"), false},
                      WriteCase{"EmptyIntoBlank", "Parent", QString(""), false},
                      WriteCase{"ClearOfBlank", "Parent", std::nullopt, false},
                      WriteCase{"OtherTitle", "Text", QString("Alpha2"), true},
                      WriteCase{"OtherCase", "Text", QString("alpha"), true},
                      WriteCase{"OtherMemo", "MEMO", QString("first "), true},
                      WriteCase{"ClearOfAValue", "Text", std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataSetTest, EditWhileSuspendedStillCollectsTheControlsValue) {
  // Suspension silences change notifications, not the request to write a control's value.
  OpenTable(kThree);
  table->Edit();
  link.pendingField = &table->FieldNamed("MEMO");
  link.pendingText = "kept";
  table->SuspendNotifications();
  table->SetFiltered(false);
  table->ResumeNotifications();
  EXPECT_EQ(table->FieldNamed("MEMO").AsString(), "kept");
}

struct FailedPostCase {
  const char* name;
  QString value;
  engine::ResultCode code;
};

class FailedPost : public DataSetTest, public ::testing::WithParamInterface<FailedPostCase> {};

TEST_P(FailedPost, KeepsStateAndValuesAndRaisesTheEnginesMessage) {
  OpenTable(kThree, true, /*textWidth=*/8);
  table->Edit();
  table->FieldNamed("Text").SetAsString(GetParam().value);
  table->FieldNamed("MEMO").SetAsString("memo typed");
  try {
    table->Post();
    FAIL() << "Post stored a value it cannot hold";
  } catch (const engine::EngineError& e) {
    EXPECT_EQ(e.Code(), GetParam().code);
    EXPECT_NE(std::string(e.what()).find("TEXT"), std::string::npos) << e.what();
  }
  EXPECT_EQ(table->State(), DataSetState::Editing);
  EXPECT_EQ(Text(), GetParam().value);
  EXPECT_EQ(table->FieldNamed("MEMO").AsString(), "memo typed");
  EXPECT_TRUE(table->Modified());
  // Nothing reached the file.
  table->Cancel();
  EXPECT_EQ(Text(), "Alpha");
  EXPECT_EQ(table->FieldNamed("MEMO").AsString(), "first");
}

INSTANTIATE_TEST_SUITE_P(Values, FailedPost,
                         ::testing::Values(FailedPostCase{"TooLong", "nine chars", engine::ResultCode::ValueTooLong},
                                           FailedPostCase{"Unmappable", QString::fromUtf8("Ж"),
                                                          engine::ResultCode::UnmappableCharacter}),
                         [](const auto& info) { return std::string(info.param.name); });

// Opens `t` on the table at `path` through `disk`, in ID order.
void OpenThrough(TTable& t, const std::string& path, engine::FileSystem& disk) {
  t.SetTableName(QString::fromStdString(path));
  t.SetIndexFieldNames("ID");
  t.SetFileSystem(&disk);
  t.Open();
}

TEST_F(DataSetTest, PostThatFailsOnTheDiskKeepsStateAndValues) {
  path = WriteNoteTable(dir, kThree);
  engine::testing::FaultyFileSystem disk;
  TTable t;
  OpenThrough(t, path, disk);
  t.Edit();
  t.FieldNamed("MEMO").SetAsString("typed before the disk filled");
  disk.Arm(1, engine::testing::FaultyFileSystem::Mode::Fail);
  EXPECT_THROW(t.Post(), engine::EngineError);
  EXPECT_EQ(t.State(), DataSetState::Editing);
  EXPECT_EQ(t.FieldNamed("MEMO").AsString(), "typed before the disk filled");
  disk.Arm(0, engine::testing::FaultyFileSystem::Mode::Fail);
  t.Post();
  t.Close();
  t.SetFileSystem(nullptr);
  t.Open();
  EXPECT_EQ(t.FieldNamed("MEMO").AsString(), "typed before the disk filled");
}

// A disk that fills up, or whose syncs fail, from the N-th call of a Post on, for every N the
// Post and the close after it reach: the engine's error reaches the caller, the record stays in
// its editing state with what was typed, and a table whose files fell behind its journal turns
// read-only and says why. Closed, and started again on a healthy disk (cleanly or after a power
// loss), the table holds every acknowledged change and the failed Post whole or not at all.
TEST(PostOnAFailingDisk, ReportsTheErrorKeepsTheTypingAndLosesNothingAcknowledged) {
  using engine::testing::PowerLossFileSystem;
  using Fault = PowerLossFileSystem::Fault;
  using Outcome = PowerLossFileSystem::Outcome;
  PowerLossFileSystem base;
  const std::string path = WriteNoteTable("/disk", kThree, {}, "Tindrel.dbf", &base);
  const engine::testing::NoteModel acknowledged = {
      {1, {"Alpha", "stored before the trouble"}}, {2, {"Beta", ""}}, {3, {"Gamma", ""}}};
  const QString title = QString::fromUtf8("Typed title"), memo = QString::fromUtf8("typed memo\r\nsecond line");

  for (const Fault fault : {Fault::DiskFull, Fault::FailingSyncs}) {
    for (const bool insert : {false, true}) {
      engine::testing::NoteModel posted = acknowledged;
      posted[insert ? 4 : 2] = {title.toStdString(), memo.toStdString()};
      // Opens the table on `disk`, stores one change, then types a change and posts it with
      // the disk armed; returns whether the Post failed.
      auto run = [&](PowerLossFileSystem& disk, uint64_t n, uint64_t* calls) {
        TTable t;
        OpenThrough(t, path, disk);
        t.Edit();
        t.FieldNamed("MEMO").SetAsString("stored before the trouble");
        t.Post();
        if (insert) {
          t.Append();
          t.FieldNamed("ID").SetAsString("4");
          t.FieldNamed("Parent").SetAsString("1");
        } else {
          EXPECT_TRUE(t.LocateByValues("ID", {"2"}));
          t.Edit();
        }
        t.FieldNamed("Text").SetAsString(title);
        t.FieldNamed("MEMO").SetAsString(memo);
        disk.Arm(calls ? Fault::None : fault, n);
        bool failed = false;
        try {
          t.Post();
        } catch (const engine::EngineError& e) {
          failed = true;
          EXPECT_EQ(e.Code(), engine::ResultCode::IoError) << e.Message();
          EXPECT_EQ(t.State(), insert ? DataSetState::Inserting : DataSetState::Editing);
          EXPECT_EQ(t.FieldNamed("Text").AsString(), title);
          EXPECT_EQ(t.FieldNamed("MEMO").AsString(), memo);
          const engine::Table& engineTable = *t.EngineTable();
          EXPECT_EQ(engineTable.ReadOnly(), engineTable.InDoubt());
          EXPECT_EQ(t.CanModify(), !engineTable.InDoubt());
          EXPECT_EQ(engineTable.ReadOnlyReason().empty(), !engineTable.InDoubt());
        }
        t.Close();
        if (calls) *calls = fault == Fault::DiskFull ? disk.Writes() : disk.Syncs();
        return failed;
      };
      uint64_t calls = 0;
      ASSERT_FALSE(run(*base.Restart(Outcome::KeepEverything), 0, &calls));
      for (uint64_t n = 1; n <= calls + 1; ++n) {
        SCOPED_TRACE(std::string(fault == Fault::DiskFull ? "full disk" : "failing syncs") + (insert ? ", insert" : ", edit") +
                     ", call " + std::to_string(n) + " of " + std::to_string(calls));
        auto disk = base.Restart(Outcome::KeepEverything);
        const bool failed = run(*disk, n, nullptr);
        if (n > calls) {
          EXPECT_FALSE(failed);
        }
        for (const Outcome outcome :
             {Outcome::KeepEverything, Outcome::LoseEverythingUnsynced, Outcome::LoseUnsyncedData, Outcome::Random}) {
          auto healthy = disk->Restart(outcome, n);
          TTable t;
          ASSERT_NO_THROW(OpenThrough(t, path, *healthy));
          EXPECT_TRUE(t.EngineTable()->Check().empty());
          const auto found = engine::testing::ReadNotes(*t.EngineTable());
          if (failed) {
            EXPECT_TRUE(found == acknowledged || found == posted) << engine::testing::FirstDifference(found, posted);
          } else {
            EXPECT_TRUE(found == posted) << engine::testing::FirstDifference(found, posted);
          }
        }
      }
    }
  }
}

// A full disk from call n of a Post on: a failure that changed nothing leaves the table as it was;
// one that left the change half-way in the files (in doubt) makes the table read-only, and the
// links hear of that once, while the state and the typed value stay for the person to see.
TEST_F(DataSetTest, APostLeftInDoubtTellsTheLinksTheTableIsReadOnly) {
  bool seenInDoubt = false, seenUnchanged = false;
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE("full disk from call " + std::to_string(n));
    QTemporaryDir folder;
    engine::testing::FaultyFileSystem disk;
    TTable t;
    TDataSource src;
    Log seen;
    RecordingLink watcher{seen};
    t.SetTableName(QString::fromStdString(WriteNoteTable(folder, kThree)));
    t.SetIndexFieldNames("ID");
    t.SetFileSystem(&disk);
    src.SetDataSet(&t);
    watcher.SetDataSource(&src);
    t.Open();
    t.Edit();
    t.FieldNamed("MEMO").SetAsString("typed");
    seen.clear();
    disk.Arm(n, engine::testing::FaultyFileSystem::Mode::FullDisk);
    try {
      t.Post();
      break;  // past the Post's last write
    } catch (const engine::EngineError& e) {
      EXPECT_EQ(e.Code(), engine::ResultCode::IoError);
    }
    const bool inDoubt = t.InDoubt();
    (inDoubt ? seenInDoubt : seenUnchanged) = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "ReadOnlyChange"), inDoubt ? 1 : 0);
    EXPECT_EQ(t.CanModify(), !inDoubt);
    EXPECT_EQ(t.ReadOnlyReason().isEmpty(), !inDoubt);
    EXPECT_EQ(t.State(), DataSetState::Editing);
    EXPECT_EQ(t.FieldNamed("MEMO").AsString(), "typed");
  }
  EXPECT_TRUE(seenInDoubt && seenUnchanged) << "the series reaches both kinds of failure";
}

TEST_F(DataSetTest, PostErrorHookDecidesFailAbortOrRetry) {
  OpenTable(kThree, true, 8);
  int calls = 0;
  table->OnPostError = [&](TDataSet& ds, const std::exception&, TDataAction& action) {
    ++calls;
    ds.FieldNamed("Text").SetAsString("short");
    action = TDataAction::daRetry;
  };
  table->Edit();
  table->FieldNamed("Text").SetAsString("far too long");
  table->Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(Text(), "short");

  table->OnPostError = [](TDataSet&, const std::exception&, TDataAction& action) { action = TDataAction::daAbort; };
  table->Edit();
  table->FieldNamed("Text").SetAsString("far too long");
  EXPECT_THROW(table->Post(), SilentAbort);
  EXPECT_EQ(table->State(), DataSetState::Editing);
}

TEST_F(DataSetTest, BeforeHookErrorStopsTheOperation) {
  OpenTable(kThree);
  table->BeforeDelete = [](TDataSet&) { throw SilentAbort(); };
  EXPECT_THROW(table->Delete(), SilentAbort);
  EXPECT_EQ(Ids(*table), (QStringList{"1", "2", "3"}));
}

TEST_F(DataSetTest, InsertAndAppendStoreNewRecordsInIndexOrder) {
  OpenTable(kThree);
  table->Append();
  table->FieldNamed("ID").SetAsString("0");
  table->FieldNamed("Text").SetAsString("Zero");
  table->Post();
  EXPECT_EQ(Text(), "Zero");  // the stored record stays current
  table->Next();
  table->Insert();
  table->FieldNamed("ID").SetAsString("25");
  table->Post();
  EXPECT_EQ(Ids(*table), (QStringList{"0", "1", "2", "25", "3"}));
}

TEST_F(DataSetTest, DeleteMakesTheNextRecordCurrentOrThePriorAtTheEnd) {
  OpenTable(kThree);
  table->Next();
  table->Delete();
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "3");
  table->Delete();
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "1");
  table->Delete();
  EXPECT_TRUE(table->IsEmpty());
  EXPECT_TRUE(table->BOF() && table->Eof());
}

TEST_F(DataSetTest, BookmarksReturnAndDieWithTheirRecordOrAPack) {
  OpenTable(kThree);
  table->Last();
  TBookmark third = table->TakeBookmark();
  table->First();
  TBookmark first = table->TakeBookmark();
  EXPECT_EQ(table->CompareBookmarkOrder(first, third), -1);
  EXPECT_EQ(table->CompareBookmarkOrder(third, TBookmark{}), -1);
  EXPECT_EQ(table->CompareBookmarkOrder(TBookmark{}, TBookmark{}), 0);
  table->ReturnToBookmark(third);
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "3");
  EXPECT_TRUE(table->IsBookmarkLive(third));
  table->Delete();
  EXPECT_FALSE(table->IsBookmarkLive(third));
  EXPECT_EQ(ErrorOf([&] { table->ReturnToBookmark(third); }), "Table: Record not found");
  EXPECT_TRUE(table->IsBookmarkLive(first));
  table->PackTable();
  EXPECT_FALSE(table->IsBookmarkLive(first));
  table->Append();
  EXPECT_FALSE(table->TakeBookmark());  // a record not yet stored has none
  table->ReleaseBookmark(first);
  EXPECT_FALSE(first);
}

TEST_F(DataSetTest, PackSettlesAPendingEditAndKeepsTheCurrentNote) {
  OpenTable({{"1", "", "One", ""}, {"2", "", "Two", ""}, {"3", "", "Three", ""}});
  EXPECT_TRUE(table->LocateByValues("ID", {"3"}));  // the index look-up has its own cursor
  table->First();
  table->Delete();  // 1 goes; 2 is current
  table->Edit();
  link.pendingField = &table->FieldNamed("MEMO");
  link.pendingText = "typed before the pack";
  table->PackTable();
  EXPECT_EQ(table->State(), DataSetState::Browse);
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "2");
  EXPECT_EQ(table->FieldNamed("MEMO").AsString(), "typed before the pack");
  EXPECT_EQ(Ids(*table), (QStringList{"2", "3"}));
  EXPECT_EQ(table->EngineTable()->RecordCount(), 2u);
  ASSERT_TRUE(table->LocateByValues("ID", {"3"}));
  EXPECT_EQ(table->FieldNamed("Text").AsString(), "Three");
}

TEST_F(DataSetTest, PackOnAClosedTableIsRefusedByTheEngine) {
  TTable closed;
  try {
    closed.PackTable();
    FAIL() << "packed a closed table";
  } catch (const engine::EngineError& e) {
    EXPECT_EQ(e.Code(), engine::ResultCode::InvalidHandle);
  }
}

TEST_F(DataSetTest, ReadOnlyTableRefusesChanges) {
  path = WriteNoteTable(dir, kThree);
  TTable t;
  t.SetTableName(QString::fromStdString(path));
  t.SetReadOnly(true);
  t.Open();
  EXPECT_FALSE(t.CanModify());
  EXPECT_FALSE(t.FieldNamed("MEMO").CanModify());
  for (auto op : {&TDataSet::Edit, &TDataSet::Insert, &TDataSet::Append})
    EXPECT_EQ(ErrorOf([&] { (t.*op)(); }), "Table: Cannot modify a read-only dataset");
  EXPECT_EQ(t.State(), DataSetState::Browse);
}

TEST_F(DataSetTest, ASecondOpenOfTheTableIsRefusedByTheEngine) {
  OpenTable(kThree);
  TTable second;
  second.SetTableName(QString::fromStdString(path));
  EXPECT_THROW(second.Open(), engine::EngineError);
  EXPECT_EQ(second.State(), DataSetState::Inactive);
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "1");
}

TEST_F(DataSetTest, DispatchGoesToNonVisualLinksFirstLastAttachedFirstThenTheSource) {
  OpenTable(kThree);
  Log order;
  RecordingLink a(order, "A", true), b(order, "B", false), c(order, "C", true), d(order, "D", false);
  for (RecordingLink* l : {&a, &b, &c, &d}) l->SetDataSource(&source);
  source.OnDataChange = [&](TDataSource&, TField*) { order.push_back("OnDataChange"); };
  order.clear();
  table->Last();
  Log changes;
  for (const auto& e : order)
    if (e.find("CheckBrowseMode") == std::string::npos) changes.push_back(e);
  EXPECT_EQ(changes, (Log{"D:DataSetChange", "B:DataSetChange", "C:DataSetChange", "A:DataSetChange", "OnDataChange"}));
}

TEST_F(DataSetTest, DisabledSourceShowsItsLinksAnInactiveDataset) {
  OpenTable(kThree);
  source.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  log.clear();
  table->Next();
  EXPECT_EQ(log, (Log{"BeforeScroll", "AfterScroll"}));
  source.SetEnabled(true);
  EXPECT_TRUE(link.Active());
}

struct FilterCase {
  const char* name;
  QString expression;
  TFilterOptions options;
  QStringList ids;
};

class FilterExpressions : public DataSetTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterExpressions, SelectTheRecordsThatPass) {
  OpenTable({{"1", "", "Alpha", ""}, {"2", "1", "beta", ""}, {"3", "1", "Betamax", ""}, {"10", "3", "O'Neil", ""}});
  table->SetFilterOptions(GetParam().options);
  table->SetFilter(GetParam().expression);
  table->SetFiltered(true);
  EXPECT_EQ(Ids(*table), GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilterExpressions,
    ::testing::Values(FilterCase{"Equal", "Text = 'beta'", 0, {"2"}},
                      FilterCase{"EqualCaseInsensitive", "Text = 'BETA'", foCaseInsensitive, {"2"}},
                      FilterCase{"Partial", "TEXT = 'bet*'", foCaseInsensitive, {"2", "3"}},
                      FilterCase{"PartialCaseSensitive", "Text = 'Bet*'", 0, {"3"}},
                      FilterCase{"NoPartialCompare", "Text = 'bet*'", foCaseInsensitive | foNoPartialCompare, {}},
                      FilterCase{"NotEqual", "Text <> 'alpha'", foCaseInsensitive, {"10", "2", "3"}},
                      FilterCase{"NumberCompare", "ID >= 3", 0, {"10", "3"}},
                      FilterCase{"TextCompare", "ID < '2'", 0, {"1", "10"}},
                      FilterCase{"IsNull", "Parent is null", 0, {"1"}},
                      FilterCase{"IsNotNull", "Parent is not null and not Text = 'b*'", foCaseInsensitive, {"10"}},
                      FilterCase{"OrAndParens", "(ID = '1' or ID = '3') and Parent = ''", 0, {"1"}},
                      FilterCase{"DoubledQuote", "Text = 'O''Neil'", 0, {"10"}},
                      FilterCase{"FieldAgainstField", "ID = Parent", 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataSetTest, FilterSyntaxErrorRaisesAndKeepsTheOldExpression) {
  OpenTable(kThree);
  table->SetFilter("Text = 'Beta'");
  table->SetFiltered(true);
  for (const char* bad : {"Text = ", "Text = 'Beta", "(ID = '1'", "Nope = 1", "ID = 1 and"}) {
    EXPECT_NE(ErrorOf([&] { table->SetFilter(bad); }).rfind("Table: ", 0), std::string::npos) << bad;
    EXPECT_EQ(table->Filter(), "Text = 'Beta'");
  }
  EXPECT_EQ(Ids(*table), (QStringList{"2"}));
}

TEST_F(DataSetTest, FilterHookSeesTheCandidateAndAppliesToEveryMoveAndLocate) {
  OpenTable(kThree);
  std::vector<DataSetState> states;
  table->SetOnFilterRecord([&](TDataSet& ds, bool& accept) {
    states.push_back(ds.State());
    accept = ds.FieldNamed("ID").AsString() != "2";
  });
  table->SetFiltered(true);
  EXPECT_EQ(Ids(*table), (QStringList{"1", "3"}));
  EXPECT_FALSE(table->LocateByValues("ID", {"2"}));
  EXPECT_TRUE(table->LocateByValues("ID", {"3"}));
  ASSERT_FALSE(states.empty());
  for (DataSetState s : states) EXPECT_EQ(s, DataSetState::Filtering);
  // Reading the engine cursor directly skips the hidden record too.
  table->First();
  table->SyncEngineCursor();
  engine::Record buffer;
  ASSERT_EQ(table->ReadNextRecord(buffer), engine::ResultCode::Ok);
  EXPECT_EQ(table->BufferFieldText(buffer, 1), "3");
}

TEST_F(DataSetTest, FilterHookErrorIsReportedOncePerPass) {
  OpenTable({{"1"}, {"2"}, {"3"}, {"4"}, {"5"}});
  RecordedErrors errors;
  table->SetOnFilterRecord([](TDataSet&, bool&) { throw std::runtime_error("criterion failed"); });
  table->SetFiltered(true);  // one pass: First
  EXPECT_EQ(errors.shown, (std::vector<std::string>{"criterion failed"}));
  errors.shown.clear();
  table->SuspendNotifications();
  EXPECT_EQ(table->MoveRecords(10), 4);  // one move over four records: one pass
  table->ResumeNotifications();
  EXPECT_EQ(errors.shown.size(), 1u);
}

TEST_F(DataSetTest, AFilterHookCannotReplaceItselfWhileItRuns) {
  OpenTable(kThree);
  RecordedErrors errors;
  const QString hidden = QStringLiteral("2");  // held by the running hook, which must stay whole
  table->SetOnFilterRecord([hidden](TDataSet& ds, bool& accept) {
    accept = ds.FieldNamed("ID").AsString() != hidden;
    ds.SetOnFilterRecord(nullptr);
  });
  table->SetFiltered(true);
  EXPECT_EQ(errors.shown,
            (std::vector<std::string>{"Table: The record filter cannot be replaced while it tests a record"}));
  EXPECT_TRUE(static_cast<bool>(table->OnFilterRecord()));
  EXPECT_EQ(Ids(*table), (QStringList{"1", "3"}));
}

TEST_F(DataSetTest, LocateByValuesUsesValuesNotPositions) {
  OpenTable({{"1", "", "Alpha", ""}, {"2", "", "alpha", ""}, {"3", "", "Alphabet", ""}});
  table->Last();
  EXPECT_TRUE(table->LocateByValues("ID", {"2"}));
  EXPECT_EQ(Text(), "alpha");
  EXPECT_TRUE(table->LocateByValues("Text", {"ALPHA"}, loCaseInsensitive));
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "1");
  EXPECT_TRUE(table->LocateByValues("Text", {"alphab"}, loCaseInsensitive | loPartialKey));
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "3");
  EXPECT_FALSE(table->LocateByValues("Text", {"ALPHA"}));
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "3");  // unchanged
  EXPECT_FALSE(table->LocateByValues("ID", {""}));
}

TEST_F(DataSetTest, SeekKeyExactAndNearestOnTheActiveIndex) {
  OpenTable({{"10"}, {"20"}, {"30"}});
  EXPECT_TRUE(table->SeekKeyExact({"20"}));
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "20");
  EXPECT_FALSE(table->SeekKeyExact({"25"}));
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "20");
  table->SeekKeyNearest({"25"});
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "30");
  EXPECT_EQ(table->IndexFieldCount(), 1);
  EXPECT_EQ(table->IndexField(0), &table->FieldNamed("ID"));
  ASSERT_EQ(table->IndexDefs().size(), 1u);
  EXPECT_EQ(table->IndexDefs()[0].Fields, "ID");
}

TEST_F(DataSetTest, ChangingTheOrderKeepsTheCurrentRecord) {
  OpenTable({{"2", "", "a", ""}, {"1", "", "b", ""}, {"3", "", "c", ""}});
  table->Next();  // ID 2, record 1
  table->SetIndexFieldNames("");
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "2");
  EXPECT_EQ(Ids(*table), (QStringList{"2", "1", "3"}));  // record order
  table->SetIndexFieldNames("ID");
  EXPECT_EQ(Ids(*table), (QStringList{"1", "2", "3"}));
}

TEST_F(DataSetTest, ARecordEditedOutOfTheFilterLeavesAndANeighbourBecomesCurrent) {
  OpenTable(kThree);
  table->SetFilter("Text = 'B*' or Text = 'G*'");
  table->SetFiltered(true);
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "2");
  table->Edit();
  table->FieldNamed("Text").SetAsString("Omega");
  table->Post();
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "3");
  EXPECT_EQ(Ids(*table), (QStringList{"3"}));
}

// A record posted out of the filter leaves the dataset and its next neighbour in the current
// order becomes current (the prior one when it was the last), whether the expression or the hook
// filters and in index or record order; Next then goes on from there.
struct EditedOutCase {
  const char* name;
  const char* order;  // IndexFieldNames
  bool byHook;
  QString edited;     // ID of the record edited out of the filter
  QString current;    // ID current after the Post
  QString afterNext;  // ID current after one Next
};

class EditedOutOfTheFilter : public DataSetTest, public ::testing::WithParamInterface<EditedOutCase> {};

TEST_P(EditedOutOfTheFilter, TheNextRecordBecomesCurrent) {
  const EditedOutCase& c = GetParam();
  // Record order 1, 5, 2, 4, 3, 6; ID order 1 .. 6. Note 2 never passes.
  OpenTable({{"1", "", "Keep one", ""}, {"5", "", "Keep five", ""}, {"2", "", "Drop", ""},
             {"4", "", "Keep four", ""}, {"3", "", "Keep three", ""}, {"6", "", "Keep six", ""}});
  table->SetIndexFieldNames(c.order);
  if (c.byHook) {
    table->SetOnFilterRecord([](TDataSet& ds, bool& accept) { accept = ds.FieldNamed("Text").AsString().startsWith("Keep"); });
  } else {
    table->SetFilter("Text = 'Keep*'");
  }
  table->SetFiltered(true);
  ASSERT_TRUE(table->LocateByValues("ID", {c.edited}));
  table->Edit();
  table->FieldNamed("Text").SetAsString("Gone");
  table->Post();
  EXPECT_EQ(table->FieldNamed("ID").AsString(), c.current);
  table->Next();
  EXPECT_EQ(table->FieldNamed("ID").AsString(), c.afterNext);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditedOutOfTheFilter,
    ::testing::Values(EditedOutCase{"MiddleByIndex", "ID", false, "3", "4", "5"},
                      EditedOutCase{"FirstByIndex", "ID", false, "1", "3", "4"},
                      EditedOutCase{"LastByIndexTakesThePrior", "ID", false, "6", "5", "5"},
                      EditedOutCase{"MiddleByHook", "ID", true, "4", "5", "6"},
                      EditedOutCase{"MiddleInRecordOrder", "", false, "5", "4", "3"},
                      EditedOutCase{"LastInRecordOrderTakesThePrior", "", true, "6", "3", "3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DataSetTest, CancelledInsertReturnsToTheRecordCurrentBefore) {
  OpenTable(kThree);
  table->Next();
  table->Insert();
  EXPECT_TRUE(table->FieldNamed("ID").IsNull());
  table->Cancel();
  EXPECT_EQ(table->FieldNamed("ID").AsString(), "2");
  table->OnNewRecord = [](TDataSet&) { throw std::runtime_error("no new record"); };
  EXPECT_EQ(ErrorOf([&] { table->Append(); }), "no new record");
  EXPECT_EQ(table->State(), DataSetState::Browse);
  EXPECT_EQ(Ids(*table), (QStringList{"1", "2", "3"}));
}

TEST_F(DataSetTest, ResumeAfterCloseSendsOnlyTheStateChange) {
  OpenTable(kThree);
  table->SuspendNotifications();
  table->Close();
  EXPECT_TRUE(link.Active());  // nothing reached the link yet
  table->ResumeNotifications();
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(log, (Log{"BeforeClose", "AfterClose", "ActiveChange"}));
}

TEST_F(DataSetTest, TableChangedCallbackIsDeliveredInsideTheRefreshCheck) {
  OpenTable(kThree);
  int calls = 0;
  table->RegisterTableChanged([&] { ++calls; });
  table->CheckRefresh();
  EXPECT_EQ(calls, 0);
  table->Edit();
  table->FieldNamed("Text").SetAsString("changed");
  table->Post();
  EXPECT_EQ(calls, 0);  // only the refresh check delivers it
  table->CheckRefresh();
  const int afterOwnPost = calls;
  EXPECT_EQ(afterOwnPost, 1);  // the echo of the own post, which the tree's link swallows
  EXPECT_EQ(table->ForceReread(), engine::ResultCode::Ok);
  table->CheckRefresh();
  EXPECT_EQ(calls, afterOwnPost);  // the forced re-read counts every change as seen
  table->RegisterTableChanged({});
}

TEST_F(DataSetTest, ClassFacts) {
  OpenTable(kThree);
  EXPECT_TRUE(table->IsTable());
  EXPECT_TRUE(table->IsEngineDataSet());
  EXPECT_FALSE(table->IsQuery());
  EXPECT_TRUE(table->HasProperty("IndexFieldNames"));
  EXPECT_FALSE(table->HasProperty("SQL"));
}

TEST_F(DataSetTest, HooksCanBeReadAndChainedAtRunTime) {
  OpenTable(kThree);
  Log chain;
  table->BeforePost = [&](TDataSet&) { chain.push_back("original"); };
  auto saved = table->BeforePost;
  table->BeforePost = [&, saved](TDataSet& ds) {
    chain.push_back("link");
    if (saved) saved(ds);
  };
  table->Edit();
  table->FieldNamed("Text").SetAsString("x");
  table->Post();
  EXPECT_EQ(chain, (Log{"link", "original"}));
}

TEST_F(DataSetTest, GreekTextPassesThroughTheTablesCodePage) {
  const std::string greekPath = dir.filePath("Greek.dbf").toStdString();
  engine::TableSpec spec;
  spec.fields = {{"ID", 'C', 10}, {"TEXT", 'C', 20}, {"MEMO", 'M', 10}};
  spec.tags = {{"ID", "ID"}};
  spec.languageDriver = 0xCB;  // Windows Greek
  engine::Table::Create(greekPath, spec);
  TTable t;
  t.SetTableName(QString::fromStdString(greekPath));
  t.SetIndexFieldNames("ID");
  t.Open();
  ASSERT_EQ(t.EngineTable()->CodePage(), 1253);
  const QString title = QString::fromUtf8("Σημειώσεις €");
  t.Append();
  t.FieldNamed("ID").SetAsString("1");
  t.FieldNamed("Text").SetAsString(title);
  t.FieldNamed("MEMO").SetAsString(QString::fromUtf8("Καλημέρα κόσμε"));
  t.Post();
  t.Close();
  t.Open();
  EXPECT_EQ(t.FieldNamed("Text").AsString(), title);
  EXPECT_EQ(t.FieldNamed("MEMO").AsString(), QString::fromUtf8("Καλημέρα κόσμε"));
  EXPECT_EQ(t.EngineTable()->RawField(t.EngineTable()->ReadRecord(1), 1)[0], '\xD3');  // Σ as cp1253 stores it
  t.Edit();
  t.FieldNamed("Text").SetAsString(QString::fromUtf8("Привет"));
  EXPECT_THROW(t.Post(), engine::EngineError);
  EXPECT_EQ(t.FieldNamed("Text").AsString(), QString::fromUtf8("Привет"));
}

TEST_F(DataSetTest, StoredBytesTheCodePageDoesNotMapRoundTrip) {
  // Every byte from 0x20 to 0xFF in a memo; one word appended and posted keeps them all.
  std::string bytes;
  for (int b = 0x20; b <= 0xFF; ++b) bytes += static_cast<char>(b);
  OpenTable(kThree);
  engine::Table* et = table->EngineTable();
  engine::Record raw = et->ReadRecord(1);
  raw.pendingMemos[3] = bytes;
  et->Modify(raw);
  table->Refresh();
  table->First();
  table->Edit();
  table->FieldNamed("MEMO").SetAsString(table->FieldNamed("MEMO").AsString() + " word");
  table->Post();
  engine::Record stored = et->ReadRecord(1);
  const std::string text = et->ReadMemo(stored, 3);
  EXPECT_EQ(et->EncodeText(text, "MEMO"), bytes + " word");
}

}  // namespace
}  // namespace tindrel::testing
