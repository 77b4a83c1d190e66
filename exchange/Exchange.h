#pragma once
// Export and import of notes with their hierarchy, in the formats people move notes with:
// Markdown (a folder tree, or one file), OPML, CSV and an SQL script (export only). The program
// and the table tool both come through here, so they share every rule.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/Outline.h"
#include "exchange/Progress.h"
#include "exchange/TableImport.h"

namespace tindrel::engine {
class Table;
}

namespace tindrel::exchange {

enum class Format { MarkdownFolder, MarkdownFile, Opml, Csv, Sql };

struct FormatInfo {
  Format format;
  const char* name;       // on the tool's command line: "markdown-folder"
  const char* title;      // for people: "Markdown folders"
  const char* extension;  // of its file, "" for a folder
  bool folder;            // written as a folder tree, and read from one
  bool importable;
};
const std::vector<FormatInfo>& AllFormats();
const FormatInfo& InfoOf(Format format);
std::optional<Format> FormatNamed(std::string_view name);

struct ExportSummary {
  size_t notes = 0;
  std::vector<std::string> notices;  // what could not be written as it is, by place
};

// Writes the outline to `path`: a new or empty folder for a folder tree, otherwise a file (an
// existing one only when `replace`). It appears whole at the end, or not at all.
ExportSummary WriteOutline(const Outline& outline, Format format, const std::string& path, bool replace,
                           const Progress& progress = {});

// Reads the outline in `path`; ExchangeError when it holds no notes or cannot be read.
Outline ReadOutline(Format format, const std::string& path, const Progress& progress = {});

// The table's notes, or the subtree of the note with `subtreeId` when it is not empty.
ExportSummary ExportNotes(const engine::Table& table, const std::string& subtreeId, Format format,
                          const std::string& path, bool replace, const Progress& progress = {});

// The notes in `path` stored below the note with `underId` (the top level when empty), as one
// change.
ImportSummary ImportNotes(engine::Table& table, Format format, const std::string& path, const std::string& underId,
                          const Progress& progress = {});

}  // namespace tindrel::exchange
