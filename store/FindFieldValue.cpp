#include "store/FindFieldValue.h"

#include <QApplication>
#include <QDate>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ErrorBox.h"
#include "platform/Platform.h"
#include "store/CodePageFold.h"
#include "store/RtfPlainText.h"
#include "store/TBlobField.h"
#include "store/TDataSet.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Cursor.h"
#include "store/engine/EngineError.h"
#include "store/engine/Record.h"
#include "store/engine/Table.h"

namespace tindrel {

QString LocaleUpper(const QString& text) {
  // Unicode's full upper-casing (Greek keeps its accents: "ά" gives "Ά"), except for the
  // languages whose dotted and dotless i the locale's own rules decide.
  static const bool localeRules = [] {
    const QLocale::Language language = QLocale::system().language();
    return language == QLocale::Turkish || language == QLocale::Azerbaijani || language == QLocale::Lithuanian;
  }();
  return localeRules ? QLocale::system().toUpper(text) : text.toUpper();
}

bool MatchValue(const QString& text, const QString& pattern, TwwLocateMatchType matchType, bool caseSensitive) {
  const QString value = caseSensitive ? text : LocaleUpper(text);
  switch (matchType) {
    case mtExactMatch:
      return value == pattern;
    case mtPartialMatchStart:
      return !pattern.isEmpty() && value.startsWith(pattern);
    case mtPartialMatchAny:
      return !pattern.isEmpty() && value.contains(pattern);
  }
  return false;
}

bool MatchMemoText(const QString& text, const QString& pattern, TwwLocateMatchType matchType, bool caseSensitive) {
  if (pattern.isEmpty()) return false;
  QString value = text;
  const qsizetype zero = value.indexOf(QChar(u'\0'));
  if (zero >= 0) value.truncate(zero);
  if (!caseSensitive) value = LocaleUpper(value);
  switch (matchType) {
    case mtExactMatch:
      return value == pattern;
    case mtPartialMatchStart:
      return value.startsWith(pattern);
    case mtPartialMatchAny:
      return value.contains(pattern);
  }
  return false;
}

bool ReadNumber(const QString& text, double* value) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return false;
  bool ok = false;
  const double v = QLocale::system().toDouble(trimmed, &ok);
  if (!ok || !std::isfinite(v)) return false;
  if (value) *value = v;
  return true;
}

