#include "tools/NoteTable.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "store/engine/EngineError.h"
#include "store/engine/FileSystem.h"
#include "store/engine/Journal.h"

namespace tindrel::tools {

using engine::EngineError;
using engine::ResultCode;

engine::TableSpec NoteTableSpec() {
  engine::TableSpec spec;
  spec.fields = {
      {"ID", 'N', 10, 0},
      {"Parent", 'N', 10, 0},
      {"Text", 'C', 100, 0},
      {"MEMO", 'M', 10, 0},
  };
  spec.tags = {{"ID", "ID", false, false}};
  spec.languageDriver = 0xCB;
  spec.dBase4 = true;
  return spec;
}

std::string NoteTablePath(const std::string& folder) {
  if (folder.empty()) return kNoteTableName;
  return folder.back() == '/' ? folder + kNoteTableName : folder + "/" + kNoteTableName;
}

std::vector<Note> WelcomeNotes() {
  const std::string crlf = "\r\n";
  std::vector<Note> notes;
  auto add = [&](int64_t id, int64_t parent, std::string title, std::vector<std::string> lines) {
    std::string memo;
    for (size_t i = 0; i < lines.size(); ++i) memo += (i ? crlf : "") + lines[i];
    notes.push_back({id, parent, std::move(title), std::move(memo)});
  };
  add(1, 0, "Welcome to Tindrel II",
      {"Tindrel II keeps your notes in a tree.",
       "The titles are on the left; the text of the selected note is here on the right.",
       "What you type is stored when you move to another note.",
       "Open the notes below this one to see how the program is used."});
  add(2, 1, "New notes: F5 beside, F6 as a child",
      {"F5 (Edit > Insert) puts a new note beside the selected one.",
       "F6 (Edit > Insert Child) puts a new note under it.",
       "Type the title and press Enter, then write the text here."});
  add(3, 1, "Moving notes: drag and drop",
      {"Drag a note with the mouse and drop it on another note:",
       "it becomes a child of that note, together with everything below it."});
  add(4, 1, "Deleting notes: Shift+Del",
      {"Shift+Del (Edit > Delete) deletes the selected note, after asking.",
       "A note with children asks once for each of them."});
  add(5, 1, "Finding notes: F7 Locate, F8 Filter",
      {"F7 (Search > Locate) finds the next note whose title matches what you type.",
       "F8 (Search > Filter) shows only the notes that match your criteria."});
  add(6, 1, "Long lines: Ctrl+W word wrap",
      {"Ctrl+W (File > Settings > Memo WordWrap) wraps long lines of this text at the window's edge,",
       "and switches back to one line per paragraph when pressed again."});
  add(7, 1, "Pack removes deleted notes for good",
      {"A deleted note keeps its space in the table until you pack it:",
       "File > Settings > Database > Pack removes deleted notes for good and rebuilds the index."});
  add(8, 0, "Καλώς ήρθατε στο Tindrel II",
      {"Το Tindrel II κρατά τις σημειώσεις σας σε ένα δέντρο.",
       "Οι τίτλοι είναι αριστερά· το κείμενο της επιλεγμένης σημείωσης εδώ δεξιά.",
       "Ό,τι γράφετε αποθηκεύεται όταν πάτε σε άλλη σημείωση."});
  add(9, 8, "Νέα σημείωση: F5 δίπλα, F6 από κάτω",
      {"Το F5 προσθέτει σημείωση δίπλα στην επιλεγμένη, το F6 προσθέτει θυγατρική σημείωση.",
       "Γράψτε τον τίτλο, πατήστε Enter και μετά γράψτε το κείμενο εδώ."});
  add(10, 8, "Μετακίνηση με σύρσιμο, διαγραφή με Shift+Del",
      {"Σύρετε μια σημείωση πάνω σε άλλη για να γίνει θυγατρική της.",
       "Το Shift+Del διαγράφει την επιλεγμένη σημείωση, αφού ρωτήσει πρώτα."});
  add(11, 8, "Αναζήτηση: F7 εντοπισμός, F8 φίλτρο",
      {"Το F7 βρίσκει σημείωση από τον τίτλο της· το F8 δείχνει μόνο όσες ταιριάζουν.",
       "Το Ctrl+W αλλάζει την αναδίπλωση των γραμμών σε αυτό το κείμενο."});
  add(12, 8, "Συμπίεση (Pack): οι διαγραμμένες φεύγουν οριστικά",
      {"Οι διαγραμμένες σημειώσεις κρατούν τη θέση τους στον πίνακα ώσπου να κάνετε Pack,",
       "που τις αφαιρεί οριστικά και ξαναχτίζει το ευρετήριο."});
  return notes;
}

namespace {

// A small generator of our own, so that a seed gives the same notes with every standard library.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return n ? static_cast<uint64_t>((static_cast<unsigned __int128>(Next()) * n) >> 64) : 0; }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  uint64_t Between(uint64_t lo, uint64_t hi) { return lo + Below(hi - lo + 1); }
  uint64_t State() const { return state_; }

