#pragma once
// Reads notes from CSV as RFC 4180 describes it, in UTF-8 (a byte order mark is passed over;
// lines may end with CR LF or LF). The header names the columns, found without regard to case:
// ID and Parent link the notes, Text is the title and MEMO, when present, the memo. Path is
// passed over, as are other columns (with a notice).
//
// What does not make a tree is kept all the same, with a notice naming the lines: a row whose
// Parent names no row's ID is placed at the top level; rows whose Parents make a loop are
// entered at the loop's first row, which is placed at the top level. Children keep the order of
// their rows, and so does the top level.
//
// Broken CSV gives an ExchangeError naming the line: a quoted field that is not closed, a quote
// inside a field that does not begin with one, a row with more or fewer fields than the header,
// an ID used by two rows, a header without ID, Parent or Text.

#include <string_view>

#include "exchange/Outline.h"
#include "exchange/Progress.h"

namespace tindrel::exchange {

Outline ReadCsv(std::string_view document, const Progress& progress = {});

}  // namespace tindrel::exchange
