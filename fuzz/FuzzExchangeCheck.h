#pragma once
// What the exchange fuzz targets share: two outlines must carry the same notes (titles as a
// heading line shows them when `titleLines`), and any failure but an ExchangeError is a fault.

#include <cstdlib>

#include "exchange/MarkdownText.h"
#include "exchange/Outline.h"

namespace tindrel::exchange::fuzzing {

inline void RequireSameNotes(const Outline& a, const Outline& b, bool titleLines) {
  if (a.notes.size() != b.notes.size()) __builtin_trap();
  for (size_t i = 0; i < a.notes.size(); ++i) {
    const OutlineNote &x = a.notes[i], &y = b.notes[i];
    const std::string title = titleLines ? TitleLine(x.title) : x.title;
    if (title != y.title || x.memo != y.memo || x.parent != y.parent) __builtin_trap();
  }
}

}  // namespace tindrel::exchange::fuzzing
