#pragma once
// TNodeIDIndex: finds the node of a record ID without walking the tree. The view registers
// every record node it makes; a node leaves the index when it is freed (its destructor says
// so), so the index never holds a freed node, and a node taken out and put back elsewhere (a
// move) costs it nothing. A look-up answers only with nodes in the given model; when several
// such nodes carry the same ID, the first of them in depth-first order is the answer, as a walk
// would give.

#include <QHash>
#include <QString>

#include <cstddef>
#include <vector>

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
  void Reserve(int count);
  TTreeNode* Find(const QString& id) const;

 private:
  friend class TTreeIDNode;
  void Forget(TTreeIDNode* node);

  // One node per ID, in an open-addressing table keyed by the node's own RecordID: a whole tree
  // registers without one allocation or one copy of an ID per node. A slot with no node is free.
  struct Slot {
    size_t hash = 0;
    TTreeIDNode* node = nullptr;
  };
  size_t SlotOf(const QString& id, size_t hash) const;  // the slot holding `id`, or the free one where it would go
  void Grow(size_t size);
  void EraseSlot(size_t at);

  TTreeNodeModel& model_;
  std::vector<Slot> slots_;  // a power of two in size, at most half full
  size_t count_ = 0;
  // The further nodes of an ID (a record copied, twins).
  QMultiHash<QString, TTreeIDNode*> more_;
};

}  // namespace tindrel
