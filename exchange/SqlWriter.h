#pragma once
// An SQL script that makes the notes a table in SQLite or PostgreSQL: CREATE TABLE notes (id,
// parent, title, memo) and one INSERT per note, inside one transaction. The notes are numbered
// 1, 2, ... in outline order, so "ORDER BY id" lists them as the tree shows them, parents come
// before their children (the REFERENCES holds at every row), and parent is NULL at the top
// level. Texts are standard SQL string literals (quotes doubled), which both read alike.

#include "exchange/Outline.h"
#include "exchange/Progress.h"
#include "exchange/TextSink.h"

namespace tindrel::exchange {

// Neither database can hold the character U+0000 in a text: a note holding it is refused
// (ExchangeError listing each such note) before anything is written.
void WriteSql(const Outline& outline, TextSink& out, const Progress& progress = {});

}  // namespace tindrel::exchange