 private:
  uint64_t state_;
};

const std::vector<std::string>& EnglishWords() {
  static const std::vector<std::string> words = {
      "note", "idea", "garden", "river", "letter", "market", "winter", "summer", "plan", "book",
      "meeting", "recipe", "journey", "question", "answer", "draft", "list", "budget", "house",
      "window", "music", "friend", "project", "review", "morning", "evening", "travel", "phone",
      "table", "chapter", "story", "bread", "coffee", "train", "ticket", "school", "lesson",
      "paint", "repair", "order", "report", "archive", "family", "holiday", "doctor", "invoice",
      "bicycle", "camera", "island", "mountain", "olive", "lemon", "harbour", "village", "street"};
  return words;
}

const std::vector<std::string>& GreekWords() {
  static const std::vector<std::string> words = {
      "σημείωση", "ιδέα", "κήπος", "ποτάμι", "γράμμα", "αγορά", "χειμώνας", "καλοκαίρι", "σχέδιο",
      "βιβλίο", "συνάντηση", "συνταγή", "ταξίδι", "ερώτηση", "απάντηση", "πρόχειρο", "λίστα",
      "προϋπολογισμός", "σπίτι", "παράθυρο", "μουσική", "φίλος", "έργο", "κριτική", "πρωί",
      "βράδυ", "τηλέφωνο", "τραπέζι", "κεφάλαιο", "ιστορία", "ψωμί", "καφές", "τρένο", "εισιτήριο",
      "σχολείο", "μάθημα", "επισκευή", "παραγγελία", "αναφορά", "αρχείο", "οικογένεια", "διακοπές",
      "γιατρός", "τιμολόγιο", "ποδήλατο", "νησί", "βουνό", "ελιά", "λεμόνι", "λιμάνι", "χωριό",
      "δρόμος", "Ελλάδα", "Αθήνα", "Θεσσαλονίκη", "ωραίο", "ΐδιο", "αϋπνία"};
  return words;
}

// Characters of a UTF-8 text: what it costs in the single-byte code page of the table.
size_t CharCount(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string Capitalised(std::string word) {
  if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 'a' + 'A');
  return word;
}

std::string MakeTitle(Random& rnd, bool greek, uint64_t serial) {
  const auto& words = greek ? GreekWords() : EnglishWords();
  std::string title = Capitalised(words[rnd.Below(words.size())]);
  const uint64_t count = rnd.Between(1, 6);
  for (uint64_t i = 0; i < count; ++i) {
    const std::string& w = words[rnd.Below(words.size())];
    if (CharCount(title) + 1 + CharCount(w) > 90) break;
    title += ' ';
    title += w;
  }
  return title + " " + std::to_string(serial);
}

std::string MakeMemo(Random& rnd, bool greek, size_t targetChars) {
  std::string memo;
  size_t chars = 0;
  size_t lineChars = 0;
  size_t lineTarget = rnd.Between(30, 90);
  while (chars < targetChars) {
    const bool greekWord = greek ? rnd.Unit() < 0.9 : rnd.Unit() < 0.05;
    const auto& words = greekWord ? GreekWords() : EnglishWords();
    std::string piece;
    if (lineChars >= lineTarget) {
      piece = "\r\n";
      lineChars = 0;
      lineTarget = rnd.Between(30, 90);
    } else if (lineChars > 0) {
      piece = " ";
    }
    piece += words[rnd.Below(words.size())];
    const size_t pieceChars = CharCount(piece);
    if (chars + pieceChars > targetChars) {
      // Fill the rest with plain letters so the memo has exactly the size drawn.
      memo.append(targetChars - chars, 'x');
      break;
    }
    memo += piece;
    chars += pieceChars;
    lineChars = piece[0] == '\r' ? pieceChars - 2 : lineChars + pieceChars;
  }
  return memo;
}

size_t DrawMemoSize(Random& rnd) {
  const double r = rnd.Unit();
  if (r < 0.20) return 0;
  auto logUniform = [&](double lo, double hi) {
    return static_cast<size_t>(std::exp(std::log(lo) + rnd.Unit() * (std::log(hi) - std::log(lo))));
  };
  if (r < 0.85) return rnd.Between(1, 400);
  if (r < 0.98) return logUniform(400, 4096);
  return std::min<size_t>(logUniform(4096, 65536), 65536);
}

}  // namespace

