#pragma once
// The .dbf file held whole in memory: its header, field descriptors and records.
//
// Parse distrusts every byte: a header that disagrees with the file gives
// EngineError(TableDamaged) with a text saying what is wrong, never a crash or an allocation
// larger than the file. The image mirrors the file byte for byte; a change is written to the
// file through the change's writer and, once it is on disk, patched into the image.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/engine/FieldDesc.h"

namespace tindrel::engine {

struct DbfDate {
  int year = 2000, month = 1, day = 1;
  static DbfDate Today();
};

class DbfFile {
 public:
  static constexpr char kLive = ' ';
  static constexpr char kDeleted = '*';
  static constexpr char kEndMark = 0x1A;

  // Parses a whole file image. `path` names the file in error texts.
  static DbfFile Parse(std::string image, const std::string& path);
  // The image of a new, empty table (header, descriptors, 0x0D, 0x1A).
  static std::string BuildImage(uint8_t version, uint8_t languageDriver, bool productionIndex,
                                const std::vector<FieldDesc>& fields, DbfDate date);

  uint8_t Version() const { return static_cast<uint8_t>(image_[0]); }
  uint8_t LanguageDriver() const { return static_cast<uint8_t>(image_[29]); }
  bool ProductionIndexFlag() const { return image_[28] == 1; }
  bool HasMemoFields() const;
  uint16_t HeaderLength() const { return headerLength_; }
  uint16_t RecordLength() const { return recordLength_; }
  const std::vector<FieldDesc>& Fields() const { return fields_; }
  const std::vector<std::string>& Warnings() const { return warnings_; }
  // The header counts more records than the file holds: the file lost its tail.
  bool Truncated() const { return truncated_; }
  uint32_t HeaderCount() const;

  // Records this engine reads (see Parse for the rule).
  uint32_t RecordCount() const { return recordCount_; }
  std::string_view RecordAt(uint32_t recno) const;  // 1-based, recno <= RecordCount()
  uint64_t RecordOffset(uint32_t recno) const {
    return headerLength_ + static_cast<uint64_t>(recno - 1) * recordLength_;
  }
  const std::string& Image() const { return image_; }

  // Bytes 1-7 of the header for `count` records written on `date`.
  static std::string HeaderCountAndDate(uint32_t count, DbfDate date);

  // Patches the in-memory image after the same bytes reached the file.
  void Patch(uint64_t offset, std::string_view bytes);
  void SetRecordCount(uint32_t count) { recordCount_ = count; }
  void Truncate(uint64_t size) {
    if (size < image_.size()) image_.resize(size);
  }

 private:
  std::string image_;
  std::vector<FieldDesc> fields_;
  std::vector<std::string> warnings_;
  uint16_t headerLength_ = 0;
  uint16_t recordLength_ = 0;
  uint32_t recordCount_ = 0;
  bool truncated_ = false;
};

uint16_t ReadU16(const char* p);
uint32_t ReadU32(const char* p);
void PutU16(char* p, uint16_t value);
void PutU32(char* p, uint32_t value);

}  // namespace tindrel::engine
