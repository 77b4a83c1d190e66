// The production index read from real files of other programs, created byte for byte, and
// refused with a clear error when its bytes are damaged.

#include "store/engine/MdxIndex.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "store/engine/BcdNumber.h"
#include "store/engine/EngineError.h"
#include "tests/engine/MdxTestSupport.h"
#include "tests/support/Fixtures.h"

namespace tindrel::engine {
namespace {

using testing::DirectWriter;
using testing::Hex;
using testing::OpenFile;
using testing::ReadAll;
using testing::TempDir;
using testing::Unhex;
using testing::WriteAll;

using tindrel::testing::FixtureFile;

// ---------------------------------------------------------------------------------------------
// Fixture tables: every tag reads in exactly the order its listing gives.

struct ListedTag {
  std::string name, expression;
  char type = 0;
  int keyLength = 0;
  bool unique = false;
  std::vector<std::pair<uint32_t, std::string>> entries;  // record number, raw key
};

std::vector<ListedTag> ReadListing(const std::string& path) {
  std::ifstream in(path);
  std::vector<ListedTag> tags;
  std::string line;
  bool inEntries = false;
  while (std::getline(in, line)) {
    if (line.rfind("[TAG ", 0) == 0) {
      tags.push_back({});
      tags.back().name = line.substr(5, line.size() - 6);
      inEntries = false;
      continue;
    }
    if (tags.empty()) continue;
    ListedTag& t = tags.back();
    auto value = [&](const char* label) -> std::string {
      std::string prefix = std::string("  ") + label + ": ";
      return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : std::string();
    };
    if (auto v = value("expr"); !v.empty()) t.expression = v.substr(1, v.size() - 2);
    if (auto v = value("keytype"); !v.empty()) t.type = v[1];
    if (auto v = value("keylen"); !v.empty()) t.keyLength = std::stoi(v);
    if (auto v = value("hdr_keyfmt"); !v.empty()) t.unique = (std::stoi(v, nullptr, 16) & 0x40) != 0;
    if (line.rfind("  entries in index order", 0) == 0) {
      inEntries = true;
      continue;
    }
    if (line.rfind("  check:", 0) == 0) inEntries = false;
    if (inEntries) {
      std::istringstream fields(line);
      std::string recno, bar1, rest;
      fields >> recno >> bar1;
      // "   3 |     | hex | key": the hex is the third column.
      auto first = line.find('|');
      auto second = line.find('|', first + 1);
      auto third = line.find('|', second + 1);
      std::string hex = line.substr(second + 1, third - second - 1);
      hex.erase(0, hex.find_first_not_of(' '));
      hex.erase(hex.find_last_not_of(' ') + 1);
      t.entries.push_back({static_cast<uint32_t>(std::stoul(recno)), Unhex(hex)});
    }
  }
  return tags;
}

class FixtureIndex : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureIndex, ReadsEveryTagInTheFilesOrderAndChecksAgainstTheRecords) {
  const std::string base = GetParam();
  auto listed = ReadListing(FixtureFile(base + ".mdx-keys.txt"));
  ASSERT_FALSE(listed.empty());
  auto dbf = testing::ReadDbf(FixtureFile(base + ".dbf"));
  auto file = OpenFile(FixtureFile(base + ".mdx"), OpenMode::ReadOnly);
  auto index = MdxIndex::Open(*file, dbf.fields);

