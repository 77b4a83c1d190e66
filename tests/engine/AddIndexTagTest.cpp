// A production index tag added to a table that lacks it: tables without an index, with an index
// that lacks the tag, with an index file that is not marked as theirs, missing or damaged. The
// change is atomic: a crash or an I/O error at every step leaves the records as they were and
// either the old index state (which a second try then mends) or the new one.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "store/engine/Journal.h"
#include "store/engine/Table.h"
#include "tests/support/Fixtures.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/engine/NoSyncFileSystem.h"
#include "tests/support/engine/PowerLossFileSystem.h"
#include "tests/support/engine/RecordLines.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::FaultyFileSystem;
using testing::RecordLines;
using testing::TempFolder;

const MdxIndex::TagSpec kIdTag{"ID", "ID"};

struct Situation {
  const char* name;
  bool dBase4;
  std::vector<MdxIndex::TagSpec> tags;          // the index the table is made with
  std::function<void(const TempFolder&)> spoil;  // what then happened to its files
  std::vector<std::string> tagsAfter;           // the tags the mended index holds
};

void SetByte(const std::string& path, size_t at, char value) {
  std::string bytes = TempFolder::Read(path);
  bytes[at] = value;
  TempFolder::Write(path, bytes);
}

const std::vector<Situation>& Situations() {
  static const std::vector<Situation> situations = {
      {"a dBASE III table without an index", false, {}, [](const TempFolder&) {}, {"ID"}},
      {"an index without the tag", true, {{"TITLE", "UPPER(TEXT)"}}, [](const TempFolder&) {}, {"TITLE", "ID"}},
      {"an index file not marked as the table's", true, {{"TITLE", "UPPER(TEXT)"}},
       [](const TempFolder& dir) { SetByte(dir.File("n.dbf"), 28, 0); }, {"TITLE", "ID"}},
      {"a damaged index file not marked as the table's", true, {},
       [](const TempFolder& dir) { TempFolder::Write(dir.File("n.mdx"), std::string(4096, '\x55')); }, {"ID"}},
      {"a marked index file that is missing", true, {{"TITLE", "UPPER(TEXT)"}},
       [](const TempFolder& dir) { std::filesystem::remove(dir.File("n.mdx")); }, {"ID"}},
      {"a marked index file that is damaged", true, {{"TITLE", "UPPER(TEXT)"}},
       [](const TempFolder& dir) { TempFolder::Write(dir.File("n.mdx"), std::string(4096, '\x55')); }, {"ID"}},
  };
  return situations;
}

// 200 notes in shuffled ID order, so the tag's order is not the record order, and enough of
// them for a tree of more than one level.
void BuildTable(const TempFolder& dir, const Situation& situation) {
  TableSpec spec;
  spec.fields = {{"ID", 'N', 10}, {"PARENT", 'N', 10}, {"TEXT", 'C', 64}, {"MEMO", 'M', 10}};
  spec.dBase4 = situation.dBase4;
  spec.tags = situation.tags;
  tindrel::testing::NoSyncFileSystem fs;
  Table::Create(dir.File("n.dbf"), spec, &fs);
  {
    OpenOptions options;
    options.fileSystem = &fs;
    auto t = Table::Open(dir.File("n.dbf"), options);
    for (int i = 0; i < 200; ++i) {
      const int id = (i * 73) % 200 + 1;
      Record r = t->BlankRecord();
      t->SetText(r, 0, std::to_string(id));
      if (id > 1) t->SetText(r, 1, std::to_string(id / 2));
      t->SetText(r, 2, "Note " + std::to_string(id));
      if (i % 3 == 0) t->SetText(r, 3, std::string(100 + i * 7, static_cast<char>('a' + i % 26)));
      t->Append(r);
    }
    t->Delete(17);
  }
  situation.spoil(dir);
}

// The table of a situation, built once and copied for every trial.
void MakeTable(const TempFolder& dir, const Situation& situation) {
  static std::map<const Situation*, std::unique_ptr<TempFolder>> templates;
  auto& source = templates[&situation];
  if (!source) {
    source = std::make_unique<TempFolder>();
    BuildTable(*source, situation);
  }
  for (const auto& entry : std::filesystem::directory_iterator(source->Path()))
    std::filesystem::copy_file(entry.path(), dir.File(entry.path().filename().string()));
}

OpenOptions Tolerant(FileSystem* fs = nullptr) {
  OpenOptions options;
  options.tolerateBadIndex = true;
  options.fileSystem = fs;
  return options;
}

