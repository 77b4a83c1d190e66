#pragma once
// Index key expressions, and the keys they make from a record.
//
// Accepted: field names (any case), string literals ('x' or "x"), numbers, .T. and .F.,
// + (concatenation of texts, addition of numbers), - * / on numbers, comparisons
// (= == <> # != < > <= >=), .NOT. / ! , .AND., .OR., .T. .F. .TRUE. .FALSE., parentheses, and the functions UPPER,
// LOWER, TRIM, RTRIM, LTRIM, ALLTRIM, STR(n[,len[,dec]]), DTOS, SUBSTR(s,start[,len]),
// LEFT, RIGHT, VAL, DELETED(). Anything else makes Parse fail: such a tag can be read but
// not maintained.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/engine/FieldDesc.h"

namespace tindrel::engine {

enum class ValueType { Character, Numeric, Date, Logical };

struct KeyValue {
  ValueType type = ValueType::Character;
  std::string text;        // Character: the bytes; Numeric: the exact decimal text when known
  double number = 0;       // Numeric: the value; Date: the Julian day number, 0 when blank
  bool logical = false;
};

class KeyExpression {
 public:
  struct Node;
  ~KeyExpression();

  // Null when the expression is not one this engine evaluates; `why` then says what is not.
  static std::unique_ptr<KeyExpression> Parse(std::string_view text, const std::vector<FieldDesc>& fields,
                                              std::string* why = nullptr);

  ValueType Type() const;
  // The width of a character result as the index stores it (before trimming functions cut it).
  int Width() const;
  // The fields the expression reads, in the order they first appear.
  const std::vector<int>& Fields() const { return fields_; }

  // `record` is the raw record, deletion flag first; bytes beyond its end read as blanks.
  KeyValue Evaluate(std::string_view record) const;

 private:
  KeyExpression() = default;
  std::unique_ptr<Node> root_;
  std::vector<int> fields_;
};

// Date keys: the Julian day number as a little-endian double; a blank date is 1.0E100, so
// blank dates sort after every real one.
inline constexpr double kBlankDateKey = 1.0E100;
// Proleptic Gregorian calendar.
int64_t JulianDayNumber(int year, int month, int day);
// The day number of "YYYYMMDD", or 0 when the text is blank or not a valid date.
int64_t JulianDayFromText(std::string_view yyyymmdd);
std::string DateKey(double julianDay);  // 8 bytes
double DateKeyValue(std::string_view key);

}  // namespace tindrel::engine
