#pragma once
// The one table builder of the tests: writes a small (or large) real table through the engine in
// a folder the test owns, and the note table most tests work on. Every layer's fixture makes its
// tables here, so a change to how tables are made is made once.

#include <string>
#include <vector>

#include "store/engine/Table.h"
#include "tests/support/engine/NoSyncFileSystem.h"

namespace tindrel::testing {

// Creates the table `spec` describes at `path` (the .dbf) and appends `rows`, each a value per
// field in field order ("" leaves the field blank; missing trailing values too), through `disk`
// (null: the machine's, without syncs). Returns `path`.
inline std::string WriteTable(const std::string& path, const engine::TableSpec& spec,
                              const std::vector<std::vector<std::string>>& rows, engine::FileSystem* disk = nullptr) {
  NoSyncFileSystem noSync;
  engine::FileSystem& fs = disk ? *disk : noSync;
  engine::Table::Create(path, spec, &fs);
  engine::OpenOptions options;
  options.fileSystem = &fs;
  auto table = engine::Table::Open(path, options);
  for (const auto& values : rows) {
    engine::Record r = table->BlankRecord();
    for (size_t i = 0; i < values.size(); ++i)
      if (!values[i].empty()) table->SetText(r, static_cast<int>(i), values[i]);
    table->Append(r);
  }
  return path;
}

// Fields left out of a brace list are blank.
struct Note {
  std::string id = {}, parent = {}, text = {}, memo = {};
};

struct NoteTableShape {
  bool numericId = false;  // ID N(idWidth) instead of C(idWidth)
  uint16_t idWidth = 10;
  uint16_t textWidth = 40;
  bool idTag = true;  // a production index with the tag ID
  uint8_t languageDriver = 0;  // the code page's language driver byte (0: bytes as ISO 8859-1)
};

// ID, PARENT C(10), TEXT C(textWidth), MEMO M, as `shape` says, in `folder` under `name`, through
// `disk` (null: the machine's). Returns the path of the .dbf.
inline std::string WriteNoteTable(const std::string& folder, const std::vector<Note>& notes,
                                  const NoteTableShape& shape = {}, const std::string& name = "Tindrel.dbf",
                                  engine::FileSystem* disk = nullptr) {
  engine::TableSpec spec;
  spec.fields = {{"ID", shape.numericId ? 'N' : 'C', shape.idWidth},
                 {"PARENT", 'C', 10},
                 {"TEXT", 'C', shape.textWidth},
                 {"MEMO", 'M', 10}};
  if (shape.idTag) spec.tags = {{"ID", "ID"}};
  spec.languageDriver = shape.languageDriver;
  std::vector<std::vector<std::string>> rows;
  rows.reserve(notes.size());
  for (const Note& n : notes) rows.push_back({n.id, n.parent, n.text, n.memo});
  return WriteTable(folder + "/" + name, spec, rows, disk);
}

}  // namespace tindrel::testing
