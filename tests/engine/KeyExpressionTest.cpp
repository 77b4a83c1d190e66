// Key expressions evaluated on raw records, and date keys.

#include "store/engine/KeyExpression.h"

#include <gtest/gtest.h>

#include "store/engine/BcdNumber.h"
#include "tests/engine/MdxTestSupport.h"

namespace tindrel::engine {
namespace {

using testing::Hex;

std::vector<FieldDesc> Fields() {
  // NAME C10, AMOUNT N8.2, BORN D8, OK L1, NOTES M10
  std::vector<FieldDesc> f(5);
  f[0] = {"NAME", 'C', 10, 0, 1};
  f[1] = {"Amount", 'N', 8, 2, 11};
  f[2] = {"BORN", 'D', 8, 0, 19};
  f[3] = {"OK", 'L', 1, 0, 27};
  f[4] = {"NOTES", 'M', 10, 0, 28};
  return f;
}

std::string Record(std::string_view name, std::string_view amount, std::string_view born, char ok = 'T',
                   char flag = ' ') {
  std::string r(1, flag);
  auto pad = [](std::string_view s, size_t n, bool right) {
    std::string v(s.substr(0, n));
    return right ? std::string(n - v.size(), ' ') + v : v + std::string(n - v.size(), ' ');
  };
  r += pad(name, 10, false) + pad(amount, 8, true) + pad(born, 8, false) + ok + std::string(10, ' ');
  return r;
}

struct Case {
  const char* expression;
  ValueType type;
  int width;
  const char* result;  // text result, or the number / JDN / T-F as text
};

TEST(KeyExpression, EvaluatesTheSupportedForms) {
  const std::string record = Record("  Smith", "-12.50", "20000101");
  const Case cases[] = {
      {"name", ValueType::Character, 10, "  Smith   "},
      {"UPPER(LTRIM(TRIM(NAME)))", ValueType::Character, 10, "SMITH"},
      {"lower(Name)", ValueType::Character, 10, "  smith   "},
      {"RTRIM(NAME)+'!'", ValueType::Character, 11, "  Smith!"},
      {"ALLTRIM(NAME) + \"x\"", ValueType::Character, 11, "Smithx"},
      {"STR(AMOUNT,8,2)", ValueType::Character, 8, "  -12.50"},
      {"STR(AMOUNT)", ValueType::Character, 10, "       -13"},  // halves round away from zero
      {"STR(AMOUNT,3)", ValueType::Character, 3, "-13"},
      {"STR(AMOUNT,2)", ValueType::Character, 2, "**"},
      {"DTOS(BORN)+NAME", ValueType::Character, 18, "20000101  Smith   "},
      {"SUBSTR(NAME,3,3)", ValueType::Character, 3, "Smi"},
      {"LEFT(NAME,4)", ValueType::Character, 4, "  Sm"},
      {"RIGHT(TRIM(NAME),2)", ValueType::Character, 2, "th"},
      {"AMOUNT", ValueType::Numeric, 12, "-12.50"},
      {"AMOUNT*2+1", ValueType::Numeric, 12, "-24"},
      {"-AMOUNT", ValueType::Numeric, 12, "12.5"},
      {"VAL('42')", ValueType::Numeric, 12, "42"},
      {"BORN", ValueType::Date, 8, "2451545"},
      {".NOT. DELETED()", ValueType::Logical, 1, "T"},
      {"OK .AND. AMOUNT < 0", ValueType::Logical, 1, "T"},
      {"NAME = '  Sm' .OR. .F.", ValueType::Logical, 1, "T"},
      {"NAME == '  Sm'", ValueType::Logical, 1, "F"},
      {"TRIM(NAME) <> 'x' .AND. !OK", ValueType::Logical, 1, "F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    std::string why;
    auto expr = KeyExpression::Parse(c.expression, Fields(), &why);
    ASSERT_TRUE(expr) << why;
    EXPECT_EQ(expr->Type(), c.type);
    EXPECT_EQ(expr->Width(), c.width);
    KeyValue v = expr->Evaluate(record);
    switch (c.type) {
      case ValueType::Character: EXPECT_EQ(v.text, c.result); break;
      case ValueType::Numeric: EXPECT_EQ(bcd::Compare(bcd::EncodeText(v.text), bcd::EncodeText(c.result)), 0) << v.text; break;
      case ValueType::Date: EXPECT_EQ(v.number, std::stod(c.result)); break;
      case ValueType::Logical: EXPECT_EQ(v.logical, std::string(c.result) == "T"); break;
    }
  }
}

TEST(KeyExpression, ListsTheFieldsItReadsInOrder) {
  auto expr = KeyExpression::Parse("STR(amount,8,2)+name+DTOS(born)+NAME", Fields());
  ASSERT_TRUE(expr);
  EXPECT_EQ(expr->Fields(), (std::vector<int>{1, 0, 2}));
}

TEST(KeyExpression, RefusesWhatItCannotEvaluate) {
  for (const char* text : {"NOSUCH", "SOUNDEX(NAME)", "NOTES", "NAME+AMOUNT", "UPPER(NAME", "STR(AMOUNT,LEN)",
                           "'open", "NAME = 1", "", "A->NAME", "((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((NAME))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))"}) {
    SCOPED_TRACE(text);
    std::string why;
    EXPECT_FALSE(KeyExpression::Parse(text, Fields(), &why));
    EXPECT_FALSE(why.empty());
  }
}

TEST(KeyExpression, ReadsShortRecordsAsBlanks) {
  auto expr = KeyExpression::Parse("NAME+DTOS(BORN)", Fields());
  ASSERT_TRUE(expr);
  EXPECT_EQ(expr->Evaluate(" Jo").text, "Jo" + std::string(8, ' ') + std::string(8, ' '));
}

TEST(DateKeys, JulianDayNumbersAndTheirBytes) {
  struct DateCase {
    const char* text;
    int64_t jdn;
    const char* keyHex;
  };
  const DateCase cases[] = {
      {"19700101", 2440588, "00000000c69e4241"},
      {"20000101", 2451545, "000000802cb44241"},
      {"18991231", 2415020, ""},
      {"17760704", 2369916, ""},
      {"        ", 0, "7dc39425ad49b254"},  // blank: 1.0E100, after every real date
      {"20230229", 0, "7dc39425ad49b254"},  // no such day reads as blank
      {"2000ab01", 0, "7dc39425ad49b254"},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(JulianDayFromText(c.text), c.jdn);
    if (*c.keyHex) {
      EXPECT_EQ(Hex(DateKey(static_cast<double>(c.jdn))), c.keyHex);
    }
    EXPECT_EQ(DateKeyValue(DateKey(static_cast<double>(c.jdn))), c.jdn == 0 ? kBlankDateKey : static_cast<double>(c.jdn));
  }
}

}  // namespace
}  // namespace tindrel::engine
