#include "controls/data_grid.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>

#include "banded_paint.h"
#include "controls/data_error.h"
#include "controls/field_link.h"
#include "dataset_walk.h"
#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "glyph_text.h"

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

// Raises a flag for its lifetime and puts back what it was.
class Changing {
 public:
  explicit Changing(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~Changing() { flag_ = was_; }
  Changing(const Changing&) = delete;
  Changing& operator=(const Changing&) = delete;

 private:
  bool& flag_;
  bool was_;
};

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
  const Changing changing(changing_);
  beginResetModel();
  DropPages();
  known_rows_ = 0;
  all_known_ = false;
  page_reads_ = 0;
  current_row_ = -1;
  insert_row_ = -1;
  if (TDataSet* dataset = Dataset()) {
    if (dataset->State() == dsInsert) {
      // Taken over in the middle of an insert: the rows are read once it ends.
      insert_row_ = current_row_ = InsertPosition(dataset);
      known_rows_ = insert_row_ + 1;
    } else if (dataset->IsEmpty()) {
      all_known_ = true;
    } else {
      ReadUpTo(page_size_ - 1);
      current_row_ = dataset->RecNo() - 1;
    }
  }
  endResetModel();
  emit CurrentRowChanged(current_row_);
}

int DataGridModel::InsertPosition(TDataSet* dataset) const {
  // The new record goes before the current one, or after the last for an
  // append; a dataset that was empty numbers it 0.
  int row = dataset->RecNo() - 1;
  if (row < 0) row = std::max(0, current_row_);
  return std::min(row, known_rows_);
}

bool DataGridModel::FollowInsert() {
  TDataSet* dataset = Dataset();
  const bool inserting = dataset != nullptr && dataset->State() == dsInsert;
  if (inserting == (insert_row_ >= 0)) return false;
  if (inserting) {
    const int row = InsertPosition(dataset);
    beginInsertRows({}, row, row);
    insert_row_ = row;
    ++known_rows_;
    endInsertRows();
    current_row_ = row;
  } else {
    // Posted or cancelled: the row goes. A posted record is one of the
    // dataset's own rows from now on and is counted with them when the
    // dataset resyncs (the change that follows at once).
    const int row = insert_row_;
    beginRemoveRows({}, row, row);
    insert_row_ = -1;
    --known_rows_;
    endRemoveRows();
    current_row_ = -1;
  }
  return true;
}

