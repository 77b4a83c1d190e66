#include "tree/dbTvRecordList.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <cstdint>
#include <future>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

namespace tindrel {

namespace {

// The collator of the current locale, case not counted; made again when the locale changes.
// The C locale names no language, and its collation is code-point order (every accented Greek
// capital before Α, and ό, ύ, ώ after ω), so it gets the root order of the collation tables.
const QCollator& NodeTextCollator() {
  static QLocale madeFor = QLocale::c();
  static std::optional<QCollator> collator;
  const QLocale now;
  if (!collator || now != madeFor) {
    madeFor = now;
    collator.emplace(now.language() == QLocale::C ? QLocale(QLocale::English) : now);
    collator->setCaseSensitivity(Qt::CaseInsensitive);
  }
  return *collator;
}

}  // namespace

int CompareNodeText(const QString& a, const QString& b) { return NodeTextCollator().compare(a, b); }

QCollatorSortKey NodeTextKey(const QString& text) { return NodeTextCollator().sortKey(text); }

namespace {

// Ordinal comparison of UTF-16 code units: for the texts IDs are made of this is the byte order.
inline int CompareOrdinal(const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseSensitive); }

// The first eight code units of a text packed big-endian into two words: comparing keys orders
// texts as CompareOrdinal does (a shorter text is padded with zeros and sorts first), so a sort
// of 100,000 IDs compares whole texts only where their first eight units agree.
struct OrdinalKey {
  std::uint64_t hi = 0, lo = 0;
  explicit OrdinalKey(const QString& s) {
    const int n = std::min<int>(static_cast<int>(s.size()), 8);
    const char16_t* u = reinterpret_cast<const char16_t*>(s.utf16());
    for (int i = 0; i < 8; ++i) {
      const std::uint64_t unit = i < n ? u[i] : 0;
      if (i < 4) hi |= unit << (16 * (3 - i));
      else lo |= unit << (16 * (7 - i));
    }
  }
};

inline int CompareByKey(const OrdinalKey& ka, const QString& a, const OrdinalKey& kb, const QString& b) {
  if (ka.hi != kb.hi) return ka.hi < kb.hi ? -1 : 1;
  if (ka.lo != kb.lo) return ka.lo < kb.lo ? -1 : 1;
  if (a.size() <= 8 && b.size() <= 8) return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  return QStringView(a).mid(8).compare(QStringView(b).mid(8), Qt::CaseSensitive);
}

}  // namespace

void TTVRecordList::AddRecord(const QString& recordID, const QString& parentID, const QString& text) {
  TTvRecordInfo& info = storage_.emplace_back();
  info.RecordID = recordID;
  info.ParentID = parentID;
  info.Text = text;
  info.Order = Count();
  items_.push_back(&info);
  parentList_.reset();
  SetSortedByID(false);
}

void TTVRecordList::SetSortedByID(bool value) {
  if (value == sortedByID_) return;
  sortedByID_ = value;
  if (!value) return;
  struct Entry {
    OrdinalKey key;
    TTvRecordInfo* info;
  };
  std::vector<Entry> entries;
  entries.reserve(items_.size());
  for (TTvRecordInfo* item : items_) entries.push_back({OrdinalKey(item->RecordID), item});
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    const int c = CompareByKey(a.key, a.info->RecordID, b.key, b.info->RecordID);
    return c != 0 ? c < 0 : a.info->Order < b.info->Order;
  });
  for (size_t i = 0; i < entries.size(); ++i) {
    items_[i] = entries[i].info;
    items_[i]->IDOrder = static_cast<int>(i);
  }
}

// Siblings of up to this many titles are put in order by comparing titles; larger families make
// one collation key per title first, which costs more per title but less per comparison.
constexpr std::ptrdiff_t kFamilySortedByKeys = 12;

