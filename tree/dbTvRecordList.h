#pragma once
// Record snapshots of the data-bound tree: one TTvRecordInfo per record of one read, the list
// that owns them (TTVRecordList, kept in ID order for lookups) and the same snapshots in parent
// order (TTVParentList, owns nothing) from which the children of a record are found.
//
// ID order is an ordinal, case-sensitive comparison of the ID texts ("10" sorts before "2");
// parent order is by parent ID the same way, then by text in the collation of the person's
// locale without regard to case. Ties keep the order the records were read in.

#include <QCollatorSortKey>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace tindrel {

struct TTvRecordInfo {
  QString RecordID;
  QString ParentID;  // empty without a parent field or with a blank value
  QString Text;
  bool Expanded = false;  // carries a node's expansion across a full rebuild
  int Order = 0;          // position in the read: equal IDs, and equal titles, keep it
};

// The text order of siblings, shared by the parent order and the tree's own text sort: the
// locale's collation (accented letters next to their base letters), case not counted.
int CompareNodeText(const QString& a, const QString& b);
// A key that orders as CompareNodeText does; comparing keys is much cheaper than comparing
// texts, so sorts of many titles make one key per title first.
QCollatorSortKey NodeTextKey(const QString& text);

class TTVParentList {
 public:
  std::vector<TTvRecordInfo*> Items;  // not owned
  bool Sorted = false;
};

// What CompareSnapshots finds.
enum TSnapshotCompare : std::uint8_t {
  scSame = 0,
  scTextsChanged = 1,
  scCountChanged = 2,
  scStructureChanged = 3,
};

class TTVRecordList {
 public:
  TTVRecordList() = default;
  TTVRecordList(const TTVRecordList&) = delete;
  TTVRecordList& operator=(const TTVRecordList&) = delete;
  TTVRecordList(TTVRecordList&&) = default;
  TTVRecordList& operator=(TTVRecordList&&) = default;

  int Count() const { return static_cast<int>(items_.size()); }
  TTvRecordInfo& At(int index) const { return *items_[static_cast<size_t>(index)]; }

  void AddRecord(const QString& recordID, const QString& parentID, const QString& text);
  void Reserve(int count) { items_.reserve(static_cast<size_t>(count)); }

  bool SortedByID() const { return sortedByID_; }
  void SetSortedByID(bool value);

  // Binary search in ID order: the first of equal IDs, or the insertion point when not found.
  bool FindByID(const QString& id, int& index);
  // How many snapshots carry `id` (ID order).
  int CountOfID(const QString& id);

  // The parent-order view, built on demand (none when it cannot be built).
  TTVParentList* ParentList();
  // Lower-bound search of `parentID` in parent order.
  bool FindFirstChild(const QString& parentID, int& index);
  TTvRecordInfo* ChildAt(int index);

  void SetParentID(const QString& id, const QString& parentID);

  TSnapshotCompare CompareSnapshots(TTVRecordList* other);

 private:
  std::vector<std::unique_ptr<TTvRecordInfo>> items_;
  std::unique_ptr<TTVParentList> parentList_;
  bool sortedByID_ = false;
};

}  // namespace tindrel
