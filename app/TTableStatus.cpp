#include "app/TTableStatus.h"

#include "platform/ErrorBox.h"
#include "platform/Platform.h"
#include "statusbar/TfcStatusPanel.h"
#include "store/TDataLink.h"
#include "store/TTable.h"
#include "store/engine/EngineError.h"

#include <functional>

namespace tindrel {
namespace {

QString Sentence(QString text) {
  if (!text.isEmpty() && !text.endsWith(u'.')) text += u'.';
  return text;
}

// Tells the status whenever the table opens, closes or stops taking changes.
class StateLink : public TDataLink {
 public:
  explicit StateLink(std::function<void()> changed) : changed_(std::move(changed)) {}

 protected:
  void NotifyActiveChange() override { changed_(); }
  void NotifyReadOnlyChange() override { changed_(); }

 private:
  std::function<void()> changed_;
};

}  // namespace

TTableStatus::TTableStatus(TTable& table, TDataSource& source, TfcStatusPanel& panel)
    : table_(table), panel_(panel), link_(std::make_unique<StateLink>([this] { ShowState(); })) {
  table_.OnPostError = [this](TDataSet&, const std::exception& error, TDataAction& action) {
    ChangeFailed(error, true, action);
  };
  table_.OnDeleteError = [this](TDataSet&, const std::exception& error, TDataAction& action) {
    ChangeFailed(error, false, action);
  };
  link_->SetDataSource(&source);
}

TTableStatus::~TTableStatus() {
  link_.reset();
  table_.OnPostError = nullptr;
  table_.OnDeleteError = nullptr;
}

void TTableStatus::ReportOpenWarnings() const {
  if (table_.OpenWarnings().isEmpty()) return;
  Platform::Instance().MessageBoxes().Show(QString::fromLatin1(kApplicationTitle),
                                           OpenWarningsText(table_.OpenWarnings()), MessageIcon::Warning, mbOK);
}

void TTableStatus::ChangeFailed(const std::exception& error, bool typed, TDataAction& action) const {
  const auto* engineError = dynamic_cast<const engine::EngineError*>(&error);
  if (!engineError || engineError->Code() != engine::ResultCode::IoError) return;
  ShowErrorBox(FailedChangeText(QString::fromUtf8(error.what()), typed, table_.InDoubt(), table_.ReadOnlyReason()));
  action = TDataAction::daAbort;  // told already: the caller stops, the record stays as it is
}

void TTableStatus::ShowState() {
  // Told of a close before the engine's table goes: a closed table says nothing.
  panel_.SetText(table_.Active() ? PanelText(table_.InDoubt(), table_.ReadOnlyReason()) : QString());
}

QString TTableStatus::OpenWarningsText(const QStringList& warnings) {
  QStringList lines;
  for (const QString& warning : warnings) lines << Sentence(warning);
  return QStringLiteral("Tindrel II found this while opening your notes:\n\n") + lines.join(u'\n') +
         QStringLiteral("\n\nLook over the notes you changed last: a change that was still being saved when the "
                        "program stopped may be missing.");
}

QString TTableStatus::FailedChangeText(const QString& error, bool typed, bool inDoubt, const QString& readOnlyReason) {
  QString text = QStringLiteral("Your change could not be saved: ") + Sentence(error) + QStringLiteral("\n\n");
  if (inDoubt)
    return text + QStringLiteral(
                      "Your notes are read-only until Tindrel II starts again. Close it, make room on the disk if it "
                      "is full, and start it again: that finishes saving the change if it got as far as the note "
                      "table's journal, and otherwise leaves your notes as they were.");
  if (!readOnlyReason.isEmpty())
    return text + QStringLiteral("Your notes are now read-only: ") + Sentence(readOnlyReason) +
           (typed ? QStringLiteral(" What you typed is still in the window: copy it somewhere safe, then close "
                                   "Tindrel II and start it again.")
                  : QStringLiteral(" Close Tindrel II and start it again."));
  return text + QStringLiteral("Nothing in your notes was changed") +
         (typed ? QStringLiteral(", and what you typed is still in the window") : QString()) +
         QStringLiteral(". Make room on the disk if it is full, then try again.");
}

QString TTableStatus::PanelText(bool inDoubt, const QString& readOnlyReason) {
  if (inDoubt) return QStringLiteral("Read-only until Tindrel II starts again: the last change could not be finished");
  if (readOnlyReason.isEmpty()) return {};
  return QStringLiteral("Read-only: ") + readOnlyReason;
}

}  // namespace tindrel
