// The table as its users see it: values in and out of every field type, memos in both layouts,
// the exclusive and read-only opens, pack, and what is refused.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/engine/Cursor.h"
#include "store/engine/Table.h"
#include "tests/support/engine/FaultyFileSystem.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::engine {
namespace {

using testing::FaultyFileSystem;
using testing::TempFolder;

TableSpec AllTypes(bool dBase4, uint8_t ldid = 0) {
  TableSpec spec;
  spec.fields = {{"NAME", 'C', 12},    {"AMOUNT", 'N', 10, 2}, {"RATIO", 'F', 20, 18}, {"COUNT", 'N', 6},
                 {"BORN", 'D', 8},     {"OK", 'L', 1},         {"MEMO", 'M', 10}};
  spec.dBase4 = dBase4;
  spec.languageDriver = ldid;
  return spec;
}

std::unique_ptr<Table> Make(const TempFolder& dir, const TableSpec& spec, const std::string& name = "t.dbf") {
  Table::Create(dir.File(name), spec);
  return Table::Open(dir.File(name));
}

std::string CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EngineError& e) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(e.Code()));
    return text;
  }
  return "none";
}

TEST(TableTest, EveryFieldTypeRoundTripsThroughTheFile) {
  for (bool dBase4 : {true, false}) {
    TempFolder dir;
    {
      auto t = Make(dir, AllTypes(dBase4));
      Record r = t->BlankRecord();
      t->SetText(r, 0, "Alpha");
      t->SetText(r, 1, "-5");
      t->SetText(r, 2, "1.234567890123460000");
      t->SetText(r, 3, "42");
      t->SetText(r, 4, "20240229");
      t->SetText(r, 5, "T");
      t->SetText(r, 6, "line one\r\nline two");
      EXPECT_EQ(t->Append(r), 1u);
      Record blank = t->BlankRecord();
      for (int f = 0; f < 7; ++f) t->SetBlank(blank, f);
      t->Append(blank);
    }
    auto t = Table::Open(dir.File("t.dbf"));
    Record r = t->ReadRecord(1);
    EXPECT_EQ(t->GetText(r, 0), "Alpha");
    EXPECT_EQ(t->RawField(r, 1), "     -5.00");
    EXPECT_EQ(t->GetText(r, 2), "1.234567890123460000");
    EXPECT_EQ(t->GetText(r, 3), "42");
    EXPECT_EQ(t->GetText(r, 4), "20240229");
    EXPECT_EQ(t->GetText(r, 5), "T");
    EXPECT_EQ(t->GetText(r, 6), "line one\r\nline two");
    Record b = t->ReadRecord(2);
    for (int f = 0; f < 7; ++f) EXPECT_TRUE(t->IsBlank(b, f)) << "field " << f;
    EXPECT_EQ(t->RawField(b, 5), "?");
    EXPECT_EQ(t->RawField(b, 6), "          ");
    EXPECT_TRUE(t->Check().empty());
    // The file keeps the layout other readers expect: size = header + records + one end mark.
    std::string image = TempFolder::Read(dir.File("t.dbf"));
    EXPECT_EQ(image.size(), 32u + 32 * 7 + 1 + 2 * t->RecordLength() + 1);
    EXPECT_EQ(static_cast<unsigned char>(image[0]), dBase4 ? 0x8B : 0x83);
    EXPECT_EQ(image.back(), '\x1A');
  }
}

TEST(TableTest, NumbersAreFormattedExactlyOrRefused) {
  TempFolder dir;
  auto t = Make(dir, AllTypes(true));
  struct Case { int field; const char* in; const char* stored; const char* code; };
  const Case cases[] = {
      {1, "12.5", "     12.50", "none"},      {1, "-0.004", "      0.00", "none"},
      {1, "0.005", "      0.01", "none"},     {1, "+7", "      7.00", "none"},
      {1, "9999999.99", "9999999.99", "none"}, {1, "99999999.99", "", "2402"},
      {1, "9999999.995", "", "2402"},         {1, "1e5", "", "2403"},
      {1, "12,5", "", "2403"},                {1, "-", "", "2403"},
      {3, "123456", "123456", "none"},        {3, "-12345", "-12345", "none"},
      {3, "1234567", "", "2402"},             {4, "20230229", "", "2403"},
      {4, "2023-01-01", "", "2403"},          {5, "x", "", "2403"},
      {5, "n", "F", "none"},
  };
  for (const Case& c : cases) {
    Record r = t->BlankRecord();
    std::string before = r.bytes;
    std::string code = CodeOf([&] { t->SetText(r, c.field, c.in); });
    EXPECT_EQ(code, c.code) << c.in;
    if (code == "none") EXPECT_EQ(t->RawField(r, c.field), c.stored) << c.in;
    else EXPECT_EQ(r.bytes, before) << "a refused value leaves the record unchanged: " << c.in;
  }
}