std::vector<std::string> TagNames(const Table& t) {
  std::vector<std::string> names;
  if (t.Index())
    for (const TagInfo& tag : t.Index()->Tags()) names.push_back(tag.name);
  return names;
}

// Whether the table opens as it should once mended: without tolerance, an ID tag that orders the
// records, every check passed, the header flags set.
void ExpectMended(const TempFolder& dir, const Situation& situation, const std::vector<std::string>& records) {
  auto t = Table::Open(dir.File("n.dbf"));
  EXPECT_EQ(RecordLines(*t), records);
  EXPECT_EQ(TagNames(*t), situation.tagsAfter);
  EXPECT_EQ(t->Check(), std::vector<std::string>());
  ASSERT_NE(t->Index(), nullptr);
  const int tag = TagForFields(*t->Index(), {0});
  ASSERT_GE(tag, 0);
  EXPECT_EQ(t->Index()->EntryCount(tag), 199u) << "every live record once";
  for (size_t i = 0; i + 1 < t->Index()->EntryCount(tag); ++i)
    EXPECT_LT(std::stoi(t->GetText(t->ReadRecord(t->Index()->EntryAt(tag, i).recno), 0)),
              std::stoi(t->GetText(t->ReadRecord(t->Index()->EntryAt(tag, i + 1).recno), 0)));
  const std::string header = TempFolder::Read(dir.File("n.dbf"));
  EXPECT_EQ(header[28], 1) << "the table says it has a production index";
  EXPECT_EQ(header[32 + 31], 1) << "ID is the whole key of a tag";
  EXPECT_EQ(header[64 + 31], 0);
}

TEST(AddIndexTagTest, EachSituationGetsItsTagAndKeepsEveryRecord) {
  for (const Situation& situation : Situations()) {
    SCOPED_TRACE(situation.name);
    TempFolder dir;
    MakeTable(dir, situation);
    std::vector<std::string> records;
    {
      auto t = Table::Open(dir.File("n.dbf"), Tolerant());
      records = RecordLines(*t);
      const std::string done = t->AddIndexTag(kIdTag);
      EXPECT_NE(done.find("ID"), std::string::npos) << done;
      EXPECT_FALSE(t->ReadOnly()) << "the mended table takes changes at once";
      Record r = t->BlankRecord();
      t->SetText(r, 0, "500");
      t->Append(r);
      t->Delete(t->RecordCount());
      EXPECT_EQ(t->Check(), std::vector<std::string>());
    }
    records.push_back("*|500|||");
    ExpectMended(dir, situation, records);
    EXPECT_FALSE(std::filesystem::exists(Journal::PathFor(dir.File("n.dbf"))));
  }
}

TEST(AddIndexTagTest, RefusalsChangeNoFile) {
  struct Case {
    const char* name;
    std::function<void(const TempFolder&)> prepare;
    OpenOptions options;
    ResultCode code;
  };
  const Situation& withTitle = Situations()[1];
  auto unmaintainable = [](const TempFolder& dir) {
    // The TITLE tag's key becomes one this engine does not evaluate.
    std::string bytes = TempFolder::Read(dir.File("n.mdx"));
    const size_t header = static_cast<size_t>(static_cast<unsigned char>(bytes[544]) | static_cast<unsigned char>(bytes[545]) << 8) * 512;
    const std::string expression = "SOUNDEX(TEXT)";
    bytes.replace(header + 24, 220, std::string(220, '\0'));
    bytes.replace(header + 24, expression.size(), expression);
    TempFolder::Write(dir.File("n.mdx"), bytes);
  };
  OpenOptions readOnly;
  readOnly.readOnly = true;
  const std::vector<Case> cases = {
      {"the tag exists", [](const TempFolder& dir) { Table::Open(dir.File("n.dbf"))->AddIndexTag(kIdTag); }, {},
       ResultCode::InvalidCall},
      {"a tag that is kept cannot be maintained", unmaintainable, {}, ResultCode::Unsupported},
      {"the table was opened read-only", [](const TempFolder&) {}, readOnly, ResultCode::ReadOnlyTable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    MakeTable(dir, withTitle);
    c.prepare(dir);
    const std::string dbf = TempFolder::Read(dir.File("n.dbf")), mdx = TempFolder::Read(dir.File("n.mdx"));
    {
      auto t = Table::Open(dir.File("n.dbf"), c.options);
      try {
        t->AddIndexTag(kIdTag);
        ADD_FAILURE() << "the tag was added";
      } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), c.code) << e.Message();
      }
    }
    EXPECT_EQ(TempFolder::Read(dir.File("n.dbf")), dbf);
    EXPECT_EQ(TempFolder::Read(dir.File("n.mdx")), mdx);
  }
}

