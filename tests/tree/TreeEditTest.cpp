// Node editing on the real widget: inserting beside and below, the label-edit cycle, the delete
// cycle with its question, outside inserts and deletes, and the ID generator.
#include <QLineEdit>

#include "tests/support/engine/NoSyncFileSystem.h"
#include "tests/tree/TreeFixture.h"
#include "tree/TreeStrings.h"

namespace tindrel::testing {
namespace {

QLineEdit* LabelEditor() { return qobject_cast<QLineEdit*>(QApplication::focusWidget()); }

// Types `text` into the open label and presses `key` (Return or Escape).
void TypeLabel(const QString& text, Qt::Key key = Qt::Key_Return) {
  QLineEdit* editor = LabelEditor();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  editor->insert(text);  // as typed (the test keyboard has no Greek letters)
  QTest::keyClick(editor, key);
  QApplication::processEvents();  // the editor commits through a queued call
}

// The stored record with `id`: "parent|text", or "none".
std::string Stored(TreeWindow& w, const char* id) {
  TTable& t = *w.table;
  t.SuspendNotifications();
  auto bm = t.TakeBookmark();
  std::string out = "none";
  t.First();
  while (!t.Eof()) {
    if (w.Field("ID").AsString() == QString::fromUtf8(id)) {
      out = (w.Field("PARENT").AsString() + u'|' + w.Field("TEXT").AsString()).toStdString();
      break;
    }
    t.Next();
  }
  if (bm && t.IsBookmarkLive(bm)) t.ReturnToBookmark(bm);
  t.ResumeNotifications();
  return out;
}

std::vector<Note> Family() {
  return {{"1", "", "top"}, {"2", "1", "kid a"}, {"3", "1", "kid b"}, {"4", "", "other"}};
}

TEST(TreeInsert, InsertChildWithNothingSelectedMakesATopLevelNote) {
  TreeWindow w(Family());
  w.Open();
  {
    QSignalBlocker quiet(w.tree);
    w.tree->setCurrentItem(nullptr);
  }
  w.tree->InsertNode(true);
  ASSERT_TRUE(w.tree->IsEditingLabel());
  EXPECT_EQ(w.table->State(), DataSetState::Inserting);
  TypeLabel(QStringLiteral("new top"));
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
  EXPECT_EQ(Stored(w, "5"), "|new top");
  EXPECT_EQ(w.Shape(), "new top,other,top(kid a,kid b)");
  EXPECT_EQ(w.SelectedID(), QStringLiteral("5"));
}

TEST(TreeInsert, InsertBesideCopiesTheParentOfTheSelectedNode) {
  struct Case {
    const char* selected;
    std::string parentAndText;
  };
  for (const Case& c : {Case{"4", "|beside"}, Case{"2", "1|beside"}}) {
    SCOPED_TRACE(c.selected);
    TreeWindow w(Family());
    w.Open();
    w.Click(w.Node(c.selected));
    w.tree->InsertNode(false);
    TypeLabel(QStringLiteral("beside"));
    EXPECT_EQ(Stored(w, "5"), c.parentAndText);
  }
}

TEST(TreeInsert, InsertChildUnderTheSelectedNodeAndF6Flow) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("3"));
  w.tree->InsertNode(true);
  TypeLabel(QStringLiteral("grandchild"));
  EXPECT_EQ(Stored(w, "5"), "3|grandchild");
  EXPECT_EQ(w.Shape(), "other,top(kid a,kid b(grandchild))");
  // The node was already in place: the post changed nothing more and no reload is pending.
  EXPECT_FALSE(w.tree->HasState(sfDirty));
  EXPECT_FALSE(w.tree->ReloadTimerRunning());
}

