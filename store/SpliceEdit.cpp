#include "store/SpliceEdit.h"

#include <algorithm>

namespace tindrel {
namespace {

constexpr QChar kParagraphBreak(0x2029);
constexpr QChar kLineBreak(0x2028);

// The stored characters the control turns into a paragraph break (U+FDD0 and U+FDD1 are its
// frame marks).
bool IsStoredLineEnd(QChar c) {
  return c == u'\n' || c == u'\r' || c == kParagraphBreak || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

// CR LF is one line end; every other stored character stands alone.
qsizetype UnitLength(const QString& s, qsizetype i) {
  return s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n' ? 2 : 1;
}

// Finds where the characters `first` and `last` of `shown` begin in `stored` (the size of
// `stored` for the end of `shown`). False when `shown` is not what the control makes of `stored`.
bool Locate(const QString& stored, const QString& shown, qsizetype first, qsizetype last, qsizetype& from,
            qsizetype& to) {
  qsizetype i = 0;
  for (qsizetype j = 0; j <= shown.size(); ++j) {
    if (j == first) from = i;
    if (j == last) to = i;
    if (j == shown.size()) break;
    if (i >= stored.size()) return false;
    if (shown[j] == stored[i]) {
      ++i;
    } else if (shown[j] == kParagraphBreak && IsStoredLineEnd(stored[i])) {
      i += UnitLength(stored, i);
    } else {
      return false;
    }
  }
  return i == stored.size();
}

// The line end a new line break takes: the first stored one at or after `from` (in the replaced
// part, else the one ending its line), else the last one before it, else LF.
QString NearestLineEnd(const QString& stored, qsizetype from) {
  for (qsizetype i = from; i < stored.size(); i += UnitLength(stored, i))
    if (IsStoredLineEnd(stored[i])) return stored.mid(i, UnitLength(stored, i));
  for (qsizetype i = from - 1; i >= 0; --i) {
    if (!IsStoredLineEnd(stored[i])) continue;
    if (stored[i] == u'\n' && i > 0 && stored[i - 1] == u'\r') return QStringLiteral("\r\n");
    return QString(stored[i]);
  }
  return QStringLiteral("\n");
}

}  // namespace

QString ControlForm(const QString& stored) {
  QString shown;
  shown.reserve(stored.size());
  for (qsizetype i = 0; i < stored.size(); i += UnitLength(stored, i))
    shown += IsStoredLineEnd(stored[i]) ? kParagraphBreak : stored[i];
  return shown;
}

QString SpliceEdit(const QString& stored, const QString& shownBefore, const QString& shownNow) {
  const qsizetype shorter = std::min(shownBefore.size(), shownNow.size());
  qsizetype head = 0;
  while (head < shorter && shownBefore[head] == shownNow[head]) ++head;
  qsizetype tail = 0;
  while (tail < shorter - head && shownBefore[shownBefore.size() - 1 - tail] == shownNow[shownNow.size() - 1 - tail])
    ++tail;
  qsizetype from = 0, to = stored.size();
  QString inserted = shownNow.mid(head, shownNow.size() - tail - head);
  if (!Locate(stored, shownBefore, head, shownBefore.size() - tail, from, to)) {
    // The control changed the stored text in a way not known here: all of it counts as new.
    from = 0;
    to = stored.size();
    inserted = shownNow;
  }
  if (inserted.contains(kParagraphBreak) || inserted.contains(kLineBreak)) {
    const QString lineEnd = NearestLineEnd(stored, from);
    inserted.replace(kParagraphBreak, lineEnd);
    inserted.replace(kLineBreak, lineEnd);
  }
  return stored.left(from) + inserted + stored.mid(to);
}

}  // namespace tindrel
