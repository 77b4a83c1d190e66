#include "navigator/TwwNavTypes.h"

namespace tindrel {

namespace {
const char* const kShortNames[kNavButtonStyleCount] = {
    "First", "Prior", "Next", "Last", "Insert", "Delete", "Edit", "Post", "Cancel", "Refresh",
    "PriorPage", "NextPage", "SaveBookmark", "RestoreBookmark", "FilterDialog", "RecordViewDialog",
    "LocateDialog", "SearchDialog", "Custom"};
}  // namespace

QString StyleShortName(TwwNavButtonStyle style) {
  if (style < 0 || style >= kNavButtonStyleCount) return {};
  return QLatin1String(kShortNames[style]);
}

QString StyleName(TwwNavButtonStyle style) { return QStringLiteral("nbs") + StyleShortName(style); }

std::optional<TwwNavButtonStyle> StyleFromName(const QString& name) {
  for (int s = 0; s < kNavButtonStyleCount; ++s)
    if (name == StyleName(static_cast<TwwNavButtonStyle>(s))) return static_cast<TwwNavButtonStyle>(s);
  return std::nullopt;
}

}  // namespace tindrel
