// Damaged files: every corruption gives an engine error with a clear text (or, where the rest of
// the table is sound, a warning and an error on reading the damaged memo), never a crash or a
// huge allocation.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "store/engine/DbfFile.h"
#include "store/engine/Table.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::TempFolder;

void Put16(std::string& s, size_t at, uint16_t v) { PutU16(&s[at], v); }
void Put32(std::string& s, size_t at, uint32_t v) { PutU32(&s[at], v); }

// A sound table: NAME C(10), NOTES M, two records with memos (dBASE IV layout).
void MakeSound(const TempFolder& dir) {
  TableSpec spec;
  spec.fields = {{"NAME", 'C', 10}, {"NOTES", 'M', 10}};
  Table::Create(dir.File("d.dbf"), spec);
  auto t = Table::Open(dir.File("d.dbf"));
  for (const char* name : {"first", "second"}) {
    Record r = t->BlankRecord();
    t->SetText(r, 0, name);
    t->SetText(r, 1, std::string("memo of ") + name);
    t->Append(r);
  }
}

struct Corruption {
  const char* name;
  std::function<void(std::string& dbf, std::string& dbt)> damage;
  ResultCode code;       // Ok: the table opens
  const char* text;      // a part of the error text, or of a warning / Check line
};

const Corruption kCorruptions[] = {
    {"truncated header", [](std::string& dbf, std::string&) { dbf.resize(20); }, ResultCode::TableDamaged,
     "shorter than a table header"},
    {"header length beyond the file", [](std::string& dbf, std::string&) { Put16(dbf, 8, 60000); },
     ResultCode::TableDamaged, "header length 60000 is beyond the end of the file"},
    {"header length too small", [](std::string& dbf, std::string&) { Put16(dbf, 8, 40); }, ResultCode::TableDamaged,
     "leaves no room for a field"},
    {"field length 0", [](std::string& dbf, std::string&) { dbf[32 + 16] = 0; }, ResultCode::TableDamaged,
     "the field NAME has the length 0"},
    {"record length mismatch", [](std::string& dbf, std::string&) { Put16(dbf, 10, 30); }, ResultCode::TableDamaged,
     "the record length 30 disagrees with the fields (21 bytes)"},
    {"record length 0", [](std::string& dbf, std::string&) { Put16(dbf, 10, 0); }, ResultCode::TableDamaged,
     "record length 0 is too small"},
    {"field without a name", [](std::string& dbf, std::string&) { std::fill_n(&dbf[64], 11, '\0'); },
     ResultCode::TableDamaged, "field 2 has no name"},
    {"foreign version byte", [](std::string& dbf, std::string&) { dbf[0] = 0x30; }, ResultCode::Unsupported,
     "version byte 0x30"},
    {"memo file shorter than its header", [](std::string&, std::string& dbt) { dbt.resize(10); },
     ResultCode::MemoDamaged, "shorter than its header"},
    {"bad memo block size", [](std::string&, std::string& dbt) { Put16(dbt, 20, 100); }, ResultCode::MemoDamaged,
     "block size 100"},
    // Sound enough to open: the damage shows as a warning and in Check.
    {"record count beyond the file", [](std::string& dbf, std::string&) { Put32(dbf, 4, 1000000); }, ResultCode::Ok,
     "counts 1000000 records but the file holds 2; the table opens read-only"},
    {"memo pointer beyond the memo file", [](std::string& dbf, std::string&) { std::memcpy(&dbf[97 + 11], "    999999", 10); },
     ResultCode::Ok, "is beyond the end of the file"},
    {"memo block without its header", [](std::string&, std::string& dbt) { dbt[512] = 'x'; }, ResultCode::Ok,
     "does not start with a memo block header"},
    {"memo length beyond the file", [](std::string&, std::string& dbt) { Put32(dbt, 512 + 4, 0x7FFFFFF0); },
     ResultCode::Ok, "runs past the end of the file"},
    {"no end mark", [](std::string& dbf, std::string&) { dbf.pop_back(); }, ResultCode::Ok, "no end mark"},
    {"two records sharing a memo", [](std::string& dbf, std::string&) {
       std::memcpy(&dbf[97 + 21 + 11], &dbf[97 + 11], 10);
     }, ResultCode::Ok, "Records 1 and 2 point to the same memo block 1"},
};

TEST(DamagedTableTest, EveryCorruptionGivesAClearErrorOrAWarning) {
  for (const Corruption& c : kCorruptions) {
    TempFolder dir;
    MakeSound(dir);
    std::string dbf = TempFolder::Read(dir.File("d.dbf")), dbt = TempFolder::Read(dir.File("d.dbt"));
    c.damage(dbf, dbt);
    TempFolder::Write(dir.File("d.dbf"), dbf);
    TempFolder::Write(dir.File("d.dbt"), dbt);
    try {
      auto t = Table::Open(dir.File("d.dbf"));
      EXPECT_EQ(c.code, ResultCode::Ok) << c.name << ": opened";
      // Read everything, then look for the finding among the read errors, the warnings and
      // Check's lines. A damaged memo is an error of its own read only.
      std::vector<std::string> lines = t->Warnings();
      for (uint32_t r = 1; r <= t->RecordCount(); ++r) {
        Record rec = t->ReadRecord(r);
        for (int f = 0; f < 2; ++f) {
          try {
            t->GetText(rec, f);
          } catch (const EngineError& e) {
            EXPECT_EQ(e.Code(), ResultCode::MemoDamaged) << c.name << ": " << e.Message();
            lines.push_back(e.Message());
          }
        }
      }
      for (auto& line : t->Check()) lines.push_back(line);
      bool found = false;
      for (const auto& line : lines) found = found || line.find(c.text) != std::string::npos;
      EXPECT_TRUE(found) << c.name << ": no line containing '" << c.text << "'";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), c.code) << c.name << ": " << e.Message();
      EXPECT_NE(e.Message().find(c.text), std::string::npos) << c.name << ": " << e.Message();
      EXPECT_NE(e.Message().find(dir.Path()), std::string::npos) << c.name << " names the file: " << e.Message();
    }
  }
}

