#include "app/TExchangeCommands.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include <tuple>

#include "app/TExchangeForm.h"
#include "app/TMainForm.h"
#include "app/TProgressWindow.h"
#include "exchange/ExchangeError.h"
#include "platform/Errors.h"
#include "platform/Platform.h"
#include "store/TTable.h"
#include "tree/dbTree.h"

namespace tindrel {
namespace {

using exchange::ExchangeError;
using exchange::Format;

// A message box shows this many notices; the count of the rest follows.
constexpr size_t kShownNotices = 20;

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString NoteCount(size_t notes) {
  return notes == 1 ? QStringLiteral("1 note") : QStringLiteral("%1 notes").arg(static_cast<qulonglong>(notes));
}

}  // namespace

TExchangeCommands::TExchangeCommands(TMainForm& form) : QObject(&form), form_(form) {
  form.MenuImportFromMarkdownFolders =
      AddItem(form.MenuImport, "MenuImportFromMarkdownFolders", "Markdown Folders...", Format::MarkdownFolder, false);
  form.MenuImportFromMarkdownFile =
      AddItem(form.MenuImport, "MenuImportFromMarkdownFile", "Markdown File...", Format::MarkdownFile, false);
  form.MenuImportFromOPML = AddItem(form.MenuImport, "MenuImportFromOPML", "OPML...", Format::Opml, false);
  form.MenuImportFromCSV = AddItem(form.MenuImport, "MenuImportFromCSV", "CSV...", Format::Csv, false);

  form.MenuExportToAscii =
      AddItem(form.MenuExport, "MenuExportToAscii", "Markdown Folders...", Format::MarkdownFolder, true);
  form.MenuExportToMarkdownFile =
      AddItem(form.MenuExport, "MenuExportToMarkdownFile", "Markdown File...", Format::MarkdownFile, true);
  form.MenuExportToOPML = AddItem(form.MenuExport, "MenuExportToOPML", "OPML...", Format::Opml, true);
  form.MenuExportToCVS = AddItem(form.MenuExport, "MenuExportToCVS", "CSV...", Format::Csv, true);
  form.MenuExportToSQLScript = AddItem(form.MenuExport, "MenuExportToSQLScript", "SQL Script...", Format::Sql, true);
  // No such engines exist here: the items stay, disabled.
  for (auto [slot, name, caption] : {std::tuple{&form.MenuExportToOracle, "MenuExportToOracle", "Oracle Table"},
                                     std::tuple{&form.MenuExportToAccess, "MenuExportToAccess", "Microsoft Access"}}) {
    *slot = form.MenuExport->addAction(QString::fromUtf8(caption));
    (*slot)->setObjectName(QString::fromUtf8(name));
    (*slot)->setEnabled(false);
  }
}

QAction* TExchangeCommands::AddItem(QMenu* menu, const char* name, const char* caption, Format format, bool exporting) {
  QAction* action = menu->addAction(QString::fromUtf8(caption));
  action->setObjectName(QString::fromUtf8(name));
  connect(action, &QAction::triggered, this, [this, format, exporting] {
    RunGuarded([&] { exporting ? Export(format) : Import(format); });
  });
  return action;
}

QString TExchangeCommands::DefaultPath(Format format) const {
  const auto last = lastPaths_.find(format);
  if (last != lastPaths_.end()) return last->second;
  return QDir::homePath() + QStringLiteral("/Tindrel notes") + QString::fromUtf8(exchange::InfoOf(format).extension);
}

std::string TExchangeCommands::SelectedId() const {
  // A blank ID would mean all notes, or the top level: not what the person chose.
  const QString id = form_.DBTreeView->SelectedID();
  if (id.isEmpty()) throw ExchangeError("The selected note has no ID, so the notes below it cannot be told apart");
  return id.toStdString();
}

QString TExchangeCommands::SummaryText(const QString& headline, const std::vector<std::string>& notices) {
  QString text = headline;
  if (!notices.empty()) text += QStringLiteral("\n");
  for (size_t i = 0; i < notices.size() && i < kShownNotices; ++i)
    text += QStringLiteral("\n") + QString::fromStdString(notices[i]);
  if (notices.size() > kShownNotices)
    text += QStringLiteral("\n... and %1 more").arg(static_cast<qulonglong>(notices.size() - kShownNotices));
  return text;
}

void TExchangeCommands::Export(Format format) {
  TTable& table = *form_.Table;
  table.SettleEdits();
  const TTreeNode* selected = form_.DBTreeView->currentItem();
  TExchangeForm window(TExchangeForm::Direction::Export, format, selected ? selected->text(0) : QString(),
                       DefaultPath(format), &form_);
  if (window.exec() != QDialog::Accepted) return;
  const QString path = window.Path();
  bool replace = false;
  if (!exchange::InfoOf(format).folder && QFileInfo(path).isFile()) {
    const MessageButton answer = Platform::Instance().MessageBoxes().Show(
        QStringLiteral("Export"), QStringLiteral("%1 exists already. Replace it?").arg(path), MessageIcon::Confirmation,
        mbOK | mbCancel);
    if (answer != mbOK) return;
    replace = true;
  }
  const std::string subtree = window.SelectedNoteChosen() ? SelectedId() : std::string();
  exchange::ExportSummary summary;
  {
    TProgressWindow progress(QStringLiteral("Export"), path, &form_);
    summary = exchange::ExportNotes(*table.EngineTable(), subtree, format, LocalPath(path), replace, progress.Callback());
  }
  lastPaths_[format] = path;
  Platform::Instance().MessageBoxes().Show(
      QStringLiteral("Information"),
      SummaryText(QStringLiteral("Exported %1 to %2.").arg(NoteCount(summary.notes), path), summary.notices),
      MessageIcon::Information, mbOK);
}

void TExchangeCommands::Import(Format format) {
  TTable& table = *form_.Table;
  table.SettleEdits();
  const TTreeNode* selected = form_.DBTreeView->currentItem();
  const QString selectedTitle = selected ? selected->text(0) : QString();
  TExchangeForm window(TExchangeForm::Direction::Import, format, selectedTitle,
                       lastPaths_.count(format) ? lastPaths_[format] : QString(), &form_);
  if (window.exec() != QDialog::Accepted) return;
  const QString path = window.Path();
  const bool below = window.SelectedNoteChosen();
  const std::string under = below ? SelectedId() : std::string();
  exchange::ImportSummary summary;
  {
    TProgressWindow progress(QStringLiteral("Import"), path, &form_);
    summary = exchange::ImportNotes(*table.EngineTable(), format, LocalPath(path), under, progress.Callback());
  }
  lastPaths_[format] = path;
  // The records came in beneath the dataset: it reads the table again, and the tree follows.
  table.Refresh();
  form_.DBTreeView->RebuildTree();
  table.LocateByValues(QStringLiteral("ID"), {QString::fromStdString(summary.firstId)});
  const QString where =
      below ? QStringLiteral("below \u201C%1\u201D").arg(selectedTitle) : QStringLiteral("at the top level");
  Platform::Instance().MessageBoxes().Show(
      QStringLiteral("Information"),
      SummaryText(QStringLiteral("Imported %1 from %2 %3.").arg(NoteCount(summary.notes), path, where), summary.notices),
      MessageIcon::Information, mbOK);
}

}  // namespace tindrel