TEST(TreeInsert, TheSecondTopLevelNodeSwitchesRootLinesOn) {
  TreeWindow w({{"1", "", "only"}, {"2", "1", "kid"}});
  w.Open();
  EXPECT_FALSE(w.tree->ShowRoot());
  w.Click(w.Node("1"));
  w.tree->InsertNode(false);
  EXPECT_TRUE(w.tree->ShowRoot());
  TypeLabel(QStringLiteral("second"));
  EXPECT_TRUE(w.tree->ShowRoot());
}

TEST(TreeInsert, EscapeInANewNodesLabelLeavesNoRecord) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("2"));
  w.tree->InsertNode(true);
  ASSERT_TRUE(w.tree->IsEditingLabel());
  TypeLabel(QStringLiteral("never mind"), Qt::Key_Escape);
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
  EXPECT_EQ(Stored(w, "5"), "none");
  EXPECT_EQ(w.Shape(), "other,top(kid a,kid b)");
  EXPECT_EQ(w.SelectedID(), QStringLiteral("2"));
}

TEST(TreeInsert, EscapeKeepsANewNoteWhoseBodyWasTyped) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("4"));
  w.tree->InsertNode(true);
  TypeLabel(QStringLiteral("with body"), Qt::Key_Escape);  // would remove the empty new note...
  // ...so start again, and this time write the body first.
  w.tree->InsertNode(true);
  ASSERT_TRUE(w.tree->IsEditingLabel());
  w.memo->setFocus();  // the label loses the focus: its text is written, the record stays open
  QApplication::processEvents();
  QTest::keyClicks(w.memo, QStringLiteral("the body"));
  w.tree->setFocus();  // back into the tree: the label opens again by itself
  QApplication::processEvents();
  ASSERT_TRUE(w.tree->IsEditingLabel());
  QTest::keyClick(LabelEditor(), Qt::Key_Escape);
  EXPECT_NE(w.table->State(), DataSetState::Browse);  // still pending, nothing thrown away
  w.table->Post();
  w.table->Last();
  EXPECT_EQ(w.Field("MEMO").AsString(), QStringLiteral("the body"));
  EXPECT_EQ(Stored(w, "5"), "4|");
}

// Writes a title into the open label by moving into the memo, types `body` there and comes back
// to the tree, where the label opens again; then presses Escape in it.
void TitleAndBodyThenEscape(TreeWindow& w, const QString& title, const QString& body) {
  QLineEdit* editor = LabelEditor();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  editor->insert(title);
  w.memo->setFocus();
  QApplication::processEvents();
  QTest::keyClicks(w.memo, body);
  w.tree->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(w.tree->IsEditingLabel());
  QTest::keyClick(LabelEditor(), Qt::Key_Escape);
  QApplication::processEvents();
}

int NodesWithID(TreeWindow& w, const char* id) {
  int n = 0;
  for (TTreeNode* node = w.tree->topLevelItem(0); node; node = w.tree->itemBelow(node))
    n += NodeID(node) == QString::fromUtf8(id);
  return n;
}

TEST(TreeInsert, CancellingANewNoteKeptByEscapeTakesItsNodeAway) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("4"));
  w.tree->InsertNode(true);
  TitleAndBodyThenEscape(w, QStringLiteral("draft"), QStringLiteral("the body"));
  ASSERT_EQ(w.table->State(), DataSetState::Inserting);
  w.table->Cancel();  // the navigator's Cancel
  EXPECT_EQ(Stored(w, "5"), "none");
  EXPECT_EQ(w.Shape(), "other,top(kid a,kid b)");
  EXPECT_EQ(w.SelectedID(), w.Current());
  // The next note gets the free ID again, and only one node shows it.
  w.tree->InsertNode(true);
  TypeLabel(QStringLiteral("second try"));
  EXPECT_EQ(Stored(w, "5"), "4|second try");
  EXPECT_EQ(NodesWithID(w, "5"), 1);
}

