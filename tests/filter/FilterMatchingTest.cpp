// The record test: one criterion against a field value (every match type and range rule), and
// criteria lists against real records of a note table.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <array>

#include "filter/FilterMatching.h"
#include "store/TTable.h"
#include "tests/store/StoreFixture.h"

namespace tindrel {
namespace {

using testing::Note;
using testing::WriteTable;
using testing::WriteNoteTable;

TwwMatchSettings Settings(QChar pad = u'z') {
  TwwMatchSettings s;
  s.UpperRangePadChar = pad;
  s.Locale = FilterLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  return s;
}

TwwFieldValue Text(const char* text, int size = 10) {
  TwwFieldValue v;
  v.Type = ftString;
  v.Size = size;
  v.Text = QString::fromUtf8(text);
  v.IsNull = v.Text.isEmpty();
  return v;
}

TwwFieldValue Memo(const QString& text) {
  TwwFieldValue v;
  v.Type = ftMemo;
  v.IsBlob = true;
  v.Text = text;
  v.IsNull = text.isEmpty();
  return v;
}

TwwFieldValue Integer(int n) {
  TwwFieldValue v;
  v.Type = ftInteger;
  v.Number = n;
  v.Text = QString::number(n);
  v.IsNull = false;
  return v;
}

TwwFieldValue NullInteger() {
  TwwFieldValue v;
  v.Type = ftInteger;
  return v;
}

TwwFieldValue Float(double d, const char* text) {
  TwwFieldValue v;
  v.Type = ftFloat;
  v.Number = d;
  v.Text = QString::fromLatin1(text);
  v.IsNull = false;
  return v;
}

TwwFieldValue DateTime(const QDateTime& dt, TFieldType type = ftDateTime) {
  TwwFieldValue v;
  v.Type = type;
  v.DateTime = dt;
  v.Text = FilterLocale(QLocale(QLocale::English, QLocale::UnitedStates)).FormatDateTime(dt);
  v.IsNull = false;
  return v;
}

TwwFieldInfo Value(TwwFilterMatchType type, const char* value, bool caseSensitive = false) {
  TwwFieldInfo c;
  c.DisplayName = QStringLiteral("TEXT");
  c.MatchType = type;
  c.FilterValue = QString::fromUtf8(value);
  c.CaseSensitive = caseSensitive;
  return c;
}

TwwFieldInfo Range(const char* lower, const char* upper, bool caseSensitive = false) {
  TwwFieldInfo c;
  c.DisplayName = QStringLiteral("TEXT");
  c.MatchType = fdMatchRange;
  c.MinValue = QString::fromUtf8(lower);
  c.MaxValue = QString::fromUtf8(upper);
  c.CaseSensitive = caseSensitive;
  return c;
}

struct MatchCase {
  const char* what;
  TwwFieldValue value;
  TwwFieldInfo criterion;
  bool expected;
  QChar pad = u'z';
};

std::ostream& operator<<(std::ostream& os, const MatchCase& c) { return os << c.what; }

class FieldValueMatch : public ::testing::TestWithParam<MatchCase> {};

TEST_P(FieldValueMatch, Outcome) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(MatchFieldValue(c.value, c.criterion, Settings(c.pad)), c.expected);
}

const QDateTime kEvening(QDate(2024, 12, 31), QTime(18, 30));
const QDateTime kNewYear(QDate(2025, 1, 1), QTime(0, 0));

INSTANTIATE_TEST_SUITE_P(Cases, FieldValueMatch, ::testing::Values(
    // Case folding and the plain match types.
    MatchCase{"any Red finds RED", Text("RED"), Value(fdMatchAny, "Red"), true},
    MatchCase{"any Red finds red", Text("red"), Value(fdMatchAny, "Red"), true},
    MatchCase{"any Red finds Bordered", Text("Bordered"), Value(fdMatchAny, "Red"), true},
    MatchCase{"case-sensitive Red misses RED", Text("RED"), Value(fdMatchAny, "Red", true), false},
    MatchCase{"case-sensitive Red finds Red", Text("a Red fox"), Value(fdMatchAny, "Red", true), true},
    MatchCase{"start red finds redbird", Text("redbird"), Value(fdMatchStart, "red"), true},
    MatchCase{"start red misses bored", Text("bored"), Value(fdMatchStart, "red"), false},
    MatchCase{"exact red finds Red", Text("Red"), Value(fdMatchExact, "red"), true},
    MatchCase{"exact red misses reds", Text("reds"), Value(fdMatchExact, "red"), false},
    MatchCase{"end fox finds red fox", Text("red fox"), Value(fdMatchEnd, "fox"), true},
    MatchCase{"end fox misses foxes", Text("foxes"), Value(fdMatchEnd, "fox"), false},
    // Operators and operands.
    MatchCase{"or alone searches two letters", Text("Color"), Value(fdMatchAny, "or"), true},
    MatchCase{"or alone misses blue", Text("blue"), Value(fdMatchAny, "or"), false},
    MatchCase{"red or blue finds blue", Text("blue sky"), Value(fdMatchAny, "red or blue"), true},
    MatchCase{"red or blue misses green", Text("green"), Value(fdMatchAny, "red or blue"), false},
    MatchCase{"red and blue needs both", Text("red"), Value(fdMatchAny, "red and blue"), false},
    MatchCase{"red and blue finds both", Text("blue red"), Value(fdMatchAny, "red and blue"), true},
    MatchCase{"and-or: second operand is blue or green", Text("red green"),
              Value(fdMatchAny, "red and blue or green"), false},
    MatchCase{"and-or: finds red blue or green", Text("red blue or green"),
              Value(fdMatchAny, "red and blue or green"), true},
    MatchCase{"red or or: the word as operand, folded", Text("COLOR"), Value(fdMatchAny, "red or or"), true},
    MatchCase{"red or (nothing after) still finds red", Text("red"), Value(fdMatchAny, "red or"), true},
    MatchCase{"red and (nothing after) still finds red", Text("red"), Value(fdMatchAny, "red and"), true},
    MatchCase{"runs of blanks shrink", Text("the red fox", 20), Value(fdMatchAny, "red   fox"), true},
    MatchCase{"runs of blanks shrink, not grow", Text("red  fox"), Value(fdMatchAny, "red   fox"), false},
    MatchCase{"quoted phrase keeps blanks", Text("a red   fox", 20), Value(fdMatchAny, "\"red   fox\""), true},
    MatchCase{"quoted phrase keeps blanks, misses", Text("red fox"), Value(fdMatchAny, "\"red   fox\""), false},
    MatchCase{"quoted operator word is text", Text("dogs"), Value(fdMatchAny, "\"cats or dogs\" or birds"), false},
    MatchCase{"quoted phrase found", Text("cats or dogs", 20), Value(fdMatchAny, "\"cats or dogs\" or birds"), true},
    MatchCase{"% has no special meaning", Text("100%"), Value(fdMatchAny, "0%"), true},
    MatchCase{"* has no special meaning", Text("abc"), Value(fdMatchAny, "a*"), false},
    MatchCase{"empty quoted phrase never found", Text("abc"), Value(fdMatchAny, "\"\""), false},
    // The null word.
    MatchCase{"null finds empty", Text(""), Value(fdMatchAny, "null"), true},
    MatchCase{"NULL finds empty", Text(""), Value(fdMatchExact, "NULL"), true},
    MatchCase{"null misses text", Text("x"), Value(fdMatchAny, "null"), false},
    MatchCase{"null or red finds empty", Text(""), Value(fdMatchAny, "null or red"), true},
    MatchCase{"null or red finds red", Text("red fox"), Value(fdMatchAny, "null or red"), true},
    MatchCase{"null or red misses blue", Text("blue"), Value(fdMatchAny, "null or red"), false},
    MatchCase{"null finds a null number", NullInteger(), Value(fdMatchExact, "null"), true},
    // Greek, folded by the locale's rules.
    MatchCase{"greek lower finds upper", Text("ΜΉΛΟ ΚΑΙ"), Value(fdMatchAny, "μήλο"), true},
    MatchCase{"greek final sigma", Text("ΟΔΟΣ"), Value(fdMatchExact, "οδος"), true},
    // Text ranges, padded with z to the field's size.
    MatchCase{"upper M admits Mouse", Text("Mouse"), Range("", "M"), true},
    MatchCase{"upper M admits MZZZZ", Text("MZZZZ"), Range("", "M"), true},
    MatchCase{"upper M refuses N", Text("N"), Range("", "M"), false},
    MatchCase{"lower K alone admits Zebra", Text("Zebra"), Range("K", ""), true},
    MatchCase{"lower K admits K", Text("K"), Range("K", ""), true},
    MatchCase{"lower K refuses Ab", Text("Ab"), Range("K", ""), false},
    MatchCase{"A to M admits apple (folded)", Text("apple"), Range("a", "m"), true},
    MatchCase{"case-sensitive upper M refuses mouse", Text("mouse"), Range("", "M", true), false},
    MatchCase{"no padding: upper M refuses Mouse", Text("Mouse"), Range("", "M"), false, QChar()},
    MatchCase{"greek upper bound admits what begins with it", Text("Μήλο"), Range("", "Μ"), true},
    MatchCase{"greek upper bound refuses the next letter", Text("Νερό"), Range("", "Μ"), false},
    MatchCase{"non-matching never applies here", Text("N"), Range("A", "M"), false},
    // Numbers and dates.
    MatchCase{"integer range inside", Integer(5), Range("1", "10"), true},
    MatchCase{"integer range above", Integer(11), Range("1", "10"), false},
    MatchCase{"integer range negative lower", Integer(-3), Range("-5", ""), true},
    MatchCase{"integer exact 1 or 2", Integer(2), Value(fdMatchExact, "1 or 2"), true},
    MatchCase{"integer exact with blanks", Integer(7), Value(fdMatchExact, " 7 "), true},
    MatchCase{"float exact", Float(2.5, "2.50"), Value(fdMatchExact, "2.5"), true},
    MatchCase{"float range", Float(2.5, "2.50"), Range("2.6", ""), false},
    MatchCase{"date exact", DateTime(QDateTime(QDate(2024, 3, 4), QTime(0, 0)), ftDate),
              Value(fdMatchExact, "3/4/2024"), true},
    MatchCase{"date range upper", DateTime(QDateTime(QDate(2024, 3, 5), QTime(0, 0)), ftDate),
              Range("", "3/4/2024"), false},
    MatchCase{"date-time upper date alone includes the evening", DateTime(kEvening), Range("", "12/31/2024"), true},
    MatchCase{"date-time upper date alone excludes the next day", DateTime(kNewYear), Range("", "12/31/2024"), false},
    MatchCase{"date-time upper with a time", DateTime(kEvening), Range("", "12/31/2024 12:00"), false},
    MatchCase{"date-time lower with a time", DateTime(kEvening), Range("12/31/2024 19:00", ""), false},
    MatchCase{"date-time lower date alone", DateTime(kEvening), Range("12/31/2024", ""), true},
    // Memo fields: their whole text.
    MatchCase{"memo any", Memo(QString(5000, u'x') + "Fox"), Value(fdMatchAny, "fox"), true},
    MatchCase{"memo start", Memo("Fox " + QString(5000, u'x')), Value(fdMatchStart, "fox"), true},
    MatchCase{"memo exact is the whole text", Memo("fox trot"), Value(fdMatchExact, "fox"), false},
    MatchCase{"memo null finds empty", Memo(""), Value(fdMatchAny, "null"), true},
    MatchCase{"memo end leaves the outcome", Memo("abc"), Value(fdMatchEnd, "zzz"), true},
    MatchCase{"memo range leaves the outcome", Memo("abc"), Range("x", "y"), true}));

TEST(FieldValueMatch, AnUnconvertibleNumberRaisesAConversionError) {
  EXPECT_THROW(MatchFieldValue(Integer(1), Value(fdMatchExact, "abc"), Settings()), EConvertError);
  EXPECT_THROW(MatchFieldValue(Integer(1), Range("x", ""), Settings()), EConvertError);
}

class NoteTableMatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    const std::string path = WriteNoteTable(dir, {{"1", "", "Red fox", "a long memo about the fox"},
                                                   {"2", "1", "Blue whale", ""},
                                                   {"3", "1", "", "nothing"},
                                                   {"4", "2", "red kite", std::string(300, 'a')}},
                                            true, 10);
    table.SetTableName(QString::fromStdString(path));
    table.Open();
  }

  // The IDs of the records that pass `criteria`.
  QStringList Passing(TwwFieldInfoList criteria) {
    QStringList ids;
    const TwwMatchSettings settings = Settings();
    for (table.First(); !table.Eof(); table.Next())
      if (MatchRecord(table, criteria, settings)) ids << table.FieldNamed("ID").AsString();
    return ids;
  }

  QTemporaryDir dir;
  TTable table;
};

