// tindrel-table index and adopt on tables that other programs wrote: what adopt reports about a
// table's fields, the index tag on ID that index (and adopt) make, and that neither ever changes
// a record.

#include <gtest/gtest.h>

#include <functional>

#include "store/engine/DbfFile.h"
#include "store/engine/Table.h"
#include "tests/tools/ToolTestSupport.h"

namespace tindrel::test {
namespace {

using engine::Table;
using engine::TableSpec;

using Fields = std::vector<TableSpec::Field>;
const Fields kNoteFields = {{"ID", 'N', 10}, {"PARENT", 'N', 10}, {"TEXT", 'C', 64}, {"MEMO", 'M', 10}};

// A table of five notes at dir/n.dbf, the first field their ID when it holds numbers or text.
std::string MakeTable(const TempDir& dir, const Fields& fields, std::vector<engine::MdxIndex::TagSpec> tags = {},
                      bool dBase4 = false) {
  const std::string path = dir / "n.dbf";
  TableSpec spec;
  spec.fields = fields;
  spec.tags = std::move(tags);
  spec.dBase4 = dBase4;
  Table::Create(path, spec);
  auto t = Table::Open(path);
  for (int i = 1; i <= 5; ++i) {
    engine::Record r = t->BlankRecord();
    for (int f = 0; f < static_cast<int>(fields.size()); ++f) {
      switch (t->Fields()[f].type) {
        case 'N': t->SetText(r, f, std::to_string(f == 0 ? 6 - i : i / 2)); break;
        case 'C': t->SetText(r, f, "note " + std::to_string(6 - i)); break;
        case 'M': t->SetText(r, f, "the text of note " + std::to_string(i)); break;
        case 'D': t->SetText(r, f, "2024010" + std::to_string(i)); break;
        default: break;
      }
    }
    t->Append(r);
  }
  return path;
}

// The records as stored: the table's bytes after its header, and the memo file.
std::string RecordBytes(const std::string& dbf) {
  const std::string bytes = ReadFile(dbf);
  return bytes.substr(engine::ReadU16(bytes.data() + 8)) + ReadFile(dbf.substr(0, dbf.size() - 4) + ".dbt");
}

void Spoil(const std::string& path, const std::string& bytes) { WriteFile(path, bytes); }

// Stores the field names as another program may have written them.
void RenameFields(const std::string& dbf, const std::vector<std::string>& names) {
  std::string bytes = ReadFile(dbf);
  for (size_t i = 0; i < names.size(); ++i) {
    bytes.replace(32 + 32 * i, 11, std::string(11, '\0'));
    bytes.replace(32 + 32 * i, names[i].size(), names[i]);
  }
  WriteFile(dbf, bytes);
}

TEST(IndexAndAdopt, IndexGivesEachTableItsTagOnIdAndCheckThenFindsItConsistent) {
  struct Case {
    const char* name;
    std::vector<engine::MdxIndex::TagSpec> tags;
    bool dBase4;
    std::function<void(const TempDir&)> spoil;
    int checkBefore;
    size_t tagsAfter;
  };
  const std::vector<Case> cases = {
      {"a dBASE III table without an index", {}, false, [](const TempDir&) {}, 0, 1},
      {"an index without a tag on ID", {{"TITLE", "UPPER(TEXT)"}}, true, [](const TempDir&) {}, 0, 2},
      {"a marked index file that is missing", {{"TITLE", "UPPER(TEXT)"}}, true,
       [](const TempDir& dir) { std::filesystem::remove(dir / "n.mdx"); }, 1, 1},
      {"a marked index file that is damaged", {{"TITLE", "UPPER(TEXT)"}}, true,
       [](const TempDir& dir) { Spoil(dir / "n.mdx", std::string(4096, '\xEE')); }, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string table = MakeTable(dir, kNoteFields, c.tags, c.dBase4);
    c.spoil(dir);
    const std::string records = RecordBytes(table);
    const std::string dump = RunTool({"dump", table}).out;
    EXPECT_EQ(RunTool({"check", table}).status, c.checkBefore);
    if (c.tags.empty() || c.checkBefore != 0) {
      const ProcessResult reindex = RunTool({"reindex", table});
      EXPECT_EQ(reindex.status, 1);
      EXPECT_NE(reindex.err.find("`tindrel-table index " + table + "` gives it a new one"), std::string::npos)
          << reindex.err;
    }

    ProcessResult r = RunTool({"index", table});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("tag ID"), std::string::npos) << r.out;
    r = RunTool({"check", table});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, table + ": consistent (5 records, 0 deleted, " + std::to_string(c.tagsAfter) + " tags)\n");
    EXPECT_EQ(RecordBytes(table), records) << "no record changed";
    EXPECT_EQ(RunTool({"dump", table}).out, dump);
    {
      auto t = Table::Open(table);
      const int tag = engine::TagForFields(*t->Index(), {0});
      ASSERT_GE(tag, 0);
      ASSERT_EQ(t->Index()->EntryCount(tag), 5u);
      EXPECT_EQ(t->Index()->EntryAt(tag, 0).recno, 5u) << "ID 1 is the last record";
    }

    const std::string files = ReadFile(table) + ReadFile(dir / "n.mdx");
    r = RunTool({"index", table});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, table + ": the index tag ID orders by ID already; nothing to do\n");
    EXPECT_EQ(ReadFile(table) + ReadFile(dir / "n.mdx"), files) << "a second run changes nothing";
  }
}