TEST(TreeInsert, TheInsertKeyInsertsBesideAndWithShiftOrCtrlBelow) {
  struct Case {
    Qt::KeyboardModifiers modifiers;
    std::string stored;
  };
  for (const Case& c : {Case{Qt::NoModifier, "1|"}, Case{Qt::ShiftModifier, "3|"}, Case{Qt::ControlModifier, "3|"}}) {
    TreeWindow w(Family());
    w.Open();
    w.Click(w.Node("3"));
    QTest::keyClick(w.tree, Qt::Key_Insert, c.modifiers);
    ASSERT_TRUE(w.tree->IsEditingLabel());
    TypeLabel(QString());
    EXPECT_EQ(Stored(w, "5"), c.stored);
  }
}

TEST(TreeInsert, ATitleTheTableCannotHoldIsReportedAndTheNewNoteStaysToBeCorrected) {
  TreeWindow w(Family());  // the table's code page holds no Greek letters
  RecordedErrors errors;
  w.Open();
  w.Click(w.Node("4"));
  w.tree->InsertNode(true);
  TypeLabel(QStringLiteral("Άλφα"));
  ASSERT_EQ(errors.shown.size(), 1u);
  EXPECT_EQ(w.table->State(), DataSetState::Inserting);  // nothing lost, nothing stored cut
  ASSERT_NE(w.Node("5"), nullptr);
  EXPECT_EQ(w.Field("TEXT").AsString(), QStringLiteral("Άλφα"));  // kept for the person to correct
  w.tree->StartLabelEdit(w.Node("5"));
  ASSERT_TRUE(w.tree->IsEditingLabel());
  TypeLabel(QStringLiteral("alpha"));
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
  EXPECT_EQ(Stored(w, "5"), "4|alpha");
}

TEST(TreeInsert, ANewTitleTheFilterRejectsLeavesNoStaleSelection) {
  TreeWindow w(Family());
  w.table->SetFilter(QStringLiteral("TEXT <> 'hidden'"));
  w.table->SetFiltered(true);
  w.Open();
  w.Click(w.Node("4"));
  w.tree->InsertNode(true);
  TypeLabel(QStringLiteral("hidden"));
  QApplication::processEvents();  // the reload that follows
  EXPECT_EQ(w.Node("5"), nullptr);
  EXPECT_EQ(w.SelectedID(), w.Current());
  w.table->SetFiltered(false);
  EXPECT_EQ(Stored(w, "5"), "4|hidden");
}

TEST(TreeEdit, EnterPostsTheNewTitle) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("3"));
  w.tree->StartLabelEdit(w.Node("3"));
  ASSERT_TRUE(w.tree->IsEditingLabel());
  EXPECT_EQ(w.table->State(), DataSetState::Editing);
  TypeLabel(QStringLiteral("kid B"));
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
  EXPECT_EQ(Stored(w, "3"), "1|kid B");
  EXPECT_EQ(w.Node("3")->text(0), QStringLiteral("kid B"));
}

TEST(TreeEdit, ATitleWrittenThenCancelledElsewhereGetsItsOldTextBack) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("3"));
  w.tree->StartLabelEdit(w.Node("3"));
  QTest::keyClick(LabelEditor(), Qt::Key_End);
  QTest::keyClicks(LabelEditor(), QStringLiteral(" renamed"));
  w.memo->setFocus();  // clicking into the memo: the text is written, not posted
  QApplication::processEvents();
  EXPECT_FALSE(w.tree->IsEditingLabel());
  EXPECT_EQ(w.table->State(), DataSetState::Editing);
  EXPECT_EQ(w.Field("TEXT").AsString(), QStringLiteral("kid b renamed"));
  w.table->Cancel();  // the navigator's Cancel
  EXPECT_EQ(w.Node("3")->text(0), QStringLiteral("kid b"));
  EXPECT_EQ(Stored(w, "3"), "1|kid b");
}

