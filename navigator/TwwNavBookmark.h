#pragma once
// The navigator's bookmark store: at most one saved bookmark per dataset in normal use, kept
// until a new save replaces it, the dataset closes, a restore fails or the navigator goes.
// Only the dataset contract's bookmark operations are used.

#include <functional>
#include <vector>

#include "store/DataSetTypes.h"

namespace tindrel {

class TDataSet;

struct TwwNavBookmark {
  TDataSet* DataSet = nullptr;
  TBookmark Bookmark;  // none when the dataset had no stored current record
};

class TwwNavBookmarks {
 public:
  TwwNavBookmarks() = default;
  ~TwwNavBookmarks();
  TwwNavBookmarks(const TwwNavBookmarks&) = delete;
  TwwNavBookmarks& operator=(const TwwNavBookmarks&) = delete;

  // Takes a bookmark of the dataset's current record and stores it as the dataset's saved one
  // (replacing the previous); `reevaluate` runs after each change of the store. Returns it.
  TBookmark Save(TDataSet* dataSet, const std::function<void()>& reevaluate);
  // The dataset's saved bookmark when it is still live, else none. Changes nothing.
  TBookmark Find(const TDataSet* dataSet) const;
  // Forgets every entry of the dataset.
  void Drop(const TDataSet* dataSet);

  const std::vector<TwwNavBookmark>& Entries() const { return entries_; }

 private:
  std::vector<TwwNavBookmark> entries_;
};

}  // namespace tindrel