RandomNoteSource::RandomNoteSource(uint32_t count, uint64_t seed) : state_(seed), ids_(count) {
  Random rnd(state_);
  for (uint32_t i = 0; i < count; ++i) ids_[i] = i + 1;
  for (uint32_t i = count; i > 1; --i) std::swap(ids_[i - 1], ids_[rnd.Below(i)]);
  state_ = rnd.State();
}

bool RandomNoteSource::Next(Note& note) {
  if (next_ >= ids_.size()) return false;
  Random rnd(state_);
  const auto k = static_cast<uint32_t>(next_++);
  note.id = ids_[k];
  const double r = rnd.Unit();
  if (k == 0 || r < 0.04) {
    note.parent = 0;
  } else if (r < 0.60) {
    const uint32_t span = std::min<uint32_t>(k, 30);
    note.parent = ids_[k - 1 - rnd.Below(span)];
  } else {
    note.parent = ids_[rnd.Below(k)];
  }
  const bool greek = rnd.Unit() < 0.35;
  note.title = MakeTitle(rnd, greek, static_cast<uint64_t>(note.id));
  note.memo = MakeMemo(rnd, greek, DrawMemoSize(rnd));
  state_ = rnd.State();
  return true;
}

std::vector<Note> RandomNotes(uint32_t count, uint64_t seed) {
  RandomNoteSource source(count, seed);
  std::vector<Note> notes(count);
  for (Note& note : notes) source.Next(note);
  return notes;
}

namespace {

uint32_t ReadU32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) | static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
void PutU32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string WithExtension(const std::string& dbfPath, const char* ext) {
  return dbfPath.substr(0, dbfPath.size() - 4) + ext;
}

std::string ReadAt(engine::File& file, uint64_t offset, size_t length) {
  std::string out(length, '\0');
  out.resize(file.ReadAt(offset, out.data(), length));
  return out;
}

void WriteAt(engine::File& file, uint64_t offset, std::string_view bytes) { file.WriteAt(offset, bytes.data(), bytes.size()); }

