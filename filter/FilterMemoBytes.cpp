#include "filter/FilterMemoBytes.h"

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
  std::optional<CodePageFold::Needle> needle;  // none: no decided memo can hold it
};

constexpr int kQuestionsBeforeBulk = 256;

}  // namespace

// A criterion's value made ready for byte comparison in one code page: encoded once, not once
// per record.
struct MemoCriterionBytes::Compiled {
  int codePage = -1;
  std::shared_ptr<const CodePageFold> fold;  // null: the code page is not converted byte by byte
  bool isOr = false;
  std::vector<Operand> operands;
};

// The outcomes of the criterion for every stored record of an unchanged table, made in one
// pass over the memo file in file order. A filter pass asks for every record in index order,
// which reads the memos all over the file one by one; after a few hundred such questions on
// the same table state the rest are answered from here.
struct MemoCriterionBytes::Verdicts {
  const engine::Table* table = nullptr;
  uint64_t changeCount = 0;
  int field = -1;
  int questions = 0;            // record tests on this table state
  std::vector<int8_t> byRecno;  // 1 passes, 0 fails, -1 not decided here; empty: not made
};

// The outcome for one memo's bytes; nullopt when the fold cannot decide it.
std::optional<bool> MemoCriterionBytes::Evaluate(const Compiled& compiled, std::string_view bytes,
                                                 TwwFilterMatchType type) {
  // A range or end criterion on a memo tests nothing of its text (see TwwPreparedValue).
  if (type == fdMatchRange) return true;
  const CodePageFold& fold = *compiled.fold;
  if (!fold.Expresses(bytes)) return std::nullopt;
  const bool start = !compiled.isOr;
  if (type != fdMatchStart && type != fdMatchAny && type != fdMatchExact) return start;
  for (const Operand& operand : compiled.operands) {
    bool matched = false;
    if (operand.isNullWord && bytes.empty()) {
      matched = true;
    } else if (operand.needle && !(operand.empty && type != fdMatchExact)) {
      const CodePageFold::Test test = type == fdMatchStart ? CodePageFold::Test::StartsWith
                                      : type == fdMatchAny ? CodePageFold::Test::Contains
                                                           : CodePageFold::Test::Equals;
      const std::optional<bool> outcome = fold.Matches(bytes, *operand.needle, test);
      if (!outcome) return std::nullopt;
      matched = *outcome;
    }
    if (compiled.isOr && matched) return true;
    if (!compiled.isOr && !matched) return false;
  }
  return start;
}

void MemoCriterionBytes::MakeVerdicts(Verdicts& verdicts, const engine::Table& table, int field,
                                      const Compiled& compiled, TwwFilterMatchType type) {
  const uint32_t count = table.RecordCount();
  verdicts.byRecno.assign(static_cast<size_t>(count) + 1, -1);
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
  table.ReadMemoBlocks(blocks, [&](size_t i, bool sound, std::string_view bytes) {
    if (!sound) return;
    const std::optional<bool> outcome = Evaluate(compiled, bytes, type);
    if (outcome) verdicts.byRecno[recnos[i]] = *outcome ? 1 : 0;
  });
}

MemoCriterionBytes::MemoCriterionBytes(const TwwFieldInfo& criterion, const TwwMatchSettings& settings)
    : decides_(criterion.CaseSensitive || settings.Locale.UpperIsContextFree()),
      type_(criterion.MatchType),
      caseSensitive_(criterion.CaseSensitive),
      locale_(settings.Locale),
      nullWord_(settings.Operators.NullChar()),
      verdicts_(std::make_unique<Verdicts>()) {
  if (decides_) operands_ = ValueOperands(criterion, settings);
}

MemoCriterionBytes::~MemoCriterionBytes() = default;

const MemoCriterionBytes::Compiled* MemoCriterionBytes::CompiledFor(int codePage) {
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

std::optional<bool> MemoCriterionBytes::Match(TDataSet& dataSet, const TField& field) {
  if (!decides_) return std::nullopt;
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
      MakeVerdicts(verdicts, *table, field.Index(), *compiled, type_);
    if (recno < verdicts.byRecno.size() && verdicts.byRecno[recno] >= 0) return verdicts.byRecno[recno] == 1;
  }
  thread_local std::string bytes;
  int codePage = 0;
  if (!dataSet.ReadMemoBytes(field.Index(), bytes, codePage)) return std::nullopt;
  // The text is read even for a criterion that tests nothing of it, so a damaged memo is
  // reported the same way.
  const Compiled* compiled = CompiledFor(codePage);
  if (!compiled) return std::nullopt;
  return Evaluate(*compiled, bytes, type_);
}

}  // namespace tindrel
