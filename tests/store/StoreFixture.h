#pragma once
// Shared helpers of the dataset tests: a small note table in a temporary folder (made by the
// tests' one table builder), a data link and hooks that record every notification in one log,
// and an error handler that records what would be shown.

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "store/TDataLink.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "tests/support/TableBuilder.h"

namespace tindrel::testing {

// The note table in the test's temporary folder (ID C(10), Parent C(10), Text C(textWidth),
// MEMO M), with a tag on ID unless `withIdTag` is off.
inline std::string WriteNoteTable(const QTemporaryDir& dir, const std::vector<Note>& notes, bool withIdTag = true,
                                  uint16_t textWidth = 40, const std::string& name = "Tindrel.dbf") {
  NoteTableShape shape;
  shape.idTag = withIdTag;
  shape.textWidth = textWidth;
  return WriteNoteTable(dir.path().toStdString(), notes, shape, name);
}

using Log = std::vector<std::string>;

// A non-visual (or visual) link that writes each notification it receives into the log. It
// records the notification only, not the base link's defaults behind it.
class RecordingLink : public TDataLink {
 public:
  RecordingLink(Log& log, std::string name = {}, bool visual = false) : log_(log), name_(std::move(name)) {
    SetVisualControl(visual);
  }
  // Written into the field on the update-data notification, once, when set.
  TField* pendingField = nullptr;
  QString pendingText;

 protected:
  void NotifyActiveChange() override { Put("ActiveChange"); }
  void NotifyEditingChange() override { Put("EditingChange"); }
  void NotifyDataSetChange() override { Put("DataSetChange"); }
  void NotifyScroll(int shift) override { Put("Scroll(" + std::to_string(shift) + ")"); }
  void NotifyRecordChange(TField* field) override {
    Put("RecordChange(" + (field ? field->FieldName().toStdString() : std::string("none")) + ")");
  }
  void NotifyLayoutChange() override { Put("LayoutChange"); }
  void NotifyUpdateData() override {
    Put("UpdateData");
    if (pendingField) {
      TField* f = pendingField;
      pendingField = nullptr;
      f->SetAsString(pendingText);
    }
  }
  void NotifyCheckBrowseMode() override { Put("CheckBrowseMode"); }
  void NotifyReadOnlyChange() override { Put("ReadOnlyChange"); }

 private:
  void Put(const std::string& what) { log_.push_back(name_.empty() ? what : name_ + ":" + what); }
  Log& log_;
  std::string name_;
};

// Every dataset hook writes its name into the log.
inline void RecordHooks(TDataSet& ds, Log& log) {
  auto rec = [&log](const char* name) { return [&log, name](TDataSet&) { log.push_back(name); }; };
  ds.BeforeOpen = rec("BeforeOpen");
  ds.AfterOpen = rec("AfterOpen");
  ds.BeforeClose = rec("BeforeClose");
  ds.AfterClose = rec("AfterClose");
  ds.BeforeInsert = rec("BeforeInsert");
  ds.AfterInsert = rec("AfterInsert");
  ds.BeforeEdit = rec("BeforeEdit");
  ds.AfterEdit = rec("AfterEdit");
  ds.BeforePost = rec("BeforePost");
  ds.AfterPost = rec("AfterPost");
  ds.BeforeCancel = rec("BeforeCancel");
  ds.AfterCancel = rec("AfterCancel");
  ds.BeforeDelete = rec("BeforeDelete");
  ds.AfterDelete = rec("AfterDelete");
  ds.BeforeScroll = rec("BeforeScroll");
  ds.AfterScroll = rec("AfterScroll");
  ds.BeforeRefresh = rec("BeforeRefresh");
  ds.AfterRefresh = rec("AfterRefresh");
}

// Records what the default error handler would show, for the life of the object.
class RecordedErrors {
 public:
  RecordedErrors() {
    SetErrorHandler([this](const std::exception& e) { shown.push_back(e.what()); });
  }
  ~RecordedErrors() { SetErrorHandler(nullptr); }
  std::vector<std::string> shown;
};

// The message of what `action` throws ("" when it throws nothing).
template <typename Action>
std::string ErrorOf(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

inline QStringList Ids(TTable& table) {
  QStringList ids;
  table.SuspendNotifications();
  table.First();
  while (!table.Eof()) {
    ids << table.FieldNamed("ID").AsString();
    table.Next();
  }
  table.ResumeNotifications();
  return ids;
}

}  // namespace tindrel::testing
