#include "tree/TNodeIDIndex.h"

#include <utility>

#include "tree/TTreeNodeModel.h"
#include "tree/dbTree.h"

namespace tindrel {

TNodeIDIndex::~TNodeIDIndex() {
  for (TTreeIDNode* node : std::as_const(nodes_)) node->index_ = nullptr;
  for (TTreeIDNode* node : std::as_const(more_)) node->index_ = nullptr;
}

void TNodeIDIndex::Register(TTreeIDNode* node) {
  if (!node || node->index_) return;
  node->index_ = this;
  TTreeIDNode*& slot = nodes_[node->RecordID];
  if (!slot) slot = node;
  else more_.insert(node->RecordID, node);
}

void TNodeIDIndex::Forget(TTreeIDNode* node) {
  const auto it = nodes_.find(node->RecordID);
  if (it == nodes_.end()) return;
  if (it.value() != node) {
    more_.remove(node->RecordID, node);
    return;
  }
  const auto next = more_.find(node->RecordID);
  if (next == more_.end()) {
    nodes_.erase(it);
  } else {
    it.value() = next.value();
    more_.erase(next);
  }
}

TTreeNode* TNodeIDIndex::Find(const QString& id) const {
  const auto it = nodes_.constFind(id);
  if (it == nodes_.constEnd()) return nullptr;
  TTreeIDNode* only = it.value()->model() == &model_ ? it.value() : nullptr;  // else taken out, or never in
  for (auto [more, end] = more_.equal_range(id); more != end; ++more) {
    if (more.value()->model() != &model_) continue;
    if (only) {
      for (TTreeNodeIterator walk(model_.Root()); *walk; ++walk)
        if (NodeID(*walk) == id) return *walk;
    }
    only = more.value();
  }
  return only;
}

}  // namespace tindrel