TEST(TreeEdit, CancellingAnEditKeptByEscapeGivesTheNodeItsStoredTitleBack) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("3"));
  w.tree->StartLabelEdit(w.Node("3"));
  TitleAndBodyThenEscape(w, QStringLiteral("kid b renamed"), QStringLiteral("typed"));
  ASSERT_EQ(w.table->State(), DataSetState::Editing);  // the memo typing is kept
  w.table->Cancel();  // the navigator's Cancel
  EXPECT_EQ(Stored(w, "3"), "1|kid b");
  EXPECT_EQ(w.Node("3")->text(0), QStringLiteral("kid b"));
  EXPECT_EQ(w.Field("MEMO").AsString(), QString());
}

TEST(TreeEdit, TheLabelEditorHoldsNoMoreThanTheTextFieldTakes) {
  TreeWindow w(Family(), false, /*textWidth=*/8);
  w.Open();
  w.Click(w.Node("3"));
  w.tree->StartLabelEdit(w.Node("3"));
  ASSERT_NE(LabelEditor(), nullptr);
  EXPECT_EQ(LabelEditor()->maxLength(), 8);
  TypeLabel(QStringLiteral("123456789"));
  EXPECT_EQ(Stored(w, "3"), "1|12345678");
}

TEST(TreeEdit, RootItemReadOnlyRefusesEditDeleteAndOutsideDelete) {
  TreeWindow w(Family());
  w.Open(kMainWindowTreeOptions | dtRootItemReadOnly);
  w.Click(w.Node("1"));
  w.tree->StartLabelEdit(w.Node("1"));
  EXPECT_FALSE(w.tree->IsEditingLabel());
  QTest::keyClick(w.tree, Qt::Key_Delete);
  EXPECT_TRUE(w.platform.boxes.shown.empty());
  EXPECT_EQ(Stored(w, "1"), "|top");
  ASSERT_EQ(w.Current(), QStringLiteral("1"));
  try {
    w.table->Delete();
    ADD_FAILURE() << "the outside delete went through";
  } catch (const SilentAbort& e) {
    EXPECT_STREQ(e.what(), "RootItem is ReadOnly");
  }
  EXPECT_EQ(Stored(w, "1"), "|top");
}

TEST(TreeDelete, ANodeWithTwoChildrenAsksThreeTimesChildrenFirst) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("1"));
  w.tree->DeleteSelected();
  auto& shown = w.platform.boxes.shown;
  ASSERT_EQ(shown.size(), 3u);
  for (const ShownBox& box : shown) {
    EXPECT_EQ(box.text, ProgramString(sDeleteRecordQuestion));
    EXPECT_EQ(box.caption, QStringLiteral("Tindrel II"));
    EXPECT_EQ(box.icon, MessageIcon::Confirmation);
    EXPECT_EQ(box.buttons, mbOK | mbCancel | mbAll);
  }
  for (const char* id : {"1", "2", "3"}) EXPECT_EQ(Stored(w, id), "none") << id;
  EXPECT_EQ(w.Shape(), "other");
  EXPECT_EQ(w.SelectedID(), QStringLiteral("4"));
  EXPECT_EQ(w.Current(), QStringLiteral("4"));
}

TEST(TreeDelete, AllAtTheFirstQuestionDeletesTheWholeSubtree) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("1"));
  w.platform.boxes.Answer(mbAll);
  w.tree->DeleteSelected();
  EXPECT_EQ(w.platform.boxes.shown.size(), 1u);
  for (const char* id : {"1", "2", "3"}) EXPECT_EQ(Stored(w, id), "none") << id;
  EXPECT_EQ(Stored(w, "4"), "|other");
}

TEST(TreeDelete, ALeafAsksOnceWithOkAndCancel) {
  for (MessageButton answer : {mbOK, mbCancel}) {
    TreeWindow w(Family());
    w.Open();
    w.Click(w.Node("3"));
    w.platform.boxes.Answer(answer);
    w.tree->DeleteSelected();
    ASSERT_EQ(w.platform.boxes.shown.size(), 1u);
    EXPECT_EQ(w.platform.boxes.shown[0].buttons, mbOK | mbCancel);
    EXPECT_EQ(Stored(w, "3"), answer == mbOK ? "none" : "1|kid b");
    EXPECT_EQ(w.SelectedID(), answer == mbOK ? QStringLiteral("2") : QStringLiteral("3"));
  }
}

