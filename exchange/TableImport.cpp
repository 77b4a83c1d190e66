#include "exchange/TableImport.h"

#include <charconv>
#include <unordered_set>

#include "exchange/ExchangeError.h"
#include "exchange/OutlineFit.h"
#include "store/engine/CodePage.h"
#include "store/engine/Table.h"

namespace tindrel::exchange {
namespace {

constexpr std::string_view kStage = "Storing the notes";

// The value of an ID that is a positive number, or 0.
int64_t NumberOf(std::string_view id) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
  return error == std::errc() && end == id.data() + id.size() && value > 0 ? value : 0;
}

}  // namespace

ImportSummary ImportOutline(engine::Table& table, Outline outline, const std::string& underId,
                            const Progress& progress) {
  if (outline.notes.empty()) throw ExchangeError("There are no notes to import");
  if (table.ReadOnly()) throw ExchangeError(table.ReadOnlyReason() + "; nothing was imported");
  const int idField = table.FieldIndex("ID"), parentField = table.FieldIndex("Parent");
  const int textField = table.FieldIndex("Text"), memoField = table.FieldIndex("MEMO");
  for (auto [field, name] : {std::pair{idField, "ID"}, std::pair{parentField, "Parent"}, std::pair{textField, "Text"}})
    if (field < 0) throw ExchangeError("The table " + table.Path() + " has no field " + name + "; nothing was imported");

  ImportSummary summary;
  summary.notices = std::move(outline.notices);
  const auto fitted =
      FitOutline(outline, *engine::CodePage::Get(table.CodePage()), table.Fields()[static_cast<size_t>(textField)].length);
  summary.notices.insert(summary.notices.end(), fitted.begin(), fitted.end());
  if (memoField < 0)
    for (const OutlineNote& note : outline.notes)
      if (!note.memo.empty())
        throw ExchangeError("The table " + table.Path() + " has no MEMO field for the text of " + note.place +
                            "; nothing was imported");

  std::unordered_set<std::string> taken;  // every ID and every Parent in the table
  int64_t largest = 0;
  bool underFound = underId.empty();
  for (uint32_t recno = 1; recno <= table.RecordCount(); ++recno) {
    const engine::Record record = table.ReadRecord(recno);
    if (record.IsDeleted()) continue;
    std::string id = table.GetText(record, idField);
    largest = std::max(largest, NumberOf(id));
    underFound = underFound || id == underId;
    taken.insert(std::move(id));
    taken.insert(table.GetText(record, parentField));
  }
  if (!underFound) throw ExchangeError("No note has the ID " + underId + "; nothing was imported");

  const size_t count = outline.notes.size();
  std::vector<std::string> ids(count);
  int64_t next = largest + 1;
  for (std::string& id : ids) {
    while (taken.count(std::to_string(next))) ++next;
    id = std::to_string(next++);
  }

  std::vector<engine::Record> records;
  records.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const OutlineNote& note = outline.notes[i];
    engine::Record record = table.BlankRecord();
    try {
      try {
        table.SetText(record, idField, ids[i]);
      } catch (const engine::EngineError& e) {
        if (e.Code() != engine::ResultCode::ValueTooLong) throw;
        throw ExchangeError("The table's ID field cannot hold the ID " + ids[i] + " that " + note.place +
                            " would get; nothing was imported");
      }
      const std::string& parent = note.parent >= 0 ? ids[static_cast<size_t>(note.parent)] : underId;
      if (parent.empty()) table.SetBlank(record, parentField);
      else table.SetText(record, parentField, parent);
      table.SetText(record, textField, note.title);
      if (!note.memo.empty()) table.SetText(record, memoField, note.memo);
    } catch (const engine::EngineError& e) {
      throw ExchangeError(note.place + ": " + e.Message() + "; nothing was imported");
    }
    records.push_back(std::move(record));
    if ((i + 1) % 1024 == 0) Report(progress, kStage, i + 1, count);
  }
  Report(progress, kStage, count, count);
  // The records hold the notes now; the outline's copy goes before the change doubles them again
  // in the journal.
  std::vector<OutlineNote>().swap(outline.notes);
  table.AppendAll(records);
  summary.notes = count;
  summary.firstId = ids.front();
  return summary;
}

std::vector<NumberedNote> NumberOutline(Outline&& outline) {
  std::vector<NumberedNote> notes;
  notes.reserve(outline.notes.size());
  for (size_t i = 0; i < outline.notes.size(); ++i) {
    OutlineNote& note = outline.notes[i];
    notes.push_back({static_cast<int64_t>(i + 1), note.parent >= 0 ? note.parent + 1 : 0, std::move(note.title),
                     std::move(note.memo)});
  }
  return notes;
}

}  // namespace tindrel::exchange
