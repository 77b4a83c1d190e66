#pragma once
// The Import and Export submenus of File > Settings > Database, and what their items do.
//
// Export: the pending edit is stored first (so what was typed goes out too); the window asks for
// the file or folder and for all notes or the selected note's subtree; an existing file is
// replaced only after a question; the notes are written with a progress window that can cancel;
// a summary names the file and lists what could not be written as it was.
//
// Import: the window asks for the file or folder and for below the selected note or the top
// level; the notes are read, checked and stored as one change with a progress window that can
// cancel (a cancelled or failed import leaves the table as it was); the tree is then rebuilt with
// the first imported note selected, and a summary lists what did not fit and what was done
// about it.

#include <QObject>
#include <QString>

#include <map>
#include <string>
#include <vector>

#include "exchange/Exchange.h"

class QAction;
class QMenu;

namespace tindrel {

class TMainForm;

class TExchangeCommands : public QObject {
  Q_OBJECT

 public:
  // Fills the form's Import and Export submenus.
  explicit TExchangeCommands(TMainForm& form);

  void Export(exchange::Format format);
  void Import(exchange::Format format);

  // The summary box's text: the headline, then the notices (the first ones, and how many more).
  static QString SummaryText(const QString& headline, const std::vector<std::string>& notices);

 private:
  QAction* AddItem(QMenu* menu, const char* name, const char* caption, exchange::Format format, bool exporting);
  QString DefaultPath(exchange::Format format) const;
  // The selected note's ID; ExchangeError when it has none.
  std::string SelectedId() const;

  TMainForm& form_;
  std::map<exchange::Format, QString> lastPaths_;
};

}  // namespace tindrel
