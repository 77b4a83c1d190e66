#pragma once
// The criteria list made ready for the record test on one dataset, so that testing a record
// costs reading its fields and comparing, and nothing more: each criterion's field found, its
// value read into operands and folded, its bounds converted (TwwPreparedValue), a memo or text
// criterion's byte comparison compiled and its verdicts kept (StoredBytesCriterion).
//
// The filter's hook host keeps one between record tests. Before every record test it checks,
// cheaply, that nothing it was made from has changed, and prepares again when something has:
//   - the dataset, and each field object it found (a dataset closed and opened again has new
//     ones; one at the same place must have the same name, type and size);
//   - the criteria, compared in full (a list copied from the one prepared shares its texts and
//     compares at the cost of a pointer);
//   - the settings (operator words, pad character, locale).
// A memo or text criterion's verdicts belong to one state of the table and are made again
// after any change to it. A criterion whose field cannot be found is looked for again at every record,
// as the unprepared record test does.

#include <memory>
#include <optional>
#include <vector>

#include "filter/FilterMatching.h"
#include "filter/FilterStoredBytes.h"

namespace tindrel {

class TDataSet;
class TField;

class TwwPreparedCriterion {
 public:
  // Finds the criterion's field: by its field name, or, when that is empty or not a field of
  // the dataset, by the name derived from its display name (which is stored in `criterion`).
  TwwPreparedCriterion(TDataSet& dataSet, TwwFieldInfo& criterion, const TwwMatchSettings& settings);

  // Whether the dataset's current record satisfies the criterion it was prepared from (the
  // non-matching flag is not applied). A criterion on a field the dataset does not have
  // narrows nothing.
  bool Match(TDataSet& dataSet, TwwFieldInfo& criterion, const TwwMatchSettings& settings, TwwFieldValue& scratch);

  // Whether the field found is still the dataset's field it was.
  bool FieldStillThere(const TDataSet& dataSet) const;

 private:
  TField* field_ = nullptr;  // none: looked for at every record
  size_t index_ = 0;
  QString name_;
  TFieldType type_ = ftUnknown;
  int size_ = 0;
  std::optional<TwwPreparedValue> value_;
  std::unique_ptr<StoredBytesCriterion> bytes_;  // a memo or text criterion the stored bytes can decide
};

class TwwPreparedCriteria {
 public:
  // Whether the current record satisfies every criterion, in list order, stopping at the first
  // that fails; the non-matching flag inverts a value criterion's outcome (never a range's). An
  // empty list accepts every record. Prepares first when anything changed since the last call.
  bool MatchRecord(TDataSet& dataSet, TwwFieldInfoList& criteria, const TwwMatchSettings& settings,
                   TwwFieldValue& scratch);

 private:
  bool Current(const TDataSet& dataSet, const TwwFieldInfoList& criteria, const TwwMatchSettings& settings);
  void Prepare(TDataSet& dataSet, TwwFieldInfoList& criteria, const TwwMatchSettings& settings);

  const TDataSet* dataSet_ = nullptr;
  TwwFieldInfoList criteria_;  // as prepared, field names derived
  TwwMatchSettings settings_;
  std::vector<TwwPreparedCriterion> prepared_;
};

}  // namespace tindrel
