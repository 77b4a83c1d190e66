#pragma once
// A plain-text control does not hold a stored text as it is: it makes every line end (CR LF, a
// lone LF, a lone CR, U+2029) into one paragraph break, U+2029 in its raw text. Writing its text
// back as it stands would change line ends the person never touched. These two functions keep
// the stored text and carry over only what the person changed in the control.

#include <QString>

namespace tindrel {

// What a plain-text control's raw text (QTextDocument::toRawText) is after it was given `stored`.
QString ControlForm(const QString& stored);

// `stored` with the person's change applied: the control showed `shownBefore` for it and now
// shows `shownNow`. The part both share at the start and at the end keeps its stored characters;
// the part between is the new text, whose line breaks (U+2029, U+2028) take the form of the
// stored line end nearest the change: one it replaced, else the one ending the line, else the
// one before it, else LF.
QString SpliceEdit(const QString& stored, const QString& shownBefore, const QString& shownNow);

}  // namespace tindrel
