#pragma once
// CSV as RFC 4180 describes it, in UTF-8: the header ID,Parent,Text,MEMO,Path, then one row per
// note in outline order, lines ended by CR LF, a field quoted when it holds a comma, a quote or
// a line break (quotes doubled). Parent is the ID of the note above (empty at the top level);
// Path is the titles from the top down to the note, joined by "/" (a "/" or "\" inside a title
// written as "\/" or "\\"), for reading only.
//
// The notes' own IDs are written when every note has one and no two share it; otherwise every
// note is numbered 1, 2, ... in outline order, so the parent links always hold.

#include "exchange/Outline.h"
#include "exchange/Progress.h"
#include "exchange/TextSink.h"

namespace tindrel::exchange {

void WriteCsv(const Outline& outline, TextSink& out, const Progress& progress = {});

}  // namespace tindrel::exchange
