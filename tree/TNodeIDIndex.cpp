#include "tree/TNodeIDIndex.h"

#include <algorithm>
#include <utility>

#include "tree/TTreeNodeModel.h"
#include "tree/dbTree.h"

namespace tindrel {

TNodeIDIndex::~TNodeIDIndex() {
  for (const Slot& slot : slots_)
    if (slot.node) slot.node->index_ = nullptr;
  for (TTreeIDNode* node : std::as_const(more_)) node->index_ = nullptr;
}

void TNodeIDIndex::Reserve(int count) {
  size_t wanted = 16;
  while (wanted < 2 * static_cast<size_t>(std::max(count, 0))) wanted *= 2;
  if (wanted > slots_.size()) Grow(wanted);
}

size_t TNodeIDIndex::SlotOf(const QString& id, size_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (!slot.node || (slot.hash == hash && slot.node->RecordID == id)) return at;
  }
}

void TNodeIDIndex::Grow(size_t size) {
  std::vector<Slot> old(size, Slot{});
  old.swap(slots_);
  for (const Slot& slot : old)
    if (slot.node) slots_[SlotOf(slot.node->RecordID, slot.hash)] = slot;
}

void TNodeIDIndex::EraseSlot(size_t at) {
  // Linear probing: the later slots of the run move back into the gap when their home is not
  // between the gap and themselves, so that every search still finds them.
  const size_t mask = slots_.size() - 1;
  slots_[at] = Slot{};
  --count_;
  for (size_t next = (at + 1) & mask; slots_[next].node; next = (next + 1) & mask) {
    const size_t home = slots_[next].hash & mask;
    const bool homeAfterGap = at <= next ? (home > at && home <= next) : (home > at || home <= next);
    if (homeAfterGap) continue;
    slots_[at] = slots_[next];
    slots_[next] = Slot{};
    at = next;
  }
}

void TNodeIDIndex::Register(TTreeIDNode* node) {
  if (!node || node->index_) return;
  node->index_ = this;
  if (2 * (count_ + 1) > slots_.size()) Grow(std::max<size_t>(16, 2 * slots_.size()));
  const size_t hash = qHash(node->RecordID);
  Slot& slot = slots_[SlotOf(node->RecordID, hash)];
  if (slot.node) {
    more_.insert(node->RecordID, node);
    return;
  }
  slot = Slot{hash, node};
  ++count_;
}

void TNodeIDIndex::Forget(TTreeIDNode* node) {
  if (slots_.empty()) return;
  const size_t at = SlotOf(node->RecordID, qHash(node->RecordID));
  if (!slots_[at].node) return;
  if (slots_[at].node != node) {
    more_.remove(node->RecordID, node);
    return;
  }
  const auto next = more_.find(node->RecordID);
  if (next == more_.end()) {
    EraseSlot(at);
  } else {
    slots_[at].node = next.value();
    more_.erase(next);
  }
}

TTreeNode* TNodeIDIndex::Find(const QString& id) const {
  if (slots_.empty()) return nullptr;
  TTreeIDNode* first = slots_[SlotOf(id, qHash(id))].node;
  if (!first) return nullptr;
  TTreeIDNode* only = first->model() == &model_ ? first : nullptr;  // else taken out, or never in
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
