#include "tree/TreeRowPatch.h"

#include <QAccessible>
#include <QTreeView>
#include <QtWidgets/private/qtreeview_p.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace tindrel {

namespace {

QTreeViewPrivate* Private(QTreeView* view) { return static_cast<QTreeViewPrivate*>(QObjectPrivate::get(view)); }

// The private view layout is that of the Qt the program was built with; any other Qt at run time
// gets the plain full layouts.
bool BuiltAgainstThisQt() {
  static const bool same = std::strcmp(qVersion(), QT_VERSION_STR) == 0;
  return same;
}

// Finds the view row `p` of `parent` (-1 for the top level). False when the view shows none of
// its children: the parent is closed (only whether it shows an open button can change) or not
// shown itself; then nothing else of the view's rows changes.
bool ChildrenShown(QTreeViewPrivate* d, const QModelIndex& parent, int& p) {
  p = -1;
  if (!parent.isValid()) return true;
  p = d->viewIndex(parent);
  if (p < 0) return false;
  QTreeViewItem& item = d->viewItems[p];
  if (item.expanded) return true;
  item.hasChildren = d->hasVisibleChildren(parent);
  return false;
}

// The first view row of each of the `count` child blocks of view row `p` (-1: the top level): a
// child's block is its row and the open rows under it. False when the rows are not exactly that.
bool ChildBlocks(const QTreeViewPrivate* d, int p, int count, std::vector<int>& starts) {
  const QList<QTreeViewItem>& items = d->viewItems;
  const qsizetype end = p < 0 ? items.size() : p + 1 + static_cast<qsizetype>(items.at(p).total);
  if (end > items.size()) return false;
  starts.clear();
  starts.reserve(static_cast<size_t>(count));
  qsizetype at = p + 1;
  for (int k = 0; k < count; ++k) {
    if (at >= end || items.at(at).parentItem != p) return false;
    starts.push_back(static_cast<int>(at));
    at += 1 + static_cast<qsizetype>(items.at(at).total);
  }
  return at == end;
}

int BlockEnd(const QList<QTreeViewItem>& items, int start) { return start + 1 + static_cast<int>(items.at(start).total); }

void AddToOpenCounts(QList<QTreeViewItem>& items, int from, int delta) {
  for (int a = from; a >= 0; a = items[a].parentItem) items[a].total = static_cast<uint>(static_cast<int>(items[a].total) + delta);
}

// What the view's own full layout does after laying out its rows.
void Settle(QTreeView* view, QTreeViewPrivate* d) {
  if (d->lastViewedItem >= d->viewItems.size()) d->lastViewedItem = 0;
  d->hoverBranch = -1;
  QMetaObject::invokeMethod(view, "updateGeometries", Qt::DirectConnection);  // scroll range
  view->viewport()->update();
#if QT_CONFIG(accessibility)
  // The accessible tree counts its rows from the view's list, as after a full layout.
  if (QAccessible::isActive()) {
    QAccessibleTableModelChangeEvent event(view, QAccessibleTableModelChangeEvent::ModelReset);
    QAccessible::updateAccessibility(&event);
  }
#endif
}

}  // namespace

qsizetype OpenParentCount(QTreeView* view) {
  if (!BuiltAgainstThisQt()) return -1;
  qsizetype count = 0;
  for (const QPersistentModelIndex& open : std::as_const(Private(view)->expandedIndexes))
    if (open.isValid() && open.model()->hasChildren(open)) ++count;
  return count;
}

void TreeRowPatch::BeforeChange() {
  if (depth_++ > 0) {
    nested_ = true;
    return;
  }
  nested_ = false;
  armed_ = false;
  if (!view_ || !BuiltAgainstThisQt()) return;
  QTreeViewPrivate* d = Private(view_);
  armed_ = d->model == view_->model() && !d->delayedPendingLayout && !d->viewItems.isEmpty() &&
           !view_->rootIndex().isValid() && d->hiddenIndexes.isEmpty() && d->spanningIndexes.isEmpty() &&
           !d->animationsEnabled && d->model->columnCount() == 1;
  if (!armed_) return;
  openBefore_ = d->expandedIndexes.size();
  // The view takes its rows for already due to be laid out again, so it schedules nothing.
  d->delayedPendingLayout = true;
}

