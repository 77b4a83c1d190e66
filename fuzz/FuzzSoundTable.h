#pragma once
// The sound note table the engine's fuzz targets damage things beside: three notes (one memo in
// Greek, code page 1253), an index tag on ID, on a disk in memory.

#include <memory>
#include <string>

#include "store/engine/Table.h"
#include "tests/support/TableBuilder.h"
#include "tests/support/engine/PowerLossFileSystem.h"

namespace tindrel::fuzzing {

inline std::unique_ptr<engine::testing::PowerLossFileSystem> MakeSoundNoteTable(const std::string& path) {
  auto disk = std::make_unique<engine::testing::PowerLossFileSystem>();
  engine::TableSpec spec;
  spec.fields = {{"ID", 'C', 10}, {"TEXT", 'C', 40}, {"MEMO", 'M', 10}};
  spec.tags = {{"ID", "ID"}};
  spec.languageDriver = 0xCB;
  testing::WriteTable(path, spec, {{"1", "first", "a memo"}, {"2", "second", ""}, {"3", "third", "μνήμη"}},
                      disk.get());
  return disk;
}

}  // namespace tindrel::fuzzing