void DataGridModel::RecordMoved(bool data_changed) {
  TDataSet* dataset = Dataset();
  if (dataset == nullptr) return;
  const Changing changing(changing_);
  FollowInsert();
  // After a change rows may have come, gone or changed (a post, a delete, a
  // refresh, or only a jump to another record): the pages are read again
  // when the dataset is browsed, and shown as they were while a record is
  // edited or inserted (CellDisplayText moves the rows below an inserted one
  // down by one). A plain scroll keeps the pages.
  if (data_changed) StalePages();
  if (insert_row_ >= 0) {
    current_row_ = insert_row_;
    if (data_changed) emit dataChanged(index(0, 0), index(known_rows_ - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, 0, known_rows_ - 1);
    emit CurrentRowChanged(current_row_);
    return;
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
  if (insert_row_ < 0 && dataset->State() == dsInsert) {
    RecordMoved(true);
    return;
  }
  if (insert_row_ >= 0 && dataset->State() != dsInsert) {
    // The dataset resyncs next and tells of it; until then no row is current.
    const Changing changing(changing_);
    FollowInsert();
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
  return QString::fromStdString(field->DisplayText());
}

QString DataGridModel::EditText(int row, TField* field) const {
  if (field->IsBlob()) return CellDisplayText(row, field->Index());
  if (row == current_row_ && field->IsNull()) return {};
  TDataSet* dataset = field->DataSet();
  if (row == current_row_) return QString::fromStdString(field->AsString());
  // Another row: its value is read from its record, as a page read does.
  if (dataset->State() != dsBrowse) return CellDisplayText(row, field->Index());
  QString text;
  reading_ = true;
  try {
    CursorKeeper keep(dataset);
    if (Seek(row) && !field->IsNull()) text = QString::fromStdString(field->AsString());
  } catch (const std::exception&) {
    text = CellDisplayText(row, field->Index());
  }
  reading_ = false;
  return text;
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
    return QVariant::fromValue(IsNumericType(field->DataType()) ? Qt::AlignRight | Qt::AlignVCenter
                                                                : Qt::AlignLeft | Qt::AlignVCenter);
  }
  if (role == Qt::EditRole) return EditText(index.row(), field);
  if (role != Qt::DisplayRole) return {};
  return CellDisplayText(index.row(), index.column());
}

bool DataGridModel::IsNumericColumn(int column) const {
  TField* field = ColumnField(column);
  return field != nullptr && IsNumericType(field->DataType());
}

const QString& DataGridModel::CellDisplayText(int row, int column) const {
  static const QString kNone;
  TField* field = ColumnField(column);
  if (field == nullptr || row < 0 || row >= known_rows_) return kNone;
  TDataSet* dataset = field->DataSet();
  // The current record is read live: it may be in the edit buffer.
  if (row == current_row_ && dataset->State() != dsInactive) {
    live_text_ = CellText(field);
    return live_text_;
  }
  // Rows below an inserted record show the dataset's row above them.
  const int source = insert_row_ >= 0 && row > insert_row_ ? row - 1 : row;
  const int first = source - source % page_size_;
  const Page* kept = nullptr;
  for (const Page& page : pages_) {
    if (page.first == first) kept = &page;
  }
  const std::vector<std::vector<QString>>* rows = kept != nullptr ? &kept->rows : nullptr;
  if (dataset->State() == dsBrowse && (kept == nullptr || kept->stale)) {
    try {
      rows = &LoadPage(first);
    } catch (const std::exception&) {
      return kNone;
    }
  }
  if (rows == nullptr || source - first >= int(rows->size())) return kNone;
  const auto& texts = (*rows)[source - first];
  return column < int(texts.size()) ? texts[column] : kNone;
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
  if (!field->ReadOnly() && !field->IsBlob() && LinkCanModify(*link_)) result |= Qt::ItemIsEditable;
  return result;
}

bool DataGridModel::MoveToRow(int row) {
  TDataSet* dataset = Dataset();
  // While the model follows the dataset, the view's current row follows the
  // model: that is no request to move.
  if (changing_) return row == current_row_;
  if (dataset == nullptr || row < 0 || row >= known_rows_) return false;
  if (row == current_row_) return true;
  return RunReportingErrors(nullptr, [&] {
    // Leaving an inserted row posts it, where it stays, or cancels it when
    // nothing was typed: then the rows below it move up by one.
    const int inserted = insert_row_;
    const int count = dataset->RecordCount();
    dataset->CheckBrowseMode();
    if (inserted >= 0 && row > inserted && dataset->RecordCount() == count) --row;
    Seek(row);
  });
}

namespace {

// A lookup cell shows a text of another dataset: what is typed there picks
// that dataset's record, and its key is written to the key fields. Writing
// the text into the lookup field itself would show the choice while the row
// kept, and posted, its old key.
void WriteLookupKey(TField& field, const std::string& text) {
  TDataSet& data = *field.DataSet();
  if (text.empty()) {
    std::vector<TField*> keys;
    data.GetFieldList(keys, field.KeyFields());
    for (TField* key : keys) key->Clear();
    return;
  }
  TDataSet* lookup = field.LookupDataSet();
  const Variant key = lookup != nullptr && lookup->Active()
                          ? lookup->Lookup(field.LookupResultField(), text, field.LookupKeyFields())
                          : Null();
  if (key.IsNull()) DatabaseErrorFmt(dbconsts::SInvalidValue, {text, field.DisplayName()});
  data.SetFieldValues(field.KeyFields(), key);
}

}  // namespace

bool DataGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TField* field = ColumnField(index.column());
  if (role != Qt::EditRole || field == nullptr) return false;
  if (!MoveToRow(index.row())) return false;
  const std::string text = value.toString().toStdString();
  return RunReportingErrors(nullptr, [&] {
    if (!link_->Edit()) throw EDatabaseError("The data cannot be changed here");
    if (field->FieldKind() == fkLookup) {
      WriteLookupKey(*field, text);
    } else if (text.empty() && field->DataType() != ftString) {
      field->Clear();
    } else {
      field->SetAsString(text);
    }
  });
}

bool DataGridModel::CancelRow() {
  TDataSet* dataset = Dataset();
  if (dataset == nullptr || (dataset->State() != dsEdit && dataset->State() != dsInsert))
    return false;
  RunReportingErrors(nullptr, [&] { dataset->Cancel(); });
  return true;
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

namespace {

// Paints the background of a viewport that has Qt::WA_OpaquePaintEvent set.
void FillBackground(QWidget* viewport, const QRect& rect) {
  QPainter painter(viewport);
  FillInBands(painter, rect, viewport->palette().brush(viewport->backgroundRole()));
}

}  // namespace

// The row header of a DataGrid: each section's look is drawn by the style
// once and kept as a picture; the numbers are laid out from cached glyphs.
class RowHeader : public QHeaderView {
 public:
  explicit RowHeader(DataGrid* grid) : QHeaderView(Qt::Vertical, grid), grid_(grid) {
    setSectionsClickable(true);
    setHighlightSections(true);
    // The background is painted by paintEvent (see FillInBands).
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override {
    QHeaderView::changeEvent(event);
    sections_.clear();
    plain_.reset();
    bold_.reset();
  }

 private:
  struct Section {
    QSize size;
    bool lit = false;
    bool active = false;
    bool enabled = false;
    qint64 palette = 0;
    QPixmap picture;
  };
  const QPixmap& SectionPicture(QSize size, bool lit);

  DataGrid* grid_;
  std::vector<Section> sections_;
  std::unique_ptr<GlyphText> plain_;
  std::unique_ptr<GlyphText> bold_;
};

const QPixmap& RowHeader::SectionPicture(QSize size, bool lit) {
  const bool active = window()->isActiveWindow();
  const bool enabled = isEnabled();
  const qint64 palette_key = palette().cacheKey();
  for (const Section& section : sections_) {
    if (section.size == size && section.lit == lit && section.active == active &&
        section.enabled == enabled && section.palette == palette_key)
      return section.picture;
  }
  if (sections_.size() >= 8) sections_.clear();
  QStyleOptionHeader option;
  option.initFrom(this);
  option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
  if (lit) option.state |= QStyle::State_On | QStyle::State_Sunken;
  option.orientation = Qt::Vertical;
  option.position = QStyleOptionHeader::Middle;
  option.selectedPosition = QStyleOptionHeader::NotAdjacent;
  option.textAlignment = defaultAlignment();
  option.rect = QRect(QPoint(0, 0), size);
  const qreal ratio = devicePixelRatio();
  QPixmap picture(size * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::transparent);
  {
    QPainter painter(&picture);
    style()->drawControl(QStyle::CE_HeaderSection, &option, &painter, this);
  }
  sections_.push_back({size, lit, active, enabled, palette_key, picture});
  return sections_.back().picture;
}

void RowHeader::paintEvent(QPaintEvent* event) {
  auto* model = qobject_cast<DataGridModel*>(this->model());
  if (!grid_->PaintsCellsItself() || model == nullptr || count() == 0 || isRightToLeft()) {
    FillBackground(viewport(), event->rect());
    QHeaderView::paintEvent(event);
    return;
  }
  QPainter painter(viewport());
  const QRect area = event->rect();
  const int first = visualIndexAt(area.top());
  int last = visualIndexAt(area.bottom());
  if (last < 0) last = count() - 1;
  if (plain_ == nullptr || plain_->Font() != font()) {
    QFont bold = font();
    bold.setBold(true);
    plain_ = std::make_unique<GlyphText>(font());
    bold_ = std::make_unique<GlyphText>(bold);
  }
  const QItemSelection selection =
      selectionModel() != nullptr ? selectionModel()->selection() : QItemSelection();
  const auto lit = [&selection](int row) {
    for (const QItemSelectionRange& range : selection) {
      if (row >= range.top() && row <= range.bottom()) return true;
    }
    return false;
  };
  QStyleOption label_option;
  label_option.initFrom(this);
  const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, &label_option, this);
  painter.setPen(palette().color(label_option.palette.currentColorGroup(), QPalette::ButtonText));
  GlyphBatch plain_text;
  GlyphBatch bold_text;
  int bottom = first < 0 ? area.top() : 0;
  for (int visual = first; first >= 0 && visual <= last; ++visual) {
    const int row = logicalIndex(visual);
    if (isSectionHidden(row)) continue;
    const int top = sectionViewportPosition(row);
    const int height = sectionSize(row);
    bottom = top + height;
    const bool highlighted = lit(row);
    painter.drawPixmap(0, top, SectionPicture(QSize(width(), height), highlighted));
    const QString label = row == model->CurrentRow()
                              ? model->headerData(row, Qt::Vertical).toString()
                              : QString::number(row + 1);
    const GlyphText& glyphs = highlighted ? *bold_ : *plain_;
    const QRect text_rect(margin, top + margin, width() - 2 * margin, height - 2 * margin);
    const qreal baseline =
        text_rect.top() + (text_rect.height() - glyphs.Height()) / 2 + glyphs.Ascent();
    if (!glyphs.Add(label, text_rect.left(), text_rect.right() + 1, std::floor(baseline), false,
                    highlighted ? bold_text : plain_text)) {
      painter.setFont(glyphs.Font());
      painter.drawText(text_rect, int(defaultAlignment()), label);
    }
  }
  plain_text.Draw(painter, plain_->RawFont());
  bold_text.Draw(painter, bold_->RawFont());
  if (bottom < area.bottom() + 1) {
    QStyleOption empty;
    empty.initFrom(this);
    empty.rect = QRect(0, bottom, width(), area.bottom() + 1 - bottom);
    style()->drawControl(QStyle::CE_HeaderEmptyArea, &empty, &painter, this);
  }
}

// The grid's item delegate: a lookup cell is edited in a combo box listing
// the lookup dataset's texts, so that a value is picked rather than guessed.
class GridDelegate : public QStyledItemDelegate {
 public:
  GridDelegate(DataGridModel* model, QObject* parent)
      : QStyledItemDelegate(parent), model_(model) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    TField* field = model_->ColumnField(index.column());
    TDataSet* lookup = field != nullptr && field->Lookup() ? field->LookupDataSet() : nullptr;
    if (lookup == nullptr || !lookup->Active())
      return QStyledItemDelegate::createEditor(parent, option, index);
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    RunReportingErrors(nullptr, [&] {
      TField* text = lookup->FieldByName(field->LookupResultField());
      ForEachRecord(lookup, [&] { combo->addItem(QString::fromStdString(text->DisplayText())); });
    });
    return combo;
  }

 private:
  DataGridModel* model_;
};

DataGrid::DataGrid(QWidget* parent)
    : QTableView(parent), model_(new DataGridModel(this)), row_header_(new RowHeader(this)) {
  setVerticalHeader(row_header_);
  setVerticalScrollBar(new BandedScrollBar(Qt::Vertical, this));
  setModel(model_);
  // The background is painted by paintEvent (see FillInBands).
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  own_delegate_ = new GridDelegate(model_, this);
  setItemDelegate(own_delegate_);
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
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
    if (fitting_ || column < 0) return;
    // The stretched last column is sized by the header as the view resizes.
    QHeaderView* header = horizontalHeader();
    if (header->stretchLastSection() && header->visualIndex(column) == header->count() - 1) return;
    if (user_sized_.size() <= std::size_t(column)) user_sized_.resize(column + 1, false);
    user_sized_[column] = true;
  });
  connect(model_, &DataGridModel::CurrentRowChanged, this, &DataGrid::FollowCurrentRow);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (following_ || !current.isValid() || model_->MoveToRow(current.row())) return;
            // The row being edited could not be posted: it stays current, and
            // so does its row in the view, once the view is done moving.
            QMetaObject::invokeMethod(
                this, [this] { FollowCurrentRow(model_->CurrentRow()); }, Qt::QueuedConnection);
          });
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
  // Escape in a cell's editor takes back that cell; outside one, the row.
  if (event->key() == Qt::Key_Escape && state() != EditingState && model_->CancelRow()) {
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void DataGrid::SetPaintsCellsItself(bool value) {
  paints_cells_ = value;
  viewport()->update();
  verticalHeader()->viewport()->update();
}

bool DataGrid::CanPaintCells() const {
  // A delegate put in by a user, spans or right-to-left layout are left to
  // QTableView.
  return paints_cells_ && model() == model_ && itemDelegate() == own_delegate_ &&
         !isRightToLeft() && model_->columnCount() > 0 && model_->rowCount() > 0 &&
         rowSpan(0, 0) == 1 && columnSpan(0, 0) == 1;
}

const GlyphText& DataGrid::Glyphs() const {
  if (glyphs_ == nullptr || glyphs_->Font() != font())
    glyphs_ = std::make_unique<GlyphText>(font());
  return *glyphs_;
}

// Room between a cell's edge and its text, as the style's item delegate leaves.
int DataGrid::TextMargin() const {
  return style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
}

// Text laid out from glyphs is not kerned, so it can be a pixel or two wider
// than the delegate measures it; a column fitted to the delegate's measure
// would cut it.
int DataGrid::sizeHintForColumn(int column) const {
  int hint = QTableView::sizeHintForColumn(column);
  if (!paints_cells_ || model() != model_ || column < 0 || column >= model_->columnCount())
    return hint;
  QHeaderView* rows = verticalHeader();
  const int first = std::max(0, rows->visualIndexAt(0));
  int last = rows->visualIndexAt(viewport()->height());
  // As QTableView measures: a hidden grid, or one not full, by all its rows.
  if (!isVisible() || last < 0) last = rows->count() - 1;
  return std::max(hint, ValueWidth(column, first, last));
}

int DataGrid::ValueWidth(int column, int first, int last) const {
  QHeaderView* rows = verticalHeader();
  const GlyphText& glyphs = Glyphs();
  const int extra = 2 * TextMargin() + (showGrid() ? 1 : 0);
  qreal widest = 0;
  for (int visual = first; visual <= last; ++visual) {
    const int row = rows->logicalIndex(visual);
    if (row < 0 || rows->isSectionHidden(row)) continue;
    const QString& text = model_->CellDisplayText(row, column);
    if (text.isEmpty()) continue;
    qreal width = glyphs.Width(text);
    if (width < 0) width = fontMetrics().horizontalAdvance(text);  // drawn by the shaper
    widest = std::max(widest, width);
  }
  return widest > 0 ? int(std::ceil(widest)) + extra : 0;
}

void DataGrid::scrollContentsBy(int dx, int dy) {
  QTableView::scrollContentsBy(dx, dy);
  WidenColumnsInView();
}

void DataGrid::WidenColumnsInView() {
  if (model() != model_ || model_->columnCount() == 0 || model_->rowCount() == 0) return;
  QHeaderView* rows = verticalHeader();
  QHeaderView* columns = horizontalHeader();
  const int first_row = rows->visualIndexAt(0);
  if (first_row < 0) return;
  int last_row = rows->visualIndexAt(viewport()->height() - 1);
  if (last_row < 0) last_row = rows->count() - 1;
  const int first_column = std::max(0, columns->visualIndexAt(0));
  int last_column = columns->visualIndexAt(viewport()->width() - 1);
  if (last_column < 0) last_column = columns->count() - 1;
  for (int visual = first_column; visual <= last_column; ++visual) {
    const int column = columns->logicalIndex(visual);
    if (column < 0 || columns->isSectionHidden(column)) continue;
    if (std::size_t(column) < user_sized_.size() && user_sized_[column]) continue;
    const int wanted = ValueWidth(column, first_row, last_row);
    if (wanted <= columns->sectionSize(column)) continue;
    fitting_ = true;
    columns->resizeSection(column, wanted);
    fitting_ = false;
  }
}

void DataGrid::paintEvent(QPaintEvent* event) {
  if (!CanPaintCells()) {
    FillBackground(viewport(), event->rect());
    QTableView::paintEvent(event);
    return;
  }
  QPainter painter(viewport());
  FillInBands(painter, event->rect(), viewport()->palette().brush(viewport()->backgroundRole()));
  PaintCells(painter, event->rect());
}

void DataGrid::PaintCells(QPainter& painter, const QRect& area) {
  QHeaderView* rows = verticalHeader();
  QHeaderView* columns = horizontalHeader();
  const int first_row = rows->visualIndexAt(area.top());
  const int first_column = columns->visualIndexAt(area.left());
  if (first_row < 0 || first_column < 0) return;
  int last_row = rows->visualIndexAt(area.bottom());
  if (last_row < 0) last_row = rows->count() - 1;
  int last_column = columns->visualIndexAt(area.right());
  if (last_column < 0) last_column = columns->count() - 1;

  const QFont& font = this->font();
  Glyphs();
  const QPalette& palette = this->palette();
  const QPalette::ColorGroup group = !isEnabled()       ? QPalette::Disabled
                                     : isActiveWindow() ? QPalette::Active
                                                        : QPalette::Inactive;
  const QColor text_colour = palette.color(group, QPalette::Text);
  const QColor selected_colour = palette.color(group, QPalette::HighlightedText);
  const QBrush highlight = palette.brush(group, QPalette::Highlight);
  const QBrush alternate = palette.brush(group, QPalette::AlternateBase);
  const int grid = showGrid() ? 1 : 0;
  const int margin = TextMargin();
  const QItemSelection selection = selectionModel()->selection();
  const QModelIndex current = currentIndex();

  GlyphBatch plain_text;
  GlyphBatch selected_text;
  struct Fallback {
    QRect rect;
    int alignment;
    QString text;
    bool selected;
  };
  std::vector<Fallback> fallbacks;
  std::vector<QLine> lines;
  QRect focus;
  int table_right = area.left();
  int table_bottom = area.top();
  for (int visual_row = first_row; visual_row <= last_row; ++visual_row) {
    const int row = rows->logicalIndex(visual_row);
    if (rows->isSectionHidden(row)) continue;
    const int top = rows->sectionViewportPosition(row);
    const int height = rows->sectionSize(row);
    table_bottom = top + height;
    const qreal baseline =
        std::floor(top + (height - grid - glyphs_->Height()) / 2 + glyphs_->Ascent());
    const bool alternate_row = alternatingRowColors() && (row & 1) != 0;
    for (int visual_column = first_column; visual_column <= last_column; ++visual_column) {
      const int column = columns->logicalIndex(visual_column);
      if (columns->isSectionHidden(column)) continue;
      const int left = columns->sectionViewportPosition(column);
      const int width = columns->sectionSize(column);
      table_right = left + width;
      const QRect cell(left, top, width - grid, height - grid);
      bool selected = false;
      for (const QItemSelectionRange& range : selection) {
        if (row >= range.top() && row <= range.bottom() && column >= range.left() &&
            column <= range.right())
          selected = true;
      }
      if (selected) {
        painter.fillRect(cell, highlight);
      } else if (alternate_row) {
        painter.fillRect(cell, alternate);
      }
      if (current.row() == row && current.column() == column) focus = cell;
      const QString& text = model_->CellDisplayText(row, column);
      if (text.isEmpty()) continue;
      const bool right = model_->IsNumericColumn(column);
      // Text that the delegate's kerned measure fits may be a little wider
      // here: it may use the margin rather than be cut.
      if (!glyphs_->Add(text, left + margin, left + width - grid - margin, baseline, right,
                        selected ? selected_text : plain_text, margin - 1)) {
        const int alignment = (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        fallbacks.push_back({cell.adjusted(margin, 0, -margin, 0), alignment, text, selected});
      }
    }
    if (grid != 0)
      lines.emplace_back(area.left(), table_bottom - 1, area.right(), table_bottom - 1);
  }
  painter.setPen(text_colour);
  plain_text.Draw(painter, glyphs_->RawFont());
  painter.setPen(selected_colour);
  selected_text.Draw(painter, glyphs_->RawFont());
  if (!fallbacks.empty()) {
    // Other scripts are shaped by Qt, with its fallback fonts.
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (const Fallback& cell : fallbacks) {
      painter.setPen(cell.selected ? selected_colour : text_colour);
      painter.drawText(cell.rect, cell.alignment,
                       metrics.elidedText(cell.text, Qt::ElideRight, cell.rect.width()));
    }
  }
  if (grid != 0) {
    const int bottom = std::min(area.bottom(), table_bottom - 1);
    for (int visual_column = first_column; visual_column <= last_column; ++visual_column) {
      const int column = columns->logicalIndex(visual_column);
      if (columns->isSectionHidden(column)) continue;
      const int x = columns->sectionViewportPosition(column) + columns->sectionSize(column) - 1;
      lines.emplace_back(x, area.top(), x, bottom);
    }
    for (QLine& line : lines) {
      if (line.dy() == 0) line.setP2(QPoint(std::min(line.x2(), table_right - 1), line.y2()));
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor grid_colour = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    painter.setPen(QPen(grid_colour, 0, gridStyle()));
    painter.drawLines(lines.data(), int(lines.size()));
  }
  if (!focus.isNull() && hasFocus()) {
    QStyleOptionFocusRect option;
    option.initFrom(viewport());
    option.rect = focus;
    option.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
    const bool selected = selectionModel()->isSelected(current);
    option.backgroundColor = palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

DataGrid::~DataGrid() {
  model_->disconnect(this);
}

// Every reset of the model gives the header fresh sections of a default width;
// an open dataset's columns get widths that show the values in view.
void DataGrid::FitColumns() {
  user_sized_.clear();
  fitting_ = true;
  // A field its dataset keeps out of sight has no column to show.
  for (int column = 0; column < model_->columnCount(); ++column) {
    const TField* field = model_->ColumnField(column);
    if (field != nullptr && !field->Visible()) setColumnHidden(column, true);
  }
  if (model_->columnCount() > 0) resizeColumnsToContents();
  fitting_ = false;
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
