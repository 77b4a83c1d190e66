#include "app/TableRemedy.h"

#include "store/DataSetError.h"
#include "store/engine/EngineError.h"

#include <QRegularExpression>

namespace tindrel {

namespace {

// A path as a POSIX shell reads it back: quoted when it holds anything but the plainest
// characters.
QString ShellWord(const QString& path) {
  static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+,:@%=-]+$"));
  if (plain.match(path).hasMatch()) return path;
  QString quoted = path;
  quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString Command(const QString& programFolder, const QString& arguments) {
  return QLatin1Char('`') + ShellWord(programFolder + QStringLiteral("tindrel-table")) + QLatin1Char(' ') + arguments +
         QLatin1Char('`');
}

}  // namespace

QString TableRemedy(const std::exception& error, const QString& programFolder) {
  using engine::ResultCode;
  const QString table = ShellWord(programFolder + QStringLiteral("Tindrel.dbf"));
  const QString again = QStringLiteral(" and start the program again");
  if (const auto* engineError = dynamic_cast<const engine::EngineError*>(&error)) {
    switch (engineError->Code()) {
      case ResultCode::FileNotFound:
        return QStringLiteral("To make a starter table, run ") +
               Command(programFolder, QStringLiteral("create ") + ShellWord(programFolder.chopped(1))) + again;
      case ResultCode::IndexFileMissing:
      case ResultCode::IndexDamaged:
        return QStringLiteral("To give the table a new index, run ") +
               Command(programFolder, QStringLiteral("index ") + table) + again;
      default:
        return {};
    }
  }
  // The dataset's own refusal when the table has no index that orders by ID.
  const auto* dataSetError = dynamic_cast<const DataSetError*>(&error);
  if (dataSetError && dataSetError->Text().startsWith(QStringLiteral("No index for fields")))
    return QStringLiteral("To give the table the index it needs, run ") +
           Command(programFolder, QStringLiteral("index ") + table) + again;
  return {};
}

}  // namespace tindrel