// A damaged memo never reads as an empty text: shown as empty, it could be typed over and what
// is left of it lost. The read names the record and the field; the rest of the record reads;
// salvage gets what is left; a new memo replaces it; a pack refuses to drop it.
TEST(DamagedTableTest, ADamagedMemoIsAnErrorNamingRecordAndField) {
  struct Damage {
    const char* name;
    std::function<void(std::string& dbf, std::string& dbt)> damage;
    const char* salvaged;  // what ReadDamagedMemo still gets of record 1's memo
  };
  const Damage damages[] = {
      {"bad block header", [](std::string&, std::string& dbt) { dbt[512] = 'x'; }, ""},
      {"pointer beyond the file", [](std::string& dbf, std::string&) { std::memcpy(&dbf[97 + 11], "    999999", 10); }, ""},
      {"pointer not a number", [](std::string& dbf, std::string&) { std::memcpy(&dbf[97 + 11], "    12ab34", 10); }, ""},
      {"length past the end", [](std::string&, std::string& dbt) {
         Put32(dbt, 512 + 4, 0x7FFFFFF0);
         dbt.resize(1024 + 8 + 4);  // what is left: the first memo and 4 bytes of the second
       }, nullptr},
  };
  for (const Damage& d : damages) {
    TempFolder dir;
    MakeSound(dir);
    std::string dbf = TempFolder::Read(dir.File("d.dbf")), dbt = TempFolder::Read(dir.File("d.dbt"));
    d.damage(dbf, dbt);
    TempFolder::Write(dir.File("d.dbf"), dbf);
    TempFolder::Write(dir.File("d.dbt"), dbt);
    auto t = Table::Open(dir.File("d.dbf"));
    Record first = t->ReadRecord(1);
    EXPECT_EQ(t->GetText(first, 0), "first") << d.name;
    for (auto read : {+[](Table& t, const Record& r) { t.GetText(r, 1); },
                      +[](Table& t, const Record& r) { t.ReadMemo(r, 1, 5); }}) {
      try {
        read(*t, first);
        ADD_FAILURE() << d.name << ": read without an error";
      } catch (const EngineError& e) {
        EXPECT_EQ(e.Code(), ResultCode::MemoDamaged) << d.name;
        EXPECT_NE(e.Message().find("record 1, field NOTES"), std::string::npos) << d.name << ": " << e.Message();
      }
    }
    std::string problem;
    const std::string salvaged = t->ReadDamagedMemo(first, 1, &problem);
    EXPECT_FALSE(problem.empty()) << d.name;
    const std::string expected = d.salvaged ? d.salvaged : "memo of first";
    EXPECT_EQ(salvaged.substr(0, d.salvaged ? std::string::npos : 13), expected) << d.name;
    if (std::string(d.name) != "length past the end") {
      EXPECT_EQ(t->GetText(t->ReadRecord(2), 1), "memo of second") << d.name;
    }

    const std::string before = TempFolder::Read(dir.File("d.dbt"));
    try {
      t->Pack();
      ADD_FAILURE() << d.name << ": packed over a damaged memo";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), ResultCode::MemoDamaged) << d.name;
      EXPECT_NE(e.Message().find("record 1, field NOTES"), std::string::npos) << d.name << ": " << e.Message();
    }
    EXPECT_EQ(TempFolder::Read(dir.File("d.dbt")), before) << d.name;

    // Writing a new memo for it replaces the pointer; the damaged block is not reused.
    t->SetText(first, 1, "mended");
    t->Modify(first);
    EXPECT_EQ(t->GetText(t->ReadRecord(1), 1), "mended") << d.name;
    std::string unused;
    EXPECT_TRUE(t->ReadDamagedMemo(t->ReadRecord(1), 1, &unused) == "mended" && unused.empty()) << d.name;
  }
}

TEST(DamagedTableTest, ATruncatedTableOpensReadOnlyWithTheRecordsItStillHolds) {
  TempFolder dir;
  MakeSound(dir);
  std::string dbf = TempFolder::Read(dir.File("d.dbf"));
  dbf.resize(dbf.size() - 22);  // the end mark and all of record 2 but its first byte
  TempFolder::Write(dir.File("d.dbf"), dbf);
  auto t = Table::Open(dir.File("d.dbf"));
  EXPECT_TRUE(t->ReadOnly());
  EXPECT_EQ(t->RecordCount(), 1u);
  EXPECT_EQ(t->GetText(t->ReadRecord(1), 1), "memo of first");
  EXPECT_FALSE(t->Check().empty());
}

}  // namespace
}  // namespace tindrel::engine