  ASSERT_EQ(index->Tags().size(), listed.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    const ListedTag& want = listed[i];
    const TagInfo& info = index->Tags()[i];
    SCOPED_TRACE(want.name);
    int tag = static_cast<int>(i);
    EXPECT_EQ(info.name, want.name);
    EXPECT_EQ(index->FindTag(want.name), tag);
    EXPECT_EQ(info.expression, want.expression);
    EXPECT_EQ(static_cast<char>(info.type), want.type);
    EXPECT_EQ(info.keyLength, want.keyLength);
    EXPECT_EQ(info.unique, want.unique);
    EXPECT_TRUE(info.maintainable) << info.notMaintainableWhy;
    EXPECT_FALSE(info.keyFields.empty());
    ASSERT_EQ(index->EntryCount(tag), want.entries.size());
    for (size_t p = 0; p < want.entries.size(); ++p) {
      const IndexEntry& e = index->EntryAt(tag, p);
      EXPECT_EQ(e.recno, want.entries[p].first) << "position " << p;
      EXPECT_EQ(Hex(e.key), Hex(want.entries[p].second)) << "position " << p;
      // Our key for the record equals the stored one in the tag's comparison (numeric keys of
      // other writers count their digits differently).
      EXPECT_EQ(index->CompareKeys(tag, index->MakeKey(tag, dbf.records[e.recno - 1]), e.key), 0);
      EXPECT_EQ(index->Find(tag, e.key, e.recno), p);
      EXPECT_LE(index->LowerBound(tag, e.key), p);
    }
  }

  std::vector<std::string> notes;
  auto problems = index->Check(dbf.Views(), &notes);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureIndex, ::testing::Values("symlist", "changelog", "siprom", "baustein", "test"));

TEST(MdxIndex, AnEmptyTagIsReportedOnlyWhenRecordsBelongInIt) {
  // __OPHIST has no keys because its FOR condition is .FALSE.; without the condition the same
  // empty tag is a fault.
  auto dbf = testing::ReadDbf(FixtureFile("symlist.dbf"));
  std::string bytes = ReadAll(FixtureFile("symlist.mdx"));
  {
    auto file = OpenFile(FixtureFile("symlist.mdx"), OpenMode::ReadOnly);
    auto index = MdxIndex::Open(*file, dbf.fields);
    int tag = index->FindTag("__OPHIST");
    EXPECT_EQ(index->Tags()[tag].forExpression, ".FALSE.");
    EXPECT_FALSE(index->Includes(tag, dbf.records[0]));
  }
  TempDir dir;
  std::string path = dir.File("symlist.mdx");
  bytes[12 * 512 + 245] = 0;  // __OPHIST's header: no FOR condition
  WriteAll(path, bytes);
  auto file = OpenFile(path, OpenMode::ReadOnly);
  auto index = MdxIndex::Open(*file, dbf.fields);
  EXPECT_EQ(index->Check(dbf.Views()),
            std::vector<std::string>{"Index tag __OPHIST: holds no entries, although 9 records belong in it"});
}

TEST(MdxIndex, FixtureKeyFieldsAndSearches) {
  auto dbf = testing::ReadDbf(FixtureFile("siprom.dbf"));
  auto file = OpenFile(FixtureFile("siprom.mdx"), OpenMode::ReadOnly);
  auto index = MdxIndex::Open(*file, dbf.fields);
  int link = index->FindTag("link_tag");
  ASSERT_GE(link, 0);
  // STR(PUNITTYPE,11,0)+STR(PUNITID,11,0)+STR(POBJTYPE,11,0)+STR(POBJID,11,0)
  EXPECT_EQ(index->Tags()[link].keyFields, (std::vector<int>{2, 3, 4, 5}));
  EXPECT_EQ(index->FindTag("nope"), -1);

  auto numbers = testing::ReadDbf(FixtureFile("changelog.dbf"));
  auto changelogFile = OpenFile(FixtureFile("changelog.mdx"), OpenMode::ReadOnly);
  auto changelog = MdxIndex::Open(*changelogFile, numbers.fields);
  int action = changelog->FindTag("ACTION_TAG");
  // ACTION holds 2, 2, 13: the stored order is records 2, 1, 3.
  EXPECT_EQ(changelog->LowerBound(action, bcd::EncodeText("2")), 0u);
  EXPECT_EQ(changelog->LowerBound(action, bcd::EncodeText("3")), 2u);
  EXPECT_EQ(changelog->LowerBound(action, bcd::EncodeText("14")), 3u);
  EXPECT_EQ(changelog->Find(action, bcd::EncodeText("2"), 1), 1u);
  EXPECT_EQ(changelog->Find(action, bcd::EncodeText("2"), 3), 3u);  // absent
}

// ---------------------------------------------------------------------------------------------
// Creating: the recommended minimal file, byte for byte.

std::vector<FieldDesc> NameNotesFields() {
  return {{"NAME", 'C', 10, 0, 1, true}, {"NOTES", 'M', 10, 0, 11, false}};
}

std::string TodayBytes() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return std::string{static_cast<char>(local.tm_year), static_cast<char>(local.tm_mon + 1),
                     static_cast<char>(local.tm_mday)};
}

