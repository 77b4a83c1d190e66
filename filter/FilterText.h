#pragma once
// The filter-text variant of applying the criteria: the criteria written as one filter
// expression for the dataset's own filter (DatasetFilterType fdUseFilterProp or
// fdUseBothFilterTypes). The note table is filtered through the per-record hook instead.

#include <QStringList>
#include <optional>

namespace tindrel {

class TDataSet;
class TwwFilterDialog;

// The pieces of the filter text, in order; the text is every piece with one blank in front of
// it. A criterion on a field the dataset does not have shows the warning "Field Name not found
// in referenced tables. \r" with the field reference and gives nothing.
std::optional<QStringList> BuildFilterPieces(TwwFilterDialog& owner, TDataSet& dataSet);

QString JoinFilterPieces(const QStringList& pieces);

}  // namespace tindrel