TEST(TableTest, TextLongerThanItsFieldIsRefusedNotCut) {
  TempFolder dir;
  auto t = Make(dir, AllTypes(true));
  Record r = t->BlankRecord();
  t->SetText(r, 0, "twelve chars");
  EXPECT_EQ(t->GetText(r, 0), "twelve chars");
  try {
    t->SetText(r, 0, "thirteen char");
    FAIL() << "no error";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::ValueTooLong);
    EXPECT_NE(e.Message().find("NAME"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(t->GetText(r, 0), "twelve chars");
}

TEST(TableTest, MemosOfEverySizeRoundTripInBothLayouts) {
  const std::string sizes[] = {"", "x", std::string(503, 'a'), std::string(504, 'b'), std::string(510, 'c'),
                               std::string(5000, 'd')};
  for (bool dBase4 : {true, false}) {
    TempFolder dir;
    {
      auto t = Make(dir, AllTypes(dBase4));
      for (const auto& text : sizes) {
        Record r = t->BlankRecord();
        t->SetText(r, 6, text);
        t->Append(r);
      }
    }
    auto t = Table::Open(dir.File("t.dbf"));
    for (uint32_t i = 0; i < std::size(sizes); ++i) {
      Record r = t->ReadRecord(i + 1);
      EXPECT_EQ(t->GetText(r, 6), sizes[i]) << "memo " << i << (dBase4 ? " IV" : " III");
      EXPECT_EQ(t->IsBlank(r, 6), sizes[i].empty());
    }
    EXPECT_EQ(t->ReadMemo(t->ReadRecord(6), 6, 10), std::string(10, 'd'));
    // A rewrite that fits stays in its blocks; a longer one moves to the end.
    const uint64_t before = TempFolder::Read(dir.File("t.dbt")).size();
    Record r = t->ReadRecord(6);
    t->SetText(r, 6, "short now");
    t->Modify(r);
    EXPECT_EQ(TempFolder::Read(dir.File("t.dbt")).size(), before);
    Record grown = t->ReadRecord(2);
    t->SetText(grown, 6, std::string(2000, 'e'));
    t->Modify(grown);
    EXPECT_GT(TempFolder::Read(dir.File("t.dbt")).size(), before);
    EXPECT_EQ(t->GetText(t->ReadRecord(6), 6), "short now");
    EXPECT_EQ(t->GetText(t->ReadRecord(2), 6), std::string(2000, 'e'));
    EXPECT_EQ(t->GetText(t->ReadRecord(3), 6), sizes[2]);
    EXPECT_TRUE(t->Check().empty());
  }
}

// A batch of appends is one change: it costs no more syncs than a single Append, and the records
// come back in order with their memos, and in both index tags.
TEST(TableTest, AppendAllStoresABatchWithTheSyncsOfOneAppend) {
  TempFolder dir;
  TableSpec spec;
  spec.fields = {{"ID", 'N', 10}, {"TEXT", 'C', 40}, {"MEMO", 'M', 10}};
  spec.tags = {{"ID", "ID"}, {"TEXT", "UPPER(TEXT)"}};
  Table::Create(dir.File("t.dbf"), spec);
  auto memoOf = [](int i) { return i % 3 ? std::string(700 * (i % 4), static_cast<char>('a' + i % 26)) : std::string(); };
  FaultyFileSystem fs;
  OpenOptions options;
  options.fileSystem = &fs;
  {
    auto t = Table::Open(dir.File("t.dbf"), options);
    Record single = t->BlankRecord();
    t->SetText(single, 0, "1");
    t->SetText(single, 1, "note 1");
    t->SetText(single, 2, memoOf(1));
    const uint64_t beforeOne = fs.Syncs();
    t->Append(single);
    const uint64_t oneAppend = fs.Syncs() - beforeOne;

    std::vector<Record> batch;
    for (int i = 2; i <= 2000; ++i) {
      Record r = t->BlankRecord();
      t->SetText(r, 0, std::to_string(i));
      t->SetText(r, 1, "note " + std::to_string(i));
      t->SetText(r, 2, memoOf(i));
      batch.push_back(std::move(r));
    }
    const uint64_t beforeBatch = fs.Syncs();
    EXPECT_EQ(t->AppendAll(batch), 2u);
    EXPECT_LE(fs.Syncs() - beforeBatch, oneAppend);
    EXPECT_EQ(batch.back().recno, 2000u);
    EXPECT_TRUE(batch.back().pendingMemos.empty());
  }
  auto t = Table::Open(dir.File("t.dbf"));
  EXPECT_EQ(t->Check(), std::vector<std::string>());
  ASSERT_EQ(t->RecordCount(), 2000u);
  for (uint32_t recno = 1; recno <= 2000; ++recno) {
    const Record r = t->ReadRecord(recno);
    ASSERT_EQ(t->GetText(r, 0), std::to_string(recno));
    ASSERT_EQ(t->GetText(r, 2), memoOf(static_cast<int>(recno))) << "record " << recno;
  }
  for (int tag : {0, 1}) EXPECT_EQ(t->Index()->EntryCount(tag), 2000u);
}

TEST(TableTest, GreekTextRoundTripsInBothGreekCodePages) {
  const std::string greek = "Καλημέρα κόσμε, ΑΒΓΔ αβγδ ωώ";
  for (uint8_t ldid : {uint8_t(0x6A), uint8_t(0xCB)}) {
    TempFolder dir;
    {
      auto t = Make(dir, AllTypes(true, ldid));
      EXPECT_EQ(t->CodePage(), ldid == 0x6A ? 737 : 1253);
      Record r = t->BlankRecord();
      t->SetText(r, 0, "Μήλο");
      t->SetText(r, 6, greek);
      t->Append(r);
    }
    auto t = Table::Open(dir.File("t.dbf"));
    Record r = t->ReadRecord(1);
    EXPECT_EQ(t->GetText(r, 0), "Μήλο");
    EXPECT_EQ(t->RawField(r, 0).substr(0, 4).size(), 4u) << "one byte per Greek letter";
    EXPECT_EQ(t->GetText(r, 6), greek);
  }
}

TEST(TableTest, ACharacterTheCodePageCannotHoldIsRefusedAndNamed) {
  TempFolder dir;
  auto t = Make(dir, AllTypes(true, 0xCB));
  Record r = t->BlankRecord();
  try {
    t->SetText(r, 0, "Σ€ж");
    FAIL() << "no error";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::UnmappableCharacter);
    EXPECT_EQ(e.MainText(), "The character 'ж' (U+0436) in field 'NAME' cannot be stored in the table's code page 1253");
  }
  EXPECT_EQ(CodeOf([&] { t->SetText(r, 6, "memo with 中"); }), "2401");
  EXPECT_TRUE(r.pendingMemos.empty());
}

TEST(TableTest, EveryByteOfA1253MemoSurvivesAnEditThatAppendsAWord) {
  TempFolder dir;
  std::string bytes;
  for (int b = 0x20; b <= 0xFF; ++b) bytes += static_cast<char>(b);
  {
    auto t = Make(dir, AllTypes(true, 0xCB));
    Record r = t->BlankRecord();
    r.pendingMemos[6] = bytes;  // raw bytes, as another program left them
    t->Append(r);
  }
  auto t = Table::Open(dir.File("t.dbf"));
  Record r = t->ReadRecord(1);
  std::string text = t->GetText(r, 6);
  t->SetText(r, 6, text);
  t->Modify(r);
  r = t->ReadRecord(1);
  t->SetText(r, 6, t->GetText(r, 6) + " λέξη");
  t->Modify(r);
  std::string dbt = TempFolder::Read(dir.File("t.dbt"));
  std::string expected = bytes + " \xEB\xDD\xEE\xE7";  // " λέξη" in 1253
  EXPECT_NE(dbt.find(expected), std::string::npos);
  EXPECT_EQ(t->EncodeText(t->GetText(t->ReadRecord(1), 6), "MEMO"), expected);
}

TEST(TableTest, ASecondOpenerInTheSameProcessIsRefused) {
  TempFolder dir;
  auto first = Make(dir, AllTypes(true));
  try {
    Table::Open(dir.File("t.dbf"));
    FAIL() << "second open succeeded";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::TableInUse);
    EXPECT_EQ(e.MainText(), "The table " + dir.File("t.dbf") + " is in use by another program");
  }
  // Another process is refused as well.
  pid_t child = ::fork();
  if (child == 0) {
    int code = 2;
    try {
      Table::Open(dir.File("t.dbf"));
      code = 1;
    } catch (const EngineError& e) {
      code = e.Code() == ResultCode::TableInUse ? 0 : 3;
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process was not refused";
  first.reset();
  EXPECT_NO_THROW(Table::Open(dir.File("t.dbf")));

  // Two openers that share the table: the first to change it takes the lock and keeps it while
  // its journal may hold changes; the other still reads, and its change is refused.
  OpenOptions shared;
  shared.exclusive = false;
  auto a = Table::Open(dir.File("t.dbf"), shared);
  auto b = Table::Open(dir.File("t.dbf"), shared);
  Record r = a->BlankRecord();
  a->Append(r);
  try {
    Record other = b->BlankRecord();
    b->Append(other);
    ADD_FAILURE() << "a second writer changed a table another opener writes";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::TableInUse) << e.Message();
  }
  EXPECT_NO_THROW(b->RecordCount());
  a.reset();
  // Free now, but what it read is out of date: a change would overwrite the other's record.
  Record other = b->BlankRecord();
  EXPECT_THROW(b->Append(other), EngineError);
  b.reset();
  auto c = Table::Open(dir.File("t.dbf"), shared);
  EXPECT_NO_THROW(c->Append(other));
  EXPECT_TRUE(c->Check().empty());
}

// Tests run as root, whom permission bits do not stop; the engine treats a file without its
// owner write bit as read-only for everyone, so chmod 0444 is honoured here too.
TEST(TableTest, ATableWhoseFilesAreReadOnlyOpensReadOnly) {
  TempFolder dir;
  {
    auto t = Make(dir, AllTypes(true));
    Record r = t->BlankRecord();
    t->SetText(r, 0, "kept");
    t->Append(r);
  }
  ::chmod(dir.File("t.dbt").c_str(), 0444);
  auto t = Table::Open(dir.File("t.dbf"));
  EXPECT_TRUE(t->ReadOnly());
  EXPECT_EQ(t->GetText(t->ReadRecord(1), 0), "kept");
  Record r = t->BlankRecord();
  EXPECT_EQ(CodeOf([&] { t->Append(r); }), "2205");
  EXPECT_EQ(CodeOf([&] { t->Delete(1); }), "2205");
  EXPECT_EQ(CodeOf([&] { t->Pack(); }), "2205");
  t.reset();
  ::chmod(dir.File("t.dbt").c_str(), 0644);
  OpenOptions readOnly;
  readOnly.readOnly = true;
  EXPECT_TRUE(Table::Open(dir.File("t.dbf"), readOnly)->ReadOnly());
  EXPECT_FALSE(Table::Open(dir.File("t.dbf"))->ReadOnly());
}

TEST(TableTest, MissingFilesAreNamed) {
  TempFolder dir;
  EXPECT_EQ(CodeOf([&] { Table::Open(dir.File("none.dbf")); }), "2201");
  Make(dir, AllTypes(true)).reset();
  std::remove(dir.File("t.dbt").c_str());
  try {
    Table::Open(dir.File("t.dbf"));
    FAIL();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::MemoFileMissing);
    EXPECT_NE(e.Message().find(dir.File("t.dbt")), std::string::npos);
  }
}

