#pragma once
// The plain text of a rich-text document, as a rich-text control shows it: group structure,
// control words and ignorable destinations (font and colour tables, pictures...) removed, \par
// and \line as line breaks, \tab as a tab, \'hh bytes decoded with the document's ANSI code
// page (\ansicpg, 1252 when absent) and \uN characters with their \ucN fallbacks skipped.
//
// Any input is safe: unbalanced braces, a cut-off control word and unknown code pages give a
// best-effort text, never an error.

#include <QString>

namespace tindrel {

// Whether `text` begins with the rich-text signature "{\rtf".
bool LooksLikeRtf(const QString& text);

QString RtfPlainText(const QString& rtf);

}  // namespace tindrel
