// The tree and the dataset's current record following each other: moves select nodes, clicks
// move the record (and the memo follows), text changes rename, structural changes reload at the
// first safe moment, and changes made to the table elsewhere reload after the timer.
#include "tests/tree/TreeFixture.h"

namespace tindrel::testing {
namespace {

std::vector<Note> SmallTree() {
  return {{"1", "", "root", "memo of root"},
          {"2", "1", "alpha", "memo of alpha"},
          {"3", "1", "beta", "memo of beta"},
          {"4", "2", "alpha child", "memo of alpha child"},
          {"5", "", "second", "memo of second"}};
}

TEST(TreeSync, NextSelectsEachRecordsNodeAndExpandsItsSubtree) {
  TreeWindow w(SmallTree());
  w.Open();
  w.tree->FullCollapse();
  w.table->First();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(w.SelectedID(), w.Current());
    if (w.Current() == QStringLiteral("1")) {
      EXPECT_TRUE(w.Node("1")->isExpanded());
      EXPECT_TRUE(w.Node("2")->isExpanded());  // the whole subtree
    }
    w.table->Next();
  }
}

TEST(TreeSync, ClickingANodeMakesItsRecordCurrentAndTheMemoFollows) {
  TreeWindow w(SmallTree());
  w.Open();
  w.Click(w.Node("3"));
  EXPECT_EQ(w.Current(), QStringLiteral("3"));
  EXPECT_EQ(w.SelectedID(), QStringLiteral("3"));
  EXPECT_EQ(w.memo->toPlainText(), QStringLiteral("memo of beta"));
  w.Click(w.Node("4"));
  EXPECT_EQ(w.memo->toPlainText(), QStringLiteral("memo of alpha child"));
}

TEST(TreeSync, ARecordWithoutANodeBecomesCurrentWithoutMovingTheSelection) {
  TreeWindow w({{"1", "", "root"}, {"2", "3", "in a cycle"}, {"3", "2", "in a cycle too"}});
  w.Open();
  ASSERT_EQ(w.Shape(), "root");
  w.Click(w.Node("1"));
  ASSERT_TRUE(w.table->LocateByValues(QStringLiteral("ID"), {QStringLiteral("2")}));
  EXPECT_EQ(w.Current(), QStringLiteral("2"));
  EXPECT_EQ(w.SelectedID(), QStringLiteral("1"));
}

TEST(TreeSync, RenamingInAnotherControlRenamesTheNodeWithoutAReload) {
  TreeWindow w(SmallTree());
  w.Open();
  w.Click(w.Node("3"));
  const int rebuilds = w.rebuilds;
  w.memo->setFocus();
  w.table->Edit();
  w.Field("TEXT").SetAsString(QStringLiteral("BETA renamed"));
  EXPECT_EQ(w.Node("3")->text(0), QStringLiteral("BETA renamed"));
  w.table->Post();
  EXPECT_EQ(w.rebuilds, rebuilds);
  EXPECT_EQ(w.Shape(), "root(alpha(alpha child),BETA renamed),second");
}

TEST(TreeSync, AParentChangeWhileEditingReloadsAfterPostAndNotAfterCancel) {
  for (bool post : {true, false}) {
    SCOPED_TRACE(post ? "post" : "cancel");
    TreeWindow w(SmallTree());
    w.Open();
    w.Click(w.Node("3"));
    w.memo->setFocus();
    w.table->Edit();
    w.Field("PARENT").SetAsString(QStringLiteral("5"));
    EXPECT_TRUE(w.tree->HasState(sfReloadAfterPost));
    EXPECT_EQ(w.Shape(), "root(alpha(alpha child),beta),second");
    if (post) w.table->Post();
    else w.table->Cancel();
    EXPECT_FALSE(w.tree->HasState(sfReloadAfterPost));
    EXPECT_EQ(w.Shape(), post ? "root(alpha(alpha child)),second(beta)" : "root(alpha(alpha child),beta),second");
  }
}

TEST(TreeSync, TheEchoOfOurOwnPostIsSwallowedAndAnOutsideChangeReloadsAfterTheTimer) {
  TreeWindow w(SmallTree());
  w.Open();
  ASSERT_TRUE(w.tree->Link().HasEngineRegistration());
  w.Click(w.Node("5"));
  w.table->Edit();
  w.Field("MEMO").SetAsString(QStringLiteral("typed"));
  w.table->Post();
  EXPECT_FALSE(w.tree->Link().OwnChangePending());
  EXPECT_FALSE(w.tree->ReloadTimerRunning());
  EXPECT_FALSE(w.tree->HasState(sfDirty));

  // Someone else changes the table: the next poll delivers the change and starts the timer.
  {
    auto* engine = w.table->EngineTable();
    engine::Record r = engine->BlankRecord();
    engine->SetText(r, 0, "6");
    engine->SetText(r, 1, "5");
    engine->SetText(r, 2, "from elsewhere");
    engine->Append(r);
  }
  w.tree->Link().PollTableChanges();
  EXPECT_TRUE(w.tree->ReloadTimerRunning());
  EXPECT_TRUE(w.tree->HasState(sfDirty));
  EXPECT_TRUE(w.tree->HasState(sfResyncNeeded));
  w.platform.clock.Advance(499);
  EXPECT_EQ(w.Shape(), "root(alpha(alpha child),beta),second");
  w.platform.clock.Advance(1);
  EXPECT_EQ(w.Shape(), "root(alpha(alpha child),beta),second(from elsewhere)");
  EXPECT_FALSE(w.tree->ReloadTimerRunning());
  EXPECT_FALSE(w.tree->HasState(sfResyncNeeded));
  EXPECT_EQ(w.SelectedID(), QStringLiteral("5"));
}

TEST(TreeSync, ALabelAskedForWhileTheTreeIsOutOfDateOpensAfterTheReload) {
  TreeWindow w(SmallTree());
  w.Open();
  w.Click(w.Node("5"));
  {
    auto* engine = w.table->EngineTable();
    engine::Record r = engine->ReadRecord(1);
    engine->SetText(r, 2, "root from elsewhere");
    engine->Modify(r);
  }
  w.tree->Link().PollTableChanges();
  w.tree->StartLabelEdit(w.Node("5"));
  EXPECT_FALSE(w.tree->IsEditingLabel());
  EXPECT_TRUE(w.tree->HasState(sfEditAfterReload));
  w.platform.clock.Advance(500);
  EXPECT_EQ(w.Node("1")->text(0), QStringLiteral("root from elsewhere"));
  EXPECT_TRUE(w.tree->IsEditingLabel());
  EXPECT_EQ(w.table->State(), DataSetState::Editing);
}

TEST(TreeSync, WithoutChangeRegistrationEveryDataChangeMarksTheTreeOutOfDate) {
  TreeWindow w(SmallTree(), false, 40, /*plainTable=*/true);
  w.Open();
  EXPECT_FALSE(w.tree->Link().HasEngineRegistration());
  {
    auto* engine = w.table->EngineTable();
    engine::Record r = engine->BlankRecord();
    engine->SetText(r, 0, "6");
    engine->SetText(r, 2, "new top");
    engine->Append(r);
  }
  w.table->Refresh();  // a data-set change: Dirty, and the same notification reloads
  w.table->Next();
  EXPECT_EQ(w.Shape(), "new top,root(alpha(alpha child),beta),second");
}

TEST(TreeSync, ClicksOnADataSetWithoutChangeRegistrationRebuildSafelyAndKeepFollowing) {
  TreeWindow w(SmallTree(), false, 40, /*plainTable=*/true);
  w.Open();
  for (const char* id : {"3", "4", "5", "2", "1"}) {
    w.Click(w.Node(id));  // each click may rebuild the nodes under the press
    QApplication::processEvents();
    EXPECT_EQ(w.SelectedID(), QString::fromUtf8(id));
    EXPECT_EQ(w.Current(), QString::fromUtf8(id));
  }
}

TEST(TreeSync, RebuildFocusedOnlyWaitsForTheFocus) {
  TreeWindow w(SmallTree());
  w.Open(kMainWindowTreeOptions | dtRebuildFocusedOnly);
  w.Click(w.Node("3"));
  w.memo->setFocus();
  QApplication::processEvents();
  w.table->Edit();
  w.Field("PARENT").SetAsString(QStringLiteral("5"));
  w.table->Post();
  EXPECT_TRUE(w.tree->HasState(sfDirty));
  EXPECT_EQ(w.Shape(), "root(alpha(alpha child),beta),second");
  w.tree->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(w.Shape(), "root(alpha(alpha child)),second(beta)");
}

TEST(TreeSync, SwitchingSynchronisationOnMovesToTheSelectedNode) {
  TreeWindow w(SmallTree());
  w.Open(kMainWindowTreeOptions & ~dtSynchronizeDataSet);
  w.Click(w.Node("4"));
  EXPECT_EQ(w.Current(), QStringLiteral("1"));  // not synchronised: the record stays
  w.tree->SetOptions(kMainWindowTreeOptions);
  EXPECT_EQ(w.Current(), QStringLiteral("4"));
}

TEST(TreeSync, ClickingANodeTheFilterHidesReloadsAndNeverLeavesTheMemoOnAnotherNote) {
  TreeWindow w(SmallTree());
  w.Open();
  w.Click(w.Node("3"));
  // Filtered from elsewhere, without a rebuild of the tree: the node of "5" is stale.
  w.table->SetFilter(QStringLiteral("ID <> '5'"));
  w.table->SetFiltered(true);
  ASSERT_NE(w.Node("5"), nullptr);
  w.Click(w.Node("5"));
  QApplication::processEvents();  // the stale node goes with the reload that follows
  EXPECT_EQ(w.Node("5"), nullptr);
  EXPECT_EQ(w.SelectedID(), w.Current());
  EXPECT_FALSE(w.tree->HasState(sfSkipDataSetChange));
}

TEST(TreeSync, StayOnTopRecreationKeepsEveryRecordId) {
  TreeWindow w(SmallTree());
  w.Open();
  w.window.setWindowFlags(w.window.windowFlags() | Qt::WindowStaysOnTopHint);
  w.window.show();
  for (const char* id : {"1", "2", "3", "4", "5"}) EXPECT_NE(w.Node(id), nullptr) << id;
}

}  // namespace
}  // namespace tindrel::testing
