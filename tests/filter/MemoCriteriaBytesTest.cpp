// The filter's memo and title criteria compared in the table's own code page against the
// decoding comparison: each criterion is applied through the real filter component, both ways,
// and must let the same notes through, on small tables that hold the hard cases and on a
// generated one.

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "filter/FilterStoredBytes.h"
#include "filter/TwwFilterDialog.h"
#include "store/CodePageFold.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"

namespace tindrel {
namespace {

class FilteredTable {
 public:
  explicit FilteredTable(const std::string& path) {
    table.SetTableName(QString::fromStdString(path));
    table.SetIndexFieldNames(QStringLiteral("ID"));
    table.Open();
    source.SetDataSet(&table);
    ConfigureNoteFilterDialog(filter, &source);
  }

  // The IDs of the notes that pass `criterion`, with the byte paths on or off.
  QStringList Passing(const TwwFieldInfo& criterion, bool bytePath) {
    SetMemoBytePath(bytePath);
    SetTextBytePath(bytePath);
    filter.ApplyCriteria({criterion});
    QStringList ids;
    for (table.First(); !table.Eof(); table.Next()) ids << table.FieldNamed(QStringLiteral("ID")).AsString();
    filter.ApplyCriteria({});
    SetMemoBytePath(true);
    SetTextBytePath(true);
    return ids;
  }

