#pragma once
// TreeRowPatch: keeps a QTreeView's list of laid-out rows right across a single row change of
// its model, so that the change costs the view work for the rows that changed and not for every
// open row.
//
// QTreeView keeps its open rows as one flat list and, after a row is inserted under an open
// parent or after any layout change, throws the list away and lays out every open row again:
// with every note of a large tree open that is the most part of an insert, a move or a delete.
// The list is private to Qt, so the patch works through Qt's private view header, which belongs
// to the exact Qt version the program is built with; it checks that version at run time.
//
// The model calls BeforeChange ahead of telling the view of a change and one After* once it has
// told it. When the view's rows are laid out and nothing else is due, BeforeChange makes the
// view take its rows for already due to be laid out, so that it schedules nothing while it
// hears of the change; the After* call then patches the list. Whenever the patch cannot decide
// every row (several changes inside one another, a node opened meanwhile, hidden or spanning
// rows, the list not as the patch expects it) the view lays out all its rows, as it always did.

#include <QModelIndex>

#include <vector>

class QTreeView;

namespace tindrel {

// How many nodes with children the view holds open, read from its own set of open rows: -1 when
// that set cannot be read (another Qt at run time).
qsizetype OpenParentCount(QTreeView* view);

class TreeRowPatch {
 public:
  explicit TreeRowPatch(QTreeView* view) : view_(view) {}

  void BeforeChange();
  // Rows [first, last] of `parent` were inserted (the rows after them moved down).
  void AfterInsert(const QModelIndex& parent, int first, int last);
  // The child `taken` left `parent` from `row` (the rows after it moved up).
  void AfterTake(const QModelIndex& parent, int row, const void* taken);
  // The children of `parent` were put in a new order; `before` is the children in the old order.
  void AfterSort(const QModelIndex& parent, const std::vector<const void*>& before);

 private:
  // True when the change that ends is to be patched.
  bool EndChange();
  void Finish(bool patched);
  bool PatchInsert(const QModelIndex& parent, int first, int last);
  bool PatchTake(const QModelIndex& parent, int row, const void* taken);
  bool PatchSort(const QModelIndex& parent, const std::vector<const void*>& before);

  QTreeView* view_;
  int depth_ = 0;        // changes begun and not yet ended
  bool nested_ = false;  // a change began inside the outermost one
  bool armed_ = false;   // the outermost change found the view's rows laid out and patchable
  qsizetype openBefore_ = 0;
};

}  // namespace tindrel