// Appends memo blocks to a new dBASE IV memo file and table records to a new table, each through
// a buffer of a few megabytes, so that a table of any size costs its two files' writes and never
// holds more than one note's text at a time.
class BufferedAppender {
 public:
  BufferedAppender(engine::File& file, uint64_t at) : file_(file), at_(at) {}
  void Append(std::string_view bytes) {
    buffer_ += bytes;
    if (buffer_.size() >= kFlushBytes) Flush();
  }
  void Flush() {
    WriteAt(file_, at_, buffer_);
    at_ += buffer_.size();
    buffer_.clear();
  }
  uint64_t End() const { return at_ + buffer_.size(); }

 private:
  static constexpr size_t kFlushBytes = size_t(8) << 20;
  engine::File& file_;
  uint64_t at_;
  std::string buffer_;
};

// Writes the table `dbf` (which must not exist) with the `total` notes `next` hands out: the
// records and memos straight into the files the engine created, synced once, then the index
// built by the engine's Reindex.
void BuildNoteTable(const std::string& dbf, uint32_t total, const NoteSource& next,
                    const std::function<void(uint32_t done, uint32_t total)>& progress, engine::FileSystem& fs) {
  const std::string dbt = WithExtension(dbf, ".dbt");
  engine::Table::Create(dbf, NoteTableSpec(), &fs);
  engine::OpenOptions options;
  options.fileSystem = &fs;
  Note note;
  {
    // The records are formatted by the engine itself (numbers, code page, refusals of characters
    // the code page cannot hold); only the memo pointers are filled in here.
    auto table = engine::Table::Open(dbf, options);
    const int idField = table->FieldIndex("ID");
    const int parentField = table->FieldIndex("Parent");
    const int textField = table->FieldIndex("Text");
    const int memoField = table->FieldIndex("MEMO");
    const uint32_t memoOffset = table->Fields()[memoField].offset;
    auto format = [&](const Note& from) {
      engine::Record record = table->BlankRecord();
      table->SetText(record, idField, std::to_string(from.id));
      if (from.parent) table->SetText(record, parentField, std::to_string(from.parent));
      table->SetText(record, textField, from.title);
      return record;
    };
    if (total > 0 && total <= 64) {
      // A handful of notes: the ordinary path, one atomic change each.
      while (next(note)) {
        engine::Record record = format(note);
        if (!note.memo.empty()) record.pendingMemos[memoField] = table->EncodeText(note.memo, "MEMO");
        table->Append(record);
        if (progress) progress(static_cast<uint32_t>(record.recno), total);
      }
      return;
    }

    // The memo file: dBASE IV blocks "FF FF 08 00", length (8 + data), data, padded to the
    // block. The table: records after the header, one end mark, the count in the header.
    auto memoFile = fs.Open(dbt, engine::OpenMode::ReadWrite);
    const std::string memoHeader = ReadAt(*memoFile, 0, 512);
    if (memoHeader.size() < 24) throw EngineError(ResultCode::MemoDamaged, dbt + ": the new memo file has no header");
    uint32_t blockSize = static_cast<unsigned char>(memoHeader[20]) | static_cast<unsigned char>(memoHeader[21]) << 8;
    if (blockSize < 64) blockSize = 512;
    uint32_t nextBlock = ReadU32(memoHeader, 0);
    if (nextBlock == 0) nextBlock = 1;
    auto dbfFile = fs.Open(dbf, engine::OpenMode::ReadWrite);
    const std::string dbfHeader = ReadAt(*dbfFile, 0, 32);
    if (dbfHeader.size() < 32) throw EngineError(ResultCode::TableDamaged, dbf + ": the new table has no header");
    const uint32_t headerLength = static_cast<unsigned char>(dbfHeader[8]) | static_cast<unsigned char>(dbfHeader[9]) << 8;

    BufferedAppender memos(*memoFile, static_cast<uint64_t>(nextBlock) * blockSize);
    BufferedAppender records(*dbfFile, headerLength);
    uint32_t written = 0;
    std::string block;
    while (next(note)) {
      engine::Record record = format(note);
      if (!note.memo.empty()) {
        block.assign("\xFF\xFF\x08\x00\0\0\0\0", 8);
        block += table->EncodeText(note.memo, "MEMO");
        PutU32(block, 4, static_cast<uint32_t>(block.size()));
        const auto blocks = static_cast<uint32_t>((block.size() + blockSize - 1) / blockSize);
        block.resize(static_cast<size_t>(blocks) * blockSize, '\0');
        std::string pointer = std::to_string(nextBlock);
        pointer.insert(0, 10 - pointer.size(), ' ');
        record.bytes.replace(memoOffset, 10, pointer);
        memos.Append(block);
        nextBlock += blocks;
      }
      records.Append(record.bytes);
      ++written;
      if (progress && (written & 0x3FFF) == 0) progress(written * 3 / 4, total);
    }
    memos.Flush();
    memoFile->Truncate(static_cast<uint64_t>(nextBlock) * blockSize);
    std::string nextBytes(4, '\0');
    PutU32(nextBytes, 0, nextBlock);
    WriteAt(*memoFile, 0, nextBytes);
    memoFile->Sync();

    records.Append("\x1A");
    const uint64_t size = records.End();
    records.Flush();
    dbfFile->Truncate(size);
    std::string count(4, '\0');
    PutU32(count, 0, written);
    WriteAt(*dbfFile, 4, count);
    dbfFile->Sync();
  }
  if (progress) progress(total * 3 / 4, total);

  engine::Table::Open(dbf, options)->Reindex();
}

}  // namespace

