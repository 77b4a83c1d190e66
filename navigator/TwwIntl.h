#pragma once
// The process-wide catalogue of the texts and settings that the navigator bar and the dialog
// windows show. Every window reads its captions, hints and messages from here each time it is
// shown, so a program that replaces a text changes it everywhere at once. The built-in values
// are the texts a person sees.
//
// The catalogue lives from its first use to the end of the process (TwwIntl::Instance()).

#include <QFont>
#include <QString>

#include <vector>

namespace tindrel {

// A set of font styles, bit n for the n-th value.
enum TFontStyle : unsigned { fsBold = 1u << 0, fsItalic = 1u << 1, fsUnderline = 1u << 2, fsStrikeOut = 1u << 3 };
using TFontStyles = unsigned;

// Gives `font` exactly the styles of `styles` (bold off when the set lacks fsBold, and so on).
void ApplyFontStyles(QFont& font, TFontStyles styles);

// The navigator buttons' default hints, one per button style, looked up by property name
// ("FirstHint", "SaveBookmarkHint"...).
struct TwwDBNavigatorIntlHints {
  QString FirstHint;
  QString PriorHint;
  QString NextHint;
  QString LastHint;
  QString InsertHint;
  QString DeleteHint;
  QString EditHint;
  QString PostHint;
  QString CancelHint;
  QString RefreshHint;
  QString PriorPageHint;
  QString NextPageHint;
  QString SaveBookmarkHint;
  QString RestoreBookmarkHint;
  QString FilterDialogHint;
  QString RecordViewDialogHint;
  QString LocateDialogHint;
  QString SearchDialogHint;

  // The property of that name (exact name, as published), or null when there is none.
  const QString* FindHint(const QString& propertyName) const;
  QString* FindHint(const QString& propertyName);
  // The published property names, in declaration order.
  static const std::vector<QString>& PropertyNames();
};

struct TwwDBNavigatorIntl {
  QString ConfirmDeleteMessage;
  TwwDBNavigatorIntlHints Hints;
};

struct TwwSearchDialogIntl {
  QString SearchCharLabel;
  QString SearchCharShortLabel;
  QString SearchByLabel;
  QString SearchCharHint;
  QString SearchByHint;
  QString StatusRecLabel;
  QString StatusOfLabel;
};

struct TwwLocateDialogIntl {
  QString FieldValueLabel;
  QString SearchTypeLabel;
  QString CaseSensitiveLabel;
  QString MatchExactLabel;
  QString MatchStartLabel;
  QString MatchAnyLabel;
  QString FieldsLabel;
  QString BtnFirst;
  QString BtnNext;
  QString BtnCancel;
  QString FieldValueHint;
  QString CaseSensitiveHint;
  QString MatchExactHint;
  QString MatchStartHint;
  QString MatchAnyHint;
  QString BtnFirstHint;
  QString BtnNextHint;
  QString FieldNameHint;
};

// The "Super Search" filter window and its summary window.
struct TwwFilterDialogIntl {
  QString FieldsLabel;
  QString AllFieldsTab;
  QString SearchedFieldsTab;
  QString FieldsTabHint;
  QString FieldOrderCaption;
  QString FieldOrderAlphabetic;
  QString FieldOrderLogical;
  QString FieldOrderHint;
  QString FieldValueLabel;
  QString FieldValueHint;
  QString ClearValueBtn;
  QString ClearValueHint;
  QString SearchTypeCaption;
  QString MatchExact;
  QString MatchStart;
  QString MatchAny;
  QString SearchTypeHint;
  QString CaseSensitiveLabel;
  QString CaseSensitiveHint;
  QString NonMatchingLabel;
  QString NonMatchingHint;
  QString StartingRangeLabel;
  QString EndingRangeLabel;
  QString StartingRangeHint;
  QString EndingRangeHint;
  QString ClearStartingRangeBtn;
  QString ClearEndingRangeBtn;
  QString ClearStartingRangeHint;
  QString ClearEndingRangeHint;
  QString ByValueTab;
  QString ByRangeTab;
  QString ValueRangeTabHint;
  QString ViewSummaryBtn;
  QString ViewSummaryHint;
  QString NewSearchBtn;
  QString NewSearchHint;
  // The summary window: its caption (empty keeps the window's own), headings and the word put
  // before a non-matching value.
  QString SummaryCaption;
  QString SummaryFieldHeading;
  QString SummarySearchTypeHeading;
  QString SummaryValueHeading;
  QString SummaryNotWord;
};

struct TwwUserMessagesIntl {
  QString LocateNoMatches;
  QString LocateNoMoreMatches;
};

class TwwIntl {
 public:
  // The one catalogue of the process, holding the built-in values at first use.
  static TwwIntl& Instance();

  // Puts every text and setting back to its built-in value.
  void RestoreDefaults();

  // Styles given to the dialog windows' font each time one is shown (none by default: regular).
  TFontStyles DialogFontStyle = 0;
  // OK and Cancel buttons carry a glyph; off: plain buttons.
  bool OKCancelBitmapped = true;
  QString BtnOKCaption;
  QString BtnCancelCaption;

  TwwDBNavigatorIntl Navigator;
  TwwSearchDialogIntl SearchDialog;
  TwwLocateDialogIntl LocateDialog;
  TwwFilterDialogIntl FilterDialog;
  TwwUserMessagesIntl UserMessages;

 private:
  TwwIntl();
};

}  // namespace tindrel
