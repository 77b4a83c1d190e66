#pragma once
// The settings file: a plain-text file of "[Section]" headers and "Key=Value" lines.
//
// Read rules: section and key names compare without regard to case; the first section of a name
// and the first key of a name in it count; a read returns at most 2047 characters; a missing
// file, section or key gives the default, and reading never creates the file. Integers are
// decimal, or hexadecimal after "0x"/"0X" (a text longer than two characters); anything else
// gives the default. Booleans are integers, true when not 0 (so "yes" gives the default).
//
// Writes change only the one line (or add it) and keep every other byte of the file. Each write
// goes to a temporary file that replaces the old one, so a failed write leaves the old file whole;
// it raises EIniFileException "Unable to write to <path>".
//
// The file comes from outside: only its first kMaxFileSize bytes are read, and only when it is a
// regular file, so a damaged, huge or special file never hangs the program or fills its memory.

#include <QString>

#include <stdexcept>

namespace tindrel {

class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TIniFile {
 public:
  static constexpr qint64 kMaxFileSize = 1 << 20;
  static constexpr int kMaxValueLength = 2047;

  explicit TIniFile(QString fileName);

  const QString& FileName() const { return file_name_; }

  QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
  int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
  bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

  void WriteString(const QString& section, const QString& key, const QString& value);
  void WriteInteger(const QString& section, const QString& key, int value);
  void WriteBool(const QString& section, const QString& key, bool value);

  // The integer a stored text stands for, by the read rules above; false when it is none.
  static bool ParseInteger(const QString& text, int& value);

 private:
  QString file_name_;
};

}  // namespace tindrel
