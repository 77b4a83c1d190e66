#pragma once
// The program's one main window: the note tree on the left, the memo of the current note on the
// right, the tool bar above and the status bar below, the menu bar and the tree's pop-up menu.
//
// The window owns every component placed on it; each public member below is one component,
// named as the rest of the program knows it (each widget carries the same objectName).
//
// Start-up (the constructor, which runs FormCreate): the components are built with the note
// table closed, then FormCreate creates the font dialog and the settings object on
// "TindrelII.ini" in the program folder, loads the settings (fonts; the three toggles are
// replayed through their command handlers) and opens "Tindrel.dbf" in the program folder; what
// the open found (a change completed from the journal after the program stopped...) is shown in
// one warning box. An error in FormCreate is shown by the default error handler, the remaining
// steps are skipped and the window comes up all the same (with the table closed when the open
// failed). The table's health while it runs (a change its files refused, read-only notes) is
// TTableStatus's, shown in the status bar's second panel.
//
// Closing: a pending edit is settled first (posted when modified), so typing is never lost; when
// that fails the person is asked whether to close anyway and discard it. A change that failed
// part-way (the table is in doubt) is not tried again: the next start finishes or drops it. Then
// FormClose writes the settings and frees the font dialog and the settings object. A failure
// there is shown and the window stays open; every further attempt to close tries again. Once the
// close is certain, a table that took changes is backed up (TBackupCommands). A SIGTERM closes
// the window the same way; a logout stores the edit and the settings at once (SessionEnd).
//
// Destruction frees the data-aware controls before the data source and the table, and closes the
// table without storing a record that is still being edited.

#include "app/ShortCut.h"
#include "recall/DeletedNotes.h"

#include <QFont>
#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

class QAction;
class QFrame;
class QMenu;
class QMenuBar;
class QToolBar;

namespace tindrel {

namespace engine {
class FileSystem;
}

class TBackupCommands;
class TDataSource;
class TExchangeCommands;
class TDBMemo;
class TFontDialog;
class TIniFile;
class TSplitter;
class TDBTreeView;
class TTable;
class TTableStatus;
class TfcStatusBar;
class TwwDBNavigator;
class TwwFilterDialog;
class TwwLocateDialog;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Tindrel II  - (Desktop Edition)";
  static constexpr const char* kTableFileName = "Tindrel.dbf";
  static constexpr const char* kVersionText = "Version 1.0.1";

  // The tree's option words that the Mouse Move Select command switches between: the allow,
  // auto and confirm options with synchronisation, without and with mouse-move selection.
  static constexpr std::uint16_t kTreeOptions = 0x107F;
  static constexpr std::uint16_t kTreeOptionsMouseMoveSelect = 0x127F;

  // `programFolder` is where the table and the settings file live; empty means the folder of the
  // running executable (never the working directory). `fileSystem` is what the table's files are
  // reached through (null: the machine's).
  explicit TMainForm(const QString& programFolder = QString(), QWidget* parent = nullptr,
                     engine::FileSystem* fileSystem = nullptr);
  ~TMainForm() override;

  // The program folder, ending in "/".
  const QString& ProgramFolder() const { return program_folder_; }
  QString SettingsPath() const;
  QString TablePath() const;

  // Sizes are given for a 96 dots-per-inch screen; this is `pixels` on this window's screen.
  int Scaled(int pixels) const;

  // The tree's option word as last assigned by the Mouse Move Select command.
  std::uint16_t TreeOptions() const { return tree_options_; }
  // The tree view's font.
  QFont TreeFont() const;

  // ---- components -------------------------------------------------------------------------
  QFrame* Bevel = nullptr;
  QToolBar* ToolBar1 = nullptr;
  TwwDBNavigator* wwDBNavigator1 = nullptr;
  TDBTreeView* DBTreeView = nullptr;
  TSplitter* Splitter = nullptr;
  QFrame* MemoPanel = nullptr;
  TDBMemo* Memo = nullptr;
  TfcStatusBar* fcStatusBar1 = nullptr;
  std::unique_ptr<TTable> Table;
  std::unique_ptr<TDataSource> DataSource;
  TwwLocateDialog* LocateDialog = nullptr;
  TwwFilterDialog* FilterDialog = nullptr;

