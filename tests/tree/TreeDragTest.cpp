// Drag-and-drop move inside the tree, auto-scroll, and the pointer behaviour of the base view,
// driven by Qt's drag, mouse and key events on the real widget.
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>

#include "tests/tree/TreeFixture.h"

namespace tindrel::testing {
namespace {

std::vector<Note> Family() {
  return {{"1", "", "top"}, {"2", "1", "kid a"}, {"3", "1", "kid b"}, {"4", "2", "grandkid"}, {"5", "", "other"}};
}

std::string StoredParent(TreeWindow& w, const char* id) {
  TTable& t = *w.table;
  t.SuspendNotifications();
  auto bm = t.TakeBookmark();
  std::string out = "none";
  t.First();
  while (!t.Eof()) {
    if (w.Field("ID").AsString() == QString::fromUtf8(id)) out = w.Field("PARENT").AsString().toStdString();
    t.Next();
  }
  if (bm && t.IsBookmarkLive(bm)) t.ReturnToBookmark(bm);
  t.ResumeNotifications();
  return out;
}

// Drives one drag of the selected node inside the tree with the drag events Qt delivers.
class Dragger {
 public:
  explicit Dragger(TreeWindow& w) : w_(w), data_(w.tree->CreateDragData()) {
    QDragEnterEvent enter(QPoint(1, 1), Qt::MoveAction, data_.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_.tree->viewport(), &enter);
  }
  // A drag move to `at`; whether the tree would accept a drop there.
  bool MoveTo(QPoint at) {
    QDragMoveEvent move(at, Qt::MoveAction, data_.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_.tree->viewport(), &move);
    return move.isAccepted();
  }
  bool Drop(QPoint at) {
    if (!MoveTo(at)) return false;
    QDropEvent drop(at, Qt::MoveAction, data_.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w_.tree->viewport(), &drop);
    return true;
  }
  static QPoint OnLabel(TreeWindow& w, const char* id) {
    return w.tree->visualItemRect(w.Node(id)).topLeft() + QPoint(4, 3);
  }

 private:
  TreeWindow& w_;
  std::unique_ptr<QMimeData> data_;
};

TEST(TreeDrag, DropsOntoItselfItsParentAndItsDescendantsAreRefused) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("2"));
  Dragger drag(w);
  EXPECT_FALSE(drag.MoveTo(Dragger::OnLabel(w, "2")));  // itself
  EXPECT_FALSE(drag.MoveTo(Dragger::OnLabel(w, "1")));  // its parent
  EXPECT_FALSE(drag.MoveTo(Dragger::OnLabel(w, "4")));  // its child
  EXPECT_EQ(w.tree->DropTargetNode(), nullptr);
  EXPECT_TRUE(drag.MoveTo(Dragger::OnLabel(w, "5")));
  EXPECT_EQ(w.tree->DropTargetNode(), w.Node("5"));  // the accepted target is highlighted
  EXPECT_TRUE(drag.MoveTo(Dragger::OnLabel(w, "3")));
  EXPECT_EQ(w.tree->DropTargetNode(), w.Node("3"));
}

TEST(TreeDrag, ADropOntoASiblingPostsTheNewParentWithoutARebuild) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("3"));
  const int rebuilds = w.rebuilds;
  Dragger drag(w);
  ASSERT_TRUE(drag.Drop(Dragger::OnLabel(w, "2")));
  EXPECT_EQ(StoredParent(w, "3"), "2");
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
  EXPECT_EQ(w.Shape(), "other,top(kid a(grandkid,kid b))");
  EXPECT_EQ(w.rebuilds, rebuilds);  // no rebuild
  EXPECT_EQ(w.tree->DropTargetNode(), nullptr);
  int at = 0;
  ASSERT_TRUE(w.tree->Snapshot()->FindByID(QStringLiteral("3"), at));
  EXPECT_EQ(w.tree->Snapshot()->At(at).ParentID, QStringLiteral("2"));  // no structural change later
}

TEST(TreeDrag, ATopLevelDropOnEmptySpaceOrTheIndentClearsTheParent) {
  for (bool onIndent : {false, true}) {
    SCOPED_TRACE(onIndent ? "indent" : "empty space");
    TreeWindow w(Family());
    w.Open();
    w.Click(w.Node("4"));
    Dragger drag(w);
    const QPoint at = onIndent ? w.tree->visualItemRect(w.Node("3")).topLeft() + QPoint(-3, 3)
                               : QPoint(20, w.tree->viewport()->height() - 5);
    ASSERT_TRUE(drag.Drop(at));
    EXPECT_TRUE(w.tree->DropAtTopLevel());
    EXPECT_EQ(StoredParent(w, "4"), "");
    EXPECT_EQ(w.Shape(), "grandkid,other,top(kid a,kid b)");
  }
}

