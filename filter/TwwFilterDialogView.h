#pragma once
// "Show Search Summary": a small modal window with a read-only table of the criteria of the
// filter dialog's working list: the field, the kind of search and the value or bounds.

#include <QDialog>
#include <QStringList>
#include <vector>

#include "filter/TwwFilterTypes.h"

class QTableWidget;
class QPushButton;

namespace tindrel {

class TwwFilterDialog;

// The three cells of one criterion's row ("Field", "Search Type", "Value"); all empty for a
// criterion of another type.
QStringList SummaryRow(const TwwFilterDialog& owner, const TwwFieldInfo& criterion);

class TwwFilterDialogView : public QDialog {
  Q_OBJECT
 public:
  explicit TwwFilterDialogView(QWidget* parent = nullptr);
  void Fill(const TwwFilterDialog& owner, const TwwFieldInfoList& criteria);

  QTableWidget* StringGrid1;
  QPushButton* CancelBtn;
  QPushButton* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FitHeadings();
};

// Creates the summary window over `criteria`, shows it modally and destroys it.
void ShowSummary(const TwwFilterDialog& owner, const TwwFieldInfoList& criteria, QWidget* parent = nullptr);

}  // namespace tindrel
