// The tree views' own nodes and item model: every change to attached nodes reaches the view as
// a consistent row change (checked by Qt's model tester on every signal), deep chains are freed
// without recursion, sorting keeps the view's current node, and the depth-first walk.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QKeyEvent>
#include <QStringList>

#include <memory>

#include "tests/support/platform/ScriptedPlatform.h"
#include "tests/tree/OpenRows.h"
#include "tree/TTreeNodeModel.h"
#include "tree/TreeVwEx.h"

namespace tindrel::testing {
namespace {

// Counts the nodes alive, to show what a delete frees.
struct CountedNode : TTreeNode {
  explicit CountedNode(const QString& title) {
    setText(0, title);
    ++alive;
  }
  ~CountedNode() override { --alive; }
  static inline int alive = 0;
};

TTreeNode* Node(const QString& title, std::initializer_list<TTreeNode*> children = {}) {
  auto* node = new CountedNode(title);
  for (TTreeNode* c : children) node->addChild(c);
  return node;
}

struct View {
  View() {
    view.resize(300, 400);
    view.show();
    QApplication::processEvents();
  }
  QStringList Rows() { return OpenRows(view); }
  ScriptedPlatform platform;
  TCustomTreeViewEx view;
};

TEST(TreeNodes, EveryChangeToAttachedNodesReachesTheViewAsConsistentRows) {
  View w;
  QAbstractItemModelTester tester(w.view.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  TTreeNode* b = Node("b", {Node("b1"), Node("b2")});
  w.view.addTopLevelItems({Node("a"), b, Node("c")});
  w.view.expandAll();
  EXPECT_EQ(w.Rows(), (QStringList{"a", "b", ".b1", ".b2", "c"}));

  b->insertChild(1, Node("new"));
  EXPECT_EQ(w.Rows(), (QStringList{"a", "b", ".b1", ".new", ".b2", "c"}));
  EXPECT_EQ(b->indexOfChild(b->child(2)), 2);

  delete b->child(0);
  b->child(0)->setText(0, "renamed");
  EXPECT_EQ(w.Rows(), (QStringList{"a", "b", ".renamed", ".b2", "c"}));

  // A subtree taken out and put back elsewhere is one row leaving and one arriving.
  TTreeNode* moved = b->takeChild(1);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->parent(), nullptr);
  EXPECT_EQ(moved->model(), nullptr);
  w.view.topLevelItem(0)->addChild(moved);
  w.view.topLevelItem(0)->setExpanded(true);
  EXPECT_EQ(w.Rows(), (QStringList{"a", ".b2", "b", ".renamed", "c"}));
  EXPECT_EQ(moved->parent(), w.view.topLevelItem(0));

  // A node sits in one place only: adding it a second time changes nothing.
  b->addChild(moved);
  EXPECT_EQ(moved->parent(), w.view.topLevelItem(0));

  w.view.clear();
  EXPECT_TRUE(w.Rows().isEmpty());
  EXPECT_EQ(CountedNode::alive, 0);
}

TEST(TreeNodes, AnOpenNodeThatLostItsLastChildShowsTheNextOneAtOnce) {
  View w;
  TTreeNode* parent = Node("p", {Node("only")});
  w.view.addTopLevelItems({parent, Node("q")});
  w.view.expandAll();
  EXPECT_EQ(w.Rows(), (QStringList{"p", ".only", "q"}));
  delete parent->child(0);
  EXPECT_EQ(w.Rows(), (QStringList{"p", "q"}));
  parent->addChild(Node("next"));
  EXPECT_TRUE(parent->isExpanded());
  EXPECT_EQ(w.Rows(), (QStringList{"p", ".next", "q"}));
  EXPECT_FALSE(w.view.visualItemRect(parent->child(0)).isEmpty());
}

TEST(TreeNodes, TheViewKeepsWorkingAfterItsCurrentOpenNodeIsFreed) {
  View w;
  TTreeNode* doomed = Node("b", {Node("b1", {Node("b11")})});
  w.view.addTopLevelItems({Node("a"), doomed, Node("c")});
  w.view.expandAll();
  w.view.setCurrentItem(doomed->child(0));
  QApplication::processEvents();
  delete doomed;
  // Everything the view does next must use the rows as they are now, not the freed ones.
  EXPECT_EQ(w.view.currentItem(), nullptr);
  EXPECT_EQ(w.view.itemAt(w.view.visualItemRect(w.view.topLevelItem(1)).center()), w.view.topLevelItem(1));
  w.view.setCurrentItem(w.view.topLevelItem(0));
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(&w.view, &down);
  QApplication::processEvents();
  EXPECT_EQ(w.view.currentItem()->text(0), "c");
  EXPECT_EQ(w.Rows(), (QStringList{"a", "c"}));
}

TEST(TreeNodes, AMovedSubtreeKeepsItsOpenNodesAndTheCurrentNodeInsideIt) {
  View w;
  TTreeNode* moved = Node("m", {Node("m1", {Node("m11")})});
  TTreeNode* target = Node("t");
  w.view.addTopLevelItems({moved, target});
  w.view.expandAll();
  TTreeNode* inside = moved->child(0)->child(0);
  w.view.setCurrentItem(inside);
  ASSERT_TRUE(w.view.MoveNode(moved, target, naAddChild));
  EXPECT_EQ(moved->parent(), target);
  EXPECT_EQ(w.view.currentItem(), inside);
  EXPECT_EQ(w.Rows(), (QStringList{"t", ".m", "..m1", "...m11"}));
}

TEST(TreeNodes, DeletingANodeFreesItsSubtreeAndItsRowEvenForVeryDeepChains) {
  View w;
  TTreeNode* top = Node("top");
  TTreeNode* tip = top;
  for (int i = 0; i < 100000; ++i) {
    TTreeNode* next = Node(QString::number(i));
    tip->addChild(next);
    tip = next;
  }
  w.view.addTopLevelItems({Node("first"), top});
  EXPECT_EQ(CountedNode::alive, 100002);
  delete top;  // attached: the view loses the row, the chain is freed without recursion
  EXPECT_EQ(CountedNode::alive, 1);
  EXPECT_EQ(w.Rows(), QStringList{"first"});

  // A detached chain frees the same way.
  TTreeNode* loose = Node("loose");
  for (int i = 0; i < 100000; ++i) loose->addChild(Node(QString::number(i)));
  delete loose;
  EXPECT_EQ(CountedNode::alive, 1);
}

TEST(TreeNodes, SortingKeepsTheCurrentNodeAndSkipsSignalsWhenNothingMoves) {
  View w;
  TTreeNode* parent = Node("p", {Node("c"), Node("a"), Node("b")});
  w.view.addTopLevelItem(parent);
  w.view.expandAll();
  TTreeNode* c = parent->child(0);
  w.view.setCurrentItem(c);

  int layouts = 0;
  QObject::connect(w.view.model(), &QAbstractItemModel::layoutChanged, [&] { ++layouts; });
  parent->sortChildren();
  EXPECT_EQ(w.Rows(), (QStringList{"p", ".a", ".b", ".c"}));
  EXPECT_EQ(w.view.currentItem(), c);
  EXPECT_EQ(w.view.currentIndex().row(), 2);
  parent->sortChildren();
  EXPECT_EQ(layouts, 1);
}

TEST(TreeNodes, TheWalkVisitsParentsBeforeChildrenClosedNodesIncluded) {
  View w;
  w.view.addTopLevelItems({Node("a", {Node("a1", {Node("a11")}), Node("a2")}), Node("b")});
  w.view.collapseAll();
  QStringList seen;
  for (TTreeNodeIterator it(w.view.invisibleRootItem()); *it; ++it) seen << (*it)->text(0);
  EXPECT_EQ(seen, (QStringList{"a", "a1", "a11", "a2", "b"}));

  // Started at a node, the walk stays inside its subtree.
  seen.clear();
  for (TTreeNodeIterator it(w.view.topLevelItem(0)->child(0)); *it; ++it) seen << (*it)->text(0);
  EXPECT_EQ(seen, QStringList{"a11"});
}

}  // namespace
}  // namespace tindrel::testing