  // Objects of the window's own, alive from FormCreate to a completed FormClose.
  std::unique_ptr<TFontDialog> FontDialog;
  std::unique_ptr<TIniFile> SettingsFile;

  // Main menu.
  QMenuBar* MainMenu = nullptr;
  QMenu* MenuFile = nullptr;
  QMenu* MenuSettings = nullptr;
  QMenu* MenuDatabase = nullptr;
  QAction* MenuBackup = nullptr;
  QAction* MenuRestore = nullptr;
  // The Backup and Restore items, the backup at close and the one before a pack.
  TBackupCommands* BackupCommands = nullptr;
  QAction* N2 = nullptr;
  QMenu* MenuImport = nullptr;
  QAction* MenuImportFromMarkdownFolders = nullptr;
  QAction* MenuImportFromMarkdownFile = nullptr;
  QAction* MenuImportFromOPML = nullptr;
  QAction* MenuImportFromCSV = nullptr;
  QMenu* MenuExport = nullptr;
  QAction* MenuExportToAscii = nullptr;  // Markdown folders
  QAction* MenuExportToMarkdownFile = nullptr;
  QAction* MenuExportToOPML = nullptr;
  QAction* MenuExportToCVS = nullptr;  // CSV
  QAction* MenuExportToOracle = nullptr;
  QAction* MenuExportToSQLScript = nullptr;
  QAction* MenuExportToAccess = nullptr;
  // The Import and Export items and their handlers.
  TExchangeCommands* ExchangeCommands = nullptr;
  QAction* MenuLine9 = nullptr;
  QAction* MenuPack = nullptr;
  QMenu* MenuInterface = nullptr;
  QMenu* Fonts1 = nullptr;
  QAction* MenuTreeFont = nullptr;
  QAction* MenuMemoFont = nullptr;
  QAction* MenuLine7 = nullptr;
  QAction* MenuStayOnTop = nullptr;
  QAction* MenuLine5 = nullptr;
  QAction* MenuMemoWordWrap = nullptr;
  QAction* MenuLine8 = nullptr;
  QAction* MenuExit = nullptr;
  QMenu* MenuEdit = nullptr;
  QAction* MenuInsert = nullptr;
  QAction* MenuInsertChild = nullptr;
  QAction* MenuLine1 = nullptr;
  QAction* MenuDelete = nullptr;
  QAction* MenuRecallDeleted = nullptr;
  QMenu* MenuDataSet = nullptr;
  QMenu* MenuNavigation = nullptr;
  QAction* MenuFirst = nullptr;
  QAction* MenuPrior = nullptr;
  QAction* MenuNext = nullptr;
  QAction* MenuLast = nullptr;
  QMenu* MenuManipulation = nullptr;
  QAction* MenuDataInsert = nullptr;
  QAction* MenuDataAppend = nullptr;
  QAction* MenuDataEdit = nullptr;
  QAction* MenuDataPost = nullptr;
  QAction* MenuDataDelete = nullptr;
  QAction* MenuDataCancel = nullptr;
  QAction* MenuLine2 = nullptr;
  QAction* MenuDataRefresh = nullptr;
  QMenu* MenuSearch = nullptr;
  QAction* MenuLocate = nullptr;
  QAction* MenuFilter = nullptr;
  QMenu* MenuTree = nullptr;
  QAction* MenuExpandAll = nullptr;
  QAction* MenuCollapseAll = nullptr;
  QAction* MenuLine4 = nullptr;
  QAction* MenuRebuildTree = nullptr;
  QAction* MenuLine3 = nullptr;
  QAction* MenuMouseMoveSelect = nullptr;
  QMenu* MenuHelp = nullptr;
  QAction* MenuAbout = nullptr;

  // The tree's pop-up menu.
  QMenu* PopupMenu = nullptr;
  QAction* PopUpInsert = nullptr;
  QAction* PopUpInsertChild = nullptr;
  QAction* PopUpLine1 = nullptr;
  QAction* PopUpDelete = nullptr;
  QAction* PopUpLine2 = nullptr;
  QAction* PopUpTreeFont = nullptr;
  QAction* PopUpMemoFont = nullptr;
  QAction* PopUpLine3 = nullptr;
  QAction* PopUpMemoWordWrap = nullptr;

