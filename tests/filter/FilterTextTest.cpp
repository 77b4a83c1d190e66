// The filter-text variant: the criteria written as the dataset's own filter expression.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "filter/FilterText.h"
#include "filter/TwwFilterDialog.h"
#include "store/TDataSource.h"
#include "store/TTable.h"
#include "tests/store/StoreFixture.h"
#include "tests/support/platform/ScriptedPlatform.h"

namespace tindrel {
namespace {

using testing::Ids;
using testing::WriteNoteTable;

TwwFieldInfo Criterion(const char* field, TwwFilterMatchType type, const char* value, bool caseSensitive = true) {
  TwwFieldInfo c;
  c.DisplayName = QString::fromLatin1(field);
  c.MatchType = type;
  c.FilterValue = QString::fromUtf8(value);
  c.CaseSensitive = caseSensitive;
  return c;
}

class FilterTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.SetTableName(QString::fromStdString(WriteNoteTable(
        dir, {{"1", "", "Red fox", ""}, {"2", "1", "Blue whale", ""}, {"3", "1", "it's", ""}, {"4", "2", "", ""}}, true, 10)));
    table.Open();
    source.SetDataSet(&table);
    filter.SetDataSource(&source);
  }

  QString Text(TwwFieldInfoList criteria) {
    filter.FieldInfo() = std::move(criteria);
    const auto pieces = BuildFilterPieces(filter, table);
    return pieces ? JoinFilterPieces(*pieces) : QStringLiteral("<none>");
  }

  testing::ScriptedPlatform platform;
  QTemporaryDir dir;
  TTable table;
  TDataSource source;
  TwwFilterDialog filter;
};

TEST_F(FilterTextTest, PiecesByMatchTypeAndFlags) {
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchStart, "red or blue")}), QStringLiteral(" ([TEXT]='red*' or [TEXT]='blue*')"));
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchExact, "it's")}), QStringLiteral(" ([TEXT]='it''s')"));
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchExact, "null")}), QStringLiteral(" ([TEXT] is NULL)"));
  // Anywhere without LIKE gives no term; the piece "()" is dropped.
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchAny, "fox")}), QString());
  TwwFieldInfo second = Criterion("PARENT", fdMatchExact, "1");
  second.NonMatching = true;
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchExact, "a"), second}),
            QStringLiteral(" ([TEXT]='a')   and not ([PARENT]='1')"));
  TwwFieldInfo range;
  range.DisplayName = QStringLiteral("TEXT");
  range.MatchType = fdMatchRange;
  range.MinValue = QStringLiteral("A");
  range.MaxValue = QStringLiteral("M");
  EXPECT_EQ(Text({range}), QStringLiteral(" ([TEXT] >= 'A')  and ([TEXT] <= 'Mzzzzzzzzz')"));
  filter.FilterPropertyOptions().UseBracketsAroundFields = false;
  filter.FilterPropertyOptions().UseLikeOperator = true;
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchAny, "fox")}), QStringLiteral(" (TEXT like '%fox%')"));
  filter.FilterPropertyOptions().LikeSupportsUpperKeyword = true;
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchStart, "fox", false)}), QStringLiteral(" (Upper(TEXT) like 'FOX%')"));
}

TEST_F(FilterTextTest, ValuesLongerThanTheFieldAreKeptAndMissingFieldsWarn) {
  // Longer than the 10-character field, operator words included: every operand stays whole.
  EXPECT_EQ(Text({Criterion("TEXT", fdMatchExact, "abcdefghijKLM or whale")}),
            QStringLiteral(" ([TEXT]='abcdefghijKLM' or [TEXT]='whale')"));
  EXPECT_EQ(filter.FieldInfo()[0].FilterValue, QStringLiteral("abcdefghijKLM or whale"));
  EXPECT_EQ(Text({Criterion("NOSUCH", fdMatchExact, "x")}), QStringLiteral("<none>"));
  ASSERT_EQ(platform.boxes.shown.size(), 1u);
  EXPECT_EQ(platform.boxes.shown[0].text, QStringLiteral("Field Name not found in referenced tables. \r[NOSUCH]"));
}

TEST_F(FilterTextTest, ApplyingInstallsTheTextOnTheTable) {
  filter.FilterPropertyOptions().DatasetFilterType = fdUseFilterProp;
  filter.ApplyCriteria({Criterion("TEXT", fdMatchStart, "Red or Blue")});
  EXPECT_EQ(table.Filter(), QStringLiteral(" ([TEXT]='Red*' or [TEXT]='Blue*')"));
  EXPECT_TRUE(table.Active());
  EXPECT_TRUE(table.Filtered());
  EXPECT_EQ(Ids(table), (QStringList{"1", "2"}));
  EXPECT_EQ(filter.FieldInfo().size(), 1u);  // closing and reopening for the text kept the criteria
}

TEST_F(FilterTextTest, ARefusedTextSwitchesFilteringOffAndShowsThePieces) {
  filter.FilterPropertyOptions().DatasetFilterType = fdUseFilterProp;
  filter.FilterPropertyOptions().UseLikeOperator = true;  // the table's filter has no LIKE
  filter.ApplyCriteria({Criterion("TEXT", fdMatchStart, "red")});
  EXPECT_TRUE(table.Active());
  EXPECT_FALSE(table.Filtered());
  EXPECT_TRUE(table.Filter().isEmpty());
  ASSERT_EQ(platform.boxes.shown.size(), 1u);
  EXPECT_EQ(platform.boxes.shown[0].text, QStringLiteral("Unable to Execute Filter:\r([TEXT] like 'red%')\r"));
}

}  // namespace
}  // namespace tindrel
