#include "exchange/CsvReader.h"

#include <algorithm>
#include <unordered_map>

#include "exchange/ExchangeError.h"
#include "exchange/Utf8.h"

namespace tindrel::exchange {
namespace {

struct Row {
  size_t line;
  std::vector<std::string> fields;
};

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return out;
}

std::string LineName(size_t line) { return "line " + std::to_string(line); }

// "lines 3, 7 and 9".
std::string LinesNamed(std::vector<size_t> lines) {
  std::sort(lines.begin(), lines.end());
  if (lines.size() == 1) return LineName(lines[0]);
  std::string text = "lines ";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += i + 1 == lines.size() ? " and " : ", ";
    text += std::to_string(lines[i]);
  }
  return text;
}

class Parser {
 public:
  Parser(std::string_view document, const Progress& progress) : doc_(document), progress_(progress) {}

  std::vector<Row> Rows() {
    if (const size_t bad = FindInvalidUtf8(doc_); bad != std::string_view::npos)
      Fail(bad, "these bytes are not UTF-8 text (only UTF-8 CSV files can be read)");
    std::vector<Row> rows;
    size_t reported = 0;
    while (pos_ < doc_.size()) {
      Row row{line_, {}};
      for (;;) {
        row.fields.push_back(Field());
        if (pos_ < doc_.size() && doc_[pos_] == ',') {
          ++pos_;
          continue;
        }
        EndOfLine();
        break;
      }
      if (row.fields.size() == 1 && row.fields[0].empty()) continue;  // a blank line
      rows.push_back(std::move(row));
      if (pos_ - reported >= (1u << 20)) {
        reported = pos_;
        Report(progress_, "Reading the notes", pos_, doc_.size());
      }
    }
    return rows;
  }

 private:
  [[noreturn]] void Fail(size_t at, const std::string& what) const {
    throw ExchangeError(DescribePosition(doc_, at) + ": " + what);
  }

  std::string Field() {
    std::string field;
    if (pos_ < doc_.size() && doc_[pos_] == '"') {
      const size_t opened = pos_++;
      for (;;) {
        const size_t quote = doc_.find('"', pos_);
        if (quote == std::string_view::npos) Fail(opened, "the quoted field that begins here is not closed");
        line_ += static_cast<size_t>(std::count(doc_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                                doc_.begin() + static_cast<std::ptrdiff_t>(quote), '\n'));
        field.append(doc_.substr(pos_, quote - pos_));
        pos_ = quote + 1;
        if (pos_ < doc_.size() && doc_[pos_] == '"') {
          field += '"';
          ++pos_;
          continue;
        }
        break;
      }
      if (pos_ < doc_.size() && doc_[pos_] != ',' && doc_[pos_] != '\r' && doc_[pos_] != '\n')
        Fail(pos_, "a quoted field must end at its closing quote (a quote inside it is written twice)");
      return field;
    }
    size_t end = doc_.find_first_of(",\r\n\"", pos_);
    if (end == std::string_view::npos) end = doc_.size();
    if (end < doc_.size() && doc_[end] == '"')
      Fail(end, "a quote inside a field that does not begin with one (quote the whole field)");
    field.assign(doc_.substr(pos_, end - pos_));
    pos_ = end;
    return field;
  }

  void EndOfLine() {
    if (pos_ >= doc_.size()) return;
    if (doc_[pos_] == '\r') ++pos_;
    if (pos_ < doc_.size() && doc_[pos_] == '\n') ++pos_;
    ++line_;
  }

  std::string_view doc_;
  const Progress& progress_;
  size_t pos_ = 0;
  size_t line_ = 1;
};

}  // namespace

