#pragma once
// OPML 2.0: one outline element per note, the title in `text`, the memo in `_note` (where the
// common outliners keep a note's text), nested as the notes are. Line breaks and tabs are
// written as character references, so they come back exactly and are not folded into blanks.

#include <string_view>

#include "exchange/Outline.h"
#include "exchange/Progress.h"
#include "exchange/TextSink.h"

namespace tindrel::exchange {

// XML 1.0 cannot carry most control characters, not even as references: a note holding one is
// refused (ExchangeError listing each such note) before anything is written.
void WriteOpml(const Outline& outline, std::string_view documentTitle, TextSink& out, const Progress& progress = {});

}  // namespace tindrel::exchange
