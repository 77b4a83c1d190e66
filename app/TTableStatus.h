#pragma once
// What the person is told about the note table's own health: what the engine did and found when
// it opened the table (a change completed from the journal after the program stopped, an
// incomplete journal dropped, an interrupted pack finished), a change the table's files could
// not take (a full or failing disk), and, in a status panel, that the notes are read-only and
// why, for as long as they are.
//
// A failed change is reported in one error box that says what became of it and what to do; the
// dataset's error hooks carry it, so the change ends in a silent abort and the record keeps its
// state and its values (the memo and the title editor keep what was typed). Refusals that are
// not a failure of the files (a value its field cannot hold) go on to the default error box.

#include <QString>
#include <QStringList>

#include <exception>
#include <memory>

#include "store/DataSetTypes.h"

namespace tindrel {

class TDataLink;
class TDataSource;
class TTable;
class TfcStatusPanel;

class TTableStatus {
 public:
  // `panel` shows the read-only state; `table` gets its post and delete error hooks.
  TTableStatus(TTable& table, TDataSource& source, TfcStatusPanel& panel);
  ~TTableStatus();
  TTableStatus(const TTableStatus&) = delete;
  TTableStatus& operator=(const TTableStatus&) = delete;

  // One warning box with what the engine reported when it opened the table; none when nothing.
  void ReportOpenWarnings() const;

  static QString OpenWarningsText(const QStringList& warnings);
  // The box for a change that could not be stored. `typed`: the change was typing the person can
  // still see (a post), not a delete.
  static QString FailedChangeText(const QString& error, bool typed, bool inDoubt, const QString& readOnlyReason);
  // The panel's text: "" while the table takes changes.
  static QString PanelText(bool inDoubt, const QString& readOnlyReason);

 private:
  void ChangeFailed(const std::exception& error, bool typed, TDataAction& action) const;
  void ShowState();

  TTable& table_;
  TfcStatusPanel& panel_;
  std::unique_ptr<TDataLink> link_;
};

}  // namespace tindrel
