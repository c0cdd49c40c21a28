#pragma once

// DataGridModel shows the records of a dataset as a table for a QTableView,
// and DataGrid is such a view with the model built in. The model follows the
// dataset through a TDataLink: it holds the display text of one page of rows
// at a time, read from the dataset's own record cache as the view asks for
// them, never a copy of the whole result. Rows the server has not sent yet
// are fetched a page at a time when the view scrolls to the end (Qt's
// canFetchMore/fetchMore).
//
// Reading a page moves the dataset's cursor with its controls disabled and
// puts it back; the current record stays current. The last few pages read are
// kept, so that a view showing rows of two pages does not read them in turn.
// While the dataset is being edited no page is read (that would post or
// cancel the edit): other rows show their last known text.
//
// A cell shows its field's display text (money with its cents); the text an
// editor starts from is the field's value as text (AsString).
//
// Editing a cell makes its row current, starts editing and sets the field
// from the text (with the field's validation). The row is posted as a whole
// when another row becomes current (or by the dataset's Post, the
// navigator's button), so a new record is checked once, with all its cells
// typed; CancelRow (Escape in the grid) takes the row's changes back. A
// failure is shown through ShowDataError and the dataset keeps the typed
// values in its edit buffer, so the user can correct them and post again.
// Cells are editable only when the dataset can take edits (LinkCanModify).
//
// While a record is inserted the grid shows it as a row of its own, the
// rows below it moved down by one, also in an empty result.
//
// Ownership: the model owns its link; it refers to the data source without
// owning it (clear it with SetDataSource(nullptr) before the source goes).
// Main thread only.

#include <QAbstractTableModel>
#include <QTableView>
#include <memory>
#include <vector>

#include "controls/data_control.h"
#include "framework/datasource.h"

namespace tessel::controls {

class GridLink;

class DataGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit DataGridModel(QObject* parent = nullptr);
  ~DataGridModel() override;

  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* source);
  // Rows read from the dataset per page (default 64).
  int PageSize() const { return page_size_; }
  void SetPageSize(int rows);
  // The row of the dataset's current record, -1 when there is none.
  int CurrentRow() const { return current_row_; }
  // Rows known so far; more may come from the server (canFetchMore).
  int KnownRows() const { return known_rows_; }
  // Page reads since the dataset was opened, for tests and benchmarks.
  int PageReads() const { return page_reads_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // Makes the record of row current (posting a pending edit first).
  bool MoveToRow(int row);
  // Cancels the edit or insert of the current row; false when there is none.
  bool CancelRow();

  // The text a cell shows, without the QVariant of data(): read from the
  // kept pages (reading the row's page when needed) or, for the current row,
  // from the record itself. Empty outside the rows and columns. The
  // reference stays valid until the next call or change of the dataset.
  const QString& CellDisplayText(int row, int column) const;
  // Whether a column holds numbers (shown aligned to the right).
  bool IsNumericColumn(int column) const;
  // The field a column shows, or null.
  TField* ColumnField(int column) const;

 signals:
  // The dataset's current record moved to row (-1: none).
  void CurrentRowChanged(int row);

 private:
  friend class GridLink;
  friend class GridDelegate;

  void Reset();
  // Adds the row of a record being inserted, or takes it away once the
  // insert ended; true when it did either.
  bool FollowInsert();
  int InsertPosition(TDataSet* dataset) const;
  void RecordMoved(bool data_changed);
  void RecordEdited();
  TDataSet* Dataset() const;
  QString CellText(TField* field) const;
  // The text an editor starts from for the cell of field in row.
  QString EditText(int row, TField* field) const;
  // Reads the page starting at first_row and keeps it; returns it.
  const std::vector<std::vector<QString>>& LoadPage(int first_row) const;
  // Forgets the pages (rows came or went), or only marks them out of date
  // (they are read again when the dataset is browsed, shown until then).
  void DropPages() const;
  void StalePages() const;
  // Reads further rows until row is known or the result ends.
  void ReadUpTo(int row) const;
  bool Seek(int row) const;

  std::unique_ptr<GridLink> link_;
  int page_size_ = 64;
  int current_row_ = -1;
  // The row of the record being inserted, -1 when none. Rows below it show
  // the dataset's row above them.
  int insert_row_ = -1;
  // Set while the model follows a change of the dataset: the view's current
  // row moves with it, which asks for no move of the dataset.
  bool changing_ = false;
  // Display text of rows [first, first + rows.size()); most recent first.
  struct Page {
    int first = 0;
    bool stale = false;
    std::vector<std::vector<QString>> rows;
  };
  static constexpr int kPagesKept = 4;
  mutable std::vector<Page> pages_;
  mutable int known_rows_ = 0;
  mutable bool all_known_ = false;
  mutable int page_reads_ = 0;
  // Set while the model moves the cursor itself; its own events are ignored.
  mutable bool reading_ = false;
  // The current row's texts, read live by CellDisplayText.
  mutable QString live_text_;
};

class GlyphText;
class RowHeader;

// A table view over a DataGridModel that keeps its selection on the
// dataset's current record and makes the clicked row current.
//
// The grid paints its cells itself, rather than through a delegate per
// cell: one pass over the rows in view lays out each cell's text from
// glyphs cached per font and draws all text of a colour in one go, then the
// grid lines, the selected row in the palette's highlight and the focus
// frame. Text outside the cached characters (other scripts) is drawn through
// QPainter::drawText. Geometry, headers, scrolling, selection and editors
// remain QTableView's. The row header numbers the rows and marks the current
// one while it is edited ("*") or inserted ("+").
//
// Columns are fitted to the values in view when the dataset opens, and as the
// user scrolls a column widens when a value come into view would be cut. It
// never narrows while scrolling (the columns would jump back and forth), and
// a column the user sized by hand keeps its width. Only the rows in view are
// measured, from the texts painting reads anyway: no further row is read.
class DataGrid : public QTableView, public DataControl {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)

 public:
  explicit DataGrid(QWidget* parent = nullptr);
  ~DataGrid() override;

  DataGridModel* Model() const { return model_; }
  TDataSource* DataSource() const override { return model_->DataSource(); }
  void SetDataSource(TDataSource* source) override { model_->SetDataSource(source); }

  // Whether cells are painted by the grid itself (the default) or by
  // QTableView through its item delegate, as a reference.
  bool PaintsCellsItself() const { return paints_cells_; }
  void SetPaintsCellsItself(bool value);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Wide enough for the values in view as the grid lays them out.
  int sizeHintForColumn(int column) const override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  bool CanPaintCells() const;
  const GlyphText& Glyphs() const;
  int TextMargin() const;
  void PaintCells(QPainter& painter, const QRect& area);
  void FollowCurrentRow(int row);
  void FitColumns();
  // Widens the columns in view whose values in view would be cut.
  void WidenColumnsInView();
  // The widest value of column in the rows [first, last] as painted, plus
  // the cell's margins; 0 when they are all empty.
  int ValueWidth(int column, int first, int last) const;

  DataGridModel* model_;
  RowHeader* row_header_;
  QAbstractItemDelegate* own_delegate_;
  mutable std::unique_ptr<GlyphText> glyphs_;
  bool following_ = false;
  bool paints_cells_ = true;
  // Set while the grid sizes columns itself; other resizes are the user's.
  bool fitting_ = false;
  std::vector<bool> user_sized_;
};

}  // namespace tessel::controls
