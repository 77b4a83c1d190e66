#include "navigator/TwwNavBookmark.h"

#include "store/TDataSet.h"

namespace tindrel {

TwwNavBookmarks::~TwwNavBookmarks() {
  // A bookmark is a plain value that the dataset only clears on release; the datasets of old
  // entries may be gone by now, so they are not called here.
  entries_.clear();
}

TBookmark TwwNavBookmarks::Save(TDataSet* dataSet, const std::function<void()>& reevaluate) {
  if (!dataSet) return {};
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->DataSet != dataSet) continue;
    dataSet->ReleaseBookmark(it->Bookmark);
    it->Bookmark = dataSet->TakeBookmark();
    const TBookmark fresh = it->Bookmark;
    if (reevaluate) reevaluate();
    if (fresh && dataSet->IsBookmarkLive(fresh)) return fresh;
  }
  TwwNavBookmark entry;
  entry.DataSet = dataSet;
  entry.Bookmark = dataSet->TakeBookmark();
  entries_.push_back(entry);
  if (reevaluate) reevaluate();
  return entry.Bookmark;
}

TBookmark TwwNavBookmarks::Find(const TDataSet* dataSet) const {
  if (!dataSet) return {};
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->DataSet == dataSet && it->Bookmark && dataSet->IsBookmarkLive(it->Bookmark)) return it->Bookmark;
  return {};
}

void TwwNavBookmarks::Drop(const TDataSet* dataSet) {
  for (auto i = entries_.size(); i-- > 0;) {
    if (entries_[i].DataSet != dataSet) continue;
    dataSet->ReleaseBookmark(entries_[i].Bookmark);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace tindrel