TEST(TreeDrag, ADropOnAnotherNodesExpandButtonIsRefused) {
  TreeWindow w(Family());
  w.Open();
  ASSERT_TRUE(w.tree->ShowRoot());  // top-level nodes have buttons too
  w.Click(w.Node("3"));
  Dragger drag(w);
  auto buttonOf = [&](const char* id) {
    const QRect r = w.tree->visualItemRect(w.Node(id));
    return QPoint(r.left() - w.tree->indentation() / 2, r.center().y());
  };
  for (const char* id : {"1", "2"}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(w.tree->HitTest(buttonOf(id)), haOnButton);
    EXPECT_FALSE(drag.Drop(buttonOf(id)));
    EXPECT_FALSE(w.tree->DropAtTopLevel());
  }
  EXPECT_EQ(StoredParent(w, "3"), "1");
  // Left of the button is still the indent: a drop there goes to the top level.
  const QPoint indent = buttonOf("2") - QPoint(w.tree->indentation(), 0);
  EXPECT_EQ(w.tree->HitTest(indent), haOnIndent);
  EXPECT_TRUE(drag.Drop(indent));
  EXPECT_EQ(StoredParent(w, "3"), "");
}

TEST(TreeDrag, ATopLevelNodeDroppedOnEmptySpaceIsRefused) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("5"));
  Dragger drag(w);
  EXPECT_FALSE(drag.MoveTo(QPoint(20, w.tree->viewport()->height() - 5)));
}

TEST(TreeDrag, WithoutTopLevelDropsOnlyMovesUnderOtherNodesAreAccepted) {
  TreeWindow w(Family());
  w.tree->ApplyMainWindowSettings();
  w.tree->SetRootID(QStringLiteral("missing"));
  w.tree->SetOptions(kMainWindowTreeOptions);  // RootID not empty now: no top-level drops
  w.tree->SetRootID(QString());
  w.tree->SetDataSource(&w.source);
  w.table->Open();
  w.Show();
  ASSERT_FALSE(w.tree->HasExOption(txTopLevelDrop));
  w.Click(w.Node("4"));
  Dragger drag(w);
  EXPECT_FALSE(drag.MoveTo(QPoint(20, w.tree->viewport()->height() - 5)));
  EXPECT_TRUE(drag.MoveTo(Dragger::OnLabel(w, "5")));
}

TEST(TreeDrag, MovingTheSecondToLastTopLevelNodeUnderTheOtherSwitchesRootLinesOff) {
  TreeWindow w(Family());
  w.Open();
  ASSERT_TRUE(w.tree->ShowRoot());
  w.Click(w.Node("5"));
  Dragger drag(w);
  ASSERT_TRUE(drag.Drop(Dragger::OnLabel(w, "1")));
  EXPECT_EQ(StoredParent(w, "5"), "1");
  EXPECT_FALSE(w.tree->ShowRoot());
}

TEST(TreeDrag, TheOnlyRootAndReadOnlyRootsCannotBeDragged) {
  {
    TreeWindow w({{"1", "", "only"}, {"2", "1", "kid"}});
    w.Open();
    EXPECT_FALSE(w.tree->CanDragNode(w.Node("1")));
    EXPECT_TRUE(w.tree->CanDragNode(w.Node("2")));
  }
  {
    TreeWindow w(Family());
    w.Open(kMainWindowTreeOptions | dtRootItemReadOnly);
    EXPECT_FALSE(w.tree->CanDragNode(w.Node("5")));
    EXPECT_TRUE(w.tree->CanDragNode(w.Node("3")));
  }
}

TEST(TreeDrag, ADropThatWouldCloseAParentCycleBehindAFilterIsRefused) {
  // A -> B -> C; with B filtered out, C shows at the top level beside A.
  TreeWindow w({{"1", "", "A"}, {"2", "1", "B"}, {"3", "2", "C"}});
  RecordedErrors errors;
  w.table->SetFilter(QStringLiteral("ID <> '2'"));
  w.table->SetFiltered(true);
  w.Open();
  ASSERT_EQ(w.Shape(), "A,C");
  w.Click(w.Node("1"));
  Dragger drag(w);
  ASSERT_TRUE(drag.Drop(Dragger::OnLabel(w, "3")));
  ASSERT_EQ(errors.shown.size(), 1u);
  EXPECT_EQ(StoredParent(w, "1"), "");
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
  EXPECT_EQ(w.Shape(), "A,C");
}

