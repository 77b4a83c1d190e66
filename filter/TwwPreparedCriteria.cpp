#include "filter/TwwPreparedCriteria.h"

#include "store/CodePageFold.h"
#include "store/TDataSet.h"
#include "store/TField.h"

namespace tindrel {

namespace {

// Equal texts; the same shared text is equal without looking at it.
bool SameText(const QString& a, const QString& b) {
  return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}

// The same shared text (what a list copied from the prepared one holds).
bool SharedText(const QString& a, const QString& b) { return a.size() == b.size() && a.constData() == b.constData(); }

// Whether two criteria agree in everything the record test reads, their texts compared by
// `textsAgree`.
template <class TextsAgree>
bool CriteriaAgree(const TwwFieldInfo& a, const TwwFieldInfo& b, TextsAgree textsAgree) {
  return a.MatchType == b.MatchType && a.CaseSensitive == b.CaseSensitive && a.NonMatching == b.NonMatching &&
         textsAgree(a.FieldName, b.FieldName) && textsAgree(a.FilterValue, b.FilterValue) &&
         textsAgree(a.MinValue, b.MinValue) && textsAgree(a.MaxValue, b.MaxValue) &&
         textsAgree(a.DisplayName, b.DisplayName);
}

bool SameSettings(const TwwMatchSettings& a, const TwwMatchSettings& b) {
  const TwwFieldOperators& x = a.Operators;
  const TwwFieldOperators& y = b.Operators;
  return a.UpperRangePadChar == b.UpperRangePadChar && SameText(x.OrChar(), y.OrChar()) &&
         SameText(x.AndChar(), y.AndChar()) && SameText(x.NullChar(), y.NullChar()) && a.Locale == b.Locale;
}

}  // namespace

TwwPreparedCriterion::TwwPreparedCriterion(TDataSet& dataSet, TwwFieldInfo& criterion,
                                           const TwwMatchSettings& settings) {
  TField* field = criterion.FieldName.isEmpty() ? nullptr : dataSet.FindFieldNamed(criterion.FieldName);
  if (!field) {
    criterion.FieldName = FieldNameForDisplayName(dataSet, criterion.DisplayName);
    if (!criterion.FieldName.isEmpty()) field = dataSet.FindFieldNamed(criterion.FieldName);
  }
  if (!field) return;
  field_ = field;
  index_ = static_cast<size_t>(field->Index());
  name_ = field->FieldName();
  type_ = field->DataType();
  size_ = field->Size();
  value_.emplace(criterion, settings, type_, size_, field->IsBlob());
  bytes_ = StoredBytesCriterion::For(*field, criterion, settings);
}

bool TwwPreparedCriterion::FieldStillThere(const TDataSet& dataSet) const {
  if (!field_) return true;
  const auto& fields = dataSet.Fields();
  return index_ < fields.size() && fields[index_].get() == field_ && field_->DataType() == type_ &&
         field_->Size() == size_ && SameText(field_->FieldName(), name_);
}

bool TwwPreparedCriterion::Match(TDataSet& dataSet, TwwFieldInfo& criterion, const TwwMatchSettings& settings,
                                 TwwFieldValue& scratch) {
  if (!field_) {
    // The field may have come since (a display label changed): look again, as for every record.
    TwwPreparedCriterion now(dataSet, criterion, settings);
    return now.field_ ? now.Match(dataSet, criterion, settings, scratch) : true;
  }
  if (bytes_ && (type_ == ftMemo ? MemoBytePath() : TextBytePath()))
    if (const std::optional<bool> outcome = bytes_->Match(dataSet, *field_)) return *outcome;
  ReadFieldValue(*field_, settings.Locale, scratch);
  return value_->Matches(scratch);
}

bool TwwPreparedCriteria::Current(const TDataSet& dataSet, const TwwFieldInfoList& criteria,
                                  const TwwMatchSettings& settings) {
  if (&dataSet != dataSet_ || criteria.size() != criteria_.size() || !SameSettings(settings, settings_)) return false;
  for (size_t i = 0; i < criteria.size(); ++i) {
    if (CriteriaAgree(criteria[i], criteria_[i], SharedText)) continue;
    if (!CriteriaAgree(criteria[i], criteria_[i], SameText)) return false;
    // Equal but not shared (the list was copied in again): share it, so the next look is cheap.
    criteria_[i] = criteria[i];
  }
  for (const TwwPreparedCriterion& p : prepared_)
    if (!p.FieldStillThere(dataSet)) return false;
  return true;
}

void TwwPreparedCriteria::Prepare(TDataSet& dataSet, TwwFieldInfoList& criteria, const TwwMatchSettings& settings) {
  prepared_.clear();
  prepared_.reserve(criteria.size());
  for (TwwFieldInfo& criterion : criteria) prepared_.emplace_back(dataSet, criterion, settings);
  dataSet_ = &dataSet;
  criteria_ = criteria;
  settings_ = settings;
}

bool TwwPreparedCriteria::MatchRecord(TDataSet& dataSet, TwwFieldInfoList& criteria, const TwwMatchSettings& settings,
                                      TwwFieldValue& scratch) {
  if (!Current(dataSet, criteria, settings)) Prepare(dataSet, criteria, settings);
  for (size_t i = 0; i < criteria.size(); ++i) {
    TwwFieldInfo& criterion = criteria[i];
    bool outcome = prepared_[i].Match(dataSet, criterion, settings, scratch);
    if (criterion.NonMatching && criterion.MatchType != fdMatchRange) outcome = !outcome;
    if (!outcome) return false;
  }
  return true;
}

}  // namespace tindrel
