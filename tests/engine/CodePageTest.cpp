// Code pages: the language driver byte names the page; every byte of every supported page
// decodes and encodes back to itself; what a page cannot hold is refused.

#include <gtest/gtest.h>

#include "store/engine/CodePage.h"
#include "store/engine/EngineError.h"

namespace tindrel::engine {
namespace {

TEST(CodePageTest, LanguageDriverBytesNameTheirCodePages) {
  const std::pair<uint8_t, int> cases[] = {
      {0x01, 437}, {0x1B, 437}, {0x02, 850},  {0x64, 852},  {0x1F, 852},  {0x26, 866},  {0x65, 866},
      {0x66, 865}, {0x03, 1252}, {0x57, 1252}, {0x59, 1252}, {0xC8, 1250}, {0xC9, 1251}, {0x6A, 737},
      {0x86, 737}, {0xCB, 1253}, {0x98, 10006}, {0x00, 0},   {0xF0, 0},
  };
  for (const auto& [ldid, page] : cases) EXPECT_EQ(CodePage::FromLanguageDriver(ldid), page) << int(ldid);
  for (int page : {437, 850, 852, 866, 1250, 1251, 1252, 737, 1253})
    EXPECT_EQ(CodePage::FromLanguageDriver(CodePage::LanguageDriverFor(page)), page) << page;
}

TEST(CodePageTest, EveryByteRoundTripsInEverySupportedPage) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (int page : {0, 437, 737, 850, 852, 857, 865, 866, 874, 1250, 1251, 1252, 1253, 1254, 1257}) {
    ASSERT_TRUE(CodePage::IsSupported(page)) << page;
    auto cp = CodePage::Get(page);
    std::string text = cp->Decode(all);
    EXPECT_EQ(cp->Encode(text, "F"), all) << page;
  }
  EXPECT_FALSE(CodePage::IsSupported(932)) << "a multi-byte page is not converted byte by byte";
}

TEST(CodePageTest, DecodingGivesTheCharactersOfThePage) {
  struct Case { int page; std::string bytes; std::string utf8; };
  const Case cases[] = {
      {737, "\x80\x81\x97\xE0", "ΑΒΩω"},  {1253, "\xC1\xDC\xDE", "Αάή"}, {866, "\x80\xA0", "Аа"},
      {1250, "\xE8\x9E", "čž"},            {852, "\x9F", "č"},            {437, "\x8A", "è"},
      {1252, "\x85\x80", "…€"},            {0, "\xE9\xFF", "éÿ"},
  };
  for (const Case& c : cases) {
    auto cp = CodePage::Get(c.page);
    EXPECT_EQ(cp->Decode(c.bytes), c.utf8) << c.page;
    EXPECT_EQ(cp->Encode(c.utf8, "F"), c.bytes) << c.page;
  }
}

TEST(CodePageTest, BytesThePageDoesNotMapReadAsPrivateUseCharactersAndComeBack) {
  auto cp = CodePage::Get(1253);
  EXPECT_EQ(cp->Decode("\xAA"), "\xEF\x9E\xAA");  // U+F7AA
  EXPECT_EQ(cp->Encode("\xEF\x9E\xAA", "F"), "\xAA");
  // A private-use character for a byte the page does map is no character of the page.
  EXPECT_THROW(cp->Encode("\xEF\x9F\x81", "F"), EngineError);  // U+F7C1; 0xC1 is Alpha
}

TEST(CodePageTest, WhatThePageCannotHoldIsRefusedNamingCharacterAndField) {
  struct Case { int page; std::string utf8; std::string message; };
  const Case cases[] = {
      {1253, "abc€Ж", "The character 'Ж' (U+0416) in field 'TEXT' cannot be stored in the table's code page 1253"},
      {737, "€", "The character '€' (U+20AC) in field 'TEXT' cannot be stored in the table's code page 737"},
      {0, "Ω", "The character 'Ω' (U+03A9) in field 'TEXT' cannot be stored in the table's ISO 8859-1"},
      {1252, "😀", "The character '😀' (U+1F600) in field 'TEXT' cannot be stored in the table's code page 1252"},
  };
  for (const Case& c : cases) {
    try {
      CodePage::Get(c.page)->Encode(c.utf8, "TEXT");
      ADD_FAILURE() << c.page;
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), ResultCode::UnmappableCharacter);
      EXPECT_EQ(e.MainText(), c.message);
    }
  }
  for (const std::string bad : {std::string("\xC3"), std::string("\xC0\x80"), std::string("\xED\xA0\x80"), std::string("\xFF")}) {
    try {
      CodePage::Get(1252)->Encode(bad, "TEXT");
      ADD_FAILURE();
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), ResultCode::InvalidValue);
    }
  }
}

}  // namespace
}  // namespace tindrel::engine
