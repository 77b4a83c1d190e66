#pragma once
// The test fixture of the main window's commands: a note table of the test's own notes in a
// temporary program folder, and the main window opened on it as the program opens it there,
// with message boxes, font dialog and clock scripted.

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/TMainForm.h"
#include "platform/ErrorBox.h"
#include "tests/support/QStringPrinting.h"
#include "tests/support/platform/ScriptedPlatform.h"
#include "tools/NoteTable.h"

namespace tindrel::testing {

class MainFormOverNotes : public ::testing::Test {
 protected:
  // Makes the table of `notes` in the program folder and opens the main window on it.
  void OpenOn(const std::vector<tools::Note>& notes) {
    ASSERT_TRUE(dir_.isValid());
    InstallDefaultErrorHandler();
    tools::CreateNoteTable(dir_.path().toStdString(), notes);
    OpenMainWindow();
  }
  // A main window (again) on the program folder's table.
  void OpenMainWindow() { form_ = std::make_unique<TMainForm>(dir_.path() + QLatin1Char('/')); }

  ScriptedPlatform platform_;
  QTemporaryDir dir_;
  std::unique_ptr<TMainForm> form_;
};

}  // namespace tindrel::testing
