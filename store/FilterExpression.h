#pragma once
// The dataset's filter expression: comparisons of fields with quoted texts, numbers or other
// fields (=, <>, <, >, <=, >=), a trailing * on a quoted text for a partial match, "is null" and
// "is not null", joined by and, or, not and parentheses. Keywords are not case-sensitive; a field
// name that is not a plain word is written in brackets: [My field].
//
// Example: Parent = '' and (Text = 'Ab*' or not ID > 100) or MEMO is null

#include <functional>
#include <memory>
#include <stdexcept>
#include <QString>

#include "store/DataSetTypes.h"

namespace tindrel {

class FilterExpression {
 public:
  // The value of one field of the record being judged.
  struct FieldValue {
    bool isNull = true;
    bool isNumeric = false;  // a number field: compared as numbers
    QString text;
  };
  using FieldReader = std::function<FieldValue(int field)>;
  // Maps a field name to its index; -1 when there is no such field.
  using FieldResolver = std::function<int(const QString& name)>;

  // Thrown by Parse with the text a person reads.
  class Error : public std::runtime_error {
   public:
    explicit Error(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& Text() const { return text_; }
   private:
    QString text_;
  };

  // An empty (or blank) text gives null: no expression.
  static std::unique_ptr<FilterExpression> Parse(const QString& text, const FieldResolver& resolve);
  ~FilterExpression();

  bool Evaluate(const FieldReader& read, TFilterOptions options) const;

  struct Node;

 private:
  explicit FilterExpression(std::unique_ptr<Node> root);
  std::unique_ptr<Node> root_;
};

}  // namespace tindrel
