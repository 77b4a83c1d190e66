#pragma once
// The window's one font dialog, shared by the tree and memo font commands: it holds the font it
// starts from and, after a confirmed run, the font the person chose. It runs through the
// platform's font dialog service, so tests answer it without a person.
//
// The dialog starts on the family the text is drawn in; when the person keeps it, the font keeps
// the family name it had, even one not installed here (a substitute draws it). The chosen size is
// held to 1..settings::kMaxFontSize points, the sizes the settings file keeps.

#include <QFont>

class QWidget;

namespace tindrel {

class TFontDialog {
 public:
  const QFont& Font() const { return font_; }
  void SetFont(const QFont& font) { font_ = font; }
  // Runs the dialog from Font(); true when the person confirmed, and Font() is then the choice.
  bool Execute(QWidget* parent = nullptr);

 private:
  QFont font_;
};

}  // namespace tindrel