std::string MinimalMdx() {
  std::string f(4096, '\0');
  auto put = [&](size_t at, std::string_view hex) {
    std::string b = Unhex(hex);
    f.replace(at, b.size(), b);
  };
  std::string today = TodayBytes();
  put(0x00, "02" + Hex(today) + "45");
  put(0x10, "0000000002000004013020000100021b");
  put(0x20, "080000000000000000000000" + Hex(today) + "00");
  put(0x210, "0001");
  put(0x220, "040000004e414d45000000000000001000000002430000");
  put(0x800, "06000000000000001043001b0a003f00");
  put(0x810, "00001000010000004e414d45");
  return f;
}

TEST(MdxIndex, CreatesTheMinimalFileByteForByteAndInsertsTheFirstKey) {
  TempDir dir;
  std::string path = dir.File("E.MDX");
  auto file = OpenFile(path, OpenMode::CreateReadWrite);
  DirectWriter writer;
  auto index = MdxIndex::Create(*file, writer, "e", NameNotesFields(), {{"NAME", "NAME"}});
  std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 4096u);
  std::string want = MinimalMdx();
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(Hex(bytes.substr(i, 1)), Hex(want.substr(i, 1))) << "offset " << i;

  const TagInfo& info = index->Tags().at(0);
  EXPECT_TRUE(info.maintainable);
  EXPECT_EQ(info.keyFields, std::vector<int>{0});
  EXPECT_EQ(info.keyLength, 10);

  std::string record = " ALPHA" + std::string(5, ' ') + std::string(10, ' ');
  writer.Reset();
  index->InsertRecord(1, record, writer);
  bytes = ReadAll(path);
  // 1 key; record 1; "ALPHA" padded to 10; 2 padding bytes; extra pointer 0 (a leaf).
  want.replace(0xC00, 32, Unhex("01000000" "00000000" "01000000" "414c5048412020202020" "0000" "00000000"));
  want[0x800 + 20] = 2;   // change counter
  want[0x800 + 246] = 1;  // the tag has keys
  ASSERT_EQ(bytes.size(), 4096u);
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(Hex(bytes.substr(i, 1)), Hex(want.substr(i, 1))) << "offset " << i;
  // Only the tag header and the leaf were written.
  EXPECT_EQ(writer.pages, (std::set<uint64_t>{4, 6, 7}));
  EXPECT_EQ(index->EntryCount(0), 1u);
  EXPECT_EQ(index->EntryAt(0, 0).key, "ALPHA     ");
}

TEST(MdxIndex, CreateRefusesBadTagDefinitions) {
  TempDir dir;
  auto file = OpenFile(dir.File("x.mdx"), OpenMode::CreateReadWrite);
  DirectWriter writer;
  std::vector<std::vector<MdxIndex::TagSpec>> bad = {
      {{"TOOLONGNAME1", "NAME"}},
      {{"", "NAME"}},
      {{"A", "NAME"}, {"a", "NAME"}},
      {{"A", "NOSUCH"}},
      {{"A", "NAME = 'x'"}},
      {{"A", "NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME+NAME"}},  // 110 bytes
      std::vector<MdxIndex::TagSpec>(48, {"T", "NAME"}),
  };
  for (auto& tags : bad) {
    try {
      MdxIndex::Create(*file, writer, "X", NameNotesFields(), tags);
      ADD_FAILURE() << "accepted " << tags.front().name << " / " << tags.front().expression;
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), ResultCode::InvalidCall);
    }
  }
}

