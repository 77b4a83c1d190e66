#include "exchange/Exchange.h"

#include "exchange/CsvReader.h"
#include "exchange/CsvWriter.h"
#include "exchange/ExchangeError.h"
#include "exchange/MarkdownFileReader.h"
#include "exchange/MarkdownFileWriter.h"
#include "exchange/MarkdownFolderReader.h"
#include "exchange/MarkdownFolderWriter.h"
#include "exchange/OpmlReader.h"
#include "exchange/OpmlWriter.h"
#include "exchange/OutputFile.h"
#include "exchange/SqlWriter.h"
#include "exchange/TableOutline.h"

namespace tindrel::exchange {

const std::vector<FormatInfo>& AllFormats() {
  static const std::vector<FormatInfo> formats = {
      {Format::MarkdownFolder, "markdown-folder", "Markdown folders", "", true, true},
      {Format::MarkdownFile, "markdown-file", "Markdown file", ".md", false, true},
      {Format::Opml, "opml", "OPML", ".opml", false, true},
      {Format::Csv, "csv", "CSV", ".csv", false, true},
      {Format::Sql, "sql", "SQL script", ".sql", false, false},
  };
  return formats;
}

const FormatInfo& InfoOf(Format format) {
  for (const FormatInfo& info : AllFormats())
    if (info.format == format) return info;
  return AllFormats().front();
}

std::optional<Format> FormatNamed(std::string_view name) {
  for (const FormatInfo& info : AllFormats())
    if (name == info.name) return info.format;
  return std::nullopt;
}

ExportSummary WriteOutline(const Outline& outline, Format format, const std::string& path, bool replace,
                           const Progress& progress) {
  ExportSummary summary{outline.notes.size(), outline.notices};
  if (format == Format::MarkdownFolder) {
    WriteMarkdownFolder(outline, path, summary.notices, progress);
    return summary;
  }
  OutputFile out(path, replace);
  switch (format) {
    case Format::MarkdownFile: WriteMarkdownFile(outline, out, summary.notices, progress); break;
    case Format::Opml: WriteOpml(outline, StemOf(path), out, progress); break;
    case Format::Csv: WriteCsv(outline, out, progress); break;
    case Format::Sql: WriteSql(outline, out, progress); break;
    case Format::MarkdownFolder: break;
  }
  out.Commit();
  return summary;
}

Outline ReadOutline(Format format, const std::string& path, const Progress& progress) {
  Outline outline;
  switch (format) {
    case Format::MarkdownFolder: outline = ReadMarkdownFolder(path, progress); break;
    case Format::MarkdownFile: outline = ReadMarkdownFile(ReadWholeFile(path), StemOf(path), progress); break;
    case Format::Opml: outline = ReadOpml(ReadWholeFile(path), progress); break;
    case Format::Csv: outline = ReadCsv(ReadWholeFile(path), progress); break;
    case Format::Sql: throw ExchangeError("SQL scripts are written, not read");
  }
  if (outline.notes.empty()) throw ExchangeError(path + " holds no notes; nothing was imported");
  return outline;
}

ExportSummary ExportNotes(const engine::Table& table, const std::string& subtreeId, Format format,
                          const std::string& path, bool replace, const Progress& progress) {
  return WriteOutline(ReadTableOutline(table, subtreeId, progress), format, path, replace, progress);
}

ImportSummary ImportNotes(engine::Table& table, Format format, const std::string& path, const std::string& underId,
                          const Progress& progress) {
  return ImportOutline(table, ReadOutline(format, path, progress), underId, progress);
}

}  // namespace tindrel::exchange
