// The production index: reading, searching and maintaining the B-trees of an .mdx file.
//
// In memory every tag keeps the tree it was read from (one Node per block) and, beside it, the
// list of its non-empty leaves in key order with the position of each leaf's first entry. The
// leaves are the ordered sequence of entries: EntryAt finds a leaf through the position list
// (the last leaf used is remembered, so walking a cursor is constant time), searches are binary
// searches over the leaves and then inside one leaf.
//
// A change edits the nodes in memory, marks the nodes it touched, and then writes exactly those
// blocks, the tag header bytes that changed (root page, change counter, "has keys" flag) and
// the file header bytes that changed (page count, date of last update), all through the
// change's ChangeWriter. Tree invariants kept by every change:
//   1. Leaves hold (record number, key); an interior node holds (child page, largest key in the
//      child's subtree) for all children but the last, which sits in the extra pointer.
//   2. A node holds at most the tag's maximum number of keys; a full node splits in two, the
//      right half going to a new block appended at the header's page count (the file stays
//      page count x 512 bytes); a root split makes a new root and updates the tag header.
//   3. Every node but the root has at least one entry: an emptied leaf is unhooked from its
//      parent and an interior node left with a single child is replaced by that child. The
//      unhooked blocks stay in the file, unreferenced (no free list is kept); Rebuild compacts.
//   4. The bytes after a node's last entry are zero (readers tell leaves by the zero pointer).

#include "store/engine/MdxIndex.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "store/engine/BcdNumber.h"
#include "store/engine/ChangeWriter.h"
#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"
#include "store/engine/KeyExpression.h"

