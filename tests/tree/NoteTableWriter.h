#pragma once
// Writes small and large note tables for the tree's tests and benchmarks through the real
// engine. Making a table is set-up, not what is tested: the file system underneath skips the
// syncs, so a table of 100,000 notes takes seconds instead of one sync per note.

#include <memory>
#include <string>
#include <vector>

#include "store/engine/FileSystem.h"
#include "store/engine/PosixFileSystem.h"
#include "store/engine/Table.h"

namespace tindrel::testing {

struct Note {
  std::string id, parent, text;
  std::string memo = {};
};

class NoSyncFileSystem : public engine::FileSystem {
 public:
  bool Exists(const std::string& path) override { return real_.Exists(path); }
  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    return std::make_unique<NoSyncFile>(real_.Open(path, mode));
  }
  bool IsWritable(const std::string& path) override { return real_.IsWritable(path); }
  void Remove(const std::string& path) override { real_.Remove(path); }
  void Rename(const std::string& from, const std::string& to) override { real_.Rename(from, to); }
  void SyncFolderOf(const std::string&) override {}

 private:
  class NoSyncFile : public engine::File {
   public:
    explicit NoSyncFile(std::unique_ptr<engine::File> file) : file_(std::move(file)) {}
    const std::string& Path() const override { return file_->Path(); }
    uint64_t Size() override { return file_->Size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t length) override { return file_->ReadAt(offset, buffer, length); }
    void WriteAt(uint64_t offset, const void* data, size_t length) override { file_->WriteAt(offset, data, length); }
    void Truncate(uint64_t size) override { file_->Truncate(size); }
    void Sync() override {}
    bool TryLockExclusive() override { return file_->TryLockExclusive(); }

   private:
    std::unique_ptr<engine::File> file_;
  };
  engine::PosixFileSystem real_;
};

// ID C(idWidth) (or N(idWidth) with `numericId`), PARENT C(10), TEXT C(textWidth), MEMO M, with a
// production index tag on ID. Returns the path of the .dbf.
inline std::string WriteNoteTable(const std::string& folder, const std::vector<Note>& notes, bool numericId = false,
                                  uint16_t textWidth = 40, uint16_t idWidth = 10) {
  const std::string path = folder + "/Tindrel.dbf";
  NoSyncFileSystem fs;
  engine::TableSpec spec;
  spec.fields = {{"ID", numericId ? 'N' : 'C', idWidth}, {"PARENT", 'C', 10}, {"TEXT", 'C', textWidth}, {"MEMO", 'M', 10}};
  spec.tags = {{"ID", "ID"}};
  engine::Table::Create(path, spec, &fs);
  engine::OpenOptions options;
  options.fileSystem = &fs;
  auto table = engine::Table::Open(path, options);
  for (const Note& n : notes) {
    engine::Record r = table->BlankRecord();
    table->SetText(r, 0, n.id);
    if (!n.parent.empty()) table->SetText(r, 1, n.parent);
    table->SetText(r, 2, n.text);
    if (!n.memo.empty()) table->SetText(r, 3, n.memo);
    table->Append(r);
  }
  return path;
}

}  // namespace tindrel::testing
