#pragma once
// The filter's memo and text criteria compared in the table's own code page: the stored bytes
// against the criterion's operands encoded once, without decoding them (see
// store/CodePageFold.h). The record test takes this way first for a memo or text field and the
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

// One criterion on a memo or text field made ready for the byte comparison: its operands read
// and folded once, encoded for a code page when it is first needed, and the verdicts of one
// table state (see the .cpp).
class StoredBytesCriterion {
 public:
  // Null when the bytes never decide the criterion on `field`: a fold that depends on context,
  // a text field read without its code page, or a match type that a text field's bytes are not
  // compared by (end, range).
  static std::unique_ptr<StoredBytesCriterion> For(const TField& field, const TwwFieldInfo& criterion,
                                                   const TwwMatchSettings& settings);
  ~StoredBytesCriterion();
  StoredBytesCriterion(const StoredBytesCriterion&) = delete;
  StoredBytesCriterion& operator=(const StoredBytesCriterion&) = delete;

  // The outcome the record test gives for the criterion on `field` of the dataset's current
  // record (the non-matching flag not applied), or nullopt when the bytes cannot decide it: no
  // stored bytes (no engine table, a pending edit, a damaged memo; a text field's bytes only
  // once its verdicts are made), a code page that is not converted byte by byte, or a text
  // holding a byte that folds to more than one character the fold cannot express.
  std::optional<bool> Match(TDataSet& dataSet, const TField& field);

 private:
  struct Compiled;
  struct Verdicts;
  StoredBytesCriterion(bool memo, const TwwFieldInfo& criterion, const TwwMatchSettings& settings);
  const Compiled* CompiledFor(int codePage);
  std::optional<bool> Evaluate(const Compiled& compiled, std::string_view bytes) const;
  void MakeVerdicts(const engine::Table& table, int field, const Compiled& compiled);

  bool memo_;
  TwwFilterMatchType type_;
  bool caseSensitive_;
  FilterLocale locale_;
  QString nullWord_;
  TwwValueOperands operands_;
  std::unique_ptr<Compiled> compiled_;  // for one code page
  std::unique_ptr<Verdicts> verdicts_;
};

// Whether text criteria take the byte path where it decides (on by default), as MemoBytePath
// does for memo criteria. Tests and benchmarks switch it off to run the decoding comparison
// that the byte path must agree with.
void SetTextBytePath(bool on);
bool TextBytePath();

}  // namespace tindrel
