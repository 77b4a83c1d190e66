// tindrel-table moving notes out and in: export of the whole table or one subtree, import at the
// top level or below a note, a new table made from an export, and the summary with what did not
// fit. Bad input leaves everything as it was and says where it went wrong.

#include <gtest/gtest.h>

#include "exchange/TableOutline.h"
#include "store/engine/Table.h"
#include "tests/tools/ToolTestSupport.h"
#include "tools/NoteTable.h"

namespace tindrel::test {
namespace {

// The notes of a table as "  title | memo" lines in the tree's order.
std::string Tree(const std::string& table) {
  auto opened = engine::Table::Open(table, {.exclusive = false, .readOnly = true});
  EXPECT_EQ(opened->Check(), std::vector<std::string>());
  const exchange::Outline outline = exchange::ReadTableOutline(*opened);
  const std::vector<int> depths = exchange::DepthsOf(outline);
  std::string text;
  for (size_t i = 0; i < outline.notes.size(); ++i)
    text += std::string(2 * static_cast<size_t>(depths[i] - 1), ' ') + outline.notes[i].title + " | " +
            std::to_string(outline.notes[i].memo.size()) + "\n";
  return text;
}

std::string StarterTable(const TempDir& dir, const std::string& name) {
  const ProcessResult made = RunTool({"create", dir / name});
  EXPECT_EQ(made.status, 0) << made.err;
  return tools::NoteTablePath(dir / name);
}

TEST(ExchangeTool, EachFormatCarriesTheNotesIntoANewTable) {
  TempDir dir;
  const std::string table = StarterTable(dir, "start");
  for (const char* format : {"opml", "csv", "markdown-folder", "markdown-file"}) {
    const std::string out = dir / (std::string("notes.") + format);
    const ProcessResult exported = RunTool({"export", table, format, out});
    ASSERT_EQ(exported.status, 0) << format << ": " << exported.err;
    EXPECT_EQ(exported.out.substr(0, out.size() + 22), out + ": exported 12 notes as") << format;
    const ProcessResult made = RunTool({"create", dir / format, "--from", format, out});
    ASSERT_EQ(made.status, 0) << format << ": " << made.err;
    EXPECT_EQ(made.out, tools::NoteTablePath(dir / format) + ": created with 12 notes from " + out + "\n");
    EXPECT_EQ(Tree(tools::NoteTablePath(dir / format)), Tree(table)) << format;
  }
}

TEST(ExchangeTool, ASubtreeGoesOutAndComesInBelowAnotherNote) {
  TempDir dir;
  const std::string table = StarterTable(dir, "start");
  ASSERT_EQ(RunTool({"export", table, "opml", dir / "greek.opml", "--subtree", "8"}).status, 0);
  const ProcessResult imported = RunTool({"import", table, "opml", dir / "greek.opml", "--under", "3"});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out, table + ": imported 5 notes from " + (dir / "greek.opml") +
                              " below the note 3, the first with the ID 13\n");
  const std::string tree = Tree(table);
  const std::string greek = "Καλώς ήρθατε στο Tindrel II | 323\n";
  EXPECT_NE(tree.find("  Moving notes: drag and drop | 124\n    " + greek + "      Αναζήτηση"), std::string::npos) << tree;
  ASSERT_EQ(RunTool({"import", table, "opml", dir / "greek.opml"}).status, 0);
  const std::string twice = Tree(table);
  const size_t first = twice.find("\n" + greek);
  ASSERT_NE(first, std::string::npos) << twice;
  EXPECT_NE(twice.find("\n" + greek, first + 1), std::string::npos) << "the subtree once more at the top level";
}

TEST(ExchangeTool, TheSummaryListsWhatDidNotFitAndBadInputChangesNothing) {
  TempDir dir;
  const std::string table = StarterTable(dir, "start");
  WriteFile(dir / "fits.csv",
            "ID,Parent,Text,MEMO\r\n"
            "1,,\"A title that is far too long for the Text field of the note table, which holds a hundred "
            "characters and no more\",memo\r\n"
            "2,77,Orphan,\r\n");
  const ProcessResult imported = RunTool({"import", table, "csv", dir / "fits.csv"});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out,
            table + ": imported 2 notes from " + (dir / "fits.csv") + " at the top level, the first with the ID 13\n"
            "  line 3: the parent ID 77 names no row; the note is placed at the top level\n"
            "  line 2: the title is longer than the 100 characters a title may have; it is cut to \"A title that is "
            "far too long for the Text field of the note table, which holds a hundred characters\" and kept whole "
            "as the first line of the memo\n");

  const std::string before = ReadFile(table) + ReadFile(dir / "start/Tindrel.dbt");
  struct Case {
    std::string name;
    std::string content;
    std::string error;
  };
  const Case cases[] = {
      {"broken.opml", "<opml><body><outline text='a'></body></opml>",
       "tindrel-table: line 1, column 31: </body> does not close <outline>, opened at line 1\n"},
      {"broken.csv", "ID,Parent,Text\r\n1,,\"open\r\n", "tindrel-table: line 2, column 4: the quoted field that begins here is not closed\n"},
      {"wide.csv", "ID,Parent,Text\r\n1,,Snowman \xE2\x98\x83\r\n",
       "tindrel-table: The table's code page 1253 cannot hold these characters, so nothing was imported:\n"
       "line 2: the title \"Snowman \xE2\x98\x83\" holds '\xE2\x98\x83' (U+2603)\n"},
      {"empty.csv", "ID,Parent,Text\r\n", "tindrel-table: " + (dir / "empty.csv") + " holds no notes; nothing was imported\n"},
  };
  for (const Case& c : cases) {
    WriteFile(dir / c.name, c.content);
    const std::string format = c.name.substr(c.name.rfind('.') + 1);
    const ProcessResult refused = RunTool({"import", table, format, dir / c.name});
    EXPECT_EQ(refused.status, 1) << c.name;
    EXPECT_EQ(refused.err, c.error) << c.name;
    const ProcessResult notMade = RunTool({"create", dir / ("new-" + c.name), "--from", format, dir / c.name});
    EXPECT_EQ(notMade.err, c.error) << c.name;
    EXPECT_FALSE(std::filesystem::exists(dir / ("new-" + c.name))) << c.name;
  }
  EXPECT_EQ(ReadFile(table) + ReadFile(dir / "start/Tindrel.dbt"), before);
}

}  // namespace
}  // namespace tindrel::test