TEST(TableTest, PackDropsDeletedRecordsAndTheirMemosAndKeepsTheRest) {
  TempFolder dir;
  auto t = Make(dir, AllTypes(true));
  for (int i = 1; i <= 30; ++i) {
    Record r = t->BlankRecord();
    t->SetText(r, 0, "note " + std::to_string(i));
    t->SetText(r, 6, std::string(700, static_cast<char>('a' + i % 26)) + std::to_string(i));
    t->Append(r);
  }
  for (uint32_t recno = 1; recno <= 30; ++recno)
    if (recno % 3 != 0) t->Delete(recno);
  EXPECT_EQ(CodeOf([&] { t->Delete(1); }), "2103");
  const auto dbfBefore = TempFolder::Read(dir.File("t.dbf")).size();
  const auto dbtBefore = TempFolder::Read(dir.File("t.dbt")).size();
  uint32_t lastDone = 0, lastTotal = 0;
  t->Pack([&](uint32_t done, uint32_t total) { lastDone = done, lastTotal = total; });
  EXPECT_EQ(lastDone, 30u);
  EXPECT_EQ(lastTotal, 30u);
  EXPECT_EQ(t->RecordCount(), 10u);
  EXPECT_LT(TempFolder::Read(dir.File("t.dbf")).size(), dbfBefore);
  EXPECT_LT(TempFolder::Read(dir.File("t.dbt")).size(), dbtBefore / 2);
  auto check = [](Table& table) {
    for (uint32_t i = 1; i <= 10; ++i) {
      Record r = table.ReadRecord(i);
      int n = static_cast<int>(i * 3);
      EXPECT_EQ(table.GetText(r, 0), "note " + std::to_string(n));
      EXPECT_EQ(table.GetText(r, 6), std::string(700, static_cast<char>('a' + n % 26)) + std::to_string(n));
    }
    EXPECT_TRUE(table.Check().empty());
  };
  check(*t);
  // The table stays open, held exclusively, and takes further changes.
  EXPECT_EQ(CodeOf([&] { Table::Open(dir.File("t.dbf")); }), "2204");
  Record r = t->BlankRecord();
  t->SetText(r, 0, "after pack");
  EXPECT_EQ(t->Append(r), 11u);
  t.reset();
  auto reopened = Table::Open(dir.File("t.dbf"));
  check(*reopened);
  EXPECT_EQ(reopened->GetText(reopened->ReadRecord(11), 0), "after pack");
}