void CreateNoteTable(const std::string& folder, const std::vector<Note>& notes,
                     const std::function<void(uint32_t done, uint32_t total)>& progress, engine::FileSystem* fileSystem) {
  size_t at = 0;
  CreateNoteTable(folder, static_cast<uint32_t>(notes.size()), [&](Note& next) {
    if (at >= notes.size()) return false;
    next = notes[at++];
    return true;
  }, progress, fileSystem);
}

void CreateNoteTable(const std::string& folder, uint32_t total, const NoteSource& next,
                     const std::function<void(uint32_t done, uint32_t total)>& progress, engine::FileSystem* fileSystem) {
  engine::FileSystem& fs = fileSystem ? *fileSystem : engine::FileSystem::Default();
  const std::string dbf = NoteTablePath(folder);
  const std::string journal = engine::Journal::PathFor(dbf);
  // A create that stopped during its final renames left their journal: completing it puts the
  // whole table in place (a torn one is dropped), as the table's first open would.
  if (!fs.Exists(dbf) && fs.Exists(journal)) engine::Journal::Recover(fs, journal);
  const std::vector<std::string> paths = {WithExtension(dbf, ".dbt"), WithExtension(dbf, ".mdx"), dbf};
  for (const std::string& path : paths) {
    if (fs.Exists(path)) throw EngineError(ResultCode::InvalidCall, path + " already exists; it is left as it is");
  }

  // The table is made whole in a folder of its own (what an earlier create left there is
  // dropped), so that a crash never leaves a part of it under its own names.
  const std::string work = dbf + "-create";
  std::error_code ignored;
  std::filesystem::remove_all(work, ignored);
  if (!std::filesystem::create_directory(work, ignored) && !std::filesystem::is_directory(work))
    throw EngineError(ResultCode::IoError, "cannot make the folder " + work + ": " + ignored.message());
  BuildNoteTable(NoteTablePath(work), total, next, progress, fs);

  // Then it is swapped in as a pack swaps its new files in: beside the table under the pack's
  // temporary names first, then renamed into place through a rename journal, the table last.
  std::vector<std::pair<std::string, std::string>> renames;
  for (const std::string& path : paths) {
    const std::string temporary = path + "-pack";
    fs.Rename(work + "/" + std::filesystem::path(path).filename().string(), temporary);
    renames.emplace_back(temporary, path);
  }
  engine::Journal::RenameAll(fs, journal, renames);
  std::filesystem::remove(work, ignored);
}

}  // namespace tindrel::tools
