// Numeric index keys: the encoding other programs write, decoding, and ordering by value.

#include "store/engine/BcdNumber.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/engine/MdxTestSupport.h"

namespace tindrel::engine {
namespace {

using testing::Hex;
using testing::Unhex;

std::string Key(std::string_view hexPrefix) {
  std::string key = Unhex(hexPrefix);
  key.resize(bcd::kKeySize, '\0');
  return key;
}

struct Worked {
  const char* text;
  double value;
  const char* written;    // what we write (digits up to the last non-zero one)
  const char* otherForm;  // the same value as another writer stored it ("" when the same)
};

// Worked examples of the key format, including the forms seen in files of other writers.
const Worked kWorked[] = {
    {"0", 0, "3401", "3101"},
    {"1", 1, "350510", ""},
    {"7", 7, "350570", ""},
    {"10", 10, "360510", "360910"},
    {"123", 123, "370d1230", ""},
    {"-5", -5, "358550", ""},
    {"1.5", 1.5, "350915", ""},
    {"0.1", 0.1, "340510", ""},
    {"0.05", 0.05, "330550", "330950"},
    {"-0.001", -0.001, "328510", "328d10"},
    {"-123.5", -123.5, "37911235", ""},
    {"999999.999", 999999.999, "3a259999999990", ""},
    {"1000000", 1000000, "3b0510", ""},
    {"20.5", 20.5, "360d2050", ""},
    {"   20.50", 20.5, "360d2050", "362920500000"},  // field text with padding; a 0x29 writer
    {"0.000", 0, "3401", ""},
    {"", 0, "3401", ""},          // a blank field
    {"*****", 0, "3401", ""},     // an overflowed field
};

TEST(BcdNumber, EncodesDecodesAndEqualsOtherWritersForms) {
  for (const Worked& w : kWorked) {
    SCOPED_TRACE(w.text);
    std::string key = bcd::EncodeText(w.text);
    EXPECT_EQ(Hex(key), Hex(Key(w.written)));
    EXPECT_DOUBLE_EQ(bcd::Decode(key), w.value);
    EXPECT_EQ(bcd::Compare(key, Key(w.written)), 0);
    if (*w.otherForm) {
      EXPECT_EQ(bcd::Compare(key, Key(w.otherForm)), 0) << "same value, another digit count";
      EXPECT_DOUBLE_EQ(bcd::Decode(Key(w.otherForm)), w.value);
    }
  }
}

TEST(BcdNumber, EncodesDoublesAndExtremes) {
  EXPECT_EQ(Hex(bcd::EncodeDouble(20.5)), Hex(Key("360d2050")));
  EXPECT_EQ(Hex(bcd::EncodeDouble(-0.0)), Hex(Key("3401")));
  EXPECT_EQ(Hex(bcd::EncodeText("1.5E3")), Hex(bcd::EncodeText("1500")));
  // 25 significant digits keep the first 20 (and then drop the trailing zero).
  EXPECT_EQ(Hex(bcd::EncodeText("1234567890123456789012345")), "4d4d12345678901234567890");
}

TEST(BcdNumber, OrdersByValueAroundZeroAndSigns) {
  // Ascending by value; raw exponent bytes would put 0 (34) after 0.05 (33).
  std::vector<std::string> ascending = {"-1000000", "-123.5", "-5", "-0.05", "-0.001", "0",
                                        "0.001",    "0.05",   "0.1", "1",     "1.5",    "7",
                                        "10",       "11",     "123", "999999.999", "1000000"};
  for (size_t i = 0; i < ascending.size(); ++i) {
    for (size_t j = 0; j < ascending.size(); ++j) {
      int c = bcd::Compare(bcd::EncodeText(ascending[i]), bcd::EncodeText(ascending[j]));
      int want = i < j ? -1 : i > j ? 1 : 0;
      EXPECT_EQ(c < 0 ? -1 : c > 0 ? 1 : 0, want) << ascending[i] << " vs " << ascending[j];
    }
  }
  // Zero in any exponent byte, with or without the sign bit, is zero.
  EXPECT_EQ(bcd::Compare(Key("3101"), Key("3481")), 0);
  EXPECT_LT(bcd::Compare(Key("3101"), bcd::EncodeText("0.0001")), 0);
  EXPECT_GT(bcd::Compare(Key("3101"), bcd::EncodeText("-0.0001")), 0);
}

TEST(BcdNumber, IgnoresNibblesBeyondTheDigitCount) {
  // 1 with garbage after its single digit is still 1.
  EXPECT_EQ(bcd::Compare(Key("35051f"), Key("350510")), 0);
  EXPECT_DOUBLE_EQ(bcd::Decode(Key("35051fff")), 1);
  // Short or garbage keys never read out of bounds.
  EXPECT_EQ(bcd::Compare("", ""), 0);
  EXPECT_NO_THROW(bcd::Decode(std::string(12, '\xff')));
}

}  // namespace
}  // namespace tindrel::engine
