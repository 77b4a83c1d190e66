#pragma once
// TNodeIDIndex: finds the node of a record ID without walking the tree. The view registers
// every record node it makes; a node leaves the index when it is freed (its destructor says
// so), so the index never holds a freed node, and a node taken out and put back elsewhere (a
// move) costs it nothing. A look-up answers only with nodes in the given model; when several
// such nodes carry the same ID, the first of them in depth-first order is the answer, as a walk
// would give.

#include <QHash>
#include <QString>

namespace tindrel {

class TTreeIDNode;
class TTreeNode;
class TTreeNodeModel;

class TNodeIDIndex {
 public:
  explicit TNodeIDIndex(TTreeNodeModel& model) : model_(model) {}
  ~TNodeIDIndex();
  TNodeIDIndex(const TNodeIDIndex&) = delete;
  TNodeIDIndex& operator=(const TNodeIDIndex&) = delete;

  // The node's RecordID must be set; a node registers once.
  void Register(TTreeIDNode* node);
  // Room for `count` nodes, so that registering a whole tree does not grow the index in steps.
  void Reserve(int count) { nodes_.reserve(count); }
  TTreeNode* Find(const QString& id) const;

 private:
  friend class TTreeIDNode;
  void Forget(TTreeIDNode* node);

  TTreeNodeModel& model_;
  // One node per ID here; the further nodes of an ID (a record copied, twins) in `more_`.
  QHash<QString, TTreeIDNode*> nodes_;
  QMultiHash<QString, TTreeIDNode*> more_;
};

}  // namespace tindrel
