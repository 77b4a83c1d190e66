#include "navigator/TwwIntl.h"

#include <utility>

namespace tindrel {

void ApplyFontStyles(QFont& font, TFontStyles styles) {
  font.setBold((styles & fsBold) != 0);
  font.setItalic((styles & fsItalic) != 0);
  font.setUnderline((styles & fsUnderline) != 0);
  font.setStrikeOut((styles & fsStrikeOut) != 0);
}

namespace {

// The hints' published names beside their members, in declaration order.
using HintMember = QString TwwDBNavigatorIntlHints::*;
const std::vector<std::pair<QString, HintMember>>& HintTable() {
  static const std::vector<std::pair<QString, HintMember>> table = {
      {QStringLiteral("FirstHint"), &TwwDBNavigatorIntlHints::FirstHint},
      {QStringLiteral("PriorHint"), &TwwDBNavigatorIntlHints::PriorHint},
      {QStringLiteral("NextHint"), &TwwDBNavigatorIntlHints::NextHint},
      {QStringLiteral("LastHint"), &TwwDBNavigatorIntlHints::LastHint},
      {QStringLiteral("InsertHint"), &TwwDBNavigatorIntlHints::InsertHint},
      {QStringLiteral("DeleteHint"), &TwwDBNavigatorIntlHints::DeleteHint},
      {QStringLiteral("EditHint"), &TwwDBNavigatorIntlHints::EditHint},
      {QStringLiteral("PostHint"), &TwwDBNavigatorIntlHints::PostHint},
      {QStringLiteral("CancelHint"), &TwwDBNavigatorIntlHints::CancelHint},
      {QStringLiteral("RefreshHint"), &TwwDBNavigatorIntlHints::RefreshHint},
      {QStringLiteral("PriorPageHint"), &TwwDBNavigatorIntlHints::PriorPageHint},
      {QStringLiteral("NextPageHint"), &TwwDBNavigatorIntlHints::NextPageHint},
      {QStringLiteral("SaveBookmarkHint"), &TwwDBNavigatorIntlHints::SaveBookmarkHint},
      {QStringLiteral("RestoreBookmarkHint"), &TwwDBNavigatorIntlHints::RestoreBookmarkHint},
      {QStringLiteral("FilterDialogHint"), &TwwDBNavigatorIntlHints::FilterDialogHint},
      {QStringLiteral("RecordViewDialogHint"), &TwwDBNavigatorIntlHints::RecordViewDialogHint},
      {QStringLiteral("LocateDialogHint"), &TwwDBNavigatorIntlHints::LocateDialogHint},
      {QStringLiteral("SearchDialogHint"), &TwwDBNavigatorIntlHints::SearchDialogHint},
  };
  return table;
}

}  // namespace

const QString* TwwDBNavigatorIntlHints::FindHint(const QString& propertyName) const {
  for (const auto& [name, member] : HintTable())
    if (name == propertyName) return &(this->*member);
  return nullptr;
}

QString* TwwDBNavigatorIntlHints::FindHint(const QString& propertyName) {
  return const_cast<QString*>(std::as_const(*this).FindHint(propertyName));
}

const std::vector<QString>& TwwDBNavigatorIntlHints::PropertyNames() {
  static const std::vector<QString> names = [] {
    std::vector<QString> out;
    for (const auto& entry : HintTable()) out.push_back(entry.first);
    return out;
  }();
  return names;
}

TwwIntl& TwwIntl::Instance() {
  static TwwIntl catalogue;
  return catalogue;
}

TwwIntl::TwwIntl() { RestoreDefaults(); }

void TwwIntl::RestoreDefaults() {
  DialogFontStyle = 0;
  OKCancelBitmapped = true;
  BtnOKCaption = QStringLiteral("&OK");
  BtnCancelCaption = QStringLiteral("Cancel");

  Navigator.ConfirmDeleteMessage = QStringLiteral("Delete record?");
  TwwDBNavigatorIntlHints& h = Navigator.Hints;
  h.FirstHint = QStringLiteral("Move to first record");
  h.PriorHint = QStringLiteral("Move to prior record");
  h.NextHint = QStringLiteral("Move to next record");
  h.LastHint = QStringLiteral("Move to last record");
  h.InsertHint = QStringLiteral("Insert new record");
  h.DeleteHint = QStringLiteral("Delete current record");
  h.EditHint = QStringLiteral("Edit current record");
  h.PostHint = QStringLiteral("Post changes of current record");
  h.CancelHint = QStringLiteral("Cancel changes made to current record");
  h.RefreshHint = QStringLiteral("Refresh the contents of the dataset");
  h.PriorPageHint = QStringLiteral("Move backward %d records");
  h.NextPageHint = QStringLiteral("Move forward %d records");
  h.SaveBookmarkHint = QStringLiteral("Bookmark current record");
  h.RestoreBookmarkHint = QStringLiteral("Go back to saved bookmark");
  h.FilterDialogHint = QStringLiteral("Filter the dataset");
  h.RecordViewDialogHint = QStringLiteral("View current record");
  h.LocateDialogHint = QStringLiteral("Locate a specific record");
  h.SearchDialogHint = QStringLiteral("Search the dataset");

  TwwSearchDialogIntl& s = SearchDialog;
  s.SearchCharLabel = QStringLiteral("&Search Characters");
  s.SearchCharShortLabel = QStringLiteral("&Search Char");
  s.SearchByLabel = QStringLiteral("Search &By");
  s.SearchCharHint = QStringLiteral("Enter characters for incremental search");
  s.SearchByHint = QStringLiteral("Incremental searching and sorting order");
  s.StatusRecLabel = QStringLiteral("Rec #");
  s.StatusOfLabel = QStringLiteral("of");

  TwwLocateDialogIntl& l = LocateDialog;
  l.FieldValueLabel = QStringLiteral("Field &Value");
  l.SearchTypeLabel = QStringLiteral("&Search Type");
  l.CaseSensitiveLabel = QStringLiteral("&Case-sensitive");
  l.MatchExactLabel = QStringLiteral("&Exact Match");
  l.MatchStartLabel = QStringLiteral("&Partial Match at Beginning");
  l.MatchAnyLabel = QStringLiteral("Partial Match &Anywhere");
  l.FieldsLabel = QStringLiteral("&Fields");
  l.BtnFirst = QStringLiteral("Fi&rst");
  l.BtnNext = QStringLiteral("&Next");
  l.BtnCancel = QStringLiteral("Cancel");
  l.FieldValueHint = QStringLiteral("Enter field's search value");
  l.CaseSensitiveHint = QStringLiteral("Searching is case-sensitive");
  l.MatchExactHint = QStringLiteral("Match occurs only if there is an exact match");
  l.MatchStartHint = QStringLiteral("Match occurs if the start of the field's value matches");
  l.MatchAnyHint = QStringLiteral("Match occurs if any part of the field matches");
  l.BtnFirstHint = QStringLiteral("Find first match");
  l.BtnNextHint = QStringLiteral("Find next match from current record");
  l.FieldNameHint = QStringLiteral("Select the field to search on");

  TwwFilterDialogIntl& f = FilterDialog;
  f.FieldsLabel = QStringLiteral("&Fields");
  f.AllFieldsTab = QStringLiteral("&All");
  f.SearchedFieldsTab = QStringLiteral("&Searched");
  f.FieldsTabHint = QStringLiteral("Show all fields or only currently searched fields");
  f.FieldOrderCaption = QStringLiteral("Field Order");
  f.FieldOrderAlphabetic = QStringLiteral("Alpha&betic");
  f.FieldOrderLogical = QStringLiteral("&Logical");
  f.FieldOrderHint = QStringLiteral("Sort field list alphabetically or in their natural logical order");
  f.FieldValueLabel = QStringLiteral("Field &Value");
  f.FieldValueHint = QStringLiteral("Enter field's search value");
  f.ClearValueBtn = QStringLiteral("&Clear");
  f.ClearValueHint = QStringLiteral("Clear the current field's search value");
  f.SearchTypeCaption = QStringLiteral("Search Type");
  f.MatchExact = QStringLiteral("&Exact Match");
  f.MatchStart = QStringLiteral("&Partial Match at Beginning");
  f.MatchAny = QStringLiteral("Partial Match Any&where");
  f.SearchTypeHint = QStringLiteral("Specify how the Field Value should be compared");
  f.CaseSensitiveLabel = QStringLiteral("Case Sensi&tive");
  f.CaseSensitiveHint = QStringLiteral("Searching is case-sensitive");
  f.NonMatchingLabel = QStringLiteral("N&on-matching records");
  f.NonMatchingHint = QStringLiteral("Show records that do not match the field value criteria");
  f.StartingRangeLabel = QStringLiteral("&Starting Range");
  f.EndingRangeLabel = QStringLiteral("En&ding Range");
  f.StartingRangeHint = QStringLiteral("Enter starting range for field");
  f.EndingRangeHint = QStringLiteral("Enter ending range for field");
  f.ClearStartingRangeBtn = QStringLiteral("&Clear");
  f.ClearEndingRangeBtn = QStringLiteral("Cl&ear");
  f.ClearStartingRangeHint = QStringLiteral("Clear starting range for field");
  f.ClearEndingRangeHint = QStringLiteral("Clear ending range for field");
  f.ByValueTab = QStringLiteral("By &Value");
  f.ByRangeTab = QStringLiteral("By &Range");
  f.ValueRangeTabHint = QStringLiteral("Search fields by value or by range");
  f.ViewSummaryBtn = QStringLiteral("View Su&mmary");
  f.ViewSummaryHint = QStringLiteral("View summary of current search criteria");
  f.NewSearchBtn = QStringLiteral("&New Search");
  f.NewSearchHint = QStringLiteral("Start a new search");
  f.SummaryCaption.clear();
  f.SummaryFieldHeading = QStringLiteral("Field");
  f.SummarySearchTypeHeading = QStringLiteral("Search Type");
  f.SummaryValueHeading = QStringLiteral("Value");
  f.SummaryNotWord = QStringLiteral("NOT");

  UserMessages.LocateNoMatches = QStringLiteral("No matches found");
  UserMessages.LocateNoMoreMatches = QStringLiteral("No more matches found");
}

}  // namespace tindrel