TEST_F(NoteTableMatch, EmptyListAcceptsEveryRecord) {
  EXPECT_EQ(Passing({}), (QStringList{"1", "2", "3", "4"}));
}

TEST_F(NoteTableMatch, CriteriaOnTwoFieldsMustBothHoldInAnyOrder) {
  TwwFieldInfo text = Value(fdMatchAny, "red");
  TwwFieldInfo parent = Value(fdMatchExact, "1");
  parent.DisplayName = QStringLiteral("PARENT");
  EXPECT_TRUE(Passing({text, parent}).isEmpty());
  parent.FilterValue = QStringLiteral("2");
  EXPECT_EQ(Passing({text, parent}), QStringList{"4"});
  EXPECT_EQ(Passing({parent, text}), QStringList{"4"});
}

TEST_F(NoteTableMatch, NonMatchingInvertsAValueButNotARange) {
  TwwFieldInfo value = Value(fdMatchAny, "red");
  value.NonMatching = true;
  EXPECT_EQ(Passing({value}), (QStringList{"2", "3"}));
  TwwFieldInfo range = Range("A", "M");
  range.NonMatching = true;
  EXPECT_EQ(Passing({range}), (QStringList{"2"}));
}

TEST_F(NoteTableMatch, NullFindsTheEmptyTitle) {
  EXPECT_EQ(Passing({Value(fdMatchAny, "null")}), QStringList{"3"});
  EXPECT_EQ(Passing({Value(fdMatchAny, "null or whale")}), (QStringList{"2", "3"}));
}

