#include "app/TIniFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>

#include <limits>
#include <optional>

namespace tindrel {

namespace {

// The file as lines without their terminators, and the terminator to write new lines with.
struct Lines {
  QList<QByteArray> lines;
  QByteArray eol = "\n";
  bool ends_with_eol = true;
  QByteArray bom;  // a UTF-8 byte-order mark the file began with, written back in front
};

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// UTF-8 text to a string, keeping a leading U+FEFF: a value that begins with one must read back
// as it was written (QString::fromUtf8 drops it).
QString Decode(const QByteArray& bytes) {
  QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
  return decoder.decode(bytes);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray Trimmed(const QByteArray& bytes) {
  qsizetype begin = 0;
  qsizetype end = bytes.size();
  while (begin < end && IsBlank(bytes[begin])) ++begin;
  while (end > begin && IsBlank(bytes[end - 1])) --end;
  return bytes.mid(begin, end - begin);
}

// Reads at most kMaxFileSize bytes of a regular file; nothing for a missing or special file.
// `complete` tells whether the whole file was read.
std::optional<QByteArray> ReadContent(const QString& path, bool* complete = nullptr) {
  const QFileInfo info(path);
  if (!info.exists() || !info.isFile()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray content = file.read(TIniFile::kMaxFileSize);
  if (complete) *complete = file.atEnd() || file.read(1).isEmpty();
  return content;
}

Lines SplitLines(const QByteArray& content, bool complete) {
  Lines result;
  if (content.isEmpty()) return result;
  // An editor may have saved the file with a byte-order mark: it belongs to the file, not to
  // the first line (which would then never be a section header).
  QByteArray text = content;
  if (text.startsWith(kUtf8Bom)) {
    result.bom = text.left(3);
    text.remove(0, 3);
  }
  if (text.isEmpty()) return result;
  result.lines = text.split('\n');
  result.ends_with_eol = text.endsWith('\n');
  if (result.ends_with_eol) result.lines.removeLast();
  // A file cut at the size limit ends in a partial line: drop it rather than keep half of it.
  if (!complete && !result.ends_with_eol && !result.lines.isEmpty()) {
    result.lines.removeLast();
    result.ends_with_eol = true;
  }
  bool crlf = false;
  for (QByteArray& line : result.lines) {
    if (line.endsWith('\r')) {
      line.chop(1);
      crlf = true;
    }
  }
  if (crlf) result.eol = "\r\n";
  return result;
}

// The section name a header line names, or nothing when the line is not a header. A header
// missing its closing bracket names what follows the opening one.
std::optional<QString> SectionOf(const QByteArray& line) {
  const QByteArray trimmed = Trimmed(line);
  if (!trimmed.startsWith('[')) return std::nullopt;
  qsizetype close = trimmed.indexOf(']');
  if (close < 0) close = trimmed.size();
  return Decode(Trimmed(trimmed.mid(1, close - 1)));
}

// The key of a "Key=Value" line, or nothing for any other line (blank, comment, junk).
std::optional<QString> KeyOf(const QByteArray& line, QByteArray* value = nullptr) {
  const QByteArray trimmed = Trimmed(line);
  if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('[')) return std::nullopt;
  const qsizetype equals = trimmed.indexOf('=');
  if (equals <= 0) return std::nullopt;
  const QByteArray key = Trimmed(trimmed.left(equals));
  if (key.isEmpty()) return std::nullopt;
  if (value) *value = Trimmed(trimmed.mid(equals + 1));
  return Decode(key);
}

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a key lives: the header line of its first section (or -1), the key's line (or -1), and
// the line after the section's last non-blank line, where a new key goes.
struct Place {
  qsizetype section = -1;
  qsizetype key = -1;
  qsizetype insert_at = -1;
};

Place Find(const QList<QByteArray>& lines, const QString& section, const QString& key,
           QByteArray* value = nullptr) {
  Place place;
  const QString wanted_section = section.trimmed();
  const QString wanted_key = key.trimmed();
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (place.section < 0) {
      if (auto name = SectionOf(lines[i]); name && SameName(*name, wanted_section)) {
        place.section = i;
        place.insert_at = i + 1;
      }
      continue;
    }
    if (SectionOf(lines[i])) break;  // the next section begins
    if (!Trimmed(lines[i]).isEmpty()) place.insert_at = i + 1;
    if (auto name = KeyOf(lines[i], value); name && SameName(*name, wanted_key)) {
      place.key = i;
      return place;
    }
  }
  return place;
}

// Names and values are single lines: a line break inside one would split it into two lines.
QByteArray OneLine(const QString& text) {
  QByteArray bytes = text.toUtf8();
  bytes.replace('\r', ' ').replace('\n', ' ');
  return bytes;
}

}  // namespace

TIniFile::TIniFile(QString fileName) : file_name_(std::move(fileName)) {}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
  bool complete = true;
  const auto content = ReadContent(file_name_, &complete);
  if (!content) return defaultValue;
  const Lines lines = SplitLines(*content, complete);
  QByteArray value;
  if (Find(lines.lines, section, key, &value).key < 0) return defaultValue;
  // A stored NUL ends the text, as it would in any reader of this format.
  if (const qsizetype nul = value.indexOf('\0'); nul >= 0) value.truncate(nul);
  QString text = Decode(value);
  if (text.size() > kMaxValueLength) {
    text.truncate(kMaxValueLength);
    if (text.back().isHighSurrogate()) text.chop(1);
  }
  return text;
}

