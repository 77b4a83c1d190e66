#include "store/TDBMemo.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

#include <functional>
#include <memory>
#include <utility>

#include "platform/Errors.h"
#include "store/SpliceEdit.h"
#include "store/TDataSet.h"
#include "store/TDataSource.h"
#include "store/TField.h"

namespace tindrel {

TDBMemo::TDBMemo(QWidget* parent) : QPlainTextEdit(parent), link_(QStringLiteral("Memo")) {
  setObjectName(QStringLiteral("Memo"));
  setAccessibleName(QStringLiteral("Memo"));
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::Monospace);
  setFont(font);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setTabChangesFocus(true);
  setReadOnly(true);
  link_.OnDataChange = [this] { LoadMemo(); };
  link_.OnEditingChange = [this] { UpdateReadOnly(); };
  link_.OnUpdateData = [this] { WriteToField(); };
  link_.OnFocusControl = [this] {
    if (!isVisible() || !isEnabled() || focusPolicy() == Qt::NoFocus) return false;
    setFocus();
    return true;
  };
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (loaded_ && !showing_) link_.Modified();
  });
}

TDBMemo::~TDBMemo() {
  link_.OnDataChange = nullptr;
  link_.OnEditingChange = nullptr;
  link_.OnUpdateData = nullptr;
  link_.OnFocusControl = nullptr;
}

void TDBMemo::SetDataSource(TDataSource* source) { link_.SetDataSource(source); }
void TDBMemo::SetDataField(const QString& name) { link_.SetFieldName(name); }

void TDBMemo::SetWordWrap(bool on) {
  setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
}

QString TDBMemo::ShownText() const { return document()->toRawText(); }

void TDBMemo::ShowText(const QString& text) {
  if (ControlForm(text) == ShownText()) return;  // keeps the caret and the undo history
  showing_ = true;
  setPlainText(text);
  showing_ = false;
}

void TDBMemo::LoadMemo() {
  TField* field = link_.Field();
  if (!field) {
    loaded_ = false;
    ShowText(QString());
  } else {
    try {
      const QString text = field->AsString();
      loaded_ = false;
      ShowText(text);
      stored_ = text;
      shownBefore_ = ShownText();
      loaded_ = true;
    } catch (const std::exception& error) {
      // Shown, but not loaded: the control stays read-only and the message is never written back.
      loaded_ = false;
      ShowText(QStringLiteral("(%1)").arg(QString::fromUtf8(error.what())));
    }
  }
  UpdateReadOnly();
}

void TDBMemo::UpdateReadOnly() { setReadOnly(!(link_.EditingField() && loaded_)); }

void TDBMemo::WriteToField() {
  TField* field = link_.Field();
  if (!field || !loaded_) return;
  field->SetAsString(SpliceEdit(stored_, shownBefore_, ShownText()));
}

bool TDBMemo::StartsEdit(QKeyEvent* event) const {
  if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Undo) ||
      event->matches(QKeySequence::Redo) || event->matches(QKeySequence::Delete) ||
      event->matches(QKeySequence::DeleteStartOfWord) || event->matches(QKeySequence::DeleteEndOfWord))
    return true;
  const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
  switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete:
      return true;
    case Qt::Key_Insert:
      return event->modifiers() & Qt::ShiftModifier;
    case Qt::Key_J:
      if (mods == Qt::ControlModifier) return true;
      break;
    default:
      break;
  }
  if (mods & (Qt::ControlModifier | Qt::MetaModifier)) return false;
  const QString text = event->text();
  return !text.isEmpty() && text[0].isPrint();
}

void TDBMemo::keyPressEvent(QKeyEvent* event) {
  RunGuarded([&] {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
      link_.Reset();
      event->accept();
      return;
    }
    if (StartsEdit(event)) {
      if (!loaded_) {
        event->ignore();
        return;
      }
      link_.EditField();  // may raise: the key is then dropped and the error reported
      if (event->key() == Qt::Key_J && (event->modifiers() & Qt::ControlModifier) && !isReadOnly()) {
        insertPlainText(QStringLiteral("\n"));
        event->accept();
        return;
      }
    }
    QPlainTextEdit::keyPressEvent(event);
  });
}

void TDBMemo::insertFromMimeData(const QMimeData* source) {
  RunGuarded([&] {
    if (!loaded_) return;
    link_.EditField();
    if (!isReadOnly()) QPlainTextEdit::insertFromMimeData(source);
  });
}

void TDBMemo::contextMenuEvent(QContextMenuEvent* event) {
  // Opening the menu changes nothing. On a note that can be changed the menu offers the items of
  // a writable control, and the edit starts only when one of those that change the text is chosen.
  const bool canEdit = loaded_ && link_.CanModify();
  std::unique_ptr<QMenu> menu;
  if (canEdit && isReadOnly()) {
    setReadOnly(false);
    menu.reset(createStandardContextMenu(event->pos()));
    setReadOnly(true);
  } else {
    menu.reset(createStandardContextMenu(event->pos()));
  }
  if (canEdit) StartEditOnChangingItems(*menu);
  menu->exec(event->globalPos());
}

void TDBMemo::StartEditOnChangingItems(QMenu& menu) {
  const std::pair<const char*, std::function<void()>> changing[] = {
      {"edit-undo", [this] { undo(); }},
      {"edit-redo", [this] { redo(); }},
      {"edit-cut", [this] { cut(); }},
      {"edit-paste", [this] { paste(); }},
      {"edit-delete", [this] { textCursor().removeSelectedText(); }},
  };
  for (QAction* action : menu.actions()) {
    for (const auto& [name, change] : changing) {
      if (action->objectName() != QLatin1String(name)) continue;
      QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
      connect(action, &QAction::triggered, this, [this, change = change] {
        RunGuarded([&] {
          if (!loaded_) return;
          link_.EditField();  // may raise: the change is then dropped and the error reported
          if (!isReadOnly()) change();
        });
      });
    }
  }
}

void TDBMemo::focusInEvent(QFocusEvent* event) {
  focused_ = true;
  QPlainTextEdit::focusInEvent(event);
}

void TDBMemo::focusOutEvent(QFocusEvent* event) {
  focused_ = false;
  QPlainTextEdit::focusOutEvent(event);
  const bool written = RunGuarded([&] {
    TDataSet* dataSet = link_.DataSet();
    if (link_.Field() && dataSet && IsEditState(dataSet->State())) dataSet->CollectControlEdits();
  });
  if (!written) setFocus();
}

}  // namespace tindrel
