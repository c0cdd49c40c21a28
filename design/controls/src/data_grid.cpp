#include "controls/data_grid.h"

#include <QHeaderView>
#include <algorithm>

#include "controls/data_error.h"
#include "framework/exceptions.h"
#include "framework/field.h"

namespace tessel::controls {

// Forwards the dataset's notifications to the model.
class GridLink : public TDataLink {
 public:
  explicit GridLink(DataGridModel* model) : model_(model) {}

 protected:
  void ActiveChanged() override { model_->Reset(); }
  void LayoutChanged() override { model_->Reset(); }
  void DataSetChanged() override {
    if (!model_->reading_) model_->RecordMoved(true);
  }
  void DataSetScrolled(int /*distance*/) override {
    if (!model_->reading_) model_->RecordMoved(false);
  }
  void RecordChanged(TField* /*field*/) override {
    if (!model_->reading_) model_->RecordEdited();
  }
  void EditingChanged() override {
    if (!model_->reading_) model_->RecordEdited();
  }

 private:
  DataGridModel* model_;
};

namespace {

// Restores the cursor and the controls however a page read ends.
class CursorKeeper {
 public:
  explicit CursorKeeper(TDataSet* dataset) : dataset_(dataset) {
    dataset_->DisableControls();
    if (!dataset_->IsEmpty()) bookmark_ = dataset_->GetBookmark();
  }
  ~CursorKeeper() {
    try {
      if (!bookmark_.empty()) dataset_->GotoBookmark(bookmark_);
    } catch (...) {
      // The record went away meanwhile; the dataset keeps a valid cursor.
    }
    dataset_->EnableControls();
  }
  CursorKeeper(const CursorKeeper&) = delete;
  CursorKeeper& operator=(const CursorKeeper&) = delete;

 private:
  TDataSet* dataset_;
  TBookmark bookmark_;
};

bool IsNumeric(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftAutoInc:
    case ftLargeint:
      return true;
    default:
      return false;
  }
}

}  // namespace

DataGridModel::DataGridModel(QObject* parent)
    : QAbstractTableModel(parent), link_(std::make_unique<GridLink>(this)) {}

DataGridModel::~DataGridModel() {
  // Detaching deactivates the link; nobody is to hear of it any more.
  blockSignals(true);
  link_->SetDataSource(nullptr);
}

TDataSource* DataGridModel::DataSource() const {
  return link_->DataSource();
}

void DataGridModel::SetDataSource(TDataSource* source) {
  link_->SetDataSource(source);
  Reset();
}

void DataGridModel::SetPageSize(int rows) {
  page_size_ = std::max(1, rows);
  DropPages();
}

void DataGridModel::DropPages() const {
  pages_.clear();
}

void DataGridModel::StalePages() const {
  for (Page& page : pages_) page.stale = true;
}

TDataSet* DataGridModel::Dataset() const {
  return link_->Active() ? link_->DataSet() : nullptr;
}

void DataGridModel::Reset() {
  beginResetModel();
  DropPages();
  known_rows_ = 0;
  all_known_ = false;
  page_reads_ = 0;
  current_row_ = -1;
  if (TDataSet* dataset = Dataset()) {
    if (dataset->IsEmpty()) {
      all_known_ = true;
    } else {
      ReadUpTo(page_size_ - 1);
      current_row_ = dataset->RecNo() - 1;
    }
  }
  endResetModel();
  emit CurrentRowChanged(current_row_);
}

void DataGridModel::RecordMoved(bool data_changed) {
  TDataSet* dataset = Dataset();
  if (dataset == nullptr) return;
  // After a change rows may have come, gone or changed (a post, a delete, a
  // refresh, or only a jump to another record): the pages are read again
  // when the dataset is browsed, and shown as they were while a record is
  // edited. An inserted record moves the rows below it: those texts would
  // be shown on the wrong rows. A plain scroll keeps the pages.
  if (data_changed) {
    if (dataset->State() == dsInsert) {
      DropPages();
    } else {
      StalePages();
    }
  }
  const int row = dataset->IsEmpty() ? -1 : dataset->RecNo() - 1;
  const int before = known_rows_;
  if (dataset->IsEmpty()) {
    known_rows_ = 0;
    all_known_ = true;
  } else if (row >= known_rows_) {
    known_rows_ = row + 1;
  }
  if (dataset->State() == dsBrowse && !dataset->IsEmpty()) {
    // A delete shrinks the result; a row count above the last record is wrong.
    const int count = dataset->RecordCount();
    if (all_known_ && count >= 0) known_rows_ = count;
  }
  if (known_rows_ > before) {
    beginInsertRows({}, before, known_rows_ - 1);
    endInsertRows();
  } else if (known_rows_ < before) {
    beginRemoveRows({}, known_rows_, before - 1);
    endRemoveRows();
  }
  current_row_ = row;
  if (data_changed && known_rows_ > 0) {
    emit dataChanged(index(0, 0), index(known_rows_ - 1, columnCount() - 1));
  }
  emit headerDataChanged(Qt::Vertical, 0, std::max(0, known_rows_ - 1));
  emit CurrentRowChanged(current_row_);
}

