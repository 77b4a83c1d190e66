#include "navigator/TwwDBGrid.h"

#include <QHeaderView>
#include <QScrollBar>

#include "platform/Errors.h"
#include "store/TDataSource.h"
#include "store/TField.h"
#include "store/TTable.h"
#include "store/engine/Cursor.h"
#include "store/engine/Table.h"

namespace tindrel {

// ---------------------------------------------------------------------------------------------
// TwwDataSetModel

void TwwDataSetModel::SetColumns(std::vector<TwwGridColumn> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  fieldIndexes_.clear();
  for (const TwwGridColumn& c : columns_) {
    TField* field = table_ ? table_->FindFieldNamed(c.FieldName) : nullptr;
    fieldIndexes_.push_back(field ? field->Index() : -1);
  }
  cells_.clear();
  endResetModel();
}

void TwwDataSetModel::Reload() {
  beginResetModel();
  rows_.clear();
  rowOf_.clear();
  indicatorRow_ = -1;
  cells_.clear();
  if (table_ && table_->Active()) {
    // The cursor walks the current order under the filter; the dataset's own record stays.
    table_->EngineCursor()->MoveToBegin();
    engine::Record record;
    while (table_->ReadNextRecord(record) == engine::ResultCode::Ok) {
      rowOf_.insert(record.recno, static_cast<int>(rows_.size()));
      rows_.push_back(record.recno);
    }
  }
  endResetModel();
}

int TwwDataSetModel::CurrentRow() const {
  if (!table_ || !table_->Active()) return -1;
  const TBookmark here = table_->TakeBookmark();
  if (!here) return -1;
  return rowOf_.value(here.recno, -1);
}

int TwwDataSetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TwwDataSetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QString TwwDataSetModel::CellText(int row, int column) const {
  const uint32_t recno = rows_[static_cast<size_t>(row)];
  QStringList* cached = cells_.object(recno);
  if (!cached) {
    auto* texts = new QStringList;
    engine::Table* engine = table_ ? table_->EngineTable() : nullptr;
    if (engine) {
      const engine::Record record = engine->ReadRecord(recno);
      for (int fieldIndex : fieldIndexes_) {
        QString text;
        if (fieldIndex >= 0) {
          const TField& field = *table_->Fields()[static_cast<size_t>(fieldIndex)];
          if (field.IsBlob()) {
            // The first line of a memo is what fits a grid cell.
            text = QString::fromStdString(engine->ReadMemo(record, fieldIndex, 256));
            text = text.section(QLatin1Char('\n'), 0, 0).remove(QLatin1Char('\r'));
          } else {
            text = QString::fromStdString(engine->GetText(record, fieldIndex));
          }
        }
        texts->push_back(text);
      }
    }
    cells_.insert(recno, texts);
    cached = texts;
  }
  return column < cached->size() ? cached->at(column) : QString();
}

QVariant TwwDataSetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole) {
    QVariant result;
    RunGuarded([&] { result = CellText(index.row(), index.column()); });
    return result;
  }
  if (role == Qt::TextAlignmentRole) {
    const int fieldIndex = fieldIndexes_[static_cast<size_t>(index.column())];
    if (fieldIndex >= 0 && table_->Fields()[static_cast<size_t>(fieldIndex)]->IsNumeric())
      return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  return {};
}

void TwwDataSetModel::SetIndicatorRow(int row) {
  const int old = indicatorRow_;
  indicatorRow_ = row;
  if (old >= 0 && old < rowCount()) emit headerDataChanged(Qt::Vertical, old, old);
  if (row >= 0 && row < rowCount()) emit headerDataChanged(Qt::Vertical, row, row);
}

QVariant TwwDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical && role == Qt::DisplayRole)
    return section == indicatorRow_ ? QStringLiteral("\u25B8") : QString();
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal && section >= 0 && section < static_cast<int>(columns_.size()))
    return columns_[static_cast<size_t>(section)].Title;
  return {};
}

// ---------------------------------------------------------------------------------------------
// TwwDBGrid

TwwDBGrid::TwwDBGrid(QWidget* parent) : QTableView(parent), link_(this) {
  setModel(&model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setFixedWidth(12);  // the record indicator column
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { RunGuarded([&] { RowSelected(current); }); });
}

TwwDBGrid::~TwwDBGrid() { link_.SetDataSource(nullptr); }

void TwwDBGrid::SetDataSource(TDataSource* source) {
  link_.SetDataSource(source);
  model_.SetTable(source ? dynamic_cast<TTable*>(source->DataSet()) : nullptr);
  Reload();
}

void TwwDBGrid::SetColumns(std::vector<TwwGridColumn> columns) {
  model_.SetColumns(std::move(columns));
  const int charWidth = fontMetrics().averageCharWidth();
  const auto& cols = model_.Columns();
  for (int i = 0; i < static_cast<int>(cols.size()); ++i) {
    const int titleWidth = fontMetrics().horizontalAdvance(cols[static_cast<size_t>(i)].Title) + 8;
    setColumnWidth(i, std::max(titleWidth, cols[static_cast<size_t>(i)].DisplayWidth * charWidth + 6));
  }
  FollowDataSet();
}

void TwwDBGrid::Reload() {
  model_.Reload();
  FollowDataSet();
}

void TwwDBGrid::FollowDataSet() {
  if (following_) return;
  const int row = model_.CurrentRow();
  model_.SetIndicatorRow(row);
  following_ = true;
  if (row >= 0 && model_.columnCount() > 0) {
    const QModelIndex index = model_.index(row, std::max(currentIndex().column(), 0));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
  } else {
    selectionModel()->clearSelection();
  }
  following_ = false;
}

void TwwDBGrid::RowSelected(const QModelIndex& current) {
  if (following_ || !current.isValid()) return;
  TDataSet* dataSet = link_.DataSet();
  if (!dataSet || !dataSet->Active()) return;
  TBookmark target;
  target.recno = model_.RecnoAt(current.row());
  const TBookmark here = dataSet->TakeBookmark();
  if (here.recno == target.recno) return;
  target.generation = here.generation;
  following_ = true;
  try {
    dataSet->ReturnToBookmark(target);
  } catch (...) {
    following_ = false;
    throw;
  }
  following_ = false;
}

int TwwDBGrid::NaturalWidth() const {
  int columns = 0;
  for (int i = 0; i < model_.columnCount(); ++i) columns += columnWidth(i) + (showGrid() ? 1 : 0);
  return columns + verticalHeader()->width() + 2 * frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
}

void TwwDBGrid::FitLastColumn(int width) {
  const int last = model_.columnCount() - 1;
  if (last < 0) return;
  const int missing = width - NaturalWidth();
  if (missing > 0) setColumnWidth(last, columnWidth(last) + missing);
}

}  // namespace tindrel