TEST(TreeDrag, AMoveWhosePostFailsPutsTheTreeBackAndReportsIt) {
  TreeWindow w(Family());
  RecordedErrors errors;
  bool failPost = false;
  // A handler in place before the tree's link takes the hook over: the link chains it.
  w.table->BeforePost = [&](TDataSet&) {
    if (failPost) throw std::runtime_error("Disk full");
  };
  w.Open();
  w.Click(w.Node("3"));
  failPost = true;
  Dragger drag(w);
  ASSERT_TRUE(drag.Drop(Dragger::OnLabel(w, "5")));
  EXPECT_EQ(errors.shown, std::vector<std::string>{"Disk full"});
  EXPECT_EQ(StoredParent(w, "3"), "1");
  EXPECT_EQ(w.table->State(), DataSetState::Browse);
  EXPECT_EQ(w.Shape(), "other,top(kid a(grandkid),kid b)");
}

TEST(TreeDrag, EscapeCancelsTheDragAndTypesNothing) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("3"));
  Dragger drag(w);
  ASSERT_TRUE(drag.MoveTo(Dragger::OnLabel(w, "5")));
  ASSERT_NE(w.tree->DropTargetNode(), nullptr);
  QTest::keyClick(w.tree, Qt::Key_Escape);
  EXPECT_FALSE(w.tree->DragInProgress());
  EXPECT_EQ(w.tree->DropTargetNode(), nullptr);
  EXPECT_EQ(w.SelectedID(), QStringLiteral("3"));
  EXPECT_EQ(StoredParent(w, "3"), "1");
  EXPECT_FALSE(w.tree->MouseStateFlags() & msSwallowNextChar);  // consumed with the key's release
}

TEST(TreeDrag, HoldingNearTheBottomEdgeScrollsOneRowEvery200ms) {
  std::vector<Note> notes;
  for (int i = 10; i < 60; ++i) notes.push_back({std::to_string(i), "", "note " + std::to_string(i)});
  TreeWindow w(notes);
  w.Open();
  w.tree->SetTopItem(w.tree->topLevelItem(0));
  w.Click(w.tree->topLevelItem(0));
  Dragger drag(w);
  const int h = w.tree->viewport()->height();
  TTreeNode* first = w.tree->TopItem();
  QCursor::setPos(w.tree->viewport()->mapToGlobal(QPoint(30, h - 5)));
  drag.MoveTo(QPoint(30, h - 5));

  EXPECT_TRUE(w.tree->ScrollTimerRunning());
  EXPECT_EQ(w.tree->TopItem(), w.tree->itemBelow(first));  // the first step, at once
  w.platform.clock.Advance(199);
  EXPECT_EQ(w.tree->TopItem(), w.tree->itemBelow(first));
  w.platform.clock.Advance(1);
  EXPECT_EQ(w.tree->TopItem(), w.tree->itemBelow(w.tree->itemBelow(first)));
  // Outside the control the drag does not scroll.
  TTreeNode* now = w.tree->TopItem();
  QCursor::setPos(w.tree->viewport()->mapToGlobal(QPoint(30, h + 8)));
  w.platform.clock.Advance(400);
  EXPECT_EQ(w.tree->TopItem(), now);
  EXPECT_FALSE(w.tree->ScrollTimerRunning());
}

TEST(TreePointer, MouseMoveSelectionSkipsAHalfVisibleRow) {
  std::vector<Note> notes;
  for (int i = 10; i < 60; ++i) notes.push_back({std::to_string(i), "", "note " + std::to_string(i)});
  TreeWindow w(notes);
  w.Open(kMainWindowMouseMoveOptions);
  w.tree->SetTopItem(w.tree->topLevelItem(0));
  w.Click(w.tree->topLevelItem(0));
  const int rowHeight = w.tree->visualItemRect(w.tree->topLevelItem(0)).height();
  // Make the last row half visible.
  w.window.resize(400, 600 + rowHeight / 2);
  QApplication::processEvents();
  const int h = w.tree->viewport()->height();
  TTreeNode* lastRow = w.tree->itemAt(QPoint(30, h - 2));
  ASSERT_NE(lastRow, nullptr);
  const QRect r = w.tree->visualItemRect(lastRow);
  if (r.top() + r.height() <= h) GTEST_SKIP() << "the last row happens to fit exactly";
  QTest::mouseMove(w.tree->viewport(), QPoint(30, h - 2));
  EXPECT_NE(w.tree->currentItem(), lastRow);
  TTreeNode* fullRow = w.tree->itemAt(QPoint(30, r.top() - rowHeight / 2));
  QTest::mouseMove(w.tree->viewport(), QPoint(30, r.top() - rowHeight / 2));
  EXPECT_EQ(w.tree->currentItem(), fullRow);
  EXPECT_EQ(w.Current(), NodeID(fullRow));  // with synchronisation the record follows
}