  // ---- handlers ---------------------------------------------------------------------------
  // Each receives the item that was clicked (or null) and ignores it. The menus run them through
  // RunGuarded; called directly they throw.
  void FormCreate();
  void FormClose();
  // The desktop session ends (logout, shutdown) or the application quits with the window's close
  // not completed: stores the pending edit when it was changed and writes the settings, as a
  // close does, asking nothing; failures are shown. The window stays. Nothing once closed.
  void SaveForSessionEnd();
  void LoadSettings();
  void SaveSettings();

  void PopUpInsertClick(QObject* sender);
  void PopUpInsertChildClick(QObject* sender);
  void PopUpDeleteClick(QObject* sender);
  void MenuExitClick(QObject* sender);
  void MenuFirstClick(QObject* sender);
  void MenuPriorClick(QObject* sender);
  void MenuNextClick(QObject* sender);
  void MenuLastClick(QObject* sender);
  void MenuDataInsertClick(QObject* sender);
  void MenuDataAppendClick(QObject* sender);
  void MenuDataEditClick(QObject* sender);
  void MenuDataPostClick(QObject* sender);
  void MenuDataDeleteClick(QObject* sender);
  void MenuDataCancelClick(QObject* sender);
  void MenuDataRefreshClick(QObject* sender);
  void MenuLocateClick(QObject* sender);
  void MenuFilterClick(QObject* sender);
  void MenuRebuildTreeClick(QObject* sender);
  void MenuExpandAllClick(QObject* sender);
  void MenuCollapseAllClick(QObject* sender);
  void MenuTreeFontClick(QObject* sender);
  void MenuMemoFontClick(QObject* sender);
  void MenuStayOnTopClick(QObject* sender);
  void MenuMemoWordWrapClick(QObject* sender);
  void MenuMouseMoveSelectClick(QObject* sender);
  void MenuPackClick(QObject* sender);
  // Opens the window listing the deleted subtrees that can be recalled (TRecallForm), after
  // storing a pending edit.
  void MenuRecallDeletedClick(QObject* sender);
  // Recalls the deleted subtree whose top note is in record `recno`: the dataset reads the table
  // again, the tree is rebuilt, and the recalled top note becomes the current record, selected
  // in the tree with its memo shown.
  recall::RecallSummary RecallDeleted(uint32_t recno);
  void MenuAboutClick(QObject* sender);

  // The text of the About box.
  static QString AboutText();
  // The question asked when a pending edit cannot be stored while closing.
  static QString CloseAnywayText();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  using Handler = void (TMainForm::*)(QObject*);

  void CreateComponents();
  void CreateMainMenu();
  void CreatePopupMenu();
  QMenu* AddMenu(QMenuBar* bar, const char* name, const char* caption);
  QMenu* AddMenu(QMenu* menu, const char* name, const char* caption);
  QAction* AddItem(QMenu* menu, const char* name, const char* caption, TShortCut shortCut, Handler handler);
  QAction* AddSeparator(QMenu* menu, const char* name);
  void Connect(QAction* action, Handler handler);
  // Settles a pending edit before closing; false when the person chose to keep the window open.
  bool SettleBeforeClose();
  // Applies the memo's scroll bars and wrapping: wrapping shows only the vertical bar.
  void ApplyMemoWrap(bool wrap);
  // Lets a menu shortcut pressed in `widget` reach the menus before the widget takes the key.
  void RouteShortcuts(QWidget* widget);
  bool IsMenuShortcut(const QKeySequence& keys) const;
  void RebuildTree();

  QString program_folder_;
  engine::FileSystem* file_system_ = nullptr;
  std::unique_ptr<TTableStatus> table_status_;
  bool shown_before_ = false;
  std::uint16_t tree_options_ = kTreeOptions;
};

// Points of a font as the settings file stores them: the point size, or the pixel height
// converted at `dpi` and rounded.
int FontPoints(const QFont& font, double dpi);

}  // namespace tindrel
