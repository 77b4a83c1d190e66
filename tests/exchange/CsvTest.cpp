// CSV out and in: RFC 4180 quoting in both directions, the parent links resolved whatever the row
// order, what does not make a tree kept with a notice, and broken files refused by line.

#include <gtest/gtest.h>

#include "exchange/CsvReader.h"
#include "exchange/CsvWriter.h"
#include "exchange/ExchangeError.h"
#include "tests/exchange/OutlineText.h"

namespace tindrel::exchange {
namespace {

using namespace testing;

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(CsvTest, WrittenNotesReadBackExactly) {
  const Outline tricky = TrickyOutline();
  StringSink out;
  WriteCsv(tricky, out);
  const Outline back = ReadCsv(out.Text());
  EXPECT_EQ(ShowOutline(back), ShowOutline(tricky));
  EXPECT_TRUE(back.notices.empty()) << Lines(back.notices);
}

TEST(CsvTest, RowsCarryTheNotesOwnIdsTheirParentsAndTheirPaths) {
  Outline outline = MakeOutline({{1, "Top", "a, b"}, {2, "Child/one", "say \"hi\"\r\nbye"}, {1, "Other", ""}});
  outline.notes[0].id = "7";
  outline.notes[1].id = "12";
  outline.notes[2].id = "3";
  StringSink out;
  WriteCsv(outline, out);
  EXPECT_EQ(out.Text(),
            "ID,Parent,Text,MEMO,Path\r\n"
            "7,,Top,\"a, b\",Top\r\n"
            "12,7,Child/one,\"say \"\"hi\"\"\r\nbye\",Top/Child\\/one\r\n"
            "3,,Other,,Other\r\n");
  // Without an ID for every note, or with one used twice, the notes are numbered instead.
  outline.notes[2].id = "7";
  StringSink numbered;
  WriteCsv(outline, numbered);
  const std::string numberedStart = "ID,Parent,Text,MEMO,Path\r\n1,,Top,\"a, b\",Top\r\n2,1,Child/one,";
  EXPECT_EQ(numbered.Text().substr(0, numberedStart.size()), numberedStart);
}

TEST(CsvTest, RowsMayComeInAnyOrderAndTheLinksMakeTheTree) {
  const std::string csv =
      "\xEF\xBB\xBFid,PARENT,text,Memo,Path,Colour\n"
      "5,9,Grandchild,g,,red\n"
      "9,1,Child,c,,blue\n"
      "1,,Top,t,,green\n"
      "\n"
      "2,,Second top,,,\n";
  const Outline outline = ReadCsv(csv);
  EXPECT_EQ(ShowOutline(outline), "Top | t\n  Child | c\n    Grandchild | g\nSecond top | \n");
  EXPECT_EQ(Lines(outline.notices), "line 1: the column \"Colour\" is not a field of a note; it is passed over\n");
  EXPECT_EQ(outline.notes[2].place, "line 2");
}

TEST(CsvTest, WhatDoesNotMakeATreeIsKeptAtTheTopLevelWithANotice) {
  const std::string csv =
      "ID,Parent,Text\r\n"
      "1,,Root\r\n"
      "2,44,Orphan\r\n"     // line 3: a parent no row has
      "3,4,Loop A\r\n"      // lines 4-6: a loop of three
      "4,5,Loop B\r\n"
      "5,3,Loop C\r\n"
      "6,5,Below the loop\r\n"
      "7,7,Own parent\r\n"  // line 8
      ",1,No ID\r\n";
  const Outline outline = ReadCsv(csv);
  EXPECT_EQ(ShowOutline(outline),
            "Root | \n"
            "  No ID | \n"
            "Orphan | \n"
            "Loop A | \n"
            "  Loop C | \n"
            "    Loop B | \n"
            "    Below the loop | \n"
            "Own parent | \n");
  EXPECT_EQ(Lines(outline.notices),
            "line 3: the parent ID 44 names no row; the note is placed at the top level\n"
            "lines 4, 5 and 6: the parents make a loop; the note on line 4 is placed at the top level\n"
            "line 8: the parents make a loop; the note on line 8 is placed at the top level\n");
}

TEST(CsvTest, BrokenFilesAreRefusedByLine) {
  struct Case {
    std::string csv;
    std::string error;
  };
  const Case cases[] = {
      {"ID,Parent,Text\r\n1,,\"never closed\r\n2,,b\r\n", "line 2, column 4: the quoted field that begins here is not closed"},
      {"ID,Parent,Text\r\n1,,a \"quote\" inside\r\n", "line 2, column 6: a quote inside a field that does not begin with one (quote the whole field)"},
      {"ID,Parent,Text\r\n1,,\"closed\" then more\r\n", "line 2, column 12: a quoted field must end at its closing quote (a quote inside it is written twice)"},
      {"ID,Parent,Text\r\n1,,a\r\n2,,b,extra\r\n", "line 3: the row has 4 fields, the header 3"},
      {"ID,Parent,Text\r\n1,,\"two\r\nlines\"\r\n1,,again\r\n", "line 4: the ID 1 is used already by the row on line 2"},
      {"ID,Text,MEMO\r\n1,a,b\r\n", "line 1: the header has no column Parent (it needs ID, Parent and Text; MEMO and Path may follow)"},
      {"ID,Parent,Text,text\r\n", "line 1: the header names the column text twice"},
      {"ID,Parent,Text\r\n1,,caf\xE9\r\n", "line 2, column 7: these bytes are not UTF-8 text (only UTF-8 CSV files can be read)"},
  };
  for (const Case& c : cases) {
    try {
      ReadCsv(c.csv);
      ADD_FAILURE() << "read: " << Visible(c.csv);
    } catch (const ExchangeError& e) {
      EXPECT_EQ(std::string(e.what()), c.error) << Visible(c.csv);
    }
  }
}

}  // namespace
}  // namespace tindrel::exchange
