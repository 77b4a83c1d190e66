#include "exchange/Outline.h"

namespace tindrel::exchange {

std::vector<int> DepthsOf(const Outline& outline) {
  std::vector<int> depths(outline.notes.size(), 1);
  for (size_t i = 0; i < outline.notes.size(); ++i) {
    const int parent = outline.notes[i].parent;
    if (parent >= 0) depths[i] = depths[static_cast<size_t>(parent)] + 1;
  }
  return depths;
}

std::vector<std::vector<int>> ChildrenOf(const Outline& outline) {
  std::vector<std::vector<int>> children(outline.notes.size() + 1);
  for (size_t i = 0; i < outline.notes.size(); ++i) {
    const int parent = outline.notes[i].parent;
    children[parent >= 0 ? static_cast<size_t>(parent) : outline.notes.size()].push_back(static_cast<int>(i));
  }
  return children;
}

}  // namespace tindrel::exchange
