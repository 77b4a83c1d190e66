// The window carries the icon that the desktop entry's theme files hold, at every size.

#include "app/ProgramIcon.h"
#include "app/TMainForm.h"
#include "platform/ErrorBox.h"
#include "tests/support/platform/ScriptedPlatform.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

TEST(ProgramIcon, TheWindowCarriesTheIconOfTheDesktopEntryAtEverySize) {
  testing::ScriptedPlatform platform;
  InstallDefaultErrorHandler();
  QTemporaryDir dir;
  TMainForm form(dir.path() + QLatin1Char('/'));
  const QIcon icon = form.windowIcon();
  for (int side : kProgramIconSizes) {
    SCOPED_TRACE(side);
    const QImage drawn(QStringLiteral(TINDREL_ICON_DIR "/hicolor/%1x%1/apps/tindrel.png").arg(side));
    ASSERT_EQ(drawn.size(), QSize(side, side)) << "the build drew no icon of this size";
    const QImage carried = icon.pixmap(QSize(side, side), 1.0).toImage();
    EXPECT_EQ(carried.convertToFormat(QImage::Format_ARGB32), drawn.convertToFormat(QImage::Format_ARGB32));
  }
}

}  // namespace
}  // namespace tindrel
