#pragma once
// The production index (.mdx) of a table: its tags, each a B-tree of (key, record number).
//
// The index is read whole into memory when it opens (every tag as an ordered sequence of entries,
// and the page structure it came from), and every change writes back exactly the pages it
// touched through the change's ChangeWriter, so the file on disk is always a valid, maintained
// index. Entries are kept in the order found in the file; new entries go where the tag's
// comparison puts them (equal keys by ascending record number).
//
// Outside bytes are distrusted: a bad header, a page number outside the file, a cycle of pages,
// a key count beyond the page, an absurd key length: Open throws EngineError(IndexDamaged) with
// a text naming the file and what is wrong; it never crashes, hangs or allocates without bound.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/engine/FieldDesc.h"

namespace tindrel::engine {

class File;
class ChangeWriter;

enum class KeyType : char { Character = 'C', Numeric = 'N', Date = 'D' };

struct TagInfo {
  std::string name;           // upper case, as stored
  std::string expression;     // the key expression as stored
  std::string forExpression;  // empty when the tag has no FOR condition
  KeyType type = KeyType::Character;
  int keyLength = 0;
  bool descending = false;
  bool unique = false;
  std::vector<int> keyFields;  // indexes into the table's fields, in key order
  bool maintainable = false;   // the expression (and FOR) is one this engine can evaluate
  std::string notMaintainableWhy;  // when not maintainable: what this engine cannot evaluate
};

struct IndexEntry {
  std::string key;  // key bytes as stored (keyLength bytes)
  uint32_t recno = 0;
};

class MdxIndex {
 public:
  virtual ~MdxIndex() = default;

  // Reads and validates an existing production index for a table with these fields. The index
  // keeps `file` for its writes: the file must outlive the index.
  static std::unique_ptr<MdxIndex> Open(File& file, const std::vector<FieldDesc>& fields);

  struct TagSpec {
    std::string name;
    std::string expression;  // a field name, or an expression this engine can evaluate
    bool descending = false;
    bool unique = false;
  };
  // Writes a new, empty index (the file is truncated) with these tags, through `writer`.
  static std::unique_ptr<MdxIndex> Create(File& file, ChangeWriter& writer, std::string_view tableBaseName,
                                          const std::vector<FieldDesc>& fields, const std::vector<TagSpec>& tags);

  virtual const std::vector<TagInfo>& Tags() const = 0;
  // The tag of that name, without regard to case; -1 when none.
  virtual int FindTag(std::string_view name) const = 0;

  // The key a record (raw bytes, deletion flag first) has in a tag, and whether the record
  // belongs in the tag at all (its FOR condition).
  virtual std::string MakeKey(int tag, std::string_view record) const = 0;
  virtual bool Includes(int tag, std::string_view record) const = 0;
  // Orders two keys as the tag orders them (descending tags reversed): <0, 0, >0.
  virtual int CompareKeys(int tag, std::string_view a, std::string_view b) const = 0;

  // Ordered access to a tag's entries.
  virtual size_t EntryCount(int tag) const = 0;
  virtual const IndexEntry& EntryAt(int tag, size_t position) const = 0;
  // The first position whose key is not before `key` in tag order (EntryCount when none).
  virtual size_t LowerBound(int tag, std::string_view key) const = 0;
  // The position of exactly this entry, or EntryCount when it is absent.
  virtual size_t Find(int tag, std::string_view key, uint32_t recno) const = 0;
  // Grows by one on every change of any tag; cursors use it to know their position is stale.
  virtual uint64_t Version() const = 0;

  // Maintenance, one record at a time; the pages touched are written through `writer`.
  // Unique tags keep only the first record of a key (a later equal key gets no entry).
  // When any tag is not maintainable these (and Rebuild) throw EngineError(Unsupported) before
  // anything changes; callers check TagInfo::maintainable and refuse changes up front.
  // When the writer throws, the index in memory no longer matches the file: reopen it after the
  // change is rolled back.
  virtual void InsertRecord(uint32_t recno, std::string_view record, ChangeWriter& writer) = 0;
  virtual void UpdateRecord(uint32_t recno, std::string_view oldRecord, std::string_view newRecord,
                            ChangeWriter& writer) = 0;
  virtual void RemoveRecord(uint32_t recno, std::string_view record, ChangeWriter& writer) = 0;

  // Rebuilds every tag from these records (record number i + 1 for records[i]; deleted records,
  // those whose first byte is '*', get no entry), writing a fresh file.
  virtual void Rebuild(const std::vector<std::string_view>& records, ChangeWriter& writer) = 0;

  // Adds a tag after the others and rebuilds every tag from these records, as Rebuild does.
  // Refused (InvalidCall) for a name in use, a 48th tag or a key this engine cannot build, and
  // (Unsupported) when a tag already there cannot be maintained; nothing is written then.
  virtual void AddTag(const TagSpec& spec, const std::vector<std::string_view>& records, ChangeWriter& writer) = 0;

  // Checks every tag against the records: order, one entry per live record that belongs in the
  // tag, keys equal to the records' keys, no entry beyond the table. Returns one line per
  // problem; empty when consistent. Findings that are not faults (entries kept for deleted
  // records, as other programs keep them) go to `notes` when given.
  virtual std::vector<std::string> Check(const std::vector<std::string_view>& records,
                                         std::vector<std::string>* notes = nullptr) const = 0;
};

// The tag that orders the records by these fields (indexes into the table's fields): a
// maintainable tag without a FOR condition whose key begins with them. -1 when there is none.
int TagForFields(const MdxIndex& index, const std::vector<int>& fields);

}  // namespace tindrel::engine
