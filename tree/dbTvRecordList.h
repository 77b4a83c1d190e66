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
#include <deque>
#include <memory>
#include <vector>

namespace tindrel {

struct TTvRecordInfo {
  QString RecordID;
  QString ParentID;  // empty without a parent field or with a blank value
  QString Text;
  int Order = 0;          // position in the read: equal IDs, and equal titles, keep it
  int IDOrder = 0;        // position in ID order, set whenever the list is sorted by ID
};

// The shape of the tree in a snapshot, found in one pass over the ID order and the parent order
// together, so that building the nodes needs no look-up by text. Indexes are positions in ID
// order; a child range is a stretch of the parent order.
struct TSnapshotShape {
  struct Record {
    int FirstChild = 0;      // where the record's children start in parent order
    int ChildCount = 0;      // how many there are (records of equal IDs share them)
    int FirstOfID = 0;       // the first position of the record's ID among equal IDs
    bool NoParent = false;   // no record carries the record's parent ID (a top-level note)
    bool OnPath = false;     // free for the build: set while the ID is on the path being built
  };
  std::vector<Record> Records;  // one per snapshot, in ID order; kept together for the build's reads
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

  // Sorts both orders as needed; empty when the parent order cannot be built.
  TSnapshotShape Shape();

  TSnapshotCompare CompareSnapshots(TTVRecordList* other);

 private:
  static void SortByParentThenText(TTVParentList& list);
  // Both orders sorted, side by side on two threads for a large snapshot.
  void SortOrders();

  std::deque<TTvRecordInfo> storage_;  // the snapshots, in read order; they never move
  std::vector<TTvRecordInfo*> items_;  // ID order when sortedByID_
  std::unique_ptr<TTVParentList> parentList_;
  bool sortedByID_ = false;
};

}  // namespace tindrel
