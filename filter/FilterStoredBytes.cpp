#include "filter/FilterStoredBytes.h"

#include <memory>
#include <string>
#include <vector>

#include "store/CodePageFold.h"
#include "store/TDataSet.h"
#include "store/TField.h"
#include "store/engine/Record.h"
#include "store/engine/Table.h"

namespace tindrel {

namespace {

struct Operand {
  bool isNullWord = false;
  bool empty = false;
  std::optional<CodePageFold::Needle> needle;  // none: no decided text can hold it
};

constexpr int kQuestionsBeforeBulk = 256;

bool textBytePath = true;

}  // namespace

void SetTextBytePath(bool on) { textBytePath = on; }
bool TextBytePath() { return textBytePath; }

// A criterion's value made ready for byte comparison in one code page: encoded once, not once
// per record.
struct StoredBytesCriterion::Compiled {
  int codePage = -1;
  std::shared_ptr<const CodePageFold> fold;  // null: the code page is not converted byte by byte
  bool isOr = false;
  std::vector<Operand> operands;
};

// The outcomes of the criterion for every stored record of an unchanged table, made in one
// pass over the records (and for a memo over the memo file in file order). A filter pass asks
// for every record in index order, which reads the memos all over the file one by one and
// decodes and folds every title; after a few hundred such questions on the same table state
// the rest are answered from here.
struct StoredBytesCriterion::Verdicts {
  const engine::Table* table = nullptr;
  uint64_t changeCount = 0;
  int field = -1;
  int questions = 0;            // record tests on this table state
  std::vector<int8_t> byRecno;  // 1 passes, 0 fails, -1 not decided here; empty: not made
};

std::unique_ptr<StoredBytesCriterion> StoredBytesCriterion::For(const TField& field, const TwwFieldInfo& criterion,
                                                                const TwwMatchSettings& settings) {
  if (!criterion.CaseSensitive && !settings.Locale.UpperIsContextFree()) return nullptr;
  const bool memo = field.DataType() == ftMemo;
  if (!memo) {
    const TwwFilterMatchType type = criterion.MatchType;
    if (field.DataType() != ftString || !field.Transliterate()) return nullptr;
    if (type != fdMatchStart && type != fdMatchAny && type != fdMatchExact) return nullptr;
  }
  return std::unique_ptr<StoredBytesCriterion>(new StoredBytesCriterion(memo, criterion, settings));
}

StoredBytesCriterion::StoredBytesCriterion(bool memo, const TwwFieldInfo& criterion, const TwwMatchSettings& settings)
    : memo_(memo),
      type_(criterion.MatchType),
      caseSensitive_(criterion.CaseSensitive),
      locale_(settings.Locale),
      nullWord_(settings.Operators.NullChar()),
      operands_(ValueOperands(criterion, settings)),
      verdicts_(std::make_unique<Verdicts>()) {}

StoredBytesCriterion::~StoredBytesCriterion() = default;

const StoredBytesCriterion::Compiled* StoredBytesCriterion::CompiledFor(int codePage) {
  if (!compiled_ || compiled_->codePage != codePage) {
    compiled_ = std::make_unique<Compiled>();
    compiled_->codePage = codePage;
    const FilterLocale locale = locale_;
    compiled_->fold = caseSensitive_
                          ? CodePageFold::Get(codePage, QString(), {})
                          : CodePageFold::Get(codePage, QStringLiteral("filter ") + locale.RulesName(),
                                              [locale](const QString& text) { return locale.Upper(text); });
    if (compiled_->fold) {
      compiled_->isOr = operands_.isOr;
      for (const QString& text : operands_.operands) {
        Operand operand;
        operand.isNullWord = locale_.SameText(text, nullWord_);
        operand.empty = text.isEmpty();
        operand.needle = compiled_->fold->Pattern(text);
        compiled_->operands.push_back(std::move(operand));
      }
    }
  }
  return compiled_->fold ? compiled_.get() : nullptr;
}

// The outcome for one memo's or text's bytes; nullopt when the fold cannot decide it.
std::optional<bool> StoredBytesCriterion::Evaluate(const Compiled& compiled, std::string_view bytes) const {
  // A range or end criterion on a memo tests nothing of its text (see TwwPreparedValue); a text
  // field's criterion is one of start, anywhere and exact.
  if (type_ == fdMatchRange) return true;
  const CodePageFold& fold = *compiled.fold;
  if (!fold.Expresses(bytes)) return std::nullopt;
  const bool start = !compiled.isOr;
  if (type_ != fdMatchStart && type_ != fdMatchAny && type_ != fdMatchExact) return start;
  const CodePageFold::Test test = type_ == fdMatchStart ? CodePageFold::Test::StartsWith
                                  : type_ == fdMatchAny ? CodePageFold::Test::Contains
                                                        : CodePageFold::Test::Equals;
  for (const Operand& operand : compiled.operands) {
    bool matched = false;
    if (operand.isNullWord && bytes.empty()) {
      matched = true;
    } else if (operand.needle && !(operand.empty && type_ != fdMatchExact)) {
      const std::optional<bool> outcome = fold.Matches(bytes, *operand.needle, test);
      if (!outcome) return std::nullopt;
      matched = *outcome;
    }
    if (compiled.isOr && matched) return true;
    if (!compiled.isOr && !matched) return false;
  }
  return start;
}

void StoredBytesCriterion::MakeVerdicts(const engine::Table& table, int field, const Compiled& compiled) {
  Verdicts& verdicts = *verdicts_;
  const uint32_t count = table.RecordCount();
  verdicts.byRecno.assign(static_cast<size_t>(count) + 1, -1);
  if (!memo_) {
    for (uint32_t recno = 1; recno <= count; ++recno) {
      const engine::Record record = table.ReadRecord(recno);
      if (record.IsDeleted()) continue;
      // The text as the field reads it: without the blanks and zero bytes that pad it.
      const std::optional<bool> outcome = Evaluate(compiled, engine::WithoutPadding(table.RawField(record, field)));
      if (outcome) verdicts.byRecno[recno] = *outcome ? 1 : 0;
    }
    return;
  }
  std::vector<uint32_t> recnos;
  std::vector<uint32_t> blocks;
  for (uint32_t recno = 1; recno <= count; ++recno) {
    const engine::Record record = table.ReadRecord(recno);
    if (record.IsDeleted()) continue;
    const std::optional<uint32_t> block = table.MemoBlockOf(record, field);
    if (!block) continue;  // damaged: the decoding read reports it
    recnos.push_back(recno);
    blocks.push_back(*block);
  }
  // Each visit writes the verdict of its own record only, and the evaluation is read-only: the
  // two halves of the memo file may be compared side by side.
  table.ReadMemoBlocks(
      blocks,
      [&](size_t i, bool sound, std::string_view bytes) {
        if (!sound) return;
        const std::optional<bool> outcome = Evaluate(compiled, bytes);
        if (outcome) verdicts.byRecno[recnos[i]] = *outcome ? 1 : 0;
      },
      engine::MemoVisits::SideBySide);
}

std::optional<bool> StoredBytesCriterion::Match(TDataSet& dataSet, const TField& field) {
  const engine::Table* table = dataSet.EngineTableBeneath();
  const uint32_t recno = dataSet.ActiveRecno();
  // Only the records the dataset is judging are as stored; a record being edited is not.
  if (table && recno && dataSet.State() == DataSetState::Filtering) {
    const Compiled* compiled = CompiledFor(table->CodePage());
    if (!compiled) return std::nullopt;
    Verdicts& verdicts = *verdicts_;
    if (verdicts.table != table || verdicts.changeCount != table->ChangeCount() || verdicts.field != field.Index()) {
      verdicts = Verdicts{};
      verdicts.table = table;
      verdicts.changeCount = table->ChangeCount();
      verdicts.field = field.Index();
    }
    if (verdicts.byRecno.empty() && ++verdicts.questions > kQuestionsBeforeBulk)
      MakeVerdicts(*table, field.Index(), *compiled);
    if (recno < verdicts.byRecno.size() && verdicts.byRecno[recno] >= 0) return verdicts.byRecno[recno] == 1;
  }
  // A text field's bytes are compared only in its verdicts; before they exist a record goes the
  // decoding way.
  if (!memo_) return std::nullopt;
  thread_local std::string bytes;
  int codePage = 0;
  if (!dataSet.ReadMemoBytes(field.Index(), bytes, codePage)) return std::nullopt;
  // The text is read even for a criterion that tests nothing of it, so a damaged memo is
  // reported the same way.
  const Compiled* compiled = CompiledFor(codePage);
  if (!compiled) return std::nullopt;
  return Evaluate(*compiled, bytes);
}

}  // namespace tindrel