TEST(MdxIndex, TagNameTreeLinksFollowInsertionOrder) {
  // Names inserted in slot order into a binary search tree; (less, greater, parent) per slot.
  TempDir dir;
  std::string path = dir.File("t.mdx");
  auto file = OpenFile(path, OpenMode::CreateReadWrite);
  DirectWriter writer;
  std::vector<MdxIndex::TagSpec> tags;
  for (const char* name : {"CNAME", "NNUM", "DDT", "DESCN", "UNIQN", "FILTN", "EXPR"}) tags.push_back({name, "NAME"});
  MdxIndex::Create(*file, writer, "T", NameNotesFields(), tags);
  std::string bytes = ReadAll(path);
  const int want[7][3] = {{0, 2, 0}, {3, 5, 1}, {0, 4, 2}, {0, 6, 3}, {0, 0, 2}, {7, 0, 4}, {0, 0, 6}};
  for (int i = 0; i < 7; ++i) {
    size_t slot = 544 + 32 * i;
    EXPECT_EQ(bytes[slot + 16], want[i][0]) << i;
    EXPECT_EQ(bytes[slot + 17], want[i][1]) << i;
    EXPECT_EQ(bytes[slot + 18], want[i][2]) << i;
  }
  EXPECT_EQ(bytes.size(), (4 + 7 * 4) * 512u);
}

// ---------------------------------------------------------------------------------------------
// Damaged files: every corruption is refused with IndexDamaged naming the file.

