#include "exchange/SqlWriter.h"

#include "exchange/Refusal.h"

namespace tindrel::exchange {
namespace {

void AppendLiteral(std::string& out, std::string_view text) {
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
}

}  // namespace

void WriteSql(const Outline& outline, TextSink& out, const Progress& progress) {
  Refusal refusal("SQL texts cannot hold the character U+0000, so nothing was exported:");
  for (const OutlineNote& note : outline.notes) {
    for (auto [text, what] : {std::pair{&note.title, "title"}, std::pair{&note.memo, "memo"}})
      if (text->find('\0') != std::string::npos)
        refusal.Add(note.place + ": the " + what + " of \"" + note.title + "\" holds it");
  }
  refusal.ThrowIfAny();

  std::string text =
      "-- Notes exported from Tindrel II, for SQLite and PostgreSQL. The rows are in the order of\n"
      "-- the tree: ORDER BY id lists the notes as it shows them; parent is the id of the note\n"
      "-- above, NULL at the top level.\n"
      "BEGIN;\n"
      "CREATE TABLE notes (\n"
      "  id INTEGER PRIMARY KEY,\n"
      "  parent INTEGER REFERENCES notes (id),\n"
      "  title TEXT NOT NULL,\n"
      "  memo TEXT NOT NULL\n"
      ");\n";
  const size_t count = outline.notes.size();
  for (size_t i = 0; i < count; ++i) {
    const OutlineNote& note = outline.notes[i];
    text += "INSERT INTO notes (id, parent, title, memo) VALUES (";
    text += std::to_string(i + 1);
    text += ", ";
    text += note.parent >= 0 ? std::to_string(note.parent + 1) : "NULL";
    text += ", ";
    AppendLiteral(text, note.title);
    text += ", ";
    AppendLiteral(text, note.memo);
    text += ");\n";
    WriteWhenFull(text, out, progress, i + 1, count);
  }
  text += "COMMIT;\n";
  out.Write(text);
}

}  // namespace tindrel::exchange
