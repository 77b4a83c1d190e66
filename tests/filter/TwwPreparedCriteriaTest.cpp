// The installed record test keeps its criteria prepared from one record to the next. Between
// two walks over a filtered note table, each thing it was prepared from changes (the criteria,
// the operator words and the pad character, a display label, the note itself, the dataset
// closed and opened on a table with other fields, the locale), and the second walk must pass
// exactly the notes that a record test made afresh passes.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

#include "filter/TwwFilterDialog.h"
#include "filter/TwwPreparedCriteria.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/filter/FilterNotes.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel {
namespace {

using testing::Ids;
using testing::Note;
using testing::WriteNoteTable;
using testing::WriteTable;

const std::vector<Note>& kNotes = testing::kFilterNotes;

TwwFieldInfo Anywhere(const char* value) {
  TwwFieldInfo c;
  c.DisplayName = QStringLiteral("TEXT");
  c.MatchType = fdMatchAny;
  c.FilterValue = QString::fromUtf8(value);
  return c;
}

TwwFieldInfo UpTo(const char* upper) {
  TwwFieldInfo c;
  c.DisplayName = QStringLiteral("TEXT");
  c.MatchType = fdMatchRange;
  c.MaxValue = QString::fromUtf8(upper);
  return c;
}

// The notes above in a table of their own, filtered by the main window's filter component.
struct FilteredNotes {
  FilteredNotes() {
    table.SetTableName(QString::fromStdString(WriteNoteTable(dir, kNotes, true, 10)));
    table.Open();
    source.SetDataSet(&table);
    ConfigureNoteFilterDialog(filter, &source);
    // The criteria stay when the table closes, so a reopened table meets them.
    filter.SetOnFilterPropertyOptions(fdClearWhenNoCriteria);
  }

  // Closes the table and opens `path` in its place; the hook and the criteria stay.
  void Reopen(const std::string& path) {
    table.Close();
    table.SetTableName(QString::fromStdString(path));
    table.Open();
  }

  std::string OtherTable(const engine::TableSpec& spec, const std::vector<std::vector<std::string>>& rows) {
    const std::string path = dir.filePath(QStringLiteral("Other.dbf")).toStdString();
    WriteTable(path, spec, rows);
    return path;
  }