bool TIniFile::ParseInteger(const QString& text, int& value) {
  if (text.size() > 2 && text[0] == QLatin1Char('0') &&
      (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X'))) {
    const QStringView digits = QStringView(text).mid(2);
    if (digits.size() > 8) return false;
    quint32 number = 0;
    for (QChar c : digits) {
      int digit;
      if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) digit = c.unicode() - '0';
      else if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) digit = c.unicode() - 'a' + 10;
      else if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) digit = c.unicode() - 'A' + 10;
      else return false;
      number = number * 16 + static_cast<quint32>(digit);
    }
    // Eight hexadecimal digits fill the 32 bits, so 0xFFFFFFFF stands for -1.
    value = static_cast<int>(number);
    return true;
  }
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  if (i == text.size()) return false;
  qint64 number = 0;
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    number = number * 10 + (c.unicode() - '0');
    if (number > qint64(std::numeric_limits<int>::max()) + 1) return false;
  }
  if (negative) number = -number;
  if (number > std::numeric_limits<int>::max() || number < std::numeric_limits<int>::min()) return false;
  value = static_cast<int>(number);
  return true;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
  const QString text = ReadString(section, key, QString());
  int value = 0;
  return ParseInteger(text, value) ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString failure = QStringLiteral("Unable to write to %1").arg(file_name_);
  const QFileInfo info(file_name_);
  if (info.exists() && (!info.isFile() || !info.isWritable()))
    throw EIniFileException(failure.toStdString());

  bool complete = true;
  const auto content = ReadContent(file_name_, &complete);
  if (info.exists() && !content) throw EIniFileException(failure.toStdString());
  Lines lines = SplitLines(content.value_or(QByteArray()), complete);

  const QByteArray key_line = OneLine(key.trimmed()) + '=' + OneLine(value);
  const Place place = Find(lines.lines, section, key);
  bool added_at_end = false;
  if (place.key >= 0) {
    lines.lines[place.key] = key_line;
  } else if (place.section >= 0) {
    added_at_end = place.insert_at == lines.lines.size();
    lines.lines.insert(place.insert_at, key_line);
  } else {
    added_at_end = true;
    if (!lines.lines.isEmpty() && !Trimmed(lines.lines.back()).isEmpty()) lines.lines.append(QByteArray());
    lines.lines.append('[' + OneLine(section.trimmed()) + ']');
    lines.lines.append(key_line);
  }

  QByteArray out = lines.bom;
  for (qsizetype i = 0; i < lines.lines.size(); ++i) {
    out += lines.lines[i];
    if (i + 1 < lines.lines.size() || lines.ends_with_eol || added_at_end) out += lines.eol;
  }

  QSaveFile file(file_name_);
  if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
    throw EIniFileException(failure.toStdString());
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace tindrel
