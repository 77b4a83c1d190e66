// The memo search in the table's own code page against the decoding search it stands in for:
// every case runs both ways and must give the same answer, on small tables that hold the hard
// cases (letters whose upper case is longer, accents, bytes the code page does not map, zero
// characters, damaged memos) and on a generated table with random searches.

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "store/CodePageFold.h"
#include "store/FindFieldValue.h"
#include "store/engine/CodePage.h"
#include "store/engine/EngineError.h"
#include "tests/support/LocateTable.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"

namespace tindrel::testing {
namespace {

// Runs a search with the byte path on or off, restoring the default afterwards.
struct Outcome {
  bool found;
  int currentId;
  bool operator==(const Outcome&) const = default;
};

class BytePath {
 public:
  explicit BytePath(bool on) { SetMemoBytePath(on); }
  ~BytePath() { SetMemoBytePath(true); }
};

Outcome Locate(TTable& table, bool bytePath, int startId, bool fromBeginning, const QString& text,
               TwwLocateMatchType type, bool caseSensitive) {
  GoToId(table, startId);
  BytePath path(bytePath);
  const bool found = FindFieldValue(fromBeginning, table, QStringLiteral("MEMO"), text, type, caseSensitive);
  return {found, CurrentId(table)};
}

// One search over a generated table both ways, which must agree; whether it found a note.
bool FoundAlikeBothWays(TTable& table, int startId, bool fromBeginning, const QString& text, TwwLocateMatchType type,
                        bool caseSensitive) {
  SCOPED_TRACE(text.toStdString() + " type " + std::to_string(type) + (caseSensitive ? " case kept" : "") +
               (fromBeginning ? " first" : " next from " + std::to_string(startId)));
  const Outcome decoded = Locate(table, false, startId, fromBeginning, text, type, caseSensitive);
  EXPECT_EQ(Locate(table, true, startId, fromBeginning, text, type, caseSensitive), decoded);
  return decoded.found;
}

// ID, PARENT, TEXT, MEMO, AMOUNT as the locate tests' table, in the code page of `languageDriver`.
std::unique_ptr<TTable> MemoTable(const QTemporaryDir& dir, uint8_t languageDriver,
                                  const std::vector<std::string>& memos) {
  engine::TableSpec spec;
  spec.fields = {{"ID", 'N', 10}, {"PARENT", 'N', 10}, {"TEXT", 'C', 40}, {"MEMO", 'M', 10}};
  spec.tags = {{"ID", "ID"}};
  spec.languageDriver = languageDriver;
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 0; i < memos.size(); ++i) rows.push_back({std::to_string(i + 1), "0", "note", memos[i]});
  return OpenLocateTable(WriteTable(dir.filePath(QStringLiteral("Tindrel.dbf")).toStdString(), spec, rows));
}

struct MemoCase {
  const char* what;
  const char* text;
  TwwLocateMatchType type;
  bool caseSensitive;
  int foundId;  // find-first from record 1; 0: nothing
};

TEST(MemoByteSearch, EveryCaseGivesTheSameAnswerBothWays) {
  ScriptedPlatform platform;
  QTemporaryDir dir;
  struct Table {
    const char* what;
    uint8_t languageDriver;
    std::vector<std::string> memos;
    std::vector<MemoCase> cases;
  };
  const Table tables[] = {
      {"Greek code page",
       0xCB,
       {"", "first memo", "Μήλο και σημείωση", "Διΐστημα με ΰ", "the end", std::string("before\0after", 12),
        "ΆΈΉΊΌΎΏ άέήίόύώ ς σ Σ", "\xEF\x9E\xAA unmapped byte", "exactly"},
       {
           {"anywhere, folded", "ΜΉΛΟ", mtPartialMatchAny, false, 3},
           {"anywhere, case kept", "ΜΉΛΟ", mtPartialMatchAny, true, 0},
           {"anywhere, case kept, same case", "Μήλο", mtPartialMatchAny, true, 3},
           {"final sigma folds to sigma", "ΣΗΜΕΊΩΣΗ", mtPartialMatchAny, false, 3},
           {"accented capitals", "άέή", mtPartialMatchAny, false, 7},
           {"unaccented letters do not match accented ones", "αεη", mtPartialMatchAny, false, 0},
           {"letter whose upper case is three characters", "διΐσ", mtPartialMatchAny, false, 4},
           {"the same letter, case kept", "Διΐσ", mtPartialMatchAny, true, 4},
           {"the other such letter", "με ΰ", mtPartialMatchAny, false, 4},
           {"start", "FIRST", mtPartialMatchStart, false, 2},
           {"start is only the start", "memo", mtPartialMatchStart, false, 0},
           {"exact, folded", "THE END", mtExactMatch, false, 5},
           {"exact needs the whole memo", "the", mtExactMatch, false, 0},
           {"exact of a memo without a longer twin", "Exactly", mtExactMatch, false, 9},
           {"the text ends at its first zero character", "AFTER", mtPartialMatchAny, false, 0},
           {"before the zero character", "before", mtExactMatch, false, 6},
           {"a byte the code page does not map", "\xEF\x9E\xAA UNMAPPED", mtPartialMatchStart, false, 8},
           {"a character the code page cannot hold", "Жизнь", mtPartialMatchAny, false, 0},
           {"an empty text never matches", "", mtPartialMatchAny, false, 0},
           {"an empty text never matches exactly", "", mtExactMatch, false, 0},
           {"a longer text than any memo", "first memo and more", mtPartialMatchStart, false, 0},
       }},
      {"bytes as ISO 8859-1",
       0,
       {"Straße am Fluss", "STRASSE", "µ and ÿ", "naïve café", "plain"},
       {
           {"sharp s folds to two letters", "strasse", mtPartialMatchAny, false, 1},
           {"a memo holding the sharp s matches its two letters", "STRASSE AM", mtPartialMatchStart, false, 1},
           {"the sharp s, case kept", "ße", mtPartialMatchAny, true, 1},
           {"two letters do not match the sharp s with case kept", "SS", mtPartialMatchAny, true, 2},
           {"micro sign folds to Greek capital mu", "μ AND", mtPartialMatchStart, false, 3},
           {"y with diaeresis folds outside the code page", "Ÿ", mtPartialMatchAny, false, 3},
           {"accented Latin letters", "NAÏVE CAFÉ", mtExactMatch, false, 4},
           {"exact, case kept", "plain", mtExactMatch, true, 5},
       }},
  };
  for (const Table& t : tables) {
    SCOPED_TRACE(t.what);
    QTemporaryDir tableDir;
    auto table = MemoTable(tableDir, t.languageDriver, t.memos);
    for (const MemoCase& c : t.cases) {
      SCOPED_TRACE(c.what);
      const QString text = QString::fromUtf8(c.text);
      const Outcome expected{c.foundId != 0, c.foundId != 0 ? c.foundId : 1};
      for (bool bytePath : {true, false}) {
        SCOPED_TRACE(bytePath ? "byte path" : "decoding path");
        EXPECT_EQ(Locate(*table, bytePath, 1, true, text, c.type, c.caseSensitive), expected);
      }
      // Find-next from each record gives the same answer both ways too.
      for (int start = 1; start <= static_cast<int>(t.memos.size()); ++start) {
        SCOPED_TRACE(start);
        EXPECT_EQ(Locate(*table, true, start, false, text, c.type, c.caseSensitive),
                  Locate(*table, false, start, false, text, c.type, c.caseSensitive));
      }
    }
  }
  EXPECT_TRUE(platform.boxes.shown.empty());
}

TEST(MemoByteSearch, ADamagedMemoRaisesTheSameErrorBothWays) {
  ScriptedPlatform platform;
  QTemporaryDir dir;
  auto table = MemoTable(dir, 0xCB, {"one", "two", "three"});
  // Record 2's memo pointer names a block far past the end of the memo file.
  table->Close();
  {
    auto engineTable = engine::Table::Open(dir.filePath(QStringLiteral("Tindrel.dbf")).toStdString());
    engine::Record record = engineTable->ReadRecord(2);
    const engine::FieldDesc& memo = engineTable->Fields()[3];
    record.bytes.replace(memo.offset, memo.length, "    999999");
    engineTable->Modify(record);
  }
  table->Open();
  for (bool bytePath : {true, false}) {
    SCOPED_TRACE(bytePath ? "byte path" : "decoding path");
    GoToId(*table, 1);
    BytePath path(bytePath);
    try {
      FindFieldValue(false, *table, QStringLiteral("MEMO"), QStringLiteral("nowhere"), mtPartialMatchAny, false);
      ADD_FAILURE() << "no error";
    } catch (const engine::EngineError& e) {
      EXPECT_EQ(e.Code(), engine::ResultCode::MemoDamaged);
      EXPECT_NE(std::string(e.what()).find("record 2"), std::string::npos) << e.what();
    }
    EXPECT_EQ(CurrentId(*table), 1);
  }
}

// Random searches over a generated table: texts cut out of its memos (in random letter case,
// so most of them are found somewhere), and the same texts changed by a letter.
TEST(MemoByteSearch, RandomSearchesOverAGeneratedTableAgreeBothWays) {
  ScriptedPlatform platform;
  QTemporaryDir dir;
  const std::vector<tools::Note> notes = tools::RandomNotes(1500, 7);
  tools::CreateNoteTable(dir.path().toStdString(), notes);
  auto table = OpenLocateTable(tools::NoteTablePath(dir.path().toStdString()));
  table->SetIndexFieldNames(QStringLiteral("ID"));

  std::mt19937_64 random(20);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  int found = 0;
  for (int round = 0; round < 120; ++round) {
    const tools::Note& source = notes[pick(notes.size())];
    const QString memo = QString::fromStdString(source.memo);
    QString text;
    if (!memo.isEmpty()) {
      const qsizetype at = static_cast<qsizetype>(pick(static_cast<size_t>(memo.size())));
      text = memo.mid(at, 1 + static_cast<qsizetype>(pick(12)));
    }
    if (round % 3 == 0) text = text.toUpper();
    if (round % 3 == 1) text = text.toLower();
    if (round % 7 == 0 && !text.isEmpty()) text[text.size() - 1] = QChar(u'ΐ');
    if (round % 11 == 0) text = memo;  // a whole memo: the exact search can find it
    const auto type = static_cast<TwwLocateMatchType>(round % 3);
    const bool caseSensitive = round % 4 == 0;
    const bool fromBeginning = round % 5 != 0;
    const int startId = static_cast<int>(1 + pick(notes.size()));
    found += FoundAlikeBothWays(*table, startId, fromBeginning, text, type, caseSensitive);
  }
  // The texts were cut from the memos, so the comparison is not only between two failures.
  EXPECT_GT(found, 25);
}

// A memo file long enough for the scan to read and compare its two halves side by side: texts
// cut from memos early and late in the file, whole memos, and texts found nowhere, the same both
// ways.
TEST(MemoByteSearch, SearchesOfAMemoFileReadInTwoHalvesAgreeBothWays) {
  ScriptedPlatform platform;
  QTemporaryDir dir;
  const std::vector<tools::Note> notes = tools::RandomNotes(12000, 11);
  tools::CreateNoteTable(dir.path().toStdString(), notes);
  ASSERT_GT(QFileInfo(dir.filePath(QStringLiteral("Tindrel.dbt"))).size(), 8 << 20);
  auto table = OpenLocateTable(tools::NoteTablePath(dir.path().toStdString()));
  table->SetIndexFieldNames(QStringLiteral("ID"));
  std::mt19937_64 random(12);
  int found = 0;
  for (int round = 0; round < 24; ++round) {
    // Notes from the first and the last tenth of the table, whose memos lie in the two halves.
    const size_t n = round % 2 == 0 ? random() % 1200 : notes.size() - 1 - random() % 1200;
    const QString memo = QString::fromStdString(notes[n].memo);
    // A piece of the middle searched anywhere, the start searched at the start, the whole memo
    // searched exactly, and a text found nowhere.
    const TwwLocateMatchType types[] = {mtPartialMatchAny, mtPartialMatchStart, mtExactMatch, mtPartialMatchAny};
    const auto type = types[round % 4];
    QString text = round % 4 == 0 ? memo.mid(memo.size() / 2, 4 + round % 9)
                   : round % 4 == 1 ? memo.left(3 + round % 7)
                   : round % 4 == 2 ? memo
                                    : QStringLiteral("qqzzxq no such text");
    if (round % 3 == 1) text = text.toUpper();
    const bool fromBeginning = round % 5 != 4;
    const int startId = static_cast<int>(1 + random() % notes.size());
    found += FoundAlikeBothWays(*table, startId, fromBeginning, text, type, false);
  }
  EXPECT_GT(found, 12);
}

// The fold's own search against the decoded text, at every length and place: short and long
// patterns, matches at each offset of texts long enough for the sixteen-place steps and their
// tails, letters of several case forms (final sigma), and bytes of several characters.
TEST(MemoByteSearch, TheFoldsContainsAgreesWithTheDecodedTextAtEveryPlace) {
  struct Page {
    int codePage;
    std::string alphabet;
  };
  const std::vector<Page> pages = {
      {1252, "aAeEsS x\xDF\xE9\xC9\xE4\xC4"},
      {1253, "aA \xF3\xF2\xD3\xDC\xA2\xC1\xE1\xC0\xE9"},
  };
  std::mt19937 random(20261211);
  for (const Page& page : pages) {
    const auto codePage = engine::CodePage::Get(page.codePage);
    const auto decode = [&](const std::string& bytes) { return QString::fromStdString(codePage->Decode(bytes)); };
    for (const bool caseSensitive : {false, true}) {
      const CodePageFold::Upper upper = caseSensitive ? CodePageFold::Upper() : [](const QString& t) { return t.toUpper(); };
      const auto fold = CodePageFold::Get(page.codePage, QStringLiteral("plain upper"), upper);
      ASSERT_NE(fold, nullptr);
      const auto folded = [&](const QString& t) { return upper ? upper(t) : t; };
      for (int trial = 0; trial < 3000; ++trial) {
        std::string text(random() % 90, ' ');
        for (char& c : text) c = page.alphabet[random() % page.alphabet.size()];
        std::string pattern;
        if (!text.empty() && random() % 4 != 0) {
          const size_t at = random() % text.size();
          pattern = text.substr(at, 1 + random() % std::min<size_t>(text.size() - at, 24));
        } else {
          pattern.resize(1 + random() % 20);
          for (char& c : pattern) c = page.alphabet[random() % page.alphabet.size()];
        }
        const QString wanted = folded(decode(pattern));
        const bool expected = folded(decode(text)).contains(wanted);
        const std::optional<CodePageFold::Needle> needle = fold->Pattern(wanted);
        const std::optional<bool> got =
            needle ? fold->Matches(text, *needle, CodePageFold::Test::Contains) : std::optional<bool>(false);
        if (!fold->Expresses(text) || !got) continue;
        ASSERT_EQ(*got, expected) << "code page " << page.codePage << (caseSensitive ? ", case" : ", no case")
                                  << ": " << decode(pattern).toStdString() << " in " << decode(text).toStdString();
      }
    }
  }
}

}  // namespace
}  // namespace tindrel::testing
