#pragma once
// A multi-line text control bound to a memo field of the current record. It is read-only while
// the dataset browses: the first key that changes the text (typing, Backspace, Return, Delete,
// paste, cut, undo) starts an edit through the data source's automatic edit before the key is
// taken; of the right-click menu, only an item that changes the text does. Escape reloads the
// stored text; leaving the control collects its edit into the field.
// A text that could not be read shows as "(message)", counts as not loaded and is never written.
// The control makes every line end a line break; writing back still changes only what the person
// changed: outside the change, every stored character and line end stays as it was.

#include <QPlainTextEdit>

class QMenu;

#include "store/TFieldDataLink.h"

namespace tindrel {

class TDataSource;
class TField;

class TDBMemo : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TDBMemo(QWidget* parent = nullptr);
  ~TDBMemo() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  const QString& DataField() const { return link_.FieldName(); }
  void SetDataField(const QString& name);
  TField* Field() const { return link_.Field(); }
  bool Loaded() const { return loaded_; }
  void SetWordWrap(bool on);
  bool WordWrap() const { return lineWrapMode() != QPlainTextEdit::NoWrap; }
  // Reads the field's text again (dropping what was typed since it was last written).
  void LoadMemo();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  bool StartsEdit(QKeyEvent* event) const;
  // Makes the menu's undo, redo, cut, paste and delete start an edit before they act.
  void StartEditOnChangingItems(QMenu& menu);
  // The control's text as it holds it (paragraph breaks as U+2029, non-breaking spaces kept).
  QString ShownText() const;
  void ShowText(const QString& text);
  void WriteToField();
  void UpdateReadOnly();

  TFieldDataLink link_;
  bool loaded_ = false;
  bool focused_ = false;
  bool showing_ = false;   // the control's text is being replaced by the program
  QString stored_;         // the field's text as last loaded
  QString shownBefore_;    // what the control made of it
};

}  // namespace tindrel
