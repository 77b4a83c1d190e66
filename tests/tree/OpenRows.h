#pragma once
// The rows a tree view shows, top to bottom, each title indented by one dot per level.
#include <QAbstractItemModel>
#include <QStringList>
#include <QTreeView>

namespace tindrel::testing {

inline QStringList OpenRows(const QTreeView& view) {
  QStringList rows;
  for (QModelIndex at = view.model()->index(0, 0); at.isValid(); at = view.indexBelow(at)) {
    int depth = 0;
    for (QModelIndex up = at.parent(); up.isValid(); up = up.parent()) ++depth;
    rows << QString(depth, u'.') + at.data().toString();
  }
  return rows;
}

}  // namespace tindrel::testing
