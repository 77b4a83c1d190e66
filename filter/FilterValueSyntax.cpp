#include "filter/FilterValueSyntax.h"

#include <QStringList>

namespace tindrel {

namespace {

bool IsBlankOrTab(QChar c) { return c == u' ' || c == u'\t'; }

bool IsDelimiter(QChar c, const TwwFieldOperators& operators) {
  return (operators.OrChar().size() == 1 && operators.OrChar()[0] == c) ||
         (operators.AndChar().size() == 1 && operators.AndChar()[0] == c);
}

}  // namespace

QString TrimBlanksAndTabs(const QString& text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && IsBlankOrTab(text[begin])) ++begin;
  while (end > begin && IsBlankOrTab(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

QString AsciiUpper(const QString& text) {
  QString out = text;
  for (QChar& c : out)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
  return out;
}

bool EqualsAsciiNoCase(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    char16_t x = a[i].unicode(), y = b[i].unicode();
    if (x >= u'a' && x <= u'z') x -= 32;
    if (y >= u'a' && y <= u'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

QString NextToken(const QString& value, int& position, const TwwFieldOperators& operators) {
  const qsizetype n = value.size();
  if (position < 1 || position > n) return {};
  qsizetype i = position - 1;
  while (i < n && IsBlankOrTab(value[i])) ++i;
  if (i >= n) {
    position = static_cast<int>(n) + 1;
    return {};
  }
  if (value[i] == u'"') {
    const qsizetype close = value.indexOf(u'"', i + 1);
    const qsizetype stop = close < 0 ? n : close + 1;
    QString token = value.mid(i, stop - i);
    position = static_cast<int>(stop) + 1;
    token.remove(0, 1);
    if (!token.isEmpty() && (token.back() == u'"' || token.back() == u'\''))
      token.chop(1);
    return token;
  }
  if (IsDelimiter(value[i], operators)) {
    position = static_cast<int>(i) + 2;
    return value.mid(i, 1);
  }
  qsizetype j = i;
  while (j < n && value[j].unicode() >= u'!' && !IsDelimiter(value[j], operators)) ++j;
  position = static_cast<int>(j) + 1;
  return value.mid(i, j - i);
}

TwwFoundOperator FindOperator(const QString& value, const TwwFieldOperators& operators) {
  int position = 1;
  if (NextToken(value, position, operators).isEmpty()) return {};
  for (;;) {
    const QString token = NextToken(value, position, operators);
    if (token.isEmpty()) return {};
    if (EqualsAsciiNoCase(token, operators.OrChar())) return {TwwValueOperator::Or, operators.OrChar()};
    if (EqualsAsciiNoCase(token, operators.AndChar())) return {TwwValueOperator::And, operators.AndChar()};
  }
}

QString NextOperand(const QString& value, const QString& operatorWord, int& position,
                    const TwwFieldOperators& operators, const QString& operandForWord) {
  QString operand;
  for (;;) {
    const QString token = NextToken(value, position, operators);
    if (token.isEmpty()) {
      position = -1;
      return operand;
    }
    if (!operatorWord.isEmpty() && EqualsAsciiNoCase(token, operatorWord)) {
      if (operand.isEmpty()) operand = operandForWord;
      return operand;
    }
    if (!operand.isEmpty()) operand += u' ';
    operand += token;
  }
}

QStringList Operands(const QString& value, const TwwFoundOperator& found, const TwwFieldOperators& operators,
                     const QString& operandForWord) {
  QStringList operands;
  int position = 1;
  while (position != -1) {
    QString operand = NextOperand(value, found.word, position, operators, operandForWord);
    if (position == -1 && operand.isEmpty() && !operands.isEmpty()) break;
    operands << operand;
  }
  return operands;
}

}  // namespace tindrel
