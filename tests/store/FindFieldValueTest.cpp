// FindFieldValue over a real note table: match types, case rules, find-first against find-next,
// numeric and memo fields, the index shortcut, filters, and where a failed search leaves the
// dataset.

#include "store/FindFieldValue.h"

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/ErrorBox.h"
#include "store/CodePageFold.h"
#include "store/RtfPlainText.h"
#include "store/TDataSource.h"
#include "tests/support/LocateTable.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel::testing {
namespace {

const std::vector<LocateNote> kNotes = {
    {1, "My NOTES", "first memo", "12.00"},
    {2, "Note", "", ""},
    {3, "Notes", "a pending question", "7.50"},
    {4, "Σημειώσεις", "Μήλο και σημείωση", ""},
    {5, "", "", ""},
    {6, "last one", "the end", ""},
    {7, "Διΐστημα", "", ""},  // "ΐ" upper-cases to three characters
};

class FindFieldValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    table_ = OpenLocateTable(WriteLocateTable(dir_, kNotes));
  }

  QTemporaryDir dir_;
  ScriptedPlatform platform_;
  std::unique_ptr<TTable> table_;
};

struct Case {
  const char* what;
  int startId;
  bool fromBeginning;
  const char* field;
  const char* text;
  TwwLocateMatchType matchType;
  bool caseSensitive;
  int foundId;  // 0: nothing found, the start record stays current
};

