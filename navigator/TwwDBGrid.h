#pragma once
// The record grid of the search window: a table view over a model of the dataset, one row per
// record in the dataset's current order and filter. Selecting a row makes its record the
// dataset's current record; moving the dataset elsewhere selects the record's row.
//
// The model lists the records by reading the engine cursor directly (no dataset move and no
// notification) and reads the cells of the rows on screen straight from the engine by record
// number, so a large table opens quickly.

#include <QAbstractTableModel>
#include <QCache>
#include <QHash>
#include <QStringList>
#include <QTableView>

#include <vector>

#include "store/TDataLink.h"

namespace tindrel {

class TDataSource;
class TTable;
class TwwDBGrid;

// One grid column: the field and its title and width in characters.
struct TwwGridColumn {
  QString FieldName;
  int DisplayWidth = 10;
  QString Title;
};

class TwwDataSetModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TwwDataSetModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  void SetTable(TTable* table) { table_ = table; }
  void SetColumns(std::vector<TwwGridColumn> columns);
  const std::vector<TwwGridColumn>& Columns() const { return columns_; }
  // Lists the records anew (after an order or filter change).
  void Reload();
  // The row of the dataset's current record, or -1.
  int CurrentRow() const;
  uint32_t RecnoAt(int row) const { return rows_[static_cast<size_t>(row)]; }
  // The row the record indicator marks.
  void SetIndicatorRow(int row);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QString CellText(int row, int column) const;

  TTable* table_ = nullptr;
  std::vector<TwwGridColumn> columns_;
  std::vector<int> fieldIndexes_;
  std::vector<uint32_t> rows_;
  int indicatorRow_ = -1;
  QHash<uint32_t, int> rowOf_;
  mutable QCache<uint32_t, QStringList> cells_{512};
};

class TwwDBGrid : public QTableView {
  Q_OBJECT
 public:
  explicit TwwDBGrid(QWidget* parent = nullptr);
  ~TwwDBGrid() override;

  void SetDataSource(TDataSource* source);
  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetColumns(std::vector<TwwGridColumn> columns);
  TwwDataSetModel& Model() { return model_; }
  // Lists the records anew and selects the current one.
  void Reload();
  // Selects the row of the dataset's current record.
  void FollowDataSet();
  // Widens the last column so the columns fill `width` pixels of the viewport.
  void FitLastColumn(int width);
  // The width the columns, the indicator, the lines and the scroll bar need.
  int NaturalWidth() const;

 private:
  class Link : public TDataLink {
   public:
    explicit Link(TwwDBGrid* grid) : grid_(grid) {}

   protected:
    void NotifyDataSetChange() override { grid_->FollowDataSet(); }
    void NotifyActiveChange() override { grid_->Reload(); }
    void NotifyLayoutChange() override { grid_->Reload(); }

   private:
    TwwDBGrid* grid_;
  };

  void RowSelected(const QModelIndex& current);

  TwwDataSetModel model_;
  Link link_;
  bool following_ = false;
};

}  // namespace tindrel
