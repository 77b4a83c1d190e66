#include "app/TMainForm.h"

#include "app/ProgramIcon.h"
#include "app/SettingsKeys.h"
#include "app/TBackupCommands.h"
#include "app/TExchangeCommands.h"
#include "app/TFontDialog.h"
#include "app/TIniFile.h"
#include "app/TRecallForm.h"
#include "app/TSplitter.h"
#include "app/TTableStatus.h"
#include "app/TableRemedy.h"
#include "filter/TwwFilterDialog.h"
#include "locate/TwwLocateDialog.h"
#include "navigator/TwwDBNavigator.h"
#include "platform/ErrorBox.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "statusbar/TfcStatusBar.h"
#include "store/DataSetError.h"
#include "store/TDBMemo.h"
#include "store/TDataSource.h"
#include "store/TTable.h"
#include "tree/dbTree.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

namespace tindrel {

static_assert(TMainForm::kTreeOptions == kMainWindowTreeOptions);
static_assert(TMainForm::kTreeOptionsMouseMoveSelect == (kMainWindowTreeOptions | dtMouseMoveSelect));

namespace {

QString Text(const char* text) { return QString::fromUtf8(text); }

QFont DesignFont(const char* family, int points, QFont::StyleHint hint) {
  QFont font{Text(family)};
  font.setStyleHint(hint);
  font.setPointSize(points);
  return font;
}

// The tool bar sizes itself to its content, which is one row of 25-pixel buttons and its frame:
// it asks for that height even while the row is still empty.
class RowToolBar : public QToolBar {
 public:
  RowToolBar(int rowHeight, QWidget* parent) : QToolBar(parent), row_height_(rowHeight) {}
  QSize sizeHint() const override { return QToolBar::sizeHint().expandedTo(QSize(0, row_height_)); }
  QSize minimumSizeHint() const override { return QToolBar::minimumSizeHint().expandedTo(QSize(0, row_height_)); }

