// Saves pictures of the navigator so a person can look at the glyphs: every standard style,
// once enabled and once disabled, at 1x and at 2x screen scale, and the main window's bar.
// The files go to pictures/ beside the test program (navigator-1x.png, navigator-2x.png,
// main-bar-2x.png); the test checks that each picture shows something in every button.

#include <QDir>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "navigator/TwwDBNavigator.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel {
namespace {

QImage Render(QWidget& widget, qreal scale) {
  QImage image(widget.size() * scale, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(widget.palette().window().color());
  widget.render(&image);
  return image;
}

// A button's square shows more than the background.
bool ShowsSomething(const QImage& image, const QRect& square, qreal scale) {
  const QColor background = image.pixelColor(0, 0);
  for (int y = static_cast<int>(square.top() * scale); y < static_cast<int>((square.bottom() + 1) * scale); ++y)
    for (int x = static_cast<int>(square.left() * scale); x < static_cast<int>((square.right() + 1) * scale); ++x)
      if (image.pixelColor(x, y) != background) return true;
  return false;
}

TEST(NavigatorPicture, EveryGlyphEnabledAndDisabledAt1xAnd2x) {
  testing::ScriptedPlatform platform;
  QWidget sheet;
  sheet.resize(kGlyphStyleCount * 25 + 8, 2 * 25 + 12);
  TwwDBNavigator enabled(&sheet), disabled(&sheet);
  for (TwwDBNavigator* nav : {&enabled, &disabled}) {
    // Held together while filling, so the navigator does not shrink to the first button.
    nav->Buttons().BeginUpdate();
    for (int s = 0; s < kGlyphStyleCount; ++s) {
      auto* b = new TwwNavButton(nav);
      b->SetStyle(static_cast<TwwNavButtonStyle>(s));
      b->SetFlat(false);
      b->SetEnabled(nav == &enabled);
    }
    nav->Buttons().EndUpdate();
    nav->resize(kGlyphStyleCount * 25, 25);
    nav->Realign();
    EXPECT_EQ(nav->size(), QSize(kGlyphStyleCount * 25, 25));
  }
  enabled.move(4, 4);
  disabled.move(4, 33);
  ASSERT_TRUE(QDir().mkpath(QStringLiteral(TINDREL_PICTURE_DIR)));
  for (qreal scale : {1.0, 2.0}) {
    const QImage picture = Render(sheet, scale);
    const QString name = QStringLiteral(TINDREL_PICTURE_DIR "/navigator-%1x.png").arg(static_cast<int>(scale));
    ASSERT_TRUE(picture.save(name)) << name.toStdString();
    for (int s = 0; s < kGlyphStyleCount; ++s) {
      EXPECT_TRUE(ShowsSomething(picture, QRect(4 + 25 * s + 4, 4 + 4, 17, 17), scale)) << s;
      EXPECT_TRUE(ShowsSomething(picture, QRect(4 + 25 * s + 4, 33 + 4, 17, 17), scale)) << s;
    }
  }

  // The main window's bar as it stands in the tool bar (flat buttons), browsing a table.
  QWidget toolBar;
  toolBar.resize(208, 33);
  TwwDBNavigator* bar = TwwDBNavigator::PlaceOnMainWindow(&toolBar, nullptr, nullptr, nullptr);
  bar->move(4, 4);
  for (int i = 0; i < bar->Buttons().Count(); ++i) bar->Buttons().Buttons(i)->SetEnabled(i >= 2);
  ASSERT_TRUE(Render(toolBar, 2.0).save(QStringLiteral(TINDREL_PICTURE_DIR "/main-bar-2x.png")));
}

}  // namespace
}  // namespace tindrel
