#include "tree/TNodeIDIndex.h"

#include <utility>

#include "tree/TTreeNodeModel.h"
#include "tree/dbTree.h"

namespace tindrel {

TNodeIDIndex::~TNodeIDIndex() {
  for (TTreeIDNode* node : std::as_const(nodes_)) node->index_ = nullptr;
}

void TNodeIDIndex::Register(TTreeIDNode* node) {
  if (!node || node->index_) return;
  node->index_ = this;
  nodes_.insert(node->RecordID, node);
}

void TNodeIDIndex::Forget(TTreeIDNode* node) { nodes_.remove(node->RecordID, node); }

TTreeNode* TNodeIDIndex::Find(const QString& id) const {
  TTreeNode* only = nullptr;
  for (auto [it, end] = nodes_.equal_range(id); it != end; ++it) {
    if (it.value()->model() != &model_) continue;  // taken out of the tree, or never in it
    if (only) {
      for (TTreeNodeIterator walk(model_.Root()); *walk; ++walk)
        if (NodeID(*walk) == id) return *walk;
    }
    only = it.value();
  }
  return only;
}

}  // namespace tindrel