namespace {

// The stored number of a dBASE numeric field (ASCII digits, blanks around).
std::optional<double> StoredNumber(const std::string& native) {
  const QString text = QString::fromLatin1(native.data(), static_cast<qsizetype>(native.size())).trimmed();
  if (text.isEmpty()) return std::nullopt;
  bool ok = false;
  const double v = QLocale::c().toDouble(text, &ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool IsFloatType(const TField& field) {
  return field.DataType() == ftFloat || field.DataType() == ftCurrency;
}

// Shows the hourglass for the life of the object (only where there is a GUI application).
class WaitCursor {
 public:
  WaitCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      shown_ = true;
    }
  }
  ~WaitCursor() {
    if (shown_) QApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool shown_ = false;
};

// Resumes a dataset's notifications on every way out of a scope.
class NotificationPause {
 public:
  explicit NotificationPause(TDataSet& ds) : ds_(ds) { ds_.SuspendNotifications(); }
  ~NotificationPause() { ds_.ResumeNotifications(); }
  NotificationPause(const NotificationPause&) = delete;
  NotificationPause& operator=(const NotificationPause&) = delete;

 private:
  TDataSet& ds_;
};

enum class Shortcut { NotTaken, Found, NotFound, OrderedScan };

// The index shortcut: only for a table ordered by a named index whose first field is the
// searched (non-memo) field. An exact search becomes a key search; a start search either
// becomes a nearest-key search or marks the scan as ordered (it may stop at the first record
// past the pattern).
Shortcut TryIndexShortcut(bool fromBeginning, TTable& table, TField& field, const QString& pattern,
                          TwwLocateMatchType matchType, bool caseSensitive) {
  table.UpdateIndexDefs();
  if (table.IndexFieldCount() < 1 || table.IndexName().isEmpty()) return Shortcut::NotTaken;
  const TIndexDef* named = nullptr;
  for (const TIndexDef& def : table.IndexDefs()) {
    if (def.Name.compare(table.IndexName(), Qt::CaseInsensitive) != 0) continue;
    const QString first = def.Fields.section(u';', 0, 0).trimmed();
    if (!first.isEmpty() && table.FindFieldNamed(first)) {
      named = &def;
      break;
    }
  }
  if (!named) return Shortcut::NotTaken;
  TField* f0 = table.IndexField(0);
  if (!f0 || f0->FieldName().compare(field.FieldName(), Qt::CaseInsensitive) != 0) return Shortcut::NotTaken;

  const bool isString = field.DataType() == ftString;
  const bool indexCaseSensitive = (named->Options & ixCaseInsensitive) == 0;
  const bool indexMatchesCase = indexCaseSensitive == caseSensitive;
  const QString current = caseSensitive ? f0->AsString() : LocaleUpper(f0->AsString());

  if (matchType == mtExactMatch) {
    if (!(fromBeginning || current != pattern)) return Shortcut::NotTaken;
    if (field.DataType() == ftBoolean) return Shortcut::NotTaken;
    if (isString && !indexMatchesCase) return Shortcut::NotTaken;
    return table.SeekKeyExact({pattern}) ? Shortcut::Found : Shortcut::NotFound;
  }
  if (matchType == mtPartialMatchStart && isString && indexMatchesCase) {
    const bool currentMatches = !pattern.isEmpty() && current.startsWith(pattern);
    if (fromBeginning || !currentMatches) {
      if (!fromBeginning && pattern.toUtf8() < current.toUtf8()) return Shortcut::NotFound;
      // A search that finds nothing leaves the record that was current, here as in the scan:
      // the nearest key is only a candidate.
      TBookmark start = table.TakeBookmark();
      table.SeekKeyNearest({pattern});
      const QString found = caseSensitive ? f0->AsString() : LocaleUpper(f0->AsString());
      const bool match = !table.IsEmpty() && !pattern.isEmpty() && found.startsWith(pattern);
      if (!match) table.ReturnToBookmark(start);
      table.ReleaseBookmark(start);
      return match ? Shortcut::Found : Shortcut::NotFound;
    }
    return Shortcut::OrderedScan;
  }
  return Shortcut::NotTaken;
}

// The search over the records, from step 6 on; the caller restores the start record.
class Scan {
 public:
  Scan(TDataSet& ds, TField& field, const QString& pattern, TwwLocateMatchType matchType, bool caseSensitive,
       bool ordered)
      : ds_(ds), field_(field), pattern_(pattern), matchType_(matchType), caseSensitive_(caseSensitive),
        ordered_(ordered), table_(dynamic_cast<TTable*>(&ds)), memo_(field.DataType() == ftMemo) {
    numericExact_ = matchType == mtExactMatch && IsFloatType(field) && !pattern.isEmpty();
    patternIsNumber_ = numericExact_ && ReadNumber(pattern, &patternNumber_);
    if (field.DataType() == ftString && table_) PrepareByteTable();
  }

  bool Run(bool fromBeginning) {
    if (fromBeginning) {
      ds_.First();
      ds_.SyncEngineCursor();
    }
    if (memo_) {
      auto* blob = dynamic_cast<TBlobField*>(&field_);
      rich_ = LooksLikeRtf(blob ? blob->ReadFirstBytes(5) : field_.AsString().left(5));
    }
    WaitCursor hourglass;
    if (fromBeginning && !ds_.IsEmpty()) {
      if (TestCurrent()) return Matched(true);
      ds_.SyncEngineCursor();
    }
    if (memo_ && !rich_ && PrepareMemoBytes()) return ScanMemoBytes();
    if (memo_ || !table_) return ScanThroughDataSet();
    return ScanEngineCursor();
  }

 private:
  bool MemoMatches() {
    const QString text = field_.AsString();
    return MatchMemoText(rich_ ? RtfPlainText(text) : text, pattern_, matchType_, caseSensitive_);
  }

  // The first record of a find-first, tested by the same rules as the scanned ones.
  bool TestCurrent() {
    if (memo_) return MemoMatches();
    if (table_) {
      engine::Record record;
      if (table_->EngineCursor()->Current(record) == engine::ResultCode::Ok) return TestRecord(record).value_or(false);
    }
    if (numericExact_) {
      if (!patternIsNumber_ || field_.IsNull()) return false;
      return field_.AsFloat() == patternNumber_;
    }
    return MatchValue(field_.AsString(), pattern_, matchType_, caseSensitive_);
  }

  // Whether a record read from the engine matches; nullopt when the ordered scan must stop.
  std::optional<bool> TestRecord(const engine::Record& record) {
    std::string native;
    bool blank = true;
    if (!table_->CopyField(record, field_.FieldNo(), native, blank)) return false;
    if (numericExact_) {
      if (!patternIsNumber_ || blank) return false;
      const std::optional<double> stored = StoredNumber(native);
      return stored && *stored == patternNumber_;
    }
    if (byteTable_) {
      const bool match = !blank && MatchStoredBytes(native);
      if (match) return true;
      if (blank && MatchValue(QString(), pattern_, matchType_, caseSensitive_)) return true;
      if (ordered_) return std::nullopt;
      return false;
    }
    const QString text = blank ? QString() : NativeFieldText(field_, native);
    if (MatchValue(text, pattern_, matchType_, caseSensitive_)) return true;
    if (ordered_) return std::nullopt;
    return false;
  }

  // A single-byte code page decodes every byte to the same characters wherever it stands, and
  // upper-casing is context-free outside the languages whose locale rules LocaleUpper applies.
  // So the text of a stored string, upper-cased, is the concatenation of each byte's upper-cased
  // character(s): a table of 256 entries, made once per search, replaces decoding and
  // upper-casing every record.
  void PrepareByteTable() {
    static const int kMultiByte[] = {932, 936, 949, 950, 1361};
    engine::Table* engineTable = table_->EngineTable();
    if (!engineTable || LocaleUpper(QStringLiteral("i")) != QStringLiteral("I")) return;
    for (int cp : kMultiByte)
      if (engineTable->CodePage() == cp) return;
    for (int b = 0; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      QString text = field_.Transliterate() ? QString::fromStdString(engineTable->DecodeText(byte))
                                            : QString(QChar(static_cast<char16_t>(b)));
      if (!caseSensitive_) text = LocaleUpper(text);
      if (text.isEmpty()) return;  // a byte that decodes to nothing: take the general way
      byteText_[b] = text;
      maxExpansion_ = std::max<qsizetype>(maxExpansion_, text.size());
    }
    byteTable_ = true;
  }

  // MatchValue of a stored, non-blank string through the byte table.
  bool MatchStoredBytes(const std::string& native) {
    const std::string_view raw = engine::WithoutPadding(native);
    scratch_.resize(static_cast<qsizetype>(raw.size()) * maxExpansion_);
    QChar* out = scratch_.data();
    for (unsigned char c : raw) {
      const QString& t = byteText_[c];
      if (t.size() == 1) {
        *out++ = t.front();
      } else {
        for (QChar ch : t) *out++ = ch;
      }
    }
    const QStringView text(scratch_.constData(), out - scratch_.constData());
    switch (matchType_) {
      case mtExactMatch:
        return text == pattern_;
      case mtPartialMatchStart:
        return !pattern_.isEmpty() && text.startsWith(pattern_);
      case mtPartialMatchAny:
        return !pattern_.isEmpty() && text.contains(pattern_);
    }
    return false;
  }

  // The memo scan in the table's own code page: records straight from the engine cursor, each
  // memo's bytes compared through the code page's fold without being decoded. Only for an
  // engine table whose code page the engine converts byte by byte, with an upper-casing without
  // context; a memo the fold cannot decide (or a damaged one, whose error the decoding read
  // raises) is compared the decoding way, as the dataset reads it.
  bool PrepareMemoBytes() {
    if (!MemoBytePath() || !table_) return false;
    engine::Table* engineTable = table_->EngineTable();
    if (!engineTable || LocaleUpper(QStringLiteral("i")) != QStringLiteral("I")) return false;
    fold_ = CodePageFold::Get(engineTable->CodePage(), QStringLiteral("locate"),
                              caseSensitive_ ? CodePageFold::Upper() : CodePageFold::Upper(LocaleUpper));
    if (!fold_) return false;
    needle_ = fold_->Pattern(pattern_);
    return true;
  }

  enum class Verdict : uint8_t { NoMatch, Match, Undecided };

  Verdict MemoVerdict(std::string_view bytes) const {
    // The comparison stops at the first zero character, as the decoded one does.
    if (const void* zero = bytes.empty() ? nullptr : std::memchr(bytes.data(), '\0', bytes.size()))
      bytes = bytes.substr(0, static_cast<size_t>(static_cast<const char*>(zero) - bytes.data()));
    if (!fold_->Expresses(bytes)) return Verdict::Undecided;
    if (pattern_.isEmpty() || !needle_) return Verdict::NoMatch;
    const CodePageFold::Test test = matchType_ == mtExactMatch          ? CodePageFold::Test::Equals
                                    : matchType_ == mtPartialMatchStart ? CodePageFold::Test::StartsWith
                                                                        : CodePageFold::Test::Contains;
    const std::optional<bool> outcome = fold_->Matches(bytes, *needle_, test);
    if (!outcome) return Verdict::Undecided;
    return *outcome ? Verdict::Match : Verdict::NoMatch;
  }

  // Records in scan order are anywhere in the memo file, so the scan takes their memo blocks
  // first (a cursor read of the records alone), reads the memos in the order of the file in
  // large reads, and then goes through the verdicts in scan order: the first match wins, and
  // a memo the bytes did not decide (or a damaged one, whose error the decoding read raises in
  // its turn) is read and compared the decoding way when its turn comes.
  bool ScanMemoBytes() {
    engine::Table& engineTable = *table_->EngineTable();
    const int index = field_.Index();
    std::vector<uint32_t> recnos;
    std::vector<uint32_t> blocks;
    std::vector<Verdict> verdicts;
    recnos.reserve(engineTable.RecordCount());
    blocks.reserve(engineTable.RecordCount());
    verdicts.reserve(engineTable.RecordCount());
    engine::Record record;
    for (;;) {
      const engine::ResultCode rc = table_->ReadNextRecord(record);
      if (rc == engine::ResultCode::EndOfRecords) break;
      if (rc != engine::ResultCode::Ok) throw engine::EngineError(rc, "Reading the next record failed");
      const std::optional<uint32_t> block = engineTable.MemoBlockOf(record, index);
      recnos.push_back(record.recno);
      blocks.push_back(block.value_or(0));
      verdicts.push_back(block ? Verdict::NoMatch : Verdict::Undecided);
    }
    // Each visit writes its own verdict only, and the fold is read-only: the two halves of the
    // memo file may be compared side by side.
    engineTable.ReadMemoBlocks(
        blocks,
        [&](size_t i, bool sound, std::string_view bytes) {
          if (verdicts[i] == Verdict::Undecided) return;
          verdicts[i] = sound ? MemoVerdict(bytes) : Verdict::Undecided;
        },
        engine::MemoVisits::SideBySide);
    for (size_t i = 0; i < verdicts.size(); ++i) {
      if (verdicts[i] == Verdict::NoMatch) continue;
      if (verdicts[i] == Verdict::Undecided) {
        const engine::Record stored = engineTable.ReadRecord(recnos[i]);
        const QString text = QString::fromStdString(engineTable.GetText(stored, index));
        if (!MatchMemoText(text, pattern_, matchType_, caseSensitive_)) continue;
      }
      const engine::ResultCode rc = table_->EngineCursor()->SetToRecord(recnos[i]);
      if (rc != engine::ResultCode::Ok) throw engine::EngineError(rc, "Going to the found record failed");
      return Matched(false);
    }
    return false;
  }

  bool ScanThroughDataSet() {
    bool found = false;
    {
      NotificationPause pause(ds_);
      for (;;) {
        if (ds_.Eof()) break;
        ds_.Next();
        if (ds_.Eof()) break;
        if (memo_ ? MemoMatches() : MatchValue(field_.AsString(), pattern_, matchType_, caseSensitive_)) {
          found = true;
          break;
        }
      }
    }
    return found ? Matched(true) : false;
  }

  bool ScanEngineCursor() {
    engine::Record record;
    for (;;) {
      const engine::ResultCode rc = table_->ReadNextRecord(record);
      if (rc == engine::ResultCode::EndOfRecords) return false;
      if (rc != engine::ResultCode::Ok) throw engine::EngineError(rc, "Reading the next record failed");
      const std::optional<bool> match = TestRecord(record);
      if (!match) return false;
      if (*match) return Matched(false);
    }
  }

  // Makes the record under the engine cursor current, in the middle of the record window.
  bool Matched(bool datasetOnRecord) {
    if (datasetOnRecord) ds_.SyncEngineCursor();
    ds_.RefetchWindow(true, true);
    return true;
  }

  TDataSet& ds_;
  TField& field_;
  const QString& pattern_;
  TwwLocateMatchType matchType_;
  bool caseSensitive_;
  bool ordered_;
  TTable* table_;
  bool memo_;
  bool rich_ = false;
  bool numericExact_ = false;
  bool patternIsNumber_ = false;
  double patternNumber_ = 0;
  bool byteTable_ = false;
  QString byteText_[256];
  qsizetype maxExpansion_ = 1;
  QString scratch_;
  std::shared_ptr<const CodePageFold> fold_;
  std::optional<CodePageFold::Needle> needle_;
};

}  // namespace

QString NativeFieldText(const TField& field, const std::string& native) {
  const QLocale locale = QLocale::system();
  switch (field.DataType()) {
    case ftString:
      return field.NativeText(native);
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc: {
      const std::optional<double> v = StoredNumber(native);
      if (!v) return field.NativeText(native);
      return QString::number(static_cast<qint64>(*v));
    }
    case ftBoolean: {
      const char c = native.empty() ? ' ' : native[0];
      return (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? QStringLiteral("True") : QStringLiteral("False");
    }
    case ftFloat:
    case ftCurrency: {
      // Digit grouping would make 1234 read "1,234" (or "1.234"), which no partial search for
      // a typed "123" finds; only the decimal separator is the locale's.
      QLocale numbers = locale;
      numbers.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
      const std::optional<double> v = StoredNumber(native);
      return v ? numbers.toString(*v, 'g', 15) : QString();
    }
    case ftDate:
    case ftDateTime: {
      const QDate d = QDate::fromString(QString::fromLatin1(native.data(), static_cast<qsizetype>(native.size())).trimmed(),
                                        QStringLiteral("yyyyMMdd"));
      return d.isValid() ? locale.toString(d, QLocale::ShortFormat) : QString();
    }
    default:
      return {};
  }
}

bool FindFieldValue(bool fromBeginning, TDataSet& dataSet, const QString& fieldName, const QString& searchText,
                    TwwLocateMatchType matchType, bool caseSensitive) {
  dataSet.SettleEdits();
  TField* field = dataSet.FindFieldNamed(fieldName);
  if (!field) {
    Platform::Instance().MessageBoxes().Show(QString::fromUtf8(kApplicationTitle),
                                             QStringLiteral("Field ") + fieldName + QStringLiteral(" not found."),
                                             MessageIcon::Warning, mbOK);
    return false;
  }
  dataSet.SyncEngineCursor();
  const QString pattern = caseSensitive ? searchText : LocaleUpper(searchText);

  bool ordered = false;
  if (auto* table = dynamic_cast<TTable*>(&dataSet); table && field->DataType() != ftMemo) {
    switch (TryIndexShortcut(fromBeginning, *table, *field, pattern, matchType, caseSensitive)) {
      case Shortcut::Found: return true;
      case Shortcut::NotFound: return false;
      case Shortcut::OrderedScan: ordered = true; break;
      case Shortcut::NotTaken: break;
    }
  }

  TBookmark start = dataSet.TakeBookmark();
  bool found = false;
  try {
    Scan scan(dataSet, *field, pattern, matchType, caseSensitive, ordered);
    found = scan.Run(fromBeginning);
  } catch (...) {
    // The first error is the one the caller sees; going back to the start record is only a
    // best effort then.
    try {
      dataSet.ReturnToBookmark(start);
    } catch (...) {
    }
    dataSet.ReleaseBookmark(start);
    throw;
  }
  if (!found) dataSet.ReturnToBookmark(start);
  dataSet.ReleaseBookmark(start);
  return found;
}

}  // namespace tindrel
