// Keeping the index's trees valid through thousands of inserts, updates and removals: the order
// in memory, the file read afresh, Check and other programs' readers must all agree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "store/engine/EngineError.h"
#include "store/engine/MdxIndex.h"
#include "tests/engine/MdxTestSupport.h"

namespace tindrel::engine {
namespace {

using testing::DirectWriter;
using testing::OpenFile;
using testing::ReadAll;
using testing::TempDir;

// ID N10, NAME C12, GRP C2, BORN D8.
std::vector<FieldDesc> Fields() {
  return {{"ID", 'N', 10, 0, 1, true}, {"NAME", 'C', 12, 0, 11, false}, {"GRP", 'C', 2, 0, 23, false},
          {"BORN", 'D', 8, 0, 25, false}};
}

std::string MakeRecord(long id, const std::string& name, const std::string& grp, const std::string& born) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " %10ld%-12.12s%-2.2s%-8.8s", id, name.c_str(), grp.c_str(), born.c_str());
  return buf;
}

const std::vector<MdxIndex::TagSpec> kTags = {
    {"ID", "ID"},                       // numeric
    {"NAME", "UPPER(NAME)"},            // character expression
    {"NAMED", "NAME", true},            // descending
    {"IDD", "ID", true},                // numeric descending
    {"GRPU", "GRP", false, true},       // unique
    {"BORN", "BORN"},                   // date
};

uint32_t Get32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8) | (static_cast<uint8_t>(b[at + 2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24);
}

class Model {
 public:
  explicit Model(const MdxIndex& index) : index_(index) {}
  std::vector<std::string> records;  // '*' first: removed
  std::map<std::string, uint32_t> unique;  // GRPU: key -> the record that holds it

  std::vector<IndexEntry> Expected(int tag) const {
    std::vector<IndexEntry> list;
    if (index_.Tags()[tag].unique) {
      for (auto& [key, recno] : unique) list.push_back({key, recno});
    } else {
      for (size_t r = 0; r < records.size(); ++r) {
        if (records[r][0] != '*') list.push_back({index_.MakeKey(tag, records[r]), static_cast<uint32_t>(r + 1)});
      }
    }
    std::sort(list.begin(), list.end(), [&](const IndexEntry& a, const IndexEntry& b) {
      int c = index_.CompareKeys(tag, a.key, b.key);
      return c != 0 ? c < 0 : a.recno < b.recno;
    });
    return list;
  }

 private:
  const MdxIndex& index_;
};

std::vector<IndexEntry> Entries(const MdxIndex& index, int tag) {
  std::vector<IndexEntry> list;
  for (size_t p = 0; p < index.EntryCount(tag); ++p) list.push_back(index.EntryAt(tag, p));
  return list;
}

void ExpectSameEntries(const std::vector<IndexEntry>& got, const std::vector<IndexEntry>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].recno, want[i].recno) << what << " position " << i;
    ASSERT_EQ(got[i].key, want[i].key) << what << " position " << i;
  }
}