void DataGridModel::RecordEdited() {
  TDataSet* dataset = Dataset();
  if (dataset == nullptr) return;
  if (dataset->State() == dsInsert && current_row_ >= 0 && current_row_ >= known_rows_) {
    RecordMoved(true);
    return;
  }
  if (current_row_ >= 0 && current_row_ < known_rows_) {
    emit dataChanged(index(current_row_, 0), index(current_row_, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, current_row_, current_row_);
  }
}

TField* DataGridModel::ColumnField(int column) const {
  TDataSet* dataset = Dataset();
  if (dataset == nullptr || column < 0 || column >= dataset->FieldCount()) return nullptr;
  return (*dataset->Fields())[column];
}

QString DataGridModel::CellText(TField* field) const {
  // Text and image values stay on the server until asked for; the grid shows
  // what kind of value is there, as a memo or image control shows the value.
  if (field->DataType() == ftMemo) return field->IsNull() ? "(memo)" : "(MEMO)";
  if (field->IsBlob()) return field->IsNull() ? "(blob)" : "(BLOB)";
  if (field->IsNull()) return {};
  return QString::fromStdString(field->AsString());
}

bool DataGridModel::Seek(int row) const {
  TDataSet* dataset = link_->DataSet();
  dataset->SetRecNo(row + 1);
  if (dataset->RecNo() == row + 1) return true;
  // A dataset that cannot position by number walks there.
  dataset->First();
  return dataset->MoveBy(row) == row;
}

void DataGridModel::ReadUpTo(int row) const {
  TDataSet* dataset = Dataset();
  if (dataset == nullptr || all_known_ || row < known_rows_) return;
  if (dataset->State() != dsBrowse) return;
  reading_ = true;
  {
    CursorKeeper keep(dataset);
    const int start = std::max(0, known_rows_ - 1);
    if (known_rows_ == 0) {
      dataset->First();
    } else {
      Seek(start);
    }
    const int wanted = row - start;
    const int moved = dataset->MoveBy(wanted);
    known_rows_ = std::max(known_rows_, start + moved + 1);
    if (moved < wanted || dataset->Eof()) all_known_ = true;
  }
  reading_ = false;
}

const std::vector<std::vector<QString>>& DataGridModel::LoadPage(int first_row) const {
  TDataSet* dataset = Dataset();
  Page page;
  page.first = first_row;
  const int fields = dataset->FieldCount();
  const int rows = std::min(page_size_, known_rows_ - first_row);
  reading_ = true;
  try {
    CursorKeeper keep(dataset);
    if (rows > 0 && Seek(first_row)) {
      page.rows.reserve(rows);
      for (int r = 0; r < rows; ++r) {
        std::vector<QString> texts;
        texts.reserve(fields);
        for (int c = 0; c < fields; ++c) texts.push_back(CellText((*dataset->Fields())[c]));
        page.rows.push_back(std::move(texts));
        if (r + 1 < rows && dataset->MoveBy(1) != 1) break;
      }
    }
  } catch (...) {
    reading_ = false;
    throw;
  }
  reading_ = false;
  ++page_reads_;
  std::erase_if(pages_, [first_row](const Page& kept) { return kept.first == first_row; });
  if (int(pages_.size()) >= kPagesKept) pages_.pop_back();
  pages_.insert(pages_.begin(), std::move(page));
  return pages_.front().rows;
}

int DataGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || Dataset() == nullptr ? 0 : known_rows_;
}

int DataGridModel::columnCount(const QModelIndex& parent) const {
  TDataSet* dataset = Dataset();
  return parent.isValid() || dataset == nullptr ? 0 : dataset->FieldCount();
}

