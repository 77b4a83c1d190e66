#pragma once
// The locate search: finds the first, or the next, record whose value in one field matches a
// search text exactly, at its start or anywhere, with or without regard to case, and makes it
// the dataset's current record.
//
// Ordinary fields of an engine table are scanned by reading records straight from the engine
// cursor, without moving the dataset: no record-window refill and no notification per record;
// only a match re-synchronises the dataset once. Memo fields are scanned through the dataset
// with notifications suspended. A failed search leaves the record that was current before it.
//
// Nothing is held in fixed buffers: the pattern, the field texts and the memo texts are compared
// in full, whatever their length.

#include <QString>

#include <string>

namespace tindrel {

class TDataSet;
class TField;

enum TwwLocateMatchType { mtExactMatch = 0, mtPartialMatchStart = 1, mtPartialMatchAny = 2 };

// fromBeginning: a find-first (tests the first record itself, then every following one);
// otherwise a find-next (starts after the current record, which is never tested). True when a
// matching record was found and made current.
bool FindFieldValue(bool fromBeginning, TDataSet& dataSet, const QString& fieldName, const QString& searchText,
                    TwwLocateMatchType matchType, bool caseSensitive);

// Upper-casing by the locale's rules (full Unicode, Greek included).
QString LocaleUpper(const QString& text);

// MatchValue for every field type but memo: `pattern` is already upper-cased unless
// caseSensitive. An empty pattern never matches at the start or anywhere; exact compares equal.
bool MatchValue(const QString& text, const QString& pattern, TwwLocateMatchType matchType, bool caseSensitive);

// The memo rule: the text is taken up to its first zero character, an empty pattern never
// matches, exact means the same length and the pattern at the start.
bool MatchMemoText(const QString& text, const QString& pattern, TwwLocateMatchType matchType, bool caseSensitive);

// Whether the whole of `text` (blanks around allowed) reads as a finite number by the locale's
// number rules; the value goes to `value`.
bool ReadNumber(const QString& text, double* value = nullptr);

// A stored value copied out of an engine record as text, by the field's data type: strings
// through the table's code page, integers in decimal, logicals "True"/"False", floating values in
// the general format (15 significant digits, the locale's decimal separator, no digit grouping),
// dates in the locale's short format; empty for other types.
QString NativeFieldText(const TField& field, const std::string& native);

}  // namespace tindrel