  testing::ScriptedPlatform platform;
  QTemporaryDir dir;
  TTable table;
  TDataSource source;
  TwwFilterDialog filter;
};

TEST(PreparedCriteria, EveryChangeBetweenTwoWalksIsSeenByTheSecond) {
  struct Case {
    const char* what;
    TwwFieldInfo criterion;
    std::function<void(FilteredNotes&)> change;
    QStringList before, after;
  };
  auto criterion = [](FilteredNotes& t) -> TwwFieldInfo& { return t.filter.FieldInfo()[0]; };
  const Case cases[] = {
      {"the value edited in place", Anywhere("red"), [&](auto& t) { criterion(t).FilterValue = "whale"; },
       {"1", "3"}, {"2"}},
      {"made case-sensitive", Anywhere("Red"), [&](auto& t) { criterion(t).CaseSensitive = true; }, {"1", "3"}, {"1"}},
      {"made non-matching", Anywhere("red"), [&](auto& t) { criterion(t).NonMatching = true; },
       {"1", "3"}, {"2", "4", "5"}},
      {"turned into a range", Anywhere("red"),
       [&](auto& t) {
         criterion(t).MatchType = fdMatchRange;
         criterion(t).MaxValue = "C";
       },
       {"1", "3"}, {"2", "3", "5"}},
      {"the OR word changed to a delimiter", Anywhere("fox | mouse"),
       [](auto& t) { t.filter.FieldOperators().SetOrChar("|"); }, {}, {"1", "4"}},
      {"the null word changed", Anywhere("empty"), [](auto& t) { t.filter.FieldOperators().SetNullChar("empty"); },
       {}, {"5"}},
      {"the pad character switched off", UpTo("M"), [](auto& t) { t.filter.SetUpperRangePadChar(QChar()); },
       {"2", "3", "4", "5"}, {"2", "3", "5"}},
      {"a display label gives a criterion its missing field",
       [] {
         TwwFieldInfo c = Anywhere("red");
         c.DisplayName = "Title";
         return c;
       }(),
       [](auto& t) { t.table.FieldNamed("TEXT").SetDisplayLabel("Title"); }, {"1", "2", "3", "4", "5"}, {"1", "3"}},
      {"a passing note retitled", Anywhere("red"),
       [](auto& t) {
         t.table.First();
         t.table.Edit();
         t.table.FieldNamed("TEXT").SetAsString("Grey fox");
         t.table.Post();
       },
       {"1", "3"}, {"3"}},
      {"reopened on a table whose field of that name lies elsewhere, with another field in its old place",
       Anywhere("red"),
       [](auto& t) {
         engine::TableSpec spec;
         spec.fields = {{"ID", 'C', 10}, {"KIND", 'C', 10}, {"NOTE", 'C', 10}, {"TEXT", 'C', 20}};
         t.Reopen(t.OtherTable(spec, {{"1", "", "red", "blue"}, {"2", "", "blue", "red"}, {"3", "", "", "Redder"}}));
       },
       {"1", "3"}, {"2", "3"}},
      {"reopened on a table without the field", Anywhere("red"),
       [](auto& t) {
         engine::TableSpec spec;
         spec.fields = {{"ID", 'C', 10}, {"PARENT", 'C', 10}, {"NOTE", 'C', 10}};
         t.Reopen(t.OtherTable(spec, {{"1", "", "red"}, {"2", "", "blue"}}));
       },
       {"1", "3"}, {"1", "2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FilteredNotes notes;
    TTable& table = notes.table;
    notes.filter.ApplyCriteria({c.criterion});
    EXPECT_EQ(Ids(table), c.before);
    c.change(notes);
    EXPECT_EQ(Ids(table), c.after);
    // A record test made afresh for every record agrees.
    TwwFieldInfoList fresh = notes.filter.FieldInfo();
    QStringList afresh;
    table.SetFiltered(false);
    for (table.First(); !table.Eof(); table.Next())
      if (MatchRecord(table, fresh, notes.filter.MatchSettings())) afresh << table.FieldNamed("ID").AsString();
    EXPECT_EQ(afresh, c.after);
  }
}

TEST(PreparedCriteria, ALocaleChangeBetweenTwoRecordTestsFoldsAnew) {
  FilteredNotes notes;
  TTable& table = notes.table;
  testing::NoteTableShape turkishCodePage;
  turkishCodePage.languageDriver = 0xCA;
  notes.Reopen(WriteNoteTable(notes.dir.path().toStdString(), {{"1", "", "IRIS", ""}, {"2", "", "İstanbul", ""}},
                              turkishCodePage, "Turkish.dbf"));
  TwwFieldInfoList criteria{Anywhere("i")};
  TwwMatchSettings english, turkish;
  english.Locale = FilterLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  turkish.Locale = FilterLocale(QLocale(QLocale::Turkish, QLocale::Turkey));
  TwwPreparedCriteria prepared;
  TwwFieldValue scratch;
  auto passing = [&](const TwwMatchSettings& settings) {
    QStringList ids;
    for (table.First(); !table.Eof(); table.Next())
      if (prepared.MatchRecord(table, criteria, settings, scratch)) ids << table.FieldNamed("ID").AsString();
    return ids;
  };
  // The plain rules fold "i" to "I"; the Turkish rules to the dotted capital.
  EXPECT_EQ(passing(english), QStringList{"1"});
  EXPECT_EQ(passing(turkish), QStringList{"2"});
  EXPECT_EQ(passing(english), QStringList{"1"});
}

}  // namespace
}  // namespace tindrel