 private:
  int row_height_;
};

}  // namespace

int FontPoints(const QFont& font, double dpi) {
  if (font.pointSizeF() > 0) return static_cast<int>(std::lround(font.pointSizeF()));
  return static_cast<int>(std::lround(font.pixelSize() * 72.0 / dpi));
}

TMainForm::TMainForm(const QString& programFolder, QWidget* parent, engine::FileSystem* fileSystem)
    : QMainWindow(parent), file_system_(fileSystem) {
  program_folder_ = programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
  if (!program_folder_.endsWith(QLatin1Char('/'))) program_folder_ += QLatin1Char('/');
  CreateComponents();
  Table->SetFileSystem(fileSystem);
  RunGuarded([this] { FormCreate(); });
}

TMainForm::~TMainForm() {
  // The table's status and the data-aware controls go first: their links point into the data
  // source and the table, and the status writes into the status bar.
  table_status_.reset();
  delete takeCentralWidget();
  delete LocateDialog;
  delete FilterDialog;
  if (Table) Table->Close();
}

QString TMainForm::SettingsPath() const { return program_folder_ + Text(settings::kFileName); }
QString TMainForm::TablePath() const { return program_folder_ + Text(kTableFileName); }

int TMainForm::Scaled(int pixels) const {
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  const double dpi = shown ? shown->logicalDotsPerInchX() : 96.0;
  return static_cast<int>(std::lround(pixels * dpi / 96.0));
}

QFont TMainForm::TreeFont() const { return DBTreeView->font(); }

// ---- building the window ----------------------------------------------------------------------

void TMainForm::CreateComponents() {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(Text(kCaption));
  setAccessibleName(Text(kCaption));
  setWindowIcon(ProgramIcon());
  setFont(DesignFont("MS Sans Serif", 8, QFont::SansSerif));

  Table = std::make_unique<TTable>(QStringLiteral("Table"));
  Table->SetIndexFieldNames(QStringLiteral("ID"));
  Table->SetFilterOptions(foCaseInsensitive);
  DataSource = std::make_unique<TDataSource>(QStringLiteral("DataSource"));
  DataSource->SetDataSet(Table.get());
  DataSource->SetAutoEdit(true);

  RegisterLocateDialogClass();
  LocateDialog = TwwLocateDialog::PlaceOnMainWindow(this, DataSource.get());
  RegisterFilterDialogClass();
  FilterDialog = new TwwFilterDialog(this);
  ConfigureNoteFilterDialog(*FilterDialog, DataSource.get());

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setAccessibleName(QStringLiteral("Tindrel II window"));
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Bevel = new QFrame(client);
  Bevel->setObjectName(QStringLiteral("Bevel"));
  Bevel->setAccessibleName(QStringLiteral("Top edge"));
  Bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel->setFixedHeight(Scaled(2));
  column->addWidget(Bevel);

  ToolBar1 = new RowToolBar(Scaled(27), client);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setAccessibleName(QStringLiteral("Record tool bar"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(Scaled(25), Scaled(25)));
  ToolBar1->setStyleSheet(
      QStringLiteral("QToolBar { border: none; border-bottom: 1px solid palette(mid); padding: 0px; spacing: 0px; }"));
  ToolBar1->setMaximumHeight(Scaled(27));
  wwDBNavigator1 = TwwDBNavigator::PlaceOnMainWindow(ToolBar1, DataSource.get(), FilterDialog, LocateDialog);
  wwDBNavigator1->setFixedSize(wwDBNavigator1->size());
  wwDBNavigator1->setAccessibleName(QStringLiteral("Record navigator"));
  ToolBar1->addWidget(wwDBNavigator1);
  column->addWidget(ToolBar1);

  auto* workArea = new QWidget(client);
  workArea->setObjectName(QStringLiteral("WorkArea"));
  workArea->setAccessibleName(QStringLiteral("Notes and memo"));
  auto* row = new QHBoxLayout(workArea);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  PopupMenu = new QMenu(this);
  DBTreeView = new TDBTreeView(workArea);
  DBTreeView->setObjectName(QStringLiteral("DBTreeView"));
  DBTreeView->setAccessibleName(QStringLiteral("Notes"));
  DBTreeView->ApplyMainWindowSettings();
  DBTreeView->SetIndent(Scaled(19));
  DBTreeView->setFixedWidth(Scaled(161));
  DBTreeView->setFrameShape(QFrame::NoFrame);
  QPalette treePalette = DBTreeView->palette();
  treePalette.setColor(QPalette::Base, treePalette.color(QPalette::Button));
  DBTreeView->setPalette(treePalette);
  DBTreeView->setFont(DesignFont("MS Sans Serif", 8, QFont::SansSerif));
  DBTreeView->SetPopupMenu(PopupMenu);
  DBTreeView->SetDataSource(DataSource.get());
  row->addWidget(DBTreeView);
  RouteShortcuts(DBTreeView);

  Splitter = new TSplitter(workArea);
  Splitter->setObjectName(QStringLiteral("Splitter"));
  Splitter->setAccessibleName(QStringLiteral("Divider between tree and memo"));
  Splitter->setFixedWidth(Scaled(3));
  Splitter->SetMinSize(Scaled(30));
  Splitter->SetControl(DBTreeView);
  row->addWidget(Splitter);

  MemoPanel = new QFrame(workArea);
  MemoPanel->setObjectName(QStringLiteral("MemoPanel"));
  MemoPanel->setAccessibleName(QStringLiteral("Memo panel"));
  MemoPanel->setFrameStyle(QFrame::NoFrame);
  auto* memoLayout = new QVBoxLayout(MemoPanel);
  memoLayout->setContentsMargins(0, 0, 0, 0);
  Memo = new TDBMemo(MemoPanel);
  Memo->setObjectName(QStringLiteral("Memo"));
  Memo->setAccessibleName(QStringLiteral("Note text"));
  Memo->setFont(DesignFont("Courier New", 10, QFont::TypeWriter));
  Memo->SetDataSource(DataSource.get());
  Memo->SetDataField(QStringLiteral("MEMO"));
  ApplyMemoWrap(false);
  memoLayout->addWidget(Memo);
  row->addWidget(MemoPanel, 1);
  column->addWidget(workArea, 1);
  RouteShortcuts(Memo);

  fcStatusBar1 = new TfcStatusBar(client);
  fcStatusBar1->setObjectName(QStringLiteral("fcStatusBar1"));
  fcStatusBar1->setAccessibleName(QStringLiteral("Status bar"));
  fcStatusBar1->setFixedHeight(Scaled(TfcStatusBar::kDefaultHeight));
  fcStatusBar1->BeginUpdate();
  TfcStatusPanel* version = fcStatusBar1->Panels().Add();
  version->SetText(Text(kVersionText));
  version->SetWidth(QString::number(Scaled(80)));
  TfcStatusPanel* rest = fcStatusBar1->Panels().Add();
  rest->SetWidth(QString::number(Scaled(50)));
  fcStatusBar1->EndUpdate();
  column->addWidget(fcStatusBar1);
  table_status_ = std::make_unique<TTableStatus>(*Table, *DataSource, *rest);

  setCentralWidget(client);
  setTabOrder(DBTreeView, Memo);


  CreateMainMenu();
  CreatePopupMenu();

  resize(Scaled(597), Scaled(401));
}

void TMainForm::showEvent(QShowEvent* event) {
  // Centred on the screen the first time it is shown, frame included; this runs before the
  // window appears, so it never jumps.
  if (!shown_before_) {
    shown_before_ = true;
    if (const QScreen* shown = screen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(shown->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QMainWindow::showEvent(event);
}

QMenu* TMainForm::AddMenu(QMenuBar* bar, const char* name, const char* caption) {
  QMenu* menu = bar->addMenu(Text(caption));
  menu->setObjectName(Text(name));
  menu->setAccessibleName(Text(caption));
  menu->menuAction()->setObjectName(Text(name));
  return menu;
}

QMenu* TMainForm::AddMenu(QMenu* parentMenu, const char* name, const char* caption) {
  QMenu* menu = parentMenu->addMenu(Text(caption));
  menu->setObjectName(Text(name));
  menu->setAccessibleName(Text(caption));
  menu->menuAction()->setObjectName(Text(name));
  return menu;
}

QAction* TMainForm::AddItem(QMenu* menu, const char* name, const char* caption, TShortCut shortCut,
                            Handler handler) {
  QAction* action = menu->addAction(Text(caption));
  action->setObjectName(Text(name));
  if (shortCut != 0) action->setShortcut(ShortCutToKeySequence(shortCut));
  if (handler) Connect(action, handler);
  return action;
}

QAction* TMainForm::AddSeparator(QMenu* menu, const char* name) {
  QAction* separator = menu->addSeparator();
  separator->setObjectName(Text(name));
  return separator;
}

void TMainForm::Connect(QAction* action, Handler handler) {
  connect(action, &QAction::triggered, this, [this, action, handler] {
    // A checkable item flips its own tick before it reports the click; the toggles decide the
    // tick themselves from the state before the click, so the flip is undone first.
    if (action->isCheckable()) {
      QSignalBlocker blocker(action);
      action->setChecked(!action->isChecked());
    }
    RunGuarded([&] { (this->*handler)(action); });
  });
}

void TMainForm::CreateMainMenu() {
  MainMenu = menuBar();
  MainMenu->setObjectName(QStringLiteral("MainMenu"));
  MainMenu->setAccessibleName(QStringLiteral("Main menu"));

  MenuFile = AddMenu(MainMenu, "MenuFile", "File");
  MenuSettings = AddMenu(MenuFile, "MenuSettings", "Settings");
  MenuDatabase = AddMenu(MenuSettings, "MenuDatabase", "Database");
  MenuBackup = AddItem(MenuDatabase, "MenuBackup", "Backup", 0, nullptr);
  MenuRestore = AddItem(MenuDatabase, "MenuRestore", "Restore", 0, nullptr);
  BackupCommands = new TBackupCommands(*this, file_system_);
  N2 = AddSeparator(MenuDatabase, "N2");
  MenuImport = AddMenu(MenuDatabase, "MenuImport", "Import");
  MenuExport = AddMenu(MenuDatabase, "MenuExport", "Export");
  ExchangeCommands = new TExchangeCommands(*this);
  MenuLine9 = AddSeparator(MenuDatabase, "MenuLine9");
  MenuPack = AddItem(MenuDatabase, "MenuPack", "Pack", 0, &TMainForm::MenuPackClick);
  MenuInterface = AddMenu(MenuSettings, "MenuInterface", "Interface");
  Fonts1 = AddMenu(MenuInterface, "Fonts1", "Fonts...");
  MenuTreeFont = AddItem(Fonts1, "MenuTreeFont", "TreeView", 49236, &TMainForm::MenuTreeFontClick);
  MenuMemoFont = AddItem(Fonts1, "MenuMemoFont", "Memo", 49229, &TMainForm::MenuMemoFontClick);
  MenuLine7 = AddSeparator(MenuInterface, "MenuLine7");
  MenuStayOnTop = AddItem(MenuInterface, "MenuStayOnTop", "StayOnTop", 49235, &TMainForm::MenuStayOnTopClick);
  MenuStayOnTop->setCheckable(true);
  MenuLine5 = AddSeparator(MenuSettings, "MenuLine5");
  MenuMemoWordWrap =
      AddItem(MenuSettings, "MenuMemoWordWrap", "Memo WordWrap", 16471, &TMainForm::MenuMemoWordWrapClick);
  MenuMemoWordWrap->setCheckable(true);
  MenuLine8 = AddSeparator(MenuFile, "MenuLine8");
  MenuExit = AddItem(MenuFile, "MenuExit", "Exit", 32856, &TMainForm::MenuExitClick);

  MenuEdit = AddMenu(MainMenu, "MenuEdit", "Edit");
  MenuInsert = AddItem(MenuEdit, "MenuInsert", "Insert", 116, &TMainForm::PopUpInsertClick);
  MenuInsertChild = AddItem(MenuEdit, "MenuInsertChild", "Insert Child", 117, &TMainForm::PopUpInsertChildClick);
  MenuLine1 = AddSeparator(MenuEdit, "MenuLine1");
  MenuDelete = AddItem(MenuEdit, "MenuDelete", "Delete", 8238, &TMainForm::PopUpDeleteClick);
  // Ctrl+Alt+R: no other command has it, and no text editor takes it for itself.
  MenuRecallDeleted =
      AddItem(MenuEdit, "MenuRecallDeleted", "Recall Deleted...", 49234, &TMainForm::MenuRecallDeletedClick);

  MenuDataSet = AddMenu(MainMenu, "MenuDataSet", "Dataset");
  MenuNavigation = AddMenu(MenuDataSet, "MenuNavigation", "Navigation");
  MenuFirst = AddItem(MenuNavigation, "MenuFirst", "First", 0, &TMainForm::MenuFirstClick);
  MenuPrior = AddItem(MenuNavigation, "MenuPrior", "Prior", 0, &TMainForm::MenuPriorClick);
  MenuNext = AddItem(MenuNavigation, "MenuNext", "Next", 0, &TMainForm::MenuNextClick);
  MenuLast = AddItem(MenuNavigation, "MenuLast", "Last", 0, &TMainForm::MenuLastClick);
  MenuManipulation = AddMenu(MenuDataSet, "MenuManipulation", "Manipulation");
  MenuDataInsert = AddItem(MenuManipulation, "MenuDataInsert", "Insert", 0, &TMainForm::MenuDataInsertClick);
  MenuDataAppend = AddItem(MenuManipulation, "MenuDataAppend", "Append", 0, &TMainForm::MenuDataAppendClick);
  MenuDataEdit = AddItem(MenuManipulation, "MenuDataEdit", "Edit", 0, &TMainForm::MenuDataEditClick);
  MenuDataPost = AddItem(MenuManipulation, "MenuDataPost", "Post", 0, &TMainForm::MenuDataPostClick);
  MenuDataDelete = AddItem(MenuManipulation, "MenuDataDelete", "Delete", 0, &TMainForm::MenuDataDeleteClick);
  MenuDataCancel = AddItem(MenuManipulation, "MenuDataCancel", "Cancel", 0, &TMainForm::MenuDataCancelClick);
  MenuLine2 = AddSeparator(MenuManipulation, "MenuLine2");
  MenuDataRefresh = AddItem(MenuManipulation, "MenuDataRefresh", "Refresh", 0, &TMainForm::MenuDataRefreshClick);

  MenuSearch = AddMenu(MainMenu, "MenuSearch", "Search");
  MenuLocate = AddItem(MenuSearch, "MenuLocate", "Locate", 118, &TMainForm::MenuLocateClick);
  MenuFilter = AddItem(MenuSearch, "MenuFilter", "Filter", 119, &TMainForm::MenuFilterClick);

  MenuTree = AddMenu(MainMenu, "MenuTree", "Tree");
  MenuExpandAll = AddItem(MenuTree, "MenuExpandAll", "Expand All", 122, &TMainForm::MenuExpandAllClick);
  MenuCollapseAll = AddItem(MenuTree, "MenuCollapseAll", "Collapse All", 123, &TMainForm::MenuCollapseAllClick);
  MenuLine4 = AddSeparator(MenuTree, "MenuLine4");
  MenuRebuildTree = AddItem(MenuTree, "MenuRebuildTree", "ReBuild Tree", 16466, &TMainForm::MenuRebuildTreeClick);
  MenuLine3 = AddSeparator(MenuTree, "MenuLine3");
  MenuMouseMoveSelect =
      AddItem(MenuTree, "MenuMouseMoveSelect", "Mouse Move Select", 16461, &TMainForm::MenuMouseMoveSelectClick);
  MenuMouseMoveSelect->setCheckable(true);

  MenuHelp = AddMenu(MainMenu, "MenuHelp", "Help");
  MenuAbout = AddItem(MenuHelp, "MenuAbout", "About", 112, &TMainForm::MenuAboutClick);
}

void TMainForm::CreatePopupMenu() {
  PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  PopupMenu->setAccessibleName(QStringLiteral("Tree menu"));
  PopUpInsert = AddItem(PopupMenu, "PopUpInsert", "Insert", 0, &TMainForm::PopUpInsertClick);
  PopUpInsertChild = AddItem(PopupMenu, "PopUpInsertChild", "Insert Child", 0, &TMainForm::PopUpInsertChildClick);
  PopUpLine1 = AddSeparator(PopupMenu, "PopUpLine1");
  PopUpDelete = AddItem(PopupMenu, "PopUpDelete", "Delete", 0, &TMainForm::PopUpDeleteClick);
  PopUpLine2 = AddSeparator(PopupMenu, "PopUpLine2");
  PopUpTreeFont = AddItem(PopupMenu, "PopUpTreeFont", "Tree Font", 0, &TMainForm::MenuTreeFontClick);
  PopUpMemoFont = AddItem(PopupMenu, "PopUpMemoFont", "Memo Font", 0, &TMainForm::MenuMemoFontClick);
  PopUpLine3 = AddSeparator(PopupMenu, "PopUpLine3");
  PopUpMemoWordWrap = AddItem(PopupMenu, "PopUpMemoWordWrap", "Memo WordWrap", 0, &TMainForm::MenuMemoWordWrapClick);
  PopUpMemoWordWrap->setCheckable(true);
}

// ---- start-up and shutdown --------------------------------------------------------------------

void TMainForm::FormCreate() {
  FontDialog = std::make_unique<TFontDialog>();
  SettingsFile = std::make_unique<TIniFile>(SettingsPath());
  LoadSettings();
  if (Table->Active()) return;
  Table->SetTableName(TablePath());
  try {
    Table->Open();
  } catch (const std::exception& error) {
    // The engine's reason stays first; the command that mends it follows, where there is one.
    const QString remedy = TableRemedy(error, program_folder_);
    if (remedy.isEmpty()) throw;
    throw std::runtime_error((QString::fromUtf8(error.what()) + QLatin1Char('\n') + remedy).toStdString());
  }
  table_status_->ReportOpenWarnings();
}

void TMainForm::FormClose() {
  SaveSettings();
  FontDialog.reset();
  SettingsFile.reset();
}

bool TMainForm::SettleBeforeClose() {
  if (!Table->Active()) return true;
  // A change failed part-way: the table takes nothing more, and the next start finishes the
  // change from the journal or drops it. Trying again could only fail, so nothing is asked.
  if (Table->InDoubt()) {
    RunGuarded([this] { Table->Cancel(); });
    return true;
  }
  if (RunGuarded([this] { Table->SettleEdits(); })) return true;
  const MessageButton answer = Platform::Instance().MessageBoxes().Show(
      Text(kApplicationTitle), CloseAnywayText(), MessageIcon::Confirmation, mbOK | mbCancel);
  if (answer != mbOK) return false;
  RunGuarded([this] { Table->Cancel(); });
  return true;
}

void TMainForm::SaveForSessionEnd() {
  if (!SettingsFile) return;
  RunGuarded([this] {
    if (Table->Active() && !Table->InDoubt()) Table->SettleEdits();
  });
  RunGuarded([this] { SaveSettings(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A window whose close already completed has nothing more to write.
  if (!SettingsFile) return event->accept();
  if (!SettleBeforeClose()) return event->ignore();
  if (!RunGuarded([this] { FormClose(); })) return event->ignore();
  // A backup that fails is shown; the notes are safe in the table all the same.
  RunGuarded([this] { BackupCommands->BackupAtClose(); });
  event->accept();
}

void TMainForm::LoadSettings() {
  using namespace settings;
  const TIniFile& ini = *SettingsFile;
  const QString interface = Text(kInterfaceSection);
  const QString treeView = Text(kTreeViewSection);

  if (ini.ReadBool(interface, Text(kStayOnTop), kDefaultStayOnTop)) MenuStayOnTopClick(MenuStayOnTop);
  QFont memoFont = Memo->font();
  memoFont.setFamily(ini.ReadString(interface, Text(kFontName), Text(kDefaultMemoFontName)));
  Memo->setFont(memoFont);
  memoFont.setPointSize(SaneFontSize(ini.ReadInteger(interface, Text(kFontSize), kDefaultFontSize)));
  Memo->setFont(memoFont);
  if (ini.ReadBool(interface, Text(kMemoWordWrap), kDefaultMemoWordWrap)) MenuMemoWordWrapClick(MenuMemoWordWrap);

  if (ini.ReadBool(treeView, Text(kMouseMoveSelect), kDefaultMouseMoveSelect))
    MenuMouseMoveSelectClick(MenuMouseMoveSelect);
  QFont treeFont = DBTreeView->font();
  treeFont.setFamily(ini.ReadString(treeView, Text(kFontName), Text(kDefaultTreeFontName)));
  DBTreeView->setFont(treeFont);
  treeFont.setPointSize(SaneFontSize(ini.ReadInteger(treeView, Text(kFontSize), kDefaultFontSize)));
  DBTreeView->setFont(treeFont);
}

void TMainForm::SaveSettings() {
  using namespace settings;
  TIniFile& ini = *SettingsFile;
  const QString interface = Text(kInterfaceSection);
  const QString treeView = Text(kTreeViewSection);
  const double dpi = screen() ? screen()->logicalDotsPerInchY() : 96.0;

  ini.WriteBool(interface, Text(kStayOnTop), MenuStayOnTop->isChecked());
  ini.WriteString(interface, Text(kFontName), Memo->font().family());
  ini.WriteInteger(interface, Text(kFontSize), FontPoints(Memo->font(), dpi));
  ini.WriteBool(interface, Text(kMemoWordWrap), MenuMemoWordWrap->isChecked());
  ini.WriteBool(treeView, Text(kMouseMoveSelect), MenuMouseMoveSelect->isChecked());
  ini.WriteString(treeView, Text(kFontName), TreeFont().family());
  ini.WriteInteger(treeView, Text(kFontSize), FontPoints(TreeFont(), dpi));
}

// ---- commands ---------------------------------------------------------------------------------

void TMainForm::PopUpInsertClick(QObject*) { DBTreeView->InsertNode(false); }
void TMainForm::PopUpInsertChildClick(QObject*) { DBTreeView->InsertNode(true); }
void TMainForm::PopUpDeleteClick(QObject*) { DBTreeView->DeleteSelected(); }

void TMainForm::MenuExitClick(QObject*) { close(); }

void TMainForm::MenuFirstClick(QObject*) { Table->First(); }
void TMainForm::MenuPriorClick(QObject*) { Table->Prior(); }
void TMainForm::MenuNextClick(QObject*) { Table->Next(); }
void TMainForm::MenuLastClick(QObject*) { Table->Last(); }

void TMainForm::MenuDataInsertClick(QObject*) { Table->Insert(); }
void TMainForm::MenuDataAppendClick(QObject*) { Table->Append(); }
void TMainForm::MenuDataEditClick(QObject*) { Table->Edit(); }
void TMainForm::MenuDataPostClick(QObject*) { Table->Post(); }
void TMainForm::MenuDataDeleteClick(QObject*) { Table->Delete(); }
void TMainForm::MenuDataCancelClick(QObject*) { Table->Cancel(); }
void TMainForm::MenuDataRefreshClick(QObject*) { Table->Refresh(); }

void TMainForm::MenuLocateClick(QObject*) { LocateDialog->Execute(); }

// The tree is rebuilt whatever the dialog returned: a cancelled dialog may still have changed the
// filter's state.
void TMainForm::MenuFilterClick(QObject*) {
  FilterDialog->Execute();
  RebuildTree();
}

void TMainForm::MenuRebuildTreeClick(QObject*) { RebuildTree(); }

void TMainForm::RebuildTree() { DBTreeView->RebuildTree(); }

// Each top-level node in turn, with all its descendants.
void TMainForm::MenuExpandAllClick(QObject*) { DBTreeView->FullExpand(); }
void TMainForm::MenuCollapseAllClick(QObject*) { DBTreeView->FullCollapse(); }

void TMainForm::MenuTreeFontClick(QObject*) {
  if (!FontDialog) return;
  FontDialog->SetFont(TreeFont());
  if (FontDialog->Execute(this)) DBTreeView->setFont(FontDialog->Font());
}

void TMainForm::MenuMemoFontClick(QObject*) {
  if (!FontDialog) return;
  FontDialog->SetFont(Memo->font());
  if (FontDialog->Execute(this)) Memo->setFont(FontDialog->Font());
}

void TMainForm::MenuStayOnTopClick(QObject*) {
  const bool onTop = !MenuStayOnTop->isChecked();
  // Changing the flag re-creates the native window, which hides it; the widgets and their
  // contents stay as they are.
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (visible) show();
  MenuStayOnTop->setChecked(onTop);
}

void TMainForm::MenuMemoWordWrapClick(QObject*) {
  const bool wrap = !MenuMemoWordWrap->isChecked();
  ApplyMemoWrap(wrap);
  MenuMemoWordWrap->setChecked(wrap);
  PopUpMemoWordWrap->setChecked(MenuMemoWordWrap->isChecked());
}

void TMainForm::ApplyMemoWrap(bool wrap) {
  Memo->SetWordWrap(wrap);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
}

void TMainForm::MenuMouseMoveSelectClick(QObject*) {
  const bool select = !MenuMouseMoveSelect->isChecked();
  tree_options_ = select ? kTreeOptionsMouseMoveSelect : kTreeOptions;
  DBTreeView->SetOptions(tree_options_);
  MenuMouseMoveSelect->setChecked(select);
}

void TMainForm::MenuPackClick(QObject*) {
  // What the pack removes is gone for good: the notes as they were are kept first.
  BackupCommands->BackupBeforePack();
  Table->PackTable();
  Platform::Instance().MessageBoxes().Show(QStringLiteral("Information"), QStringLiteral("Pack Completed"),
                                           MessageIcon::Information, mbOK);
  RebuildTree();
}

void TMainForm::MenuRecallDeletedClick(QObject*) {
  if (!Table->Active() || !Table->EngineTable())
    throw DataSetError(QStringLiteral("Table"), QStringLiteral("Cannot perform this operation on a closed dataset"));
  // The recall reads and changes the table beneath the dataset: what was typed is stored first.
  Table->SettleEdits();
  TRecallForm window(*Table->EngineTable(), [this](uint32_t recno) { return RecallDeleted(recno); }, this);
  window.exec();
}

recall::RecallSummary TMainForm::RecallDeleted(uint32_t recno) {
  const recall::RecallSummary summary = recall::RecallSubtree(*Table->EngineTable(), recno);
  Table->Refresh();
  DBTreeView->RebuildTree();
  Table->LocateByValues(QStringLiteral("ID"), {QString::fromStdString(summary.topId)});
  return summary;
}

QString TMainForm::AboutText() {
  return QStringLiteral("Tindrel II (Desktop Edition) 1.0.1, written in 2000 by the Tindrel II author.");
}

QString TMainForm::CloseAnywayText() {
  return QStringLiteral("The changes to the current note could not be stored. Close anyway and discard them?");
}

void TMainForm::MenuAboutClick(QObject*) {
  Platform::Instance().MessageBoxes().Show(QStringLiteral("Information"), AboutText(), MessageIcon::Information,
                                           mbOK);
}

// ---- shortcuts --------------------------------------------------------------------------------

void TMainForm::RouteShortcuts(QWidget* widget) { widget->installEventFilter(this); }

bool TMainForm::IsMenuShortcut(const QKeySequence& keys) const {
  const auto actions = findChildren<QAction*>();
  for (const QAction* action : actions)
    if (action->isEnabled() && !action->shortcut().isEmpty() && action->shortcut() == keys) return true;
  return false;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // The focused control is asked first whether it wants a key that is also a shortcut; the
  // editors claim keys such as Shift+Del for themselves. A menu shortcut is refused to them so
  // the command runs, wherever the focus is.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsMenuShortcut(QKeySequence(key->keyCombination()))) {
      event->ignore();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tindrel
