#pragma once
// TTreeNodeModel: the item model of one tree view over its TTreeNode objects. An index carries
// its node; parent and row come from the node itself, so every call the view makes while laying
// out or while keeping its persistent indexes up to date is a few pointer reads. (A full layout
// of the view therefore costs one pass over its open rows, not one search per row.)
//
// A row leaving is told as a layout change, with the persistent indexes of the row's subtree
// made invalid and those of its later siblings moved up one, instead of as a row removal: Qt
// answers a row removal by walking every persistent index up to the root (the view holds one
// per open node), which at 100,000 open notes costs more than the rest of a delete together.
// A row arriving before the last one is told the same way, its later siblings' persistent
// indexes moved down by hand: Qt's row insert looks at every persistent index for the rows that
// move. A row arriving at the end is a plain row insert (Qt looks at none then).
//
// Around each of these changes TreeRowPatch patches the view's list of open rows in place of
// the full layout the view would otherwise run (see there).

#include <QAbstractItemModel>

#include "tree/TTreeNode.h"
#include "tree/TreeRowPatch.h"

class QTreeView;

namespace tindrel {

class TTreeNodeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  explicit TTreeNodeModel(QTreeView* view);
  ~TTreeNodeModel() override;

  // The invisible root: its children are the top-level nodes.
  TTreeNode* Root() const { return root_.get(); }
  QTreeView* View() const { return view_; }
  QModelIndex IndexOf(const TTreeNode* node) const;
  static TTreeNode* NodeOf(const QModelIndex& index);
  // Frees every node at once (the view hears of one reset).
  void Clear();

  QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  friend class TTreeNode;

  // Called by the nodes around their own changes.
  void BeginInsert(TTreeNode* parent, int first, int last);
  void EndInsert(TTreeNode* parent, int first, int last);
  // A child leaves its parent (to be freed, or to be attached elsewhere).
  void BeginTake(TTreeNode* parent);
  void EndTake(TTreeNode* parent, int row, TTreeNode* taken);
  void NodeChanged(TTreeNode* node);
  void BeginSort(TTreeNode* parent);
  // `before` is the children in their old order.
  void EndSort(TTreeNode* parent, const std::vector<TTreeNode*>& before);

  QTreeView* view_;
  TreeRowPatch rows_;
  std::unique_ptr<TTreeNode> root_;
};

}  // namespace tindrel