  testing::ScriptedPlatform platform;
  TTable table;
  TDataSource source;
  TwwFilterDialog filter;
};

TwwFieldInfo MemoCriterion(const QString& value, TwwFilterMatchType type, bool caseSensitive, bool nonMatching = false) {
  TwwFieldInfo c;
  c.DisplayName = QStringLiteral("MEMO");
  c.MatchType = type;
  c.FilterValue = value;
  c.CaseSensitive = caseSensitive;
  c.NonMatching = nonMatching;
  if (type == fdMatchRange) c.MaxValue = value;
  return c;
}

std::string NotesTable(const QTemporaryDir& dir, uint8_t languageDriver, const std::vector<std::string>& memos) {
  std::vector<testing::Note> notes;
  for (size_t i = 0; i < memos.size(); ++i) notes.push_back({std::to_string(i + 1), "", "note", memos[i]});
  testing::NoteTableShape shape;
  shape.numericId = true;
  shape.languageDriver = languageDriver;
  return testing::WriteNoteTable(dir.path().toStdString(), notes, shape);
}

struct CriterionCase {
  const char* what;
  const char* value;
  TwwFilterMatchType type;
  bool caseSensitive;
  bool nonMatching;
  QStringList passing;
};

TEST(MemoCriteriaBytes, EveryCriterionLetsTheSameNotesThroughBothWays) {
  struct Table {
    const char* what;
    uint8_t languageDriver;
    std::vector<std::string> memos;
    std::vector<CriterionCase> cases;
  };
  const Table tables[] = {
      {"Greek code page",
       0xCB,
       {"", "Red fox", "Μήλο και σημείωση", "Διΐστημα", "bordered RED", std::string("zero\0RED", 8), "\xEF\x9E\xAA byte",
        "red"},
       {
           {"anywhere, folded", "red", fdMatchAny, false, false, {"2", "5", "6", "8"}},
           {"anywhere, case kept", "Red", fdMatchAny, true, false, {"2"}},
           {"the whole memo is compared, past a zero character", "0RED", fdMatchAny, false, false, {}},
           {"the zero character itself is part of the text", "ZERO", fdMatchStart, false, false, {"6"}},
           {"start", "RED", fdMatchStart, false, false, {"2", "8"}},
           {"exact", "RED", fdMatchExact, false, false, {"8"}},
           {"Greek, folded", "ΣΗΜΕΊΩΣΗ", fdMatchAny, false, false, {"3"}},
           {"Greek letter whose upper case is three characters", "ΐσ", fdMatchAny, false, false, {"4"}},
           {"OR of two operands", "fox or μήλο", fdMatchAny, false, false, {"2", "3"}},
           {"AND of two operands", "red and fox", fdMatchAny, false, false, {"2"}},
           {"the null word finds the empty memo", "null", fdMatchAny, false, false, {"1"}},
           {"null or a word", "null or byte", fdMatchAny, false, false, {"1", "7"}},
           {"a quoted phrase keeps its blanks", "\"d fo\"", fdMatchAny, false, false, {"2"}},
           {"a byte the code page does not map", "\xEF\x9E\xAA", fdMatchStart, false, false, {"7"}},
           {"a character the code page cannot hold", "Ж", fdMatchAny, false, false, {}},
           {"non-matching inverts", "red", fdMatchAny, false, true, {"1", "3", "4", "7"}},
           {"an end criterion on a memo tests nothing", "red", fdMatchEnd, false, false,
            {"1", "2", "3", "4", "5", "6", "7", "8"}},
           {"a range on a memo tests nothing", "M", fdMatchRange, false, false, {"1", "2", "3", "4", "5", "6", "7", "8"}},
           {"an empty value passes nothing", "", fdMatchAny, false, false, {}},
           {"an empty exact value passes the empty memo", "", fdMatchExact, false, false, {"1"}},
       }},
      {"bytes as ISO 8859-1",
       0,
       {"Straße", "STRASSE", "µ and ÿ", "plain"},
       {
           {"sharp s folds to two letters", "strasse", fdMatchExact, false, false, {"1", "2"}},
           {"sharp s, case kept", "Straße", fdMatchExact, true, false, {"1"}},
           {"micro sign folds to Greek capital mu", "μ", fdMatchStart, false, false, {"3"}},
           {"y with diaeresis", "Ÿ", fdMatchAny, false, false, {"3"}},
       }},
  };
  for (const Table& t : tables) {
    SCOPED_TRACE(t.what);
    QTemporaryDir dir;
    FilteredTable notes(NotesTable(dir, t.languageDriver, t.memos));
    for (const CriterionCase& c : t.cases) {
      SCOPED_TRACE(c.what);
      const TwwFieldInfo criterion = MemoCriterion(QString::fromUtf8(c.value), c.type, c.caseSensitive, c.nonMatching);
      EXPECT_EQ(notes.Passing(criterion, true), c.passing);
      EXPECT_EQ(notes.Passing(criterion, false), c.passing);
    }
  }
}

TEST(MemoCriteriaBytes, EveryTitleCriterionLetsTheSameNotesThroughBothWays) {
  // The hard titles, then enough plain ones that the rest of a pass is judged from verdicts
  // made from the stored records, then the hard titles again.
  const std::vector<std::string> hard{"Red fox", "Μήλο και σημείωση", "Διΐστημα", "bordered RED",
                                      "red",     "",                  "  red"};
  const size_t kPlain = 300;
  std::vector<testing::Note> notes;
  auto add = [&](const std::string& title) {
    notes.push_back({std::to_string(notes.size() + 1), "", title, ""});
  };
  for (const std::string& title : hard) add(title);
  for (size_t i = 0; i < kPlain; ++i) add("plain title");
  for (const std::string& title : hard) add(title);
  testing::NoteTableShape shape;
  shape.numericId = true;
  shape.languageDriver = 0xCB;
  QTemporaryDir dir;
  FilteredTable table(testing::WriteNoteTable(dir.path().toStdString(), notes, shape));

  struct Case {
    const char* what;
    const char* value;
    TwwFilterMatchType type;
    bool caseSensitive;
    bool nonMatching;
    std::vector<size_t> hardPassing;  // 0-based in `hard`
    bool plainPasses;
  };
  const Case cases[] = {
      {"anywhere, folded", "red", fdMatchAny, false, false, {0, 3, 4, 6}, false},
      {"anywhere, case kept", "Red", fdMatchAny, true, false, {0}, false},
      {"start", "RED", fdMatchStart, false, false, {0, 4}, false},
      {"exact, the padding is no part of the title", "RED", fdMatchExact, false, false, {4}, false},
      {"exact keeps leading blanks", "\"  red\"", fdMatchExact, true, false, {6}, false},
      {"Greek, folded", "ΣΗΜΕΊΩΣΗ", fdMatchAny, false, false, {1}, false},
      {"Greek letter whose upper case is three characters", "ΐσ", fdMatchAny, false, false, {2}, false},
      {"OR of two operands", "fox or μήλο", fdMatchAny, false, false, {0, 1}, false},
      {"AND of two operands", "red and fox", fdMatchAny, false, false, {0}, false},
      {"the null word finds the empty title", "null", fdMatchAny, false, false, {5}, false},
      {"an empty exact value finds the empty title", "", fdMatchExact, false, false, {5}, false},
      {"an empty value passes nothing", "", fdMatchAny, false, false, {}, false},
      {"a character the code page cannot hold", "Ж", fdMatchAny, false, false, {}, false},
      {"non-matching inverts", "red", fdMatchAny, false, true, {1, 2, 5}, true},
      {"end is compared decoded", "red", fdMatchEnd, false, false, {3, 4, 6}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TwwFieldInfo criterion = MemoCriterion(QString::fromUtf8(c.value), c.type, c.caseSensitive, c.nonMatching);
    criterion.DisplayName = QStringLiteral("TEXT");
    QStringList expected;
    for (size_t h : c.hardPassing) expected << QString::number(h + 1);
    if (c.plainPasses)
      for (size_t i = 0; i < kPlain; ++i) expected << QString::number(hard.size() + i + 1);
    for (size_t h : c.hardPassing) expected << QString::number(hard.size() + kPlain + h + 1);
    EXPECT_EQ(table.Passing(criterion, true), expected);
    EXPECT_EQ(table.Passing(criterion, false), expected);
  }
}

TEST(MemoCriteriaBytes, RandomCriteriaOverAGeneratedTableAgreeBothWays) {
  QTemporaryDir dir;
  const std::vector<tools::Note> source = tools::RandomNotes(1500, 11);
  tools::CreateNoteTable(dir.path().toStdString(), source);
  FilteredTable notes(tools::NoteTablePath(dir.path().toStdString()));

  std::mt19937_64 random(5);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  auto piece = [&] {
    const QString memo = QString::fromStdString(source[pick(source.size())].memo);
    if (memo.isEmpty()) return QStringLiteral("null");
    return memo.mid(static_cast<qsizetype>(pick(static_cast<size_t>(memo.size()))), 1 + static_cast<qsizetype>(pick(8)));
  };
  const TwwFilterMatchType types[] = {fdMatchStart, fdMatchAny, fdMatchExact};
  int passedSome = 0;
  for (int round = 0; round < 40; ++round) {
    QString value = piece();
    if (round % 3 == 1) value += QStringLiteral(" or ") + piece();
    if (round % 5 == 2) value = value.toUpper();
    const TwwFieldInfo criterion = MemoCriterion(value, types[round % 3], round % 4 == 0, round % 7 == 0);
    SCOPED_TRACE(value.toStdString());
    const QStringList bytes = notes.Passing(criterion, true);
    EXPECT_EQ(bytes, notes.Passing(criterion, false));
    passedSome += !bytes.isEmpty() && bytes.size() < static_cast<qsizetype>(source.size());
  }
  // The values were cut from the memos, so most criteria let some notes through and not all.
  EXPECT_GT(passedSome, 10);
}

// A memo file long enough for the verdicts to be made from its two halves side by side: values
// cut from memos early and late in the file, the same notes through both ways.
TEST(MemoCriteriaBytes, CriteriaOverAMemoFileReadInTwoHalvesAgreeBothWays) {
  QTemporaryDir dir;
  const std::vector<tools::Note> source = tools::RandomNotes(12000, 13);
  tools::CreateNoteTable(dir.path().toStdString(), source);
  ASSERT_GT(QFileInfo(dir.filePath(QStringLiteral("Tindrel.dbt"))).size(), 8 << 20);
  FilteredTable notes(tools::NoteTablePath(dir.path().toStdString()));
  const TwwFilterMatchType types[] = {fdMatchStart, fdMatchAny, fdMatchExact};
  int passedSome = 0;
  for (int round = 0; round < 9; ++round) {
    const size_t early = static_cast<size_t>(round) * 97, late = source.size() - 1 - early;
    const QString a = QString::fromStdString(source[early].memo), b = QString::fromStdString(source[late].memo);
    QString value = round % 3 == 2 ? a : a.mid(a.size() / 2, 5) + QStringLiteral(" or ") + b.mid(b.size() / 3, 5);
    if (round % 2 == 1) value = value.toUpper();
    const TwwFieldInfo criterion = MemoCriterion(value, types[round % 3], false);
    SCOPED_TRACE(value.toStdString());
    const QStringList bytes = notes.Passing(criterion, true);
    EXPECT_EQ(bytes, notes.Passing(criterion, false));
    passedSome += !bytes.isEmpty();
  }
  EXPECT_GE(passedSome, 4);  // the anywhere and exact values, cut from memos, pass somewhere
}

TEST(MemoCriteriaBytes, AChangedMemoOrTitleIsJudgedAfreshWhileFiltered) {
  // Enough notes that a pass over them is judged from verdicts made from the stored records.
  for (const char* field : {"MEMO", "TEXT"}) {
    SCOPED_TRACE(field);
    QTemporaryDir dir;
    std::vector<testing::Note> rows;
    for (int i = 1; i <= 1200; ++i) rows.push_back({std::to_string(i), "", "plain title", "plain memo"});
    rows[10].text = rows[10].memo = "the needle";
    rows[700].text = rows[700].memo = "another needle";
    testing::NoteTableShape shape;
    shape.numericId = true;
    shape.languageDriver = 0xCB;
    FilteredTable notes(testing::WriteNoteTable(dir.path().toStdString(), rows, shape));
    TwwFieldInfo criterion = MemoCriterion(QStringLiteral("needle"), fdMatchAny, false);
    criterion.DisplayName = QString::fromLatin1(field);
    notes.filter.ApplyCriteria({criterion});
    auto passing = [&] {
      QStringList ids;
      for (notes.table.First(); !notes.table.Eof(); notes.table.Next())
        ids << notes.table.FieldNamed(QStringLiteral("ID")).AsString();
      return ids;
    };
    EXPECT_EQ(passing(), (QStringList{"11", "701"}));
    // The first passing note loses the word; a walk after the change no longer shows it.
    notes.table.First();
    notes.table.Edit();
    notes.table.FieldNamed(QString::fromLatin1(field)).SetAsString(QStringLiteral("no longer"));
    notes.table.Post();
    EXPECT_EQ(passing(), (QStringList{"701"}));
    notes.filter.ApplyCriteria({});
  }
}

}  // namespace
}  // namespace tindrel
