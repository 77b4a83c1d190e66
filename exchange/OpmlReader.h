#pragma once
// Reads an OPML document: every outline element inside body is a note, its `text` the title and
// its `_note` the memo, nested as the elements are. Other elements and attributes are passed
// over. The XML must be well formed and UTF-8; anything else gives an ExchangeError naming the
// line and column and what is wrong there. Entities other than XML's five are refused, never
// expanded, and the nesting is followed without recursion, however deep it goes.

#include <string_view>

#include "exchange/Outline.h"
#include "exchange/Progress.h"

namespace tindrel::exchange {

Outline ReadOpml(std::string_view document, const Progress& progress = {});

}  // namespace tindrel::exchange
