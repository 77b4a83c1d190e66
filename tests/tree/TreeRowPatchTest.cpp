// The view's list of open rows after single changes of its nodes: after every insert, delete,
// move and sort, under open and closed parents, the rows are exactly those a fresh layout of the
// same tree gives, and only the rows that arrived were laid out (the others kept their place in
// the list instead of the whole list being laid out again).
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QScrollBar>
#include <QStringList>
#include <QTreeView>
#include <QtWidgets/private/qtreeview_p.h>

#include <functional>

#include "tests/support/platform/ScriptedPlatform.h"
#include "tests/tree/OpenRows.h"
#include "tree/TTreeNodeModel.h"
#include "tree/TreeVwEx.h"

namespace tindrel::testing {
namespace {

QTreeViewPrivate* Private(QTreeView& view) { return static_cast<QTreeViewPrivate*>(QObjectPrivate::get(&view)); }

// A row's height field is not used by a view of uniform row heights, and a full layout sets it
// to 0 for every row it lays out: a mark in it tells a row kept from one laid out anew.
constexpr int kKept = 7;

// The rows as the view will use them: a layout still due is run first.
QTreeViewPrivate* LaidOut(QTreeView& view) {
  QTreeViewPrivate* d = Private(view);
  if (d->delayedPendingLayout) view.doItemsLayout();
  return d;
}

void MarkEveryRow(QTreeView& view) {
  QTreeViewPrivate* d = LaidOut(view);
  for (QTreeViewItem& item : d->viewItems) item.height = kKept;
}

int RowsLaidOutAnew(QTreeView& view) {
  QTreeViewPrivate* d = LaidOut(view);
  int fresh = 0;
  for (const QTreeViewItem& item : d->viewItems) fresh += item.height != kKept;
  return fresh;
}

TTreeNode* Node(const QString& title, std::initializer_list<TTreeNode*> children = {}) {
  auto* node = new TTreeNodeEx;
  node->setText(0, title);
  for (TTreeNode* c : children) node->addChild(c);
  return node;
}

struct Tree {
  Tree() {
    view.resize(300, 200);  // fewer rows than the tree has open: the view scrolls
    view.show();
    // a (closed, with children), b (open: b1, b2 open with b21 b22, b3), c (a leaf), d (open,
    // with d1 closed over d11 which is open itself: d111 is not shown).
    view.addTopLevelItems({Node("a", {Node("a1"), Node("a2")}),
                           Node("b", {Node("b1"), Node("b2", {Node("b21"), Node("b22")}), Node("b3")}), Node("c"),
                           Node("d", {Node("d1", {Node("d11", {Node("d111")})}), Node("d2")})});
    view.expandAll();
    Find("a")->setExpanded(false);
    Find("d1")->setExpanded(false);
    QApplication::processEvents();
  }
  TTreeNode* Find(const QString& title) const {
    for (TTreeNodeIterator it(view.invisibleRootItem()); *it; ++it)
      if ((*it)->text(0) == title) return *it;
    return nullptr;
  }
  TTreeNode* Top() const { return view.invisibleRootItem(); }
  QStringList Rows() { return OpenRows(view); }

  ScriptedPlatform platform;
  TCustomTreeViewEx view;
};

// Lays the same tree out from scratch in a second view, with the same nodes open, and compares
// the two row by row: the list itself, and what the view answers about every row.
void ExpectTheRowsOfAFreshLayout(TCustomTreeViewEx& view, const std::string& step) {
  SCOPED_TRACE(step);
  QTreeView fresh;
  fresh.setModel(view.model());
  fresh.setUniformRowHeights(true);
  fresh.setHeaderHidden(true);
  fresh.setIndentation(view.indentation());
  fresh.setRootIsDecorated(view.rootIsDecorated());
  fresh.resize(view.size());
  fresh.show();
  for (TTreeNodeIterator it(view.invisibleRootItem()); *it; ++it) {
    const QModelIndex at = view.indexFromItem(*it);
    if (view.isExpanded(at)) fresh.expand(at);
  }
  fresh.doItemsLayout();
  QApplication::processEvents();

  const QList<QTreeViewItem>& got = LaidOut(view)->viewItems;
  const QList<QTreeViewItem>& want = Private(fresh)->viewItems;
  ASSERT_EQ(got.size(), want.size());
  for (qsizetype i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i) + " " + want[i].index.data().toString().toStdString());
    EXPECT_EQ(got[i].index, want[i].index);
    EXPECT_EQ(got[i].index.row(), want[i].index.row());
    EXPECT_EQ(got[i].parentItem, want[i].parentItem);
    EXPECT_EQ(got[i].expanded, want[i].expanded);
    EXPECT_EQ(got[i].hasChildren, want[i].hasChildren);
    EXPECT_EQ(got[i].hasMoreSiblings, want[i].hasMoreSiblings);
    EXPECT_EQ(got[i].total, want[i].total);
    EXPECT_EQ(got[i].level, want[i].level);
  }