TEST(TreeDelete, CancellingTheTopQuestionKeepsTheTopAndRestoresTheSelection) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("1"));
  w.platform.boxes.Answer(mbOK);
  w.platform.boxes.Answer(mbOK);
  w.platform.boxes.Answer(mbCancel);
  w.tree->DeleteSelected();
  EXPECT_EQ(Stored(w, "2"), "none");
  EXPECT_EQ(Stored(w, "3"), "none");
  EXPECT_EQ(Stored(w, "1"), "|top");
  EXPECT_EQ(w.Shape(), "other,top");
  EXPECT_EQ(w.SelectedID(), QStringLiteral("1"));
}

TEST(TreeDelete, WithoutConfirmDeleteNothingIsAsked) {
  TreeWindow w(Family());
  w.Open(kMainWindowTreeOptions & ~dtConfirmDelete);
  w.Click(w.Node("1"));
  QTest::keyClick(w.tree, Qt::Key_Delete);
  EXPECT_TRUE(w.platform.boxes.shown.empty());
  EXPECT_EQ(w.Shape(), "other");
}

TEST(TreeDelete, AnOutsideDeleteOfASubtreeGoesThroughTheTreeAndEndsSilently) {
  TreeWindow w(Family());
  RecordedErrors errors;
  w.Open();
  w.Click(w.Node("1"));
  w.memo->setFocus();
  RunGuarded([&] { w.table->Delete(); });  // as the navigator's Delete button runs it
  EXPECT_EQ(w.platform.boxes.shown.size(), 3u);
  EXPECT_TRUE(errors.shown.empty());
  for (const char* id : {"1", "2", "3"}) EXPECT_EQ(Stored(w, id), "none") << id;
  EXPECT_EQ(w.Shape(), "other");
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
}

TEST(TreeDelete, AnOutsideDeleteOfALeafWithoutConfirmationRemovesJustItsNode) {
  TreeWindow w(Family());
  w.Open(kMainWindowTreeOptions & ~dtConfirmDelete);
  w.Click(w.Node("2"));
  const int rebuilds = w.rebuilds;
  w.table->Delete();
  EXPECT_EQ(Stored(w, "2"), "none");
  EXPECT_EQ(w.Shape(), "other,top(kid b)");
  EXPECT_EQ(w.rebuilds, rebuilds);  // no reload
  EXPECT_EQ(w.SelectedID(), QStringLiteral("3"));
  EXPECT_TRUE(w.tree->PendingDeleteID().isEmpty());
}

TEST(TreeDelete, AnOutsideDeleteOfARecordWithoutANodeAsksAndDeletes) {
  TreeWindow w({{"1", "", "root"}, {"2", "3", "cycle a"}, {"3", "2", "cycle b"}});
  w.Open();
  ASSERT_TRUE(w.table->LocateByValues(QStringLiteral("ID"), {QStringLiteral("2")}));
  RunGuarded([&] { w.table->Delete(); });
  ASSERT_EQ(w.platform.boxes.shown.size(), 1u);
  EXPECT_EQ(w.platform.boxes.shown[0].buttons, mbOK | mbCancel);
  EXPECT_EQ(Stored(w, "2"), "none");
}

TEST(TreeDelete, OnADataSetWithoutChangeRegistrationAllDeletesThreeRecordsAndReloadsOnce) {
  TreeWindow w(Family(), false, 40, /*plainTable=*/true);
  w.Open();
  w.Click(w.Node("1"));
  const int rebuilds = w.rebuilds;
  w.platform.boxes.Answer(mbAll);
  w.tree->DeleteSelected();
  EXPECT_EQ(w.rebuilds, rebuilds + 1);  // rebuilt once, when the walk was over
  EXPECT_EQ(w.Shape(), "other");
  EXPECT_EQ(w.StoredIds(), std::vector<std::string>{"4"});
}