uint32_t Get32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8) | (static_cast<uint8_t>(b[at + 2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void Put16(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}

std::vector<FieldDesc> IdNameFields() { return {{"ID", 'N', 10, 0, 1, true}, {"NAME", 'C', 12, 0, 11, false}}; }

std::string IdNameRecord(long id, std::string_view name) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " %10ld%-12.12s", id, std::string(name).c_str());
  return buf;
}

// A two-tag index with a multi-level ID tree: 3000 records.
std::string BuildTwoLevelIndex(const TempDir& dir) {
  std::string path = dir.File("big.mdx");
  auto file = OpenFile(path, OpenMode::CreateReadWrite);
  DirectWriter writer;
  auto index = MdxIndex::Create(*file, writer, "BIG", IdNameFields(), {{"ID", "ID"}, {"NAME", "UPPER(NAME)"}});
  std::vector<std::string> records;
  for (long i = 1; i <= 3000; ++i) records.push_back(IdNameRecord(i, "n" + std::to_string(i % 97)));
  std::vector<std::string_view> views(records.begin(), records.end());
  index->Rebuild(views, writer);
  return ReadAll(path);
}

TEST(MdxIndex, RefusesDamagedFiles) {
  TempDir dir;
  const std::string good = BuildTwoLevelIndex(dir);
  const size_t tag1 = 544, header1 = Get32(good, tag1) * 512;
  const size_t root1 = Get32(good, header1) * 512;
  const size_t header2 = Get32(good, tag1 + 32) * 512;
  ASSERT_NE(Get32(good, root1 + 8 + 16 * Get32(good, root1)), 0u) << "the ID root must be an interior node";
  const uint32_t firstChild = Get32(good, root1 + 8);
  const uint32_t pages = static_cast<uint32_t>(good.size() / 512);

  struct Corruption {
    const char* what;
    std::function<void(std::string&)> apply;
  };
  const std::vector<Corruption> corruptions = {
      {"shorter than its header", [](std::string& b) { b.resize(1000); }},
      {"unknown version", [](std::string& b) { b[0] = 3; }},
      {"block size of 0 pages", [](std::string& b) { Put16(b, 20, 0); }},
      {"block size of 64 pages", [](std::string& b) { Put16(b, 20, 64); Put16(b, 22, 64 * 512); }},
      {"block bytes disagree", [](std::string& b) { Put16(b, 22, 2048); }},
      {"48 tags", [](std::string& b) { Put16(b, 28, 48); }},
      {"tag header page outside", [&](std::string& b) { Put32(b, tag1, pages + 10); }},
      {"tag header page in the tag table", [&](std::string& b) { Put32(b, tag1, 1); }},
      {"tag header page huge", [&](std::string& b) { Put32(b, tag1, 0xFFFFFFFF); }},
      {"key type", [&](std::string& b) { b[header1 + 9] = 'X'; }},
      {"key length 0", [&](std::string& b) { Put16(b, header2 + 12, 0); }},
      {"key length 101", [&](std::string& b) { Put16(b, header2 + 12, 101); Put16(b, header2 + 18, 108); Put16(b, header2 + 14, 9); }},
      {"numeric key length 11", [&](std::string& b) { Put16(b, header1 + 12, 11); }},
      {"item length too small", [&](std::string& b) { Put16(b, header1 + 18, 12); }},
      {"keys per node beyond the block", [&](std::string& b) { Put16(b, header1 + 14, 200); }},
      {"keys per node zero", [&](std::string& b) { Put16(b, header1 + 14, 0); }},
      {"root outside", [&](std::string& b) { Put32(b, header1, pages); }},
      {"root zero", [&](std::string& b) { Put32(b, header1, 0); }},
      {"node key count beyond max", [&](std::string& b) { Put32(b, root1, 64); }},
      {"node key count huge", [&](std::string& b) { Put32(b, root1, 0x7FFFFFFF); }},
      {"child outside", [&](std::string& b) { Put32(b, root1 + 8, pages + 1); }},
      {"child is the root (cycle)", [&](std::string& b) { Put32(b, root1 + 8, static_cast<uint32_t>(root1 / 512)); }},
      {"child twice", [&](std::string& b) { Put32(b, root1 + 8 + 16, firstChild); }},
      {"child is a tag header", [&](std::string& b) { Put32(b, root1 + 8, static_cast<uint32_t>(header2 / 512)); }},
      {"two tags share a root", [&](std::string& b) { Put32(b, header2, Get32(b, header1)); }},
      {"chain deeper than any real tree", [&](std::string& b) {
         // 40 interior nodes of one child each, appended at the end: no cycle, only depth.
         uint32_t first = static_cast<uint32_t>(b.size() / 512);
         for (uint32_t k = 0; k < 40; ++k) {
           std::string block(1024, '\0');
           Put32(block, 8, k + 1 < 40 ? first + 2 * (k + 1) : firstChild);
           b += block;
         }
         Put32(b, header1, first);
       }},
  };
  for (const Corruption& c : corruptions) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    c.apply(bytes);
    std::string path = dir.File("bad.mdx");
    WriteAll(path, bytes);
    auto file = OpenFile(path, OpenMode::ReadOnly);
    try {
      MdxIndex::Open(*file, IdNameFields());
      ADD_FAILURE() << "opened";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), ResultCode::IndexDamaged) << e.what();
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
  // The untouched file opens.
  WriteAll(dir.File("ok.mdx"), good);
  auto file = OpenFile(dir.File("ok.mdx"), OpenMode::ReadOnly);
  EXPECT_EQ(MdxIndex::Open(*file, IdNameFields())->EntryCount(0), 3000u);
}

TEST(MdxIndex, UnevaluableTagsReadButRefuseChanges) {
  TempDir dir;
  std::string bytes = BuildTwoLevelIndex(dir);
  size_t header2 = Get32(bytes, 544 + 32) * 512;
  const std::string expr = "SOUNDEX(NAME)";
  bytes.replace(header2 + 24, 220, std::string(220, '\0'));
  bytes.replace(header2 + 24, expr.size(), expr);
  std::string path = dir.File("odd.mdx");
  WriteAll(path, bytes);
  auto file = OpenFile(path);
  auto index = MdxIndex::Open(*file, IdNameFields());
  EXPECT_FALSE(index->Tags()[1].maintainable);
  EXPECT_NE(index->Tags()[1].notMaintainableWhy.find("SOUNDEX"), std::string::npos);
  EXPECT_EQ(index->EntryCount(1), 3000u);
  DirectWriter writer;
  try {
    index->InsertRecord(3001, IdNameRecord(3001, "x"), writer);
    ADD_FAILURE() << "changed an unmaintainable index";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::Unsupported);
  }
  EXPECT_EQ(writer.bytesWritten, 0u);
  EXPECT_EQ(index->EntryCount(0), 3000u);
}

}  // namespace
}  // namespace tindrel::engine