TEST_F(NoteTableMatch, FieldNameIsDerivedFromTheDisplayNameAndKept) {
  table.FieldNamed("TEXT").SetDisplayLabel(QStringLiteral("Note~Title"));
  TwwFieldInfoList criteria{Value(fdMatchAny, "whale")};
  criteria[0].DisplayName = QStringLiteral("note title");
  criteria[0].FieldName = QStringLiteral("GONE");
  table.First();
  table.Next();
  EXPECT_TRUE(MatchRecord(table, criteria, Settings()));
  EXPECT_EQ(criteria[0].FieldName, QStringLiteral("TEXT"));
}

TEST_F(NoteTableMatch, MemoIsComparedInFull) {
  TwwFieldInfo memo = Value(fdMatchAny, "");
  memo.DisplayName = QStringLiteral("MEMO");
  // Agrees with the 300-character memo only in its first 255 characters.
  memo.FilterValue = QString(255, u'a') + QString(45, u'b');
  EXPECT_EQ(Passing({memo}), QStringList{});
  memo.FilterValue = QString(300, u'a');
  EXPECT_EQ(Passing({memo}), QStringList{"4"});
  memo.FilterValue = QStringLiteral("FOX");
  EXPECT_EQ(Passing({memo}), QStringList{"1"});
}

