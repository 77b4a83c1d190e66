#include "filter/FilterMemoBytes.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "store/CodePageFold.h"
#include "store/TDataSet.h"
#include "store/TField.h"

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

const Compiled* CompiledFor(const TwwFieldInfo& criterion, const TwwMatchSettings& settings, int codePage) {
  // The hook runs on the one user-interface thread; a few criteria are in use at a time.
  thread_local std::map<Key, Compiled> cache;
  const TwwFieldOperators& words = settings.Operators;
  const Key key{codePage,  criterion.FilterValue, criterion.CaseSensitive, settings.Locale.RulesName(),
                words.OrChar(), words.AndChar(),   words.NullChar()};
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

}  // namespace

std::optional<bool> MatchMemoCriterionBytes(TDataSet& dataSet, const TField& field, const TwwFieldInfo& criterion,
                                            const TwwMatchSettings& settings) {
  if (!criterion.CaseSensitive && !settings.Locale.UpperIsContextFree()) return std::nullopt;
  thread_local std::string bytes;
  int codePage = 0;
  if (!dataSet.ReadMemoBytes(field.Index(), bytes, codePage)) return std::nullopt;
  const TwwFilterMatchType type = criterion.MatchType;
  // A range or end criterion on a memo tests nothing of its text (see MatchFieldValue); the
  // text is read all the same, so a damaged memo is reported the same way.
  if (type == fdMatchRange) return true;
  const Compiled* compiled = CompiledFor(criterion, settings, codePage);
  if (!compiled || !compiled->fold->Expresses(bytes)) return std::nullopt;
  const bool start = !compiled->isOr;
  if (type != fdMatchStart && type != fdMatchAny && type != fdMatchExact) return start;
  const CodePageFold& fold = *compiled->fold;
  for (const Operand& operand : compiled->operands) {
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
    if (compiled->isOr && matched) return true;
    if (!compiled->isOr && !matched) return false;
  }
  return start;
}

}  // namespace tindrel
