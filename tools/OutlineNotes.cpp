#include "tools/OutlineNotes.h"

#include "exchange/OutlineFit.h"
#include "exchange/TableImport.h"
#include "store/engine/CodePage.h"

namespace tindrel::tools {

std::vector<Note> NotesForNewTable(exchange::Outline outline, std::vector<std::string>& notices) {
  notices = std::move(outline.notices);
  const engine::TableSpec spec = NoteTableSpec();
  const int textField = 2;
  const auto fitted = exchange::FitOutline(
      outline, *engine::CodePage::Get(engine::CodePage::FromLanguageDriver(spec.languageDriver)),
      spec.fields[textField].length);
  notices.insert(notices.end(), fitted.begin(), fitted.end());
  std::vector<Note> notes;
  notes.reserve(outline.notes.size());
  for (exchange::NumberedNote& note : exchange::NumberOutline(std::move(outline)))
    notes.push_back({note.id, note.parent, std::move(note.title), std::move(note.memo)});
  return notes;
}

}  // namespace tindrel::tools
