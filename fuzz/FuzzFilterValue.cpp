// libFuzzer target for the filter's value syntax: any typed value (and any operator words)
// must be read without a crash or a hang, and the record test on it must end with a result
// or a conversion error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QString>

#include "filter/FilterMatching.h"
#include "filter/FilterValueSyntax.h"

using namespace tindrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the operator words: the usual words, or one-character ones that act
  // as delimiters.
  const bool oneChar = data[0] & 1;
  const TwwFieldOperators words = oneChar ? TwwFieldOperators(QStringLiteral("|"), QStringLiteral("&"), QStringLiteral("~"))
                                          : TwwFieldOperators();
  const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

  // Every token read moves forward; the reading ends after at most one step per character.
  int position = 1;
  for (qsizetype steps = 0;; ++steps) {
    const int before = position;
    if (NextToken(value, position, words).isEmpty()) break;
    if (position <= before || steps > value.size() + 1) std::abort();
  }
  const TwwFoundOperator found = FindOperator(value, words);
  const QStringList operands = Operands(value, found, words, found.word);
  if (operands.size() > value.size() + 1) std::abort();

  static const TwwMatchSettings settings;
  TwwFieldValue field;
  field.Type = ftString;
  field.Size = 20;
  field.Text = QStringLiteral("Red fox ΜΉΛΟ");
  field.IsNull = false;
  const TwwFilterMatchType types[] = {fdMatchStart, fdMatchAny, fdMatchExact, fdMatchEnd};
  TwwFieldInfo criterion;
  criterion.FilterValue = value;
  criterion.MatchType = types[(data[0] >> 1) % 4];
  criterion.CaseSensitive = data[0] & 8;
  (void)MatchFieldValue(field, criterion, settings);
  criterion.MatchType = fdMatchRange;
  criterion.MinValue = value.left(value.size() / 2);
  criterion.MaxValue = value.mid(value.size() / 2);
  (void)MatchFieldValue(field, criterion, settings);
  // Number and date fields convert the operands: a rejected text is a conversion error.
  for (TFieldType type : {ftInteger, ftFloat, ftDate, ftDateTime, ftTime}) {
    field.Type = type;
    field.Text = QStringLiteral("12");
    try {
      criterion.MatchType = fdMatchExact;
      (void)MatchFieldValue(field, criterion, settings);
      criterion.MatchType = fdMatchRange;
      (void)MatchFieldValue(field, criterion, settings);
    } catch (const EConvertError&) {
    }
  }
  return 0;
}
