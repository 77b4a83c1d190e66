#pragma once
// The labels of a tree view as lines a test compares: depth first, children indented by two
// blanks each level.

#include <QStringList>

#include <functional>

#include "tree/dbTree.h"

namespace tindrel::testing {

inline QStringList TreeLines(const TCustomTreeViewEx& tree) {
  QStringList lines;
  std::function<void(TTreeNode*, int)> walk = [&](TTreeNode* node, int depth) {
    lines << QString(depth * 2, QLatin1Char(' ')) + node->text(0);
    for (int i = 0; i < node->childCount(); ++i) walk(node->child(i), depth + 1);
  };
  for (int i = 0; i < tree.topLevelItemCount(); ++i) walk(tree.topLevelItem(i), 0);
  return lines;
}

}  // namespace tindrel::testing
