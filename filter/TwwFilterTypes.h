#pragma once
// The plain types of the filter: match types, the component's option enumerations and one
// search criterion.

#include <QString>
#include <vector>

namespace tindrel {

// How a field's value is compared with a criterion. The dialog produces start, any, exact and
// range; fdMatchNone marks a field without criterion inside the dialog.
enum TwwFilterMatchType : unsigned char { fdMatchStart, fdMatchAny, fdMatchExact, fdMatchEnd, fdMatchRange, fdMatchNone };

// The search type preselected for a field without criterion: start, any or exact.
using TwwDefaultMatchType = TwwFilterMatchType;

// Which page the dialog preselects for a field without criterion.
enum TwwDefaultFilterBy { fdSmartFilter, fdFilterByRange, fdFilterByValue };

enum TwwFilterDialogSort { fdSortByFieldNo, fdSortByFieldName };

enum TwwFilterMethod { fdByFilter, fdByQueryModify, fdByQueryParams };

enum TwwFilterOptimization { fdNone, fdUseAllIndexes, fdUseActiveIndex };

enum TwwDatasetFilterType { fdUseOnFilter, fdUseFilterProp, fdUseBothFilterTypes };

enum TwwQueryFormatDateMode { qfdMonthDayYear, qfdDayMonthYear, qfdYearMonthDay };

enum TwwFilterFieldsFetchType { fmUseTTable, fmUseSQL, fmUseTFields };

// Which controls of the dialog show; a bit set, bit n for the n-th value.
enum TwwFilterDialogOption : unsigned {
  fdCaseSensitive = 1u << 0,
  fdShowCaseSensitive = 1u << 1,
  fdShowOKCancel = 1u << 2,
  fdShowViewSummary = 1u << 3,
  fdShowFieldOrder = 1u << 4,
  fdShowValueRangeTab = 1u << 5,
  fdShowNonMatching = 1u << 6,
  fdHidePartialAnywhere = 1u << 7,
  fdDisableDateTimePicker = 1u << 8,
};
using TwwFilterDialogOptions = unsigned;
inline constexpr TwwFilterDialogOptions kDefaultFilterDialogOptions =
    fdShowCaseSensitive | fdShowOKCancel | fdShowViewSummary | fdShowFieldOrder | fdShowValueRangeTab;

enum TwwOnFilterOption : unsigned { fdClearWhenNoCriteria = 1u << 0, fdClearWhenCloseDataSet = 1u << 1 };
using TwwOnFilterOptions = unsigned;

// How a filter is handed to the dataset.
struct TwwFilterPropertyOptions {
  TwwDatasetFilterType DatasetFilterType = fdUseOnFilter;
  bool UseLikeOperator = false;
  QString LikeWildcardChar = QStringLiteral("%");
  bool LikeSupportsUpperKeyword = false;
  bool UseBracketsAroundFields = true;
};

// One search criterion. A value criterion uses Value, CaseSensitive and NonMatching; a range
// criterion uses the two bounds (and keeps the case flag it had). Changing the kind keeps the
// other kind's fields as they were.
struct TwwFieldInfo {
  QString FieldName;    // the dataset field; derived from DisplayName when empty or unknown
  QString DisplayName;  // the key: one criterion per display name
  TwwFilterMatchType MatchType = fdMatchNone;
  QString FilterValue;
  QString MinValue;
  QString MaxValue;
  bool CaseSensitive = false;
  bool NonMatching = false;

  bool IsRange() const { return MatchType == fdMatchRange; }
  bool operator==(const TwwFieldInfo&) const = default;
};

// The ordered criteria list; criteria keep the order in which they were first created.
using TwwFieldInfoList = std::vector<TwwFieldInfo>;

}  // namespace tindrel
