// Draws the program's icon into the PNG files of an icon theme folder, one a size:
//
//   MakeIcons <output folder>      writes <output folder>/hicolor/NxN/apps/tindrel.png
//
// The desktop entry's installer copies them into the person's icon theme.

#include "app/ProgramIcon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: MakeIcons <output folder>\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  for (int side : tindrel::kProgramIconSizes) {
    const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(side);
    if (!QDir().mkpath(folder) || !tindrel::ProgramIconImage(side).save(folder + QStringLiteral("/tindrel.png"))) {
      std::fprintf(stderr, "MakeIcons: cannot write %s/tindrel.png\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
