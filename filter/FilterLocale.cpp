#include "filter/FilterLocale.h"

#include <QStringList>

namespace tindrel {

namespace {

bool AllAscii(const QString& text) {
  for (QChar c : text)
    if (c.unicode() >= 0x80) return false;
  return true;
}

QChar FirstSeparator(const QString& format, QChar fallback) {
  for (QChar c : format)
    if (!c.isLetter() && c != u'\'' && !c.isSpace()) return c;
  return fallback;
}

}  // namespace

FilterLocale::FilterLocale() : FilterLocale(QLocale()) {}

FilterLocale::FilterLocale(const QLocale& locale) : locale_(locale) {
  const QLocale::Language lang = locale.language();
  // Only these languages fold ASCII letters differently from the plain rules.
  asciiOnlyFold_ = lang != QLocale::Turkish && lang != QLocale::Azerbaijani && lang != QLocale::Lithuanian;
  contextFreeUpper_ = asciiOnlyFold_ && lang != QLocale::Greek;
  const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
  dateSeparator_ = FirstSeparator(dateFormat, u'/');
  timeSeparator_ = FirstSeparator(locale.timeFormat(QLocale::ShortFormat), u':');
  for (QChar c : dateFormat) {
    const QChar l = c.toLower();
    if ((l == u'd' || l == u'm' || l == u'y') && !dateOrder_.contains(l)) dateOrder_ += l;
  }
  if (dateOrder_.size() != 3) dateOrder_ = QStringLiteral("mdy");
}

QString FilterLocale::Upper(const QString& text) const {
  if (asciiOnlyFold_ && AllAscii(text)) {
    QString out = text;
    for (QChar& c : out)
      if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - 32);
    return out;
  }
  return locale_.toUpper(text);
}

QString FilterLocale::FormatDate(const QDate& date) const {
  if (!date.isValid()) return {};
  QString out;
  for (QChar part : dateOrder_) {
    if (!out.isEmpty()) out += dateSeparator_;
    if (part == u'd') out += QString::number(date.day());
    else if (part == u'm') out += QString::number(date.month());
    else out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
  }
  return out;
}

QString FilterLocale::FormatTime(const QTime& time) const {
  if (!time.isValid()) return {};
  return QStringLiteral("%1%4%2%4%3")
      .arg(time.hour())
      .arg(time.minute(), 2, 10, QLatin1Char('0'))
      .arg(time.second(), 2, 10, QLatin1Char('0'))
      .arg(timeSeparator_);
}

QString FilterLocale::FormatDateTime(const QDateTime& dateTime) const {
  if (!dateTime.isValid()) return {};
  const QString date = FormatDate(dateTime.date());
  if (dateTime.time() == QTime(0, 0)) return date;
  return date + u' ' + FormatTime(dateTime.time());
}

std::optional<QDate> FilterLocale::ParseDate(const QString& text) const {
  const QStringList parts = text.trimmed().split(dateSeparator_);
  if (parts.size() != 3) return std::nullopt;
  int d = 0, m = 0, y = 0;
  for (int i = 0; i < 3; ++i) {
    const QString& p = parts[i];
    if (p.isEmpty() || p.size() > (dateOrder_[i] == u'y' ? 4 : 2)) return std::nullopt;
    for (QChar c : p)
      if (c < u'0' || c > u'9') return std::nullopt;
    const int v = p.toInt();
    if (dateOrder_[i] == u'd') d = v;
    else if (dateOrder_[i] == u'm') m = v;
    else {
      if (p.size() == 3) return std::nullopt;
      y = p.size() <= 2 ? (v < 50 ? 2000 + v : 1900 + v) : v;
    }
  }
  const QDate date(y, m, d);
  if (!date.isValid()) return std::nullopt;
  return date;
}

std::optional<QTime> FilterLocale::ParseTime(const QString& text) const {
  QString t = text.trimmed().toUpper();
  int addHours = -1;  // -1: a 24-hour text
  if (t.endsWith(QStringLiteral("AM")) || t.endsWith(QStringLiteral("PM"))) {
    addHours = t.endsWith(QStringLiteral("PM")) ? 12 : 0;
    t = t.left(t.size() - 2).trimmed();
  }
  const QStringList parts = t.split(timeSeparator_);
  if (parts.isEmpty() || parts.size() > 3) return std::nullopt;
  int values[3] = {0, 0, 0};
  for (int i = 0; i < parts.size(); ++i) {
    const QString& p = parts[i];
    if (p.isEmpty() || p.size() > 2) return std::nullopt;
    for (QChar c : p)
      if (c < u'0' || c > u'9') return std::nullopt;
    values[i] = p.toInt();
  }
  if (parts.size() == 1 && addHours < 0) return std::nullopt;  // a bare number is no time
  int hour = values[0];
  if (addHours >= 0) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + addHours;
  }
  const QTime time(hour, values[1], values[2]);
  if (!time.isValid()) return std::nullopt;
  return time;
}

std::optional<QDateTime> FilterLocale::ParseDateTime(const QString& text) const {
  const QString t = text.trimmed();
  const qsizetype blank = t.indexOf(u' ');
  if (blank < 0) {
    const auto date = ParseDate(t);
    if (!date) return std::nullopt;
    return QDateTime(*date, QTime(0, 0));
  }
  const auto date = ParseDate(t.left(blank));
  const auto time = ParseTime(t.mid(blank + 1));
  if (!date || !time) return std::nullopt;
  return QDateTime(*date, *time);
}

bool FilterLocale::HasTimePart(const QString& text) const {
  if (dateSeparator_ != timeSeparator_) return text.contains(timeSeparator_);
  return text.trimmed().contains(u' ');
}

std::optional<double> FilterLocale::ParseFloat(const QString& text) const {
  bool ok = false;
  const double v = locale_.toDouble(text.trimmed(), &ok);
  if (ok) return v;
  return std::nullopt;
}

std::optional<qint64> FilterLocale::ParseInteger(const QString& text) {
  const QString t = text;
  if (t.isEmpty()) return std::nullopt;
  qsizetype start = 0;
  if (t[0] == u'-' && t.size() > 1) start = 1;
  for (qsizetype i = start; i < t.size(); ++i)
    if (t[i] < u'0' || t[i] > u'9') return std::nullopt;
  bool ok = false;
  const qint64 v = t.toLongLong(&ok);
  if (!ok) return std::nullopt;
  return v;
}

}  // namespace tindrel
