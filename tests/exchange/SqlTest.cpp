// The SQL script: SQLite runs it with its foreign keys enforced and holds every note exactly,
// parents linked and in order; a character neither database can hold is refused.

#include <gtest/gtest.h>

#include "exchange/ExchangeError.h"
#include "exchange/OutputFile.h"
#include "exchange/SqlWriter.h"
#include "tests/exchange/ExternalCheck.h"
#include "tests/exchange/OutlineText.h"
#include "tests/support/engine/TempFolder.h"

namespace tindrel::exchange {
namespace {

using namespace testing;
using engine::testing::TempFolder;

TEST(SqlTest, SqliteRunsTheScriptAndHoldsEveryNoteWithItsParent) {
  TempFolder dir;
  const std::string path = dir.File("notes.sql");
  const Outline tricky = TrickyOutline();
  {
    OutputFile out(path, false);
    WriteSql(tricky, out);
    out.Commit();
  }
  const auto run = RunPython(R"(
import sqlite3, sys
db = sqlite3.connect(':memory:')
db.execute('PRAGMA foreign_keys = ON')
db.executescript(open(sys.argv[1], encoding='utf-8', newline='').read())
for id, parent, title, memo in db.execute('SELECT id, parent, title, memo FROM notes ORDER BY id'):
    print(id, parent, title.encode().hex(), memo.encode().hex())
)", {path});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string expected;
  for (size_t i = 0; i < tricky.notes.size(); ++i) {
    const OutlineNote& note = tricky.notes[i];
    expected += std::to_string(i + 1) + " " + (note.parent >= 0 ? std::to_string(note.parent + 1) : "None") + " " +
                Hex(note.title) + " " + Hex(note.memo) + "\n";
  }
  EXPECT_EQ(run.out, expected);
}

TEST(SqlTest, TheCharacterU0000IsRefusedBeforeAnythingIsWritten) {
  StringSink out;
  try {
    WriteSql(MakeOutline({{1, "ok", "ok"}, {1, "bad", std::string("a\0b", 3)}}), out);
    FAIL() << "written";
  } catch (const ExchangeError& e) {
    EXPECT_EQ(std::string(e.what()),
              "SQL texts cannot hold the character U+0000, so nothing was exported:\n"
              "note 2: the memo of \"bad\" holds it");
  }
  EXPECT_EQ(out.Text(), "");
}

}  // namespace
}  // namespace tindrel::exchange
