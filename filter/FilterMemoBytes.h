#pragma once
// The filter's memo criteria compared in the table's own code page: the memo's stored bytes
// against the criterion's operands encoded once, without decoding the memo (see
// store/CodePageFold.h). The record test takes this way first for a memo field and the
// decoding way wherever this one cannot decide.

#include <memory>
#include <optional>
#include <string_view>

#include "filter/FilterMatching.h"

namespace tindrel {

class TDataSet;
class TField;
namespace engine {
class Table;
}

// One memo criterion made ready for the byte comparison: its operands read and folded once,
// encoded for a code page when it is first needed, and the verdicts of one table state (see
// the .cpp).
class MemoCriterionBytes {
 public:
  MemoCriterionBytes(const TwwFieldInfo& criterion, const TwwMatchSettings& settings);
  ~MemoCriterionBytes();
  MemoCriterionBytes(const MemoCriterionBytes&) = delete;
  MemoCriterionBytes& operator=(const MemoCriterionBytes&) = delete;

  // The outcome MatchCriterion gives for the criterion on memo field `field` of the dataset's
  // current record (the non-matching flag not applied), or nullopt when the bytes cannot decide
  // it: no stored bytes (no engine table, a pending edit, a damaged memo), a code page that is
  // not converted byte by byte, a fold that depends on context, or a memo holding a byte that
  // folds to more than one character.
  std::optional<bool> Match(TDataSet& dataSet, const TField& field);

 private:
  struct Compiled;
  struct Verdicts;
  const Compiled* CompiledFor(int codePage);
  static std::optional<bool> Evaluate(const Compiled& compiled, std::string_view bytes, TwwFilterMatchType type);
  static void MakeVerdicts(Verdicts& verdicts, const engine::Table& table, int field, const Compiled& compiled,
                           TwwFilterMatchType type);

  bool decides_;  // false: the locale's fold looks at the neighbours, the bytes never decide
  TwwFilterMatchType type_;
  bool caseSensitive_;
  FilterLocale locale_;
  QString nullWord_;
  TwwValueOperands operands_;
  std::unique_ptr<Compiled> compiled_;  // for one code page
  std::unique_ptr<Verdicts> verdicts_;
};

}  // namespace tindrel
