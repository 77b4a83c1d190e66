// The value syntax: which operator a typed value has and which operands it yields.
#include <gtest/gtest.h>

#include <QStringList>

#include "filter/FilterValueSyntax.h"

namespace tindrel {
namespace {

struct SyntaxCase {
  const char* value;
  TwwValueOperator op;
  QStringList operands;
};

std::ostream& operator<<(std::ostream& os, const SyntaxCase& c) { return os << '[' << c.value << ']'; }

class ValueSyntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(ValueSyntax, OperatorAndOperands) {
  const SyntaxCase& c = GetParam();
  const TwwFieldOperators words;
  const QString value = QString::fromUtf8(c.value);
  const TwwFoundOperator found = FindOperator(value, words);
  EXPECT_EQ(found.op, c.op);
  EXPECT_EQ(Operands(value, found, words, found.word), c.operands);
}

using Op = TwwValueOperator;
INSTANTIATE_TEST_SUITE_P(Typed, ValueSyntax, ::testing::Values(
    SyntaxCase{"red fox", Op::None, {"red fox"}},
    SyntaxCase{"red or blue", Op::Or, {"red", "blue"}},
    SyntaxCase{"red and blue or green", Op::And, {"red", "blue or green"}},
    SyntaxCase{"or", Op::None, {"or"}},
    SyntaxCase{"or red", Op::None, {"or red"}},
    SyntaxCase{"red or or", Op::Or, {"red", "or"}},
    SyntaxCase{"\"cats or dogs\" or birds", Op::Or, {"cats or dogs", "birds"}},
    SyntaxCase{"null or red", Op::Or, {"null", "red"}},
    SyntaxCase{"RED Or Blue", Op::Or, {"RED", "Blue"}},
    SyntaxCase{"red AND blue", Op::And, {"red", "blue"}},
    SyntaxCase{"  red   fox  ", Op::None, {"red fox"}},
    SyntaxCase{"\"red   fox\"", Op::None, {"red   fox"}},
    SyntaxCase{"\"unclosed phrase", Op::None, {"unclosed phrase"}},
    SyntaxCase{"\"rock'\"", Op::None, {"rock'"}},
    SyntaxCase{"it's", Op::None, {"it's"}},
    SyntaxCase{"\"\"", Op::None, {""}},
    SyntaxCase{"", Op::None, {""}},
    SyntaxCase{"red or", Op::Or, {"red"}},
    SyntaxCase{"red\tor\tblue", Op::Or, {"red", "blue"}},
    SyntaxCase{"red\nfox", Op::None, {"red"}},
    SyntaxCase{"100% *x*", Op::None, {"100% *x*"}},
    SyntaxCase{"red or blue and green", Op::Or, {"red", "blue and green"}},
    SyntaxCase{"red ORnot blue", Op::None, {"red ORnot blue"}}));

TEST(ValueSyntax, OneCharacterWordsAreDelimiters) {
  TwwFieldOperators words(QStringLiteral("|"), QStringLiteral("&"), QStringLiteral("null"));
  const QString value = QStringLiteral("red|blue fox");
  const TwwFoundOperator found = FindOperator(value, words);
  EXPECT_EQ(found.op, TwwValueOperator::Or);
  EXPECT_EQ(found.word, QStringLiteral("|"));
  EXPECT_EQ(Operands(value, found, words, found.word), (QStringList{"red", "blue fox"}));
  // A delimiter at the start is a token by itself, and never the operator.
  EXPECT_EQ(FindOperator(QStringLiteral("|red"), words).op, TwwValueOperator::None);
}

TEST(ValueSyntax, NextOperandEndsWithMinusOneAndOutOfRangeIsEmpty) {
  const TwwFieldOperators words;
  int position = 1;
  EXPECT_EQ(NextOperand(QStringLiteral("a or b"), QStringLiteral("or"), position, words), QStringLiteral("a"));
  EXPECT_GT(position, 0);
  EXPECT_EQ(NextOperand(QStringLiteral("a or b"), QStringLiteral("or"), position, words), QStringLiteral("b"));
  EXPECT_EQ(position, -1);
  int outside = 0;
  EXPECT_TRUE(NextToken(QStringLiteral("abc"), outside, words).isEmpty());
  outside = 4;
  EXPECT_TRUE(NextToken(QStringLiteral("abc"), outside, words).isEmpty());
}

}  // namespace
}  // namespace tindrel