TEST(MdxMaintenance, RandomChangesKeepMemoryFileAndCheckInAgreement) {
  TempDir dir;
  std::string path = dir.File("m.mdx");
  auto file = OpenFile(path, OpenMode::CreateReadWrite);
  DirectWriter writer;
  auto index = MdxIndex::Create(*file, writer, "M", Fields(), kTags);
  Model model(*index);
  std::mt19937 rng(20240611);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto randomRecord = [&] {
    static const char* names[] = {"alpha", "Beta", "gamma", "delta", "Eps", "zeta", "eta", "theta", ""};
    std::string name = names[pick(0, 8)];
    if (pick(0, 1)) name += std::to_string(pick(0, 300));
    std::string grp = std::string(1, static_cast<char>('A' + pick(0, 3))) + std::to_string(pick(0, 9));
    char born[16];
    if (pick(0, 9) == 0) born[0] = 0;
    else std::snprintf(born, sizeof born, "%04d%02d%02d", pick(1900, 2030), pick(1, 12), pick(1, 28));
    return MakeRecord(pick(-500, 5000), name, grp, born);
  };
  const int grpu = index->FindTag("GRPU");
  auto uniqueInsert = [&](uint32_t recno, const std::string& record) {
    model.unique.emplace(index->MakeKey(grpu, record), recno);  // keeps the first holder
  };
  auto uniqueRemove = [&](uint32_t recno, const std::string& record) {
    auto it = model.unique.find(index->MakeKey(grpu, record));
    if (it != model.unique.end() && it->second == recno) model.unique.erase(it);
  };
  auto live = [&]() -> std::vector<uint32_t> {
    std::vector<uint32_t> list;
    for (size_t r = 0; r < model.records.size(); ++r) {
      if (model.records[r][0] != '*') list.push_back(static_cast<uint32_t>(r + 1));
    }
    return list;
  };

  auto verify = [&](const std::string& when) {
    for (int tag = 0; tag < static_cast<int>(kTags.size()); ++tag) {
      ExpectSameEntries(Entries(*index, tag), model.Expected(tag), when + " tag " + kTags[tag].name);
    }
    std::vector<std::string_view> views(model.records.begin(), model.records.end());
    std::vector<std::string> notes;
    EXPECT_EQ(index->Check(views, &notes), std::vector<std::string>{}) << when;
    std::string bytes = ReadAll(path);
    EXPECT_EQ(bytes.size(), Get32(bytes, 32) * 512ull) << when << ": the file is page count x 512 bytes";
    auto again = OpenFile(path, OpenMode::ReadOnly);
    auto reread = MdxIndex::Open(*again, Fields());
    for (int tag = 0; tag < static_cast<int>(kTags.size()); ++tag) {
      ExpectSameEntries(Entries(*reread, tag), Entries(*index, tag), when + " reread tag " + kTags[tag].name);
    }
    EXPECT_EQ(reread->Check(views), std::vector<std::string>{}) << when;
  };

  // Phases: grow, churn, shrink to almost nothing (emptied leaves, collapsing roots), grow again.
  struct Phase {
    int steps, insertWeight, updateWeight, removeWeight;
  };
  const Phase phases[] = {{3000, 90, 5, 5}, {2500, 30, 40, 30}, {3500, 5, 10, 85}, {1500, 70, 20, 10}};
  const std::string initial = ReadAll(path);
  const uint32_t firstRoot = Get32(initial, Get32(initial, 544) * 512);
  uint32_t largestRootLevelSeen = 0;
  int phaseNumber = 0;
  for (const Phase& phase : phases) {
    ++phaseNumber;
    for (int step = 0; step < phase.steps; ++step) {
      int roll = pick(1, phase.insertWeight + phase.updateWeight + phase.removeWeight);
      auto alive = live();
      if (roll <= phase.insertWeight || alive.empty()) {
        std::string record = randomRecord();
        model.records.push_back(record);
        uint32_t recno = static_cast<uint32_t>(model.records.size());
        index->InsertRecord(recno, record, writer);
        uniqueInsert(recno, record);
      } else if (roll <= phase.insertWeight + phase.updateWeight) {
        uint32_t recno = alive[static_cast<size_t>(pick(0, static_cast<int>(alive.size()) - 1))];
        std::string before = model.records[recno - 1];
        std::string after = pick(0, 3) == 0 ? before : randomRecord();
        index->UpdateRecord(recno, before, after, writer);
        if (index->CompareKeys(grpu, index->MakeKey(grpu, before), index->MakeKey(grpu, after)) != 0) {
          uniqueRemove(recno, before);
          uniqueInsert(recno, after);
        }
        model.records[recno - 1] = after;
      } else {
        uint32_t recno = alive[static_cast<size_t>(pick(0, static_cast<int>(alive.size()) - 1))];
        index->RemoveRecord(recno, model.records[recno - 1], writer);
        uniqueRemove(recno, model.records[recno - 1]);
        model.records[recno - 1][0] = '*';
      }
      if (index->EntryCount(0) > 63 * 64) largestRootLevelSeen = 3;
      else if (index->EntryCount(0) > 63) largestRootLevelSeen = std::max(largestRootLevelSeen, 2u);
      if (step % 700 == 0) verify("phase " + std::to_string(phaseNumber) + " step " + std::to_string(step));
      if (::testing::Test::HasFatalFailure()) return;
    }
    verify("end of phase " + std::to_string(phaseNumber));
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GE(largestRootLevelSeen, 2u);
  const std::string final = ReadAll(path);
  EXPECT_NE(Get32(final, Get32(final, 544) * 512), firstRoot) << "the ID root was split";

  // A rebuild gives the same order (unique tags keep the lowest record of each key).
  std::vector<std::string_view> views(model.records.begin(), model.records.end());
  index->Rebuild(views, writer);
  for (int tag = 0; tag < static_cast<int>(kTags.size()); ++tag) {
    if (kTags[tag].unique) continue;
    ExpectSameEntries(Entries(*index, tag), model.Expected(tag), "rebuilt tag " + kTags[tag].name);
  }
  EXPECT_EQ(index->Check(views), std::vector<std::string>{});
  auto again = OpenFile(path, OpenMode::ReadOnly);
  EXPECT_EQ(MdxIndex::Open(*again, Fields())->Check(views), std::vector<std::string>{});
}

TEST(MdxMaintenance, UniqueTagsKeepTheFirstRecordOfAKey) {
  TempDir dir;
  auto file = OpenFile(dir.File("u.mdx"), OpenMode::CreateReadWrite);
  DirectWriter writer;
  auto index = MdxIndex::Create(*file, writer, "U", Fields(), {{"GRPU", "GRP", false, true}});
  std::string a = MakeRecord(1, "a", "X1", ""), b = MakeRecord(2, "b", "X1", ""), c = MakeRecord(3, "c", "X2", "");
  index->InsertRecord(1, a, writer);
  index->InsertRecord(2, b, writer);
  index->InsertRecord(3, c, writer);
  ASSERT_EQ(index->EntryCount(0), 2u);
  EXPECT_EQ(index->EntryAt(0, 0).recno, 1u);
  // Changing the first holder's key does not bring record 2 in until a rebuild.
  std::string a2 = MakeRecord(1, "a", "X3", "");
  index->UpdateRecord(1, a, a2, writer);
  EXPECT_EQ(index->EntryCount(0), 2u);
  EXPECT_EQ(index->Find(0, "X1", 2), index->EntryCount(0));
  std::vector<std::string> records = {a2, b, c};
  std::vector<std::string_view> views(records.begin(), records.end());
  std::vector<std::string> notes;
  EXPECT_EQ(index->Check(views, &notes), std::vector<std::string>{});
  EXPECT_EQ(notes, std::vector<std::string>{
                       "Index tag GRPU: record 2 has no entry; its key has none until the tag is rebuilt"});
  index->Rebuild(views, writer);
  EXPECT_EQ(index->EntryCount(0), 3u);
  EXPECT_EQ(index->Check(views), std::vector<std::string>{});
}

TEST(MdxMaintenance, CheckFindsWrongEntriesAndNotesDeletedOnes) {
  TempDir dir;
  auto file = OpenFile(dir.File("c.mdx"), OpenMode::CreateReadWrite);
  DirectWriter writer;
  auto index = MdxIndex::Create(*file, writer, "C", Fields(), {{"ID", "ID"}});
  std::vector<std::string> records = {MakeRecord(5, "", "", ""), MakeRecord(6, "", "", ""), MakeRecord(7, "", "", "")};
  for (uint32_t r = 1; r <= 3; ++r) index->InsertRecord(r, records[r - 1], writer);
  index->InsertRecord(9, MakeRecord(9, "", "", ""), writer);  // a record the table does not have
  records[1][0] = '*';                                         // deleted; its entry stays
  records[2] = MakeRecord(8, "", "", "");                      // changed behind the index's back
  std::vector<std::string_view> views(records.begin(), records.end());
  std::vector<std::string> notes;
  EXPECT_EQ(index->Check(views, &notes),
            (std::vector<std::string>{"Index tag ID: an entry points at record 9, beyond the table's 3 records",
                                      "Index tag ID: record 3: the entry's key differs from the record's"}));
  EXPECT_EQ(notes, std::vector<std::string>{"Index tag ID: keeps an entry for deleted record 2"});
}

TEST(MdxMaintenance, OneInsertIntoALargeTagWritesAHandfulOfPages) {
  TempDir dir;
  auto file = OpenFile(dir.File("big.mdx"), OpenMode::CreateReadWrite);
  DirectWriter writer;
  auto index = MdxIndex::Create(*file, writer, "BIG", Fields(), {{"ID", "ID"}});
  std::vector<std::string> records;
  for (long i = 1; i <= 100000; ++i) records.push_back(MakeRecord(i * 2, "", "", ""));
  std::vector<std::string_view> views(records.begin(), records.end());
  index->Rebuild(views, writer);
  ASSERT_EQ(index->EntryCount(0), 100000u);
  writer.Reset();
  // Into a full leaf under a full parent (a bulk build fills every node): the leaf and its
  // parent split, so five blocks change, plus a few header bytes.
  index->InsertRecord(100001, MakeRecord(77777, "", "", ""), writer);
  EXPECT_LE(writer.pages.size(), 12u);
  EXPECT_LE(writer.bytesWritten, 5u * 1024 + 16);
  EXPECT_EQ(index->EntryAt(0, 38888).recno, 100001u);
  writer.Reset();
  index->InsertRecord(100002, MakeRecord(300000, "", "", ""), writer);  // at the end
  EXPECT_LE(writer.bytesWritten, 5u * 1024 + 16);
}

TEST(MdxMaintenance, TheFileReadsInAnotherProgramsIndexReader) {
  const char* tool = "/usr/bin/index_dump";
  if (access(tool, X_OK) != 0) GTEST_SKIP() << "index_dump is not installed";
  TempDir dir;
  std::string path = dir.File("DUMP.MDX");
  auto file = OpenFile(path, OpenMode::CreateReadWrite);
  DirectWriter writer;
  auto index = MdxIndex::Create(*file, writer, "DUMP", Fields(), {{"ID", "ID"}, {"NAME", "UPPER(NAME)"}});
  std::mt19937 rng(7);
  for (uint32_t r = 1; r <= 1500; ++r) {
    std::string name = "n" + std::to_string(rng() % 5000);
    index->InsertRecord(r, MakeRecord(static_cast<long>(rng() % 100000), name, "", ""), writer);
  }
  for (uint32_t r = 1; r <= 1500; r += 3) {
    // Removing a third of the names empties some leaves.
    auto& e = index->EntryAt(1, 0);
    index->RemoveRecord(e.recno, MakeRecord(0, e.key, "", ""), writer);
  }
  std::string command = std::string(tool) + " " + path + " NAME 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_TRUE(pipe);
  std::vector<std::pair<std::string, uint32_t>> listed;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    auto space = text.find_last_of(' ');
    ASSERT_NE(space, std::string::npos) << text;
    std::string key = text.substr(0, space);
    key.erase(key.find_last_not_of(' ') + 1);
    listed.push_back({key, static_cast<uint32_t>(std::stoul(text.substr(space + 1)))});
  }
  EXPECT_EQ(pclose(pipe), 0);
  ASSERT_EQ(listed.size(), index->EntryCount(1));
  for (size_t p = 0; p < listed.size(); ++p) {
    std::string key = index->EntryAt(1, p).key;
    key.erase(key.find_last_not_of(' ') + 1);
    EXPECT_EQ(listed[p].first, key) << p;
    EXPECT_EQ(listed[p].second, index->EntryAt(1, p).recno) << p;
  }
}

}  // namespace
}  // namespace tindrel::engine
