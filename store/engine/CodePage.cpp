#include "store/engine/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <map>
#include <mutex>

#include "store/engine/EngineError.h"
#include "store/engine/Utf8Append.h"

namespace tindrel::engine {
namespace {

constexpr char32_t kPrivateUseBase = 0xF700;

struct DriverEntry {
  uint8_t ldid;
  int codePage;
};

// Language driver bytes and the code page each one names.
constexpr DriverEntry kDrivers[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x04, 10000}, {0x08, 865},  {0x09, 437},  {0x0A, 850},
    {0x0B, 437},  {0x0D, 437},  {0x0E, 850},  {0x0F, 437},   {0x10, 850},  {0x11, 437},  {0x12, 850},
    {0x13, 932},  {0x14, 850},  {0x15, 437},  {0x16, 850},   {0x17, 865},  {0x18, 437},  {0x19, 437},
    {0x1A, 850},  {0x1B, 437},  {0x1C, 863},  {0x1D, 850},   {0x1F, 852},  {0x22, 852},  {0x23, 852},
    {0x24, 860},  {0x25, 850},  {0x26, 866},  {0x37, 850},   {0x40, 852},  {0x4D, 936},  {0x4E, 949},
    {0x4F, 950},  {0x50, 874},  {0x57, 1252}, {0x58, 1252},  {0x59, 1252}, {0x64, 852},  {0x65, 866},
    {0x66, 865},  {0x67, 861},  {0x68, 895},  {0x69, 620},   {0x6A, 737},  {0x6B, 857},  {0x6C, 863},
    {0x78, 950},  {0x79, 949},  {0x7A, 936},  {0x7B, 932},   {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256},
    {0x86, 737},  {0x87, 852},  {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250},
    {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
};

// The one byte written for each code page.
constexpr DriverEntry kPreferred[] = {
    {0x01, 437},  {0x02, 850},  {0x64, 852},  {0x65, 866},  {0x6A, 737},  {0x57, 1252}, {0xC8, 1250},
    {0xC9, 1251}, {0xCB, 1253}, {0xCA, 1254}, {0x7D, 1255}, {0x7E, 1256}, {0xCC, 1257}, {0x08, 865},
    {0x6B, 857},  {0x24, 860},  {0x67, 861},  {0x1C, 863},  {0x7C, 874},  {0x04, 10000}, {0x98, 10006},
    {0x96, 10007}, {0x97, 10029},
};

std::string IconvName(int codePage) {
  switch (codePage) {
    case 10000: return "MACINTOSH";
    case 10006: return "MAC-GREEK";
    case 10007: return "MAC-CYRILLIC";
    case 10029: return "MAC-CENTRALEUROPE";
    default: return "CP" + std::to_string(codePage);
  }
}

bool IsSingleByte(int codePage) {
  switch (codePage) {
    case 932: case 936: case 949: case 950: case 895: case 620: return false;
    default: return true;
  }
}

// Decodes one byte through iconv; returns false when the code page does not map it.
bool DecodeByte(iconv_t cd, unsigned char byte, char32_t& out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[1] = {static_cast<char>(byte)};
  char32_t result[4] = {};
  char* inPtr = in;
  size_t inLeft = 1;
  char* outPtr = reinterpret_cast<char*>(result);
  size_t outLeft = sizeof result;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
  if (inLeft != 0 || sizeof result - outLeft != sizeof(char32_t)) return false;
  out = result[0];
  return true;
}

}  // namespace

int CodePage::FromLanguageDriver(uint8_t ldid) {
  for (const auto& entry : kDrivers)
    if (entry.ldid == ldid) return entry.codePage;
  return 0;
}

uint8_t CodePage::LanguageDriverFor(int codePage) {
  for (const auto& entry : kPreferred)
    if (entry.codePage == codePage) return entry.ldid;
  return 0;
}

bool CodePage::IsSupported(int codePage) {
  if (codePage == 0) return true;
  if (!IsSingleByte(codePage)) return false;
  iconv_t cd = iconv_open("UTF-32LE", IconvName(codePage).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(cd);
  return true;
}

std::shared_ptr<const CodePage> CodePage::Get(int codePage) {
  static std::mutex mutex;
  static std::map<int, std::shared_ptr<const CodePage>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = cache[codePage];
  if (!slot) slot = std::make_shared<const CodePage>(codePage);
  return slot;
}

CodePage::CodePage(int number) : number_(number), encode_(0x10000, 0) {
  std::array<char32_t, 256> chars{};
  std::array<bool, 256> mapped{};
  if (number == 0) {
    for (int b = 0; b < 256; ++b) {
      chars[b] = static_cast<char32_t>(b);
      mapped[b] = true;
    }
  } else {
    if (!IsSingleByte(number))
      throw EngineError(ResultCode::Unsupported, "Code page " + std::to_string(number) + " is not supported");
    iconv_t cd = iconv_open("UTF-32LE", IconvName(number).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
      throw EngineError(ResultCode::Unsupported, "Code page " + std::to_string(number) + " is not supported");
    for (int b = 0; b < 256; ++b) mapped[b] = DecodeByte(cd, static_cast<unsigned char>(b), chars[b]);
    iconv_close(cd);
  }
  for (int b = 0; b < 256; ++b) {
    // A character that two bytes decode to, or one in our private-use range, cannot round-trip;
    // the later byte then reads as its private-use character instead.
    if (mapped[b] && (chars[b] >= 0x10000 || encode_[chars[b]] != 0 ||
                      (chars[b] >= kPrivateUseBase && chars[b] < kPrivateUseBase + 256)))
      mapped[b] = false;
    if (mapped[b]) encode_[chars[b]] = static_cast<uint16_t>(b + 1);
  }
  for (int b = 0; b < 256; ++b) {
    if (!mapped[b]) {
      chars[b] = kPrivateUseBase + static_cast<char32_t>(b);
      encode_[chars[b]] = static_cast<uint16_t>(b + 1);
    }
    std::string text;
    AppendUtf8(text, chars[b]);
    decode_[b].length = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), decode_[b].bytes);
    if (b < 0x80 && chars[b] != static_cast<char32_t>(b)) asciiIdentity_ = false;
    units_[b] = static_cast<char16_t>(chars[b]);
  }
}

void CodePage::DecodeUnits(std::string_view raw, char16_t* out) const {
  for (unsigned char byte : raw) *out++ = units_[byte];
}

std::string CodePage::Decode(std::string_view raw) const {
  if (asciiIdentity_ && std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(raw);
  // Every byte decodes to at most three UTF-8 bytes (the table holds only the Basic
  // Multilingual Plane); each copies four, the slack absorbing the last one's overrun.
  std::string out(raw.size() * 3 + 1, '\0');
  char* at = out.data();
  for (unsigned char byte : raw) {
    const Utf8& u = decode_[byte];
    std::memcpy(at, u.bytes, 4);
    at += u.length;
  }
  out.resize(static_cast<size_t>(at - out.data()));
  return out;
}

std::string CodePage::Encode(std::string_view utf8, std::string_view fieldName) const {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  auto invalid = [&] {
    return EngineError(ResultCode::InvalidValue, "The text for field '" + std::string(fieldName) + "' is not valid UTF-8",
                       {"Field: " + std::string(fieldName)});
  };
  while (i < utf8.size()) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    char32_t c;
    size_t length;
    if (lead < 0x80) { c = lead; length = 1; }
    else if ((lead & 0xE0) == 0xC0) { c = lead & 0x1F; length = 2; }
    else if ((lead & 0xF0) == 0xE0) { c = lead & 0x0F; length = 3; }
    else if ((lead & 0xF8) == 0xF0) { c = lead & 0x07; length = 4; }
    else throw invalid();
    if (i + length > utf8.size()) throw invalid();
    for (size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) throw invalid();
      c = (c << 6) | (next & 0x3F);
    }
    if ((length == 2 && c < 0x80) || (length == 3 && c < 0x800) || (length == 4 && c < 0x10000) || c > 0x10FFFF ||
        (c >= 0xD800 && c <= 0xDFFF))
      throw invalid();
    uint16_t slot = c < 0x10000 ? encode_[c] : 0;
    if (slot == 0) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
      std::string shown(utf8.substr(i, length));
      std::string page = number_ == 0 ? std::string("ISO 8859-1") : "code page " + std::to_string(number_);
      throw EngineError(ResultCode::UnmappableCharacter,
                        "The character '" + shown + "' (" + code + ") in field '" + std::string(fieldName) +
                            "' cannot be stored in the table's " + page,
                        {"Field: " + std::string(fieldName)});
    }
    out += static_cast<char>(slot - 1);
    i += length;
  }
  return out;
}

}  // namespace tindrel::engine