QVariant DataGridModel::data(const QModelIndex& index, int role) const {
  TField* field = ColumnField(index.column());
  if (field == nullptr || index.row() < 0 || index.row() >= known_rows_) return {};
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(IsNumeric(field->DataType()) ? Qt::AlignRight | Qt::AlignVCenter
                                                            : Qt::AlignLeft | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  TDataSet* dataset = field->DataSet();
  // The current record is read live: it may be in the edit buffer.
  if (index.row() == current_row_ && dataset->State() != dsInactive) {
    if (role == Qt::EditRole && !field->IsBlob()) {
      return QString::fromStdString(field->IsNull() ? std::string() : field->AsString());
    }
    return CellText(field);
  }
  const int row = index.row();
  const int first = row - row % page_size_;
  const Page* kept = nullptr;
  for (const Page& page : pages_) {
    if (page.first == first) kept = &page;
  }
  const std::vector<std::vector<QString>>* rows = kept != nullptr ? &kept->rows : nullptr;
  if (dataset->State() == dsBrowse && (kept == nullptr || kept->stale)) {
    try {
      rows = &LoadPage(first);
    } catch (const std::exception&) {
      return {};
    }
  }
  if (rows == nullptr || row - first >= int(rows->size())) return {};
  const auto& texts = (*rows)[row - first];
  return index.column() < int(texts.size()) ? QVariant(texts[index.column()]) : QVariant();
}

QVariant DataGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) {
    TField* field = ColumnField(section);
    return field ? QVariant(QString::fromStdString(field->DisplayName())) : QVariant();
  }
  if (section == current_row_ && Dataset() != nullptr) {
    switch (Dataset()->State()) {
      case dsEdit:
        return QString("%1 *").arg(section + 1);
      case dsInsert:
        return QString("%1 +").arg(section + 1);
      default:
        break;
    }
  }
  return section + 1;
}

Qt::ItemFlags DataGridModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags result = QAbstractTableModel::flags(index);
  TField* field = ColumnField(index.column());
  if (field == nullptr) return result;
  if (!field->ReadOnly() && !field->IsBlob() && !link_->ReadOnly() && field->DataSet()->CanModify())
    result |= Qt::ItemIsEditable;
  return result;
}

bool DataGridModel::MoveToRow(int row) {
  TDataSet* dataset = Dataset();
  if (dataset == nullptr || row < 0 || row >= known_rows_) return false;
  if (row == current_row_) return true;
  return RunReportingErrors(nullptr, [&] {
    dataset->CheckBrowseMode();
    Seek(row);
  });
}

bool DataGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TField* field = ColumnField(index.column());
  if (role != Qt::EditRole || field == nullptr) return false;
  if (!MoveToRow(index.row())) return false;
  TDataSet* dataset = field->DataSet();
  const std::string text = value.toString().toStdString();
  return RunReportingErrors(nullptr, [&] {
    if (!link_->Edit()) throw EDatabaseError("The data cannot be changed here");
    if (text.empty() && field->DataType() != ftString) {
      field->Clear();
    } else {
      field->SetAsString(text);
    }
    dataset->Post();
  });
}

bool DataGridModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && Dataset() != nullptr && !all_known_;
}

void DataGridModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  const int before = known_rows_;
  RunReportingErrors(nullptr, [&] { ReadUpTo(known_rows_ + page_size_ - 1); });
  if (known_rows_ > before) {
    beginInsertRows({}, before, known_rows_ - 1);
    endInsertRows();
  }
}

DataGrid::DataGrid(QWidget* parent) : QTableView(parent), model_(new DataGridModel(this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Rows of one height, text on one line: the view then lays out and paints
  // a page without measuring each row.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  setWordWrap(false);
  horizontalHeader()->setStretchLastSection(true);
  // Widths are measured on the rows in view only: measuring further would
  // make the dataset read rows nobody looks at.
  horizontalHeader()->setResizeContentsPrecision(0);
  connect(model_, &QAbstractItemModel::modelReset, this, &DataGrid::FitColumns);
  connect(model_, &DataGridModel::CurrentRowChanged, this, &DataGrid::FollowCurrentRow);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!following_ && current.isValid()) model_->MoveToRow(current.row());
          });
}

DataGrid::~DataGrid() {
  model_->disconnect(this);
}

// Every reset of the model gives the header fresh sections of a default width;
// an open dataset's columns get widths that show the values in view.
void DataGrid::FitColumns() {
  if (model_->columnCount() > 0) resizeColumnsToContents();
}

void DataGrid::FollowCurrentRow(int row) {
  following_ = true;
  if (row >= 0 && row < model_->rowCount()) {
    const QModelIndex target = model_->index(row, std::max(0, currentIndex().column()));
    selectionModel()->setCurrentIndex(
        target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  } else {
    selectionModel()->clearSelection();
  }
  following_ = false;
}

}  // namespace tessel::controls
