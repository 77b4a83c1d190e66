#include "navigator/TwwNavGlyphs.h"

// The resources are compiled into this static library; naming the initialiser here makes the
// linker keep them in every program that uses the glyphs.
static void InitGlyphResources() { Q_INIT_RESOURCE(glyphs); }

namespace tindrel {

QString GlyphResourceName(TwwNavButtonStyle style, bool enabled) {
  return QStringLiteral("WW_DBN_") + StyleShortName(style).toUpper() +
         (enabled ? QStringLiteral("_ENABLED") : QStringLiteral("_DISABLED"));
}

QString GlyphResourcePath(TwwNavButtonStyle style, bool enabled) {
  return QStringLiteral(":/navigator/") + GlyphResourceName(style, enabled) + QStringLiteral(".png");
}

const std::vector<QIcon>& TwwNavGlyphs::Images() {
  static const std::vector<QIcon> images = [] {
    InitGlyphResources();
    std::vector<QIcon> list;
    for (int s = 0; s < kGlyphStyleCount; ++s) {
      for (bool enabled : {true, false}) {
        const QString path = GlyphResourcePath(static_cast<TwwNavButtonStyle>(s), enabled);
        QIcon icon;
        icon.addFile(path, QSize(18, 18));
        QString twice = path;
        twice.replace(QStringLiteral(".png"), QStringLiteral("@2x.png"));
        icon.addFile(twice, QSize(36, 36));
        list.push_back(icon);
      }
    }
    return list;
  }();
  return images;
}

}  // namespace tindrel