void TTVRecordList::SortByParentThenText(TTVParentList& list) {
  // By parent ID and read order first, which needs no collation; then each family of two or
  // more by title, stably, so that equal titles keep the read order. Most notes have no sibling
  // and cost the collation nothing.
  struct Entry {
    OrdinalKey key;
    TTvRecordInfo* info;
  };
  std::vector<Entry> entries;
  entries.reserve(list.Items.size());
  for (TTvRecordInfo* info : list.Items) entries.push_back({OrdinalKey(info->ParentID), info});
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    const int c = CompareByKey(a.key, a.info->ParentID, b.key, b.info->ParentID);
    return c != 0 ? c < 0 : a.info->Order < b.info->Order;
  });
  for (size_t i = 0; i < entries.size(); ++i) list.Items[i] = entries[i].info;
  const QCollator& collator = NodeTextCollator();  // one look at the locale for the whole sort
  std::vector<QCollatorSortKey> keys;
  std::vector<std::pair<const QCollatorSortKey*, TTvRecordInfo*>> keyed;
  for (size_t first = 0; first < entries.size();) {
    size_t end = first + 1;
    while (end < entries.size() &&
           CompareByKey(entries[first].key, entries[first].info->ParentID, entries[end].key,
                        entries[end].info->ParentID) == 0)
      ++end;
    const auto from = list.Items.begin() + static_cast<std::ptrdiff_t>(first);
    const auto to = list.Items.begin() + static_cast<std::ptrdiff_t>(end);
    if (to - from > kFamilySortedByKeys) {
      keys.clear();
      keyed.clear();
      keys.reserve(end - first);
      for (auto it = from; it != to; ++it) keys.push_back(collator.sortKey((*it)->Text));
      for (size_t k = 0; k < keys.size(); ++k) keyed.emplace_back(&keys[k], *(from + static_cast<std::ptrdiff_t>(k)));
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const auto& a, const auto& b) { return a.first->compare(*b.first) < 0; });
      for (size_t k = 0; k < keyed.size(); ++k) *(from + static_cast<std::ptrdiff_t>(k)) = keyed[k].second;
    } else if (to - from > 1) {
      std::stable_sort(from, to, [&collator](const TTvRecordInfo* a, const TTvRecordInfo* b) {
        return collator.compare(a->Text, b->Text) < 0;
      });
    }
    first = end;
  }
  list.Sorted = true;
}

bool TTVRecordList::FindByID(const QString& id, int& index) {
  SetSortedByID(true);
  int lo = 0;
  int hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = CompareOrdinal(items_[static_cast<size_t>(mid)]->RecordID, id);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = lo;
  return found;
}

int TTVRecordList::CountOfID(const QString& id) {
  int i = 0;
  if (!FindByID(id, i)) return 0;
  int n = 0;
  while (i + n < Count() && items_[static_cast<size_t>(i + n)]->RecordID == id) ++n;
  return n;
}

TTVParentList* TTVRecordList::ParentList() {
  if (!parentList_) {
    try {
      auto list = std::make_unique<TTVParentList>();
      list->Items.reserve(items_.size());
      list->Items = items_;
      parentList_ = std::move(list);
    } catch (const std::bad_alloc&) {
      parentList_.reset();  // no parent order: the tree is built without children
    }
  }
  return parentList_.get();
}

bool TTVRecordList::FindFirstChild(const QString& parentID, int& index) {
  index = 0;
  TTVParentList* list = ParentList();
  if (!list) return false;
  if (!list->Sorted) SortByParentThenText(*list);
  int lo = 0;
  int hi = static_cast<int>(list->Items.size()) - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = CompareOrdinal(list->Items[static_cast<size_t>(mid)]->ParentID, parentID);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = lo;
  return found;
}

TTvRecordInfo* TTVRecordList::ChildAt(int index) {
  TTVParentList* list = ParentList();
  if (!list || index < 0 || index >= static_cast<int>(list->Items.size())) return nullptr;
  return list->Items[static_cast<size_t>(index)];
}

void TTVRecordList::SetParentID(const QString& id, const QString& parentID) {
  int i = 0;
  if (!FindByID(id, i)) return;
  TTvRecordInfo* info = items_[static_cast<size_t>(i)];
  if (!parentList_ || !parentList_->Sorted) {
    info->ParentID = parentID;
    if (parentList_) parentList_->Sorted = false;
    return;
  }
  // The parent order stays sorted: the one snapshot is taken out at its old place and put in at
  // its new one, so a move costs a shift of pointers instead of a sort of every snapshot at the
  // next lookup.
  auto inParentOrder = [](const TTvRecordInfo* a, const TTvRecordInfo* b) {
    const int c = CompareOrdinal(a->ParentID, b->ParentID);
    return c != 0 ? c < 0 : CompareNodeText(a->Text, b->Text) < 0;
  };
  std::vector<TTvRecordInfo*>& order = parentList_->Items;
  const auto [from, to] = std::equal_range(order.begin(), order.end(), info, inParentOrder);
  const auto at = std::find(from, to, info);
  if (at == to) {  // not where the order says it is: sort again at the next lookup
    info->ParentID = parentID;
    parentList_->Sorted = false;
    return;
  }
  order.erase(at);
  info->ParentID = parentID;
  order.insert(std::upper_bound(order.begin(), order.end(), info, inParentOrder), info);
}

