#pragma once
// Helpers for the index tests: a temporary folder, real files through the POSIX file system, a
// change writer that writes straight through (counting what it writes), and a small reader of
// .dbf field descriptors and records so the fixture tables can be checked without the table
// layer.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "store/engine/ChangeWriter.h"
#include "store/engine/FieldDesc.h"
#include "store/engine/FileSystem.h"
#include "store/engine/PosixFileSystem.h"
#include "tests/support/Hex.h"

namespace tindrel::engine::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tindrel-mdx-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made) std::abort();
    path_ = made;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

 private:
  std::string path_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::unique_ptr<File> OpenFile(const std::string& path, OpenMode mode = OpenMode::ReadWrite) {
  static PosixFileSystem fs;
  return fs.Open(path, mode);
}

// Writes straight to the file and remembers which 512-byte pages each change touched.
class DirectWriter : public ChangeWriter {
 public:
  void WriteAt(File& file, uint64_t offset, std::string_view bytes) override {
    file.WriteAt(offset, bytes.data(), bytes.size());
    bytesWritten += bytes.size();
    for (uint64_t p = offset / 512; p * 512 < offset + bytes.size(); ++p) pages.insert(p);
  }
  void Truncate(File& file, uint64_t size) override { file.Truncate(size); }
  void Reset() {
    pages.clear();
    bytesWritten = 0;
  }
  std::set<uint64_t> pages;
  uint64_t bytesWritten = 0;
};

// The fields and records of a .dbf, read directly from its header.
struct DbfImage {
  std::vector<FieldDesc> fields;
  std::vector<std::string> records;
  std::vector<std::string_view> Views() const {
    std::vector<std::string_view> views;
    for (const auto& r : records) views.push_back(r);
    return views;
  }
};

inline DbfImage ReadDbf(const std::string& path) {
  std::string bytes = ReadAll(path);
  auto u8 = [&](size_t i) { return static_cast<uint8_t>(bytes.at(i)); };
  DbfImage image;
  uint32_t count = u8(4) | (u8(5) << 8) | (u8(6) << 16) | (static_cast<uint32_t>(u8(7)) << 24);
  uint16_t headerLength = static_cast<uint16_t>(u8(8) | (u8(9) << 8));
  uint16_t recordLength = static_cast<uint16_t>(u8(10) | (u8(11) << 8));
  uint32_t offset = 1;
  for (size_t at = 32; at + 32 <= headerLength && u8(at) != 0x0D && u8(at) != 0x0A; at += 32) {
    FieldDesc f;
    f.name = std::string(bytes.data() + at, 11).c_str();
    f.type = bytes[at + 11];
    f.length = u8(at + 16);
    f.decimals = u8(at + 17);
    f.offset = offset;
    f.indexFlag = u8(at + 31) != 0;
    offset += f.length;
    image.fields.push_back(f);
  }
  for (uint32_t r = 0; r < count; ++r) {
    size_t at = headerLength + static_cast<size_t>(r) * recordLength;
    if (at + recordLength > bytes.size()) break;
    image.records.push_back(bytes.substr(at, recordLength));
  }
  return image;
}

using tindrel::testing::Hex;

inline std::string Unhex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

}  // namespace tindrel::engine::testing