bool TreeRowPatch::EndChange() {
  if (--depth_ > 0 || !armed_) return false;
  armed_ = false;
  QTreeViewPrivate* d = Private(view_);
  if (!d->delayedPendingLayout) return false;  // something laid the rows out meanwhile: they are right
  d->delayedPendingLayout = false;
  // Another change inside this one, or a node opened or a row hidden while it was told: the
  // patch would not cover those, the full layout does.
  if (nested_ || d->expandedIndexes.size() != openBefore_ || !d->hiddenIndexes.isEmpty() ||
      !d->spanningIndexes.isEmpty()) {
    view_->doItemsLayout();
    return false;
  }
  return true;
}

void TreeRowPatch::Finish(bool patched) {
  QTreeViewPrivate* d = Private(view_);
  if (patched) Settle(view_, d);
  else view_->doItemsLayout();  // the rows were not as expected: lay them all out
}

void TreeRowPatch::AfterInsert(const QModelIndex& parent, int first, int last) {
  if (EndChange()) Finish(PatchInsert(parent, first, last));
}

void TreeRowPatch::AfterTake(const QModelIndex& parent, int row, const void* taken) {
  if (EndChange()) Finish(PatchTake(parent, row, taken));
}

void TreeRowPatch::AfterSort(const QModelIndex& parent, const std::vector<const void*>& before) {
  if (EndChange()) Finish(PatchSort(parent, before));
}

bool TreeRowPatch::PatchInsert(const QModelIndex& parent, int first, int last) {
  QTreeViewPrivate* d = Private(view_);
  const QAbstractItemModel* model = d->model;
  QList<QTreeViewItem>& items = d->viewItems;
  const int count = last - first + 1;
  const int rows = model->rowCount(parent);
  if (count <= 0 || first < 0 || last >= rows) return false;
  int p = -1;
  if (!ChildrenShown(d, parent, p)) return true;
  const int oldRows = rows - count;
  std::vector<int> starts;
  if (!ChildBlocks(d, p, oldRows, starts)) return false;
  for (int k = 0; k < oldRows; ++k) {
    const int now = k < first ? k : k + count;
    if (items.at(starts[k]).index.internalPointer() != model->index(now, 0, parent).internalPointer()) return false;
  }
  std::vector<QModelIndex> fresh;
  for (int i = first; i <= last; ++i) {
    fresh.push_back(model->index(i, 0, parent));
    // An open new row would need its subtree laid out: the full layout does that.
    if (!fresh.back().isValid() || d->isIndexExpanded(fresh.back())) return false;
  }

  const int at = first < oldRows ? starts[first] : (p < 0 ? static_cast<int>(items.size()) : BlockEnd(items, p));
  for (int k = first; k < oldRows; ++k) items[starts[k]].index = model->index(k + count, 0, parent);
  if (first > 0) items[starts[first - 1]].hasMoreSiblings = true;
  d->insertViewItems(at, count, QTreeViewItem());
  const uint level = p < 0 ? 0u : items.at(p).level + 1u;
  for (int i = 0; i < count; ++i) {
    QTreeViewItem& item = items[at + i];
    item.index = fresh[static_cast<size_t>(i)];
    item.parentItem = p;
    item.level = level;
    item.hasChildren = d->hasVisibleChildren(item.index);
    item.hasMoreSiblings = first + i < rows - 1;
  }
  AddToOpenCounts(items, p, count);
  if (p >= 0) items[p].hasChildren = true;
  return true;
}

