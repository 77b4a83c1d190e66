#pragma once
// The standard glyphs of the navigator buttons: one process-wide list of 18 x 18 images built
// from the program's resources at first use. Images 2n and 2n + 1 are the enabled and the
// disabled glyph of style number n (nbsFirst = 0 ... nbsSearchDialog = 17); nbsCustom has none.
// Each image carries a 1x and a 2x picture, so it stays sharp on a screen scaled by two.

#include <QIcon>
#include <QObject>
#include <QString>

#include <vector>

#include "navigator/TwwNavTypes.h"

namespace tindrel {

// "WW_DBN_" + style name without "nbs" in capitals + "_ENABLED" or "_DISABLED".
QString GlyphResourceName(TwwNavButtonStyle style, bool enabled);
// The resource file of that glyph at 1x (the 2x picture is beside it with "@2x").
QString GlyphResourcePath(TwwNavButtonStyle style, bool enabled);

class TwwNavGlyphs {
 public:
  // The 36 standard images, built on first use.
  static const std::vector<QIcon>& Images();
};

// An image list a navigator can use instead of the standard glyphs (buttons whose ImageIndex is
// 0 or more). Destroying it clears the navigator's reference.
class TwwImageList : public QObject {
  Q_OBJECT
 public:
  explicit TwwImageList(QObject* owner = nullptr) : QObject(owner) {}
  std::vector<QIcon> Images;
};

}  // namespace tindrel
