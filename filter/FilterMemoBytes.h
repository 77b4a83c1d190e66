#pragma once
// The filter's memo criteria compared in the table's own code page: the memo's stored bytes
// against the criterion's operands encoded once, without decoding the memo (see
// store/CodePageFold.h). The record test takes this way first for a memo field and the
// decoding way wherever this one cannot decide.

#include <optional>

#include "filter/FilterMatching.h"

namespace tindrel {

class TDataSet;
class TField;

// The outcome MatchCriterion gives for `criterion` on memo field `field` of the dataset's
// current record (the non-matching flag not applied), or nullopt when the bytes cannot decide
// it: no stored bytes (no engine table, a pending edit, a damaged memo), a code page that is
// not converted byte by byte, a fold that depends on context, or a memo holding a byte that
// folds to more than one character.
std::optional<bool> MatchMemoCriterionBytes(TDataSet& dataSet, const TField& field, const TwwFieldInfo& criterion,
                                            const TwwMatchSettings& settings);

}  // namespace tindrel