TEST_F(FindFieldValueTest, TableOfCases) {
  const Case cases[] = {
      {"anywhere, case-insensitive finds a longer upper-case text", 6, true, "TEXT", "note", mtPartialMatchAny, false, 1},
      {"anywhere, case-sensitive skips other cases", 6, true, "TEXT", "Note", mtPartialMatchAny, true, 2},
      {"start matches the beginning only", 1, true, "TEXT", "one", mtPartialMatchStart, false, 0},
      {"start, case-insensitive", 1, true, "TEXT", "LAST", mtPartialMatchStart, false, 6},
      {"exact does not match a longer text", 2, false, "TEXT", "Note", mtExactMatch, true, 0},
      {"exact, case-insensitive", 6, true, "TEXT", "NOTE", mtExactMatch, false, 2},
      {"empty text, exact, finds the empty field", 1, true, "TEXT", "", mtExactMatch, false, 5},
      {"empty text never matches at the start", 1, true, "TEXT", "", mtPartialMatchStart, false, 0},
      {"empty text never matches anywhere", 1, true, "TEXT", "", mtPartialMatchAny, false, 0},
      {"empty text never matches a memo", 1, true, "MEMO", "", mtExactMatch, false, 0},
      {"next from the last record", 7, false, "TEXT", "o", mtPartialMatchAny, false, 0},
      {"next after the last match", 3, false, "TEXT", "note", mtPartialMatchAny, false, 0},
      {"next never tests the current record", 6, false, "TEXT", "last", mtPartialMatchAny, false, 0},
      {"first tests every record, the current one included", 6, true, "TEXT", "last", mtPartialMatchAny, false, 6},
      {"first tests the first record itself", 3, true, "TEXT", "My", mtPartialMatchStart, true, 1},
      {"next starts after the current record", 1, false, "TEXT", "note", mtPartialMatchAny, false, 2},
      {"numeric exact on a float field", 6, true, "AMOUNT", "12", mtExactMatch, false, 1},
      {"numeric exact with decimals", 1, false, "AMOUNT", "7.5", mtExactMatch, false, 3},
      {"numeric exact with a text that is no number", 1, true, "AMOUNT", "abc", mtExactMatch, false, 0},
      {"numeric exact never matches a blank number", 1, true, "AMOUNT", "0", mtExactMatch, false, 0},
      {"numeric exact takes the whole text", 1, true, "AMOUNT", "12abc", mtExactMatch, false, 0},
      {"numeric exact on the ID", 1, true, "ID", " 4 ", mtExactMatch, false, 4},
      {"Greek text, case-insensitive", 1, true, "TEXT", "σημειώσ", mtPartialMatchAny, false, 4},
      {"Greek letter whose upper case is longer", 1, true, "TEXT", "διΐσ", mtPartialMatchAny, false, 7},
      {"Greek memo, case-insensitive", 1, true, "MEMO", "ΜΉΛΟ", mtPartialMatchAny, false, 4},
      {"Greek memo, case-sensitive keeps case", 1, true, "MEMO", "ΜΉΛΟ", mtPartialMatchAny, true, 0},
      {"memo anywhere, find-next", 1, false, "MEMO", "PENDING", mtPartialMatchAny, false, 3},
      {"memo exact needs the whole memo", 1, true, "MEMO", "the END", mtExactMatch, false, 6},
      {"memo exact does not match a longer memo", 1, true, "MEMO", "the", mtExactMatch, false, 0},
      {"field name without regard to case", 1, false, "text", "LAST", mtPartialMatchAny, false, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GoToId(*table_, c.startId);
    const bool found = FindFieldValue(c.fromBeginning, *table_, QString::fromUtf8(c.field), QString::fromUtf8(c.text),
                                      c.matchType, c.caseSensitive);
    EXPECT_EQ(found, c.foundId != 0);
    EXPECT_EQ(CurrentId(*table_), c.foundId != 0 ? c.foundId : c.startId);
    EXPECT_EQ(table_->State(), DataSetState::Browse);
  }
  EXPECT_TRUE(platform_.boxes.shown.empty());
}

TEST_F(FindFieldValueTest, AMissingFieldIsReportedAndFindsNothing) {
  GoToId(*table_, 3);
  EXPECT_FALSE(FindFieldValue(true, *table_, QStringLiteral("NOPE"), QStringLiteral("x"), mtExactMatch, false));
  ASSERT_EQ(platform_.boxes.shown.size(), 1u);
  EXPECT_EQ(platform_.boxes.shown[0].text, QStringLiteral("Field NOPE not found."));
  EXPECT_EQ(platform_.boxes.shown[0].icon, MessageIcon::Warning);
  EXPECT_EQ(platform_.boxes.shown[0].buttons, MessageButtons(mbOK));
  EXPECT_EQ(CurrentId(*table_), 3);
}

TEST_F(FindFieldValueTest, APendingMemoEditIsPostedBeforeTheSearch) {
  GoToId(*table_, 2);
  table_->Edit();
  table_->FieldNamed(QStringLiteral("MEMO")).SetAsString(QStringLiteral("typed but not posted"));
  ASSERT_EQ(table_->State(), DataSetState::Editing);

  EXPECT_TRUE(FindFieldValue(true, *table_, QStringLiteral("MEMO"), QStringLiteral("NOT POSTED"), mtPartialMatchAny, false));
  EXPECT_EQ(CurrentId(*table_), 2);
  EXPECT_EQ(table_->State(), DataSetState::Browse);

  // The text is in the table, not only in the record buffer.
  table_->Close();
  table_->Open();
  GoToId(*table_, 2);
  EXPECT_EQ(table_->FieldNamed(QStringLiteral("MEMO")).AsString(), QStringLiteral("typed but not posted"));
}

TEST_F(FindFieldValueTest, AFilterLimitsWhatIsFound) {
  table_->SetOnFilterRecord([](TDataSet& ds, bool& accept) {
    accept = ds.FieldNamed(QStringLiteral("ID")).AsInteger() != 1 && ds.FieldNamed(QStringLiteral("ID")).AsInteger() != 3;
  });
  table_->SetFiltered(true);
  for (const bool memo : {false, true}) {
    SCOPED_TRACE(memo ? "memo scan" : "engine scan");
    GoToId(*table_, 6);
    const QString field = memo ? QStringLiteral("MEMO") : QStringLiteral("TEXT");
    const QString text = memo ? QStringLiteral("memo") : QStringLiteral("note");
    // Only record 1 holds "memo" and it is filtered out; "note" skips 1 and 3 and finds 2.
    const bool found = FindFieldValue(true, *table_, field, text, mtPartialMatchAny, false);
    EXPECT_EQ(found, !memo);
    EXPECT_EQ(CurrentId(*table_), memo ? 6 : 2);
    if (!memo) {
      EXPECT_FALSE(FindFieldValue(false, *table_, field, text, mtPartialMatchAny, false));
      EXPECT_EQ(CurrentId(*table_), 2);
    }
  }
}

TEST_F(FindFieldValueTest, TheEngineScanDoesNotMoveTheDataSetUntilItFinds) {
  TDataSource source;
  source.SetDataSet(table_.get());
  CountingLink link;
  link.SetDataSource(&source);
  int scrolls = 0;
  table_->BeforeScroll = [&](TDataSet&) { ++scrolls; };
  GoToId(*table_, 1);
  link.notifications = 0;
  scrolls = 0;

  EXPECT_TRUE(FindFieldValue(false, *table_, QStringLiteral("TEXT"), QStringLiteral("LAST"), mtPartialMatchAny, false));
  EXPECT_EQ(CurrentId(*table_), 6);
  EXPECT_EQ(link.notifications, 1);  // the one refetch around the found record
  EXPECT_EQ(scrolls, 0);

  // A memo scan sends no notification per record either: at most the resume and the refetch.
  GoToId(*table_, 1);
  link.notifications = 0;
  EXPECT_TRUE(FindFieldValue(false, *table_, QStringLiteral("MEMO"), QStringLiteral("THE END"), mtPartialMatchAny, false));
  EXPECT_EQ(CurrentId(*table_), 6);
  EXPECT_GE(link.notifications, 1);
  EXPECT_LE(link.notifications, 2);  // the resume and the refetch, none per record
}

TEST_F(FindFieldValueTest, AFailedFindFirstReturnsToTheRecordThatWasCurrent) {
  for (const char* field : {"TEXT", "MEMO"}) {
    SCOPED_TRACE(field);
    GoToId(*table_, 4);
    EXPECT_FALSE(FindFieldValue(true, *table_, QString::fromLatin1(field), QStringLiteral("nowhere"), mtPartialMatchAny, false));
    EXPECT_EQ(CurrentId(*table_), 4);
    EXPECT_FALSE(table_->Eof());
  }
}

TEST_F(FindFieldValueTest, AnErrorDuringTheScanPropagatesAfterTheCleanUp) {
  // The memo scan that walks the dataset (the one a memo the byte comparison cannot decide
  // falls back to) meets the error on its third move.
  SetMemoBytePath(false);
  GoToId(*table_, 2);
  int scrolls = 0;
  table_->BeforeScroll = [&](TDataSet&) {
    if (++scrolls == 3) throw std::runtime_error("Table: the disk went away");
  };
  EXPECT_THROW(FindFieldValue(false, *table_, QStringLiteral("MEMO"), QStringLiteral("nowhere"), mtPartialMatchAny, false),
               std::runtime_error);
  EXPECT_FALSE(table_->NotificationsSuspended());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(CurrentId(*table_), 2);
  SetMemoBytePath(true);
}

TEST_F(FindFieldValueTest, PatternsLongerThan255CharactersAreComparedInFull) {
  const QString head(255, u'a');
  const QString memo = head + QString(45, u'b');
  table_->Edit();  // record 1 is current after opening
  table_->FieldNamed(QStringLiteral("MEMO")).SetAsString(memo);
  table_->Post();
  GoToId(*table_, 6);
  for (TwwLocateMatchType type : {mtExactMatch, mtPartialMatchStart, mtPartialMatchAny}) {
    SCOPED_TRACE(static_cast<int>(type));
    EXPECT_FALSE(FindFieldValue(true, *table_, QStringLiteral("MEMO"), head + QString(45, u'c'), type, true));
    EXPECT_EQ(CurrentId(*table_), 6);
    EXPECT_TRUE(FindFieldValue(true, *table_, QStringLiteral("MEMO"), memo, type, true));
    EXPECT_EQ(CurrentId(*table_), 1);
    GoToId(*table_, 6);
  }
  // A text field is compared in full as well: a long pattern that begins with the text fails.
  EXPECT_FALSE(FindFieldValue(true, *table_, QStringLiteral("TEXT"), QStringLiteral("last one") + QString(300, u'x'),
                              mtPartialMatchStart, false));
}

TEST_F(FindFieldValueTest, RichTextMemosAreComparedByTheirPlainText) {
  // The first record's memo decides: it is rich text, so every memo is read as rich text.
  table_->Edit();
  table_->FieldNamed(QStringLiteral("MEMO"))
      .SetAsString(QStringLiteral("{\\rtf1\\ansi\\ansicpg1253{\\fonttbl{\\f0 Arial;}}\\f0 Hello \\b world\\b0\\par "
                                  "\\'e1\\'e2\\'e3 and \\u955?\\par}"));
  table_->Post();
  struct {
    const char* text;
    int foundId;
  } cases[] = {{"hello world", 1}, {"αβγ", 1}, {"AND Λ", 1}, {"fonttbl", 0}, {"arial", 0}, {"ansicpg", 0}, {"pending", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    GoToId(*table_, 5);
    EXPECT_EQ(FindFieldValue(true, *table_, QStringLiteral("MEMO"), QString::fromUtf8(c.text), mtPartialMatchAny, false),
              c.foundId != 0);
    EXPECT_EQ(CurrentId(*table_), c.foundId ? c.foundId : 5);
  }
}

TEST_F(FindFieldValueTest, TheIndexShortcutServesSearchesOnANamedIndex) {
  table_->SetIndexName(QStringLiteral("TEXT"));  // case-sensitive: "", "My NOTES", "Note", "Notes", "last one", Greek
  GoToId(*table_, 6);
  EXPECT_TRUE(FindFieldValue(true, *table_, QStringLiteral("TEXT"), QStringLiteral("Notes"), mtExactMatch, true));
  EXPECT_EQ(CurrentId(*table_), 3);
  EXPECT_TRUE(FindFieldValue(true, *table_, QStringLiteral("TEXT"), QStringLiteral("No"), mtPartialMatchStart, true));
  EXPECT_EQ(CurrentId(*table_), 2);
  // The current record matches: the ordered scan goes on to the next key, then stops at the
  // first key past the pattern.
  EXPECT_TRUE(FindFieldValue(false, *table_, QStringLiteral("TEXT"), QStringLiteral("No"), mtPartialMatchStart, true));
  EXPECT_EQ(CurrentId(*table_), 3);
  EXPECT_FALSE(FindFieldValue(false, *table_, QStringLiteral("TEXT"), QStringLiteral("No"), mtPartialMatchStart, true));
  EXPECT_EQ(CurrentId(*table_), 3);
  // Nothing at or after the pattern starts with it: the record that was current stays.
  EXPECT_FALSE(FindFieldValue(true, *table_, QStringLiteral("TEXT"), QStringLiteral("Nz"), mtPartialMatchStart, true));
  EXPECT_EQ(CurrentId(*table_), 3);
  EXPECT_FALSE(FindFieldValue(true, *table_, QStringLiteral("TEXT"), QStringLiteral("Nope"), mtExactMatch, true));
  EXPECT_EQ(CurrentId(*table_), 3);

  // A case-insensitive search on the case-sensitive index scans instead, with the same result.
  GoToId(*table_, 6);
  EXPECT_TRUE(FindFieldValue(true, *table_, QStringLiteral("TEXT"), QStringLiteral("notes"), mtExactMatch, false));
  EXPECT_EQ(CurrentId(*table_), 3);

  // The upper-case index serves case-insensitive searches.
  table_->SetIndexName(QStringLiteral("UTEXT"));
  GoToId(*table_, 6);
  EXPECT_TRUE(FindFieldValue(true, *table_, QStringLiteral("TEXT"), QStringLiteral("my no"), mtPartialMatchStart, false));
  EXPECT_EQ(CurrentId(*table_), 1);
}

// Number fields are matched as text in partial searches; a locale that groups digits must not
// turn 1234 into "1,234" or "1.234". The code reads the process locale, which ctest also sets to
// Greek and to English for this test (see the CMake file); QLocale::setDefault covers code
// that reads the program's default locale instead.
TEST(LocateNumberText, NumbersAreMatchedWithoutDigitGrouping) {
  ScriptedPlatform platform;
  QTemporaryDir dir;
  auto table = OpenLocateTable(
      WriteLocateTable(dir, {{999, "", "", ""}, {1234, "", "", "1234.50"}, {51234, "", "", ""}, {1000000, "", "", ""}}));
  TField& amount = table->FieldNamed(QStringLiteral("AMOUNT"));
  const QLocale before;
  for (const QLocale& locale : {QLocale::system(), QLocale(QLocale::Greek, QLocale::Greece),
                                QLocale(QLocale::English, QLocale::UnitedStates)}) {
    SCOPED_TRACE(locale.name().toStdString() + ", process locale " + QLocale::system().name().toStdString());
    QLocale::setDefault(locale);
    struct Case {
      int startId;
      bool fromBeginning;
      const char* field;
      const char* text;
      TwwLocateMatchType matchType;
      int foundId;
    } const cases[] = {
        {999, true, "ID", "123", mtPartialMatchStart, 1234},
        {1234, false, "ID", "1234", mtPartialMatchAny, 51234},
        {999, true, "ID", "000000", mtPartialMatchAny, 1000000},
        {999, true, "AMOUNT", "1234", mtPartialMatchStart, 1234},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.text);
      GoToId(*table, c.startId);
      EXPECT_TRUE(FindFieldValue(c.fromBeginning, *table, QString::fromLatin1(c.field), QString::fromLatin1(c.text),
                                 c.matchType, false));
      EXPECT_EQ(CurrentId(*table), c.foundId);
    }
    EXPECT_EQ(NativeFieldText(amount, "  12345678"), QStringLiteral("12345678"));
    EXPECT_EQ(NativeFieldText(amount, " 1234.50"), QStringLiteral("1234") + QLocale::system().decimalPoint() + u'5');
  }
  QLocale::setDefault(before);
  EXPECT_TRUE(platform.boxes.shown.empty());
}

TEST(LocateMatching, RulesOfTheTextTests) {
  EXPECT_TRUE(MatchValue(QString(), QString(), mtExactMatch, false));
  EXPECT_FALSE(MatchMemoText(QString(), QString(), mtExactMatch, false));
  EXPECT_TRUE(MatchMemoText(QString::fromLatin1("ab\0cd", 5), QStringLiteral("AB"), mtExactMatch, false));
  EXPECT_FALSE(MatchMemoText(QString::fromLatin1("ab\0cd", 5), QStringLiteral("CD"), mtPartialMatchAny, false));
  double v = 0;
  EXPECT_TRUE(ReadNumber(QStringLiteral("  -1.5e2 "), &v));
  EXPECT_EQ(v, -150.0);
  for (const char* bad : {"", "   ", "1 2", "12abc", "inf", "nan", "0x10"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ReadNumber(QString::fromLatin1(bad)));
  }
  EXPECT_EQ(LocaleUpper(QStringLiteral("σημείωση")), QStringLiteral("ΣΗΜΕΊΩΣΗ"));
}

TEST(LocateRtf, PlainTextSurvivesAnyInput) {
  EXPECT_EQ(RtfPlainText(QStringLiteral("{\\rtf1 a\\tab b\\line c\\{d\\}}")), QStringLiteral("a\tb\nc{d}"));
  EXPECT_EQ(RtfPlainText(QStringLiteral("{\\rtf1{\\*\\generator x;}\\uc2\\u8364 EU end}")), QStringLiteral("\u20ac end"));
  for (const char* broken : {"{\\rtf1 {{{", "}}}}\\", "{\\rtf1 \\'4", "{\\rtf1 \\u99999999999999 x}", "\\"}) {
    SCOPED_TRACE(broken);
    (void)RtfPlainText(QString::fromLatin1(broken));
  }
}

}  // namespace
}  // namespace tindrel::testing