  // What a person sees: the same rows at the same places, the same way down and up, the same
  // scroll range.
  view.verticalScrollBar()->setValue(0);
  fresh.verticalScrollBar()->setValue(0);
  EXPECT_EQ(view.verticalScrollBar()->maximum(), fresh.verticalScrollBar()->maximum());
  QModelIndex above;
  for (QModelIndex at = view.model()->index(0, 0), other = at; at.isValid() || other.isValid();
       above = at, at = view.indexBelow(at), other = fresh.indexBelow(other)) {
    ASSERT_EQ(at, other);
    EXPECT_EQ(view.indexAbove(at), above);
    EXPECT_EQ(view.visualRect(at), fresh.visualRect(at));
    EXPECT_EQ(view.isExpanded(at), fresh.isExpanded(at));
    EXPECT_EQ(view.indexAt(view.visualRect(at).center()), at);
  }
}

struct Step {
  const char* name;
  std::function<void(Tree&)> change;
  QStringList rows;  // the open rows after it
  int laidOut;       // rows laid out anew: the rows that arrived, and those under a node opened
  // Done ahead of the change, not counted: a changed title has the view measure its row again.
  std::function<void(Tree&)> before = nullptr;
};

TEST(TreeRowPatch, AfterEveryChangeTheRowsAreThoseOfAFreshLayoutAndOnlyTheNewRowsAreLaidOut) {
  Tree t;
  QAbstractItemModelTester tester(t.view.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  ASSERT_EQ(t.Rows(), (QStringList{"a", "b", ".b1", ".b2", "..b21", "..b22", ".b3", "c", "d", ".d1", ".d2"}));
  ExpectTheRowsOfAFreshLayout(t.view, "as built");

  const std::vector<Step> steps = {
      {"a top-level row arrives first", [](Tree& t) { t.Top()->insertChild(0, Node("0")); },
       {"0", "a", "b", ".b1", ".b2", "..b21", "..b22", ".b3", "c", "d", ".d1", ".d2"}, 1},
      {"a top-level row arrives last", [](Tree& t) { t.Top()->addChild(Node("e")); },
       {"0", "a", "b", ".b1", ".b2", "..b21", "..b22", ".b3", "c", "d", ".d1", ".d2", "e"}, 1},
      {"a first child arrives under an open parent", [](Tree& t) { t.Find("b")->insertChild(0, Node("b0")); },
       {"0", "a", "b", ".b0", ".b1", ".b2", "..b21", "..b22", ".b3", "c", "d", ".d1", ".d2", "e"}, 1},
      {"a middle child arrives after an open sibling", [](Tree& t) { t.Find("b")->insertChild(3, Node("b25")); },
       {"0", "a", "b", ".b0", ".b1", ".b2", "..b21", "..b22", ".b25", ".b3", "c", "d", ".d1", ".d2", "e"}, 1},
      {"a last child arrives", [](Tree& t) { t.Find("b2")->addChild(Node("b23")); },
       {"0", "a", "b", ".b0", ".b1", ".b2", "..b21", "..b22", "..b23", ".b25", ".b3", "c", "d", ".d1", ".d2", "e"}, 1},
      {"two rows arrive at once", [](Tree& t) { t.Find("d")->insertChildren(1, {Node("d15"), Node("d16")}); },
       {"0", "a", "b", ".b0", ".b1", ".b2", "..b21", "..b22", "..b23", ".b25", ".b3", "c", "d", ".d1", ".d15",
        ".d16", ".d2", "e"},
       2},
      {"a row arrives under a closed parent", [](Tree& t) { t.Find("a")->insertChild(1, Node("a15")); },
       {"0", "a", "b", ".b0", ".b1", ".b2", "..b21", "..b22", "..b23", ".b25", ".b3", "c", "d", ".d1", ".d15",
        ".d16", ".d2", "e"},
       0},
      {"a row arrives under an open node inside a closed one", [](Tree& t) { t.Find("d11")->addChild(Node("d112")); },
       {"0", "a", "b", ".b0", ".b1", ".b2", "..b21", "..b22", "..b23", ".b25", ".b3", "c", "d", ".d1", ".d15",
        ".d16", ".d2", "e"},
       0},
      {"a leaf gets its first child", [](Tree& t) { t.Find("c")->addChild(Node("c1")); },
       {"0", "a", "b", ".b0", ".b1", ".b2", "..b21", "..b22", "..b23", ".b25", ".b3", "c", "d", ".d1", ".d15",
        ".d16", ".d2", "e"},
       0},
      {"the first child leaves", [](Tree& t) { delete t.Find("b0"); },
       {"0", "a", "b", ".b1", ".b2", "..b21", "..b22", "..b23", ".b25", ".b3", "c", "d", ".d1", ".d15", ".d16",
        ".d2", "e"},
       0},
      {"an open child leaves with its subtree", [](Tree& t) { delete t.Find("b2"); },
       {"0", "a", "b", ".b1", ".b25", ".b3", "c", "d", ".d1", ".d15", ".d16", ".d2", "e"}, 0},
      {"the last child leaves", [](Tree& t) { delete t.Find("b3"); },
       {"0", "a", "b", ".b1", ".b25", "c", "d", ".d1", ".d15", ".d16", ".d2", "e"}, 0},
      {"the first and the last top-level rows leave", [](Tree& t) { delete t.Find("0"); delete t.Find("e"); },
       {"a", "b", ".b1", ".b25", "c", "d", ".d1", ".d15", ".d16", ".d2"}, 0},
      {"a row leaves a closed parent", [](Tree& t) { delete t.Find("a1"); },
       {"a", "b", ".b1", ".b25", "c", "d", ".d1", ".d15", ".d16", ".d2"}, 0},
      {"an open parent's only children leave one by one", [](Tree& t) { delete t.Find("b1"); delete t.Find("b25"); },
       {"a", "b", "c", "d", ".d1", ".d15", ".d16", ".d2"}, 0},
      {"the parent that lost its last child gets one and opens again", [](Tree& t) { t.Find("b")->addChild(Node("b9")); },
       {"a", "b", ".b9", "c", "d", ".d1", ".d15", ".d16", ".d2"}, 1},
      {"an open subtree moves under a closed node", [](Tree& t) {
         t.view.setCurrentItem(t.Find("d15"));
         ASSERT_TRUE(t.view.MoveNode(t.Find("d"), t.Find("c"), naAddChild));
       },
       {"a", "b", ".b9", "c", ".c1", ".d", "..d1", "..d15", "..d16", "..d2"}, 6},
      {"a title change sorts the siblings", [](Tree& t) { t.Find("d")->sortChildren(); },
       {"a", "b", ".b9", "c", ".c1", ".d", "..d15", "..d16", "..d2", "..d9"}, 0,
       [](Tree& t) { t.Find("d1")->setText(0, "d9"); }},
      {"the top level sorts", [](Tree& t) { t.Top()->sortChildren(); },
       {"b", ".b9", "c", ".c1", ".d", "..d15", "..d16", "..d2", "..d9", "z"}, 0,
       [](Tree& t) { t.Find("a")->setText(0, "z"); }},
      {"a sort under a closed parent", [](Tree& t) {
         t.Find("z")->insertChild(0, Node("zz"));
         t.Find("z")->sortChildren();
       },
       {"b", ".b9", "c", ".c1", ".d", "..d15", "..d16", "..d2", "..d9", "z"}, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.before) step.before(t);
    MarkEveryRow(t.view);
    step.change(t);
    QApplication::processEvents();  // a layout still due would run here, and the scroll bars settle
    EXPECT_EQ(RowsLaidOutAnew(t.view), step.laidOut);
    EXPECT_EQ(t.Rows(), step.rows);
    ExpectTheRowsOfAFreshLayout(t.view, step.name);
  }
  EXPECT_EQ(t.view.currentItem(), t.Find("d15"));
}

}  // namespace
}  // namespace tindrel::testing