TEST(TableTest, AProductionIndexIsMadeFlaggedAndRequired) {
  TempFolder dir;
  TableSpec spec = AllTypes(true);
  spec.tags = {{"NAME", "NAME"}, {"UPNAME", "UPPER(NAME)"}};
  Make(dir, spec).reset();
  std::string image = TempFolder::Read(dir.File("t.dbf"));
  EXPECT_EQ(image[28], 1) << "the table says it has a production index";
  EXPECT_EQ(image[32 + 31], 1) << "NAME is the whole key of a tag";
  EXPECT_EQ(image[64 + 31], 0);
  {
    auto t = Table::Open(dir.File("t.dbf"));
    ASSERT_NE(t->Index(), nullptr);
    EXPECT_EQ(t->Index()->FindTag("upname"), 1);
    Record r = t->BlankRecord();
    t->SetText(r, 0, "Beta");
    t->Append(r);
    t->SetText(r, 0, "alpha");
    t->Append(r);
    EXPECT_EQ(t->Index()->EntryCount(0), 2u);
    EXPECT_TRUE(t->Check().empty());
  }
  std::rename(dir.File("t.mdx").c_str(), dir.File("t.mdx.away").c_str());
  try {
    Table::Open(dir.File("t.dbf"));
    FAIL() << "opened without its index";
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), ResultCode::IndexFileMissing);
    EXPECT_EQ(e.MainText(), "The index file " + dir.File("t.mdx") + " of the table is missing");
  }
  OpenOptions tolerate;
  tolerate.tolerateBadIndex = true;
  {
    auto t = Table::Open(dir.File("t.dbf"), tolerate);
    EXPECT_EQ(t->Index(), nullptr);
    EXPECT_TRUE(t->ReadOnly()) << "changes would leave the index behind";
    EXPECT_EQ(t->RecordCount(), 2u);
  }
  TempFolder::Write(dir.File("t.mdx"), std::string(4096, '\x55'));
  EXPECT_EQ(CodeOf([&] { Table::Open(dir.File("t.dbf")); }), "2303");
  EXPECT_NO_THROW(Table::Open(dir.File("t.dbf"), tolerate));
}

TEST(TableTest, CreateRefusesWhatCannotBeStored) {
  TempFolder dir;
  using Fields = std::vector<TableSpec::Field>;
  auto create = [&](Fields fields) {
    TableSpec spec;
    spec.fields = std::move(fields);
    return CodeOf([&] { Table::Create(dir.File("c.dbf"), spec); });
  };
  EXPECT_EQ(create(Fields{{"NAME", 'C', 0}}), "2502");
  EXPECT_EQ(create(Fields{{"NAME", 'C', 255}}), "2502");
  EXPECT_EQ(create(Fields{{"A_VERY_LONG_NAME", 'C', 5}}), "2502");
  EXPECT_EQ(create(Fields{{"N", 'N', 21}}), "2502");
  EXPECT_EQ(create(Fields{{"A", 'C', 5}, {"a", 'C', 5}}), "2502");
  EXPECT_EQ(create(Fields{{"X", 'Q', 5}}), "2502");
  EXPECT_EQ(create(Fields{}), "2502");
  EXPECT_FALSE(std::filesystem::exists(dir.File("c.dbf")));
}

}  // namespace
}  // namespace tindrel::engine