TEST(TypedTableMatch, NumberAndDateFieldsAreReadByType) {
  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("typed.dbf")).toStdString();
  engine::TableSpec spec;
  spec.fields = {{"QTY", 'N', 5}, {"PRICE", 'N', 8, 2}, {"DUE", 'D', 8}};
  WriteTable(path, spec, {{"5", "2.50", "20240304"}, {"12", "10.00", "20241231"}, {"", "", ""}});
  TTable table;
  table.SetTableName(QString::fromStdString(path));
  table.Open();
  auto passing = [&](TwwFieldInfo c, const char* field) {
    c.DisplayName = QString::fromLatin1(field);
    TwwFieldInfoList list{c};
    QStringList rows;
    int row = 0;
    for (table.First(); !table.Eof(); table.Next(), ++row)
      if (MatchRecord(table, list, Settings())) rows << QString::number(row);
    return rows;
  };
  EXPECT_EQ(passing(Value(fdMatchExact, "5 or 12"), "QTY"), (QStringList{"0", "1"}));
  EXPECT_EQ(passing(Value(fdMatchExact, "null"), "QTY"), QStringList{"2"});
  EXPECT_EQ(passing(Range("6", ""), "QTY"), QStringList{"1"});
  EXPECT_EQ(passing(Value(fdMatchExact, "2.5"), "PRICE"), QStringList{"0"});
  EXPECT_EQ(passing(Value(fdMatchExact, "3/4/2024"), "DUE"), QStringList{"0"});
  EXPECT_EQ(passing(Range("6/1/2024", "12/31/2024"), "DUE"), QStringList{"1"});
  EXPECT_EQ(passing(Value(fdMatchStart, "12/"), "DUE"), QStringList{"1"});
}

}  // namespace
}  // namespace tindrel
