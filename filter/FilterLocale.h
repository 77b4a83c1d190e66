#pragma once
// The locale's rules as the filter uses them: case folding, and the short date and time texts
// that date fields are compared and typed in.
//
// Dates are written in the locale's short date order with its separator and a four-digit year
// (a two-digit year would make a typed year match the wrong century). Reading accepts the same
// order with one- or two-digit day and month, and two- or four-digit years.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

namespace tindrel {

class FilterLocale {
 public:
  // The program's default locale (QLocale()).
  FilterLocale();
  explicit FilterLocale(const QLocale& locale);

  // Upper case by the locale's rules (Greek, Turkish dotted i...).
  QString Upper(const QString& text) const;
  // Whether Upper of a text is the concatenation of Upper of each of its characters. Not for the
  // languages whose own rules look at the neighbours (Greek drops accents within a word, the
  // Turkic and Lithuanian i).
  bool UpperIsContextFree() const { return contextFreeUpper_; }
  // A name of the rules Upper applies: equal names, equal results.
  QString RulesName() const { return locale_.bcp47Name(); }
  // Equal locales fold, format and read alike.
  bool operator==(const FilterLocale& other) const { return locale_ == other.locale_; }
  // Equal ignoring letter case by the locale's rules.
  bool SameText(const QString& a, const QString& b) const { return Upper(a) == Upper(b); }

  QChar DateSeparator() const { return dateSeparator_; }
  QChar TimeSeparator() const { return timeSeparator_; }

  QString FormatDate(const QDate& date) const;
  QString FormatTime(const QTime& time) const;
  QString FormatDateTime(const QDateTime& dateTime) const;  // the time only when not midnight

  std::optional<QDate> ParseDate(const QString& text) const;
  std::optional<QTime> ParseTime(const QString& text) const;
  // A date, optionally followed by blanks and a time.
  std::optional<QDateTime> ParseDateTime(const QString& text) const;
  // Whether a date-time text holds a time part (see the upper bound of a date-time range).
  bool HasTimePart(const QString& text) const;

  std::optional<double> ParseFloat(const QString& text) const;
  // Digits only, with one leading minus when longer than one character; 64 bits.
  static std::optional<qint64> ParseInteger(const QString& text);

 private:
  QLocale locale_;
  bool asciiOnlyFold_;  // the locale folds ASCII letters like the C locale
  bool contextFreeUpper_;
  QChar dateSeparator_;
  QChar timeSeparator_;
  QString dateOrder_;  // "dmy", "mdy" or "ymd"
};

}  // namespace tindrel
