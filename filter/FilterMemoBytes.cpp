#include "filter/FilterMemoBytes.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>
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

// A criterion's value made ready for byte comparison: read, folded and encoded once, not once
// per record.
struct Compiled {
  std::shared_ptr<const CodePageFold> fold;
  bool isOr = false;
  std::vector<Operand> operands;
};

using Key = std::tuple<int, QString, bool, QString, QString, QString, QString>;

Key KeyOf(const TwwFieldInfo& criterion, const TwwMatchSettings& settings, int codePage) {
  const TwwFieldOperators& words = settings.Operators;
  return {codePage,       criterion.FilterValue, criterion.CaseSensitive, settings.Locale.RulesName(),
          words.OrChar(), words.AndChar(),       words.NullChar()};
}

const Compiled* CompiledFor(const TwwFieldInfo& criterion, const TwwMatchSettings& settings, int codePage) {
  // The hook runs on the one user-interface thread; a few criteria are in use at a time.
  thread_local std::map<Key, Compiled> cache;
  const TwwFieldOperators& words = settings.Operators;
  const Key key = KeyOf(criterion, settings, codePage);
  if (auto it = cache.find(key); it != cache.end()) return it->second.fold ? &it->second : nullptr;
  if (cache.size() >= 64) cache.clear();
  Compiled& compiled = cache[key];
  const FilterLocale locale = settings.Locale;
  compiled.fold = criterion.CaseSensitive
                      ? CodePageFold::Get(codePage, QString(), {})
                      : CodePageFold::Get(codePage, QStringLiteral("filter ") + locale.RulesName(),
                                          [locale](const QString& text) { return locale.Upper(text); });
  if (!compiled.fold) return nullptr;
  const TwwValueOperands operands = ValueOperands(criterion, settings);
  compiled.isOr = operands.isOr;
  for (const QString& text : operands.operands) {
    Operand operand;
    operand.isNullWord = settings.Locale.SameText(text, words.NullChar());
    operand.empty = text.isEmpty();
    operand.needle = compiled.fold->Pattern(text);
    compiled.operands.push_back(std::move(operand));
  }
  return &compiled;
}

// The outcome for one memo's bytes; nullopt when the fold cannot decide it.
std::optional<bool> Evaluate(const Compiled& compiled, std::string_view bytes, TwwFilterMatchType type) {
  // A range or end criterion on a memo tests nothing of its text (see MatchFieldValue).
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

// The outcomes of one criterion for every stored record of an unchanged table, made in one
// pass over the memo file in file order. A filter pass asks for every record in index order,
// which reads the memos all over the file one by one; after a few hundred such questions on
// the same table state the rest are answered from here.
struct Verdicts {
  const engine::Table* table = nullptr;
  uint64_t changeCount = 0;
  int questions = 0;              // record tests on this table state
  std::vector<int8_t> byRecno;    // 1 passes, 0 fails, -1 not decided here; empty: not made
};

constexpr int kQuestionsBeforeBulk = 256;

void MakeVerdicts(Verdicts& verdicts, const engine::Table& table, int field, const Compiled& compiled,
                  TwwFilterMatchType type) {
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

}  // namespace

std::optional<bool> MatchMemoCriterionBytes(TDataSet& dataSet, const TField& field, const TwwFieldInfo& criterion,
                                            const TwwMatchSettings& settings) {
  if (!criterion.CaseSensitive && !settings.Locale.UpperIsContextFree()) return std::nullopt;
  const TwwFilterMatchType type = criterion.MatchType;
  const engine::Table* table = dataSet.EngineTableBeneath();
  const uint32_t recno = dataSet.ActiveRecno();
  // Only the records the dataset is judging are as stored; a record being edited is not.
  if (table && recno && dataSet.State() == DataSetState::Filtering) {
    thread_local std::map<std::tuple<Key, int, int>, Verdicts> bulk;
    const Compiled* compiled = CompiledFor(criterion, settings, table->CodePage());
    if (!compiled) return std::nullopt;
    const std::tuple<Key, int, int> bulkKey{KeyOf(criterion, settings, table->CodePage()), static_cast<int>(type),
                                            field.Index()};
    if (bulk.size() >= 8 && !bulk.count(bulkKey)) bulk.clear();
    Verdicts& verdicts = bulk[bulkKey];
    if (verdicts.table != table || verdicts.changeCount != table->ChangeCount()) {
      verdicts = Verdicts{};
      verdicts.table = table;
      verdicts.changeCount = table->ChangeCount();
    }
    if (verdicts.byRecno.empty() && ++verdicts.questions > kQuestionsBeforeBulk)
      MakeVerdicts(verdicts, *table, field.Index(), *compiled, type);
    if (recno < verdicts.byRecno.size() && verdicts.byRecno[recno] >= 0) return verdicts.byRecno[recno] == 1;
  }
  thread_local std::string bytes;
  int codePage = 0;
  if (!dataSet.ReadMemoBytes(field.Index(), bytes, codePage)) return std::nullopt;
  // The text is read even for a criterion that tests nothing of it, so a damaged memo is
  // reported the same way.
  const Compiled* compiled = CompiledFor(criterion, settings, codePage);
  if (!compiled) return std::nullopt;
  return Evaluate(*compiled, bytes, type);
}

}  // namespace tindrel
