#pragma once
// The OK and Cancel buttons of the dialog windows, made at run time by one maker so that every
// dialog shows them alike: 77 x 27 pixels at 96 dots per inch (scaled by the screen's), a glyph
// of the button's kind two pixels from the left edge with the caption centred in the space that
// remains, the caption from the text catalogue, and the modal result that closes the dialog.
// OK is the dialog's default button (Enter); Cancel answers Esc.

#include <QDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QPushButton>

namespace tindrel {

enum class TwwButtonKind { bkOK, bkCancel };

// A push button that draws its glyph at the left margin and centres its caption in the rest.
class TwwGlyphButton : public QPushButton {
  Q_OBJECT
 public:
  TwwGlyphButton(TwwButtonKind kind, QWidget* parent = nullptr);
  TwwButtonKind Kind() const { return kind_; }
  int Margin() const { return 2; }
  // The dialog result a click closes the dialog with (QDialog::Accepted or Rejected).
  int ModalResult() const { return kind_ == TwwButtonKind::bkOK ? QDialog::Accepted : QDialog::Rejected; }
  QSize sizeHint() const override;
  // Where the glyph is drawn, and the space after it in which the caption is centred.
  QRect GlyphRect() const;
  QRect CaptionRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TwwButtonKind kind_;
};

// The dialog windows' face: "MS Sans Serif" at 8 points (the system's sans-serif face where that
// one is not installed, DejaVu Sans on Debian) with the catalogue's dialog font style.
QFont DialogFont();

// The scale from 96 dots per inch to the screen's.
double ScreenScale(const QWidget* widget = nullptr);
int Scaled(int pixelsAt96, const QWidget* widget = nullptr);

// Makes the OK or Cancel button of `dialog`: a glyph button when the catalogue's
// OKCancelBitmapped is on, else a plain button, `width96` x `height96` pixels at 96 dots per inch.
// A click closes the dialog with the kind's result. OK becomes the default button; Cancel is the
// one Esc presses (QDialog's Esc closes with the Cancel result).
QPushButton* MakeDialogButton(QDialog* dialog, TwwButtonKind kind, int width96 = 77, int height96 = 27);

// The foot of a dialog laid out in rows: OK and Cancel at the right, as MakeDialogButton makes them.
struct TOkCancelRow {
  QHBoxLayout* layout;
  QPushButton* ok;
  QPushButton* cancel;
};
TOkCancelRow MakeOkCancelRow(QDialog* dialog);

// The modal result a button made by MakeDialogButton closes its dialog with (-1: none).
int ModalResultOf(const QPushButton* button);

}  // namespace tindrel
