#include "store/engine/DbfFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "store/engine/EngineError.h"

namespace tindrel::engine {

uint16_t ReadU16(const char* p) {
  auto u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint16_t>(u[0] | (u[1] << 8));
}
uint32_t ReadU32(const char* p) {
  auto u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) | (static_cast<uint32_t>(u[2]) << 16) |
         (static_cast<uint32_t>(u[3]) << 24);
}
void PutU16(char* p, uint16_t value) {
  p[0] = static_cast<char>(value & 0xFF);
  p[1] = static_cast<char>(value >> 8);
}
void PutU32(char* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

DbfDate DbfDate::Today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

namespace {

[[noreturn]] void Damaged(const std::string& path, const std::string& what) {
  throw EngineError(ResultCode::TableDamaged, "The table " + path + " is damaged: " + what, {"File: " + path});
}

bool KnownVersion(uint8_t v) { return v == 0x03 || v == 0x83 || v == 0x8B || v == 0x84; }

}  // namespace

DbfFile DbfFile::Parse(std::string image, const std::string& path) {
  DbfFile dbf;
  const uint64_t size = image.size();
  if (size < 32) Damaged(path, "the file is shorter than a table header (" + std::to_string(size) + " bytes)");
  const auto version = static_cast<uint8_t>(image[0]);
  if (!KnownVersion(version)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", version);
    throw EngineError(ResultCode::Unsupported,
                      "The table " + path + " has the version byte " + hex + ", which is not a dBASE III or IV table",
                      {"File: " + path});
  }
  dbf.headerLength_ = ReadU16(&image[8]);
  dbf.recordLength_ = ReadU16(&image[10]);
  const uint32_t headerCount = ReadU32(&image[4]);
  const uint16_t hl = dbf.headerLength_;
  if (hl < 32 + 32 + 1) Damaged(path, "the header length " + std::to_string(hl) + " leaves no room for a field");
  if (hl > size) Damaged(path, "the header length " + std::to_string(hl) + " is beyond the end of the file");
  if (dbf.recordLength_ < 2) Damaged(path, "the record length " + std::to_string(dbf.recordLength_) + " is too small");

  // Descriptors: 32-byte slots until the 0x0D terminator or the end of the header.
  std::vector<FieldDesc> fields;
  std::vector<uint8_t> highBytes;  // decimal bytes of C fields, for the >255 extension
  size_t slot = 32;
  bool terminated = false;
  while (slot + 32 <= static_cast<size_t>(hl) - 1) {
    if (image[slot] == 0x0D) { terminated = true; break; }
    const char* d = &image[slot];
    FieldDesc f;
    size_t nameLength = 0;
    while (nameLength < 11 && d[nameLength] != 0) ++nameLength;
    f.name.assign(d, nameLength);
    while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
    f.type = d[11];
    f.length = static_cast<uint8_t>(d[16]);
    f.decimals = static_cast<uint8_t>(d[17]);
    f.indexFlag = d[31] == 1;
    if (f.name.empty()) Damaged(path, "field " + std::to_string(fields.size() + 1) + " has no name");
    if (f.length == 0) Damaged(path, "the field " + f.name + " has the length 0");
    fields.push_back(f);
    slot += 32;
  }
  if (!terminated) {
    if (slot >= size) Damaged(path, "the field list has no end mark");
    if (image[slot] != 0x0D)
      dbf.warnings_.push_back("The field list of " + path + " ends with the byte " +
                              std::to_string(static_cast<unsigned char>(image[slot])) + " instead of 13");
  }
  if (fields.empty()) Damaged(path, "the table has no fields");

  // Record length: 1 + the field lengths. A C field may use its decimal byte as a high length
  // byte (a known extension); that reading is taken only when it makes the lengths add up.
  auto sum = [&] {
    uint64_t total = 1;
    for (const auto& f : fields) total += f.length;
    return total;
  };
  if (sum() != dbf.recordLength_) {
    std::vector<FieldDesc> widened = fields;
    uint64_t total = 1;
    for (auto& f : widened) {
      if (f.type == 'C' && f.decimals != 0) {
        f.length = static_cast<uint16_t>(f.length + 256 * f.decimals);
        f.decimals = 0;
      }
      total += f.length;
    }
    if (total != dbf.recordLength_)
      Damaged(path, "the record length " + std::to_string(dbf.recordLength_) + " disagrees with the fields (" +
                        std::to_string(sum()) + " bytes)");
    fields = std::move(widened);
  }
  uint32_t offset = 1;
  for (auto& f : fields) {
    f.offset = offset;
    offset += f.length;
  }

  // Records: the header count, bounded by the complete records in the file. Records beyond the
  // count are read too when they follow without an end mark between (a writer that did not
  // update the count); they stop at the first byte that is no deletion flag.
  const uint64_t room = (size - hl) / dbf.recordLength_;
  uint64_t count = headerCount;
  if (count > room) {
    dbf.truncated_ = true;
    dbf.warnings_.push_back("The header of " + path + " counts " + std::to_string(headerCount) +
                            " records but the file holds " + std::to_string(room) +
                            "; the table opens read-only");
    count = room;
  } else {
    uint64_t extra = count;
    while (extra < room) {
      char flag = image[hl + extra * dbf.recordLength_];
      if (flag != kLive && flag != kDeleted) break;
      ++extra;
    }
    if (extra != count) {
      dbf.warnings_.push_back("The header of " + path + " counts " + std::to_string(headerCount) +
                              " records but the file holds " + std::to_string(extra) + "; all are read");
      count = extra;
    }
  }
  dbf.recordCount_ = static_cast<uint32_t>(count);
  const uint64_t end = hl + count * dbf.recordLength_;
  if (end >= size || image[end] != kEndMark) {
    bool found = end < size && std::find(image.begin() + static_cast<long>(end), image.end(), kEndMark) != image.end();
    if (!found) dbf.warnings_.push_back("The table " + path + " has no end mark after its records");
  }
  dbf.fields_ = std::move(fields);
  dbf.image_ = std::move(image);
  return dbf;
}

bool DbfFile::HasMemoFields() const {
  return std::any_of(fields_.begin(), fields_.end(), [](const FieldDesc& f) { return f.IsMemo(); });
}

uint32_t DbfFile::HeaderCount() const { return ReadU32(&image_[4]); }

std::string_view DbfFile::RecordAt(uint32_t recno) const {
  return std::string_view(image_).substr(RecordOffset(recno), recordLength_);
}

std::string DbfFile::HeaderCountAndDate(uint32_t count, DbfDate date) {
  std::string bytes(7, '\0');
  bytes[0] = static_cast<char>(std::clamp(date.year - 1900, 0, 255));
  bytes[1] = static_cast<char>(date.month);
  bytes[2] = static_cast<char>(date.day);
  PutU32(&bytes[3], count);
  return bytes;
}

std::string DbfFile::BuildImage(uint8_t version, uint8_t languageDriver, bool productionIndex,
                                const std::vector<FieldDesc>& fields, DbfDate date) {
  const size_t hl = 32 + 32 * fields.size() + 1;
  std::string image(hl + 1, '\0');
  image[0] = static_cast<char>(version);
  std::string countDate = HeaderCountAndDate(0, date);
  std::copy(countDate.begin(), countDate.end(), image.begin() + 1);
  PutU16(&image[8], static_cast<uint16_t>(hl));
  uint32_t recordLength = 1;
  for (const auto& f : fields) recordLength += f.length;
  PutU16(&image[10], static_cast<uint16_t>(recordLength));
  image[28] = productionIndex ? 1 : 0;
  image[29] = static_cast<char>(languageDriver);
  for (size_t i = 0; i < fields.size(); ++i) {
    char* d = &image[32 + 32 * i];
    std::memcpy(d, fields[i].name.data(), std::min<size_t>(fields[i].name.size(), 10));
    d[11] = fields[i].type;
    d[16] = static_cast<char>(fields[i].length);
    d[17] = static_cast<char>(fields[i].decimals);
    d[31] = fields[i].indexFlag ? 1 : 0;
  }
  image[hl - 1] = 0x0D;
  image[hl] = kEndMark;
  return image;
}

void DbfFile::Patch(uint64_t offset, std::string_view bytes) {
  if (offset + bytes.size() > image_.size()) image_.resize(offset + bytes.size(), '\0');
  std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<long>(offset));
}

}  // namespace tindrel::engine