TEST(IndexAndAdopt, AdoptReportsTheFieldsItFoundAndWhatStopsTheTable) {
  struct Case {
    const char* name;
    Fields fields;
    std::vector<std::string> storedNames;  // the names as the file holds them; empty: as made
    std::vector<std::string> lines;        // what adopt prints after "TABLE: "
    int status;
  };
  const std::vector<Case> cases = {
      {"a note table in other capitals and sizes",
       {{"ID", 'C', 8}, {"PARENT", 'C', 8}, {"TEXT", 'C', 30}, {"MEMO", 'M', 10}},
       {"Id", "parent", "TeXt", "memo"},
       {"ID      field Id C(8): serves", "Parent  field parent C(8): serves", "Text    field TeXt C(30): serves",
        "MEMO    field memo M: serves",
        "note: The table names no code page (language driver 0): its text is read as ISO 8859-1 (Western European)",
        "The index n.mdx was made with the tag ID", "can serve as a note table"},
       0},
      {"missing fields and fields of other types",
       {{"ID", 'D', 8}, {"PARENT", 'N', 10, 2}, {"TITLE", 'C', 30}, {"MEMO", 'C', 10}},
       {},
       {"ID      field ID D: of another type; a note's identifier needs a whole number (N) or text (C)",
        "Parent  field PARENT N(10,2): a number with decimals; the identifier of a note's parent needs whole numbers "
        "(N with no decimals) or text (C)",
        "Text    missing", "MEMO    field MEMO C(10): of another type; a note's text needs a memo field (M)",
        "adopt adds no field: that would rewrite every record of the table",
        "note: The table names no code page (language driver 0): its text is read as ISO 8859-1 (Western European)",
        "index  none on ID: it needs a usable ID field", "cannot serve as a note table (4 problems)"},
       1},
      {"a table that would serve but for its title",
       {{"ID", 'N', 10}, {"PARENT", 'N', 4}, {"MEMO", 'M', 10}},
       {},
       {"ID      field ID N(10): serves", "Parent  field PARENT N(4): serves", "Text    missing",
        "MEMO    field MEMO M: serves", "adopt adds no field: that would rewrite every record of the table",
        "note: Parent (N(4)) is narrower than ID (N(10)): a note cannot be placed under one whose ID is wider than "
        "Parent holds",
        "note: The table names no code page (language driver 0): its text is read as ISO 8859-1 (Western European)",
        "index  no tag orders by ID; none is made while the table cannot serve", "cannot serve as a note table (1 problem)"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string table = MakeTable(dir, c.fields);
    RenameFields(table, c.storedNames);
    const std::string records = RecordBytes(table);
    const std::string before = ReadFile(table);
    const ProcessResult r = RunTool({"adopt", table});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    std::string expected;
    for (const std::string& line : c.lines)
      expected += table + ": " + (line.rfind("The index n.mdx", 0) == 0 ? "The index " + dir / "n.mdx" + line.substr(15) : line) + "\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(RecordBytes(table), records) << "adopt never changes a record";
    if (c.status != 0) {
      EXPECT_EQ(ReadFile(table), before) << "a table that cannot serve is left as it is";
      EXPECT_FALSE(std::filesystem::exists(dir / "n.mdx"));
    } else {
      EXPECT_EQ(RunTool({"check", table}).status, 0);
      const ProcessResult again = RunTool({"adopt", table});
      EXPECT_EQ(again.status, 0);
      EXPECT_NE(again.out.find(table + ": index  tag ID orders by ID\n"), std::string::npos) << again.out;
    }
  }
}

TEST(IndexAndAdopt, ADryRunChangesNothingAndTheMissingTagIsTheProblemItFinds) {
  TempDir dir;
  const std::string table = MakeTable(dir, kNoteFields);
  const std::string before = ReadFile(table);
  const ProcessResult r = RunTool({"adopt", "--dry-run", table});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(table + ": index  no tag orders by ID; adopt without --dry-run (or index) makes it\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("cannot serve as a note table (1 problem)"), std::string::npos);
  EXPECT_EQ(ReadFile(table), before);
  EXPECT_FALSE(std::filesystem::exists(dir / "n.mdx"));
}

// What cannot be mended is said, with status 1, and nothing changes.
TEST(IndexAndAdopt, WhatCannotBeMendedIsReportedAndLeftAsItIs) {
  {
    SCOPED_TRACE("no ID field");
    TempDir dir;
    const std::string table = MakeTable(dir, {{"KEY", 'N', 10}, {"PARENT", 'N', 10}, {"TEXT", 'C', 64}, {"MEMO", 'M', 10}});
    const ProcessResult r = RunTool({"index", table});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, table + ": ID missing; no index was made (`tindrel-table adopt " + table +
                         "` tells what the table lacks)\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "n.mdx"));
  }
  {
    SCOPED_TRACE("files that cannot be written");
    TempDir dir;
    const std::string table = MakeTable(dir, kNoteFields);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const ProcessResult r = RunTool({"index", table});
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be written; no index was made"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "n.mdx"));
  }
}

}  // namespace
}  // namespace tindrel::test