// From this many snapshots on, the ID order is sorted on a second thread while this one sorts the
// parent order; below it a thread costs more than it saves.
constexpr size_t kOrdersSortedSideBySide = 50000;

void TTVRecordList::SortOrders() {
  if (!sortedByID_ && items_.size() >= kOrdersSortedSideBySide) {
    // The parent order is copied before the ID sort moves the items. Both sorts are total (ties
    // go by read order), so neither result depends on the order it starts from. The two sorts
    // read different texts of the snapshots and write different places; the collation stays on
    // this thread.
    if (TTVParentList* list = ParentList(); list && !list->Sorted) {
      std::future<void> byID;
      try {
        byID = std::async(std::launch::async, [this] { SetSortedByID(true); });
      } catch (const std::system_error&) {
        // No thread to be had: one after the other below.
      }
      SortByParentThenText(*list);  // should it throw, the future's end waits for the ID sort
      if (byID.valid()) byID.get();
    }
  }
  SetSortedByID(true);
  if (TTVParentList* list = ParentList(); list && !list->Sorted) SortByParentThenText(*list);
}

TSnapshotShape TTVRecordList::Shape() {
  SortOrders();
  TSnapshotShape shape;
  const size_t n = items_.size();
  std::vector<TSnapshotShape::Record>& of = shape.Records;
  of.resize(n);
  for (size_t i = 0; i < n; ++i)
    of[i].FirstOfID = i > 0 && items_[i]->RecordID == items_[i - 1]->RecordID ? of[i - 1].FirstOfID : static_cast<int>(i);
  int ignored = 0;
  if (!parentList_ || !parentList_->Sorted) {
    // Without the parent order nobody has children: every record whose parent is missing is
    // still a top-level note.
    for (size_t i = 0; i < n; ++i) of[i].NoParent = !FindByID(items_[i]->ParentID, ignored);
    return shape;
  }
  const std::vector<TTvRecordInfo*>& children = parentList_->Items;
  // Both orders are ordinal, so one pass meets every parent ID with the records carrying it.
  size_t id = 0;
  size_t child = 0;
  while (child < n) {
    const QString& parentID = children[child]->ParentID;
    size_t end = child + 1;
    while (end < n && children[end]->ParentID == parentID) ++end;
    while (id < n && CompareOrdinal(items_[id]->RecordID, parentID) < 0) ++id;
    if (id < n && items_[id]->RecordID == parentID) {
      for (size_t twin = id; twin < n && items_[twin]->RecordID == parentID; ++twin) {
        of[twin].FirstChild = static_cast<int>(child);
        of[twin].ChildCount = static_cast<int>(end - child);
      }
      // The children's parent IDs are the same text as the parent's ID: one copy of it is kept.
      for (size_t k = child; k < end; ++k) children[k]->ParentID = items_[id]->RecordID;
    } else {
      for (size_t k = child; k < end; ++k) of[static_cast<size_t>(children[k]->IDOrder)].NoParent = true;
    }
    child = end;
  }
  return shape;
}

TSnapshotCompare TTVRecordList::CompareSnapshots(TTVRecordList* other) {
  if (!other || other->Count() != Count()) return scCountChanged;
  SetSortedByID(true);
  other->SetSortedByID(true);
  bool texts = false;
  for (size_t i = 0; i < items_.size(); ++i) {
    const TTvRecordInfo& a = *items_[i];
    const TTvRecordInfo& b = *other->items_[i];
    if (a.RecordID != b.RecordID || a.ParentID != b.ParentID) return scStructureChanged;
    if (!texts && a.Text != b.Text) texts = true;
  }
  return texts ? scTextsChanged : scSame;
}

}  // namespace tindrel