bool TreeRowPatch::PatchTake(const QModelIndex& parent, int row, const void* taken) {
  QTreeViewPrivate* d = Private(view_);
  const QAbstractItemModel* model = d->model;
  QList<QTreeViewItem>& items = d->viewItems;
  const int rows = model->rowCount(parent);
  if (row < 0 || row > rows) return false;
  int p = -1;
  if (!ChildrenShown(d, parent, p)) return true;
  const int oldRows = rows + 1;
  std::vector<int> starts;
  if (!ChildBlocks(d, p, oldRows, starts)) return false;
  for (int k = 0; k < oldRows; ++k) {
    const void* expected = k == row ? taken : model->index(k < row ? k : k - 1, 0, parent).internalPointer();
    if (items.at(starts[k]).index.internalPointer() != expected) return false;
  }

  const int at = starts[row];
  const int length = BlockEnd(items, at) - at;
  for (int k = row + 1; k < oldRows; ++k) items[starts[k]].index = model->index(k - 1, 0, parent);
  if (row == rows && row > 0) items[starts[row - 1]].hasMoreSiblings = false;
  d->removeViewItems(at, length);
  AddToOpenCounts(items, p, -length);
  if (p >= 0 && rows == 0) {  // a node without children is laid out closed
    items[p].expanded = false;
    items[p].hasChildren = false;
  }
  return true;
}

bool TreeRowPatch::PatchSort(const QModelIndex& parent, const std::vector<const void*>& before) {
  QTreeViewPrivate* d = Private(view_);
  const QAbstractItemModel* model = d->model;
  QList<QTreeViewItem>& items = d->viewItems;
  const int rows = model->rowCount(parent);
  if (rows != static_cast<int>(before.size())) return false;
  int p = -1;
  if (!ChildrenShown(d, parent, p)) return true;
  std::vector<int> starts;
  if (!ChildBlocks(d, p, rows, starts)) return false;
  for (int k = 0; k < rows; ++k)
    if (items.at(starts[k]).index.internalPointer() != before[static_cast<size_t>(k)]) return false;
  // The old row of the child now at each row, and the rows between the first and the last that moved.
  std::unordered_map<const void*, int> oldRowOfNode;
  oldRowOfNode.reserve(before.size());
  for (int k = 0; k < rows; ++k) oldRowOfNode.emplace(before[static_cast<size_t>(k)], k);
  std::vector<int> oldRowOf(static_cast<size_t>(rows), -1);
  for (int j = 0; j < rows; ++j) {
    const auto found = oldRowOfNode.find(model->index(j, 0, parent).internalPointer());
    if (found == oldRowOfNode.end()) return false;
    oldRowOf[static_cast<size_t>(j)] = found->second;
  }
  int lo = 0;
  while (lo < rows && oldRowOf[static_cast<size_t>(lo)] == lo) ++lo;
  if (lo == rows) return true;
  int hi = rows - 1;
  while (oldRowOf[static_cast<size_t>(hi)] == hi) --hi;

  // The blocks of rows lo..hi are the same blocks in a new order: copied out in the new order,
  // each one's inner parent links moved with it, and copied back over the same span.
  const int spanStart = starts[static_cast<size_t>(lo)];
  std::vector<QTreeViewItem> span;
  span.reserve(static_cast<size_t>(BlockEnd(items, starts[static_cast<size_t>(hi)]) - spanStart));
  for (int j = lo; j <= hi; ++j) {
    const int from = starts[static_cast<size_t>(oldRowOf[static_cast<size_t>(j)])];
    const int to = spanStart + static_cast<int>(span.size());
    const int end = BlockEnd(items, from);
    span.push_back(items.at(from));
    span.back().index = model->index(j, 0, parent);
    span.back().hasMoreSiblings = j < rows - 1;
    for (int t = from + 1; t < end; ++t) {
      span.push_back(items.at(t));
      span.back().parentItem += to - from;
    }
  }
  std::copy(span.begin(), span.end(), items.begin() + spanStart);
  return true;
}

}  // namespace tindrel