Outline ReadCsv(std::string_view document, const Progress& progress) {
  std::vector<Row> rows = Parser(WithoutByteOrderMark(document), progress).Rows();
  Outline outline;
  if (rows.empty()) return outline;

  const Row& header = rows.front();
  int idColumn = -1, parentColumn = -1, textColumn = -1, memoColumn = -1;
  for (size_t c = 0; c < header.fields.size(); ++c) {
    const std::string_view name = Trimmed(header.fields[c]);
    const std::string lower = Lower(name);
    int* column = nullptr;
    if (lower == "id") column = &idColumn;
    else if (lower == "parent") column = &parentColumn;
    else if (lower == "text") column = &textColumn;
    else if (lower == "memo") column = &memoColumn;
    if (!column) {
      if (lower != "path")
        outline.notices.push_back(LineName(header.line) + ": the column \"" + std::string(name) +
                                  "\" is not a field of a note; it is passed over");
      continue;
    }
    if (*column >= 0)
      throw ExchangeError(LineName(header.line) + ": the header names the column " + std::string(name) + " twice");
    *column = static_cast<int>(c);
  }
  for (auto [column, name] : {std::pair{idColumn, "ID"}, std::pair{parentColumn, "Parent"}, std::pair{textColumn, "Text"}})
    if (column < 0)
      throw ExchangeError(LineName(header.line) + ": the header has no column " + name +
                          " (it needs ID, Parent and Text; MEMO and Path may follow)");

  const size_t count = rows.size() - 1;
  const auto rowAt = [&](size_t i) -> Row& { return rows[i + 1]; };
  std::unordered_map<std::string_view, size_t> byId;
  for (size_t i = 0; i < count; ++i) {
    const Row& row = rowAt(i);
    if (row.fields.size() != header.fields.size())
      throw ExchangeError(LineName(row.line) + ": the row has " + std::to_string(row.fields.size()) +
                          " fields, the header " + std::to_string(header.fields.size()));
    const std::string_view id = Trimmed(row.fields[static_cast<size_t>(idColumn)]);
    if (id.empty()) continue;
    const auto [found, fresh] = byId.emplace(id, i);
    if (!fresh)
      throw ExchangeError(LineName(row.line) + ": the ID " + std::string(id) + " is used already by the row on " +
                          LineName(rowAt(found->second).line));
  }

  // Links: the row above each row, or none.
  constexpr size_t kNone = SIZE_MAX;
  std::vector<size_t> up(count, kNone);
  std::vector<std::vector<size_t>> below(count);
  std::vector<size_t> roots;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view parent = Trimmed(rowAt(i).fields[static_cast<size_t>(parentColumn)]);
    if (parent.empty()) {
      roots.push_back(i);
      continue;
    }
    const auto found = byId.find(parent);
    if (found == byId.end()) {
      outline.notices.push_back(LineName(rowAt(i).line) + ": the parent ID " + std::string(parent) +
                                " names no row; the note is placed at the top level");
      roots.push_back(i);
      continue;
    }
    up[i] = found->second;
    below[found->second].push_back(i);
  }

  std::vector<bool> reached(count, false);
  std::vector<size_t> pending;
  const auto reach = [&](size_t root) {
    pending.push_back(root);
    reached[root] = true;
    while (!pending.empty()) {
      const size_t at = pending.back();
      pending.pop_back();
      for (size_t child : below[at])
        if (!reached[child]) {
          reached[child] = true;
          pending.push_back(child);
        }
    }
  };
  for (size_t root : roots) reach(root);
  // Rows not reached hang below a loop of parents: find the loop and enter it at its first row.
  std::vector<size_t> seenInRound(count, 0);
  size_t round = 0;
  for (size_t i = 0; i < count; ++i) {
    if (reached[i]) continue;
    ++round;
    size_t at = i;
    while (seenInRound[at] != round) {
      seenInRound[at] = round;
      at = up[at];
    }
    std::vector<size_t> loop{at};
    for (size_t next = up[at]; next != at; next = up[next]) loop.push_back(next);
    const size_t first = *std::min_element(loop.begin(), loop.end());
    std::vector<size_t> lines;
    for (size_t member : loop) lines.push_back(rowAt(member).line);
    outline.notices.push_back(LinesNamed(lines) + ": the parents make a loop; the note on " +
                              LineName(rowAt(first).line) + " is placed at the top level");
    below[up[first]].erase(std::find(below[up[first]].begin(), below[up[first]].end(), first));
    up[first] = kNone;
    roots.push_back(first);
    reach(first);
  }
  std::sort(roots.begin(), roots.end());

  outline.notes.reserve(count);
  std::vector<std::pair<size_t, int>> walk;  // (row, parent note), the next on top
  for (size_t root : roots) {
    walk.push_back({root, -1});
    while (!walk.empty()) {
      const auto [at, parent] = walk.back();
      walk.pop_back();
      Row& row = rowAt(at);
      OutlineNote note;
      note.title = std::move(row.fields[static_cast<size_t>(textColumn)]);
      if (memoColumn >= 0) note.memo = std::move(row.fields[static_cast<size_t>(memoColumn)]);
      note.parent = parent;
      note.place = LineName(row.line);
      note.id = std::string(Trimmed(row.fields[static_cast<size_t>(idColumn)]));
      const int index = static_cast<int>(outline.notes.size());
      outline.notes.push_back(std::move(note));
      for (auto child = below[at].rbegin(); child != below[at].rend(); ++child) walk.push_back({*child, index});
    }
  }
  return outline;
}

}  // namespace tindrel::exchange
