#pragma once
// The plain types of the navigator bar: button styles and the fixed sets they fall into, the
// causes of an enabling update, the layout and sizing choices and the option set.

#include <QString>

#include <optional>

namespace tindrel {

enum TwwNavButtonStyle {
  nbsFirst, nbsPrior, nbsNext, nbsLast, nbsInsert, nbsDelete, nbsEdit, nbsPost, nbsCancel,
  nbsRefresh, nbsPriorPage, nbsNextPage, nbsSaveBookmark, nbsRestoreBookmark, nbsFilterDialog,
  nbsRecordViewDialog, nbsLocateDialog, nbsSearchDialog, nbsCustom
};
// The dialog styles, nbsFilterDialog..nbsSearchDialog.
using TwwNavButtonDlgStyle = TwwNavButtonStyle;
inline constexpr int kNavButtonStyleCount = nbsCustom + 1;
// Styles that have a standard glyph (all but nbsCustom).
inline constexpr int kGlyphStyleCount = nbsCustom;

// Why the buttons are re-evaluated.
enum TwwUpdateCause { ucDataSetChange, ucEditingChange, ucActiveChange, ucAll };

enum TwwNavLayout { nlHorizontal, nlVertical };
enum TwwNavAutoSizeStyle { asSizeNavigator, asSizeNavButtons, asNone };

// Option set, bit n for the n-th value. The stored name noConfirmDelete means "ask before Delete".
enum TwwNavOption : unsigned { noConfirmDelete = 1u << 0 };
using TwwNavOptions = unsigned;

// Auto-repeat timing in milliseconds: the first repeat after InitialDelay, then every Interval.
struct TwwNavRepeatInterval {
  int InitialDelay = 500;
  int Interval = 100;
};

inline bool IsRecordStyle(TwwNavButtonStyle s) { return s >= nbsFirst && s <= nbsRestoreBookmark; }
inline bool IsDialogStyle(TwwNavButtonStyle s) { return s >= nbsFilterDialog && s <= nbsSearchDialog; }
inline bool IsRepeatingStyle(TwwNavButtonStyle s) {
  return s == nbsFirst || s == nbsPrior || s == nbsNext || s == nbsLast || s == nbsPriorPage || s == nbsNextPage;
}

// "nbsFirst", "nbsSearchDialog"...
QString StyleName(TwwNavButtonStyle style);
// The style name without "nbs": "First", "SearchDialog"...
QString StyleShortName(TwwNavButtonStyle style);
// The style of that full name ("nbsLocateDialog"), or none.
std::optional<TwwNavButtonStyle> StyleFromName(const QString& name);

}  // namespace tindrel