// The tag is refused without a table to mend: a name or key the index cannot take.
TEST(AddIndexTagTest, ATagTheIndexCannotTakeIsRefusedAndTheTableStaysAsItWas) {
  for (const MdxIndex::TagSpec& spec : {MdxIndex::TagSpec{"ID", "NOSUCHFIELD"}, MdxIndex::TagSpec{"ELEVENCHARS", "ID"},
                                        MdxIndex::TagSpec{"ISDEL", "DELETED()"}}) {
    for (size_t s : {0u, 1u}) {
      SCOPED_TRACE(spec.name + " on " + Situations()[s].name);
      TempFolder dir;
      MakeTable(dir, Situations()[s]);
      const std::string dbf = TempFolder::Read(dir.File("n.dbf"));
      {
        auto t = Table::Open(dir.File("n.dbf"));
        try {
          t->AddIndexTag(spec);
          ADD_FAILURE() << "the tag was added";
        } catch (const EngineError& e) {
          EXPECT_EQ(e.Code(), ResultCode::InvalidCall) << e.Message();
        }
        EXPECT_EQ(TagNames(*t), std::vector<std::string>(Situations()[s].tags.empty() ? 0 : 1, "TITLE"));
        Record r = t->BlankRecord();
        t->SetText(r, 0, "900");
        t->Append(r);  // the table still takes changes
      }
      EXPECT_FALSE(std::filesystem::exists(dir.File("n.mdx")) && Situations()[s].tags.empty())
          << "no index file is left behind";
      auto t = Table::Open(dir.File("n.dbf"));
      EXPECT_EQ(t->Check(), std::vector<std::string>());
      EXPECT_EQ(t->RecordCount(), 201u);
    }
  }
}

// After a crash or an error at any step the records are as they were, and the table either has
// its tag (and opens as mended) or is in its old state, from which a second try mends it.
TEST(AddIndexTagTest, ACrashOrAnErrorAtEveryStepLeavesTheOldStateOrTheMendedOne) {
  for (auto mode : {FaultyFileSystem::Mode::Crash, FaultyFileSystem::Mode::Fail}) {
    for (const Situation& situation : Situations()) {
      SCOPED_TRACE(std::string(situation.name) + (mode == FaultyFileSystem::Mode::Crash ? ", crash" : ", error"));
      std::vector<std::string> records;
      {
        TempFolder dir;
        MakeTable(dir, situation);
        records = RecordLines(*Table::Open(dir.File("n.dbf"), Tolerant()));
      }
      bool sawOld = false;
      for (uint64_t step = 1;; ++step) {
        TempFolder dir;
        MakeTable(dir, situation);
        FaultyFileSystem fs(step, mode);
        bool failed = false;
        try {
          auto t = Table::Open(dir.File("n.dbf"), Tolerant(&fs));
          t->AddIndexTag(kIdTag);
        } catch (const EngineError& e) {
          failed = true;
          if (mode == FaultyFileSystem::Mode::Crash) EXPECT_TRUE(fs.Crashed()) << "step " << step;
          else EXPECT_EQ(e.Code(), ResultCode::IoError) << e.Message();
        }
        failed = failed || fs.Crashed();  // a crash need not raise: later calls just do nothing
        bool mended = false;
        {
          auto t = Table::Open(dir.File("n.dbf"), Tolerant());
          EXPECT_EQ(RecordLines(*t), records) << "step " << step;
          mended = t->Index() && TagForFields(*t->Index(), {0}) >= 0;
          if (!mended) {
            sawOld = true;
            t->AddIndexTag(kIdTag);  // the second try
          }
        }
        ExpectMended(dir, situation, records);
        if (!failed) {
          EXPECT_TRUE(mended) << "a call that completed left no tag";
          break;
        }
        ASSERT_LT(step, 100u) << "the change never completed";
      }
      EXPECT_TRUE(sawOld);
    }
  }
}