TEST(TreePointer, AClickOnANodeWithChildrenRaisesMouseSelectOnceAfterTheDoubleClickTime) {
  TreeWindow w(Family());
  w.Open();
  int raised = 0;
  w.tree->OnMouseSelect = [&](TCustomTreeViewEx&) { ++raised; };
  w.Click(w.Node("1"));  // selects it
  QTest::mouseClick(w.tree->viewport(), Qt::LeftButton, {}, Dragger::OnLabel(w, "1"));
  EXPECT_EQ(raised, 0);
  EXPECT_TRUE(w.tree->SelectTimerRunning());
  w.platform.clock.Advance(500);
  EXPECT_EQ(raised, 1);
  EXPECT_FALSE(w.tree->SelectTimerRunning());
  // A double click raises nothing and toggles the node.
  const bool expanded = w.Node("1")->isExpanded();
  QTest::mouseClick(w.tree->viewport(), Qt::LeftButton, {}, Dragger::OnLabel(w, "1"));
  QTest::mouseDClick(w.tree->viewport(), Qt::LeftButton, {}, Dragger::OnLabel(w, "1"));
  w.platform.clock.Advance(1000);
  EXPECT_EQ(raised, 1);
  EXPECT_NE(w.Node("1")->isExpanded(), expanded);
}

TEST(TreePointer, WithMouseMoveSelectionOnlyTheReleaseRaisesMouseSelect) {
  TreeWindow w(Family());
  w.Open(kMainWindowMouseMoveOptions);
  int raised = 0;
  w.tree->OnMouseSelect = [&](TCustomTreeViewEx&) { ++raised; };
  w.Click(w.Node("5"));  // select the leaf first (its release raises the event once)
  raised = 0;
  const QPoint onLabel = Dragger::OnLabel(w, "5");
  QTest::mousePress(w.tree->viewport(), Qt::LeftButton, {}, onLabel);
  EXPECT_EQ(raised, 0);
  QTest::mouseRelease(w.tree->viewport(), Qt::LeftButton, {}, onLabel);
  EXPECT_EQ(raised, 1);
  const QPoint rightOfLabel(w.tree->viewport()->width() - 10, onLabel.y());
  ASSERT_EQ(w.tree->HitTest(rightOfLabel), haOnRight);
  QTest::mousePress(w.tree->viewport(), Qt::LeftButton, {}, rightOfLabel);
  QTest::mouseRelease(w.tree->viewport(), Qt::LeftButton, {}, rightOfLabel);
  EXPECT_EQ(raised, 2);
}

TEST(TreePointer, ARightClickRemembersTheNodeAndShowsThePopupOnceBelowIt) {
  TreeWindow w(Family());
  w.Open();
  QMenu menu;
  menu.addAction(QStringLiteral("Insert"));
  w.tree->SetPopupMenu(&menu);
  std::vector<QPoint> ups;
  w.tree->OnMouseUp = [&](TCustomTreeViewEx&, Qt::MouseButton b, QPoint p) {
    if (b == Qt::RightButton) ups.push_back(p);
  };
  const QPoint at = Dragger::OnLabel(w, "3");
  QTest::mouseClick(w.tree->viewport(), Qt::RightButton, {}, at);
  QContextMenuEvent context(QContextMenuEvent::Mouse, at, w.tree->viewport()->mapToGlobal(at));
  QApplication::sendEvent(w.tree->viewport(), &context);
  EXPECT_EQ(w.tree->RightClickNode(), w.Node("3"));
  ASSERT_EQ(ups.size(), 1u);
  EXPECT_EQ(ups[0], QPoint(at.x(), w.tree->visualItemRect(w.Node("3")).bottom()));
  EXPECT_TRUE(menu.isVisible());
  menu.hide();
  EXPECT_EQ(w.SelectedID(), w.Current());
}

TEST(TreePointer, TheDragImageFollowsDragImageShow) {
  TreeWindow w(Family());
  w.Open();
  w.Click(w.Node("3"));
  struct Case {
    TTVDragImageShow show;
    bool images;
    bool expectImage;
  };
  for (const Case& c : {Case{tvdisDefault, false, false}, Case{tvdisDefault, true, true}, Case{tvdisAlways, false, true},
                        Case{tvdisNever, true, false}}) {
    w.tree->SetDragImageShow(c.show);
    w.tree->SetHasImages(c.images);
    w.tree->PrepareDragImage();
    EXPECT_EQ(!w.tree->DragImage().isNull(), c.expectImage) << c.show << " " << c.images;
  }
}

}  // namespace
}  // namespace tindrel::testing
