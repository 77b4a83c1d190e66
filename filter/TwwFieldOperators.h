#pragma once
// The three words of the value syntax: the OR word, the AND word and the null word.

#include <QString>

namespace tindrel {

class TwwFieldOperators {
 public:
  TwwFieldOperators() = default;
  TwwFieldOperators(const QString& orChar, const QString& andChar, const QString& nullChar)
      : orChar_(orChar), andChar_(andChar), nullChar_(nullChar) {}

  const QString& OrChar() const { return orChar_; }
  const QString& AndChar() const { return andChar_; }
  const QString& NullChar() const { return nullChar_; }

  // Each setter trims blanks and tabs from a new value; when two of the three words are then
  // equal ignoring letter case the warning "Operators do not have a unique value." is shown
  // and the new value stays.
  void SetOrChar(const QString& value) { Assign(orChar_, value); }
  void SetAndChar(const QString& value) { Assign(andChar_, value); }
  void SetNullChar(const QString& value) { Assign(nullChar_, value); }

  bool Unique() const;

 private:
  void Assign(QString& word, const QString& value);

  QString orChar_ = QStringLiteral("or");
  QString andChar_ = QStringLiteral("and");
  QString nullChar_ = QStringLiteral("null");
};

}  // namespace tindrel