// On a disk whose syncs fail from any one of the syncs the change makes on (the pages a failed
// sync could not write are dropped): afterwards, on a healthy disk, clean or after a power loss,
// the table opens with its records as they were, and a second try mends it if the first did not.
// An index file made for the change stays while the journal may hold the change, since
// completing it opens the file by name.
TEST(AddIndexTagTest, FailingSyncsAtEverySyncLeaveATableThatOpensAndMends) {
  using testing::PowerLossFileSystem;
  const std::string table = "/disk/n.dbf";
  for (const Situation& situation : Situations()) {
    SCOPED_TRACE(situation.name);
    PowerLossFileSystem base;
    std::vector<std::string> records;
    {
      TempFolder dir;
      MakeTable(dir, situation);
      for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        base.Put("/disk/" + entry.path().filename().string(), TempFolder::Read(entry.path().string()));
      records = RecordLines(*Table::Open(dir.File("n.dbf"), Tolerant()));
    }
    uint64_t syncs = 0;
    {
      auto disk = base.Restart(PowerLossFileSystem::Outcome::KeepEverything);
      disk->Arm(PowerLossFileSystem::Fault::None);
      OpenOptions options = Tolerant(disk.get());
      options.checkpointBytes = 1;
      Table::Open(table, options)->AddIndexTag(kIdTag);
      syncs = disk->Syncs();
    }
    for (uint64_t n = 1; n <= syncs; ++n) {
      auto disk = base.Restart(PowerLossFileSystem::Outcome::KeepEverything);
      disk->Arm(PowerLossFileSystem::Fault::FailingSyncs, n);
      {
        OpenOptions options = Tolerant(disk.get());
        options.checkpointBytes = 1;  // the change checkpoints at once, and that may fail too
        auto t = Table::Open(table, options);
        try {
          t->AddIndexTag(kIdTag);
        } catch (const EngineError&) {
        }
        EXPECT_TRUE(!t->InDoubt() || t->ReadOnly()) << "sync " << n << ": a table in doubt takes no change";
      }
      using Outcome = PowerLossFileSystem::Outcome;
      for (const Outcome outcome : {Outcome::KeepEverything, Outcome::LoseEverythingUnsynced, Outcome::LoseUnsyncedData,
                                    Outcome::Random}) {
        SCOPED_TRACE("sync " + std::to_string(n) + " of " + std::to_string(syncs) + " failed, restart " +
                     std::to_string(static_cast<int>(outcome)));
        auto healthy = disk->Restart(outcome, n);
        {
          std::unique_ptr<Table> t;
          ASSERT_NO_THROW(t = Table::Open(table, Tolerant(healthy.get())));
          EXPECT_EQ(RecordLines(*t), records);
          if (!t->Index() || TagForFields(*t->Index(), {0}) < 0) t->AddIndexTag(kIdTag);
        }
        OpenOptions plain;
        plain.fileSystem = healthy.get();
        auto t = Table::Open(table, plain);
        EXPECT_EQ(TagNames(*t), situation.tagsAfter);
        EXPECT_EQ(t->Check(), std::vector<std::string>());
      }
    }
  }
}

// Tables from elsewhere: symlist's index keeps its tags (one with a FOR condition); rooms
// declares an index its author never shipped and gets one.
TEST(AddIndexTagTest, TablesFromOtherProgramsKeepTheirTagsAndGetTheNewOne) {
  struct Case {
    const char* base;
    std::string field;
  };
  for (const Case& c : {Case{"symlist", "_SKZ"}, Case{"rooms", "ROOMNAME"}}) {
    SCOPED_TRACE(c.base);
    TempFolder dir;
    const std::string path = tindrel::testing::CopyFixture(c.base, dir.Path());
    std::vector<TagInfo> before;
    std::vector<std::string> records;
    {
      auto t = Table::Open(path, Tolerant());
      if (t->Index()) before = t->Index()->Tags();
      records = RecordLines(*t);
      ASSERT_GE(t->FieldIndex(c.field), 0);
      t->AddIndexTag({"MENDED", t->Fields()[t->FieldIndex(c.field)].name});
    }
    auto t = Table::Open(path);
    EXPECT_EQ(RecordLines(*t), records);
    EXPECT_EQ(t->Check(), std::vector<std::string>());
    ASSERT_EQ(t->Index()->Tags().size(), before.size() + 1);
    for (size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(t->Index()->Tags()[i].name, before[i].name);
      EXPECT_EQ(t->Index()->Tags()[i].expression, before[i].expression);
      EXPECT_EQ(t->Index()->Tags()[i].forExpression, before[i].forExpression);
      EXPECT_EQ(t->Index()->Tags()[i].descending, before[i].descending);
      EXPECT_EQ(t->Index()->Tags()[i].unique, before[i].unique);
    }
    EXPECT_EQ(TagForFields(*t->Index(), {t->FieldIndex(c.field)}) >= 0, true);
  }
}

}  // namespace
}  // namespace tindrel::engine
