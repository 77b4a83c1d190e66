// Feeds arbitrary bytes to the settings file reader and writer. Besides surviving, a write must
// read back exactly, and must keep the other keys the reader saw.
#include "app/TIniFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QString path =
      QDir::temp().filePath(QStringLiteral("FuzzIniFile-%1.ini").arg(::getpid()));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
  tindrel::TIniFile ini(path);
  const QString other = ini.ReadString(QStringLiteral("TreeView"), QStringLiteral("FontName"), QString());
  ini.ReadInteger(QStringLiteral("InterFace"), QStringLiteral("FontSize"), 10);
  ini.ReadBool(QStringLiteral("InterFace"), QStringLiteral("StayOnTop"), false);

  // The value written comes from the input too: one line, without NULs, and without the blanks
  // at either end that every read trims.
  const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                          static_cast<qsizetype>(size < 64 ? size : 64))
                            .remove(QChar(0))
                            .simplified();
  ini.WriteString(QStringLiteral("InterFace"), QStringLiteral("FontName"), value);
  if (ini.ReadString(QStringLiteral("InterFace"), QStringLiteral("FontName"), QString()) != value) std::abort();
  if (ini.ReadString(QStringLiteral("TreeView"), QStringLiteral("FontName"), QString()) != other) std::abort();
  return 0;
}
