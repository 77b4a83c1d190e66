#include "tree/TTreeNodeModel.h"

#include <QTreeView>

#include <utility>
#include <vector>

namespace tindrel {

TTreeNodeModel::TTreeNodeModel(QTreeView* view)
    : QAbstractItemModel(view), view_(view), rows_(view), root_(std::make_unique<TTreeNode>()) {
  root_->model_ = this;
}

TTreeNodeModel::~TTreeNodeModel() {
  root_->FreeChildren();  // nobody is told: the view goes with the model
}

QModelIndex TTreeNodeModel::IndexOf(const TTreeNode* node) const {
  if (!node || node == root_.get() || node->model_ != this) return {};
  return createIndex(node->row_, 0, const_cast<TTreeNode*>(node));
}

TTreeNode* TTreeNodeModel::NodeOf(const QModelIndex& index) {
  return index.isValid() ? static_cast<TTreeNode*>(index.internalPointer()) : nullptr;
}

void TTreeNodeModel::Clear() {
  beginResetModel();
  root_->FreeChildren();
  endResetModel();
}

QModelIndex TTreeNodeModel::index(int row, int column, const QModelIndex& parent) const {
  const TTreeNode* owner = parent.isValid() ? NodeOf(parent) : root_.get();
  if (column != 0 || !owner) return {};
  TTreeNode* node = owner->child(row);
  return node ? createIndex(row, 0, node) : QModelIndex();
}

QModelIndex TTreeNodeModel::parent(const QModelIndex& child) const {
  const TTreeNode* node = NodeOf(child);
  if (!node) return {};
  TTreeNode* up = node->parent_;
  if (!up || up == root_.get()) return {};
  return createIndex(up->row_, 0, up);
}

int TTreeNodeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  const TTreeNode* owner = parent.isValid() ? NodeOf(parent) : root_.get();
  return owner ? owner->childCount() : 0;
}

int TTreeNodeModel::columnCount(const QModelIndex&) const { return 1; }

bool TTreeNodeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant TTreeNodeModel::data(const QModelIndex& index, int role) const {
  const TTreeNode* node = NodeOf(index);
  return node ? node->data(0, role) : QVariant();
}

bool TTreeNodeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TTreeNode* node = NodeOf(index);
  if (!node) return false;
  node->setData(0, role, value);
  return true;
}

Qt::ItemFlags TTreeNodeModel::flags(const QModelIndex& index) const {
  const TTreeNode* node = NodeOf(index);
  if (!node) return Qt::NoItemFlags;
  // Telling the view which rows are leaves spares it a look-up per leaf in every layout pass.
  return node->childCount() == 0 ? node->flags_ | Qt::ItemNeverHasChildren : node->flags_;
}

void TTreeNodeModel::BeginInsert(TTreeNode* parent, int first, int last) {
  rows_.BeforeChange();
  if (first < parent->childCount()) emit layoutAboutToBeChanged({QPersistentModelIndex(IndexOf(parent))});
  else beginInsertRows(IndexOf(parent), first, last);
}

void TTreeNodeModel::EndInsert(TTreeNode* parent, int first, int last) {
  const QModelIndex at = IndexOf(parent);
  if (last + 1 < parent->childCount()) {  // told as a layout change: rows came before others
    // The later siblings are further down now.
    const int count = last - first + 1;
    for (int i = last + 1; i < parent->childCount(); ++i) {
      TTreeNode* sibling = parent->child(i);
      changePersistentIndex(createIndex(i - count, 0, sibling), createIndex(i, 0, sibling));
    }
    emit layoutChanged({QPersistentModelIndex(at)});
  } else {
    endInsertRows();
  }
  rows_.AfterInsert(at, first, last);
}

void TTreeNodeModel::BeginTake(TTreeNode* parent) {
  rows_.BeforeChange();
  emit layoutAboutToBeChanged({QPersistentModelIndex(IndexOf(parent))});
}

void TTreeNodeModel::EndTake(TTreeNode* parent, int row, TTreeNode* taken) {
  // The later siblings are one row up now.
  for (int i = row; i < parent->childCount(); ++i) {
    TTreeNode* sibling = parent->child(i);
    changePersistentIndex(createIndex(i + 1, 0, sibling), createIndex(i, 0, sibling));
  }
  // Nothing may point into the subtree that left: the taken node still has its old row here.
  std::vector<std::pair<TTreeNode*, int>> pending{{taken, row}};
  while (!pending.empty()) {
    auto [node, at] = pending.back();
    pending.pop_back();
    changePersistentIndex(createIndex(at, 0, node), QModelIndex());
    for (int i = 0; i < node->childCount(); ++i) pending.emplace_back(node->child(i), i);
  }
  const QModelIndex at = IndexOf(parent);
  emit layoutChanged({QPersistentModelIndex(at)});
  rows_.AfterTake(at, row, taken);
}

void TTreeNodeModel::NodeChanged(TTreeNode* node) {
  const QModelIndex at = IndexOf(node);
  if (at.isValid()) emit dataChanged(at, at);
}

void TTreeNodeModel::BeginSort(TTreeNode* parent) {
  rows_.BeforeChange();
  emit layoutAboutToBeChanged({QPersistentModelIndex(IndexOf(parent))}, QAbstractItemModel::VerticalSortHint);
}

void TTreeNodeModel::EndSort(TTreeNode* parent, const std::vector<TTreeNode*>& before) {
  for (size_t old = 0; old < before.size(); ++old) {
    TTreeNode* node = before[old];
    if (node->row_ != static_cast<int>(old))
      changePersistentIndex(createIndex(static_cast<int>(old), 0, node), createIndex(node->row_, 0, node));
  }
  const QModelIndex at = IndexOf(parent);
  emit layoutChanged({QPersistentModelIndex(at)}, QAbstractItemModel::VerticalSortHint);
  rows_.AfterSort(at, std::vector<const void*>(before.begin(), before.end()));
}

}  // namespace tindrel