TEST(TreeDelete, ANodeWhoseIdIsDuplicatedIsNotDeleted) {
  TreeWindow w({{"1", "", "top"}, {"2", "1", "twin a"}, {"2", "", "twin b"}});
  RecordedErrors errors;
  w.Open();
  TTreeNode* twin = w.Node("2");
  ASSERT_NE(twin, nullptr);
  w.Click(twin);
  w.tree->DeleteSelected();
  ASSERT_EQ(errors.shown.size(), 1u);
  EXPECT_NE(errors.shown[0].find("more than one record has the ID '2'"), std::string::npos);
  EXPECT_EQ(w.StoredIds().size(), 3u);
}

// A node the walk cannot delete stays under its parent until the parent goes: the selection must
// never be left on it (it is freed with the parent), and its record shows up again afterwards.
TEST(TreeDelete, ASubtreeHoldingANodeThatCannotBeDeletedEndsOnALiveNode) {
  struct Case {
    const char* name;
    std::vector<Note> notes;
    bool removeChildBehindTheTree;  // its record vanishes without the tree being told (a table
                                    // without change registration, so nothing polls for it)
    std::vector<std::string> storedAfter;
    std::string shapeAfter;
  };
  const std::vector<Case> cases = {
      {"duplicated ID", {{"1", "", "top"}, {"2", "1", "twin a"}, {"2", "", "twin b"}}, false, {"2", "2"},
       "twin a,twin b"},
      {"record gone", {{"1", "", "top"}, {"2", "1", "gone"}, {"3", "", "other"}}, true, {"3"}, "other"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TreeWindow w(c.notes, false, 40, /*plainTable=*/c.removeChildBehindTheTree);
    RecordedErrors errors;
    w.Open();
    if (c.removeChildBehindTheTree) w.table->EngineTable()->Delete(2);
    w.Click(w.Node("1"));
    w.platform.boxes.Answer(mbAll);
    w.tree->DeleteSelected();
    QApplication::processEvents();
    EXPECT_EQ(w.StoredIds(), c.storedAfter);
    EXPECT_EQ(w.Shape(), c.shapeAfter);
    TTreeNode* selected = w.tree->currentItem();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(NodeID(selected), w.Current());  // a node of the tree, showing the current record
  }
}

TEST(TreeDelete, AVeryDeepChainWithTheMainWindowsOptionsOpensAndGoesWithAll) {
  std::vector<Note> notes;
  const int depth = 30000;
  for (int i = 1; i <= depth; ++i) notes.push_back({std::to_string(i), i == 1 ? "" : std::to_string(i - 1), "n"});
  notes.push_back({std::to_string(depth + 1), "", "other"});
  NoSyncFileSystem disk;  // 30,000 deletes: what is tested is the tree, not the disk's syncs
  TreeWindow w(notes);
  w.table->SetFileSystem(&disk);
  w.Open();  // auto-expand on: the whole chain opens
  TTreeNode* deepest = w.Node(std::to_string(depth).c_str());
  ASSERT_NE(deepest, nullptr);
  EXPECT_TRUE(deepest->parent()->isExpanded());
  w.tree->Select(deepest);
  QApplication::processEvents();
  EXPECT_EQ(w.Current(), QString::number(depth));
  w.tree->Select(w.Node("1"));
  w.platform.boxes.Answer(mbAll);
  w.tree->DeleteSelected();
  QApplication::processEvents();
  EXPECT_EQ(w.platform.boxes.shown.size(), 1u);
  EXPECT_EQ(w.StoredIds(), std::vector<std::string>{std::to_string(depth + 1)});
  EXPECT_EQ(w.Shape(), "other");
}

TEST(TreeOutsideInsert, AppendFromElsewhereBecomesATreeInsertWithAGeneratedId) {
  for (bool asChild : {false, true}) {
    SCOPED_TRACE(asChild ? "as child" : "beside");
    TreeWindow w(Family());
    w.Open(asChild ? (kMainWindowTreeOptions | dtInsertAsChild) : kMainWindowTreeOptions);
    w.Click(w.Node("2"));
    w.memo->setFocus();
    QApplication::processEvents();
    w.table->Append();  // the navigator's or the menu's insert
    EXPECT_EQ(w.table->State(), DataSetState::Inserting);
    EXPECT_EQ(w.Field("ID").AsString(), QStringLiteral("5"));
    EXPECT_EQ(w.Field("PARENT").AsString(), asChild ? QStringLiteral("2") : QStringLiteral("1"));
    w.table->Post();
    EXPECT_EQ(Stored(w, "5"), asChild ? "2|" : "1|");
    EXPECT_NE(w.Node("5"), nullptr);
  }
}

struct NextIdCase {
  const char* name;
  bool numeric;
  uint16_t idWidth;
  std::vector<Note> notes;
  std::string expected;  // "" : the insert fails
};

class TreeNextId : public ::testing::TestWithParam<NextIdCase> {};

TEST_P(TreeNextId, GivesAUniqueFittingIdOrRefuses) {
  const NextIdCase& c = GetParam();
  TreeWindow w(c.notes, c.numeric, 40, false, c.idWidth);
  RecordedErrors errors;
  w.Open();
  if (c.expected.empty()) {
    const auto before = w.StoredIds();
    EXPECT_THROW(w.tree->InsertNode(false), std::exception);
    EXPECT_EQ(w.table->State(), DataSetState::Browse);
    EXPECT_EQ(w.StoredIds(), before);
  } else {
    EXPECT_EQ(w.tree->GenerateNextID().toStdString(), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TreeNextId,
    ::testing::Values(
        NextIdCase{"numeric_last_plus_one", true, 10, {{"1", "", "a"}, {"2", "", "b"}, {"7", "", "c"}}, "8"},
        NextIdCase{"text_largest_number", false, 10, {{"1", "", "a"}, {"2x", "", "b"}, {"abc", "", "c"}}, "2"},
        NextIdCase{"empty_table", false, 10, {}, "0"},
        NextIdCase{"numeric_beyond_32_bits", true, 10, {{"2147483647", "", "a"}}, "2147483648"},
        NextIdCase{"text_beyond_32_bits", false, 10, {{"2147483646", "", "a"}, {"2147483647", "", "b"}}, "2147483648"},
        NextIdCase{"hexadecimal_text", false, 10, {{"0x10", "", "a"}, {" 5", "", "b"}}, "17"},
        NextIdCase{"does_not_fit", false, 3, {{"999", "", "a"}}, ""},
        NextIdCase{"skips_an_orphans_parent", true, 10, {{"1", "", "a"}, {"2", "3", "orphan"}}, "4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TreeNextId, TheIdsOfADeletedSubtreeAreFreeAgain) {
  // 3 hangs under 2: once both are deleted nothing names 2 as a parent any more.
  TreeWindow w({{"1", "", "root"}, {"2", "1", "two"}, {"3", "2", "three"}});
  w.Open();
  w.tree->Select(w.Node("2"));
  w.platform.boxes.Answer(mbAll);
  w.tree->DeleteSelected();
  ASSERT_EQ(w.StoredIds(), std::vector<std::string>{"1"});
  EXPECT_EQ(w.tree->GenerateNextID().toStdString(), "2");
}

TEST(TreeNextId, AHandlerDecidesAlone) {
  TreeWindow w(Family());
  w.Open();
  w.tree->OnGetNextID = [](TCustomDBTreeView&, TDataSet&) { return QStringLiteral("X9"); };
  w.Click(w.Node("4"));
  w.tree->InsertNode(true);
  TypeLabel(QStringLiteral("by handler"));
  EXPECT_EQ(Stored(w, "X9"), "4|by handler");
}

}  // namespace
}  // namespace tindrel::testing
