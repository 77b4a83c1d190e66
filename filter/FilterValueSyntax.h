#pragma once
// The value syntax of a criterion: one or more operands joined by one operator word (OR or
// AND), with double-quoted phrases and the null word.
//
// Reading goes token by token. Blanks and tabs before a token are skipped; a double quote
// starts a phrase that runs to the next double quote (or the end) and keeps its inner blanks;
// any other token is a word that ends before the first character below "!" or before a
// delimiter. The delimiters are the OR and AND words that are exactly one character long; a
// delimiter is a token by itself. An empty token ends the reading.

#include <QString>

#include "filter/TwwFieldOperators.h"

namespace tindrel {

enum class TwwValueOperator { None, Or, And };

struct TwwFoundOperator {
  TwwValueOperator op = TwwValueOperator::None;
  QString word;  // the configured OR or AND word; empty without operator
};

// Trims blanks and tabs (only those) from both ends.
QString TrimBlanksAndTabs(const QString& text);
// Folds ASCII letters to upper case and leaves every other character alone.
QString AsciiUpper(const QString& text);
bool EqualsAsciiNoCase(const QString& a, const QString& b);

// The token that starts at `position` (1-based); `position` moves past it. Out of range, or at
// the end, the token is empty.
QString NextToken(const QString& value, int& position, const TwwFieldOperators& operators);

// The operator of the whole value: the first token after the first one that equals the OR word
// or the AND word (ASCII case ignored; OR is compared first). The first token is never an
// operator.
TwwFoundOperator FindOperator(const QString& value, const TwwFieldOperators& operators);

// The next operand from `position` (1-based, start with 1). A token equal to `operatorWord`
// ends the operand; when nothing was read before it, the operand is `operandForWord` (the
// operator word as it is to be matched). Other tokens are joined with one blank. When reading
// reaches the end of the value or an empty token, `position` becomes -1.
QString NextOperand(const QString& value, const QString& operatorWord, int& position,
                    const TwwFieldOperators& operators, const QString& operandForWord);
inline QString NextOperand(const QString& value, const QString& operatorWord, int& position,
                           const TwwFieldOperators& operators) {
  return NextOperand(value, operatorWord, position, operators, operatorWord);
}

// Every operand of `value` in order, as the record test loops over them. A read that finds
// nothing after the last operator word adds no operand.
QStringList Operands(const QString& value, const TwwFoundOperator& found, const TwwFieldOperators& operators,
                     const QString& operandForWord);

}  // namespace tindrel