namespace tindrel::engine {

namespace {

constexpr uint32_t kPageBytes = 512;
constexpr uint32_t kHeaderBytes = 2048;  // file header (page 0) and tag table (pages 1-3)
constexpr uint32_t kFirstBlockPage = 4;
constexpr int kMaxTags = 47;
constexpr int kMaxDepth = 32;
constexpr size_t kMaxKeyLength = 100;
constexpr size_t kExpressionRoom = 220;
constexpr size_t kForExpressionOffset = 762;
constexpr size_t kMaxProblemLinesPerKind = 20;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint8_t* U8(std::string& s, size_t offset = 0) { return reinterpret_cast<uint8_t*>(s.data()) + offset; }

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string CString(const uint8_t* p, size_t room) {
  size_t n = 0;
  while (n < room && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

void TodayYmd(uint8_t out[3]) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  out[0] = static_cast<uint8_t>(local.tm_year);  // years since 1900
  out[1] = static_cast<uint8_t>(local.tm_mon + 1);
  out[2] = static_cast<uint8_t>(local.tm_mday);
}

struct Node {
  uint32_t page = 0;
  bool leaf = true;
  bool dirty = false;
  bool dead = false;
  Node* parent = nullptr;
  // Leaf: (key, record number). Interior: the keys of children[0..n-1]; their pages are taken
  // from `children` when the block is written.
  std::vector<IndexEntry> items;
  std::vector<Node*> children;  // interior only: items.size() + 1 children
};

struct Tag {
  TagInfo info;
  int slot = 0;  // 1-based slot in the tag table
  uint32_t headerPage = 0;
  std::string headerBlock;  // the tag header block as read or made (for Rebuild)
  uint16_t itemLength = 0;
  uint16_t maxKeys = 0;
  uint8_t counter = 0;
  bool storedHasKeys = false;
  uint32_t storedRoot = 0;

  Node* root = nullptr;
  std::vector<std::unique_ptr<Node>> nodes;
  std::vector<Node*> dirtyNodes;
  bool changed = false;

  std::vector<Node*> leaves;  // non-empty leaves in order; just the root when it is an empty leaf
  std::vector<size_t> starts;  // position of each leaf's first entry
  size_t count = 0;
  bool ordered = true;  // the file's order agrees with the tag's comparison
  mutable size_t lastLeaf = 0;

  std::unique_ptr<KeyExpression> key;
  std::unique_ptr<KeyExpression> filter;
};

class MdxFile final : public MdxIndex {
 public:
  MdxFile(File& file, std::vector<FieldDesc> fields) : file_(&file), fields_(std::move(fields)) {}

  void Load();
  void InitFresh(std::string_view tableBaseName, const std::vector<TagSpec>& specs);
  // A new, empty tag after the others (its slot filled, the tag count raised); the blocks are
  // laid out by the next WriteFresh.
  void AppendTag(const TagSpec& spec);
  void LinkTagNames();
  void WriteFresh(ChangeWriter& writer, const std::vector<std::vector<IndexEntry>>& entries, bool bumpCounters);

  const std::vector<TagInfo>& Tags() const override { return infos_; }
  int FindTag(std::string_view name) const override {
    std::string upper = UpperAscii(name);
    for (size_t i = 0; i < infos_.size(); ++i) {
      if (UpperAscii(infos_[i].name) == upper) return static_cast<int>(i);
    }
    return -1;
  }

  std::string MakeKey(int tag, std::string_view record) const override;
  bool Includes(int tag, std::string_view record) const override;
  int CompareKeys(int tag, std::string_view a, std::string_view b) const override {
    return Compare(TagAt(tag), a, b);
  }

  size_t EntryCount(int tag) const override { return TagAt(tag).count; }
  const IndexEntry& EntryAt(int tag, size_t position) const override;
  size_t LowerBound(int tag, std::string_view key) const override;
  size_t Find(int tag, std::string_view key, uint32_t recno) const override;
  uint64_t Version() const override { return version_; }

  void InsertRecord(uint32_t recno, std::string_view record, ChangeWriter& writer) override;
  void UpdateRecord(uint32_t recno, std::string_view oldRecord, std::string_view newRecord,
                    ChangeWriter& writer) override;
  void RemoveRecord(uint32_t recno, std::string_view record, ChangeWriter& writer) override;
  void Rebuild(const std::vector<std::string_view>& records, ChangeWriter& writer) override;
  void AddTag(const TagSpec& spec, const std::vector<std::string_view>& records, ChangeWriter& writer) override;
  std::vector<std::string> Check(const std::vector<std::string_view>& records,
                                 std::vector<std::string>* notes) const override;

 private:
  [[noreturn]] void Damaged(const std::string& what) const {
    throw EngineError(ResultCode::IndexDamaged, "The index file " + file_->Path() + " is damaged: " + what,
                      {file_->Path()});
  }
  const Tag& TagAt(int tag) const {
    if (tag < 0 || static_cast<size_t>(tag) >= tags_.size())
      throw EngineError(ResultCode::NoSuchIndex, "No index tag number " + std::to_string(tag), {file_->Path()});
    return *tags_[static_cast<size_t>(tag)];
  }
  Tag& TagAt(int tag) { return const_cast<Tag&>(static_cast<const MdxFile*>(this)->TagAt(tag)); }

  static int Compare(const Tag& t, std::string_view a, std::string_view b);
  static int ComparePair(const Tag& t, const IndexEntry& e, std::string_view key, uint32_t recno) {
    int c = Compare(t, e.key, key);
    if (c != 0) return c;
    return e.recno < recno ? -1 : e.recno > recno ? 1 : 0;
  }

  void SetUpTag(Tag& t);
  Node* Walk(Tag& t, uint32_t page, int depth, Node* parent, std::vector<uint8_t>& used, uint64_t fileSize,
             const std::vector<uint8_t>& bytes);
  void IndexLeaves(Tag& t);

  // Positions. `before(entry)` must be monotonic over the tag's order.
  template <class Before>
  void Bound(const Tag& t, Before before, size_t& leafIndex, size_t& offset) const;
  size_t Position(const Tag& t, size_t leafIndex, size_t offset) const {
    return leafIndex < t.leaves.size() ? t.starts[leafIndex] + offset : t.count;
  }
  void Locate(const Tag& t, size_t position, size_t& leafIndex, size_t& offset) const;
  bool FindEntry(const Tag& t, std::string_view key, uint32_t recno, size_t& leafIndex, size_t& offset) const;
  bool HasEqualKey(const Tag& t, std::string_view key) const;

  // Maintenance.
  void RequireMaintainable() const;
  void InsertEntry(Tag& t, std::string key, uint32_t recno);
  void RemoveEntry(Tag& t, std::string_view key, uint32_t recno);
  void Split(Tag& t, Node* node, bool appending);
  void LinkSplit(Tag& t, Node* left, Node* right, bool appending);
  void SyncUp(Tag& t, Node* node);
  void Unhook(Tag& t, Node* node);
  void ReplaceBySingleChild(Tag& t, Node* node);
  static const std::string& MaxKey(const Node* node);
  static size_t ChildIndex(const Node* parent, const Node* child);
  Node* NewNode(Tag& t, bool leaf);
  void MarkDirty(Tag& t, Node* node) {
    t.changed = true;
    if (!node->dirty) {
      node->dirty = true;
      t.dirtyNodes.push_back(node);
    }
  }
  void EnsureLeaf(Tag& t);
  void Flush(ChangeWriter& writer);
  void SerializeNode(const Tag& t, const Node* node, uint8_t* block) const;

  File* file_;
  std::vector<FieldDesc> fields_;
  std::string header_;  // the first 2048 bytes: file header and tag table
  uint16_t pagesPerBlock_ = 2;
  uint32_t blockBytes_ = 1024;
  uint32_t nextPage_ = kFirstBlockPage;
  uint32_t storedPageCount_ = 0;
  std::vector<std::unique_ptr<Tag>> tags_;
  std::vector<TagInfo> infos_;
  uint64_t version_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Comparison and keys

int MdxFile::Compare(const Tag& t, std::string_view a, std::string_view b) {
  int c = 0;
  switch (t.info.type) {
    case KeyType::Character: {
      size_t n = std::min(a.size(), b.size());
      int m = n ? std::memcmp(a.data(), b.data(), n) : 0;
      c = m != 0 ? (m < 0 ? -1 : 1) : (a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0);
      break;
    }
    case KeyType::Numeric:
      c = bcd::Compare(a, b);
      break;
    case KeyType::Date: {
      double x = DateKeyValue(a), y = DateKeyValue(b);
      if (x < y) c = -1;
      else if (x > y) c = 1;
      else if (x == y) c = 0;
      else {  // NaN from outside bytes: some fixed order, so searches stay consistent
        size_t n = std::min(a.size(), b.size());
        int m = n ? std::memcmp(a.data(), b.data(), n) : 0;
        c = m < 0 ? -1 : m > 0 ? 1 : 0;
      }
      break;
    }
  }
  return t.info.descending ? -c : c;
}

std::string MdxFile::MakeKey(int tag, std::string_view record) const {
  const Tag& t = TagAt(tag);
  if (!t.key)
    throw EngineError(ResultCode::Unsupported,
                      "The key of index tag " + t.info.name + " cannot be computed: " + t.info.notMaintainableWhy,
                      {file_->Path()});
  KeyValue v = t.key->Evaluate(record);
  size_t length = static_cast<size_t>(t.info.keyLength);
  switch (t.info.type) {
    case KeyType::Character: {
      std::string key = v.text.substr(0, length);
      key.resize(length, ' ');
      return key;
    }
    case KeyType::Numeric:
      return bcd::EncodeText(v.text);
    case KeyType::Date:
      return DateKey(v.number);
  }
  return {};
}

bool MdxFile::Includes(int tag, std::string_view record) const {
  const Tag& t = TagAt(tag);
  if (t.info.forExpression.empty()) return true;
  if (!t.filter)
    throw EngineError(ResultCode::Unsupported,
                      "The FOR condition of index tag " + t.info.name + " cannot be evaluated: " + t.info.notMaintainableWhy,
                      {file_->Path()});
  return t.filter->Evaluate(record).logical;
}

void MdxFile::SetUpTag(Tag& t) {
  TagInfo& info = t.info;
  std::string why;
  t.key = KeyExpression::Parse(info.expression, fields_, &why);
  if (t.key) {
    info.keyFields = t.key->Fields();
    ValueType want = info.type == KeyType::Character ? ValueType::Character
                     : info.type == KeyType::Numeric ? ValueType::Numeric
                                                     : ValueType::Date;
    if (t.key->Type() != want) {
      why = "the key expression gives a different type than the tag holds";
      t.key.reset();
    }
  } else {
    why = "key expression " + info.expression + ": " + why;
  }
  if (t.key && !info.forExpression.empty()) {
    std::string forWhy;
    t.filter = KeyExpression::Parse(info.forExpression, fields_, &forWhy);
    if (t.filter && t.filter->Type() != ValueType::Logical) {
      t.filter.reset();
      forWhy = "not a logical condition";
    }
    if (!t.filter) why = "FOR condition " + info.forExpression + ": " + forWhy;
  }
  info.maintainable = t.key && (info.forExpression.empty() || t.filter);
  info.notMaintainableWhy = info.maintainable ? std::string() : why;
}

// ---------------------------------------------------------------------------------------------
// Reading

void MdxFile::Load() {
  uint64_t size = file_->Size();
  if (size < kHeaderBytes) Damaged("the file is shorter than its header (" + std::to_string(size) + " bytes)");
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  size_t got = file_->ReadAt(0, bytes.data(), bytes.size());
  if (got != bytes.size()) Damaged("the file could not be read whole");
  const uint8_t* h = bytes.data();
  header_.assign(reinterpret_cast<const char*>(h), kHeaderBytes);

  if (h[0] != 2) Damaged("unknown version " + std::to_string(h[0]));
  pagesPerBlock_ = Get16(h + 20);
  if (pagesPerBlock_ < 1 || pagesPerBlock_ > 63) Damaged("block size of " + std::to_string(pagesPerBlock_) + " pages");
  blockBytes_ = pagesPerBlock_ * kPageBytes;
  if (Get16(h + 22) != blockBytes_)
    Damaged("block size of " + std::to_string(Get16(h + 22)) + " bytes does not match " +
            std::to_string(pagesPerBlock_) + " pages");
  int tagCount = Get16(h + 28);
  if (tagCount > kMaxTags) Damaged(std::to_string(tagCount) + " tags (at most 47)");
  storedPageCount_ = Get32(h + 32);
  uint64_t filePages = (size + kPageBytes - 1) / kPageBytes;
  if (filePages > UINT32_MAX / 2) Damaged("the file is too large");
  // New blocks go past everything the file holds, whatever a stale header count says.
  nextPage_ = static_cast<uint32_t>(filePages);

  std::vector<uint8_t> used(static_cast<size_t>(filePages), 0);
  for (int i = 0; i < tagCount; ++i) {
    const uint8_t* slot = h + 544 + 32 * i;
    auto tag = std::make_unique<Tag>();
    Tag& t = *tag;
    t.slot = i + 1;
    t.info.name = CString(slot + 4, 11);
    std::string label = "tag " + (t.info.name.empty() ? std::to_string(i + 1) : t.info.name) + ": ";
    t.headerPage = Get32(slot);
    if (t.headerPage < kFirstBlockPage || static_cast<uint64_t>(t.headerPage) * kPageBytes + blockBytes_ > size)
      Damaged(label + "header page " + std::to_string(t.headerPage) + " is outside the file");
    for (uint32_t p = 0; p < pagesPerBlock_; ++p) {
      if (used[t.headerPage + p]) Damaged(label + "header page " + std::to_string(t.headerPage) + " is used twice");
      used[t.headerPage + p] = 1;
    }
    uint64_t headerOffset = static_cast<uint64_t>(t.headerPage) * kPageBytes;
    // The FOR condition lies at 762..981 of the header, beyond a 512-byte block.
    size_t headerRoom = static_cast<size_t>(std::min<uint64_t>(std::max<uint32_t>(blockBytes_, 1024), size - headerOffset));
    t.headerBlock.assign(reinterpret_cast<const char*>(h + headerOffset), headerRoom);
    t.headerBlock.resize(blockBytes_, '\0');
    const uint8_t* th = h + headerOffset;

    char type = static_cast<char>(th[9]);
    if (type != 'C' && type != 'N' && type != 'D') Damaged(label + "unknown key type " + std::to_string(th[9]));
    t.info.type = static_cast<KeyType>(type);
    int keyLength = Get16(th + 12);
    t.info.keyLength = keyLength;
    if (keyLength < 1 || static_cast<size_t>(keyLength) > kMaxKeyLength ||
        (type == 'N' && keyLength != 12) || (type == 'D' && keyLength != 8))
      Damaged(label + "key length " + std::to_string(keyLength) + " for type " + type);
    t.maxKeys = Get16(th + 14);
    t.itemLength = Get16(th + 18);
    if (t.itemLength < keyLength + 4 || t.itemLength > kMaxKeyLength + 8)
      Damaged(label + "item length " + std::to_string(t.itemLength) + " for key length " + std::to_string(keyLength));
    if (t.maxKeys < 2 || 12u + static_cast<uint32_t>(t.maxKeys) * t.itemLength > blockBytes_)
      Damaged(label + std::to_string(t.maxKeys) + " keys per node do not fit a block");
    t.info.descending = (th[8] & 0x08) != 0;
    t.info.unique = (th[8] & 0x40) != 0 || th[23] != 0;
    t.counter = th[20];
    t.storedHasKeys = th[246] != 0;
    t.info.expression = CString(th + 24, kExpressionRoom);
    if (th[245] == 1 && headerRoom >= kForExpressionOffset + 1)
      t.info.forExpression = CString(th + kForExpressionOffset, std::min(kExpressionRoom, headerRoom - kForExpressionOffset));
    if (th[245] == 1 && t.info.forExpression.empty()) t.info.forExpression = "?";  // present but unreadable

    t.storedRoot = Get32(th);
    t.root = Walk(t, t.storedRoot, 0, nullptr, used, size, bytes);
    IndexLeaves(t);
    SetUpTag(t);
    const IndexEntry* previous = nullptr;
    for (const Node* leaf : t.leaves) {
      for (const IndexEntry& e : leaf->items) {
        if (previous && Compare(t, previous->key, e.key) > 0) t.ordered = false;
        previous = &e;
      }
    }
    infos_.push_back(t.info);
    tags_.push_back(std::move(tag));
  }
}

Node* MdxFile::Walk(Tag& t, uint32_t page, int depth, Node* parent, std::vector<uint8_t>& used, uint64_t fileSize,
                    const std::vector<uint8_t>& bytes) {
  std::string label = "tag " + t.info.name + ": ";
  if (depth > kMaxDepth) Damaged(label + "the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
  if (page < kFirstBlockPage || static_cast<uint64_t>(page) * kPageBytes + blockBytes_ > fileSize)
    Damaged(label + "node page " + std::to_string(page) + " is outside the file");
  for (uint32_t p = 0; p < pagesPerBlock_; ++p) {
    if (used[page + p]) Damaged(label + "page " + std::to_string(page) + " is reached twice (a cycle or a shared block)");
    used[page + p] = 1;
  }
  const uint8_t* b = bytes.data() + static_cast<uint64_t>(page) * kPageBytes;
  uint32_t n = Get32(b);
  if (n > t.maxKeys)
    Damaged(label + "node page " + std::to_string(page) + " holds " + std::to_string(n) + " keys, more than " +
            std::to_string(t.maxKeys));
  auto owned = std::make_unique<Node>();
  Node* node = owned.get();
  t.nodes.push_back(std::move(owned));
  node->page = page;
  node->parent = parent;
  uint32_t extra = Get32(b + 8 + static_cast<size_t>(t.itemLength) * n);
  node->leaf = extra == 0;
  node->items.resize(n);
  size_t keyLength = static_cast<size_t>(t.info.keyLength);
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* item = b + 8 + static_cast<size_t>(t.itemLength) * i;
    node->items[i].recno = Get32(item);
    node->items[i].key.assign(reinterpret_cast<const char*>(item + 4), keyLength);
  }
  if (!node->leaf) {
    node->children.reserve(n + 1);
    for (uint32_t i = 0; i < n; ++i) {
      node->children.push_back(Walk(t, node->items[i].recno, depth + 1, node, used, fileSize, bytes));
      node->items[i].recno = 0;
    }
    node->children.push_back(Walk(t, extra, depth + 1, node, used, fileSize, bytes));
  }
  return node;
}

void MdxFile::IndexLeaves(Tag& t) {
  t.leaves.clear();
  t.starts.clear();
  t.count = 0;
  // In-order walk with an explicit stack (the depth is bounded, but keep it iterative anyway).
  std::vector<std::pair<Node*, size_t>> stack{{t.root, 0}};
  while (!stack.empty()) {
    auto& [node, next] = stack.back();
    if (node->leaf) {
      if (!node->items.empty()) {
        t.leaves.push_back(node);
        t.starts.push_back(t.count);
        t.count += node->items.size();
      }
      stack.pop_back();
    } else if (next < node->children.size()) {
      Node* child = node->children[next++];
      stack.push_back({child, 0});
    } else {
      stack.pop_back();
    }
  }
  t.lastLeaf = 0;
  EnsureLeaf(t);
}

void MdxFile::EnsureLeaf(Tag& t) {
  if (!t.leaves.empty()) return;
  Node* node = t.root;
  while (!node->leaf) node = node->children.back();
  t.leaves.push_back(node);
  t.starts.push_back(0);
}

// ---------------------------------------------------------------------------------------------
// Ordered access

void MdxFile::Locate(const Tag& t, size_t position, size_t& leafIndex, size_t& offset) const {
  size_t i = t.lastLeaf;
  auto inLeaf = [&](size_t k) {
    return k < t.leaves.size() && position >= t.starts[k] && position < t.starts[k] + t.leaves[k]->items.size();
  };
  if (!inLeaf(i)) {
    if (inLeaf(i + 1)) {
      ++i;
    } else {
      auto it = std::upper_bound(t.starts.begin(), t.starts.end(), position);
      i = static_cast<size_t>(it - t.starts.begin()) - 1;
    }
  }
  t.lastLeaf = i;
  leafIndex = i;
  offset = position - t.starts[i];
}

const IndexEntry& MdxFile::EntryAt(int tag, size_t position) const {
  const Tag& t = TagAt(tag);
  if (position >= t.count)
    throw EngineError(ResultCode::InvalidCall, "Index position " + std::to_string(position) + " is past the end of tag " +
                                                   t.info.name);
  size_t leaf, offset;
  Locate(t, position, leaf, offset);
  return t.leaves[leaf]->items[offset];
}

template <class Before>
void MdxFile::Bound(const Tag& t, Before before, size_t& leafIndex, size_t& offset) const {
  if (t.count == 0) {
    leafIndex = 0;
    offset = 0;
    return;
  }
  // The first leaf whose last entry is not before the target.
  size_t lo = 0, hi = t.leaves.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (before(t.leaves[mid]->items.back())) lo = mid + 1;
    else hi = mid;
  }
  if (lo == t.leaves.size()) {
    leafIndex = t.leaves.size() - 1;
    offset = t.leaves.back()->items.size();
    return;
  }
  const auto& items = t.leaves[lo]->items;
  auto it = std::partition_point(items.begin(), items.end(), before);
  leafIndex = lo;
  offset = static_cast<size_t>(it - items.begin());
}

size_t MdxFile::LowerBound(int tag, std::string_view key) const {
  const Tag& t = TagAt(tag);
  if (!t.ordered) {
    for (size_t i = 0; i < t.count; ++i) {
      if (Compare(t, EntryAt(tag, i).key, key) >= 0) return i;
    }
    return t.count;
  }
  size_t leaf, offset;
  Bound(t, [&](const IndexEntry& e) { return Compare(t, e.key, key) < 0; }, leaf, offset);
  return Position(t, leaf, offset);
}

bool MdxFile::FindEntry(const Tag& t, std::string_view key, uint32_t recno, size_t& leafIndex, size_t& offset) const {
  if (t.count == 0) return false;
  auto entryAt = [&](size_t li, size_t off) -> const IndexEntry& { return t.leaves[li]->items[off]; };
  if (t.ordered) {
    Bound(t, [&](const IndexEntry& e) { return ComparePair(t, e, key, recno) < 0; }, leafIndex, offset);
    if (offset < t.leaves[leafIndex]->items.size()) {
      const IndexEntry& e = entryAt(leafIndex, offset);
      if (e.recno == recno && Compare(t, e.key, key) == 0) return true;
    }
    // Equal keys stored in another record order (descending record numbers): scan the run.
    Bound(t, [&](const IndexEntry& e) { return Compare(t, e.key, key) < 0; }, leafIndex, offset);
    for (size_t li = leafIndex, off = offset; li < t.leaves.size(); ++li, off = 0) {
      const auto& items = t.leaves[li]->items;
      for (; off < items.size(); ++off) {
        if (Compare(t, items[off].key, key) != 0) return false;
        if (items[off].recno == recno) {
          leafIndex = li;
          offset = off;
          return true;
        }
      }
    }
    return false;
  }
  for (size_t li = 0; li < t.leaves.size(); ++li) {
    const auto& items = t.leaves[li]->items;
    for (size_t off = 0; off < items.size(); ++off) {
      if (items[off].recno == recno && Compare(t, items[off].key, key) == 0) {
        leafIndex = li;
        offset = off;
        return true;
      }
    }
  }
  return false;
}

size_t MdxFile::Find(int tag, std::string_view key, uint32_t recno) const {
  const Tag& t = TagAt(tag);
  size_t leaf, offset;
  if (!FindEntry(t, key, recno, leaf, offset)) return t.count;
  return Position(t, leaf, offset);
}

bool MdxFile::HasEqualKey(const Tag& t, std::string_view key) const {
  if (t.count == 0) return false;
  if (!t.ordered) {
    for (const Node* leaf : t.leaves) {
      for (const auto& e : leaf->items) {
        if (Compare(t, e.key, key) == 0) return true;
      }
    }
    return false;
  }
  size_t leaf, offset;
  Bound(t, [&](const IndexEntry& e) { return Compare(t, e.key, key) < 0; }, leaf, offset);
  return offset < t.leaves[leaf]->items.size() && Compare(t, t.leaves[leaf]->items[offset].key, key) == 0;
}

// ---------------------------------------------------------------------------------------------
// Maintenance

void MdxFile::RequireMaintainable() const {
  for (const auto& t : tags_) {
    if (!t->info.maintainable)
      throw EngineError(ResultCode::Unsupported,
                        "The index tag " + t->info.name + " cannot be maintained: " + t->info.notMaintainableWhy,
                        {file_->Path()});
  }
}

Node* MdxFile::NewNode(Tag& t, bool leaf) {
  auto owned = std::make_unique<Node>();
  Node* node = owned.get();
  t.nodes.push_back(std::move(owned));
  node->leaf = leaf;
  node->page = nextPage_;
  nextPage_ += pagesPerBlock_;
  MarkDirty(t, node);
  return node;
}

const std::string& MdxFile::MaxKey(const Node* node) {
  while (!node->leaf) node = node->children.back();
  static const std::string empty;
  return node->items.empty() ? empty : node->items.back().key;
}

size_t MdxFile::ChildIndex(const Node* parent, const Node* child) {
  for (size_t i = 0; i < parent->children.size(); ++i) {
    if (parent->children[i] == child) return i;
  }
  return parent->children.size();  // not reached: the links are kept in step
}

void MdxFile::SyncUp(Tag& t, Node* node) {
  // The separator of a child is its largest key; only a change in a node's last child moves
  // the node's own largest key, so the walk stops at the first ancestor where it does not.
  while (node->parent) {
    Node* parent = node->parent;
    size_t index = ChildIndex(parent, node);
    if (index < parent->items.size()) {
      const std::string& max = MaxKey(node);
      if (parent->items[index].key != max) {
        parent->items[index].key = max;
        MarkDirty(t, parent);
      }
      return;
    }
    node = parent;
  }
}

void MdxFile::InsertEntry(Tag& t, std::string key, uint32_t recno) {
  size_t leafIndex, offset;
  if (t.ordered) {
    Bound(t, [&](const IndexEntry& e) { return ComparePair(t, e, key, recno) < 0; }, leafIndex, offset);
  } else {
    // An order this engine does not share: put the entry before the first one after it.
    leafIndex = t.leaves.size() - 1;
    offset = t.leaves.back()->items.size();
    bool placed = false;
    for (size_t li = 0; li < t.leaves.size() && !placed; ++li) {
      const auto& items = t.leaves[li]->items;
      for (size_t off = 0; off < items.size(); ++off) {
        if (ComparePair(t, items[off], key, recno) > 0) {
          leafIndex = li;
          offset = off;
          placed = true;
          break;
        }
      }
    }
  }
  Node* leaf = t.leaves[leafIndex];
  leaf->items.insert(leaf->items.begin() + static_cast<std::ptrdiff_t>(offset), IndexEntry{std::move(key), recno});
  for (size_t k = leafIndex + 1; k < t.starts.size(); ++k) ++t.starts[k];
  ++t.count;
  MarkDirty(t, leaf);
  bool last = offset + 1 == leaf->items.size();
  if (leaf->items.size() > t.maxKeys) {
    Split(t, leaf, last && leafIndex + 1 == t.leaves.size());
  } else if (last) {
    SyncUp(t, leaf);
  }
}

void MdxFile::Split(Tag& t, Node* node, bool appending) {
  Node* right = NewNode(t, node->leaf);
  right->parent = node->parent;
  if (node->leaf) {
    // Appending in key order (new IDs) leaves full leaves behind instead of half-empty ones.
    size_t keep = appending ? node->items.size() - 1 : node->items.size() / 2;
    right->items.assign(std::make_move_iterator(node->items.begin() + static_cast<std::ptrdiff_t>(keep)),
                        std::make_move_iterator(node->items.end()));
    node->items.resize(keep);
    // The leaf list: the right half follows the left one.
    size_t index = static_cast<size_t>(std::find(t.leaves.begin(), t.leaves.end(), node) - t.leaves.begin());
    t.leaves.insert(t.leaves.begin() + static_cast<std::ptrdiff_t>(index) + 1, right);
    t.starts.insert(t.starts.begin() + static_cast<std::ptrdiff_t>(index) + 1, t.starts[index] + keep);
  } else {
    // items k = max + 1, children k + 1. The left keeps items [0, m) and children [0, m];
    // item m's key is the left half's largest and moves up; the right takes the rest.
    size_t k = node->items.size();
    size_t m = appending ? k - 2 : k / 2;
    right->items.assign(std::make_move_iterator(node->items.begin() + static_cast<std::ptrdiff_t>(m) + 1),
                        std::make_move_iterator(node->items.end()));
    right->children.assign(node->children.begin() + static_cast<std::ptrdiff_t>(m) + 1, node->children.end());
    node->items.resize(m);
    node->children.resize(m + 1);
    for (Node* child : right->children) child->parent = right;
  }
  MarkDirty(t, node);
  LinkSplit(t, node, right, appending);
}

void MdxFile::LinkSplit(Tag& t, Node* left, Node* right, bool appending) {
  Node* parent = left->parent;
  if (!parent) {
    Node* root = NewNode(t, false);
    root->items.push_back(IndexEntry{MaxKey(left), 0});
    root->children = {left, right};
    left->parent = right->parent = root;
    t.root = root;
    return;
  }
  size_t index = ChildIndex(parent, left);
  parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(index) + 1, right);
  right->parent = parent;
  parent->items.insert(parent->items.begin() + static_cast<std::ptrdiff_t>(index), IndexEntry{MaxKey(left), 0});
  MarkDirty(t, parent);
  if (index + 1 < parent->items.size()) {
    parent->items[index + 1].key = MaxKey(right);
  } else {
    SyncUp(t, parent);  // right is the extra child: the parent's largest key may have moved
  }
  if (parent->items.size() > t.maxKeys) Split(t, parent, appending && index + 1 == parent->items.size());
}

void MdxFile::RemoveEntry(Tag& t, std::string_view key, uint32_t recno) {
  size_t leafIndex, offset;
  if (!FindEntry(t, key, recno, leafIndex, offset)) {
    // The entry may carry another key than the record now gives (a stale index): find it by
    // record number so that no entry is left pointing at the record.
    bool found = false;
    for (size_t li = 0; li < t.leaves.size() && !found; ++li) {
      const auto& items = t.leaves[li]->items;
      for (size_t off = 0; off < items.size(); ++off) {
        if (items[off].recno == recno) {
          leafIndex = li;
          offset = off;
          found = true;
          break;
        }
      }
    }
    if (!found) return;
  }
  Node* leaf = t.leaves[leafIndex];
  leaf->items.erase(leaf->items.begin() + static_cast<std::ptrdiff_t>(offset));
  for (size_t k = leafIndex + 1; k < t.starts.size(); ++k) --t.starts[k];
  --t.count;
  MarkDirty(t, leaf);
  if (leaf->items.empty() && leaf->parent) {
    t.leaves.erase(t.leaves.begin() + static_cast<std::ptrdiff_t>(leafIndex));
    t.starts.erase(t.starts.begin() + static_cast<std::ptrdiff_t>(leafIndex));
    t.lastLeaf = 0;
    Unhook(t, leaf);
    EnsureLeaf(t);
  } else if (offset == leaf->items.size() && !leaf->items.empty()) {
    SyncUp(t, leaf);
  }
}

void MdxFile::Unhook(Tag& t, Node* node) {
  Node* parent = node->parent;
  size_t index = ChildIndex(parent, node);
  bool wasLast = index + 1 == parent->children.size();
  parent->children.erase(parent->children.begin() + static_cast<std::ptrdiff_t>(index));
  if (index < parent->items.size()) {
    parent->items.erase(parent->items.begin() + static_cast<std::ptrdiff_t>(index));
  } else if (!parent->items.empty()) {
    parent->items.pop_back();  // the child before becomes the extra pointer, which has no key
  }
  node->dead = true;
  node->parent = nullptr;
  MarkDirty(t, parent);
  if (parent->children.empty()) {
    if (parent->parent) {
      Unhook(t, parent);
    } else {
      parent->leaf = true;  // the tree is empty: the root becomes an empty leaf
      parent->items.clear();
    }
  } else if (parent->children.size() == 1) {
    ReplaceBySingleChild(t, parent);
  } else if (wasLast) {
    SyncUp(t, parent);
  }
}

void MdxFile::ReplaceBySingleChild(Tag& t, Node* node) {
  Node* child = node->children.front();
  Node* grand = node->parent;
  node->dead = true;
  node->children.clear();
  if (!grand) {
    child->parent = nullptr;
    t.root = child;
    return;
  }
  size_t index = ChildIndex(grand, node);
  grand->children[index] = child;
  child->parent = grand;
  node->parent = nullptr;
  MarkDirty(t, grand);  // the pointer to the child changed
  SyncUp(t, child);
}

void MdxFile::InsertRecord(uint32_t recno, std::string_view record, ChangeWriter& writer) {
  RequireMaintainable();
  for (size_t i = 0; i < tags_.size(); ++i) {
    Tag& t = *tags_[i];
    int tag = static_cast<int>(i);
    if (!Includes(tag, record)) continue;
    std::string key = MakeKey(tag, record);
    if (t.info.unique && HasEqualKey(t, key)) continue;
    InsertEntry(t, std::move(key), recno);
  }
  Flush(writer);
}

void MdxFile::UpdateRecord(uint32_t recno, std::string_view oldRecord, std::string_view newRecord,
                           ChangeWriter& writer) {
  RequireMaintainable();
  for (size_t i = 0; i < tags_.size(); ++i) {
    Tag& t = *tags_[i];
    int tag = static_cast<int>(i);
    bool wasIn = Includes(tag, oldRecord), isIn = Includes(tag, newRecord);
    std::string oldKey = wasIn ? MakeKey(tag, oldRecord) : std::string();
    std::string newKey = isIn ? MakeKey(tag, newRecord) : std::string();
    if (wasIn && isIn && Compare(t, oldKey, newKey) == 0) continue;
    if (wasIn) RemoveEntry(t, oldKey, recno);
    if (isIn && !(t.info.unique && HasEqualKey(t, newKey))) InsertEntry(t, std::move(newKey), recno);
  }
  Flush(writer);
}

void MdxFile::RemoveRecord(uint32_t recno, std::string_view record, ChangeWriter& writer) {
  RequireMaintainable();
  for (size_t i = 0; i < tags_.size(); ++i) {
    int tag = static_cast<int>(i);
    if (!Includes(tag, record)) continue;
    RemoveEntry(*tags_[i], MakeKey(tag, record), recno);
  }
  Flush(writer);
}

void MdxFile::SerializeNode(const Tag& t, const Node* node, uint8_t* block) const {
  std::memset(block, 0, blockBytes_);
  Put32(block, static_cast<uint32_t>(node->items.size()));
  size_t keyLength = static_cast<size_t>(t.info.keyLength);
  for (size_t i = 0; i < node->items.size(); ++i) {
    uint8_t* item = block + 8 + t.itemLength * i;
    Put32(item, node->leaf ? node->items[i].recno : node->children[i]->page);
    std::memcpy(item + 4, node->items[i].key.data(), std::min(keyLength, node->items[i].key.size()));
  }
  if (!node->leaf) Put32(block + 8 + t.itemLength * node->items.size(), node->children.back()->page);
}

void MdxFile::Flush(ChangeWriter& writer) {
  bool any = false;
  std::string block(blockBytes_, '\0');
  for (auto& owned : tags_) {
    Tag& t = *owned;
    if (!t.changed) continue;
    any = true;
    for (Node* node : t.dirtyNodes) {
      node->dirty = false;
      if (node->dead) continue;
      SerializeNode(t, node, U8(block));
      writer.WriteAt(*file_, static_cast<uint64_t>(node->page) * kPageBytes, block);
    }
    t.dirtyNodes.clear();
    uint64_t headerOffset = static_cast<uint64_t>(t.headerPage) * kPageBytes;
    if (t.root->page != t.storedRoot) {
      t.storedRoot = t.root->page;
      Put32(U8(t.headerBlock), t.storedRoot);
      writer.WriteAt(*file_, headerOffset, t.headerBlock.substr(0, 4));
    }
    t.counter = static_cast<uint8_t>(t.counter + 1);
    t.headerBlock[20] = static_cast<char>(t.counter);
    writer.WriteAt(*file_, headerOffset + 20, t.headerBlock.substr(20, 1));
    bool hasKeys = t.count > 0;
    if (hasKeys != t.storedHasKeys) {
      t.storedHasKeys = hasKeys;
      t.headerBlock[246] = hasKeys ? 1 : 0;
      writer.WriteAt(*file_, headerOffset + 246, t.headerBlock.substr(246, 1));
    }
    t.changed = false;
    // Blocks no longer referenced are dropped from memory once written out.
    t.nodes.erase(std::remove_if(t.nodes.begin(), t.nodes.end(), [](const auto& n) { return n->dead; }), t.nodes.end());
  }
  if (!any) return;
  ++version_;
  if (nextPage_ != storedPageCount_) {
    storedPageCount_ = nextPage_;
    Put32(U8(header_, 32), storedPageCount_);
    writer.WriteAt(*file_, 32, header_.substr(32, 4));
  }
  uint8_t today[3];
  TodayYmd(today);
  if (std::memcmp(U8(header_, 44), today, 3) != 0) {
    std::memcpy(U8(header_, 44), today, 3);
    writer.WriteAt(*file_, 44, header_.substr(44, 3));
  }
}

// ---------------------------------------------------------------------------------------------
// Creating and rebuilding

void MdxFile::InitFresh(std::string_view tableBaseName, const std::vector<TagSpec>& specs) {
  if (specs.size() > static_cast<size_t>(kMaxTags))
    throw EngineError(ResultCode::InvalidCall, "Cannot create the index " + file_->Path() + ": more than 47 tags",
                      {file_->Path()});
  header_.assign(kHeaderBytes, '\0');
  uint8_t* h = U8(header_);
  uint8_t today[3];
  TodayYmd(today);
  h[0] = 2;
  std::memcpy(h + 1, today, 3);
  std::string name = UpperAscii(tableBaseName.substr(0, 16));
  std::memcpy(h + 4, name.data(), name.size());
  pagesPerBlock_ = 2;
  blockBytes_ = 1024;
  Put16(h + 20, pagesPerBlock_);
  Put16(h + 22, static_cast<uint16_t>(blockBytes_));
  h[24] = 1;     // production index of its table
  h[25] = 0x30;  // 48 slots, slot 0 included
  h[26] = 0x20;  // 32 bytes a slot
  h[31] = 0x1B;
  std::memcpy(h + 44, today, 3);
  h[512 + 17] = 1;  // slot 0: the anchor of the tag-name tree points at tag 1
  for (const TagSpec& spec : specs) AppendTag(spec);
}

void MdxFile::AppendTag(const TagSpec& spec) {
  auto refuse = [&](const std::string& why) {
    throw EngineError(ResultCode::InvalidCall, "Cannot create the index tag " + spec.name + " in " + file_->Path() + ": " + why,
                      {file_->Path()});
  };
  if (tags_.size() >= static_cast<size_t>(kMaxTags)) refuse("the index holds 47 tags already");
  std::string tagName = UpperAscii(spec.name);
  if (tagName.empty() || tagName.size() > 10) refuse("a tag name must have 1 to 10 characters");
  if (FindTag(tagName) >= 0) refuse("the tag name is in use");
  if (spec.expression.empty() || spec.expression.size() > kExpressionRoom)
    refuse("the key expression must have 1 to 220 characters");

  std::string why;
  auto expr = KeyExpression::Parse(spec.expression, fields_, &why);
  if (!expr) refuse("key expression " + spec.expression + ": " + why);
  KeyType type = KeyType::Character;
  int keyLength = 0;
  switch (expr->Type()) {
    case ValueType::Character:
      type = KeyType::Character;
      keyLength = expr->Width();
      break;
    case ValueType::Numeric:
      type = KeyType::Numeric;
      keyLength = 12;
      break;
    case ValueType::Date:
      type = KeyType::Date;
      keyLength = 8;
      break;
    default:
      refuse("a logical key expression");
  }
  if (keyLength < 1 || static_cast<size_t>(keyLength) > kMaxKeyLength)
    refuse("key length " + std::to_string(keyLength) + " (1 to 100)");

  const size_t i = tags_.size();
  auto tag = std::make_unique<Tag>();
  Tag& t = *tag;
  t.slot = static_cast<int>(i) + 1;
  t.info.name = tagName;
  t.info.expression = spec.expression;
  t.info.type = type;
  t.info.keyLength = keyLength;
  t.info.descending = spec.descending;
  t.info.unique = spec.unique;
  t.itemLength = static_cast<uint16_t>((keyLength + 4 + 3) / 4 * 4);
  t.maxKeys = static_cast<uint16_t>((blockBytes_ - 12) / t.itemLength);
  t.counter = 0;  // the fresh write makes it 1

  t.headerBlock.assign(blockBytes_, '\0');
  uint8_t* th = U8(t.headerBlock);
  th[8] = static_cast<uint8_t>(0x10 | (spec.descending ? 0x08 : 0) | (spec.unique ? 0x40 : 0));
  th[9] = static_cast<uint8_t>(type);
  th[11] = 0x1B;
  Put16(th + 12, static_cast<uint16_t>(keyLength));
  Put16(th + 14, t.maxKeys);
  Put16(th + 16, type == KeyType::Date ? 1 : 0);
  Put16(th + 18, t.itemLength);
  if (spec.unique) th[23] = 0x40;
  std::memcpy(th + 24, spec.expression.data(), spec.expression.size());

  uint8_t* h = U8(header_);
  uint8_t* slot = h + 544 + 32 * i;
  std::memset(slot, 0, 32);
  std::memcpy(slot + 4, tagName.data(), tagName.size());
  slot[15] = 0x10;
  slot[19] = 0x02;
  slot[20] = static_cast<uint8_t>(type);
  Put16(h + 28, static_cast<uint16_t>(i + 1));
  h[30] = static_cast<uint8_t>(i + 2);

  t.root = nullptr;
  SetUpTag(t);
  infos_.push_back(t.info);
  tags_.push_back(std::move(tag));
  LinkTagNames();
}

// The tag-name tree over the slots, made again from the names alone (a file from elsewhere may
// hold links this engine would not trust): each tag in slot order is inserted into a binary
// search tree of the names, tag 1 its root.
void MdxFile::LinkTagNames() {
  uint8_t* h = U8(header_);
  for (size_t i = 0; i < tags_.size(); ++i) {
    uint8_t* slot = h + 544 + 32 * i;
    slot[16] = slot[17] = slot[18] = 0;
    for (size_t at = 0; i > 0;) {  // slot index (0-based) of the current tree node
      uint8_t* cur = h + 544 + 32 * at;
      const bool less = std::memcmp(slot + 4, cur + 4, 11) < 0;
      uint8_t& link = cur[less ? 16 : 17];
      if (link == 0) {
        link = static_cast<uint8_t>(i + 1);
        slot[18] = static_cast<uint8_t>(at + 1);
        break;
      }
      at = link - 1u;
    }
  }
}

void MdxFile::AddTag(const TagSpec& spec, const std::vector<std::string_view>& records, ChangeWriter& writer) {
  RequireMaintainable();
  AppendTag(spec);
  Rebuild(records, writer);
}

void MdxFile::WriteFresh(ChangeWriter& writer, const std::vector<std::vector<IndexEntry>>& entries, bool bumpCounters) {
  uint32_t page = kFirstBlockPage;
  std::vector<std::pair<const Tag*, const Node*>> blocks;  // every node block, in page order
  std::vector<std::pair<uint32_t, Tag*>> headers;
  for (size_t i = 0; i < tags_.size(); ++i) {
    Tag& t = *tags_[i];
    t.nodes.clear();
    t.dirtyNodes.clear();
    t.changed = false;
    t.headerPage = page;
    page += pagesPerBlock_;
    headers.push_back({t.headerPage, &t});

    // Bulk build: leaves filled left to right, each level above collects (child, largest key).
    const auto& list = entries[i];
    std::vector<Node*> level;
    auto makeNode = [&](bool leaf) {
      t.nodes.push_back(std::make_unique<Node>());
      Node* n = t.nodes.back().get();
      n->leaf = leaf;
      n->page = page;
      page += pagesPerBlock_;
      blocks.push_back({&t, n});
      return n;
    };
    size_t perLeaf = t.maxKeys;
    if (list.empty()) {
      level.push_back(makeNode(true));
    }
    for (size_t at = 0; at < list.size(); at += perLeaf) {
      Node* leaf = makeNode(true);
      size_t end = std::min(list.size(), at + perLeaf);
      leaf->items.assign(list.begin() + static_cast<std::ptrdiff_t>(at), list.begin() + static_cast<std::ptrdiff_t>(end));
      level.push_back(leaf);
    }
    while (level.size() > 1) {
      size_t fan = static_cast<size_t>(t.maxKeys) + 1;
      std::vector<size_t> sizes;
      for (size_t left = level.size(); left > 0;) {
        size_t take = std::min(fan, left);
        sizes.push_back(take);
        left -= take;
      }
      if (sizes.size() > 1 && sizes.back() == 1) {  // never a parent of a single child
        --sizes[sizes.size() - 2];
        ++sizes.back();
      }
      std::vector<Node*> above;
      size_t at = 0;
      for (size_t size : sizes) {
        Node* parent = makeNode(false);
        for (size_t k = 0; k < size; ++k) {
          Node* child = level[at + k];
          child->parent = parent;
          parent->children.push_back(child);
          if (k + 1 < size) parent->items.push_back(IndexEntry{MaxKey(child), 0});
        }
        at += size;
        above.push_back(parent);
      }
      level = std::move(above);
    }
    t.root = level.front();
    t.root->parent = nullptr;
    IndexLeaves(t);
    t.ordered = true;

    uint8_t* th = U8(t.headerBlock);
    Put32(th, t.root->page);
    Put32(th + 4, 0);
    std::memset(th + 248, 0, 8);
    t.counter = static_cast<uint8_t>(bumpCounters ? t.counter + 1 : 1);
    th[20] = t.counter;
    th[246] = t.count > 0 ? 1 : 0;
    t.storedRoot = t.root->page;
    t.storedHasKeys = t.count > 0;
    Put32(U8(header_, 544 + 32 * i), t.headerPage);
  }
  nextPage_ = page;
  storedPageCount_ = page;
  uint8_t* h = U8(header_);
  Put32(h + 32, page);
  Put32(h + 36, 0);  // no free list: every block in use
  uint8_t today[3];
  TodayYmd(today);
  std::memcpy(h + 44, today, 3);

  std::string image(static_cast<size_t>(page) * kPageBytes, '\0');
  std::memcpy(image.data(), header_.data(), kHeaderBytes);
  for (auto& [p, t] : headers) std::memcpy(image.data() + static_cast<size_t>(p) * kPageBytes, t->headerBlock.data(), blockBytes_);
  for (auto& [owner, node] : blocks) SerializeNode(*owner, node, U8(image, static_cast<size_t>(node->page) * kPageBytes));
  uint64_t oldSize = file_->Size();
  writer.WriteAt(*file_, 0, image);
  if (oldSize > image.size()) writer.Truncate(*file_, image.size());
  ++version_;
}

void MdxFile::Rebuild(const std::vector<std::string_view>& records, ChangeWriter& writer) {
  RequireMaintainable();
  std::vector<std::vector<IndexEntry>> entries(tags_.size());
  for (size_t i = 0; i < tags_.size(); ++i) {
    const Tag& t = *tags_[i];
    int tag = static_cast<int>(i);
    auto& list = entries[i];
    list.reserve(records.size());
    for (size_t r = 0; r < records.size(); ++r) {
      std::string_view record = records[r];
      if (!record.empty() && record[0] == '*') continue;
      if (!Includes(tag, record)) continue;
      list.push_back(IndexEntry{MakeKey(tag, record), static_cast<uint32_t>(r + 1)});
    }
    std::stable_sort(list.begin(), list.end(),
                     [&](const IndexEntry& a, const IndexEntry& b) { return Compare(t, a.key, b.key) < 0; });
    if (t.info.unique) {
      auto last = std::unique(list.begin(), list.end(), [&](const IndexEntry& a, const IndexEntry& b) {
        return Compare(t, a.key, b.key) == 0;
      });
      list.erase(last, list.end());
    }
  }
  WriteFresh(writer, entries, true);
}

// ---------------------------------------------------------------------------------------------
// Checking

std::vector<std::string> MdxFile::Check(const std::vector<std::string_view>& records,
                                        std::vector<std::string>* notes) const {
  std::vector<std::string> problems;
  for (size_t i = 0; i < tags_.size(); ++i) {
    const Tag& t = *tags_[i];
    int tag = static_cast<int>(i);
    std::string label = "Index tag " + t.info.name + ": ";
    // Lines of one kind are bounded, so a wrecked tag gives a readable report.
    std::vector<size_t> kindCount(8, 0);
    auto report = [&](size_t kind, std::string line) {
      if (++kindCount[kind] <= kMaxProblemLinesPerKind) problems.push_back(label + line);
    };

    std::vector<std::vector<size_t>> byRecord(records.size() + 1);
    for (size_t pos = 0; pos < t.count; ++pos) {
      const IndexEntry& e = EntryAt(tag, pos);
      if (pos > 0) {
        const IndexEntry& prev = EntryAt(tag, pos - 1);
        int c = Compare(t, prev.key, e.key);
        if (c > 0) report(0, "entries " + std::to_string(pos) + " and " + std::to_string(pos + 1) + " are out of order");
        else if (c == 0 && t.info.unique)
          report(1, "records " + std::to_string(prev.recno) + " and " + std::to_string(e.recno) +
                        " share a key in a unique tag");
      }
      if (e.recno == 0 || e.recno > records.size()) {
        report(2, "an entry points at record " + std::to_string(e.recno) + ", beyond the table's " +
                      std::to_string(records.size()) + " records");
        continue;
      }
      byRecord[e.recno].push_back(pos);
    }
    for (size_t k = 0; k < kindCount.size(); ++k) {
      if (kindCount[k] > kMaxProblemLinesPerKind)
        problems.push_back(label + "and " + std::to_string(kindCount[k] - kMaxProblemLinesPerKind) + " more like these");
      kindCount[k] = 0;
    }

    if (!t.info.maintainable) {
      if (notes) notes->push_back(label + "keys not compared with the records: " + t.info.notMaintainableWhy);
      continue;
    }
    size_t belonging = 0;
    for (size_t r = 1; r <= records.size(); ++r) {
      std::string_view record = records[r - 1];
      if (!record.empty() && record[0] == '*') {
        if (!byRecord[r].empty() && notes)
          notes->push_back(label + "keeps an entry for deleted record " + std::to_string(r));
        continue;
      }
      if (Includes(tag, record)) ++belonging;
    }
    if (t.count == 0 && belonging > 0) {
      problems.push_back(label + "holds no entries, although " + std::to_string(belonging) +
                         " records belong in it");
      continue;
    }
    for (size_t r = 1; r <= records.size(); ++r) {
      std::string_view record = records[r - 1];
      if (!record.empty() && record[0] == '*') continue;
      const auto& positions = byRecord[r];
      bool belongs = Includes(tag, record);
      std::string rec = "record " + std::to_string(r);
      if (!belongs) {
        if (!positions.empty()) report(3, rec + " has an entry although its FOR condition leaves it out");
        continue;
      }
      std::string key = MakeKey(tag, record);
      if (positions.empty()) {
        if (!t.info.unique) {
          report(4, rec + " has no entry");
        } else if (!HasEqualKey(t, key)) {
          // A unique tag keeps the first record of a key; when that record goes or changes,
          // the next one with the key comes in only with a rebuild, as other programs do it.
          if (notes) notes->push_back(label + rec + " has no entry; its key has none until the tag is rebuilt");
        }
        continue;
      }
      if (positions.size() > 1) report(5, rec + " has " + std::to_string(positions.size()) + " entries");
      if (Compare(t, EntryAt(tag, positions.front()).key, key) != 0) report(6, rec + ": the entry's key differs from the record's");
    }
    for (size_t k = 0; k < kindCount.size(); ++k) {
      if (kindCount[k] > kMaxProblemLinesPerKind)
        problems.push_back(label + "and " + std::to_string(kindCount[k] - kMaxProblemLinesPerKind) + " more like these");
    }
  }
  return problems;
}

}  // namespace

int TagForFields(const MdxIndex& index, const std::vector<int>& fields) {
  const auto& tags = index.Tags();
  for (size_t t = 0; t < tags.size(); ++t) {
    const TagInfo& info = tags[t];
    if (info.keyFields.size() < fields.size() || !info.maintainable || !info.forExpression.empty()) continue;
    if (std::equal(fields.begin(), fields.end(), info.keyFields.begin())) return static_cast<int>(t);
  }
  return -1;
}

std::unique_ptr<MdxIndex> MdxIndex::Open(File& file, const std::vector<FieldDesc>& fields) {
  auto index = std::make_unique<MdxFile>(file, fields);
  index->Load();
  return index;
}

std::unique_ptr<MdxIndex> MdxIndex::Create(File& file, ChangeWriter& writer, std::string_view tableBaseName,
                                           const std::vector<FieldDesc>& fields, const std::vector<TagSpec>& tags) {
  auto index = std::make_unique<MdxFile>(file, fields);
  index->InitFresh(tableBaseName, tags);
  index->WriteFresh(writer, std::vector<std::vector<IndexEntry>>(tags.size()), false);
  return index;
}

}  // namespace tindrel::engine
